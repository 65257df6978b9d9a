#include <cstring>
#include <random>
#include <set>

#include "dsp/effect_catalogue.h"
#include "dsp_test_helpers.h"
#include "support/allocation_counter.h"

namespace {

TEST(Catalogue, EveryDescriptorIsConsistentAndUnassignedNumbersYieldNothing) {
  std::set<uint32_t> numbers;
  for (const auto& e : dsp::catalogue()) {
    EXPECT_TRUE(numbers.insert(e.number).second) << "duplicate " << e.number;
    const dsp::EffectDescriptor& d = *e.descriptor;
    EXPECT_EQ(d.inputChannels, d.outputChannels);
    EXPECT_LT(std::strlen(d.name), sizeof d.name);
    for (uint32_t i = 0; i < d.parameterCount; ++i) {
      EXPECT_TRUE(d.defaults[i] >= 0 && d.defaults[i] <= 127 && d.controllers[i] < 128u) << i;
      EXPECT_TRUE(d.rampRates[i] == -1.0f || d.rampRates[i] > 0.0f);
      EXPECT_GT(std::strlen(d.names[i]), 0u);
    }
    // An effect that exists must describe itself with its entry's descriptor.
    if (auto fx = dsp::createEffect(e.number, 0)) {
      EXPECT_EQ(fx->getDescriptor(), e.descriptor);
    }
  }
  for (uint32_t number : {0u, 104u, 1214u, 99999u}) {
    EXPECT_EQ(dsp::findCatalogueEntry(number), nullptr) << number;
    EXPECT_EQ(dsp::createEffect(number, 0), nullptr) << number;
  }
}

#if defined(__SANITIZE_ADDRESS__)
constexpr int kNoiseSeconds = 6;  // the sanitizer build runs the same paths, just shorter
#else
constexpr int kNoiseSeconds = 60;
#endif
constexpr int kSilenceSeconds = 20;

std::vector<uint32_t> builtEffects() {
  std::vector<uint32_t> numbers;
  for (const auto& e : dsp::catalogue())
    if (e.create) numbers.push_back(e.number);
  return numbers;
}

// Every effect: no allocation while processing, finite output, no denormals in the tails.
class EffectConformance : public ::testing::TestWithParam<uint32_t> {};

TEST_P(EffectConformance, SurvivesExtremesWithoutAllocatingOrDenormals) {
  for (int channels : {1, 2}) {
    SCOPED_TRACE("channels " + std::to_string(channels));
    auto fx = dsp::createEffect(GetParam(), dsp::kFlagObeyTempo);
    ASSERT_NE(fx, nullptr);
    fx->setFormat(channels, 44100);
    fx->reset();
    const int inCh = fx->inputChannels(), outCh = fx->outputChannels();
    const dsp::EffectDescriptor& d = *fx->getDescriptor();
    std::mt19937 rng(GetParam());
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    std::uniform_int_distribution<int> oddLength(1, 300);
    std::vector<float> in(300 * inCh), out(300 * outCh);

    const int noiseFrames = kNoiseSeconds * 44100;
    const int totalFrames = noiseFrames + kSilenceSeconds * 44100;
    int nextPattern = 0;
    bool finite = true;
    long subnormals = 0;
    size_t allocations = 0;
    for (int pos = 0, call = 0; pos < totalFrames; ++call) {
      const int frames = std::min(call % 8 == 7 ? oddLength(rng) : 64, totalFrames - pos);
      const bool loud = pos < noiseFrames;
      for (int i = 0; i < frames * inCh; ++i)
        in[i] = loud ? noise(rng) : 0.0f;
      {
        testsupport::AllocationCounter counter;
        // Parameter extremes in turn: all low, all high, and the two alternations.
        if (loud && pos >= nextPattern * (noiseFrames / 4) && nextPattern < 4) {
          for (uint32_t i = 0; i < d.parameterCount; ++i) {
            const bool high =
                nextPattern == 1 || (nextPattern >= 2 && int(i % 2) == nextPattern - 2);
            fx->processEvent(
                dsp::EffectEvent::controller(uint8_t(d.controllers[i]), high ? 127 : 0));
          }
          ++nextPattern;
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
