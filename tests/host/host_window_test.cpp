// The host window and its audio settings dialog on a private X server, the dialog with the JACK
// fixture's devices: the ALSA loopback device under "DirectX", the JACK driver under "Asio".
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "gui/epi_alpha_control_text.h"
#include "gui/epi_list_control.h"
#include "gui/window_test_support.h"
#include "host/eva_audio_settings_panel.h"
#include "host/eva_host_window.h"
#include "platform/asio_registry.h"
#include "plugin/plugin_test_support.h"
#include "plugin/sample_rate.h"
#include "support/eventually.h"
#include "support/jack/jack_fixture.h"

#include <X11/keysym.h>

namespace {

// Text drawing fills the font caches; they go at the end so the sanitizer's leak check passes.
struct FontCaches : ::testing::Environment {
  void TearDown() override { gui::releaseFontCaches(); }
};
const auto* const fontCaches = ::testing::AddGlobalTestEnvironment(new FontCaches);

using gui::epiListControl;
using host::evaHostWindow;
using Commands = std::vector<int32_t>;
using Panel = host::evaAudioSettingsPanel;
using State = host::evaHostAudio::State;

// The editor without the real main window: a recording window "main" inside the parent.
class FakeEditor : public plugin::AEffEditor {
 public:
  static constexpr int16_t kWidth = 400, kHeight = 200;
  explicit FakeEditor(gui::epiEngineClass& engine) : engine_(engine) {}

  intptr_t getRect(plugin::ERect** rect) override {
    *rect = &rect_;
    return 1;
  }
  intptr_t open(void* parent) override {
    window = std::make_unique<testsupport::RecordingWindow>(engine_, framework::fourCC("main"));
    return window->openInside(reinterpret_cast<uint64_t>(parent), 0, 0, kWidth, kHeight);
  }
  void close() override {
    ++closings;
    window.reset();
  }

  std::unique_ptr<testsupport::RecordingWindow> window;
  int closings = 0;

 private:
  gui::epiEngineClass& engine_;
  plugin::ERect rect_{0, 0, kHeight, kWidth};
};

// Counts its blocks, and those that come once it is closed.
struct CountingProcessor : plugin::vlvrProcessor {
  void processReplacing(float** inputs, float** outputs, int32_t frames) override {
    if (!isOpen()) ++blocksAfterClose;
    ++blocks;
    vlvrProcessor::processReplacing(inputs, outputs, frames);
  }
  std::atomic<int64_t> blocks{0}, blocksAfterClose{0};
};

class HostWindowTest : public testsupport::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    processor_.initialize();
    processor_.open();
    processor_.setEditor(&editor_);
  }
  void TearDown() override {
    if (window_) window_->stopAudio();
    processor_.close();
    window_.reset();
    WindowTest::TearDown();
    processor_.setEditor(nullptr);
    plugin::setProcessSampleRate(44100.0f);
  }

  evaHostWindow& createWindow() {
    window_ = std::make_unique<evaHostWindow>(engine_, processor_, folder_.path());
    EXPECT_TRUE(window_->create());
    EXPECT_TRUE(onScreen(*window_));
    return *window_;
  }
  // The audio settings dialog on screen, after the window's command unless `opened` already.
  Panel& dialog(bool opened = false) {
    if (!opened) window_->handleCommand(evaHostWindow::kAudioSetupCommand);
    auto* panel = static_cast<Panel*>(engine_.findWindow(Panel::kIdentifier));
    EXPECT_TRUE(panel && onScreen(*panel));
    return *panel;
  }
  void press(Panel& panel, int32_t button) {
    click(panel, panel.widget(button)->bounds());
    ASSERT_TRUE(passUntil([&] { return !engine_.findWindow(Panel::kIdentifier); }));
  }

  plugintest::TempDir folder_;
  CountingProcessor processor_;
  FakeEditor editor_{engine_};
  std::unique_ptr<evaHostWindow> window_;
};

