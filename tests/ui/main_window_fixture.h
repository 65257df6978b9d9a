#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "framework/settings_folder.h"
#include "gui/timer_clock.h"
#include "plugin/vlvr_processor.h"
#include "support/x11/xtest_input.h"
#include "support/x11/xvfb_fixture.h"
#include "ui/eva_editor.h"
#include "ui/vlvr_engine.h"
#include "ui/vlvr_panel.h"
#include "ui/vlvr_window.h"
#include "ui_test_support.h"

namespace uitest {

class ManualClock : public gui::TimerClock {
 public:
  uint64_t now() const override { return now_; }
  void advance(uint64_t by) { now_ += by; }

 private:
  uint64_t now_ = 1000;
};

// The product's engine beside the built resource file, its window on the test's clocks.
class WindowEngine : public ui::vlvrEngine {
 public:
  explicit WindowEngine(const ui::WindowClocks& clocks) : clocks_(clocks) {}
  bool applicationFilePath(std::string& path) const override {
    path = (std::filesystem::path(VALVORAMA_LIVE_RESOURCES).parent_path() / "amp").string();
    return true;
  }
  std::unique_ptr<ui::evaWindow> createWindow() override {
    return std::make_unique<ui::vlvrWindow>(*this, clocks_);
  }

 private:
  ui::WindowClocks clocks_;
};

// The amp as the stand-alone host runs it, its editor opened inside a host's X window on the
// private server, with its own settings folder, hand-moved clocks and a user's mouse and keys.
class MainWindowTest : public testsupport::XvfbTest {
 protected:
  static constexpr int kFront = ui::vlvrWindow::kFrontPanel;
  static constexpr int kAbout = ui::vlvrWindow::kAboutPanel;
  using C = ui::vlvrPanel::Control;

  void SetUp() override;
  void TearDown() override;
  // A new engine, processor and window on the same settings folder, and their end (the window
  // writes its files).
  void openAmp();
  void closeAmp();

  ui::vlvrWindow& window() const {
    return *static_cast<ui::vlvrWindow*>(engine_->editor()->window());
  }
  plugin::vlvrProcessor& processor() const {
    return *static_cast<plugin::vlvrProcessor*>(engine_->processor());
  }
  rack::VRmore& rack() const { return *processor().rack(); }

  // One pass of the editor's idle after the millisecond clocks moved on by `ms`.
  void idle(uint64_t ms = 0);
  void meterTicks(int count) {
    for (int i = 0; i < count; ++i)
      idle(ui::vlvrWindow::kMeterMs);
  }
  bool passUntil(const std::function<bool()>& done);
  // Real input on a control of the shown panel; each returns once the window heard of it.
  bool click(int control, int panel = kFront);
  bool drag(int control, int dy);  // up is negative
  bool type(const std::string& text, const std::function<bool()>& done);
  bool typeKey(uint32_t keysym, const std::function<bool()>& done);
  void sendMidi(uint8_t status, uint8_t data1, uint8_t data2 = 0) {
    std::thread midi([&] {  // the MIDI back end's own thread
      const uint8_t bytes[3] = {status, data1, data2};
      window().midiHandler()->onMidiMessage(bytes);
    });
    midi.join();
  }

  int value(int control, int panel = kFront) const {
    return window().getControlValue(panel, control);
  }
  std::string text(int item) const;
  bool shown(int control) const { return window().panel(kFront)->control(control)->visible(); }
  gui::Rect bounds(int control, int panel = kFront) const {
    return window().panel(panel)->control(control)->bounds();
  }
  // A sine through the processor on this thread, in blocks of `block` frames.
  void play(double hz, float amplitude, double seconds, int block = 512);
  // Meter ticks, each after the tone played until the tuner had just read a pitch: with live
  // audio the tick finds the reading of the last block.
  void tunedTicks(double hz, int count);

  ManualClock milliseconds_, meter_, passes_;
  std::unique_ptr<TempFolder> folder_;
  std::unique_ptr<testsupport::XTestInput> input_;
  WindowEngine* engine_ = nullptr;
  uint64_t parent_ = 0;
  double phase_ = 0.0;
};

}  // namespace uitest
