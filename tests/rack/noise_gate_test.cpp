#include "rack/noise_gate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <numbers>
#include <vector>

#include "support/allocation_counter.h"

namespace {

constexpr int kBlock = 64;
constexpr float kQuiet = 1e-4f;  // below the default -50 dB threshold (about 3.2e-3)

std::size_t processAllocations = 0;

void process(rack::NoiseGate& gate, float* block) {
  testsupport::AllocationCounter allocations;
  gate.process(block, kBlock);
  processAllocations += allocations.count();
}

// Runs one block of a constant level through the gate and returns the gain it applied to each
// sample, measured as output / input.
std::vector<float> runBlock(rack::NoiseGate& gate, float level) {
  std::vector<float> block(kBlock, level);
  process(gate, block.data());
  for (float& x : block)
    x /= level;
  return block;
}

void playLoudNote(rack::NoiseGate& gate, int blocks) {
  std::vector<float> block(kBlock);
  for (int b = 0; b < blocks; ++b) {
    for (int i = 0; i < kBlock; ++i)
      block[i] = 0.5f * float(std::sin(2.0 * std::numbers::pi * 220.0 * (b * kBlock + i) / 44100));
    process(gate, block.data());
  }
}

TEST(NoiseGate, HoldsOpenAfterTheLastLoudBlockThenReleases) {
  rack::NoiseGate gate;
  gate.setFormat(1, 44100);
  processAllocations = 0;
  playLoudNote(gate, 20);
  EXPECT_NEAR(gate.getGain(), 1.0f, 1e-6f);

  // 68 quiet blocks are 4352 samples, still inside the 4410-sample hold.
  for (int b = 1; b <= 68; ++b) {
    const std::vector<float> gains = runBlock(gate, kQuiet);
    ASSERT_NEAR(gains.back(), 1.0f, 1e-4f) << "quiet block " << b;
  }
  // The 69th reaches 4416 and closes, losing 40 dB per 0.2 s release.
  const float open = gate.getGain();
  std::vector<float> gains = runBlock(gate, kQuiet);
  EXPECT_LT(gains[0], open);
  for (int i = 1; i < kBlock; ++i)
    ASSERT_LT(gains[i], gains[i - 1]);
  for (int b = 0; b < 137; ++b)  // 8832 samples closing in all, about the release time
    gains = runBlock(gate, kQuiet);
  EXPECT_NEAR(20.0 * std::log10(gains.back() / open), -40.0 * 8832 / 8820, 0.1);

  // The gain ends at exactly 0 once it falls below 1e-20 (2 s of release from full gain).
  float last = gains.back();
  for (int b = 0; b < 44100 * 3 / kBlock && gains.back() != 0.0f; ++b) {
    gains = runBlock(gate, kQuiet);
    for (float g : gains)
      if (g != 0.0f) last = g;
  }
  EXPECT_EQ(gate.getGain(), 0.0f);
  EXPECT_GE(last, 0.999e-20f);  // the last non-zero gain was not flushed early
  EXPECT_LT(last, 1.001e-20f);
  EXPECT_EQ(processAllocations, 0u);

  // A loud block reopens at once.
  playLoudNote(gate, 1);
  EXPECT_GT(gate.getGain(), 0.99f);
}

TEST(NoiseGate, LowestThresholdStaysOpenAboveOneTenBillionth) {
  rack::NoiseGate gate;
  gate.setFormat(1, 44100);
  gate.setThresholdDb(-200.0f);
  playLoudNote(gate, 4);
  for (int b = 0; b < 44100 / kBlock; ++b)
    ASSERT_NEAR(runBlock(gate, 1.5e-10f).back(), 1.0f, 1e-4f) << "block " << b;
  // Digital silence still closes it after the hold.
  std::vector<float> silence(kBlock, 0.0f);
  for (int b = 0; b < 70; ++b)
    process(gate, silence.data());
  EXPECT_LT(gate.getGain(), 0.99f);
}

TEST(NoiseGate, AfterResetALoudNoteRampsUpWithTheAttackTime) {
  rack::NoiseGate gate;
  gate.setFormat(1, 44100);
  playLoudNote(gate, 4);
  gate.reset();
  EXPECT_EQ(gate.getGain(), 0.0f);

  // 1 ms of attack brings the gain within 40 dB of full: 1 - gain falls to 0.01 in 44.1 samples.
  const std::vector<float> gains = runBlock(gate, 0.5f);
  EXPECT_NEAR(gains[0], 1.0f - std::pow(0.01f, 1.0f / 44.1f), 1e-5f);
  int reached = 0;
  while (gains[reached] < 0.99f)
    ++reached;
  EXPECT_EQ(reached, 44);  // after 45 samples
  for (int i = 1; i < kBlock; ++i)
    EXPECT_GT(gains[i], gains[i - 1] - 1e-7f);
}

TEST(NoiseGate, FormatRestoresTheBuiltInSettingsAtTheNewRate) {
  rack::NoiseGate gate;
  gate.setThresholdDb(-200.0f);
  gate.setHold(1.0f);
  gate.setRelease(5.0f);
  gate.setFormat(1, 48000);  // back to -50 dB and 0.1 s hold (4800 samples)
  playLoudNote(gate, 4);
  for (int b = 1; b <= 74; ++b)
    ASSERT_NEAR(runBlock(gate, kQuiet).back(), 1.0f, 1e-4f) << "quiet block " << b;
  const float open = gate.getGain();
  const std::vector<float> gains = runBlock(gate, kQuiet);  // 4800 samples: closing
  EXPECT_NEAR(20.0 * std::log10(gains.back() / open), -40.0 * kBlock / (0.2 * 48000), 0.01);

  rack::NoiseGate fresh;  // a new gate works at 44100 Hz with the same settings
  playLoudNote(fresh, 1);
  EXPECT_GT(fresh.getGain(), 0.99f);
}

}  // namespace
