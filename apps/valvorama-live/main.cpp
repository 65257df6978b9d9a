// valvorama-live: the stand-alone amp, in its window or headless.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "framework/settings_folder.h"
#include "gui/epi_alpha_control_text.h"
#include "headless_host.h"
#include "platform/native_window.h"
#include "ui/vlvr_midi_control.h"
#include "window_host.h"

namespace {

constexpr const char* kVersion = "valvorama-live 0.1.0";

constexpr const char* kUsage =
    "usage: valvorama-live [--config DIR] [--screenshot FILE [--after SECONDS]]\n"
    "       valvorama-live --headless [--config DIR] [--learn WHAT]\n"
    "  Plays the amp live on the audio devices of the hardware settings, in its window (until\n"
    "  File > Quit, Ctrl+Q or closing it) or headless (until Ctrl-C or SIGTERM), then saves\n"
    "  the program bank, the preferences and learned MIDI mappings.\n"
    "  --config DIR       settings folder (default $XDG_CONFIG_HOME/ValvoramaLive, else\n"
    "                     ~/.config/ValvoramaLive)\n"
    "  --screenshot FILE  write the window as a PNG picture after SECONDS (default 2) of\n"
    "                     playing, then quit\n"
    "  --headless         run without a window\n"
    "  --learn WHAT       headless: learn a pedal of the MIDI foot controller: the next message\n"
    "                     sent becomes WHAT, one of preset-up, preset-down (a switch or program\n"
    "                     change that steps programs), volume, wah (a controller)\n"
    "  --help, --version\n"
    "Set up the devices in the window's Settings > Audio setup..., or with 'valvorama devices'\n"
    "and 'valvorama hardware'.\n";

constexpr double kDefaultScreenshotSeconds = 2.0;
constexpr double kLongestScreenshotSeconds = 3600.0;

// The learn a --learn word names; 0 for none.
int learnNamed(const char* word) {
  using ui::vlvrMidiControl;
  const struct {
    const char* name;
    int learn;
  } learns[] = {{"preset-up", vlvrMidiControl::kLearnPresetUp},
                {"preset-down", vlvrMidiControl::kLearnPresetDown},
                {"volume", vlvrMidiControl::kLearnVolume},
                {"wah", vlvrMidiControl::kLearnWah}};
  for (const auto& l : learns)
    if (!std::strcmp(word, l.name)) return l.learn;
  return 0;
}

// A number of seconds in (0, kLongestScreenshotSeconds]; nullopt for anything else.
std::optional<double> secondsIn(const char* word) {
  char* end = nullptr;
  const double seconds = std::strtod(word, &end);
  if (end == word || *end != '\0' || !std::isfinite(seconds) || seconds <= 0.0 ||
      seconds > kLongestScreenshotSeconds)
    return std::nullopt;
  return seconds;
}

int usageError(const char* message, const char* word = "") {
  std::fprintf(stderr, "valvorama-live: %s%s\n%s", message, word, kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool headless = false;
  int learn = 0;
  const char* screenshot = nullptr;
  std::optional<double> after;
  for (int i = 1; i < argc; ++i) {
    const char* word = argv[i];
    const bool hasValue = i + 1 < argc && *argv[i + 1];
    if (!std::strcmp(word, "--help") || !std::strcmp(word, "-h")) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (!std::strcmp(word, "--version")) {
      std::puts(kVersion);
      return 0;
    }
    if (!std::strcmp(word, "--headless")) {
      headless = true;
    } else if (!std::strcmp(word, "--config")) {
      if (!hasValue) return usageError("--config needs a folder");
      framework::SettingsFolder::setOverride(argv[++i]);
    } else if (!std::strcmp(word, "--learn")) {
      if (i + 1 >= argc) return usageError("--learn needs preset-up, preset-down, volume or wah");
      learn = learnNamed(argv[++i]);
      if (learn == 0) return usageError("--learn cannot learn ", argv[i]);
    } else if (!std::strcmp(word, "--screenshot")) {
      if (!hasValue) return usageError("--screenshot needs a file");
      screenshot = argv[++i];
    } else if (!std::strcmp(word, "--after")) {
      if (i + 1 >= argc) return usageError("--after needs a number of seconds");
      after = secondsIn(argv[++i]);
      if (!after) return usageError("--after takes seconds from 0 to 3600, not ", argv[i]);
    } else {
      return usageError("unknown argument ", word);
    }
  }
  if (headless && screenshot) return usageError("--screenshot needs the window, not --headless");
  if (after && !screenshot) return usageError("--after goes with --screenshot");
  if (learn != 0 && !headless)
    return usageError("--learn is for --headless; the window learns from its Settings menu");
  if (headless) return runHeadlessHost(learn);

  // The window needs a display; say so plainly rather than let X end the process.
  std::string error;
  if (!platform::NativeDisplay::open(nullptr, error)) {
    std::fprintf(stderr,
                 "valvorama-live: %s; run 'valvorama-live --headless' to play without a "
                 "window\n",
                 error.c_str());
    return 2;
  }
  std::optional<LiveHostWindow::Screenshot> picture;
  if (screenshot) {
    const auto milliseconds = std::lround(after.value_or(kDefaultScreenshotSeconds) * 1000.0);
    picture = LiveHostWindow::Screenshot{screenshot, std::chrono::milliseconds(milliseconds)};
  }
  const int status = runWindowHost(picture);
  gui::releaseFontCaches();  // every window is gone: a leak checker sees a clean heap
  return status;
}
