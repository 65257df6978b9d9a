#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

#include "framework/four_cc.h"
#include "plugin/parameter_descriptor.h"
#include "plugin_test_support.h"

namespace {

using namespace plugin;
using plugintest::makeProcessor;

constexpr int kVolume = 18, kPreampGain = 13;  // rack ids 20 and 13
constexpr int kCabinet = 19;                   // 0..3

TEST(Parameters, ValuesChangeFlagsProgramsAndNameCopiesWithinTheirBuffers) {
  auto p = makeProcessor(true);
  // Only a host's or a file's change is flagged: the front panel's own move is not.
  p->setParameterAutomated(kVolume, 100.0f);
  EXPECT_EQ(p->rack()->parameter(20), 100) << "the rack follows the panel";
  EXPECT_FALSE(p->parameters()[kVolume].isChanged() || p->anyParameterChanged());
  p->setParameter(kVolume, 1.0f);
  EXPECT_TRUE(p->parameters()[kVolume].isChanged() && p->anyParameterChanged());
  EXPECT_EQ(p->rack()->parameter(20), 127);

  p->setParameter(kPreampGain, 0.5f);
  EXPECT_EQ(p->parameterValue(kPreampGain), 63.5f) << "neither rounded nor clamped";
  for (int bad : {22, -1}) {
    p->setParameter(bad, 0.5f);  // ignored
    EXPECT_TRUE(p->getParameter(bad) == 0.0f && p->fromNormalized(bad, 0.5f) == 0.0f) << bad;
  }

  // Programs: a recalled one flags only the values that differ from the defaults.
  p->setProgram(0);
  p->setParameterPlain(0, 10.0f);
  p->setParameterPlain(kCabinet, 2.0f);
  p->storeProgram(5, "Crunch");
  p->setProgram(0);  // back to the defaults
  for (int i = 0; i < 22; ++i)
    p->parameters()[i].clearChanged();
  p->setProgram(5);
  EXPECT_EQ(p->rack()->productParameter(63), 2) << "the recalled cabinet reaches the rack";
  for (int i = 0; i < 22; ++i)
    EXPECT_EQ(p->parameters()[i].isChanged(), i == 0 || i == kCabinet) << i;
  p->setProgram(128);  // not a program: ignored
  p->storeProgram(-1, "x");
  EXPECT_EQ(p->getProgram(), 5);
  EXPECT_STREQ(p->programName(5), "Crunch");

  p->setProgramName(std::string(100, 'N').c_str());
  EXPECT_EQ(std::string(p->programName(5)), std::string(31, 'N'));
  char buffer[64];
  p->getProgramName(static_cast<char*>(std::memset(buffer, '#', sizeof buffer)));
  EXPECT_EQ(std::strlen(buffer), size_t(kVstMaxProgNameLen - 1));
  p->getParameterDisplay(0, static_cast<char*>(std::memset(buffer, '#', sizeof buffer)));
  EXPECT_EQ(buffer[kVstMaxParamStrLen], '#');
}

TEST(Parameters, DefaultsComeFromTextResource101) {
  plugintest::TempDir dir;
  framework::ResourceFile resources;
  ASSERT_TRUE(resources.open(dir.path("app.xrs")));
  const std::string text = "Gate Level:10\r\nVolume:100\r\nCabinet:1\r\nStomp Del Level:7\r\n";
  ASSERT_TRUE(resources.write(framework::fourCC("TEXT"), 101,
                              {reinterpret_cast<const uint8_t*>(text.data()), text.size()}));
  plugintest::TestEngine engine;
  engine.resources_ = &resources;
  auto p = makeProcessor(false, &engine);
  // Row 19 has a key of its own, row 20 takes the shared name, preamp gain is missing.
  using Row = std::pair<int, float>;
  for (const auto& [row, value] :
       {Row{0, 10.0f}, Row{kCabinet, 1.0f}, Row{12, 7.0f}, Row{20, 7.0f}, Row{kPreampGain, 0.0f}})
    EXPECT_EQ(p->parameterValue(row), value) << row;
}

TEST(SettingsText, ExportThenImportRestoresAllValuesAndOlderFilesRead) {
  plugintest::TempDir dir;
  const std::string path = dir.path("current.txt");
  auto p = makeProcessor();
  // Distinct values everywhere, the rows that share a name included.
  for (int i = 0; i < 22; ++i)
    p->setParameterPlain(i, float((i * 5 + 3) % (kParameterDescriptors[i].maximum + 1)));
  for (const auto& [row, value] : {std::pair{2, 2.0f}, {19, 1.0f}, {12, 90.0f}, {20, 3.0f}})
    p->setParameterPlain(row, value);
  p->setParameterPlain(18, 77.8f);  // written truncated
  ASSERT_TRUE(p->saveSettings(path));

  const auto bytes = plugintest::readBytes(path);
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_TRUE(
      text.starts_with("Content:\"settings for ValvoramaLive\"\r\n"
                       "PlugVersion:\"1.2.1 - 13/11/2003\"\r\n"
                       "SettingsVersion:\"1.0.1\"\r\n"
                       "Gate Level:3\r\n"))
      << text;
  EXPECT_NE(text.find("\r\nVolume:77\r\nCabinet:1\r\nAmp Model:3\r\n"), std::string::npos);

  auto q = makeProcessor(true);
  ASSERT_TRUE(q->loadSettings(path));
  for (int i = 0; i < 22; ++i)
    EXPECT_EQ(q->parameterValue(i), i == 18 ? 77.0f : p->parameterValue(i)) << i;
  EXPECT_EQ(q->rack()->productParameter(62), 3) << "amp model";

  // Older files: keys by name alone, in any case, some missing.
  std::ofstream(path) << "Wah Mode:2\nvolume:50";
  ASSERT_TRUE(q->loadSettings(path));
  EXPECT_EQ(q->parameterValue(19), 2.0f) << "falls back to the shared name";
  EXPECT_EQ(q->parameterValue(18), 50.0f) << "keys match without case";
  EXPECT_EQ(q->parameterValue(0), 0.0f) << "a missing key reads as 0";
  EXPECT_FALSE(q->loadSettings(dir.path("missing.txt")));
  EXPECT_FALSE(q->saveSettings(dir.path("no such folder/x.txt")));
}

}  // namespace
