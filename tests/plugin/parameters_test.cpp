#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "framework/four_cc.h"
#include "plugin_test_support.h"

namespace {

using plugintest::makeProcessor;

constexpr int kVolume = 18;      // rack id 20
constexpr int kPreampGain = 13;  // rack id 13
constexpr int kCabinet = 19;     // 0..3

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
  EXPECT_EQ(p->getParameter(kPreampGain), 0.5f);
  p->setParameter(kCabinet, 1.0f);
  EXPECT_EQ(p->parameterValue(kCabinet), 3.0f);
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
  EXPECT_EQ(p->parameterValue(0), 10.0f);
  EXPECT_EQ(p->rack()->productParameter(63), 2) << "the recalled cabinet reaches the rack";
  for (int i = 0; i < 22; ++i)
    EXPECT_EQ(p->parameters()[i].isChanged(), i == 0 || i == kCabinet) << i;
  p->setProgram(128);  // not a program: ignored
  p->storeProgram(-1, "x");
  EXPECT_EQ(p->getProgram(), 5);
  EXPECT_STREQ(p->programName(5), "Crunch");

  // Name copies stay inside their buffers.
  p->setProgramName(std::string(100, 'N').c_str());
  EXPECT_EQ(std::string(p->programName(5)), std::string(31, 'N'));
  char buffer[64];
  p->getProgramName(static_cast<char*>(std::memset(buffer, '#', sizeof buffer)));
  EXPECT_EQ(std::strlen(buffer), size_t(plugin::kVstMaxProgNameLen - 1));
  p->getParameterDisplay(0, static_cast<char*>(std::memset(buffer, '#', sizeof buffer)));
  EXPECT_EQ(buffer[plugin::kVstMaxParamStrLen], '#');
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
  EXPECT_EQ(p->programs()[127].values[kVolume], 100.0f);
}

}  // namespace
