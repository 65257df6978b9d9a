// The product's amps and cabinets played like a guitar: every combination stays finite and
// bounded, leaves no denormals behind in silence, and never allocates on the audio path.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "rack/vrmore.h"
#include "support/allocation_counter.h"
#include "support/signals.h"

namespace {

constexpr int kRate = 44100;
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kSilenceSeconds = 3;  // same paths, shorter
#else
constexpr int kSilenceSeconds = 30;
#endif

// A phrase of plucked notes at -30, -12 and 0 dBFS.
std::vector<float> guitarPhrase() {
  std::vector<float> phrase;
  const double notes[] = {82.41, 110.0, 146.83, 196.0, 246.94, 329.63};
  for (float peak : {0.0316f, 0.25f, 1.0f}) {
    for (double hz : notes) {
      const std::vector<float> note = testsupport::pluckedNote(hz, 0.4, peak);
      phrase.insert(phrase.end(), note.begin(), note.end());
    }
  }
  return phrase;
}

struct Combination {
  int amp;
  int cabinet;  // -1: speaker off
};

class ProductCombinations : public ::testing::TestWithParam<Combination> {};

TEST_P(ProductCombinations, FiniteBoundedDenormalFreeAndAllocationFree) {
  const Combination c = GetParam();
  rack::VRmore rack(float(kRate), 2);
  rack.initialize();
  rack.setParameter(62, c.amp);
  rack.setParameter(64, c.cabinet >= 0 ? 1 : 0);
  rack.setParameter(63, c.cabinet >= 0 ? c.cabinet : 0);
  for (auto [id, value] : {std::pair{65, 2},
                           {9, 1},
                           {10, 127},
                           {13, 127},
                           {20, 127},
                           {19, 127},
                           {54, 1},
                           {36, 100},
                           {8, 0}}) {
    rack.setParameter(id, value);
  }

  const std::vector<float> phrase = guitarPhrase();
  const int total = int(phrase.size()) + kSilenceSeconds * kRate;
  std::vector<float> in(kRate, 0.0f), left(kRate), right(kRate);
  float* outs[2] = {left.data(), right.data()};
  const float* ins[1] = {in.data()};
  bool finite = true;
  float peak = 0;
  long subnormals = 0;
  size_t allocations = 0;
  for (int pos = 0; pos < total; pos += 512) {
    const int n = std::min(512, total - pos);
    for (int i = 0; i < n; ++i)
      in[i] = pos + i < int(phrase.size()) ? phrase[pos + i] : 0.0f;
    {
      testsupport::AllocationCounter counter;
      rack.process(outs, ins, n);
      allocations += counter.count();
    }
    for (int i = 0; i < n; ++i) {
      for (float x : {left[i], right[i]}) {
        finite = finite && std::isfinite(x);
        peak = std::max(peak, std::fabs(x));
        if (std::fpclassify(x) == FP_SUBNORMAL) ++subnormals;
      }
    }
  }
  EXPECT_TRUE(finite);
  EXPECT_LT(peak, 4.0f);
  EXPECT_GT(peak, 0.01f) << "the amp makes a sound";
  EXPECT_EQ(subnormals, 0);
  EXPECT_EQ(allocations, 0u);
}

INSTANTIATE_TEST_SUITE_P(Rack, ProductCombinations,
                         ::testing::Values(Combination{0, -1}, Combination{0, 0}, Combination{0, 1},
                                           Combination{0, 2}, Combination{1, -1}, Combination{1, 0},
                                           Combination{1, 1}, Combination{1, 2}, Combination{2, -1},
                                           Combination{2, 0}, Combination{2, 1}, Combination{2, 2}),
                         [](const ::testing::TestParamInfo<Combination>& info) {
                           return "amp" + std::to_string(info.param.amp) + "_cabinet" +
                                  (info.param.cabinet < 0 ? std::string("off")
                                                          : std::to_string(info.param.cabinet));
                         });

// Knobs turned from another thread while audio runs: parameter words are atomic, changes land
// between blocks, and nothing tears.
TEST(RackConcurrency, ParametersChangeWhileAudioRuns) {
  rack::VRmore rack(float(kRate), 2);
  rack.initialize();
  rack.setParameter(64, 1);
  std::atomic<bool> stop{false};
  std::thread control([&] {
    for (int i = 0; !stop.load(std::memory_order_relaxed); ++i) {
      const int v = (i * 37) % 128;
      for (int id : {13, 15, 16, 17, 18, 20, 10, 11, 12, 5, 19, 8})
        rack.setParameter(id, v);
      rack.setParameter(62, i % 3);
      rack.setParameter(63, (i / 3) % 3);
      rack.setParameter(65, i % 3);
      rack.setParameter(54, i % 2);
      // Switches whose off edges the audio thread picks up.
      rack.setParameter(9, i % 2);
      rack.setParameter(61, 0);
      rack.setParameter(57, (i / 2) % 2);
      rack.setParameter(46, v);
      rack.setTunerMode(i % 3);
      rack.getMeter(0);
      rack.getMeter(1);
      rack.updateTunerDisplay();
    }
  });
  const std::vector<float> phrase = guitarPhrase();
  std::vector<float> left(256), right(256);
  float* outs[2] = {left.data(), right.data()};
  bool finite = true;
  for (size_t pos = 0; pos + 256 <= phrase.size(); pos += 256) {
    const float* ins[1] = {phrase.data() + pos};
    rack.process(outs, ins, 256);
    for (float x : left)
      finite = finite && std::isfinite(x);
  }
  stop = true;
  control.join();
  EXPECT_TRUE(finite);
}

}  // namespace
