#include "rack/noise_gate.h"

#include "rack_signals.h"

namespace {

constexpr int kBlock = 64;
constexpr float kQuiet = 1e-4f;  // below the default -50 dB threshold (about 3.2e-3)

// The gain the gate applies to each sample of one block of a constant level.
std::vector<float> gainsFor(rack::NoiseGate& gate, float level) {
  std::vector<float> block(kBlock, level);
  gate.process(block.data(), kBlock);
  for (float& x : block)
    x /= level;
  return block;
}

TEST(NoiseGate, HoldReleaseToExactZeroAndAttack) {
  rack::NoiseGate gate;
  gate.setFormat(1, 48000);
  std::vector<float> note = racktest::sine(220.0, 20 * kBlock);
  gate.process(note.data(), int(note.size()));
  EXPECT_NEAR(gate.getGain(), 1.0f, 1e-6f);
  // 74 quiet blocks are 4736 samples, inside the 4800-sample hold; the 75th, ending on it, closes.
  for (int b = 1; b <= 74; ++b)
    ASSERT_NEAR(gainsFor(gate, kQuiet).back(), 1.0f, 1e-4f) << "quiet block " << b;
  const float open = gate.getGain();
  std::vector<float> gains = gainsFor(gate, kQuiet);
  EXPECT_LT(gains[0], open);
  for (int i = 1; i < kBlock; ++i)
    ASSERT_LT(gains[i], gains[i - 1]);
  for (int b = 0; b < 137; ++b)  // 8832 samples closing in all: 40 dB per 0.2 s
    gains = gainsFor(gate, kQuiet);
  EXPECT_NEAR(20.0 * std::log10(gains.back() / open), -40.0 * 8832 / 9600, 0.1);

  // Released long enough, the gain ends at exactly 0 rather than in denormals.
  for (int b = 0; b < 44100 * 3 / kBlock; ++b)
    gains = gainsFor(gate, kQuiet);
  EXPECT_EQ(gate.getGain(), 0.0f);
  EXPECT_EQ(gains.back(), 0.0f);

  // After a reset the 1 ms attack brings the gain within 40 dB of full in 44.1 samples.
  gate.setFormat(1, 44100);
  gate.reset();
  gains = gainsFor(gate, 0.5f);
  EXPECT_LT(gains[43], 0.99f);
  EXPECT_GE(gains[44], 0.99f);
}

}  // namespace
