// The host window on a private X server with real input: menus named from the processor, the
// commands it keeps and those it hands to the main window, renaming, closing, the stop order.

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "host_test_support.h"
#include "host_window_test_support.h"

// After gtest and our headers: Xlib's macros must not reach them.
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace {

using host::evaHostWindow;
using Commands = std::vector<int32_t>;

class HostWindow : public hosttest::HostWindowTest {
 protected:
  // A technology, so no dialog opens by itself; its driver is a fake.
  void SetUp() override {
    HostWindowTest::SetUp();
    if (!HasFatalFailure())
      writeSettings([](host::HardwareSettings& s) { s.audioTechnology = "DirectX"; });
  }
  Commands mainCommands() const { return editor_.window->commands; }
  bool checked(int32_t program) const {
    return window_->menuBar().menu(4 + program / 32)->item(program % 32 + 1)->checked;
  }
  // "Programs", then the bank, then the item, as a player chooses.
  void chooseProgramItem(int32_t bank, int32_t item) {
    gui::epiMenuBar& bar = window_->menuBar();
    clickAt(*window_, bar.titleArea(evaHostWindow::kProgramsMenu));
    ASSERT_TRUE(passUntil([&] { return bar.popups().size() == 1; }));
    const gui::Rect b = bar.itemArea(evaHostWindow::kProgramsMenu, bank - 3);
    input_->moveTo(window_->nativeHandle(), b.x + b.width / 2, b.y + b.height / 2);
    ASSERT_TRUE(passUntil([&] { return bar.popups().size() == 2; }));
    clickAt(*window_, bar.itemArea(bank, item));
    ASSERT_TRUE(passUntil([&] { return !bar.tracking(); }));
    settle();
  }

  std::optional<hosttest::FakeTechnology> fake_{std::in_place};
};

TEST_F(HostWindow, OpensTitledWithTheEditorBelowTheBarAndMenusNamedFromThePrograms) {
  processor_.setProgram(67);
  processor_.setProgramName("Crunch Lead");
  processor_.setProgram(2);
  evaHostWindow& window = createWindow();

  EXPECT_EQ(titleOf(window), "Valvorama Live");
  EXPECT_EQ(window.height(), hosttest::FakeEditor::kHeight + gui::epiMenuBar::kHeight);
  ASSERT_TRUE(editor_.window && editor_.window->isOpen());
  XWindowAttributes frame{};
  ASSERT_TRUE(XGetWindowAttributes(input_->display(), parentOf(*editor_.window), &frame));
  EXPECT_EQ(frame.y, window.contentTop());
  EXPECT_EQ(frame.width, hosttest::FakeEditor::kWidth);

  const struct {
    int32_t group, item;
    const char* text;
  } items[] = {{1, 1, "Quit"},           {2, 4, "97..128"},
               {3, 1, "Audio setup..."}, {3, 7, "Learn Wah CC..."},
               {6, 4, "Crunch Lead"},    {7, 32, "Program 128"}};
  for (const auto& c : items)
    EXPECT_EQ(window.menuBar().menu(c.group)->item(c.item)->text, c.text);
  EXPECT_TRUE(window.menuBar().menu(3)->item(3)->separator);
  EXPECT_FALSE(window.menuBar().titleArea(0).empty()) << "the about command has a menu";
  for (int32_t p = 0; p < 128; ++p)
    EXPECT_EQ(checked(p), p == 2) << p;
}

// Item 5 of program menu 6 is program 2 x 32 + 4 = 68 ("Program 69"); `sepr` and the host
// controls take the menu path too.
TEST_F(HostWindow, ProgramChoicesReachTheMainWindowOrSelectTheProgram) {
  evaHostWindow& window = createWindow();
  const auto sepr = [&](int32_t program) {
    engine_.post({.target = evaHostWindow::kIdentifier,
                  .code = evaHostWindow::kMessageSelectProgram,
                  .value = program});
    settle();
  };
  chooseProgramItem(6, 5);
  sepr(33);
  sepr(128);  // no such program
  window.controlEvent(evaHostWindow::kNextProgram);
  EXPECT_EQ(mainCommands(), (Commands{40605, 40502, 40402}));
  EXPECT_EQ(processor_.getProgram(), 0) << "the main window selects";

  editor_.window.reset();
  chooseProgramItem(6, 5);
  EXPECT_EQ(processor_.getProgram(), 68);
  EXPECT_TRUE(checked(68) && !checked(0));
  sepr(33);
  EXPECT_EQ(processor_.getProgram(), 33);
  const struct {
    int32_t from, control, to;
  } steps[] = {{33, evaHostWindow::kNextProgram, 34},
               {127, evaHostWindow::kNextProgram, 0},
               {0, evaHostWindow::kPreviousProgram, 0},
               {9, evaHostWindow::kPreviousProgram, 8}};
  for (const auto& s : steps) {
    processor_.setProgram(s.from);
    window.controlEvent(s.control);
    EXPECT_EQ(processor_.getProgram(), s.to) << s.from;
  }
}

// Quit and the window manager's close end the loop; other commands go to the main window.
TEST_F(HostWindow, QuitAndTheCloseButtonEndTheLoopOnly) {
  evaHostWindow& window = createWindow();
  for (int32_t command : {40001, 40302, 40304, 40307})
    window.handleCommand(command);
  EXPECT_EQ(mainCommands(), (Commands{40001, 40302, 40304, 40307}));

  engine_.setRunning(true);
  clickAt(window, window.menuBar().titleArea(1));
  ASSERT_TRUE(passUntil([&] { return window.menuBar().tracking(); }));
  clickAt(window, window.menuBar().itemArea(1, 1));
  EXPECT_TRUE(passUntil([&] { return !engine_.running(); }));

  engine_.setRunning(true);
  XEvent message{};
  message.xclient.type = ClientMessage;
  message.xclient.window = window.nativeHandle();
  message.xclient.message_type = XInternAtom(input_->display(), "WM_PROTOCOLS", False);
  message.xclient.format = 32;
  message.xclient.data.l[0] =
      static_cast<long>(XInternAtom(input_->display(), "WM_DELETE_WINDOW", False));
  XSendEvent(input_->display(), window.nativeHandle(), False, NoEventMask, &message);
  XSync(input_->display(), False);
  EXPECT_TRUE(passUntil([&] { return !engine_.running(); }));
  EXPECT_TRUE(window.isOpen() && editor_.closings == 0) << "the host main tears down";
  EXPECT_EQ(mainCommands().size(), 4u);
  window.close();
  EXPECT_EQ(editor_.closings, 1) << "the editor's window writes its files as the window goes";
}

TEST_F(HostWindow, TheNameDialogRenamesTheCurrentProgramAndItsMenuItem) {
  evaHostWindow& window = createWindow();
  processor_.setProgram(40);
  for (const bool confirm : {false, true}) {
    window.openProgramNameDialog();
    gui::epiWindow* dialog = engine_.findWindow(evaHostWindow::kNameDialog);
    ASSERT_TRUE(dialog && onScreen(*dialog));
    input_->focus(dialog->nativeHandle());
    input_->typeText(" Solo");
    input_->typeKey(confirm ? XK_Return : XK_Escape);
    ASSERT_TRUE(passUntil([&] { return !engine_.findWindow(evaHostWindow::kNameDialog); }));
    settle();
    const char* expected = confirm ? "Program 41 Solo" : "Program 41";
    EXPECT_STREQ(processor_.programName(40), expected);
    EXPECT_EQ(window.menuBar().menu(5)->item(9)->text, expected);
    // The LCD shows the new name; the program is not chosen again, which would recall its
    // stored values over what the player changed since.
    EXPECT_EQ(mainCommands(), Commands{});
    const auto& shown = editor_.window->messages;
    ASSERT_EQ(shown.size(), confirm ? 1u : 0u);
    if (confirm) {
      EXPECT_EQ(shown[0].code, evaHostWindow::kMessageShowText);
      EXPECT_EQ(shown[0].value, 1);
      EXPECT_EQ(shown[0].text, "PROGRAM 41 SOLO");
    }
  }
  // Keys typed while the host window has the focus reach the main window (LCD naming).
  input_->focus(window.nativeHandle());
  input_->typeText("a");
  ASSERT_TRUE(passUntil([&] { return !editor_.window->keys.empty(); }));
  EXPECT_EQ(editor_.window->keys.front(), 'a');
}

// Quitting while audio runs: the device has stopped before the processor deletes its rack.
TEST_F(HostWindow, StopAudioStopsTheDeviceBeforeTheProcessorCloses) {
  startJack();
  writeSettings(hosttest::useLoopback);
  fake_.reset();  // the real DirectSound back end
  createWindow();
  ASSERT_EQ(window_->hostAudio()->status().state, host::evaHostAudio::State::kRunning);
  EXPECT_TRUE(hosttest::eventually([&] { return processor_.blocks >= 4; }));

  window_->stopAudio();
  EXPECT_EQ(window_->hostAudio(), nullptr);
  processor_.close();
  const int64_t blocks = processor_.blocks;
  settle();
  EXPECT_EQ(processor_.blocks, blocks);
  EXPECT_EQ(processor_.blocksAfterClose, 0);
}

}  // namespace
