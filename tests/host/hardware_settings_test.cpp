#include <gtest/gtest.h>

#include <string>

#include "framework/scratch_folder.h"
#include "host/hardware_settings.h"

namespace {

using host::HardwareSettings;

std::string readText(const std::string& path) {
  const auto bytes = testsupport::readBytes(path);
  return {bytes.begin(), bytes.end()};
}

void writeText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string valuesOf(const HardwareSettings& settings) {
  std::string all;
  for (const char* key : HardwareSettings::keys()) {
    std::string value;
    EXPECT_TRUE(settings.get(key, value)) << key;
    all += std::string(key) + "=" + value + ";";
  }
  return all;
}

TEST(HardwareSettings, AFileNamingOnlyTheTechnologyReadsTheDefaults) {
  testsupport::ScratchFolder folder;
  writeText(folder.path(HardwareSettings::kFileName), "AudioTechnology:\"Asio\"\r\n");
  HardwareSettings settings(folder.path(""));
  ASSERT_TRUE(settings.read());
  EXPECT_EQ(valuesOf(settings),
            "CurInDeviceName=Default;CurOuDeviceName=Default;SelectedBufSize=512;"
            "CurMidiInName=Default;AudioTechnology=Asio;SelectedFrequencies=44100;"
            "CurInChannelName=Left;CurOuChannelLeftName=Left;CurOuChannelRightName=Right;"
            "CurInChannelIndex=0;CurOuChannelLeftIndex=0;CurOuChannelRightIndex=1;");
  EXPECT_EQ(settings.sampleRate(), 44100.0f);
  EXPECT_EQ(settings.bufferSize(), 512);
}

TEST(HardwareSettings, AMissingFileLeavesTheFreshValues) {
  testsupport::ScratchFolder folder;
  HardwareSettings settings(folder.path("never made"));
  EXPECT_FALSE(settings.read());
  EXPECT_EQ(valuesOf(settings), valuesOf(HardwareSettings()));
  EXPECT_EQ(settings.audioTechnology, "");
  EXPECT_EQ(settings.selectedFrequencies, "");
  EXPECT_EQ(settings.curInDeviceName, "None");
  EXPECT_EQ(settings.sampleRate(), 0.0f) << "no rate until one is chosen";
  EXPECT_FALSE(settings.write()) << "the folder is made by its owner";
}

TEST(HardwareSettings, WritesTheKeysInTableOrderAndReadsThemBack) {
  testsupport::ScratchFolder folder;
  HardwareSettings settings(folder.path(""));
  settings.curInDeviceName = "USB Audio: hw:1,0";
  settings.curOuDeviceName = "default";
  settings.selectedBufSize = "128";
  settings.audioTechnology = "DirectX";
  settings.selectedFrequencies = "48000";
  settings.curInChannelName = "Right";
  settings.curInChannelIndex = 1;
  settings.curOuChannelRightIndex = -1;
  ASSERT_TRUE(settings.write());
  EXPECT_EQ(readText(settings.path()),
            "CurInDeviceName:\"USB Audio: hw:1,0\"\r\n"
            "CurOuDeviceName:\"default\"\r\n"
            "SelectedBufSize:\"128\"\r\n"
            "CurMidiInName:\"Default\"\r\n"
            "AudioTechnology:\"DirectX\"\r\n"
            "SelectedFrequencies:\"48000\"\r\n"
            "CurInChannelName:\"Right\"\r\n"
            "CurOuChannelLeftName:\"Left\"\r\n"
            "CurOuChannelRightName:\"Right\"\r\n"
            "CurInChannelIndex:1\r\n"
            "CurOuChannelLeftIndex:0\r\n"
            "CurOuChannelRightIndex:-1\r\n");
  HardwareSettings back(folder.path(""));
  ASSERT_TRUE(back.read());
  EXPECT_EQ(valuesOf(back), valuesOf(settings));
}

TEST(HardwareSettings, SetByKeyRefusesWhatTheFileOrTheDevicesCannotTake) {
  struct Case {
    const char* key;
    std::string value;
    bool accepted;
  };
  const Case cases[] = {
      {"AudioTechnology", "Asio", true},
      {"AudioTechnology", "directx", false},
      {"AudioTechnology", "", false},
      {"SelectedBufSize", "256", true},
      {"SelectedBufSize", "0", true},  // the back end's own size
      {"SelectedBufSize", "65537", false},
      {"SelectedBufSize", "-128", false},
      {"SelectedBufSize", "12ab", false},
      {"SelectedBufSize", "", false},
      {"SelectedFrequencies", "96000", true},
      {"SelectedFrequencies", "0", false},
      {"SelectedFrequencies", "44100.5", false},
      {"CurInChannelIndex", "1", true},
      {"CurOuChannelRightIndex", "-1", true},
      {"CurOuChannelLeftIndex", "-2", false},
      {"CurOuChannelLeftIndex", "99999999999", false},
      {"curindevicename", "hw:CARD=USB,DEV=0", true},
      {"CurOuDeviceName", "", true},
      {"CurOuDeviceName", "say \"hi\"", false},
      {"CurMidiInName", "two\nlines", false},
      {"CurInChannelName", std::string(512, 'x'), false},
      {"Volume", "3", false},
  };
  for (const Case& c : cases) {
    HardwareSettings settings;
    std::string before;
    const bool known = settings.get(c.key, before);
    const std::string refused = settings.set(c.key, c.value);
    EXPECT_EQ(refused.empty(), c.accepted) << c.key << "=" << c.value << ": " << refused;
    std::string after;
    EXPECT_EQ(settings.get(c.key, after), known);
    EXPECT_EQ(after, c.accepted ? c.value : before) << c.key << "=" << c.value;
  }
}

}  // namespace
