#include "live_host_window.h"

#include <utility>

#include "console_log.h"
#include "gui/epi_engine_class.h"
#include "stop_signal.h"
#include "window_picture.h"

LiveHostWindow::LiveHostWindow(gui::epiEngineClass& engine, plugin::evaProcessor& processor,
                               std::string settingsFolder, StopSignal& stop,
                               std::optional<Screenshot> screenshot)
    : evaHostWindow(engine, processor, std::move(settingsFolder)),
      stop_(stop),
      screenshot_(std::move(screenshot)) {}

void LiveHostWindow::idle() {
  evaHostWindow::idle();
  if (stop_.wait(std::chrono::milliseconds(0))) {
    if (!stopSeen_) trace("stop signal %d", stop_.received());
    stopSeen_ = true;
    engine().quit();
    return;
  }
  if (!screenshot_) return;
  const auto now = std::chrono::steady_clock::now();
  if (!loopStart_) loopStart_ = now;
  if (now - *loopStart_ >= screenshot_->after) takeScreenshot();
}

void LiveHostWindow::takeScreenshot() {
  const std::string path = screenshot_->path;
  screenshot_.reset();
  screenshotFailed_ = !writeWindowPicture(*this, engine().findWindow(kMainWindow), path);
  if (screenshotFailed_)
    problem("cannot write the screenshot %s", path.c_str());
  else
    trace("screenshot written");
  engine().quit();
}
