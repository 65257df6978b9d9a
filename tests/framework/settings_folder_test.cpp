#include "framework/settings_folder.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <tuple>

#include "scratch_folder.h"

namespace {

using framework::SettingsFolder;

// Sets or clears an environment variable for one test and puts the old value back.
struct ScopedEnv {
  ScopedEnv(const char* variable, const char* value) : name(variable) {
    if (const char* old = ::getenv(name)) saved = old;
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~ScopedEnv() { saved ? ::setenv(name, saved->c_str(), 1) : ::unsetenv(name); }
  const char* name;
  std::optional<std::string> saved;
};

TEST(SettingsFolder, WhereTheFilesGo) {
  ScopedEnv home("HOME", "/home/u");
  // (XDG_CONFIG_HOME, override, folder); a relative XDG_CONFIG_HOME is invalid and ignored.
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"/xdg", "", "/xdg/ValvoramaLive"},
      {nullptr, "", "/home/u/.config/ValvoramaLive"},
      {"", "", "/home/u/.config/ValvoramaLive"},
      {"relative/dir", "", "/home/u/.config/ValvoramaLive"},
      {"/xdg", "/tmp/mine", "/tmp/mine"},
  };
  for (const auto& [config, override, expected] : cases) {
    ScopedEnv xdg("XDG_CONFIG_HOME", config);
    SettingsFolder::setOverride(override);
    EXPECT_EQ(SettingsFolder::file("VRLiveHardware.prf"),
              std::string(expected) + "/VRLiveHardware.prf");
  }
  SettingsFolder::setOverride("");
}

TEST(SettingsFolder, CreatedOnlyWhenAWriterAsks) {
  testsupport::ScratchFolder scratch;
  ScopedEnv xdg("XDG_CONFIG_HOME", scratch.path("config").c_str());
  const std::string folder = scratch.path("config/ValvoramaLive");
  EXPECT_FALSE(std::filesystem::exists(scratch.path("config")));
  ASSERT_TRUE(SettingsFolder::create());
  EXPECT_EQ(std::filesystem::status(folder).permissions(), std::filesystem::perms::owner_all);
  EXPECT_TRUE(SettingsFolder::create());  // already there

  // A file where the folder should be cannot become one.
  std::ofstream(scratch.path("blocker")) << "x";
  SettingsFolder::setOverride(scratch.path("blocker"));
  EXPECT_FALSE(SettingsFolder::create());
  SettingsFolder::setOverride("");
}

}  // namespace
