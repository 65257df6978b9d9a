#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "plugin/sample_rate.h"
#include "plugin_test_support.h"
#include "support/allocation_counter.h"
#include "support/signals.h"

namespace {

using plugintest::makeProcessor;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

struct Outputs {
  Outputs(int frames, float fill) : left(frames, fill), right(frames, fill) {}
  std::vector<float> left, right;
  float* channels[2] = {left.data(), right.data()};
};

TEST(AudioFrame, HostBuffersAreSplitToFitTheWorkingBuffers) {
  for (const auto& [frames, length, count, rest] :
       {std::array{20000, 5000, 4, 0}, {8193, 4096, 2, 1}, {8192, 8192, 1, 0}, {-5, 0, 1, 0}}) {
    const auto got = plugin::vlvrProcessor::splitFrames(frames);
    EXPECT_EQ(std::tie(got.length, got.count, got.rest), std::tie(length, count, rest)) << frames;
  }
}

// With stomp, amp and output bypassed the rack only delays its input by 64 frames, so a long host
// call, split to fit the rack, must come out whole: through the replacing entry, or through the
// accumulating one added to what is there, allocating nothing. A sample that is not finite enters
// as 0, on either channel, and is counted.
TEST(AudioFrame, LongCallsComeOutWholeFoldedToMonoWithNonFiniteSamplesAsSilence) {
  constexpr int kFrames = 16385;
  constexpr float kInf = std::numeric_limits<float>::infinity();
  std::vector<float> x = testsupport::whiteNoise(kFrames, 0.5f);
  std::vector<float> other = testsupport::whiteNoise(kFrames, 0.5f, 9);
  x[100] = kNaN;
  x[9000] = -kInf;
  other[300] = kInf;
  // Halved before they are added, so two full-range channels do not overflow.
  std::vector<float> loud(kFrames, 3e38f);
  struct Case {
    std::vector<float>*first, *second;  // null: mono
    float before;                       // what the outputs hold: accumulated onto unless 0
    uint64_t nonFinite;
  };
  for (const Case c :
       {Case{&x, &other, 0.0f, 3}, Case{&x, nullptr, 0.25f, 2}, Case{&loud, &loud, 0.0f, 0}}) {
    auto p = makeProcessor(true);
    for (int id : {59, 60, 61})
      p->rack()->setParameter(id, 1);
    Outputs out(kFrames, c.before);
    float* ins[2] = {c.first->data(), c.second ? c.second->data() : nullptr};
    plugin::AEffect* e = p->getAeffect();
    testsupport::AllocationCounter allocations;
    (c.before == 0.0f ? e->processReplacing : e->process)(e, ins, out.channels, kFrames);
    EXPECT_EQ(allocations.count(), 0u);
    const auto at = [](const std::vector<float>* v, int i) {
      return std::isfinite((*v)[i]) ? (*v)[i] : 0.0f;
    };
    for (int i = 0; i < kFrames; ++i) {
      const float in = i < 64 ? 0.0f : at(c.first, i - 64);
      const float fold = i < 64 || !c.second ? in : in * 0.5f + at(c.second, i - 64) * 0.5f;
      ASSERT_NEAR(out.left[i], c.before + fold, 1e-7f) << i;
      ASSERT_EQ(out.right[i], out.left[i]);
    }
    EXPECT_EQ(p->nonFiniteInputSamples(), c.nonFinite);
  }
}

// Closed, even an accumulating call leaves silence, and the next rack starts with the values set
// meanwhile. Blocks a rack silences are counted across racks.
TEST(AudioFrame, ValuesReachTheRackTruncatedTowardZeroAtTheProcessRateAndClosedItIsSilent) {
  constexpr int kFrames = 300;
  const std::vector<float> in = testsupport::whiteNoise(kFrames, 0.5f);
  const float* ins[2] = {in.data(), in.data()};
  plugin::setProcessSampleRate(48000.0f);
  auto p = makeProcessor(true);
  plugin::setProcessSampleRate(44100.0f);
  EXPECT_EQ(p->rack()->sampleRate(), 48000.0f);
  for (const auto& [value, expected] :
       {std::pair{63.9f, 63}, std::pair{-0.5f, 0}, std::pair{kNaN, 0}, std::pair{1e30f, 127}}) {
    p->setParameterPlain(13, value);
    EXPECT_EQ(p->rack()->parameter(13), expected) << value;
  }
  for (uint64_t silenced : {1u, 2u}) {
    // Straight into the rack, past the processor's check: the next block comes out NaN.
    std::vector<float> nan(64, kNaN), l(64), r(64);
    const float* rackIns[1] = {nan.data()};
    float* rackOuts[2] = {l.data(), r.data()};
    p->rack()->process(rackOuts, rackIns, 64);
    Outputs out(kFrames, 0.5f);
    p->processFrame(out.channels, ins, kFrames, true);  // the scratch buffers hold sound
    EXPECT_EQ(p->silencedBlocks(), silenced);
    EXPECT_TRUE(
        std::all_of(out.left.begin(), out.left.end(), [](float x) { return std::isfinite(x); }));
    p->close();
    p->setParameterPlain(17, 99.0f);
    p->processFrame(out.channels, ins, kFrames, true);
    EXPECT_TRUE(out.left == std::vector<float>(kFrames) && out.right == out.left);
    p->open();
    EXPECT_EQ(p->rack()->parameter(18), 99);
  }
}

TEST(ProcessorConcurrency, ParametersChangeWhileAudioRuns) {
  auto p = makeProcessor(true);
  std::atomic<bool> stop{false};
  std::thread audio([&] {
    std::vector<float> in(256, 0.1f), l(256), r(256);
    in[7] = kNaN;
    float *ins[2] = {in.data(), in.data()}, *outs[2] = {l.data(), r.data()};
    do {
      p->processReplacing(ins, outs, 256);
      (void)p->getParameter(18);
    } while (!stop.load());
  });
  for (int k = 0; k < 2000; ++k) {
    p->setParameter(k % 22, float(k % 100) / 100.0f);
    if (p->anyParameterChanged()) p->clearAnyParameterChanged();
    (void)p->nonFiniteInputSamples();
    (void)p->silencedBlocks();
  }
  stop.store(true);
  audio.join();
  EXPECT_TRUE(p->parameters()[0].isChanged());
  EXPECT_GT(p->nonFiniteInputSamples(), 0u);
  EXPECT_EQ(p->silencedBlocks(), 0u);
}

}  // namespace
