#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/four_cc.h"
#include "gui/epi_dialog.h"
#include "gui/epi_label.h"
#include "gui/epi_list_control.h"
#include "gui/epi_message_box.h"
#include "gui/epi_push_button.h"
#include "gui/epi_text_dialog.h"
#include "gui/epi_text_field.h"
#include "window_test_support.h"

// After gtest and our headers.
#include <X11/keysym.h>

namespace {

using framework::fourCC;
using gui::Rect;
using testsupport::RecordingWindow;

constexpr uint32_t kMain = fourCC("main");
constexpr uint32_t kTuner = fourCC("tunn");

class DialogTest : public testsupport::WindowTest {
 protected:
  void click(const gui::epiWindow& window, const Rect& area) {
    WindowTest::click(window, area.x + area.width / 2, area.y + area.height / 2);
  }
  Rect boundsOf(const gui::epiDialog& dialog, int32_t number) {
    return dialog.widget(number)->bounds();
  }
};

TEST_F(DialogTest, TextEntryRepliesToTheNamedWindowWithItsText) {
  struct Case {
    const char* name;
    std::function<void(gui::epiTextDialog&)> close;
    int32_t confirmed;
  };
  const Case cases[] = {
      {"Enter confirms", [this](gui::epiTextDialog&) { input_->typeKey(XK_Return); }, 1},
      {"OK confirms",
       [this](gui::epiTextDialog& dialog) {
         click(dialog, boundsOf(dialog, gui::epiTextDialog::kOk));
       },
       1},
      {"Escape cancels", [this](gui::epiTextDialog&) { input_->typeKey(XK_Escape); }, 0},
      {"Cancel cancels",
       [this](gui::epiTextDialog& dialog) {
         click(dialog, boundsOf(dialog, gui::epiTextDialog::kCancel));
       },
       0},
  };
  RecordingWindow main(engine_, kMain);
  ASSERT_TRUE(main.openTopLevel(80, 60, "main"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    main.messages.clear();
    gui::epiTextDialog* dialog =
        gui::epiTextDialog::open(engine_, "Tuner reference: A =", "440.0", kTuner, kMain);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(engine_.findWindow(kTuner), dialog);
    EXPECT_EQ(engine_.modalWindow(), dialog);
    ASSERT_TRUE(onScreen(*dialog));
    input_->focus(dialog->nativeHandle());
    for (int i = 0; i < 4; ++i)
      input_->typeKey(XK_BackSpace);
    input_->typeText("32.5");  // "440.0" becomes "432.5"
    ASSERT_TRUE(passUntil([&] { return dialog->text() == "432.5"; })) << dialog->text();
    c.close(*dialog);
    ASSERT_TRUE(passUntil([&] { return !main.messages.empty(); }));
    const gui::epiMessage& reply = main.messages.front();
    EXPECT_EQ(reply.code, gui::kMessageModalReply);
    EXPECT_EQ(reply.source, kTuner);
    EXPECT_EQ(reply.value, c.confirmed);
    EXPECT_EQ(reply.text, "432.5");
    EXPECT_EQ(engine_.findWindow(kTuner), nullptr);
    EXPECT_EQ(engine_.modalWindow(), nullptr);
  }
}

TEST_F(DialogTest, WhileADialogIsUpOtherWindowsTakeNoInputAndTheirKeysGoToIt) {
  RecordingWindow main(engine_, kMain);
  main.menuBar().addMenu(1, "File")->addItem("Quit");
  ASSERT_TRUE(main.openTopLevel(200, 100, "main"));
  ASSERT_TRUE(onScreen(main));
  gui::epiTextDialog* dialog = gui::epiTextDialog::open(engine_, "Name", "", kTuner, kMain);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(onScreen(*dialog));

  const Rect file = main.menuBar().titleArea(1);
  click(main, file);
  input_->focus(main.nativeHandle());
  input_->typeText("ok");
  ASSERT_TRUE(passUntil([&] { return dialog->text() == "ok"; }));
  EXPECT_FALSE(main.menuBar().tracking()) << "the click reached the main window's menus";
  EXPECT_TRUE(main.keys.empty());

  input_->typeKey(XK_Return);
  ASSERT_TRUE(passUntil([&] { return !main.messages.empty(); }));
  EXPECT_EQ(main.messages.front().text, "ok");
  click(main, file);
  EXPECT_TRUE(passUntil([&] { return main.menuBar().tracking(); }));
}

TEST_F(DialogTest, MessageBoxShowsCaptionAndTextAndClosesOnOkEnterOrEscape) {
  RecordingWindow main(engine_, kMain);
  ASSERT_TRUE(main.openTopLevel(80, 60, "main"));
  struct Case {
    const char* name;
    std::function<void(gui::epiMessageBox&)> close;
  };
  const Case cases[] = {
      {"OK",
       [this](gui::epiMessageBox& box) { click(box, boundsOf(box, gui::epiMessageBox::kOk)); }},
      {"Enter", [this](gui::epiMessageBox&) { input_->typeKey(XK_Return); }},
      {"Escape", [this](gui::epiMessageBox&) { input_->typeKey(XK_Escape); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gui::epiMessageBox* box = gui::epiMessageBox::show(engine_, "Create engine failed !");
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(onScreen(*box));
    EXPECT_EQ(titleOf(*box), "Attenzione");
    EXPECT_EQ(box->owner(), kMain);
    const auto* line = box->widgetAs<gui::epiLabel>(gui::epiMessageBox::kFirstLine);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->text(), "Create engine failed !");
    EXPECT_EQ(box->widgetAs<gui::epiPushButton>(gui::epiMessageBox::kOk)->text(), "OK");
    input_->focus(box->nativeHandle());
    c.close(*box);
    ASSERT_TRUE(
        passUntil([&] { return engine_.findWindow(gui::epiMessageBox::kIdentifier) == nullptr; }));
  }
  EXPECT_TRUE(main.isOpen());
}

// A dialog of the audio settings' kind: a list, a button, a label.
class ListDialog : public gui::epiDialog {
 public:
  explicit ListDialog(gui::epiEngineClass& engine) : epiDialog(engine, fourCC("ause")) {
    add(std::make_unique<gui::epiLabel>(1, Rect{10, 10, 100, 20}, "Buffer size"));
    auto& list = add(std::make_unique<gui::epiListControl>(4, Rect{10, 34, 120, 22}));
    list.setEntries({"128", "256", "512", "1024"});
    list.select(2);
    add(std::make_unique<gui::epiPushButton>(6, Rect{150, 34, 60, 26}, "OK"));
  }
  gui::epiListControl& list() { return *widgetAs<gui::epiListControl>(4); }
  std::vector<std::pair<char, int32_t>> reports;

 protected:
  void widgetPressed(int32_t number) override { reports.push_back({'p', number}); }
  void widgetChanged(int32_t number) override { reports.push_back({'c', number}); }
};

TEST_F(DialogTest, ListControlOpensChoosesAndReportsAChange) {
  ListDialog dialog(engine_);
  gui::epiListControl& list = dialog.list();
  EXPECT_TRUE(list.selectText("1024")) << "the stored name selects its entry";
  EXPECT_EQ(list.selection(), 3);
  EXPECT_FALSE(list.selectText("Missing"));
  EXPECT_EQ(list.selection(), 3) << "a name not in the list leaves the selection";
  EXPECT_TRUE(list.selectText("256"));
  ASSERT_TRUE(dialog.openModal(240, 200, "Audio hardware settings"));
  ASSERT_TRUE(onScreen(dialog));

  const Rect box = list.bounds();
  const auto entry = [&](int32_t index) {
    const Rect open = list.overlay();
    return Rect{open.x, open.y + 1 + index * box.height, open.width, box.height};
  };
  click(dialog, box);
  ASSERT_TRUE(passUntil([&] { return list.isOpen(); }));
  click(dialog, entry(0));
  ASSERT_TRUE(passUntil([&] { return !list.isOpen(); }));
  EXPECT_EQ(list.selectedText(), "128");

  click(dialog, box);
  ASSERT_TRUE(passUntil([&] { return list.isOpen(); }));
  click(dialog, entry(0));
  ASSERT_TRUE(passUntil([&] { return !list.isOpen(); }));
  click(dialog, dialog.widget(6)->bounds());
  ASSERT_TRUE(passUntil([&] { return dialog.reports.size() == 2; }));
  EXPECT_EQ(dialog.reports, (std::vector<std::pair<char, int32_t>>{{'c', 4}, {'p', 6}}))
      << "choosing the selected entry again is no change";

  list.setEnabled(false);
  click(dialog, box);
  settle();
  EXPECT_FALSE(list.isOpen()) << "a disabled list does not open";
}

TEST(WidgetLook, ALabelThatIsNotUtf8LeavesTheNextWidgetDrawn) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 100, 40);
  cairo_t* cr = cairo_create(surface);
  gui::epiLabel(1, Rect{0, 0, 100, 20}, "Preset \x80").draw(cr);
  EXPECT_GT(gui::look::textWidth("Preset \x80"), gui::look::textWidth("Preset "));
  gui::epiPushButton(2, Rect{0, 20, 100, 20}, "OK").draw(cr);
  EXPECT_EQ(cairo_status(cr), CAIRO_STATUS_SUCCESS);
  cairo_surface_flush(surface);
  const auto* pixel = reinterpret_cast<const uint32_t*>(
      cairo_image_surface_get_data(surface) + 25 * cairo_image_surface_get_stride(surface));
  EXPECT_EQ(pixel[5] & 0xffffff, 0xffffffu) << "the button's face";
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
}

}  // namespace
