// valvorama hardware: shows or edits the hardware settings the live amp opens its devices with.

#include <cstdio>
#include <string>
#include <vector>

#include "cli_error.h"
#include "commands.h"
#include "framework/epi_text.h"
#include "framework/safe_file.h"
#include "framework/settings_folder.h"
#include "host/hardware_settings.h"

namespace {

void printSettings(const host::HardwareSettings& settings) {
  for (const char* key : host::HardwareSettings::keys()) {
    std::string value;
    settings.get(key, value);
    std::printf("%s=%s\n", key, value.c_str());
  }
}

bool sameText(const std::string& a, const std::string& b) {
  return epiText(a.c_str()).equalsNoCase(b.c_str());
}

}  // namespace

int runHardware(Arguments& args) {
  std::string folder;
  std::vector<std::string> edits;
  while (!args.empty()) {
    if (args.takeValue("--config", folder)) {
      framework::SettingsFolder::setOverride(folder);
    } else {
      edits.push_back(args.positional("KEY=VALUE"));
    }
  }

  host::HardwareSettings settings(framework::SettingsFolder::path());
  const bool present = !framework::fileIsMissing(settings.path());
  // Editing a file we cannot read would replace what the user had with fresh values.
  if (present && !settings.read()) throw CliError("cannot read " + settings.path());

  if (edits.empty()) {
    std::printf("# %s%s\n", settings.path().c_str(),
                present ? "" : " (not written yet: these are the fresh values)");
    printSettings(settings);
    return 0;
  }

  // Every edit is checked before anything is written, so a bad one leaves the file as it was.
  const std::string technology = settings.audioTechnology;
  bool rateOrSizeGiven = false;
  for (const std::string& edit : edits) {
    const size_t equals = edit.find('=');
    if (equals == std::string::npos || equals == 0) {
      throw CliError("expected KEY=VALUE, not '" + edit + "'");
    }
    const std::string key = edit.substr(0, equals);
    std::string old;
    if (!settings.get(key, old))
      throw CliError("unknown key '" + key + "' ('valvorama hardware' lists the keys)");
    if (const std::string reason = settings.set(key, edit.substr(equals + 1)); !reason.empty()) {
      throw CliError(key + ": " + reason);
    }
    rateOrSizeGiven |= sameText(key, "SelectedFrequencies") || sameText(key, "SelectedBufSize");
  }
  // As in the audio settings dialog: a new technology starts from 44100 Hz and 1024 frames.
  if (!sameText(technology, settings.audioTechnology) && !rateOrSizeGiven) {
    settings.set("SelectedFrequencies", "44100");
    settings.set("SelectedBufSize", "1024");
  }

  if (!framework::SettingsFolder::create() || !settings.write()) {
    throw CliError("cannot write " + settings.path());
  }
  printSettings(settings);
  return 0;
}
