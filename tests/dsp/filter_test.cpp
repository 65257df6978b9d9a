#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

#include "dsp/bilin_filter.h"
#include "dsp/biquad_filter.h"

namespace {

using cd = std::complex<double>;
constexpr int kRate = 44100;
constexpr double kK = 2.0 * kRate;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// The analog frequency that the bilinear transform (no prewarping) maps onto `hz`.
cd mappedS(double hz) {
  return cd(0.0, kK * std::tan(std::numbers::pi * hz / kRate));
}

// The digital response must be the analog prototype evaluated at the mapped frequency, within
// what float coefficients allow.
template <class Filter>
void expectMatchesPrototype(const Filter& f, const std::function<cd(cd)>& prototype,
                            const char* what) {
  for (double hz : {20.0, 110.0, 440.0, 1000.0, 3150.0, 8000.0, 16000.0, 21000.0}) {
    const cd analog = prototype(mappedS(hz));
    const cd digital = f.response(hz);
    const double tolerance = 2e-3 * std::max(1.0, std::abs(analog));
    EXPECT_NEAR(digital.real(), analog.real(), tolerance) << what << " at " << hz << " Hz";
    EXPECT_NEAR(digital.imag(), analog.imag(), tolerance) << what << " at " << hz << " Hz";
  }
}

// The response measured by running a sine through the filter agrees with response(): the
// difference equation and the evaluated transfer function describe the same filter.
template <class Filter>
double measuredGain(Filter& f, double hz) {
  f.reset();
  const int n = kRate / 2;
  double peak = 0.0;
  for (int i = 0; i < n; ++i) {
    const float x = static_cast<float>(std::sin(kTwoPi * hz * i / kRate));
    float y = 0.0f;
    f.processFrame(&y, &x);
    if (i > n / 2) peak = std::max(peak, std::fabs(double(y)));
  }
  return peak;
}

TEST(BiquadFilter, DesignsMatchTheirAnalogPrototypes) {
  dsp::BiquadFilter f;
  f.setFormat(1, kRate);
  f.reset();

  const double w = kTwoPi * 1200.0, d = 0.5;
  f.setLowpass(static_cast<float>(w), static_cast<float>(d));
  expectMatchesPrototype(
      f, [&](cd s) { return w * w / (s * s + d * w * s + w * w); }, "lowpass");

  f.setHighpass(static_cast<float>(w), static_cast<float>(d));
  expectMatchesPrototype(
      f, [&](cd s) { return s * s / (s * s + d * w * s + w * w); }, "highpass");

  f.setBandpass(static_cast<float>(w), static_cast<float>(d));
  expectMatchesPrototype(
      f, [&](cd s) { return d * w * s / (s * s + d * w * s + w * w); }, "bandpass");

  // A peaking section as the equalisers build it: (s^2 + 2 a w s + w^2)/(s^2 + a w s + w^2).
  const double a = 0.8;
  f.setAnalog(1.0f, static_cast<float>(2 * a * w), static_cast<float>(w * w), 1.0f,
              static_cast<float>(a * w), static_cast<float>(w * w));
  expectMatchesPrototype(
      f, [&](cd s) { return (s * s + 2 * a * w * s + w * w) / (s * s + a * w * s + w * w); },
      "analog");

  const double z1 = 300.0, z2 = 9000.0, p1 = 1500.0, p2 = 40000.0;
  f.setPoleZero(float(z1), float(z2), float(p1), float(p2));
  const double g = p1 * p2 / (z1 * z2);
  expectMatchesPrototype(
      f, [&](cd s) { return g * (s + z1) * (s + z2) / ((s + p1) * (s + p2)); }, "pole-zero");
  EXPECT_NEAR(std::abs(f.response(0.0)), 1.0, 1e-4) << "pole-zero is unity at DC";
}

TEST(BiquadFilter, BandpassHasUnityGainAtItsMappedCentre) {
  dsp::BiquadFilter f;
  f.setFormat(1, kRate);
  for (double hz : {100.0, 1000.0, 5000.0}) {
    for (double d : {0.1, 0.7, 2.0}) {
      f.setBandpass(static_cast<float>(kTwoPi * hz), static_cast<float>(d));
      // The analog centre w lands on the digital frequency 2 atan(w / K).
      const double digitalHz = 2.0 * std::atan(kTwoPi * hz / kK) * kRate / kTwoPi;
      EXPECT_NEAR(std::abs(f.response(digitalHz)), 1.0, 1e-3) << hz << " Hz, d " << d;
      EXPECT_NEAR(measuredGain(f, digitalHz), 1.0, 5e-3) << hz << " Hz, d " << d;
    }
  }
}

TEST(BilinFilter, DesignsMatchTheirAnalogPrototypes) {
  dsp::BilinFilter f;
  f.setFormat(1, kRate);
  f.reset();
  const double w = kTwoPi * 700.0;
  f.setLowpass(static_cast<float>(w));
  expectMatchesPrototype(
      f, [&](cd s) { return w / (s + w); }, "lowpass");
  EXPECT_NEAR(measuredGain(f, 700.0 * 0.99), std::abs(f.response(700.0 * 0.99)), 5e-3);

  f.setHighpass(static_cast<float>(w));
  expectMatchesPrototype(
      f, [&](cd s) { return s / (s + w); }, "highpass");

  // A shelf: (s + 4w) / (s + w), gain 4 at DC, 1 at the top.
  f.setAnalog(1.0f, static_cast<float>(4 * w), 1.0f, static_cast<float>(w));
  expectMatchesPrototype(
      f, [&](cd s) { return (s + 4 * w) / (s + w); }, "analog");
}

// Runs `signal` through a fresh filter in blocks whose lengths come from `nextLength`.
template <class Filter>
std::vector<float> runInBlocks(const std::function<void(Filter&)>& design, int channels,
                               const std::vector<float>& signal,
                               const std::function<int()>& nextLength) {
  Filter f;
  f.setFormat(channels, kRate);
  f.reset();
  design(f);
  std::vector<float> out(signal.size());
  const int frames = static_cast<int>(signal.size()) / channels;
  for (int pos = 0; pos < frames;) {
    const int n = std::min(nextLength(), frames - pos);
    f.processBlock(out.data() + pos * channels, signal.data() + pos * channels, n);
    pos += n;
  }
  return out;
}

// Largest difference between two equally long signals.
float maxDifference(const std::vector<float>& a, const std::vector<float>& b) {
  EXPECT_EQ(a.size(), b.size());
  float worst = 0.0f;
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
    worst = std::max(worst, std::fabs(a[i] - b[i]));
  return worst;
}

// Mono blocks run several samples per step and the remainder sample by sample, so the cut may
// change the float rounding, but nothing more: a lost, repeated or misordered sample or a
// wrong step derivation shows up orders of magnitude above the tolerance.
template <class Filter>
void expectBlockLengthIndependent(const std::function<void(Filter&)>& design, float tolerance) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
  for (int channels : {1, 2}) {
    std::vector<float> signal(5000 * channels);
    for (float& x : signal)
      x = noise(rng);
    const auto whole = runInBlocks<Filter>(design, channels, signal, [] { return 1 << 20; });
    for (int fixed : {1, 7, 64, 128}) {
      EXPECT_LE(maxDifference(whole,
                              runInBlocks<Filter>(design, channels, signal, [=] { return fixed; })),
                tolerance)
          << "blocks of " << fixed << ", " << channels << " channel(s)";
    }
    std::uniform_int_distribution<int> length(1, 300);
    EXPECT_LE(maxDifference(whole, runInBlocks<Filter>(design, channels, signal,
                                                       [&] { return length(rng); })),
              tolerance)
        << "random blocks, " << channels << " channel(s)";
    // In place gives exactly the same as out of place.
    Filter f;
    f.setFormat(channels, kRate);
    f.reset();
    design(f);
    std::vector<float> inPlace = signal;
    f.processBlock(inPlace.data(), inPlace.data(), static_cast<int>(signal.size()) / channels);
    EXPECT_EQ(whole, inPlace) << "in place, " << channels << " channel(s)";
  }
}

