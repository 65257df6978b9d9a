#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/eventually.h"
#include "ui/ui_test_support.h"

extern char** environ;

namespace livetest {

inline std::string readText(const std::string& path) {
  const std::vector<uint8_t> bytes = testsupport::readBytes(path);
  return {bytes.begin(), bytes.end()};
}

// A program run as a user runs it, its output in two files. Whatever is still running when
// the object goes is killed and reaped, so a failed test leaves no process behind.
class ChildProcess {
 public:
  ChildProcess(const std::vector<std::string>& arguments, const std::vector<std::string>& env,
               const std::string& outPath, const std::string& errPath) {
    std::vector<std::string> environment(env);
    for (char** e = environ; *e; ++e)
      environment.emplace_back(*e);  // ours first: the first of a name wins
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    const auto pointers = [](const std::vector<std::string>& words) {
      std::vector<char*> p;
      for (const std::string& w : words)
        p.push_back(const_cast<char*>(w.c_str()));
      p.push_back(nullptr);
      return p;
    };
    auto argv = pointers(arguments);
    auto envp = pointers(environment);
    if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~ChildProcess() {
    if (pid_ > 0 && !status_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  void signal(int number) const {
    if (pid_ > 0 && !status_) ::kill(pid_, number);
  }

  // The exit status once the program has ended within `limit`; -1 for a death by signal.
  std::optional<int> waitExit(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (pid_ > 0 && !status_) {
      int raw = 0;
      if (::waitpid(pid_, &raw, WNOHANG) == pid_) {
        status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
      } else if (std::chrono::steady_clock::now() > end) {
        break;
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
    return status_;
  }

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
};

// Waits until the file holds `text`; false after a limit generous for a loaded machine.
inline bool waitForText(const std::string& path, const std::string& text) {
  return testsupport::eventually([&] { return readText(path).find(text) != std::string::npos; });
}

using Folder = uitest::TempFolder;  // a folder of the test's own, removed with its contents

struct Outcome {
  std::optional<int> status;
  std::string out, err;
};

// How many of `steps` (starts of VALVORAMA_LIVE_TRACE lines) `err` shows one after the other.
inline size_t stepsInOrder(const std::string& err, const std::vector<std::string>& steps) {
  size_t at = 0;
  std::istringstream in(err);
  for (std::string line; std::getline(in, line);) {
    if (at < steps.size() && line.rfind("trace: " + steps[at], 0) == 0) ++at;
  }
  return at;
}

// Runs a program to its end (within a generous limit), its output in the folder.
inline Outcome run(const Folder& folder, std::vector<std::string> arguments,
                   const std::vector<std::string>& env = {}) {
  ChildProcess child(arguments, env, folder.path("out.txt"), folder.path("err.txt"));
  Outcome result{child.waitExit(std::chrono::seconds(20)), {}, {}};
  result.out = readText(folder.path("out.txt"));
  result.err = readText(folder.path("err.txt"));
  return result;
}

}  // namespace livetest
