#include "framework/settings_folder.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>

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
  struct Case {
    const char* xdg;
    const char* home;
    const char* override;
    const char* expected;
  };
  const Case cases[] = {
      {"/xdg", "/home/u", "", "/xdg/ValvoramaLive"},
      {nullptr, "/home/u", "", "/home/u/.config/ValvoramaLive"},
      {"", "/home/u", "", "/home/u/.config/ValvoramaLive"},
      {"relative/dir", "/home/u", "", "/home/u/.config/ValvoramaLive"},  // invalid: ignored
      {"/xdg", "/home/u", "/tmp/mine", "/tmp/mine"},
  };
  for (const Case& c : cases) {
    ScopedEnv xdg("XDG_CONFIG_HOME", c.xdg);
    ScopedEnv home("HOME", c.home);
    SettingsFolder::setOverride(c.override);
    EXPECT_EQ(SettingsFolder::path(), c.expected) << (c.xdg ? c.xdg : "(unset)");
    EXPECT_EQ(SettingsFolder::file("VRLiveHardware.prf"),
              std::string(c.expected) + "/VRLiveHardware.prf");
  }
  SettingsFolder::setOverride("");
}

TEST(SettingsFolder, CreatedOnlyWhenAWriterAsks) {
  testsupport::ScratchFolder scratch;
  ScopedEnv xdg("XDG_CONFIG_HOME", scratch.path("config").c_str());
  const std::string folder = scratch.path("config/ValvoramaLive");
  EXPECT_EQ(SettingsFolder::path(), folder);
  EXPECT_FALSE(std::filesystem::exists(scratch.path("config")));

  ASSERT_TRUE(SettingsFolder::create());
  EXPECT_EQ(std::filesystem::status(folder).permissions(), std::filesystem::perms::owner_all);
  EXPECT_TRUE(SettingsFolder::create());  // already there

  // A file where a folder should be cannot become one.
  std::ofstream(scratch.path("blocker")) << "x";
  SettingsFolder::setOverride(scratch.path("blocker/sub"));
  EXPECT_FALSE(SettingsFolder::create());
  SettingsFolder::setOverride(scratch.path("blocker"));
  EXPECT_FALSE(SettingsFolder::create());
  SettingsFolder::setOverride("");
}

}  // namespace
