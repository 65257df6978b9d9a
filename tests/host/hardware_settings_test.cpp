#include "host/hardware_settings.h"

#include <gtest/gtest.h>

#include <string>

#include "framework/scratch_folder.h"

namespace {

using host::HardwareSettings;

std::string valuesOf(const HardwareSettings& settings) {
  std::string all;
  for (const char* key : HardwareSettings::keys()) {
    std::string value;
    EXPECT_TRUE(settings.get(key, value)) << key;
    all += std::string(key) + "=" + value + ";";
  }
  return all;
}

TEST(HardwareSettings, DefaultsWriteReadBackAndRefusedValues) {
  testsupport::ScratchFolder folder;
  std::ofstream(folder.path(HardwareSettings::kFileName)) << "AudioTechnology:\"Asio\"\r\n";
  HardwareSettings settings(folder.path(""));
  ASSERT_TRUE(settings.read());

  HardwareSettings missing(folder.path("never made"));
  EXPECT_FALSE(missing.read());
  EXPECT_EQ(missing.audioTechnology, "");
  EXPECT_EQ(missing.sampleRate(), 0.0f) << "no rate until one is chosen";
  EXPECT_FALSE(missing.write()) << "the folder is made by its owner";

  // Written in table order, the keys the file lacked at their defaults, and read back.
  settings.curInDeviceName = "USB Audio: hw:1,0";
  settings.selectedFrequencies = "48000";
  ASSERT_TRUE(settings.write());
  const auto bytes = testsupport::readBytes(settings.path());
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
            "CurInDeviceName:\"USB Audio: hw:1,0\"\r\n"
            "CurOuDeviceName:\"Default\"\r\n"
            "SelectedBufSize:\"512\"\r\n"
            "CurMidiInName:\"Default\"\r\n"
            "AudioTechnology:\"Asio\"\r\n"
            "SelectedFrequencies:\"48000\"\r\n"
            "CurInChannelName:\"Left\"\r\n"
            "CurOuChannelLeftName:\"Left\"\r\n"
            "CurOuChannelRightName:\"Right\"\r\n"
            "CurInChannelIndex:0\r\n"
            "CurOuChannelLeftIndex:0\r\n"
            "CurOuChannelRightIndex:1\r\n");
  HardwareSettings back(folder.path(""));
  ASSERT_TRUE(back.read());
  EXPECT_EQ(valuesOf(back), valuesOf(settings));

  // Setting by key refuses what the file or the devices cannot take.
  const struct {
    const char* key;
    std::string value;
    bool accepted;
  } cases[] = {
      {"AudioTechnology", "directx", false},
      {"SelectedBufSize", "0", true},  // the back end's own size
      {"SelectedBufSize", "65537", false},
      {"SelectedFrequencies", "44100.5", false},
      {"CurOuChannelRightIndex", "-1", true},
      {"CurOuChannelLeftIndex", "99999999999", false},
      {"CurOuDeviceName", "say \"hi\"", false},
      {"CurInChannelName", std::string(512, 'x'), false},
      {"Volume", "3", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.key << "=" << c.value);
    HardwareSettings fresh;
    std::string before, after;
    const bool known = fresh.get(c.key, before);
    EXPECT_EQ(fresh.set(c.key, c.value).empty(), c.accepted);
    EXPECT_EQ(fresh.get(c.key, after), known);
    EXPECT_EQ(after, c.accepted ? c.value : before);
  }
}

}  // namespace
