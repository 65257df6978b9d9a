#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "host/eva_host_window.h"

class StopSignal;

// The stand-alone program's host window, with what the program adds to every pass of its loop:
// a stop signal (SIGINT, SIGTERM, SIGHUP) ends the loop as "Quit" does, and a screenshot asked
// for on the command line is written once the loop has run for its time, and then the program
// quits the same way.
class LiveHostWindow : public host::evaHostWindow {
 public:
  struct Screenshot {
    std::string path;
    std::chrono::milliseconds after{0};
  };

  LiveHostWindow(gui::epiEngineClass& engine, plugin::evaProcessor& processor,
                 std::string settingsFolder, StopSignal& stop,
                 std::optional<Screenshot> screenshot);

  // A screenshot was asked for and could not be written.
  bool screenshotFailed() const { return screenshotFailed_; }

  void idle() override;

 private:
  void takeScreenshot();

  StopSignal& stop_;
  std::optional<Screenshot> screenshot_;
  std::optional<std::chrono::steady_clock::time_point> loopStart_;
  bool stopSeen_ = false;
  bool screenshotFailed_ = false;
};
