#pragma once

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

namespace testsupport {

// A private server started by a fixture, seen from the parent.
inline bool processExited(pid_t pid) {
  int status = 0;
  return waitpid(pid, &status, WNOHANG) == pid;
}

// Asks the server to end (SIGTERM) and reaps it; false when it is still running after `limit`,
// and the caller kills it.
inline bool terminateWithin(pid_t pid, std::chrono::milliseconds limit) {
  using namespace std::chrono_literals;
  ::kill(pid, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!processExited(pid)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

}  // namespace testsupport
