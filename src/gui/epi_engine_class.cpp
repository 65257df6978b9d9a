#include "gui/epi_engine_class.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

#include "gui/epi_window.h"
#include "gui/timer_clock.h"

namespace gui {

epiEngineClass::epiEngineClass() = default;

epiEngineClass::~epiEngineClass() {
  closeAllWindows();
}

bool epiEngineClass::openDisplay(const char* name, std::string& error) {
  if (display_) return true;
  display_ = platform::NativeDisplay::open(name, error);
  return display_ != nullptr;
}

void epiEngineClass::closeDisplay() {
  closeAllWindows();
  display_.reset();
}

void epiEngineClass::run() {
  running_ = true;
  beforeLoop();
  while (running_) {
    // A lost display ends the program's loop: nothing can be shown or quit any more.
    if (!processEvents(kLoopWaitMs)) running_ = false;
    // Without a display there are no events to wait on; the passes still run the timers.
    if (!display_) std::this_thread::sleep_for(std::chrono::milliseconds(kLoopWaitMs));
  }
}

bool epiEngineClass::processEvents(int32_t waitMs) {
  bool alive = true;
  if (display_) {
    if (waitMs > 0 && posted_.empty()) display_->wait(waitMs);
    alive = display_->pump();
  }
  deliverPosted();
  // A window may close in its idle turn; the copy keeps the walk valid.
  const std::vector<epiWindow*> open = windows_;
  for (epiWindow* window : open) {
    if (std::find(windows_.begin(), windows_.end(), window) == windows_.end()) continue;
    window->idle();
    window->refresh();
  }
  eventLoopPasses().pass();
  releaseClosed();
  return alive;
}

epiWindow* epiEngineClass::findWindow(uint32_t identifier) const {
  for (epiWindow* window : windows_) {
    if (window->identifier() == identifier) return window;
  }
  return nullptr;
}

epiWindow* epiEngineClass::firstOpenWindow() const {
  return windows_.empty() ? nullptr : windows_.front();
}

void epiEngineClass::closeAllWindows() {
  // The newest first: dialogs before the windows that opened them.
  while (!windows_.empty())
    windows_.back()->close();
  owned_.clear();
}

epiWindow& epiEngineClass::adopt(std::unique_ptr<epiWindow> window) {
  owned_.push_back(std::move(window));
  return *owned_.back();
}

void epiEngineClass::post(epiMessage message) {
  posted_.push_back(std::move(message));
}

bool epiEngineClass::send(const epiMessage& message) {
  epiWindow* target = findWindow(message.target);
  if (!target) return false;
  target->handleMessage(message);
  return true;
}

// Messages posted while these are delivered wait for the next pass.
void epiEngineClass::deliverPosted() {
  std::deque<epiMessage> due;
  due.swap(posted_);
  for (const epiMessage& message : due)
    send(message);
}

epiWindow* epiEngineClass::modalWindow() const {
  for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) {
    if ((*it)->modal()) return *it;
  }
  return nullptr;
}

void epiEngineClass::enrol(epiWindow& window) {
  windows_.push_back(&window);
}

void epiEngineClass::withdraw(epiWindow& window) {
  std::erase(windows_, &window);
  if (menuWindow_ == &window) menuWindow_ = nullptr;
}

void epiEngineClass::releaseClosed() {
  std::erase_if(owned_, [](const std::unique_ptr<epiWindow>& window) { return !window->isOpen(); });
}

}  // namespace gui
