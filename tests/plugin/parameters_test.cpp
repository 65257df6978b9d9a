#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "framework/four_cc.h"
#include "plugin/parameter_descriptor.h"
#include "plugin_test_support.h"

namespace {

using plugin::kParameterDescriptors;
using plugintest::makeProcessor;

constexpr int kVolume = 18;
constexpr int kPreampGain = 13;  // rack id 13, passed through unchanged

TEST(Parameters, NewProcessorHoldsTheTableAndTheDefaultPrograms) {
  auto p = makeProcessor();
  ASSERT_EQ(p->parameters().count(), 22);
  EXPECT_EQ(p->numParams(), 22);
  EXPECT_EQ(p->programs().count(), 128);
  EXPECT_EQ(p->numPrograms(), 128);
  EXPECT_EQ(p->getProgram(), 0);
  EXPECT_FALSE(p->anyParameterChanged());

  for (int i = 0; i < 22; ++i) {
    char name[plugin::kVstMaxParamStrLen];
    p->getParameterName(i, name);
    EXPECT_STREQ(name, kParameterDescriptors[i].name);
    p->getParameterLabel(i, name);
    EXPECT_STREQ(name, " ");
    EXPECT_EQ(p->parameterValue(i), kParameterDescriptors[i].defaultValue) << i;
    EXPECT_FALSE(p->parameters()[i].isChanged());
  }
  for (int prog = 0; prog < 128; ++prog) {
    EXPECT_EQ(std::string(p->programName(prog)), "Program " + std::to_string(prog + 1));
    for (int i = 0; i < 22; ++i)
      ASSERT_EQ(p->programs()[prog].values[i], kParameterDescriptors[i].defaultValue);
  }
  EXPECT_STREQ(p->engineName(), "ValvoramaLive");
  EXPECT_EQ(p->bankFileName(), "ValvoramaLive settings.dat");
}

TEST(Parameters, PlainAndNormalisedValues) {
  auto p = makeProcessor(true);
  char text[plugin::kVstMaxParamStrLen];
  p->getParameterDisplay(kVolume, text);
  EXPECT_STREQ(text, "0.629921");

  p->setParameter(kPreampGain, 0.5f);
  EXPECT_EQ(p->parameterValue(kPreampGain), 63.5f) << "neither rounded nor clamped";
  EXPECT_EQ(p->getParameter(kPreampGain), 0.5f);
  EXPECT_EQ(p->rack()->productParameter(13), 63);
  EXPECT_EQ(p->rack()->parameter(13), 63);

  p->setParameter(19, 1.0f);  // cabinet choice, 0..3
  EXPECT_EQ(p->parameterValue(19), 3.0f);

  for (int bad : {22, 23, -1, 1000}) {
    EXPECT_EQ(p->getParameter(bad), 0.0f);
    EXPECT_EQ(p->toNormalized(bad, 64.0f), 0.0f);
    EXPECT_EQ(p->fromNormalized(bad, 0.5f), 0.0f);
    p->setParameter(bad, 0.5f);  // ignored
    p->getParameterName(bad, text);
    EXPECT_STREQ(text, "");
  }
}

TEST(Parameters, ChangeFlagsFollowTheSource) {
  auto p = makeProcessor(true);
  p->setParameterPlain(kVolume, 80.0f);  // the value it already has
  EXPECT_FALSE(p->parameters()[kVolume].isChanged());
  EXPECT_FALSE(p->anyParameterChanged());

  p->setParameterAutomated(kVolume, 100.0f);  // the front panel's own move
  EXPECT_EQ(p->parameterValue(kVolume), 100.0f);
  EXPECT_FALSE(p->parameters()[kVolume].isChanged());
  EXPECT_FALSE(p->anyParameterChanged());
  EXPECT_EQ(p->rack()->parameter(20), 100) << "the rack follows the panel";

  p->setParameterPlain(kVolume, 90.0f);
  EXPECT_TRUE(p->parameters()[kVolume].isChanged());
  EXPECT_TRUE(p->anyParameterChanged());
  p->parameters()[kVolume].clearChanged();
  p->clearAnyParameterChanged();

  p->setParameter(kVolume, 1.0f);
  EXPECT_TRUE(p->parameters()[kVolume].isChanged());
  EXPECT_TRUE(p->anyParameterChanged());
  EXPECT_EQ(p->rack()->parameter(20), 127);
}

TEST(Parameters, StoreAndRecallPrograms) {
  auto p = makeProcessor(true);
  p->setParameterPlain(0, 10.0f);
  p->setParameterPlain(19, 2.0f);
  p->storeProgram(5, "Crunch");
  EXPECT_EQ(p->getProgram(), 5);
  EXPECT_STREQ(p->programName(5), "Crunch");

  p->setProgram(0);  // back to the defaults
  EXPECT_EQ(p->parameterValue(0), 64.0f);
  for (int i = 0; i < 22; ++i)
    p->parameters()[i].clearChanged();
  p->clearAnyParameterChanged();

  p->setProgram(5);
  EXPECT_EQ(p->getProgram(), 5);
  EXPECT_EQ(p->parameterValue(0), 10.0f);
  EXPECT_EQ(p->parameterValue(19), 2.0f);
  EXPECT_EQ(p->rack()->productParameter(63), 2) << "the recalled cabinet reaches the rack";
  for (int i = 0; i < 22; ++i)
    EXPECT_EQ(p->parameters()[i].isChanged(), i == 0 || i == 19) << i;

  p->setProgram(128);  // not a program: ignored
  p->setProgram(-1);
  EXPECT_EQ(p->getProgram(), 5);
  p->storeProgram(200, "x");
  EXPECT_EQ(p->getProgram(), 5);
}

TEST(Parameters, NameCopiesStayInsideTheirBuffers) {
  auto p = makeProcessor();
  const std::string longName(100, 'N');
  p->setProgramName(longName.c_str());
  EXPECT_EQ(std::string(p->programName(0)), std::string(31, 'N'));

  char buffer[64];
  std::memset(buffer, '#', sizeof buffer);
  p->getProgramName(buffer);
  EXPECT_EQ(std::strlen(buffer), size_t(plugin::kVstMaxProgNameLen - 1));
  EXPECT_EQ(buffer[plugin::kVstMaxProgNameLen], '#');

  std::memset(buffer, '#', sizeof buffer);
  p->getParameterName(12, buffer);  // "Stomp Del Level", the longest name
  EXPECT_STREQ(buffer, "Stomp Del Level");
  std::memset(buffer, '#', sizeof buffer);
  p->getParameterDisplay(0, buffer);
  EXPECT_EQ(buffer[plugin::kVstMaxParamStrLen], '#');
}

TEST(Parameters, DefaultsComeFromTextResource101) {
  plugintest::TempDir dir;
  framework::ResourceFile resources;
  ASSERT_TRUE(resources.open(dir.file("app.xrs")));
  const std::string text =
      "Gate Level:10\r\nVolume:100\r\nWah Mode:2\r\nCabinet:1\r\nStomp Del Level:7\r\n";
  ASSERT_TRUE(resources.write(framework::fourCC("TEXT"), 101,
                              {reinterpret_cast<const uint8_t*>(text.data()), text.size()}));
  plugintest::TestEngine engine;
  engine.resources_ = &resources;

  auto p = makeProcessor(false, &engine);
  EXPECT_EQ(p->parameters()[0].defaultValue, 10.0f);
  EXPECT_EQ(p->parameterValue(0), 10.0f);
  EXPECT_EQ(p->parameterValue(18), 100.0f);
  EXPECT_EQ(p->parameterValue(2), 2.0f);
  EXPECT_EQ(p->parameterValue(19), 1.0f) << "its own key";
  EXPECT_EQ(p->parameterValue(12), 7.0f);
  EXPECT_EQ(p->parameterValue(20), 7.0f) << "no key of its own: the shared name";
  EXPECT_EQ(p->parameterValue(13), 0.0f) << "a name the resource lacks";
  EXPECT_EQ(p->programs()[127].values[18], 100.0f);

  plugintest::TestEngine bare;  // no resource file: the table's defaults
  EXPECT_EQ(makeProcessor(false, &bare)->parameterValue(18), 80.0f);
}

}  // namespace
