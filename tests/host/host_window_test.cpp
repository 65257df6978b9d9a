// The host window on a private X server with real input: its menus named from the processor,
// the commands it keeps and the ones it hands to the main window, renaming, closing, and the
// order in which audio stops.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "framework/four_cc.h"
#include "gui/epi_menu.h"
#include "gui/epi_text_dialog.h"
#include "host/eva_audio_settings_panel.h"
#include "host_test_support.h"
#include "host_window_test_support.h"

// After gtest and our headers: Xlib's macros must not reach them.
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace {

using gui::epiMenu;
using host::evaHostWindow;

class HostWindow : public hosttest::HostWindowTest {
 protected:
  // A settings file with a technology, so no dialog opens by itself; its driver is a fake.
  void SetUp() override {
    HostWindowTest::SetUp();
    if (HasFatalFailure()) return;
    writeSettings([](host::HardwareSettings& s) { s.audioTechnology = "DirectX"; });
  }

  std::vector<int32_t> mainCommands() const { return editor_.window->commands; }
  // Chooses an item of a program submenu through the "Programs" menu, as a player does.
  void chooseProgramItem(int32_t bank, int32_t item) {
    gui::epiMenuBar& bar = window_->menuBar();
    clickAt(*window_, bar.titleArea(evaHostWindow::kProgramsMenu));
    ASSERT_TRUE(passUntil([&] { return bar.popups().size() == 1; }));
    const gui::Rect bankItem = bar.itemArea(evaHostWindow::kProgramsMenu, bank - 3);
    input_->moveTo(window_->nativeHandle(), bankItem.x + bankItem.width / 2,
                   bankItem.y + bankItem.height / 2);
    ASSERT_TRUE(passUntil([&] { return bar.popups().size() == 2; }));
    clickAt(*window_, bar.itemArea(bank, item));
    ASSERT_TRUE(passUntil([&] { return !bar.tracking(); }));
    settle();
  }

  std::optional<hosttest::FakeTechnology> fake_{std::in_place};
};

uint64_t parentId(Display* display, uint64_t window) {
  Window root = 0, parent = 0, *children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(display, window, &root, &parent, &children, &count)) return 0;
  if (children) XFree(children);
  return parent;
}

TEST_F(HostWindow, OpensTitledWithTheEditorBelowTheBarAndMenusNamedFromThePrograms) {
  processor_.setProgram(67);
  processor_.setProgramName("Crunch Lead");
  processor_.setProgram(2);
  evaHostWindow& window = createWindow();

  EXPECT_EQ(titleOf(window), "Valvorama Live");
  EXPECT_EQ(engine_.findWindow(framework::fourCC("hosw")), &window);
  EXPECT_EQ(window.width(), hosttest::FakeEditor::kWidth);
  EXPECT_EQ(window.height(), hosttest::FakeEditor::kHeight + gui::epiMenuBar::kHeight);
  ASSERT_TRUE(editor_.window && editor_.window->isOpen());
  const uint64_t frame = parentOf(*editor_.window);
  EXPECT_EQ(parentId(input_->display(), frame), window.nativeHandle());
  XWindowAttributes at{};
  ASSERT_TRUE(XGetWindowAttributes(input_->display(), frame, &at));
  EXPECT_EQ(at.y, window.contentTop());
  EXPECT_EQ(at.width, hosttest::FakeEditor::kWidth);
  EXPECT_EQ(at.height, hosttest::FakeEditor::kHeight);

  const struct {
    int32_t group, item;
    const char* text;
  } items[] = {
      {1, 1, "Quit"},
      {2, 1, "1..32"},
      {2, 4, "97..128"},
      {3, 1, "Audio setup..."},
      {3, 2, "Tuner setup..."},
      {3, 4, "Learn Preset Up CC/PC..."},
      {3, 5, "Learn Preset Down CC/PC..."},
      {3, 6, "Learn Volume CC..."},
      {3, 7, "Learn Wah CC..."},
      {4, 1, "Program 1"},
      {6, 4, "Crunch Lead"},
      {7, 32, "Program 128"},
  };
  for (const auto& c : items) {
    const gui::epiMenu* menu = window.menuBar().menu(c.group);
    ASSERT_NE(menu, nullptr) << c.group;
    ASSERT_NE(menu->item(c.item), nullptr) << c.text;
    EXPECT_EQ(menu->item(c.item)->text, c.text);
  }
  EXPECT_TRUE(window.menuBar().menu(3)->item(3)->separator);
  EXPECT_EQ(window.menuBar().menu(0)->commandOf(1), 40001);
  EXPECT_FALSE(window.menuBar().titleArea(0).empty()) << "the about command has a menu";
  for (int32_t p = 0; p < 128; ++p)
    EXPECT_EQ(window.menuBar().menu(4 + p / 32)->item(p % 32 + 1)->checked, p == 2) << p;
  EXPECT_EQ(engine_.findWindow(host::evaAudioSettingsPanel::kIdentifier), nullptr);
}

