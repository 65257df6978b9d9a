#include <gtest/gtest.h>

#include <cstdlib>

#include "gui/epi_dialog.h"
#include "gui/epi_label.h"
#include "gui/epi_list_control.h"
#include "gui/epi_menu.h"
#include "gui/epi_menu_bar.h"
#include "gui/epi_message_box.h"
#include "gui/epi_push_button.h"
#include "gui/epi_text_dialog.h"
#include "panel_test_support.h"
#include "window_test_support.h"

// After gtest and our headers.
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace {

using framework::fourCC;
using gui::epiMenu;
using gui::epiMenuBar;
using gui::Rect;
using platform::InputEvent;
using testsupport::RecordingWindow;

constexpr uint32_t kMain = fourCC("main");
constexpr uint32_t kHost = fourCC("hosw");
constexpr uint32_t kTuner = fourCC("tunn");

class WindowTest : public testsupport::WindowTest {};

TEST(WindowWithoutDisplay, FailsCleanlyWithAMessage) {
  const char* saved = std::getenv("DISPLAY");
  const std::string display = saved ? saved : "";
  unsetenv("DISPLAY");
  gui::epiEngineClass engine;
  std::string error;
  EXPECT_FALSE(engine.openDisplay(nullptr, error));
  EXPECT_NE(error.find("DISPLAY"), std::string::npos) << error;
  RecordingWindow window(engine, kMain);
  EXPECT_FALSE(window.openTopLevel(50, 50, "none"));
  EXPECT_FALSE(window.writePng("/nonexistent/none.png"));
  testing::internal::CaptureStderr();
  EXPECT_EQ(gui::epiMessageBox::show(engine, "Failed !"), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Attenzione: Failed !\n");
  EXPECT_TRUE(engine.processEvents());
  if (saved) setenv("DISPLAY", display.c_str(), 1);
}

// The host window's menus: the about command (no title), "File", the programs in four
// submenus of 32, "Settings" with a separator as item 3.
void addHostMenus(epiMenuBar& bar) {
  bar.addMenu(0, "")->addItem("About");
  bar.addMenu(1, "File")->addItem("Quit");
  epiMenu* programs = bar.addMenu(2, "Programs");
  const char* const banks[] = {"1..32", "33..64", "65..96", "97..128"};
  for (int32_t bank = 0; bank < 4; ++bank) {
    epiMenu* submenu = programs->addSubmenu(4 + bank, banks[bank]);
    for (int32_t i = 1; i <= 32; ++i)
      submenu->addItem("Program " + std::to_string(bank * 32 + i));
  }
  epiMenu* settings = bar.addMenu(3, "Settings");
  for (const char* text : {"Audio setup...", "Tuner setup...", "", "Learn Preset Up CC/PC...",
                           "Learn Preset Down CC/PC...", "Learn Volume CC...", "Learn Wah CC..."}) {
    if (*text)
      settings->addItem(text);
    else
      settings->addSeparator();
  }
}

TEST(Menu, CommandsByGroupAndItemAndItemsAddedWhileOpen) {
  epiMenuBar bar;
  addHostMenus(bar);
  const struct {
    int32_t group, item;
    const char* text;
    int32_t command;
  } cases[] = {
      {0, 1, "About", 40001}, {3, 7, "Learn Wah CC...", 40307}, {7, 32, "Program 128", 40732}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(bar.menu(c.group)->item(c.item)->text, c.text);
    EXPECT_EQ(bar.menu(c.group)->commandOf(c.item), c.command);
    EXPECT_EQ(epiMenu::groupOf(c.command), c.group);
    EXPECT_EQ(epiMenu::itemOf(c.command), c.item);
  }
  EXPECT_EQ(bar.addMenu(3, "Again"), nullptr) << "a group is one menu";

  epiMenu full(9, "Full");
  for (int32_t i = 1; i <= 99; ++i)
    ASSERT_EQ(full.addItem("x"), i);
  EXPECT_EQ(full.addItem("one too many"), 0) << "item 100 would be the next group's item 0";

  // Offline: the bar driven with an event handed in.
  epiMenu& settings = *bar.menu(3);
  ASSERT_TRUE(settings.check(2, true));
  EXPECT_FALSE(settings.check(9, true));
  const Rect title = bar.titleArea(3);
  bar.handle(
      {.type = InputEvent::Type::kButtonPress, .x = title.x + 1, .y = title.y + 1, .button = 1},
      500, 400);
  ASSERT_TRUE(bar.tracking());

  // An item added while it is open waits for the next layout; drawing keeps to the current one.
  EXPECT_FALSE(settings.rename(0, "none"));
  settings.addItem("Reset mappings");
  EXPECT_TRUE(bar.itemArea(3, 8).empty());
  const auto& popup = bar.popups().front();
  testsupport::drawn(popup.area.width, popup.area.height, [&](cairo_t* cr) {
    bar.drawPopup(cr, popup);
    EXPECT_EQ(cairo_status(cr), CAIRO_STATUS_SUCCESS);
  });
  bar.relayout();
  EXPECT_GT(bar.itemArea(3, 8).y, bar.itemArea(3, 7).y);
}

class ListDialog : public gui::epiDialog {
 public:
  explicit ListDialog(gui::epiEngineClass& engine) : epiDialog(engine, fourCC("ause")) {
    auto& list = add(std::make_unique<gui::epiListControl>(4, Rect{10, 34, 120, 22}));
    list.setEntries({"128", "256", "512", "1024"});
    add(std::make_unique<gui::epiPushButton>(6, Rect{150, 34, 60, 26}, "OK"));
  }
  gui::epiListControl& list() { return *widgetAs<gui::epiListControl>(4); }
  std::vector<std::pair<char, int32_t>> reports;

 protected:
  void widgetPressed(int32_t number) override { reports.push_back({'p', number}); }
  void widgetChanged(int32_t number) override { reports.push_back({'c', number}); }
};

// A panel, the host's menus and a title that reaches past the corner where dialogs open.
TEST_F(WindowTest, DragsKeysMenusDialogsMessagesAndAnEditorInAHostsWindow) {
  framework::ResourceFile file;
  testsupport::testSkin().fill(file);
  gui::PictureCache pictures{file};
  auto panel = std::make_unique<gui::epiAlphaPanel>();
  panel->build(testsupport::testPanel(), pictures);
  RecordingWindow main(engine_, kMain);
  main.addPanel(std::move(panel));
  epiMenuBar& bar = main.menuBar();
  addHostMenus(bar);
  bar.addMenu(8, "A menu title wide enough to reach past the dialog")->addItem("x");
  ASSERT_TRUE(main.enableMenuItem(3, 6, false));
  ASSERT_TRUE(main.openTopLevel(800, 320, "main"));
  ASSERT_TRUE(onScreen(main));
  main.panel(0)->setActive(false);
  main.setControlValue(0, 16, 110);  // at once, as on an inactive panel
  main.showPanel(0);

  // 100 px down at 2 px a step, below the bar (the screen has no room above the window).
  const int32_t top = main.contentTop();
  input_->drag(main.nativeHandle(), 12, top + 12, 12, top + 12 + 100, 10);
  ASSERT_TRUE(passUntil([&] { return main.getControlValue(0, 16) == 60; }))
      << main.getControlValue(0, 16);
  ASSERT_FALSE(main.changes.empty());
  EXPECT_EQ(main.changes.back(), std::make_pair(0, 16));

  input_->focus(main.nativeHandle());
  engine_.setRunning(true);
  engine_.setKeyboardHook([&](gui::epiWindow& target, const platform::InputEvent& key) {
    if (&target != &main || key.keysym != XK_q || !(key.modifiers & platform::kControl))
      return false;
    engine_.quit();
    return true;
  });
  input_->keyDown(XK_Control_L);
  input_->typeKey(XK_q);
  input_->keyUp(XK_Control_L);
  input_->typeText("aQ\n");
  ASSERT_TRUE(passUntil([&] { return main.keys.size() == 3; }));
  EXPECT_FALSE(engine_.running());
  EXPECT_EQ(main.keys, (std::vector<int32_t>{'a', 'Q', 13}));
  main.keys.clear();

  const auto openMenu = [&](int32_t group) {
    click(main, bar.titleArea(group));
    return passUntil([&] { return bar.tracking() && engine_.menuWindow() == &main; });
  };
  const auto ranCommand = [&](int32_t command) {
    const bool ran = passUntil([&] { return !main.commands.empty(); });
    const bool right = ran && main.commands == std::vector<int32_t>{command};
    main.commands.clear();
    return right;
  };

  SCOPED_TRACE("click a title, click an item");
  ASSERT_TRUE(openMenu(3));
  click(main, bar.itemArea(3, 2));
  EXPECT_TRUE(ranCommand(40302));
  EXPECT_FALSE(bar.tracking());
  EXPECT_EQ(engine_.menuWindow(), nullptr);

  SCOPED_TRACE("a submenu opens under the pointer");
  ASSERT_TRUE(openMenu(2));
  const Rect bank = bar.itemArea(2, 2);
  input_->moveTo(main.nativeHandle(), bank.x + bank.width / 2, bank.y + bank.height / 2);
  ASSERT_TRUE(passUntil([&] { return bar.popups().size() == 2; }));
  click(main, bar.itemArea(5, 5));
  EXPECT_TRUE(ranCommand(40505));

  SCOPED_TRACE("separators and disabled items choose nothing; a click outside closes");
  ASSERT_TRUE(openMenu(3));
  click(main, bar.itemArea(3, 3));
  click(main, bar.itemArea(3, 6));
  settle();
  EXPECT_TRUE(bar.tracking());
  click(main, 400, 300);
  ASSERT_TRUE(passUntil([&] { return !bar.tracking(); }));
  EXPECT_TRUE(main.commands.empty());

  SCOPED_TRACE("a text dialog: Enter confirms, Cancel cancels");
  const Rect title = bar.titleArea(8);
  const int32_t covered = gui::epiTextDialog::kWidth;
  const Rect uncovered{covered, title.y, title.x + title.width - covered, title.height};
  ASSERT_GT(uncovered.width, 20);
  for (const int32_t confirmed : {1, 0}) {
    SCOPED_TRACE(confirmed);
    main.messages.clear();
    gui::epiTextDialog* dialog =
        gui::epiTextDialog::open(engine_, "Tuner reference: A =", "440.0", kTuner, kMain);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(onScreen(*dialog));
    click(main, uncovered);
    input_->focus(main.nativeHandle());
    for (int i = 0; i < 4; ++i)
      input_->typeKey(XK_BackSpace);
    input_->typeText("32.5");  // "440.0" becomes "432.5"
    ASSERT_TRUE(passUntil([&] { return dialog->text() == "432.5"; })) << dialog->text();
    EXPECT_FALSE(bar.tracking()) << "the click reached the main window's menus";
    EXPECT_TRUE(main.keys.empty());
    if (confirmed)
      input_->typeKey(XK_Return);
    else
      click(*dialog, dialog->widget(gui::epiTextDialog::kCancel)->bounds());
    ASSERT_TRUE(passUntil([&] { return !main.messages.empty(); }));
    const gui::epiMessage& reply = main.messages.front();
    EXPECT_EQ(reply.source, kTuner);
    EXPECT_EQ(reply.value, confirmed);
    EXPECT_EQ(reply.text, "432.5");
    EXPECT_EQ(engine_.findWindow(kTuner), nullptr);
    EXPECT_EQ(engine_.modalWindow(), nullptr);
  }
  gui::epiMessageBox* box = gui::epiMessageBox::show(engine_, "Create engine failed !");
  ASSERT_NE(box, nullptr);
  ASSERT_TRUE(onScreen(*box));
  click(*box, box->widget(gui::epiMessageBox::kOk)->bounds());
  ASSERT_TRUE(
      passUntil([&] { return engine_.findWindow(gui::epiMessageBox::kIdentifier) == nullptr; }));
  click(main, uncovered);  // with the modal windows gone, clicks reach the main window again
  ASSERT_TRUE(passUntil([&] { return bar.tracking(); }));
  click(main, 400, 300);
  ASSERT_TRUE(passUntil([&] { return !bar.tracking(); }));

  SCOPED_TRACE("a list in a dialog");
  ListDialog dialog(engine_);
  gui::epiListControl& list = dialog.list();
  EXPECT_TRUE(list.selectText("1024")) << "the stored name selects its entry";
  EXPECT_FALSE(list.selectText("Missing"));
  EXPECT_EQ(list.selection(), 3) << "a name not in the list leaves the selection";
  ASSERT_TRUE(dialog.openModal(240, 200, "Audio hardware settings"));
  ASSERT_TRUE(onScreen(dialog));

  const Rect area = list.bounds();
  const auto chooseFirst = [&] {
    click(dialog, area);
    ASSERT_TRUE(passUntil([&] { return list.isOpen(); }));
    const Rect open = list.overlay();
    click(dialog, Rect{open.x, open.y + 1, open.width, area.height});
    ASSERT_TRUE(passUntil([&] { return !list.isOpen(); }));
  };
  chooseFirst();
  EXPECT_EQ(list.selectedText(), "128");
  chooseFirst();
  list.setEnabled(false);
  click(dialog, area);
  click(dialog, dialog.widget(6)->bounds());  // its report comes after the list's click
  ASSERT_TRUE(passUntil([&] { return dialog.reports.size() == 2; }));
  EXPECT_EQ(dialog.reports, (std::vector<std::pair<char, int32_t>>{{'c', 4}, {'p', 6}}))
      << "choosing the selected entry again is no change";
  EXPECT_FALSE(list.isOpen()) << "a disabled list does not open";

  SCOPED_TRACE("messages reach their window in the next pass");
  main.messages.clear();
  RecordingWindow host(engine_, kHost);
  ASSERT_TRUE(host.openTopLevel(50, 50, "host"));
  engine_.post({.target = kMain, .code = fourCC("save"), .value = 1, .text = "SAVED"});
  engine_.post({.target = kHost, .code = fourCC("sepr"), .value = 67});
  EXPECT_TRUE(main.messages.empty()) << "posted messages wait for the loop";
  engine_.processEvents();
  ASSERT_EQ(main.messages.size(), 1u);
  EXPECT_EQ(main.messages[0].text, "SAVED");
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].value, 67);

  EXPECT_TRUE(engine_.send({.target = kHost, .code = fourCC("sepr"), .value = 3}));
  EXPECT_EQ(host.messages.size(), 2u) << "sent at once";
  EXPECT_FALSE(engine_.send({.target = fourCC("gone"), .code = fourCC("sepr")}));

  host.close();
  EXPECT_EQ(host.closings, 1);
  EXPECT_EQ(engine_.findWindow(kHost), nullptr);
  engine_.post({.target = kHost, .code = fourCC("sepr")});
  engine_.processEvents();
  EXPECT_EQ(host.messages.size(), 2u) << "a closed window gets nothing";

  engine_.closeAllWindows();
  EXPECT_EQ(main.closings, 1);

  // A plug-in editor: opened in the host's window, named by a message, it outlives that window.
  Display* hostDisplay = input_->display();
  const Window parent =
      XCreateSimpleWindow(hostDisplay, DefaultRootWindow(hostDisplay), 0, 0, 200, 150, 0, 0, 0);
  XMapWindow(hostDisplay, parent);
  XSync(hostDisplay, False);

  RecordingWindow link(engine_, fourCC("link"));
  EXPECT_TRUE(link.handleMessage({.code = gui::kMessageWindowHandle, .handle = parent}));

  RecordingWindow editor(engine_, kMain);
  ASSERT_TRUE(editor.openInside(link.nativeHandle(), 0, 0, 200, 150));

  XDestroyWindow(hostDisplay, parent);
  XSync(hostDisplay, False);
  ASSERT_TRUE(passUntil([&] { return !editor.isOpen(); }));
  EXPECT_EQ(editor.closings, 1);
  EXPECT_EQ(engine_.findWindow(kMain), nullptr);
  engine_.processEvents();
}

// Text that is not UTF-8 is drawn, has a width and leaves the context usable.
TEST(WidgetLook, TextThatIsNotUtf8LeavesTheNextWidgetDrawn) {
  for (const char* odd : {"Preset \x80", "\xed\xa0\x80", "\xf0\x9f", "\xc0\xaf"}) {
    SCOPED_TRACE(odd);
    EXPECT_GT(gui::look::textWidth(std::string("xyz") + odd), gui::look::textWidth("xyz"));
    const auto image = testsupport::drawn(100, 40, [&](cairo_t* cr) {
      gui::epiLabel(1, Rect{0, 0, 100, 20}, odd).draw(cr);
      gui::epiPushButton(2, Rect{0, 20, 100, 20}, "OK").draw(cr);
      EXPECT_EQ(cairo_status(cr), CAIRO_STATUS_SUCCESS);
    });
    EXPECT_EQ(testsupport::pixelAt(image.get(), 5, 25) & 0xffffff, 0xffffffu) << "button face";
  }
}

}  // namespace