#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "dsp/effect_catalogue.h"

namespace {

const dsp::EffectDescriptor& descriptorOf(uint32_t number) {
  const dsp::CatalogueEntry* e = dsp::findCatalogueEntry(number);
  EXPECT_NE(e, nullptr) << number;
  return *e->descriptor;
}

TEST(Catalogue, UnassignedNumbersYieldNothing) {
  for (uint32_t number : {0u, 100u, 104u, 1200u, 1214u, 1219u, 1222u, 1228u, 99999u}) {
    EXPECT_EQ(dsp::findCatalogueEntry(number), nullptr) << number;
    EXPECT_EQ(dsp::createEffect(number, 0), nullptr) << number;
  }
}

TEST(Catalogue, EveryDescriptorIsConsistent) {
  std::set<uint32_t> numbers;
  for (const auto& e : dsp::catalogue()) {
    EXPECT_TRUE(numbers.insert(e.number).second) << "duplicate " << e.number;
    const dsp::EffectDescriptor& d = *e.descriptor;
    EXPECT_EQ(d.size, 108u);
    EXPECT_EQ(d.category, (e.number == 102 || e.number == 103) ? 2u : 1u) << e.number;
    EXPECT_EQ(d.inputChannels, d.outputChannels);
    EXPECT_GE(d.parameterCount, 2u);
    EXPECT_LE(d.parameterCount, 17u);
    EXPECT_LT(std::strlen(d.name), sizeof d.name);
    for (uint32_t i = 0; i < d.parameterCount; ++i) {
      EXPECT_GE(d.defaults[i], 0);
      EXPECT_LE(d.defaults[i], 127);
      EXPECT_LT(d.controllers[i], 128u);
      EXPECT_TRUE(d.rampRates[i] == -1.0f || d.rampRates[i] > 0.0f);
      EXPECT_GT(std::strlen(d.names[i]), 0u);
    }
    // An effect that exists must describe itself with its entry's descriptor.
    if (auto fx = dsp::createEffect(e.number, 0)) {
      EXPECT_EQ(fx->getDescriptor(), e.descriptor) << e.number;
    }
  }
  EXPECT_EQ(numbers.size(), 23u);
}

TEST(Catalogue, SpotChecksOfTheTable) {
  const auto& wah = descriptorOf(1227);
  EXPECT_STREQ(wah.name, "Wahwah");
  EXPECT_EQ(wah.parameterCount, 2u);
  EXPECT_STREQ(wah.names[0], "Wah");
  EXPECT_EQ(wah.defaults[0], 24);
  EXPECT_EQ(wah.controllers[1], 113u);

  const auto& echo = descriptorOf(1204);
  EXPECT_STREQ(echo.names[4], "BandWidth");
  EXPECT_EQ(echo.controllers[3], 115u);
  EXPECT_EQ(echo.rampRates[0], -1.0f);
  EXPECT_EQ(echo.rampRates[1], 0.0002f);
  EXPECT_EQ(echo.rampRates[2], -1.0f);

  EXPECT_EQ(descriptorOf(102).rampRates[3], 0.00004f);
  EXPECT_STREQ(descriptorOf(102).names[3], "FeedBack");
  EXPECT_EQ(descriptorOf(103).parameterCount, 17u);
  EXPECT_STREQ(descriptorOf(103).names[16], "Split2");
  EXPECT_EQ(descriptorOf(101).defaults[11], 127);

  // Three entries carry the Distorsion's number; the chorus pair share one descriptor.
  for (uint32_t n : {1205u, 1206u, 1209u})
    EXPECT_EQ(descriptorOf(n).id, 1202u) << n;
  EXPECT_EQ(&descriptorOf(1224), &descriptorOf(1211));
  EXPECT_EQ(descriptorOf(1224).id, 1211u);
  EXPECT_STREQ(descriptorOf(1224).name, "Stereo Chorus");

  // The reverbs are mono and share one parameter list under their own names.
  for (uint32_t n : {1220u, 1221u, 1225u}) {
    EXPECT_EQ(descriptorOf(n).inputChannels, 1u);
    EXPECT_STREQ(descriptorOf(n).names[4], "Ambient");
    EXPECT_EQ(descriptorOf(n).id, n);
  }
  EXPECT_STREQ(descriptorOf(1225).name, "Room Reverb");
  EXPECT_STREQ(descriptorOf(1223).names[4], "Comp Drive");
  EXPECT_STREQ(descriptorOf(1201).names[4], "Tape Drive");
  EXPECT_STREQ(descriptorOf(1226).names[2], "Lo/Hi");

  // Which entries pass the caller's flags on.
  std::set<uint32_t> passing;
  for (const auto& e : dsp::catalogue()) {
    if (e.passesFlags) passing.insert(e.number);
  }
  EXPECT_EQ(passing, (std::set<uint32_t>{1203, 1204, 1205, 1206, 1208, 1210, 1226, 1227}));
}

}  // namespace