TEST(Filters, OutputDoesNotDependOnHowTheSignalIsCutIntoBlocks) {
  expectBlockLengthIndependent<dsp::BiquadFilter>(
      [](dsp::BiquadFilter& f) { f.setLowpass(5000.0f, 0.3f); }, 1e-5f);
  expectBlockLengthIndependent<dsp::BilinFilter>([](dsp::BilinFilter& f) { f.setHighpass(900.0f); },
                                                 1e-5f);
  // Poles close to 1, where rounding matters most: a 20 Hz resonance with Q 10 (gain 10 at
  // its peak) and a 5 Hz one-pole low-pass.
  expectBlockLengthIndependent<dsp::BiquadFilter>(
      [](dsp::BiquadFilter& f) { f.setLowpass(125.7f, 0.1f); }, 1e-3f);
  expectBlockLengthIndependent<dsp::BilinFilter>([](dsp::BilinFilter& f) { f.setLowpass(31.4f); },
                                                 1e-5f);
}

// A cascade gives what the filters give one after the other, for any block length (whole
// steps and leftover frames), in place or not, and carries every filter's state over.
TEST(Filters, CascadeMatchesTheFiltersInTurn) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
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
  for (int count = 0; count <= 4; ++count) {
    for (bool inPlace : {false, true}) {
      dsp::BiquadFilter serial[4], cascade[4];
      design(serial);
      design(cascade);
      dsp::BiquadFilter* chain[4] = {&cascade[0], &cascade[1], &cascade[2], &cascade[3]};
      float worst = 0.0f;
      for (int frames : {64, 3, 0, 1, 61, 4, 7, 64, 64}) {
        std::vector<float> in(frames), expected(frames), got(frames);
        for (float& x : in)
          x = noise(rng);
        expected = in;
        for (int k = 0; k < count; ++k)
          serial[k].processBlock(expected.data(), expected.data(), frames);
        if (inPlace) {
          got = in;
          dsp::BiquadFilter::processCascade(chain, count, got.data(), got.data(), frames);
        } else {
          dsp::BiquadFilter::processCascade(chain, count, got.data(), in.data(), frames);
        }
        worst = std::max(worst, maxDifference(expected, got));
      }
      // The 95 Hz high-pass loses the most to rounding, about 1e-5 here; a lost, repeated or
      // misrouted sample costs orders of magnitude more.
      EXPECT_LE(worst, 1e-4f) << count << " filters" << (inPlace ? ", in place" : "");
    }
  }
}

// A redesign between blocks takes effect from the next block; the channels never mix, and reset
// clears both.
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
  for (float x : silence)
    EXPECT_EQ(x, 0.0f);
  std::fill(buf.begin(), buf.end(), 1.0f);
  f.processBlock(buf.data(), buf.data(), 64);
  f.setCoefficients(0.5f, 0.0f, 0.0f, 0.0f, 0.0f);
  std::fill(buf.begin(), buf.end(), 1.0f);
  f.processBlock(buf.data(), buf.data(), 64);
  for (float y : buf)
    EXPECT_EQ(y, 0.5f);
}

}  // namespace
