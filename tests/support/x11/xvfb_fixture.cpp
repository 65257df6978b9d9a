#include "support/x11/xvfb_fixture.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "support/server_process.h"

namespace testsupport {
namespace {

using namespace std::chrono_literals;

constexpr auto kStartLimit = 10s;
constexpr auto kStopLimit = 5s;
constexpr auto kRetry = 20ms;

}  // namespace

XvfbServer::XvfbServer(int depth) : depth_(depth) {
  std::string pattern = (std::filesystem::temp_directory_path() / "valvo-xvfb-XXXXXX.log").string();
  const int logFd = mkstemps(pattern.data(), 4);
  if (logFd < 0) {
    error_ = "no temporary file for the server's log";
    return;
  }
  close(logFd);
  logPath_ = pattern;
  int numberPipe[2];
  if (pipe2(numberPipe, O_CLOEXEC) != 0) {
    error_ = "no pipe for the display number";
    return;
  }
  const bool launched = launch(numberPipe[1]);
  close(numberPipe[1]);
  const bool numbered = launched && readDisplayNumber(numberPipe[0]);
  close(numberPipe[0]);
  if (!numbered || !waitUntilAnswering()) return;
  if (const char* value = std::getenv("DISPLAY")) savedDisplay_ = value;
  setenv("DISPLAY", displayName_.c_str(), 1);
  exported_ = true;
}

XvfbServer::~XvfbServer() {
  stop();
  if (exported_) {
    if (savedDisplay_)
      setenv("DISPLAY", savedDisplay_->c_str(), 1);
    else
      unsetenv("DISPLAY");
  }
  std::error_code ignored;
  if (!logPath_.empty()) std::filesystem::remove(logPath_, ignored);
}

bool XvfbServer::launch(int numberPipe) {
  const std::vector<std::string> args = {
      "Xvfb",      "-displayfd", std::to_string(numberPipe),
      "-screen",   "0",          "1280x1024x" + std::to_string(depth_),
      "-nolisten", "tcp",        "-noreset"};
  pid_ = spawnServer(args, logPath_, numberPipe);  // Xvfb writes its display number there
  if (pid_ < 0) error_ = "cannot fork for Xvfb";
  return error_.empty();
}

// The server writes the number once it takes connections.
bool XvfbServer::readDisplayNumber(int numberPipe) {
  std::string number;
  const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd readable{numberPipe, POLLIN, 0};
    if (poll(&readable, 1, 100) > 0) {
      char c = 0;
      const ssize_t n = read(numberPipe, &c, 1);
      if (n == 1 && c != '\n') {
        number += c;
        continue;
      }
      if (n == 1 && !number.empty()) {
        displayName_ = ":" + number;
        return true;
      }
      if (n == 0) break;  // the server closed the pipe without a number
    }
    if (processExited(pid_)) break;
  }
  error_ = "Xvfb gave no display number (is it installed?):\n" + log();
  stop();
  return false;
}

bool XvfbServer::waitUntilAnswering() {
  const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (Display* display = XOpenDisplay(displayName_.c_str())) {
      XCloseDisplay(display);
      return true;
    }
    if (processExited(pid_)) {
      pid_ = -1;
      break;
    }
    std::this_thread::sleep_for(kRetry);
  }
  error_ = "Xvfb " + displayName_ + " did not answer:\n" + log();
  stop();
  return false;
}

std::string XvfbServer::log() const {
  std::ifstream file(logPath_);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

void XvfbServer::kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
  if (displayName_.empty()) return;
  const std::string number = displayName_.substr(1);
  std::error_code ignored;
  std::filesystem::remove("/tmp/.X" + number + "-lock", ignored);
  std::filesystem::remove("/tmp/.X11-unix/X" + number, ignored);
}

void XvfbServer::stop() {
  if (pid_ <= 0) return;
  if (!terminateWithin(pid_, kStopLimit)) {
    kill();
    return;
  }
  pid_ = -1;
}

}  // namespace testsupport
