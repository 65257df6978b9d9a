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

TEST(Wahwah, PedalPositionAndLoudPlayingSetCentreAndGain) {
  for (int wah : {0, 64, 127}) {
    auto fx = makeEffect<dsp::TWahwah>({{110, wah}, {113, 0}});
    const double centre = mappedHz(1884.9 * std::pow(2.0, 2.3 * wah / 128.0));
    const double gain = 6.0 * wah / 128.0 + 8.5;
    // The response at the mapped centre is the position's gain, computed and run alike.
    EXPECT_NEAR(std::abs(testsupport::dtft(impulseResponse(*fx, 8192), centre)), gain, 0.02 * gain)
        << "Wah " << wah;
    EXPECT_NEAR(std::abs(fx->response(centre)), gain, 0.01 * gain) << "Wah " << wah;
  }

  // Loud playing with Auto opens the wah to the top.
  auto fx = makeEffect<dsp::TWahwah>({{110, 0}, {113, 127}});
  testsupport::runInBlocks(*fx, dsptest::sine(50 * 64, 2000, 1.0f), 1);
  EXPECT_EQ(fx->position(), 1.0f);
  EXPECT_NEAR(std::abs(fx->response(mappedHz(1884.9 * std::pow(2.0, 2.3)))), 14.5, 0.15);

  // Reset forgets the envelope: the next block sits at the pedal position alone.
  std::vector<float> silence(64, 0.0f), out(64);
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
  // Shape 1 drops the negative half-wave, 0 is symmetric, 3 has soft knees to a ceiling and floor.
  for (auto [shape, lowest, highest] :
       {std::tuple{1, 0.0f, 1.2f}, {0, -0.8f, 0.8f}, {3, -1.0f, 0.6f}}) {
    SCOPED_TRACE("Shape " + std::to_string(shape));
    auto fx = makeEffect<dsp::TDistorsion>({{19, 0}, {20, shape}});  // drive 2
    std::vector<float> block, shaped;
    const std::vector<float> x = dsptest::sine(400 * 64, 1500.0, 1.0f);
    for (int b = 0; b < 400; ++b) {
      block.assign(x.begin() + 64 * b, x.begin() + 64 * (b + 1));
      fx->process(block.data(), block.data(), 64);
      if (b >= 100) shaped.insert(shaped.end(), fx->shaped().begin(), fx->shaped().end());
    }
    const auto [lo, hi] = std::minmax_element(shaped.begin(), shaped.end());
    EXPECT_EQ(*lo, lowest);
    EXPECT_EQ(*hi, highest);
  }
}

constexpr int kFrequency = 21, kResonance = 22, kDepth = 23, kMode = 25;

// |H| where the bilinear transform maps the analog `hz`, so slopes read in analog octaves.
double gainAtAnalog(const std::vector<float>& h, double hz) {
  return std::abs(testsupport::dtft(h, mappedHz(dsptest::kTwoPi * hz)));
}

double baseCutoff(int frequency) {
  return 40.0 * std::pow(2.0, 9.0 * frequency / 128.0);
}

// Runs a 128-frame block opening with a click; returns the one-pole low-pass's corner in Hz
// (6.283 for 2 pi) from the pole the click shows: y[n + 1] = p y[n].
double clickCorner(dsp::TAutomatedEffect& fx) {
  std::vector<float> x(128, 0.0f), y(128);
  x[0] = 1.0f;
  fx.process(y.data(), x.data(), 128);
  const double p = double(y[2]) / double(y[1]);
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
  const double base = 0.9769 * baseCutoff(40);
  double previous = 0.0;
  for (int b = 0; b < 600; ++b) {
    const double corner = clickCorner(*fx);
    ASSERT_GE(corner, previous * 0.9999) << b;
    previous = corner;
  }
  EXPECT_TRUE(previous > 7.5 * base && previous < 8.0 * base) << previous / base;
  std::vector<float> silence(128, 0.0f);
  for (int b = 0; b < 2000; ++b)
    fx->process(silence.data(), silence.data(), 128);
  const double settled = clickCorner(*fx) / base;
  EXPECT_TRUE(settled > 1.0 && settled < 1.0 / 0.9769) << settled;
}

}  // namespace
