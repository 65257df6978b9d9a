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

using plugin::vlvrProcessor;
using plugintest::makeProcessor;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

struct Outputs {
  Outputs(int frames, float fill) : left(frames, fill), right(frames, fill) {}
  std::vector<float> left, right;
};

void run(vlvrProcessor& p, const float* in0, const float* in1, Outputs& out, int frames,
         bool accumulate, int offset = 0) {
  const float* ins[2] = {in0 ? in0 + offset : nullptr, in1 ? in1 + offset : nullptr};
  float* outs[2] = {out.left.data() + offset, out.right.data() + offset};
  p.processFrame(outs, ins, frames, accumulate);
}

TEST(AudioFrame, HostBuffersAreSplitAndCutToFitTheRack) {
  // Frames, then length, count and rest.
  for (const auto& [frames, length, count, rest] :
       {std::array{20000, 5000, 4, 0}, {8193, 4096, 2, 1}, {8192, 8192, 1, 0}, {0, 0, 1, 0}}) {
    const vlvrProcessor::Split got = vlvrProcessor::splitFrames(frames);
    EXPECT_EQ(std::tie(got.length, got.count, got.rest), std::tie(length, count, rest)) << frames;
  }
  using Pieces = std::vector<std::pair<int, int>>;
  for (const auto& [frames, expected] :
       {std::pair{8193, Pieces{{0, 4032}, {4032, 64}, {4096, 4032}, {8128, 65}}},
        std::pair{-5, Pieces{}}}) {
    Pieces pieces;
    vlvrProcessor::forEachPiece(frames, [&](int offset, int n) { pieces.emplace_back(offset, n); });
    EXPECT_EQ(pieces, expected) << frames;
  }
}

// One long host call, through the record's replacing and accumulating entries, sounds like many
// calls of one frame each, and allocates nothing.
TEST(AudioFrame, OneLongCallSoundsLikeManyShortOnes) {
  constexpr int kFrames = 16385;
  std::vector<float> left = testsupport::whiteNoise(kFrames, 0.3f, 1);
  std::vector<float> right = testsupport::whiteNoise(kFrames, 0.3f, 2);
  auto whole = makeProcessor(true), single = makeProcessor(true), adding = makeProcessor(true);
  Outputs a(kFrames, 0.0f), b(kFrames, 0.0f), c(kFrames, 0.25f);
  float* ins[2] = {left.data(), right.data()};
  float* outsA[2] = {a.left.data(), a.right.data()};
  float* outsC[2] = {c.left.data(), c.right.data()};
  {
    testsupport::AllocationCounter allocations;
    whole->getAeffect()->processReplacing(whole->getAeffect(), ins, outsA, kFrames);
    adding->getAeffect()->process(adding->getAeffect(), ins, outsC, kFrames);
    EXPECT_EQ(allocations.count(), 0u);
  }
  for (int i = 0; i < kFrames; ++i)
    run(*single, left.data(), right.data(), b, 1, false, i);

  EXPECT_TRUE(a.left == b.left && a.right == b.right);
  double energy = 0;
  for (int i = 0; i < kFrames; ++i) {
    ASSERT_TRUE(c.left[i] == 0.25f + a.left[i] && c.right[i] == 0.25f + a.right[i]) << i;
    energy += a.left[i] * a.left[i];
  }
  EXPECT_GT(energy, 1.0) << "the amp is heard";
}