// Item 5 of program menu 6 is program 68; menus, `sepr` and the host controls go to the main
// window while it is open, else select.
TEST_F(HostWindowTest, FirstStartMenusProgramChoicesRenamingAndTheEndOfTheLoop) {
  processor_.setProgram(67);
  processor_.setProgramName("Crunch Lead");
  processor_.setProgram(2);
  evaHostWindow& window = createWindow();
  Panel& first = dialog(true);
  EXPECT_FALSE(first.widget(Panel::kInputDevice)->enabled()) << "no technology chosen yet";
  press(first, Panel::kCancel);
  ASSERT_TRUE(editor_.window && editor_.window->isOpen());
  const Commands& commands = editor_.window->commands;
  gui::epiMenuBar& bar = window.menuBar();
  EXPECT_EQ(bar.menu(6)->item(4)->text, "Crunch Lead");
  const auto checked = [&](int32_t program) {
    return bar.menu(4 + program / 32)->item(program % 32 + 1)->checked;
  };
  EXPECT_TRUE(checked(2) && !checked(0) && !checked(67));

  const auto sepr = [&](int32_t program) {
    engine_.post({.target = evaHostWindow::kIdentifier,
                  .code = evaHostWindow::kMessageSelectProgram,
                  .value = program});
    settle();
  };
  processor_.setProgram(0);
  sepr(33);
  sepr(128);  // no such program
  window.controlEvent(evaHostWindow::kNextProgram);
  window.handleCommand(40302);
  EXPECT_EQ(commands, (Commands{40502, 40402, 40302}));
  EXPECT_EQ(processor_.getProgram(), 0) << "the main window selects";

  // Renaming shows the name on the LCD without choosing the program again (no recall).
  processor_.setProgram(40);
  window.openProgramNameDialog();
  gui::epiWindow* nameDialog = engine_.findWindow(evaHostWindow::kNameDialog);
  ASSERT_TRUE(nameDialog && onScreen(*nameDialog));
  input_->focus(nameDialog->nativeHandle());
  input_->typeText(" Solo");
  input_->typeKey(XK_Return);
  ASSERT_TRUE(passUntil([&] { return !engine_.findWindow(evaHostWindow::kNameDialog); }));
  settle();
  EXPECT_STREQ(processor_.programName(40), "Program 41 Solo");
  EXPECT_EQ(bar.menu(5)->item(9)->text, "Program 41 Solo");
  EXPECT_EQ(commands.size(), 3u);
  ASSERT_EQ(editor_.window->messages.size(), 1u);
  EXPECT_EQ(editor_.window->messages[0].text, "PROGRAM 41 SOLO");

  // The window manager's close ends the loop only: the host's main tears down.
  engine_.setRunning(true);
  window.closeRequested();
  EXPECT_FALSE(engine_.running());
  EXPECT_TRUE(window.isOpen() && editor_.closings == 0);

  processor_.setProgram(0);
  editor_.window.reset();
  window.handleCommand(40605);  // the 5th item of the 6th menu
  EXPECT_EQ(processor_.getProgram(), 68);
  EXPECT_TRUE(checked(68) && !checked(0));
  sepr(33);
  EXPECT_EQ(processor_.getProgram(), 33);
  processor_.setProgram(127);
  window.controlEvent(evaHostWindow::kNextProgram);
  EXPECT_EQ(processor_.getProgram(), 0) << "the next program wraps";
  processor_.setProgram(1);
  window.controlEvent(evaHostWindow::kPreviousProgram);
  window.controlEvent(evaHostWindow::kPreviousProgram);
  EXPECT_EQ(processor_.getProgram(), 0) << "the previous one stops at the first";
  window.close();
  EXPECT_EQ(editor_.closings, 1) << "the editor's window writes its files as the window goes";
}

constexpr const char* kJackDriver = "JACK (Valvorama Live)";
constexpr const char* kLoopback = testsupport::JackServer::kLoopbackDeviceName;

