// valvorama-live: the stand-alone amp. For now it runs headless only; the window comes later.

#include <cstdio>
#include <cstring>
#include <string>

#include "framework/settings_folder.h"
#include "headless_host.h"

namespace {

constexpr const char* kVersion = "valvorama-live 0.1.0";

constexpr const char* kUsage =
    "usage: valvorama-live --headless [--config DIR]\n"
    "  Plays the amp live on the audio devices of the hardware settings until Ctrl-C or\n"
    "  SIGTERM, then saves the program bank.\n"
    "  --headless     run without a window (required: the window comes in a later version)\n"
    "  --config DIR   settings folder (default $XDG_CONFIG_HOME/ValvoramaLive, else\n"
    "                 ~/.config/ValvoramaLive)\n"
    "  --help, --version\n"
    "Set up the devices with 'valvorama devices' and 'valvorama hardware'.\n";

int usageError(const char* message, const char* word = "") {
  std::fprintf(stderr, "valvorama-live: %s%s\n%s", message, word, kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool headless = false;
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
    } else {
      return usageError("unknown argument ", word);
    }
  }
  if (!headless) {
    std::fputs("valvorama-live: this version has no window yet; run 'valvorama-live --headless'\n",
               stderr);
    return 2;
  }
  return runHeadlessHost();
}
