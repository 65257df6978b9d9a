#include "rack/spring_reverb.h"

#include "rack_signals.h"

namespace {

using racktest::kRate;

int firstNonZero(const std::vector<float>& v) {
  for (int i = 0; i < int(v.size()); ++i)
    if (v[i] != 0.0f) return i;
  return -1;
}

// Echoes at multiples of the comb delays; each comb loses 60 dB per 2.6 s, pass by pass.
TEST(SpringReverb, EchoesDecayResetExactZerosAndFormat) {
  const int n = 6000;
  rack::SpringReverb reverb, blockwise;  // usable at 44100 Hz without setFormat
  blockwise.setFormat(1, kRate);
  const std::vector<float> y = racktest::run(reverb, racktest::impulse(n), n);
  EXPECT_EQ(racktest::run(blockwise, racktest::impulse(n)), y);
  ASSERT_EQ(firstNonZero(y), 1309);

  // Before the second arrival the output is the filtered impulse alone: peel copies of that shape
  // off at the multiples of the delays, in time order; they must explain the whole output.
  const std::vector<float> shape(y.begin() + 1309, y.begin() + 1455);
  const int delays[4] = {1309, 1455, 1812, 1927};
  std::map<int, double> amplitude;  // arrival time -> echo amplitude
  for (int d : delays)
    for (int t = d; t < n; t += d)
      amplitude[t] = 0.0;
  std::vector<double> residual(y.begin(), y.end());
  for (auto& [t, a] : amplitude) {
    a = residual[t] / shape[0];
    for (int j = 0; j < int(shape.size()) && t + j < n; ++j)
      residual[t + j] -= a * shape[j];
  }
  for (double r : residual)
    ASSERT_LT(std::fabs(r), 0.5e-4);
  for (int d : delays) {
    EXPECT_NEAR(amplitude[d], 1.0, 1e-3) << "first echo of the comb of " << d;
    const double lossDb = -20.0 * std::log10(amplitude[2 * d] / amplitude[d]);
    EXPECT_NEAR(lossDb * kRate / d, 60.0 / 2.6, 0.05) << "comb of " << d;
  }

  const std::vector<float> noise = testsupport::whiteNoise(kRate, 0.5f);
  racktest::run(reverb, noise);
  reverb.reset();
  EXPECT_EQ(firstNonZero(racktest::run(reverb, std::vector<float>(400 * 128))), -1);

  // Without a reset the tail decays until the feedback flush leaves exact zeros.
  std::vector<float> out(noise.size()), block(128);
  const std::vector<float> silence(128, 0.0f);
  reverb.process(out.data(), noise.data(), int(noise.size()));
  for (int i = 0; i < 20 * kRate / 128; ++i)
    reverb.process(block.data(), silence.data(), 128);
  EXPECT_EQ(firstNonZero(block), -1);

  reverb.setFormat(1, 48000);
  reverb.setFormat(1, 0);  // ignored
  reverb.reset();
  EXPECT_EQ(firstNonZero(racktest::run(reverb, racktest::impulse(3000))), 1425);
}

}  // namespace
