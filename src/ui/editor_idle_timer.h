#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace ui {

// The editor's own idle, for hosts that call the editor's idle rarely or never: a thread that
// makes the pass itself every kPeriod once the host has left kHostGap without one. It only ever
// tries the user-interface lock, so a host call in progress is never waited for (the tick is
// skipped), and stop() may be called with the lock held.
class EditorIdleTimer {
 public:
  static constexpr std::chrono::milliseconds kPeriod{20};
  static constexpr std::chrono::milliseconds kHostGap{50};

  // `pass` runs on the timer's thread with `lock` held; both outlive the timer.
  EditorIdleTimer(std::recursive_mutex& lock, std::function<void()> pass);
  ~EditorIdleTimer();
  EditorIdleTimer(const EditorIdleTimer&) = delete;
  EditorIdleTimer& operator=(const EditorIdleTimer&) = delete;

  // False when no thread can be started: the host's idle calls are then all there is.
  bool start();
  void stop();
  // The host made a pass: the timer stands back for kHostGap.
  void hostPassed();

 private:
  void run();
  bool hostIsIdling() const;

  std::recursive_mutex& lock_;
  const std::function<void()> pass_;
  std::atomic<std::chrono::steady_clock::rep> lastHostPass_{0};
  std::mutex wakeMutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace ui
