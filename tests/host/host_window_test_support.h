// Shared by the host window and audio settings dialog tests.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>

#include "gui/window_test_support.h"
#include "host/eva_host_window.h"
#include "plugin/plugin_test_support.h"
#include "plugin/sample_rate.h"
#include "support/jack/jack_fixture.h"

namespace hosttest {

// The editor without the real main window: a window "main" inside the parent that records the
// commands it is given.
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
class CountingProcessor : public plugin::vlvrProcessor {
 public:
  void processReplacing(float** inputs, float** outputs, int32_t frames) override {
    if (!isOpen()) ++blocksAfterClose;
    ++blocks;
    vlvrProcessor::processReplacing(inputs, outputs, frames);
  }
  std::atomic<int64_t> blocks{0}, blocksAfterClose{0};
};

// The host window with the fake editor on the private X server and a settings folder of its
// own. Nothing plays unless a test starts the JACK server.
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

  void startJack() {
    jack_ = std::make_unique<testsupport::JackServer>();
    ASSERT_TRUE(jack_->running()) << jack_->error();
  }
  // The settings file as `edit` leaves a fresh settings object.
  void writeSettings(const std::function<void(host::HardwareSettings&)>& edit) {
    host::HardwareSettings settings(folder_.path());
    edit(settings);
    ASSERT_TRUE(settings.write());
  }
  host::HardwareSettings readSettings() const {
    host::HardwareSettings settings(folder_.path());
    settings.read();
    return settings;
  }
  host::evaHostWindow& createWindow() {
    window_ = std::make_unique<host::evaHostWindow>(engine_, processor_, folder_.path());
    EXPECT_TRUE(window_->create());
    EXPECT_TRUE(onScreen(*window_));
    return *window_;
  }
  void clickAt(const gui::epiWindow& window, const gui::Rect& area) {
    click(window, area.x + area.width / 2, area.y + area.height / 2);
  }

  std::unique_ptr<testsupport::JackServer> jack_;
  plugintest::TempDir folder_;
  CountingProcessor processor_;
  FakeEditor editor_{engine_};
  std::unique_ptr<host::evaHostWindow> window_;
};

// The JACK fixture's ALSA loopback device under "DirectX", at the server's rate.
inline void useLoopback(host::HardwareSettings& s) {
  s.audioTechnology = "DirectX";
  s.curInDeviceName = s.curOuDeviceName = testsupport::JackServer::kLoopbackDeviceName;
  s.selectedFrequencies = "48000";
  s.selectedBufSize = "256";
}

}  // namespace hosttest