class AudioSettingsDialog : public HostWindowTest {
 protected:
  void SetUp() override {
    HostWindowTest::SetUp();
    ::setenv(platform::AsioRegistry::kFilesVariable, JACK_DRIVER_REGISTRY, 1);
    ASSERT_TRUE(jack_.running()) << jack_.error();
  }
  void TearDown() override {
    HostWindowTest::TearDown();
    ::unsetenv(platform::AsioRegistry::kFilesVariable);
  }

  void choose(Panel& panel, int32_t control, const std::string& text) {
    epiListControl& list = panel.list(control);
    int32_t index = 0;
    while (index < list.count() && list.entry(index) != text)
      ++index;
    ASSERT_LT(index, list.count()) << text;
    ASSERT_LE(list.count(), epiListControl::kShownRows) << "every entry in view";
    click(panel, list.bounds());
    ASSERT_TRUE(passUntil([&] { return list.isOpen(); }));
    const gui::Rect rows = list.overlay();
    const int32_t height = list.bounds().height;
    click(panel, {rows.x, rows.y + 1 + index * height, rows.width, height});
    ASSERT_TRUE(passUntil([&] { return !list.isOpen(); }));
    ASSERT_EQ(list.selectedText(), text);
  }

  testsupport::JackServer jack_;
};

// A technology change resets the rate and JACK serves both sides; Cancel reopens the old devices;
// OK writes and restarts; quitting closes the dialog and stops the device before the rack goes.
TEST_F(AudioSettingsDialog, TechnologyChangeCancelOkAndTheStopOrder) {
  host::HardwareSettings settings(folder_.path());
  settings.audioTechnology = "DirectX";
  settings.curInDeviceName = settings.curOuDeviceName = kLoopback;
  settings.selectedFrequencies = "48000";
  settings.selectedBufSize = "256";
  ASSERT_TRUE(settings.write());
  createWindow();
  EXPECT_EQ(window_->hostAudio()->status().state, State::kRunning);
  Panel& panel = dialog();
  const host::HardwareSettings& live = window_->hostAudio()->settings();
  EXPECT_EQ(window_->hostAudio()->status().state, State::kStopped) << "the dialog has the device";

  choose(panel, Panel::kTechnology, "Asio");
  EXPECT_EQ(panel.list(Panel::kOutputDevice).selectedText(), kJackDriver) << "follows the input";
  EXPECT_EQ(panel.list(Panel::kBufferSize).selectedText(), std::to_string(jack_.period()));
  EXPECT_EQ(panel.list(Panel::kOutputRight).selection(), 1)
      << "JACK's ports are not called Left and Right: the stored positions choose";
  choose(panel, Panel::kTechnology, "DirectX");
  EXPECT_EQ(live.selectedFrequencies, "44100") << "reset even where 48000 would do";
  press(panel, Panel::kCancel);
  const auto status = window_->hostAudio()->status();
  EXPECT_EQ(status.state, State::kRunning);
  EXPECT_EQ(status.blockSize, 256);

  Panel& again = dialog();
  choose(again, Panel::kOutputRight, "Left");
  press(again, Panel::kOk);
  ASSERT_TRUE(settings.read());
  EXPECT_EQ(settings.curOuChannelRightIndex, 0);
  const host::MPAudioDriver* driver = window_->hostAudio()->audio()->driver();
  ASSERT_TRUE(driver && driver->isRunning());
  EXPECT_EQ(driver->config().outputChannels[1].deviceChannel, 0);

  const int64_t flowing = processor_.blocks.load();
  EXPECT_TRUE(testsupport::eventually([&] { return processor_.blocks.load() > flowing + 2; }));
  dialog();
  window_->stopAudio();
  EXPECT_EQ(window_->hostAudio(), nullptr);
  EXPECT_EQ(engine_.findWindow(Panel::kIdentifier), nullptr) << "it edits the audio object";
  processor_.close();
  const int64_t blocks = processor_.blocks;
  settle();
  EXPECT_EQ(processor_.blocks, blocks);
  EXPECT_EQ(processor_.blocksAfterClose, 0);
}

}  // namespace
