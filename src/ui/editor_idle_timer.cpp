#include "ui/editor_idle_timer.h"

#include <system_error>
#include <utility>

namespace ui {

namespace {

std::chrono::steady_clock::rep now() {
  return std::chrono::steady_clock::now().time_since_epoch().count();
}

}  // namespace

EditorIdleTimer::EditorIdleTimer(std::recursive_mutex& lock, std::function<void()> pass)
    : lock_(lock), pass_(std::move(pass)) {}

EditorIdleTimer::~EditorIdleTimer() {
  stop();
  // Destroyed from inside its own pass: the thread must not wait for itself.
  if (thread_.joinable()) thread_.detach();
}

bool EditorIdleTimer::start() {
  if (thread_.joinable()) {
    if (!stopping_) return true;
    thread_.join();
  }
  stopping_ = false;
  try {
    thread_ = std::thread(&EditorIdleTimer::run, this);
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void EditorIdleTimer::stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard wakeLock(wakeMutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  // Stopped from inside the timer's own pass (a host closing the editor from a callback): the
  // thread ends after that pass and is joined by the next start.
  if (thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void EditorIdleTimer::hostPassed() {
  lastHostPass_.store(now(), std::memory_order_relaxed);
}

bool EditorIdleTimer::hostIsIdling() const {
  const auto gap =
      std::chrono::steady_clock::duration(now() - lastHostPass_.load(std::memory_order_relaxed));
  return gap < kHostGap;
}

void EditorIdleTimer::run() {
  std::unique_lock wakeLock(wakeMutex_);
  while (!wake_.wait_for(wakeLock, kPeriod, [this] { return stopping_; })) {
    if (hostIsIdling()) continue;
    wakeLock.unlock();
    if (std::unique_lock ui(lock_, std::try_to_lock); ui) pass_();
    wakeLock.lock();
  }
}

}  // namespace ui
