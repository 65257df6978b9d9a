#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/settings_folder.h"
#include "gui/epi_alpha_control.h"
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

// A clock the test moves by hand.
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
    path =
        (std::filesystem::path(VALVORAMA_LIVE_RESOURCES).parent_path() / "valvorama-live").string();
    return true;
  }
  std::unique_ptr<ui::evaWindow> createWindow() override {
    return std::make_unique<ui::vlvrWindow>(*this, clocks_);
  }

 private:
  ui::WindowClocks clocks_;
};

// The amp as the stand-alone host runs it, its editor opened inside a host's X window on the
// private server, a settings folder of its own, hand-moved clocks, and a user's mouse and
// keyboard.
class MainWindowTest : public testsupport::XvfbTest {
 protected:
  static constexpr int kFront = ui::vlvrWindow::kFrontPanel;
  static constexpr int kAbout = ui::vlvrWindow::kAboutPanel;
  using C = ui::vlvrPanel::Control;

  void SetUp() override;
  void TearDown() override;

  // A new engine and window over the same settings folder; false when it did not open.
  void openAmp();
  // Closes the editor (the window writes its files) and deletes processor and engine.
  void closeAmp();

  ui::vlvrWindow& window() const {
    return *static_cast<ui::vlvrWindow*>(engine_->editor()->window());
  }
  plugin::vlvrProcessor& processor() const {
    return *static_cast<plugin::vlvrProcessor*>(engine_->processor());
  }
  rack::VRmore& rack() const { return *processor().rack(); }

  // One pass of the editor's idle; `ms` first moves the millisecond clocks on.
  void idle(uint64_t ms = 0);
  // `count` ticks of the 40 ms meter timer.
  void meterTicks(int count) {
    for (int i = 0; i < count; ++i)
      idle(ui::vlvrWindow::kMeterMs);
  }
  // Passes until `done` holds; false after 5 s.
  bool passUntil(const std::function<bool()>& done);
  // The control's centre, in the window.
  std::pair<int, int> centre(int control, int panel = kFront) const;
  // A click on the control; returns once the window heard of it.
  bool click(int control, int panel = kFront);
  // A vertical drag from the control's centre by `dy` pixels (up is negative).
  bool drag(int control, int dy);
  // Typed keys; returns once `done` holds.
  bool type(const std::string& text, const std::function<bool()>& done);
  bool typeKey(uint32_t keysym, const std::function<bool()>& done);

  int value(int control, int panel = kFront) const {
    return window().getControlValue(panel, control);
  }
  std::string text(int item) const;
  bool shown(int control) const { return window().panel(kFront)->control(control)->visible(); }
  gui::Rect bounds(int control, int panel = kFront) const {
    return window().panel(panel)->control(control)->bounds();
  }
  // A sine of `hz` through the processor, on this thread, in blocks of `block` frames.
  void play(double hz, float amplitude, double seconds, int block = 512);
  // The tone played until the tuner has just read a pitch, then a meter tick shows it; as with
  // live audio, the reading of the last block is the one the tick finds.
  void tunedTicks(double hz, int count);

  ManualClock milliseconds_, meter_, passes_;
  std::unique_ptr<TempFolder> folder_;
  std::unique_ptr<testsupport::XTestInput> input_;
  WindowEngine* engine_ = nullptr;
  uint64_t parent_ = 0;
  double phase_ = 0.0;
};

}  // namespace uitest
