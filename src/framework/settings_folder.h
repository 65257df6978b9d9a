#pragma once

#include <string>

namespace framework {

// Where the user's settings files live (the program bank, the hardware settings, later the
// preferences and mappings): `$XDG_CONFIG_HOME/ValvoramaLive`, else `~/.config/ValvoramaLive`,
// or the folder given with --config. The program's own folder is not writable once installed,
// so nothing is kept beside it.
//
// Reading never creates anything; a writer calls createSettingsFolder() first.
class SettingsFolder {
 public:
  static constexpr const char* kName = "ValvoramaLive";

  // Set once by a main from --config DIR; an empty text returns to the standard place.
  static void setOverride(const std::string& folder);
  static std::string path();
  // `name` inside the folder.
  static std::string file(const std::string& name);
  // Creates the folder and any missing parents (new folders private to the user, as the XDG
  // rules ask). True when the folder exists afterwards.
  static bool create();
};

}  // namespace framework
