#include <functional>

#include "dsp/bilin_filter.h"
#include "dsp/biquad_filter.h"
#include "dsp_test_helpers.h"

namespace {

using cd = std::complex<double>;
using dsptest::kRate;
using dsptest::kTwoPi;

// The analog prototype at the frequency the bilinear transform (no prewarping) maps there.
template <class Filter>
void expectMatchesPrototype(const char* what, const Filter& f,
                            const std::function<cd(cd)>& prototype) {
  for (double hz : {20.0, 110.0, 440.0, 1000.0, 3150.0, 8000.0, 16000.0, 21000.0}) {
    const cd analog = prototype(cd(0.0, 2.0 * kRate * std::tan(std::numbers::pi * hz / kRate)));
    const cd digital = f.response(hz);
    const double tolerance = 2e-3 * std::max(1.0, std::abs(analog));
    EXPECT_NEAR(digital.real(), analog.real(), tolerance) << what << " at " << hz << " Hz";
    EXPECT_NEAR(digital.imag(), analog.imag(), tolerance) << what << " at " << hz << " Hz";
  }
}

// The gain of a sine run through the filter, to hold the difference equation to response().
template <class Filter>
double measuredGain(Filter& f, double hz) {
  f.reset();
  const std::vector<float> x = dsptest::sine(kRate / 2, hz, 1.0f);
  double peak = 0.0;
  for (size_t i = 0; i < x.size(); ++i) {
    float y = 0.0f;
    f.processFrame(&y, &x[i]);
    if (i > x.size() / 2) peak = std::max(peak, std::fabs(double(y)));
  }
  return peak;
}

TEST(BiquadFilter, DesignsMatchTheirAnalogPrototypes) {
  dsp::BiquadFilter f;
  f.setFormat(1, kRate);
  const double w = kTwoPi * 1200.0, d = 0.5, a = 0.8;
  const float wf = float(w), df = float(d);
  f.setLowpass(wf, df);
  expectMatchesPrototype("lowpass", f, [&](cd s) { return w * w / (s * s + d * w * s + w * w); });
  f.setHighpass(wf, df);
  expectMatchesPrototype("highpass", f, [&](cd s) { return s * s / (s * s + d * w * s + w * w); });
  f.setBandpass(wf, df);
  expectMatchesPrototype("bandpass", f,
                         [&](cd s) { return d * w * s / (s * s + d * w * s + w * w); });
  // A peaking section as the equalisers build it.
  f.setAnalog(1.0f, float(2 * a * w), float(w * w), 1.0f, float(a * w), float(w * w));
  expectMatchesPrototype("analog", f, [&](cd s) {
    return (s * s + 2 * a * w * s + w * w) / (s * s + a * w * s + w * w);
  });
  const double z1 = 300.0, z2 = 9000.0, p1 = 1500.0, p2 = 40000.0, g = p1 * p2 / (z1 * z2);
  f.setPoleZero(float(z1), float(z2), float(p1), float(p2));
  expectMatchesPrototype("pole-zero", f,
                         [&](cd s) { return g * (s + z1) * (s + z2) / ((s + p1) * (s + p2)); });
  EXPECT_NEAR(std::abs(f.response(0.0)), 1.0, 1e-4) << "pole-zero is unity at DC";

  // A narrow band-pass has unity gain at its mapped centre, computed and run alike.
  f.setBandpass(float(kTwoPi * 5000.0), 0.1f);
  EXPECT_NEAR(measuredGain(f, dsptest::mappedHz(kTwoPi * 5000.0)), 1.0, 5e-3);
}

TEST(BilinFilter, DesignsMatchTheirAnalogPrototypes) {
  dsp::BilinFilter f;
  f.setFormat(1, kRate);
  const double w = kTwoPi * 700.0;
  f.setLowpass(float(w));
  expectMatchesPrototype("lowpass", f, [&](cd s) { return w / (s + w); });
  EXPECT_NEAR(measuredGain(f, 700.0 * 0.99), std::abs(f.response(700.0 * 0.99)), 5e-3);
  f.setHighpass(float(w));
  expectMatchesPrototype("highpass", f, [&](cd s) { return s / (s + w); });
  f.setAnalog(1.0f, float(4 * w), 1.0f, float(w));  // a shelf
  expectMatchesPrototype("analog", f, [&](cd s) { return (s + 4 * w) / (s + w); });
}

// Blocks run several samples per step, the rest one by one: the cut changes rounding only.
template <class Filter>
void expectBlockLengthIndependent(const std::function<void(Filter&)>& design, float tolerance) {
  for (int channels : {1, 2}) {
    const std::vector<float> signal = testsupport::whiteNoise(5000 * channels, 1.0f, channels);
    const auto run = [&](int length, bool inPlace) {
      Filter f;
      f.setFormat(channels, kRate);
      f.reset();
      design(f);
      std::vector<float> out = signal;
      const float* in = inPlace ? out.data() : signal.data();
      for (int pos = 0, n = 0; pos < 5000; pos += n) {
        n = std::min(length, 5000 - pos);
        f.processBlock(out.data() + pos * channels, in + pos * channels, n);
      }
      return out;
    };
    const std::vector<float> whole = run(5000, false);
    for (int length : {1, 7, 64, 301})
      EXPECT_LE(dsptest::maxDifference(whole, run(length, false)), tolerance)
          << "blocks of " << length << ", " << channels << " channel(s)";
    EXPECT_EQ(whole, run(5000, true)) << "in place, " << channels << " channel(s)";
  }
}

TEST(Filters, OutputDoesNotDependOnHowTheSignalIsCutIntoBlocks) {
  expectBlockLengthIndependent<dsp::BiquadFilter>(
      [](dsp::BiquadFilter& f) { f.setLowpass(5000.0f, 0.3f); }, 1e-5f);
  expectBlockLengthIndependent<dsp::BilinFilter>([](dsp::BilinFilter& f) { f.setHighpass(900.0f); },
                                                 1e-5f);
  // Poles close to 1, where rounding matters most: 20 Hz with Q 10, and a 5 Hz one-pole.
  expectBlockLengthIndependent<dsp::BiquadFilter>(
      [](dsp::BiquadFilter& f) { f.setLowpass(125.7f, 0.1f); }, 1e-3f);
  expectBlockLengthIndependent<dsp::BilinFilter>([](dsp::BilinFilter& f) { f.setLowpass(31.4f); },
                                                 1e-5f);
}

// A cascade gives what the filters give in turn, for any block length, in place or not.
TEST(Filters, CascadeMatchesTheFiltersInTurn) {
  const auto design = [](dsp::BiquadFilter(&f)[4]) {
    for (dsp::BiquadFilter& g : f) {
      g.setFormat(1, kRate);
      g.reset();
    }
    f[0].setLowpass(12000.0f, 0.7f);
    f[1].setHighpass(600.0f, 1.2f);
    f[2].setBandpass(9000.0f, 0.4f);
    f[3].setAnalog(1.0f, 30000.0f, 4e8f, 1.0f, 9000.0f, 4e8f);
  };
  unsigned seed = 11;
  for (int count = 0; count <= 4; ++count) {
    for (bool inPlace : {false, true}) {
      dsp::BiquadFilter serial[4], cascade[4];
      design(serial);
      design(cascade);
      dsp::BiquadFilter* chain[4] = {&cascade[0], &cascade[1], &cascade[2], &cascade[3]};
      float worst = 0.0f;
      for (int frames : {64, 3, 0, 1, 61, 4, 7, 64, 64}) {
        const std::vector<float> in = testsupport::whiteNoise(frames, 1.0f, ++seed);
        std::vector<float> expected = in, got = inPlace ? in : std::vector<float>(frames);
        for (int k = 0; k < count; ++k)
          serial[k].processBlock(expected.data(), expected.data(), frames);
        dsp::BiquadFilter::processCascade(chain, count, got.data(),
                                          inPlace ? got.data() : in.data(), frames);
        worst = std::max(worst, dsptest::maxDifference(expected, got));
      }
      // The 95 Hz high-pass loses about 1e-5 to rounding; a misrouted sample costs far more.
      EXPECT_LE(worst, 1e-4f) << count << " filters" << (inPlace ? ", in place" : "");
    }
  }
}

// A redesign acts from the next block; the channels never mix; reset clears both.
TEST(Filters, RedesignResetAndChannelsApart) {
  dsp::BiquadFilter f;
  f.setFormat(2, kRate);
  f.reset();
  f.setLowpass(3000.0f, 1.0f);
  std::vector<float> buf(2 * 64, 0.0f);
  buf[1] = 1.0f;  // right only
  f.processBlock(buf.data(), buf.data(), 64);
  for (int i = 0; i < 64; ++i)
    EXPECT_EQ(buf[2 * i], 0.0f);
  EXPECT_NE(buf[3], 0.0f);
  f.reset();
  std::vector<float> silence(2 * 16, 0.0f);
  f.processBlock(silence.data(), silence.data(), 16);
  EXPECT_EQ(silence, std::vector<float>(2 * 16, 0.0f));
  std::fill(buf.begin(), buf.end(), 1.0f);
  f.processBlock(buf.data(), buf.data(), 64);
  f.setCoefficients(0.5f, 0.0f, 0.0f, 0.0f, 0.0f);
  std::fill(buf.begin(), buf.end(), 1.0f);
  f.processBlock(buf.data(), buf.data(), 64);
  EXPECT_EQ(buf, std::vector<float>(2 * 64, 0.5f));
}

}  // namespace
