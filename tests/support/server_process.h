#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

// Starts args[0] with its output in `logPath`; it is sent SIGTERM when the test process goes, so
// it leaves no server registration behind. `inheritFd` (if not -1) stays open across exec.
// Returns the child's pid, or -1 when it cannot fork.
inline pid_t spawnServer(const std::vector<std::string>& args, const std::string& logPath,
                         int inheritFd = -1) {
  std::vector<char*> argv;
  for (const std::string& arg : args)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    // Only async-signal-safe calls until exec.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    if (inheritFd >= 0) fcntl(inheritFd, F_SETFD, 0);
    const int out = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out >= 0) {
      dup2(out, STDOUT_FILENO);
      dup2(out, STDERR_FILENO);
    }
    execvp(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

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
