#include <gtest/gtest.h>

#include "gui/epi_dialog.h"
#include "gui/epi_label.h"
#include "gui/epi_list_control.h"
#include "gui/epi_message_box.h"
#include "gui/epi_push_button.h"
#include "gui/epi_text_dialog.h"
#include "panel_test_support.h"
#include "window_test_support.h"

// After gtest and our headers.
#include <X11/keysym.h>

namespace {

using framework::fourCC;
using gui::Rect;
using testsupport::RecordingWindow;

constexpr uint32_t kMain = fourCC("main");
constexpr uint32_t kTuner = fourCC("tunn");

class DialogTest : public testsupport::WindowTest {};

// Dialogs open at the screen's corner, over the main window; its third menu title lies beyond.
TEST_F(DialogTest, TextEntryAndMessageBoxTakeTheOtherWindowsKeysNotTheirClicks) {
  RecordingWindow main(engine_, kMain);
  gui::epiMenuBar& bar = main.menuBar();
  bar.addMenu(1, "File")->addItem("Quit");
  bar.addMenu(2, "A menu title wide enough to reach past the dialog")->addItem("x");
  bar.addMenu(3, "Settings")->addItem("Audio setup...");
  ASSERT_TRUE(main.openTopLevel(640, 200, "main"));
  ASSERT_TRUE(onScreen(main));
  const Rect uncovered = bar.titleArea(3);
  ASSERT_GE(uncovered.x, gui::epiTextDialog::kWidth);
  // Enter confirms, Cancel cancels.
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
  // The message box, closed by its OK.
  gui::epiMessageBox* box = gui::epiMessageBox::show(engine_, "Create engine failed !");
  ASSERT_NE(box, nullptr);
  ASSERT_TRUE(onScreen(*box));
  click(*box, box->widget(gui::epiMessageBox::kOk)->bounds());
  ASSERT_TRUE(
      passUntil([&] { return engine_.findWindow(gui::epiMessageBox::kIdentifier) == nullptr; }));
  click(main, uncovered);
  EXPECT_TRUE(passUntil([&] { return bar.tracking(); }));
}

// A dialog of the audio settings' kind: a list and a button.
class ListDialog : public gui::epiDialog {
 public:
  explicit ListDialog(gui::epiEngineClass& engine) : epiDialog(engine, fourCC("ause")) {
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
  EXPECT_FALSE(list.selectText("Missing"));
  EXPECT_EQ(list.selection(), 3) << "a name not in the list leaves the selection";
  ASSERT_TRUE(dialog.openModal(240, 200, "Audio hardware settings"));
  ASSERT_TRUE(onScreen(dialog));

  const Rect box = list.bounds();
  const auto chooseFirst = [&] {
    click(dialog, box);
    ASSERT_TRUE(passUntil([&] { return list.isOpen(); }));
    const Rect open = list.overlay();
    click(dialog, Rect{open.x, open.y + 1, open.width, box.height});
    ASSERT_TRUE(passUntil([&] { return !list.isOpen(); }));
  };
  chooseFirst();
  EXPECT_EQ(list.selectedText(), "128");
  chooseFirst();
  list.setEnabled(false);
  click(dialog, box);
  click(dialog, dialog.widget(6)->bounds());  // its report comes after the list's click
  ASSERT_TRUE(passUntil([&] { return dialog.reports.size() == 2; }));
  EXPECT_EQ(dialog.reports, (std::vector<std::pair<char, int32_t>>{{'c', 4}, {'p', 6}}))
      << "choosing the selected entry again is no change";
  EXPECT_FALSE(list.isOpen()) << "a disabled list does not open";
}

// Text that is not UTF-8 (a Latin-1 name, a lone surrogate, a cut or overlong sequence) is
// drawn, has a width and leaves the context usable.
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
