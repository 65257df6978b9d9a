// The "Audio hardware settings" dialog with the JACK fixture's devices, driven with real input:
// the ALSA loopback device under "DirectX" and the JACK driver under "Asio".

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <string>
#include <vector>

#include "gui/epi_list_control.h"
#include "host/eva_audio_settings_panel.h"
#include "host_test_support.h"
#include "host_window_test_support.h"
#include "platform/asio_registry.h"

namespace {

using gui::epiListControl;
using host::evaAudioSettingsPanel;
using State = host::evaHostAudio::State;
using Panel = evaAudioSettingsPanel;

constexpr const char* kJackDriver = "JACK (Valvorama Live)";
constexpr const char* kLoopback = testsupport::JackServer::kLoopbackDeviceName;

class AudioSettingsDialog : public hosttest::HostWindowTest {
 protected:
  void SetUp() override {
    HostWindowTest::SetUp();
    if (HasFatalFailure()) return;
    ::setenv(platform::AsioRegistry::kFilesVariable, JACK_DRIVER_REGISTRY, 1);
    startJack();
  }
  void TearDown() override {
    HostWindowTest::TearDown();
    ::unsetenv(platform::AsioRegistry::kFilesVariable);
  }

  // The window playing through the loopback device, and its dialog open on screen.
  Panel& openOnLoopback() {
    writeSettings(hosttest::useLoopback);
    createWindow();
    EXPECT_EQ(window_->hostAudio()->status().state, State::kRunning);
    window_->handleCommand(host::evaHostWindow::kAudioSetupCommand);
    return shownDialog();
  }
  Panel& shownDialog() {
    auto* panel = static_cast<Panel*>(engine_.findWindow(Panel::kIdentifier));
    EXPECT_NE(panel, nullptr);
    EXPECT_TRUE(onScreen(*panel));
    return *panel;
  }
  // Opens a list with a click and clicks its entry `text`.
  void choose(Panel& panel, int32_t control, const std::string& text) {
    epiListControl& list = panel.list(control);
    int32_t index = 0;
    while (index < list.count() && list.entry(index) != text)
      ++index;
    ASSERT_LT(index, list.count()) << text;
    ASSERT_LE(list.count(), epiListControl::kShownRows) << "every entry in view";
    clickAt(panel, list.bounds());
    ASSERT_TRUE(passUntil([&] { return list.isOpen(); }));
    const gui::Rect rows = list.overlay();
    const int32_t height = list.bounds().height;
    clickAt(panel, {rows.x, rows.y + 1 + index * height, rows.width, height});
    ASSERT_TRUE(passUntil([&] { return !list.isOpen(); }));
    ASSERT_EQ(list.selectedText(), text);
  }
  void press(Panel& panel, int32_t button) {
    clickAt(panel, panel.widget(button)->bounds());
    ASSERT_TRUE(passUntil([&] { return !engine_.findWindow(Panel::kIdentifier); }));
  }
  bool enabled(Panel& panel, int32_t control) { return panel.widget(control)->enabled(); }
};

TEST_F(AudioSettingsDialog, ATechnologyChangeResetsRateAndSizeAndTheJackDriverServesBothSides) {
  Panel& panel = openOnLoopback();
  const host::HardwareSettings& live = window_->hostAudio()->settings();
  EXPECT_EQ(panel.list(Panel::kInputDevice).selectedText(), kLoopback);
  EXPECT_EQ(panel.list(Panel::kBufferSize).selectedText(), "256");
  EXPECT_EQ(panel.list(Panel::kBufferSize).entry(0), "128") << "64 and up, as the device offers";
  EXPECT_TRUE(enabled(panel, Panel::kOutputDevice) && enabled(panel, Panel::kBufferSize));
  EXPECT_EQ(window_->hostAudio()->status().state, State::kStopped) << "the dialog has the device";

  choose(panel, Panel::kTechnology, "Asio");
  EXPECT_EQ(live.selectedFrequencies, "44100");
  EXPECT_EQ(live.selectedBufSize, "1024");
  EXPECT_EQ(panel.list(Panel::kOutputDevice).selectedText(), kJackDriver) << "follows the input";
  EXPECT_EQ(panel.list(Panel::kBufferSize).selectedText(), std::to_string(jack_->period()));
  EXPECT_EQ(panel.list(Panel::kSampleRate).selectedText(), "48000") << "the server's rate";
  for (int32_t control : {Panel::kOutputDevice, Panel::kBufferSize, Panel::kSampleRate})
    EXPECT_FALSE(enabled(panel, control)) << control;
  EXPECT_TRUE(enabled(panel, Panel::kControlPanel));
  EXPECT_EQ(panel.list(Panel::kOutputRight).selection(), 1)
      << "JACK's ports are not called Left and Right: the stored positions choose";

  choose(panel, Panel::kTechnology, "DirectX");
  EXPECT_EQ(live.selectedFrequencies, "44100") << "reset even where 48000 would do";
  EXPECT_EQ(panel.list(Panel::kBufferSize).selectedText(), "1024");

  window_->stopAudio();
  EXPECT_EQ(engine_.findWindow(Panel::kIdentifier), nullptr)
      << "the dialog does not outlive the audio object it edits";
}

TEST_F(AudioSettingsDialog, CancelAfterATechnologyChangeReopensTheOldDevices) {
  Panel& panel = openOnLoopback();
  choose(panel, Panel::kTechnology, "Asio");
  press(panel, Panel::kCancel);

  const host::evaHostAudio::Status status = window_->hostAudio()->status();
  EXPECT_EQ(status.state, State::kRunning);
  EXPECT_EQ(status.technology, "DirectX");
  EXPECT_EQ(status.outputDevice, kLoopback);
  EXPECT_EQ(status.sampleRate, 48000.0f);
  EXPECT_EQ(status.blockSize, 256);
  const int64_t blocks = processor_.blocks.load();
  EXPECT_TRUE(hosttest::eventually([&] { return processor_.blocks.load() > blocks + 2; }));
}

TEST_F(AudioSettingsDialog, OkWritesEveryKeyAndRestartsWithTheNewChannels) {
  Panel& panel = openOnLoopback();
  choose(panel, Panel::kInputChannel, "Right");
  choose(panel, Panel::kOutputRight, "Left");
  press(panel, Panel::kOk);

  std::ifstream file(readSettings().path());
  std::vector<std::string> keys;
  for (std::string line; std::getline(file, line);)
    if (const size_t colon = line.find(':'); colon != std::string::npos)
      keys.push_back(line.substr(0, colon));
  const auto& expected = host::HardwareSettings::keys();
  EXPECT_EQ(keys, std::vector<std::string>(expected.begin(), expected.end()));

  const host::HardwareSettings w = readSettings();
  EXPECT_EQ(w.curOuDeviceName, kLoopback);
  EXPECT_EQ(w.selectedFrequencies, "48000");
  EXPECT_EQ(w.selectedBufSize, "256");
  EXPECT_EQ(w.curInChannelName, "Right");
  EXPECT_EQ(w.curInChannelIndex, 1);
  EXPECT_EQ(w.curOuChannelRightName, "Left");
  EXPECT_EQ(w.curOuChannelRightIndex, 0);

  const host::MPAudioDriver* driver = window_->hostAudio()->audio()->driver();
  ASSERT_NE(driver, nullptr);
  EXPECT_TRUE(driver->isRunning());
  EXPECT_EQ(driver->config().inputChannels[0].deviceChannel, 1);
  EXPECT_EQ(driver->config().outputChannels[1].deviceChannel, 0);
}

// The first start: no settings file, the dialog opens by itself, and choosing the JACK driver
// plays.
TEST_F(AudioSettingsDialog, ChoosingATechnologyAtTheFirstStartStartsAudio) {
  createWindow();
  Panel& panel = shownDialog();
  EXPECT_EQ(panel.list(Panel::kTechnology).selection(), epiListControl::kNone);
  EXPECT_FALSE(enabled(panel, Panel::kInputDevice));
  choose(panel, Panel::kTechnology, "Asio");
  press(panel, Panel::kOk);

  const host::evaHostAudio::Status status = window_->hostAudio()->status();
  EXPECT_EQ(status.state, State::kRunning);
  EXPECT_EQ(status.outputDevice, kJackDriver);
  EXPECT_EQ(status.blockSize, jack_->period());
  const host::HardwareSettings written = readSettings();
  EXPECT_EQ(written.audioTechnology, "Asio");
  EXPECT_EQ(written.selectedFrequencies, "48000");
  EXPECT_EQ(written.selectedBufSize, std::to_string(jack_->period()));
  EXPECT_TRUE(hosttest::eventually([&] { return processor_.blocks.load() > 2; }));
}

}  // namespace
