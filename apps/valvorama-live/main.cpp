// valvorama-live: the stand-alone amp. For now it runs headless only; the window comes later.

#include <cstdio>
#include <cstring>
#include <string>

#include "framework/settings_folder.h"
#include "headless_host.h"
#include "platform/native_window.h"
#include "ui/vlvr_midi_control.h"

namespace {

constexpr const char* kVersion = "valvorama-live 0.1.0";

constexpr const char* kUsage =
    "usage: valvorama-live --headless [--config DIR] [--learn WHAT]\n"
    "  Plays the amp live on the audio devices of the hardware settings until Ctrl-C or\n"
    "  SIGTERM, then saves the program bank, the preferences and learned MIDI mappings.\n"
    "  --headless     run without a window (required: the window comes in a later version)\n"
    "  --config DIR   settings folder (default $XDG_CONFIG_HOME/ValvoramaLive, else\n"
    "                 ~/.config/ValvoramaLive)\n"
    "  --learn WHAT   learn a pedal of the MIDI foot controller: the next message sent becomes\n"
    "                 WHAT, one of preset-up, preset-down (a switch or program change that\n"
    "                 steps programs), volume, wah (a controller)\n"
    "  --help, --version\n"
    "Set up the devices with 'valvorama devices' and 'valvorama hardware'.\n";

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

int usageError(const char* message, const char* word = "") {
  std::fprintf(stderr, "valvorama-live: %s%s\n%s", message, word, kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool headless = false;
  int learn = 0;
  for (int i = 1; i < argc; ++i) {
    const char* word = argv[i];
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
      if (i + 1 >= argc || !*argv[i + 1]) return usageError("--config needs a folder");
      framework::SettingsFolder::setOverride(argv[++i]);
    } else if (!std::strcmp(word, "--learn")) {
      if (i + 1 >= argc) return usageError("--learn needs preset-up, preset-down, volume or wah");
      learn = learnNamed(argv[++i]);
      if (learn == 0) return usageError("--learn cannot learn ", argv[i]);
    } else {
      return usageError("unknown argument ", word);
    }
  }
  if (!headless) {
    // The window needs a display; say so plainly rather than let X end the process.
    std::string error;
    if (!platform::NativeDisplay::open(nullptr, error)) {
      std::fprintf(stderr,
                   "valvorama-live: %s; run 'valvorama-live --headless' to play without a "
                   "window\n",
                   error.c_str());
      return 2;
    }
    std::fputs("valvorama-live: this version has no window yet; run 'valvorama-live --headless'\n",
               stderr);
    return 2;
  }
  return runHeadlessHost(learn);
}
