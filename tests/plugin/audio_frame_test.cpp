#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>
#include <thread>
#include <utility>
#include <vector>

#include "plugin/sample_rate.h"
#include "plugin_test_support.h"
#include "support/allocation_counter.h"
#include "support/signals.h"

namespace {

using plugin::vlvrProcessor;
using plugintest::makeProcessor;

using Pieces = std::vector<std::pair<int, int>>;

Pieces piecesOf(int frames) {
  Pieces pieces;
  vlvrProcessor::forEachPiece(frames, [&](int offset, int n) { pieces.emplace_back(offset, n); });
  return pieces;
}

// Stereo output buffers, each filled with `fill`.
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

// Stomp, amp and output sections bypassed: the rack passes its input 64 frames late.
std::unique_ptr<vlvrProcessor> neutralProcessor() {
  auto p = makeProcessor(true);
  for (int id : {59, 60, 61})
    p->rack()->setParameter(id, 1);
  return p;
}

float delayed(const std::vector<float>& x, int i) {
  return i < 64 ? 0.0f : x[i - 64];
}

TEST(AudioFrame, HostBuffersAreSplitAndCutToFitTheRack) {
  using Split = vlvrProcessor::Split;
  auto same = [](Split a, Split b) {
    return a.length == b.length && a.count == b.count && a.rest == b.rest;
  };
  EXPECT_TRUE(same(vlvrProcessor::splitFrames(20000), {5000, 4, 0}));
  EXPECT_TRUE(same(vlvrProcessor::splitFrames(8193), {4096, 2, 1}));
  EXPECT_TRUE(same(vlvrProcessor::splitFrames(8192), {8192, 1, 0}));
  EXPECT_TRUE(same(vlvrProcessor::splitFrames(256), {256, 1, 0}));
  EXPECT_TRUE(same(vlvrProcessor::splitFrames(16385), {8192, 2, 1}));
  EXPECT_TRUE(same(vlvrProcessor::splitFrames(0), {0, 1, 0}));

  EXPECT_EQ(piecesOf(256), (Pieces{{0, 256}}));
  EXPECT_EQ(piecesOf(8193), (Pieces{{0, 4032}, {4032, 64}, {4096, 4032}, {8128, 65}}));
  EXPECT_TRUE(piecesOf(0).empty());
  EXPECT_TRUE(piecesOf(-5).empty());

  for (int frames : {20000, 16385, 65537, 4033}) {
    int next = 0;
    for (auto [offset, n] : piecesOf(frames)) {
      EXPECT_EQ(offset, next);
      EXPECT_GT(n, 0);
      EXPECT_LE(n, vlvrProcessor::kMaxRackFrames);
      next = offset + n;
      if (frames == 20000) {
        EXPECT_LE((offset % 5000) + n, 5000) << "inside a 5000-frame piece";
      }
    }
    EXPECT_EQ(next, frames);
  }
}

TEST(AudioFrame, OneLongCallSoundsLikeManyShortOnes) {
  constexpr int kFrames = 16385;
  const std::vector<float> left = testsupport::whiteNoise(kFrames, 0.3f, 1);
  const std::vector<float> right = testsupport::whiteNoise(kFrames, 0.3f, 2);
  auto whole = makeProcessor(true);
  auto single = makeProcessor(true);
  auto adding = makeProcessor(true);

  Outputs a(kFrames, 0.0f), b(kFrames, 0.0f), c(kFrames, 0.25f);
  {
    testsupport::AllocationCounter allocations;
    run(*whole, left.data(), right.data(), a, kFrames, false);
    run(*adding, left.data(), right.data(), c, kFrames, true);
    EXPECT_EQ(allocations.count(), 0u);
  }
  for (int i = 0; i < kFrames; ++i)
    run(*single, left.data(), right.data(), b, 1, false, i);

  EXPECT_EQ(whole->rack()->blocksProcessed(), single->rack()->blocksProcessed());
  double energy = 0;
  for (int i = 0; i < kFrames; ++i) {
    ASSERT_EQ(a.left[i], b.left[i]) << i;
    ASSERT_EQ(a.right[i], b.right[i]) << i;
    ASSERT_EQ(c.left[i], 0.25f + a.left[i]) << i;
    ASSERT_EQ(c.right[i], 0.25f + a.right[i]) << i;
    energy += a.left[i] * a.left[i];
  }
  EXPECT_GT(energy, 1.0) << "the amp is heard";
}

TEST(AudioFrame, InputsAreFoldedToMono) {
  constexpr int kFrames = 1000;
  const std::vector<float> x = testsupport::whiteNoise(kFrames, 0.5f);
  const std::vector<float> silence(kFrames, 0.0f);
  const std::vector<float> other = testsupport::whiteNoise(kFrames, 0.5f, 9);

  struct Case {
    const float* second;
    float gain;
  };
  for (Case k : {Case{x.data(), 1.0f}, Case{silence.data(), 0.5f}, Case{nullptr, 1.0f}}) {
    auto p = neutralProcessor();
    Outputs out(kFrames, 0.0f);
    run(*p, x.data(), k.second, out, kFrames, false);
    for (int i = 0; i < kFrames; ++i) {
      ASSERT_NEAR(out.left[i], k.gain * delayed(x, i), 1e-12f) << i;
      ASSERT_EQ(out.right[i], out.left[i]);
    }
  }

  auto p = neutralProcessor();  // two different channels: their average
  Outputs out(kFrames, 0.0f);
  run(*p, x.data(), other.data(), out, kFrames, false);
  for (int i = 64; i < kFrames; ++i)
    ASSERT_NEAR(out.left[i], (x[i - 64] + other[i - 64]) * 0.5f, 1e-7f) << i;

  // Halved before they are added, so two full-range channels do not overflow.
  const std::vector<float> loud(kFrames, 3e38f);
  auto q = neutralProcessor();
  run(*q, loud.data(), loud.data(), out, kFrames, false);
  EXPECT_EQ(out.left[100], 3e38f);
}

// A sample that is not finite enters the rack as 0, whichever channel it is on: the render is
// exactly the one of the input with 0 in its place, and each such sample is counted.
TEST(AudioFrame, NonFiniteInputsEnterAsSilenceAndAreCounted) {
  constexpr int kFrames = 6000;
  constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
  constexpr float kInf = std::numeric_limits<float>::infinity();
  struct Bad {
    int channel;  // 2: both
    int frame;
    float value;
  };
  const std::vector<Bad> bad = {{0, 100, kNaN}, {1, 1500, kInf}, {2, 3000, -kInf}};
  for (bool stereo : {false, true}) {
    std::vector<float> in[2] = {testsupport::whiteNoise(kFrames, 0.3f, 1),
                                testsupport::whiteNoise(kFrames, 0.3f, 2)};
    std::vector<float> zeroed[2] = {in[0], in[1]};
    uint64_t count = 0;
    for (const Bad& b : bad) {
      for (int c = 0; c < 2; ++c) {
        if (b.channel != c && b.channel != 2) continue;
        if (!stereo && c == 1) continue;
        in[c][b.frame] = b.value;
        zeroed[c][b.frame] = 0.0f;
        ++count;
      }
    }
    auto render = [&](std::vector<float>* x, vlvrProcessor& p) {
      Outputs out(kFrames, 0.0f);
      run(p, x[0].data(), stereo ? x[1].data() : nullptr, out, kFrames, false);
      return out;
    };
    auto p = makeProcessor(true);
    auto reference = makeProcessor(true);
    const Outputs out = render(in, *p), expected = render(zeroed, *reference);
    EXPECT_EQ(out.left, expected.left) << "stereo " << stereo;
    EXPECT_EQ(out.right, expected.right) << "stereo " << stereo;
    EXPECT_EQ(p->nonFiniteInputSamples(), count) << "stereo " << stereo;
    EXPECT_EQ(p->silencedBlocks(), 0u);
    EXPECT_EQ(reference->nonFiniteInputSamples(), 0u);
  }
}

// The rack's silenced blocks add up in the processor, across a close and an open.
TEST(AudioFrame, SilencedBlocksAreCountedAcrossRacks) {
  auto p = makeProcessor(true);
  const std::vector<float> in(256, 0.1f);
  auto poisonRack = [&] {
    // Straight into the rack, past the processor's check: the next block comes out NaN.
    std::vector<float> nan(64, std::numeric_limits<float>::quiet_NaN()), l(64), r(64);
    const float* rackIns[1] = {nan.data()};
    float* rackOuts[2] = {l.data(), r.data()};
    p->rack()->process(rackOuts, rackIns, 64);
  };
  for (uint64_t expected : {1u, 2u}) {
    poisonRack();
    Outputs out(256, 0.0f);
    run(*p, in.data(), in.data(), out, 256, false);
    EXPECT_EQ(p->silencedBlocks(), expected);
    for (float x : out.left)
      ASSERT_TRUE(std::isfinite(x));
    p->close();
    EXPECT_EQ(p->silencedBlocks(), expected);
    p->open();
  }
  EXPECT_EQ(p->nonFiniteInputSamples(), 0u);
}

TEST(AudioFrame, WithoutARackTheOutputsAreSilent) {
  constexpr int kFrames = 300;
  const std::vector<float> x = testsupport::whiteNoise(kFrames, 0.5f);
  auto p = makeProcessor();  // not opened
  for (int round = 0; round < 2; ++round) {
    for (bool accumulate : {false, true}) {
      Outputs out(kFrames, 0.5f);
      run(*p, x.data(), x.data(), out, kFrames, accumulate);
      for (int i = 0; i < kFrames; ++i)
        ASSERT_TRUE(out.left[i] == 0.0f && out.right[i] == 0.0f) << i;
    }
    p->open();
    Outputs out(kFrames, 0.0f);
    run(*p, x.data(), x.data(), out, kFrames, true);  // the scratch buffers now hold sound
    p->close();
    ASSERT_EQ(p->rack(), nullptr);
  }
  p->setParameterPlain(0, 3.0f);  // values are still stored
  EXPECT_EQ(p->parameterValue(0), 3.0f);
}

TEST(AudioFrame, ValuesReachTheRackTruncatedTowardZero) {
  auto p = makeProcessor(true);
  p->setParameterPlain(13, 63.9f);
  EXPECT_EQ(p->rack()->parameter(13), 63);
  p->setParameterPlain(13, -0.5f);
  EXPECT_EQ(p->rack()->parameter(13), 0);
  p->setParameterPlain(13, std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(p->rack()->parameter(13), 0);
  p->setParameterPlain(13, 1e30f);
  EXPECT_EQ(p->rack()->parameter(13), 127);

  // A new rack starts with the current values.
  p->setParameterPlain(17, 99.0f);
  p->close();
  p->open();
  EXPECT_EQ(p->rack()->parameter(18), 99);
}

TEST(AudioFrame, RacksRunAtTheProcessRate) {
  plugin::setProcessSampleRate(48000.0f);
  auto p = makeProcessor(true);
  plugin::setProcessSampleRate(44100.0f);
  EXPECT_EQ(p->rack()->sampleRate(), 48000.0f);
  p->setDspSampleRate(96000);
  EXPECT_EQ(p->rack()->sampleRate(), 96000.0f);
  p->applyAllParameters();
  EXPECT_EQ(p->rack()->parameter(20), 80);
}

TEST(ProcessorConcurrency, ParametersChangeWhileAudioRuns) {
  auto p = makeProcessor(true);
  std::atomic<bool> stop{false};
  std::thread audio([&] {
    std::vector<float> in(256, 0.1f), l(256), r(256);
    in[7] = std::numeric_limits<float>::quiet_NaN();
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
