#include "dsp/resonant_cutoff.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "dsp/effect_catalogue.h"
#include "support/effect_probe.h"

namespace {

constexpr int kRate = 44100;
constexpr int kBlock = 64;
constexpr double kPi = std::numbers::pi;
constexpr double kK = 2.0 * kRate;
constexpr uint8_t kFrequency = 21, kResonance = 22, kDepth = 23, kSpeed = 24, kMode = 25;

std::unique_ptr<dsp::TResonantCutoff> makeFilter(
    std::initializer_list<std::pair<int, int>> settings) {
  auto fx = std::make_unique<dsp::TResonantCutoff>(nullptr, 0);
  fx->setFormat(1, kRate);
  testsupport::settleWith(*fx, settings);
  return fx;
}

using testsupport::impulseResponse;

// |H| at the digital frequency onto which the bilinear transform maps the analog `hz`, so
// that slopes read in analog octaves.
double gainAtAnalog(const std::vector<float>& h, double hz) {
  return std::abs(testsupport::dtft(h, std::atan(kPi * hz / kRate) * kRate / kPi));
}

double baseCutoff(uint8_t frequency) {
  return 40.0 * std::pow(2.0, 9.0 * frequency / 128.0);
}

TEST(TResonantCutoff, ModeSelectsPolesAndResponse) {
  // Frequency 64 puts the cutoff at 0.9769 x 905 Hz; Resonance 0 keeps the corners gentle.
  const double fc = 0.9769 * baseCutoff(64);
  struct Case {
    uint8_t mode;
    double below, above;  // dB per octave between fc/16..fc/8 and 8 fc..16 fc
    double passband;      // gain at fc/16, fc or 16 fc, whichever passes
  };
  const Case cases[] = {
      {1, 0.0, -6.0, 1.0},    // one-pole low-pass
      {9, 0.0, -6.0, 1.0},    // one pole has no band-pass: the same low-pass
      {4, 0.0, -24.0, 1.0},   // four-pole low-pass
      {8, 6.0, -6.0, 1.0},    // two-pole band-pass, unity at the cutoff
      {16, 12.0, 0.0, 1.0},   // two-pole high-pass
      {2, 0.0, -12.0, 1.0},   // two-pole low-pass (the default)
      {24, 0.0, -12.0, 1.0},  // an unknown response falls back to the low-pass
  };
  for (const Case& c : cases) {
    auto fx = makeFilter({{kFrequency, 64}, {kResonance, 0}, {kMode, c.mode}});
    const std::vector<float> h = impulseResponse(*fx, 16384);
    auto slope = [&](double lo) {
      return 20.0 * std::log10(gainAtAnalog(h, 2.0 * lo) / gainAtAnalog(h, lo));
    };
    EXPECT_NEAR(slope(fc / 16.0), c.below, 0.35) << "Mode " << int(c.mode);
    EXPECT_NEAR(slope(8.0 * fc), c.above, 0.35) << "Mode " << int(c.mode);
    const double pass = c.mode == 8    ? gainAtAnalog(h, fc)
                        : c.mode == 16 ? gainAtAnalog(h, 16.0 * fc)
                                       : gainAtAnalog(h, fc / 16.0);
    EXPECT_NEAR(pass, c.passband, 0.02) << "Mode " << int(c.mode);
  }
}

// The one-pole low-pass's corner in Hz (with 6.283 for 2 pi), read from the ratio of two
// samples of its impulse response, which is its pole: y[n + 1] = p y[n] for n >= 1.
double onePoleCorner(const float* h) {
  const double p = double(h[2]) / double(h[1]);
  return kK * (1.0 - p) / (1.0 + p) / 6.283;
}

TEST(TResonantCutoff, DepthSweepsTheCutoffDownFromJustUnderTheBase) {
  // Depth 0: the cutoff sits at 0.9769 x base, however long and fast the oscillator runs.
  for (uint8_t frequency : {16, 64, 100}) {
    auto fx = makeFilter({{kFrequency, frequency}, {kSpeed, 127}, {kMode, 1}});
    std::vector<float> x(kBlock, 0.0f), y(kBlock);
    x[0] = 1.0f;
    for (int b = 0; b < 300; ++b) {
      fx->process(y.data(), x.data(), kBlock);
      ASSERT_NEAR(onePoleCorner(y.data()) / baseCutoff(frequency), 0.9769, 0.0005)
          << "Frequency " << int(frequency) << " block " << b;
    }
  }
  // Full Depth at full Speed (4 Hz at 120 BPM in chunks of 128 frames): the triangle pulls the
  // cutoff down by up to four octaves and back, never above its resting place.
  auto fx = makeFilter({{kFrequency, 100}, {kDepth, 127}, {kSpeed, 127}, {kMode, 1}});
  std::vector<float> x(128, 0.0f), y(128), silence(128, 0.0f);
  x[0] = 1.0f;
  double low = 1e9, high = 0.0;
  for (int b = 0; b < 400; ++b) {
    fx->process(y.data(), x.data(), 128);
    const double ratio = onePoleCorner(y.data()) / baseCutoff(100);
    low = std::min(low, ratio);
    high = std::max(high, ratio);
    fx->process(y.data(), silence.data(), 128);  // lets each response die out
  }
  // Every other tick is measured, so the extremes are seen to within a tenth of an octave.
  EXPECT_LE(high, 0.9772);
  EXPECT_GT(std::log2(high / 0.9769), -0.1);
  EXPECT_NEAR(std::log2(low / 0.9769), -4.0 * 127.0 / 128.0, 0.1);
}

TEST(TResonantCutoff, ResonanceStopsAtQ30) {
  // A two-pole low-pass peaks at about q; full Resonance asks for 46.4 and gets 30. Each
  // filter was reset after its settings arrived: the reset keeps the resonance.
  const double fc = 0.9769 * baseCutoff(64);
  struct Case {
    uint8_t resonance;
    double q;
  };
  for (const Case c : {Case{100, 1.2 * std::pow(10.0, 1.6 * 100.0 / 128.0)}, Case{127, 30.0}}) {
    auto fx = makeFilter({{kFrequency, 64}, {kResonance, c.resonance}, {kMode, 2}});
    const std::vector<float> h = impulseResponse(*fx, 16384);
    double peak = 0.0;
    for (double hz = fc * 0.97; hz < fc * 1.01; hz += 0.05)
      peak = std::max(peak, gainAtAnalog(h, hz));
    const double expected = c.q / std::sqrt(1.0 - 1.0 / (4.0 * c.q * c.q));
    EXPECT_NEAR(peak, expected, 0.01 * expected) << "Resonance " << int(c.resonance);
  }
}

TEST(TResonantCutoff, EnvelopeFlagOpensTheFilterWithTheInputLevel) {
  // Depth 32 is one octave per unit of envelope; a full-scale click every chunk drives the
  // envelope towards 3, so the cutoff climbs towards eight times the base, then falls back in
  // silence.
  auto fx = dsp::createEffect(1203, dsp::TResonantCutoff::kFlagFollowEnvelope);
  ASSERT_NE(fx, nullptr);
  fx->setFormat(1, kRate);
  testsupport::settleWith(*fx, {{kFrequency, 40}, {kDepth, 32}, {kMode, 1}});
  std::vector<float> x(128, 0.0f), y(128), silence(128, 0.0f);
  x[0] = 1.0f;
  const double base = baseCutoff(40);
  double previous = 0.0;
  for (int b = 0; b < 600; ++b) {
    fx->process(y.data(), x.data(), 128);
    const double corner = onePoleCorner(y.data());
    EXPECT_GE(corner, previous * 0.9999) << b;
    previous = corner;
  }
  EXPECT_GT(previous, 0.9769 * 7.5 * base);
  EXPECT_LT(previous, 0.9769 * 8.0 * base);
  for (int b = 0; b < 2000; ++b)
    fx->process(y.data(), silence.data(), 128);
  fx->process(y.data(), x.data(), 128);
  const double settled = onePoleCorner(y.data()) / base;
  EXPECT_GT(settled, 0.9769);
  EXPECT_LT(settled, 1.0);
}

}  // namespace