// With stomp, amp and output bypassed the rack only delays its input by 64 frames. A sample that
// is not finite enters as 0, on either channel, and is counted.
TEST(AudioFrame, InputsAreFoldedToMonoWithNonFiniteSamplesAsSilence) {
  constexpr int kFrames = 1000;
  constexpr float kInf = std::numeric_limits<float>::infinity();
  std::vector<float> x = testsupport::whiteNoise(kFrames, 0.5f);
  std::vector<float> other = testsupport::whiteNoise(kFrames, 0.5f, 9);
  x[100] = kNaN;
  x[500] = -kInf;
  other[300] = kInf;
  // Halved before they are added, so two full-range channels do not overflow.
  const std::vector<float> loud(kFrames, 3e38f);
  struct Case {
    const std::vector<float>*first, *second;  // null: mono
    uint64_t nonFinite;
  };
  for (const Case c : {Case{&x, &other, 3}, Case{&x, nullptr, 2}, Case{&loud, &loud, 0}}) {
    auto p = makeProcessor(true);
    for (int id : {59, 60, 61})
      p->rack()->setParameter(id, 1);
    Outputs out(kFrames, 0.0f);
    run(*p, c.first->data(), c.second ? c.second->data() : nullptr, out, kFrames, false);
    const auto at = [](const std::vector<float>* v, int i) {
      return std::isfinite((*v)[i]) ? (*v)[i] : 0.0f;
    };
    for (int i = 0; i < kFrames; ++i) {
      const float in = i < 64 ? 0.0f : at(c.first, i - 64);
      const float want = i < 64 || !c.second ? in : in * 0.5f + at(c.second, i - 64) * 0.5f;
      ASSERT_NEAR(out.left[i], want, 1e-7f) << i;
      ASSERT_EQ(out.right[i], out.left[i]);
    }
    EXPECT_EQ(p->nonFiniteInputSamples(), c.nonFinite);
  }
}

// Without a rack even an accumulating call leaves silence; silenced blocks add up across racks.
TEST(AudioFrame, WithoutARackSilenceAndSilencedBlocksAreCountedAcrossRacks) {
  constexpr int kFrames = 300;
  const std::vector<float> in = testsupport::whiteNoise(kFrames, 0.5f);
  auto p = makeProcessor();  // not opened
  for (uint64_t silenced : {1u, 2u}) {
    Outputs out(kFrames, 0.5f);
    run(*p, in.data(), in.data(), out, kFrames, true);
    EXPECT_TRUE(out.left == std::vector<float>(kFrames) && out.right == out.left);
    p->open();
    // Straight into the rack, past the processor's check: the next block comes out NaN.
    std::vector<float> nan(64, kNaN), l(64), r(64);
    const float* rackIns[1] = {nan.data()};
    float* rackOuts[2] = {l.data(), r.data()};
    p->rack()->process(rackOuts, rackIns, 64);
    run(*p, in.data(), in.data(), out, kFrames, true);  // the scratch buffers now hold sound
    EXPECT_EQ(p->silencedBlocks(), silenced);
    EXPECT_TRUE(
        std::all_of(out.left.begin(), out.left.end(), [](float x) { return std::isfinite(x); }));
    p->close();
  }
  EXPECT_EQ(p->nonFiniteInputSamples(), 0u);
}

TEST(AudioFrame, ValuesReachTheRackTruncatedTowardZeroAtTheProcessRate) {
  plugin::setProcessSampleRate(48000.0f);
  auto p = makeProcessor(true);
  plugin::setProcessSampleRate(44100.0f);
  EXPECT_EQ(p->rack()->sampleRate(), 48000.0f);
  for (const auto& [value, expected] :
       {std::pair{63.9f, 63}, std::pair{-0.5f, 0}, std::pair{kNaN, 0}, std::pair{1e30f, 127}}) {
    p->setParameterPlain(13, value);
    EXPECT_EQ(p->rack()->parameter(13), expected) << value;
  }
  // A new rack starts with the values set while there was none.
  p->close();
  p->setParameterPlain(17, 99.0f);
  p->open();
  EXPECT_EQ(p->rack()->parameter(18), 99);
  p->setDspSampleRate(96000);
  EXPECT_EQ(p->rack()->sampleRate(), 96000.0f);
}

TEST(ProcessorConcurrency, ParametersChangeWhileAudioRuns) {
  auto p = makeProcessor(true);
  std::atomic<bool> stop{false};
  std::thread audio([&] {
    std::vector<float> in(256, 0.1f), l(256), r(256);
    in[7] = kNaN;
    float* ins[2] = {in.data(), in.data()};
    float* outs[2] = {l.data(), r.data()};
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
