// Every effect the catalogue can create, held to the rules of the audio path: no allocation
// while processing, finite output under any settings, and no denormal numbers in the tails.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "dsp/effect_catalogue.h"
#include "support/allocation_counter.h"

namespace {

constexpr int kRate = 44100;
#if defined(__SANITIZE_ADDRESS__)
constexpr int kNoiseSeconds = 6;  // the sanitizer build runs the same paths, just shorter
#else
constexpr int kNoiseSeconds = 60;
#endif
constexpr int kSilenceSeconds = 20;

std::vector<uint32_t> builtEffects() {
  std::vector<uint32_t> numbers;
  for (const auto& e : dsp::catalogue()) {
    if (e.create) numbers.push_back(e.number);
  }
  return numbers;
}

// Parameter extremes: all low, all high, and the two alternations.
void applyExtremes(dsp::TAutomatedEffect& fx, int pattern) {
  const dsp::EffectDescriptor& d = *fx.getDescriptor();
  for (uint32_t i = 0; i < d.parameterCount; ++i) {
    bool high = false;
    switch (pattern) {
      case 0:
        high = false;
        break;
      case 1:
        high = true;
        break;
      case 2:
        high = i % 2 == 0;
        break;
      default:
        high = i % 2 == 1;
        break;
    }
    fx.processEvent(
        dsp::EffectEvent::controller(static_cast<uint8_t>(d.controllers[i]), high ? 127 : 0));
  }
}

class EffectConformance : public ::testing::TestWithParam<uint32_t> {};

TEST_P(EffectConformance, SurvivesExtremesWithoutAllocatingOrDenormals) {
  for (int channels : {1, 2}) {
    SCOPED_TRACE("channels " + std::to_string(channels));
    auto fx = dsp::createEffect(GetParam(), dsp::kFlagObeyTempo);
    ASSERT_NE(fx, nullptr);
    fx->setFormat(channels, kRate);
    fx->reset();
    const int inCh = fx->inputChannels();
    const int outCh = fx->outputChannels();

    std::mt19937 rng(GetParam());
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    std::uniform_int_distribution<int> oddLength(1, 300);
    std::vector<float> in(300 * inCh), out(300 * outCh);

    const int noiseFrames = kNoiseSeconds * kRate;
    const int totalFrames = noiseFrames + kSilenceSeconds * kRate;
    const int patternFrames = noiseFrames / 4;
    int nextPattern = 0;
    bool finite = true;
    long subnormals = 0;
    size_t allocations = 0;
    for (int pos = 0, call = 0; pos < totalFrames; ++call) {
      // Mostly the rack's 64 frames, sometimes an odd length.
      const int frames = std::min(call % 8 == 7 ? oddLength(rng) : 64, totalFrames - pos);
      const bool loud = pos < noiseFrames;
      for (int i = 0; i < frames * inCh; ++i)
        in[i] = loud ? noise(rng) : 0.0f;
      {
        testsupport::AllocationCounter counter;
        if (loud && pos >= nextPattern * patternFrames && nextPattern < 4) {
          applyExtremes(*fx, nextPattern++);
        }
        fx->process(out.data(), in.data(), frames);
        allocations += counter.count();
      }
      for (int i = 0; i < frames * outCh; ++i) {
        finite = finite && std::isfinite(out[i]);
        if (!loud && std::fpclassify(out[i]) == FP_SUBNORMAL) ++subnormals;
      }
      pos += frames;
    }
    EXPECT_EQ(allocations, 0u);
    EXPECT_TRUE(finite);
    EXPECT_EQ(subnormals, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Catalogue, EffectConformance, ::testing::ValuesIn(builtEffects()),
                         [](const ::testing::TestParamInfo<uint32_t>& info) {
                           return std::string(dsp::findCatalogueEntry(info.param)->className);
                         });

}  // namespace
