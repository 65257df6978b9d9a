#include "dsp/distorsion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "support/effect_probe.h"

namespace {

using cd = std::complex<double>;
constexpr int kRate = 44100;
constexpr int kBlock = 64;
constexpr uint8_t kGain = 19, kShape = 20;

std::unique_ptr<dsp::TDistorsion> makeDistorsion(uint8_t gain, uint8_t shape) {
  auto fx = std::make_unique<dsp::TDistorsion>(nullptr, 0);
  fx->setFormat(1, kRate);
  testsupport::settleWith(*fx, {{kGain, gain}, {kShape, shape}});
  return fx;
}

// A band-pass of unity mid-band gain with corners lo and hi (rad/s), at the analog frequency
// the bilinear transform maps onto `hz`.
double bandpass(double lo, double hi, double hz) {
  const cd s(0.0, 2.0 * kRate * std::tan(std::numbers::pi * hz / kRate));
  return std::abs(hi * s / ((s + lo) * (s + hi)));
}

TEST(TDistorsion, GainSetsDriveAndTheBandStaysUnder3500Hz) {
  // Shape 5 clips nothing, so the chain is two band-passes (the pre-filter at its bright
  // 500 Hz - 20 kHz setting): the drive is the measured gain over the two unity-gain shapes,
  // and the post-filter's upper corner shows in the top octaves.
  struct Case {
    uint8_t gain;
    double drive;
  };
  for (const Case c : {Case{0, 1.995}, Case{127, 304.0}}) {
    auto fx = makeDistorsion(c.gain, 5);
    const std::vector<float> h = testsupport::impulseResponse(*fx, 16384);
    const double g = c.gain / 128.0;
    const double lowCorner = 376.99 * std::pow(2.0, g);
    for (double hz : {300.0, 1000.0, 2000.0, 3439.0, 6000.0, 10000.0}) {
      // At 44.1 kHz the upper corner is 22050 rad/s whatever the Gain.
      const double shape = bandpass(3141.59, 125663.71, hz) * bandpass(lowCorner, 22050.0, hz);
      EXPECT_NEAR(std::abs(testsupport::dtft(h, hz)) / shape, c.drive, 0.003 * c.drive)
          << "Gain " << int(c.gain) << " at " << hz << " Hz";
    }
  }
}

// The clipper's output over a loud 1.5 kHz sine, chunk by chunk.
std::vector<float> shapedSine(uint8_t shape) {
  auto fx = makeDistorsion(0, shape);  // drive 2: the pre-filter peaks near +-2
  std::vector<float> block(kBlock), shaped;
  for (int b = 0, n = 0; b < 400; ++b) {
    for (float& x : block)
      x = static_cast<float>(std::sin(2.0 * std::numbers::pi * 1500.0 * n++ / kRate));
    fx->process(block.data(), block.data(), kBlock);
    for (float y : block)
      EXPECT_TRUE(std::isfinite(y));
    if (b >= 100) {
      const auto s = fx->shaped();
      EXPECT_EQ(s.size(), static_cast<size_t>(kBlock));
      shaped.insert(shaped.end(), s.begin(), s.end());
    }
  }
  return shaped;
}

double fractionAtOrBelow(const std::vector<float>& v, float level) {
  return double(std::count_if(v.begin(), v.end(), [level](float x) { return x <= level; })) /
         double(v.size());
}

TEST(TDistorsion, ShapesCutTheSignalBeforeThePostFilter) {
  {
    // Shape 1: the negative half-wave is gone and peaks stop at 1.2.
    const auto s = shapedSine(1);
    EXPECT_EQ(*std::min_element(s.begin(), s.end()), 0.0f);
    EXPECT_EQ(*std::max_element(s.begin(), s.end()), 1.2f);
    EXPECT_NEAR(fractionAtOrBelow(s, 0.0f), 0.5, 0.02);
  }
  {
    // Shape 2: both half-waves come out positive, limited to 1.0.
    const auto s = shapedSine(2);
    EXPECT_GE(*std::min_element(s.begin(), s.end()), 0.0f);
    EXPECT_EQ(*std::max_element(s.begin(), s.end()), 1.0f);
    EXPECT_LT(fractionAtOrBelow(s, 0.1f), 0.1);
  }
  {
    // Shape 0: symmetric at +-0.8.
    const auto s = shapedSine(0);
    EXPECT_EQ(*std::min_element(s.begin(), s.end()), -0.8f);
    EXPECT_EQ(*std::max_element(s.begin(), s.end()), 0.8f);
  }
  for (uint8_t shape : {3, 4}) {
    // Soft knees to a ceiling of 0.6 and a floor of -1.0.
    const auto s = shapedSine(shape);
    EXPECT_EQ(*std::max_element(s.begin(), s.end()), 0.6f) << int(shape);
    EXPECT_EQ(*std::min_element(s.begin(), s.end()), -1.0f) << int(shape);
  }
  {
    // Above 4 nothing clips.
    const auto s = shapedSine(64);
    EXPECT_GT(*std::max_element(s.begin(), s.end()), 1.8f);
    EXPECT_LT(*std::min_element(s.begin(), s.end()), -1.8f);
  }
}

}  // namespace
