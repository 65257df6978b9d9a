#include "dsp/distorsion.h"
#include "dsp/effect_catalogue.h"
#include "dsp/resonant_cutoff.h"
#include "dsp/wahwah.h"
#include "dsp_test_helpers.h"

namespace {

using dsptest::kRate;
using dsptest::makeEffect;
using dsptest::mappedHz;
using testsupport::impulseResponse;

// The peak gain of a quiet steady sine after a few hundred 64-frame blocks through fx.
double sineGain(dsp::TAutomatedEffect& fx, double hz) {
  const std::vector<float> y = testsupport::runInBlocks(fx, dsptest::sine(400 * 64, hz, 0.001f), 1);
  return *std::max_element(y.begin() + 301 * 64, y.end()) / 0.001;
}

TEST(Wahwah, PedalPositionAndLoudPlayingSetCentreAndGain) {
  EXPECT_NEAR(mappedHz(1884.9), 299.8, 0.5);  // the heel
  for (int wah : {0, 32, 64, 127}) {
    auto fx = makeEffect<dsp::TWahwah>({{110, wah}, {113, 0}});
    const double centre = mappedHz(1884.9 * std::pow(2.0, 2.3 * wah / 128.0));
    const double gain = 6.0 * wah / 128.0 + 8.5;
    // The response peaks at the mapped centre with the position's gain, computed and run alike.
    EXPECT_NEAR(sineGain(*fx, centre), gain, 0.02 * gain) << "Wah " << wah;
    EXPECT_NEAR(std::abs(fx->response(centre)), gain, 0.01 * gain) << "Wah " << wah;
    EXPECT_LT(std::abs(fx->response(centre * 0.97)), std::abs(fx->response(centre)));
    EXPECT_LT(std::abs(fx->response(centre * 1.03)), std::abs(fx->response(centre)));
  }

  // Loud playing with Auto opens the wah to the top.
  auto fx = makeEffect<dsp::TWahwah>({{110, 0}, {113, 127}});
  testsupport::runInBlocks(*fx, dsptest::sine(50 * 64, 2000, 1.0f), 1);
  EXPECT_EQ(fx->position(), 1.0f);
  EXPECT_NEAR(std::abs(fx->response(mappedHz(1884.9 * std::pow(2.0, 2.3)))), 14.5, 0.15);

  // In silence the envelope dies by 0.99 per call, once the detector's own tail is gone.
  std::vector<float> silence(64, 0.0f), out(64);
  for (int b = 0; b < 25; ++b) {
    const float before = fx->envelope();
    fx->process(out.data(), silence.data(), 64);
    if (b >= 5) {
      EXPECT_NEAR(fx->envelope() / before, 0.99f, 1e-4f);
    }
  }
  // Reset forgets the envelope: the next block sits at the pedal position alone.
  fx->reset();
  fx->process(out.data(), silence.data(), 64);
  EXPECT_EQ(fx->envelope(), 0.0f);
  EXPECT_EQ(fx->position(), 0.0f);
}

// A unity band-pass with corners lo and hi (rad/s), at the analog frequency mapped onto `hz`.
double bandpass(double lo, double hi, double hz) {
  const std::complex<double> s(0.0, 2.0 * kRate * std::tan(std::numbers::pi * hz / kRate));
  return std::abs(hi * s / ((s + lo) * (s + hi)));
}

TEST(TDistorsion, GainSetsDriveAndTheBandStaysUnder3500Hz) {
  // Shape 5 clips nothing, so the chain is two band-passes (the pre-filter at its bright
  // 500 Hz - 20 kHz setting): the drive is the measured gain over the two unity-gain shapes,
  // and the post-filter's upper corner (22050 rad/s at 44.1 kHz) shows in the top octaves.
  for (auto [gain, drive] : {std::pair{0, 1.995}, {127, 304.0}}) {
    auto fx = makeEffect<dsp::TDistorsion>({{19, gain}, {20, 5}});
    const std::vector<float> h = impulseResponse(*fx, 16384);
    const double lowCorner = 376.99 * std::pow(2.0, gain / 128.0);
    for (double hz : {300.0, 1000.0, 2000.0, 3439.0, 6000.0, 10000.0}) {
      const double shape = bandpass(3141.59, 125663.71, hz) * bandpass(lowCorner, 22050.0, hz);
      EXPECT_NEAR(std::abs(testsupport::dtft(h, hz)) / shape, drive, 0.003 * drive)
          << "Gain " << gain << " at " << hz << " Hz";
    }
  }
}

TEST(TDistorsion, ShapesCutTheSignalBeforeThePostFilter) {
  struct Case {
    int shape;
    float lowest, highest;
  };
  const Case cases[] = {
      {1, 0.0f, 1.2f},                      // the negative half-wave is gone
      {2, 0.0f, 1.0f},                      // both half-waves come out positive
      {0, -0.8f, 0.8f},                     // symmetric
      {3, -1.0f, 0.6f},                     // soft knees to a ceiling and a floor
      {4, -1.0f, 0.6f}, {64, -2.0f, 2.0f},  // nothing clips: the pre-filter peaks near +-2
  };
  for (const Case& c : cases) {
    auto fx = makeEffect<dsp::TDistorsion>({{19, 0}, {20, c.shape}});  // drive 2
    std::vector<float> block, shaped;
    const std::vector<float> x = dsptest::sine(400 * 64, 1500.0, 1.0f);
    for (int b = 0; b < 400; ++b) {
      block.assign(x.begin() + 64 * b, x.begin() + 64 * (b + 1));
      fx->process(block.data(), block.data(), 64);
      if (b >= 100) shaped.insert(shaped.end(), fx->shaped().begin(), fx->shaped().end());
    }
    const auto [lo, hi] = std::minmax_element(shaped.begin(), shaped.end());
    if (c.shape == 64) {
      EXPECT_TRUE(*lo < -1.8f && *hi > 1.8f) << *lo << " " << *hi;
      continue;
    }
    if (c.shape == 2) {
      EXPECT_GE(*lo, c.lowest);
    } else {
      EXPECT_EQ(*lo, c.lowest) << "Shape " << c.shape;
    }
    EXPECT_EQ(*hi, c.highest) << "Shape " << c.shape;
    const auto shareAtOrBelow = [&](float level) {
      return std::count_if(shaped.begin(), shaped.end(), [=](float v) { return v <= level; }) /
             double(shaped.size());
    };
    if (c.shape == 1) {
      EXPECT_NEAR(shareAtOrBelow(0.0f), 0.5, 0.02);
    }
    if (c.shape == 2) {
      EXPECT_LT(shareAtOrBelow(0.1f), 0.1);
    }
  }
}

constexpr int kFrequency = 21, kResonance = 22, kDepth = 23, kSpeed = 24, kMode = 25;

// |H| where the bilinear transform maps the analog `hz`, so slopes read in analog octaves.
double gainAtAnalog(const std::vector<float>& h, double hz) {
  return std::abs(testsupport::dtft(h, mappedHz(dsptest::kTwoPi * hz)));
}

double baseCutoff(int frequency) {
  return 40.0 * std::pow(2.0, 9.0 * frequency / 128.0);
}

// The one-pole low-pass's corner in Hz (6.283 for 2 pi) from its pole: y[n + 1] = p y[n].
double onePoleCorner(const float* h) {
  const double p = double(h[2]) / double(h[1]);
  return 2.0 * kRate * (1.0 - p) / (1.0 + p) / 6.283;
}

TEST(TResonantCutoff, ModeSelectsPolesAndResponse) {
  // Frequency 64 puts the cutoff at 0.9769 x 905 Hz; Resonance 0 keeps the corners gentle.
  const double fc = 0.9769 * baseCutoff(64);
  struct Case {
    int mode;
    double below, above;  // dB per octave between fc/16..fc/8 and 8 fc..16 fc
    double passAt;        // where the unity passband is checked
  };
  const Case cases[] = {
      {1, 0.0, -6.0, fc / 16},    // one-pole low-pass
      {9, 0.0, -6.0, fc / 16},    // one pole has no band-pass: the same low-pass
      {4, 0.0, -24.0, fc / 16},   // four-pole low-pass
      {8, 6.0, -6.0, fc},         // two-pole band-pass, unity at the cutoff
      {16, 12.0, 0.0, 16 * fc},   // two-pole high-pass
      {2, 0.0, -12.0, fc / 16},   // two-pole low-pass (the default)
      {24, 0.0, -12.0, fc / 16},  // an unknown response falls back to the low-pass
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("Mode " + std::to_string(c.mode));
    auto fx =
        makeEffect<dsp::TResonantCutoff>({{kFrequency, 64}, {kResonance, 0}, {kMode, c.mode}});
    const std::vector<float> h = impulseResponse(*fx, 16384);
    const auto slope = [&](double lo) {
      return dsptest::dB(gainAtAnalog(h, 2.0 * lo) / gainAtAnalog(h, lo));
    };
    EXPECT_NEAR(slope(fc / 16.0), c.below, 0.35);
    EXPECT_NEAR(slope(8.0 * fc), c.above, 0.35);
    EXPECT_NEAR(gainAtAnalog(h, c.passAt), 1.0, 0.02);
  }
}

TEST(TResonantCutoff, DepthSweepsTheCutoffDownFromJustUnderTheBase) {
  // Depth 0 holds the cutoff at 0.9769 x base; full Depth at 4 Hz pulls it down four octaves.
  for (auto [depth, frequency] : {std::pair{0, 16}, {0, 64}, {0, 100}, {127, 100}}) {
    auto fx = makeEffect<dsp::TResonantCutoff>(
        {{kFrequency, frequency}, {kDepth, depth}, {kSpeed, 127}, {kMode, 1}});
    std::vector<float> x(128, 0.0f), y(128), silence(128, 0.0f);
    x[0] = 1.0f;
    double low = 1e9, high = 0.0;
    for (int b = 0; b < 400; ++b) {
      fx->process(y.data(), x.data(), 128);
      const double ratio = onePoleCorner(y.data()) / baseCutoff(frequency) / 0.9769;
      low = std::min(low, ratio);
      high = std::max(high, ratio);
      fx->process(y.data(), silence.data(), 128);  // lets each response die out
    }
    SCOPED_TRACE("Depth " + std::to_string(depth) + " Frequency " + std::to_string(frequency));
    if (depth == 0) {
      EXPECT_TRUE(low > 0.9995 && high < 1.0005) << low << " .. " << high;
    } else {
      // Every other tick is measured, so the extremes are seen to within a tenth of an octave.
      EXPECT_LE(high, 1.0003);
      EXPECT_GT(std::log2(high), -0.1);
      EXPECT_NEAR(std::log2(low), -4.0 * 127.0 / 128.0, 0.1);
    }
  }
}

TEST(TResonantCutoff, ResonanceStopsAtQ30) {
  // A two-pole low-pass peaks at about q; full Resonance asks for 46.4 and gets 30.
  const double fc = 0.9769 * baseCutoff(64);
  for (auto [resonance, q] :
       {std::pair{100, 1.2 * std::pow(10.0, 1.6 * 100.0 / 128.0)}, {127, 30.0}}) {
    auto fx =
        makeEffect<dsp::TResonantCutoff>({{kFrequency, 64}, {kResonance, resonance}, {kMode, 2}});
    const std::vector<float> h = impulseResponse(*fx, 16384);
    double peak = 0.0;
    for (double hz = fc * 0.97; hz < fc * 1.01; hz += 0.05)
      peak = std::max(peak, gainAtAnalog(h, hz));
    const double expected = q / std::sqrt(1.0 - 1.0 / (4.0 * q * q));
    EXPECT_NEAR(peak, expected, 0.01 * expected) << "Resonance " << resonance;
  }
}

TEST(TResonantCutoff, EnvelopeFlagOpensTheFilterWithTheInputLevel) {
  // Depth 32 is an octave per unit of envelope: clicks drive it towards 3, the cutoff to 8x.
  auto fx = dsp::createEffect(1203, dsp::TResonantCutoff::kFlagFollowEnvelope);
  fx->setFormat(1, kRate);
  testsupport::settleWith(*fx, {{kFrequency, 40}, {kDepth, 32}, {kMode, 1}});
  std::vector<float> x(128, 0.0f), y(128), silence(128, 0.0f);
  x[0] = 1.0f;
  const double base = 0.9769 * baseCutoff(40);
  double previous = 0.0;
  for (int b = 0; b < 600; ++b) {
    fx->process(y.data(), x.data(), 128);
    ASSERT_GE(onePoleCorner(y.data()), previous * 0.9999) << b;
    previous = onePoleCorner(y.data());
  }
  EXPECT_TRUE(previous > 7.5 * base && previous < 8.0 * base) << previous / base;
  for (int b = 0; b < 2000; ++b)
    fx->process(y.data(), silence.data(), 128);
  fx->process(y.data(), x.data(), 128);
  const double settled = onePoleCorner(y.data()) / base;
  EXPECT_TRUE(settled > 1.0 && settled < 1.0 / 0.9769) << settled;
}

}  // namespace