// Item 5 of program menu 6 selects program 2 x 32 + 4 = 68 ("Program 69"); `sepr` and the host
// controls take the menu path too.
TEST_F(HostWindow, ProgramChoicesReachTheMainWindowOrSelectTheProgram) {
  evaHostWindow& window = createWindow();
  for (const bool withMain : {true, false}) {
    SCOPED_TRACE(withMain ? "main window" : "no main window");
    if (!withMain) editor_.window.reset();

    chooseProgramItem(6, 5);
    if (withMain) {
      EXPECT_EQ(mainCommands(), std::vector<int32_t>{40605});
      EXPECT_EQ(processor_.getProgram(), 0) << "the main window selects it";
    } else {
      EXPECT_EQ(processor_.getProgram(), 68);
      EXPECT_TRUE(window.menuBar().menu(6)->item(5)->checked);
      EXPECT_FALSE(window.menuBar().menu(4)->item(1)->checked);
    }

    engine_.post(
        {.target = evaHostWindow::kIdentifier, .code = framework::fourCC("sepr"), .value = 33});
    engine_.post({.target = evaHostWindow::kIdentifier,
                  .code = framework::fourCC("sepr"),
                  .value = 128});  // no such program
    settle();
    if (withMain) {
      EXPECT_EQ(mainCommands(), (std::vector<int32_t>{40605, 40502}));
    } else {
      EXPECT_EQ(processor_.getProgram(), 33);
    }

    window.controlEvent(evaHostWindow::kNextProgram);
    if (withMain) {
      EXPECT_EQ(mainCommands().back(), 40402) << "from the processor's program 0";
    } else {
      EXPECT_EQ(processor_.getProgram(), 34);
      processor_.setProgram(127);
      window.controlEvent(evaHostWindow::kNextProgram);
      EXPECT_EQ(processor_.getProgram(), 0) << "wraps";
      window.controlEvent(evaHostWindow::kPreviousProgram);
      EXPECT_EQ(processor_.getProgram(), 0) << "stops at the first";
    }
  }
}

TEST_F(HostWindow, OtherCommandsGoToTheMainWindowAndQuitEndsTheLoop) {
  evaHostWindow& window = createWindow();
  for (int32_t command : {40001, 40302, 40304, 40307})
    window.handleCommand(command);
  EXPECT_EQ(mainCommands(), (std::vector<int32_t>{40001, 40302, 40304, 40307}));

  engine_.setRunning(true);
  clickAt(window, window.menuBar().titleArea(1));
  ASSERT_TRUE(passUntil([&] { return window.menuBar().tracking(); }));
  clickAt(window, window.menuBar().itemArea(1, 1));
  EXPECT_TRUE(passUntil([&] { return !engine_.running(); }));
  EXPECT_TRUE(mainCommands().size() == 4) << "Quit stays with the host window";
}

TEST_F(HostWindow, TheWindowManagersCloseEndsTheLoopOnly) {
  evaHostWindow& window = createWindow();
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
  EXPECT_TRUE(window.isOpen()) << "the host main tears down";
  EXPECT_EQ(editor_.closings, 0);

  window.close();
  EXPECT_EQ(editor_.closings, 1) << "the editor's window writes its files as the window goes";
}

TEST_F(HostWindow, TheNameDialogRenamesTheCurrentProgramAndItsMenuItem) {
  evaHostWindow& window = createWindow();
  processor_.setProgram(40);
  for (const bool confirm : {false, true}) {
    SCOPED_TRACE(confirm ? "OK" : "Escape");
    window.openProgramNameDialog();
    gui::epiWindow* dialog = engine_.findWindow(evaHostWindow::kNameDialog);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(onScreen(*dialog));
    input_->focus(dialog->nativeHandle());
    input_->typeText(" Solo");
    input_->typeKey(confirm ? XK_Return : XK_Escape);
    ASSERT_TRUE(passUntil([&] { return !engine_.findWindow(evaHostWindow::kNameDialog); }));
    settle();
    const char* expected = confirm ? "Program 41 Solo" : "Program 41";
    EXPECT_STREQ(processor_.programName(40), expected);
    EXPECT_EQ(window.menuBar().menu(5)->item(9)->text, expected);
    EXPECT_EQ(mainCommands(), confirm ? std::vector<int32_t>{40509} : std::vector<int32_t>{})
        << "the main window shows the new name";
  }
}

TEST_F(HostWindow, WithoutASettingsFileTheAudioDialogOpensByItself) {
  std::filesystem::remove(readSettings().path());
  createWindow();
  ASSERT_NE(window_->hostAudio(), nullptr);
  EXPECT_NE(engine_.findWindow(host::evaAudioSettingsPanel::kIdentifier), nullptr);

  window_->stopAudio();
  EXPECT_EQ(engine_.findWindow(host::evaAudioSettingsPanel::kIdentifier), nullptr)
      << "the dialog does not outlive the audio object it edits";
  EXPECT_EQ(window_->hostAudio(), nullptr);
}

// Quitting while audio runs: the device has stopped before the processor deletes its rack.
TEST_F(HostWindow, StopAudioStopsTheDeviceBeforeTheProcessorCloses) {
  startJack();
  writeSettings(hosttest::useLoopback);
  fake_.reset();  // the real DirectSound back end on the loopback device
  createWindow();
  ASSERT_EQ(window_->hostAudio()->status().state, host::evaHostAudio::State::kRunning);
  EXPECT_TRUE(hosttest::eventually([&] { return processor_.blocks.load() >= 4; }));

  window_->stopAudio();
  EXPECT_EQ(window_->hostAudio(), nullptr);
  processor_.close();
  const int64_t blocks = processor_.blocks.load();
  settle();
  EXPECT_EQ(processor_.blocks.load(), blocks);
  EXPECT_EQ(processor_.blocksAfterClose.load(), 0);
}

}  // namespace
