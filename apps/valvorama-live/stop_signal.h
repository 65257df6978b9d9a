#pragma once

#include <signal.h>

#include <chrono>

// SIGINT, SIGTERM and SIGHUP (the terminal closed) ask the host to stop, so it still writes its
// files. The handler only records the signal. They are blocked from construction on, so
// threads started afterwards (the audio threads) never take them; the main thread receives them
// only while it waits.
class StopSignal {
 public:
  StopSignal();
  ~StopSignal();
  StopSignal(const StopSignal&) = delete;
  StopSignal& operator=(const StopSignal&) = delete;

  // Sleeps until a stop signal arrives or `timeout` passes (0: only takes one that is pending);
  // true once one has arrived.
  bool wait(std::chrono::milliseconds timeout);
  // The signal that arrived, 0 before.
  int received() const;

 private:
  sigset_t previousMask_{};
  struct sigaction previousInt_ {};
  struct sigaction previousTerm_ {};
  struct sigaction previousHup_ {};
};
