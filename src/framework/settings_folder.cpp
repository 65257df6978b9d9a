#include "framework/settings_folder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace framework {

namespace {

std::string overrideFolder;

std::string homeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_dir) {
    return found->pw_dir;
  }
  return ".";
}

bool isFolder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

void SettingsFolder::setOverride(const std::string& folder) {
  overrideFolder = folder;
}

std::string SettingsFolder::path() {
  if (!overrideFolder.empty()) return overrideFolder;
  // A relative XDG_CONFIG_HOME is invalid and ignored, as the XDG rules say.
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/') {
    return std::string(config) + "/" + kName;
  }
  return homeFolder() + "/.config/" + kName;
}

std::string SettingsFolder::file(const std::string& name) {
  return path() + "/" + name;
}

bool SettingsFolder::create() {
  const std::string folder = path();
  size_t end = 0;
  do {
    end = folder.find('/', end + 1);
    const std::string part = folder.substr(0, end);
    // An existing parent may refuse mkdir with another error than EEXIST (read-only mounts).
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST && !isFolder(part)) return false;
  } while (end != std::string::npos);
  return isFolder(folder);
}

}  // namespace framework
