#include "stop_signal.h"

#include <poll.h>

#include <cerrno>

namespace {

volatile sig_atomic_t stopRequest = 0;

void onStop(int signal) {
  stopRequest = signal;
}

}  // namespace

StopSignal::StopSignal() {
  struct sigaction action {};
  action.sa_handler = onStop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &previousInt_);
  sigaction(SIGTERM, &action, &previousTerm_);
  sigaction(SIGHUP, &action, &previousHup_);
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGINT);
  sigaddset(&stops, SIGTERM);
  sigaddset(&stops, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stops, &previousMask_);
}

StopSignal::~StopSignal() {
  pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
  sigaction(SIGINT, &previousInt_, nullptr);
  sigaction(SIGTERM, &previousTerm_, nullptr);
  sigaction(SIGHUP, &previousHup_, nullptr);
}

bool StopSignal::wait(std::chrono::milliseconds timeout) {
  if (stopRequest) return true;
  // ppoll unblocks the stop signals only for the wait itself, so one that arrives just before
  // it stays pending and ends the wait at once: nothing is lost between the test and the wait.
  sigset_t duringWait = previousMask_;
  sigdelset(&duringWait, SIGINT);
  sigdelset(&duringWait, SIGTERM);
  sigdelset(&duringWait, SIGHUP);
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(timeout);
  const timespec span{static_cast<time_t>(seconds.count()),
                      static_cast<long>((timeout - seconds).count() * 1000000)};
  ::ppoll(nullptr, 0, &span, &duringWait);
  return stopRequest != 0;
}

int StopSignal::received() const {
  return stopRequest;
}
