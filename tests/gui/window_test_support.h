#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gui/epi_engine_class.h"
#include "gui/epi_message.h"
#include "gui/epi_window.h"
#include "support/x11/xtest_input.h"
#include "support/x11/xvfb_fixture.h"

namespace testsupport {

class RecordingWindow : public gui::epiWindow {
 public:
  using epiWindow::epiWindow;
  ~RecordingWindow() override { close(); }

  bool handleMessage(const gui::epiMessage& message) override {
    messages.push_back(message);
    return epiWindow::handleMessage(message);
  }
  void handleCommand(int32_t command) override { commands.push_back(command); }
  void keyTyped(int32_t key) override { keys.push_back(key); }
  void controlChanged(int32_t panel, int32_t control) override {
    changes.push_back({panel, control});
  }
  void closeWindow() override { ++closings; }

  std::vector<gui::epiMessage> messages;
  std::vector<int32_t> commands;
  std::vector<int32_t> keys;
  std::vector<std::pair<int32_t, int32_t>> changes;
  int closings = 0;
};

class WindowTest : public XvfbTest {
 protected:
  void SetUp() override {
    XvfbTest::SetUp();
    if (HasFatalFailure()) return;
    std::string error;
    ASSERT_TRUE(engine_.openDisplay(nullptr, error)) << error;
    input_ = std::make_unique<XTestInput>();
    ASSERT_TRUE(input_->available()) << input_->error();
  }
  void TearDown() override { engine_.closeAllWindows(); }

  bool passUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
      if (std::chrono::steady_clock::now() >= deadline || !engine_.processEvents(10)) return false;
    }
    return true;
  }
  // A few passes, for input that must have no effect.
  void settle() {
    for (int i = 0; i < 20; ++i)
      engine_.processEvents(5);
  }
  void click(const gui::epiWindow& window, int32_t x, int32_t y) {
    input_->moveTo(window.nativeHandle(), x, y);
    input_->press(1);
    input_->release(1);
  }
  void click(const gui::epiWindow& window, const gui::Rect& area) {
    click(window, area.x + area.width / 2, area.y + area.height / 2);
  }
  // Passes until the window is on screen (XTest input reaches only what is shown).
  bool onScreen(const gui::epiWindow& window);

  gui::epiEngineClass engine_;
  std::unique_ptr<XTestInput> input_;
};

}  // namespace testsupport
