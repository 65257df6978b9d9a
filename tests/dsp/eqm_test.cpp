#include "dsp/eqm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "support/effect_probe.h"
#include "support/signals.h"

namespace {

constexpr int kRate = 44100;
constexpr int kBlock = 64;
constexpr double kPi = std::numbers::pi;

enum Controller : uint8_t {
  kHighShelfFreq = 102,
  kHighShelfGain = 103,
  kHighMidFreq = 104,
  kHighMidGain = 105,
  kHighMidQ = 106,
  kLowMidFreq = 107,
  kLowMidGain = 108,
  kLowMidQ = 109,
  kLowShelfFreq = 110,
  kLowShelfGain = 111,
  kHighPassFreq = 112,
  kLowPassFreq = 113,
};

std::unique_ptr<dsp::EQm> makeEq(std::initializer_list<std::pair<int, int>> settings,
                                 int channels = 1, int rate = kRate) {
  auto fx = std::make_unique<dsp::EQm>(nullptr, 0);
  fx->setFormat(channels, rate);
  testsupport::settleWith(*fx, settings);
  return fx;
}

std::vector<float> run(dsp::EQm& fx, std::vector<float> x, bool inPlace = false) {
  const int channels = fx.outputChannels();
  std::vector<float> y(x.size());
  for (size_t pos = 0; pos < x.size(); pos += kBlock * channels) {
    const int frames =
        static_cast<int>(std::min<size_t>(kBlock * channels, x.size() - pos)) / channels;
    float* out = inPlace ? x.data() + pos : y.data() + pos;
    fx.process(out, x.data() + pos, frames);
  }
  return inPlace ? x : y;
}

// Gain in dB of a steady sine: least-squares amplitude of the last second of the output.
double sineGainDb(dsp::EQm& fx, double hz, int rate = kRate) {
  const int n = 2 * rate;
  std::vector<float> x(n);
  for (int i = 0; i < n; ++i)
    x[i] = static_cast<float>(0.1 * std::sin(2.0 * kPi * hz * i / rate));
  const std::vector<float> y = run(fx, x);
  double cc = 0, ss = 0, cs = 0, yc = 0, ys = 0;
  for (int i = rate; i < n; ++i) {
    const double c = std::cos(2.0 * kPi * hz * i / rate), s = std::sin(2.0 * kPi * hz * i / rate);
    cc += c * c;
    ss += s * s;
    cs += c * s;
    yc += y[i] * c;
    ys += y[i] * s;
  }
  const double det = cc * ss - cs * cs;
  const double a = (yc * ss - ys * cs) / det, b = (ys * cc - yc * cs) / det;
  return 20.0 * std::log10(std::hypot(a, b) / 0.1);
}

TEST(EQm, NeutralSettingsCopyTheInputExactly) {
  const std::vector<float> noise = testsupport::whiteNoise(2 * 20000, 1.0f);
  // The defaults, and the same neutral gains after the frequencies and Q switches have moved:
  // a band at 0 dB is skipped whatever its frequency.
  for (bool moved : {false, true}) {
    auto fx = moved ? makeEq({{kHighShelfFreq, 5},
                              {kHighMidFreq, 120},
                              {kHighMidQ, 127},
                              {kLowMidFreq, 3},
                              {kLowMidQ, 100},
                              {kLowShelfFreq, 127},
                              {kHighShelfGain, 64},
                              {kHighMidGain, 64},
                              {kLowMidGain, 64},
                              {kLowShelfGain, 64},
                              {kHighPassFreq, 0},
                              {kLowPassFreq, 127}},
                             2)
                    : makeEq({}, 2);
    EXPECT_EQ(run(*fx, noise), noise) << moved;
    EXPECT_EQ(run(*fx, noise, true), noise) << moved;
  }
}

TEST(EQm, LowPassSwitchesOffOnceItsCornerReaches045OfTheRate) {
  const std::vector<float> noise = testsupport::whiteNoise(8000, 1.0f);
  struct Case {
    int rate;
    uint8_t lastOn;  // 200 x 2^(v / 17) Hz stays under 0.45 x rate up to here
  };
  for (const Case c : {Case{44100, 112}, Case{48000, 114}}) {
    {
      auto fx = makeEq({{kLowPassFreq, c.lastOn}}, 1, c.rate);
      EXPECT_NE(run(*fx, noise), noise) << c.rate;
      EXPECT_LT(sineGainDb(*fx, 0.45 * c.rate, c.rate), -6.0) << c.rate;
    }
    auto fx = makeEq({{kLowPassFreq, static_cast<uint8_t>(c.lastOn + 1)}}, 1, c.rate);
    EXPECT_EQ(run(*fx, noise), noise) << c.rate;
  }
}

TEST(EQm, HighShelfSpansPlus14_77ToMinus15Db) {
  // At 750 Hz (the lowest setting) the shelf is flat well before 16 kHz, and unity at 20 Hz.
  auto boost = makeEq({{kHighShelfFreq, 0}, {kHighShelfGain, 127}});
  EXPECT_NEAR(sineGainDb(*boost, 16000.0), 14.77, 0.1);
  EXPECT_NEAR(sineGainDb(*boost, 20.0), 0.0, 0.1);
  auto cut = makeEq({{kHighShelfFreq, 0}, {kHighShelfGain, 0}});
  EXPECT_NEAR(sineGainDb(*cut, 16000.0), -15.0, 0.1);
  EXPECT_NEAR(sineGainDb(*cut, 20.0), 0.0, 0.1);
}

// Peak gain and the bandwidth between the points at half the peak's decibels, in analog Hz
// (the bilinear warping undone), measured on the impulse response.
struct Peak {
  double gain, bandwidth;
};

Peak measurePeak(dsp::EQm& fx, double centre) {
  std::vector<float> x(8192, 0.0f);
  x[0] = 1.0f;
  const std::vector<float> h = run(fx, x);
  auto gainAt = [&h](double hz) { return std::abs(testsupport::dtft(h, hz)); };
  const double peak = gainAt(centre);
  const double half = std::sqrt(peak);
  auto edge = [&](double inside, double outside) {
    for (int i = 0; i < 50; ++i) {
      const double mid = std::sqrt(inside * outside);
      (gainAt(mid) > half ? inside : outside) = mid;
    }
    return kRate / kPi * std::tan(kPi * inside / kRate);  // analog frequency in Hz
  };
  return {peak, edge(centre, 20000.0) - edge(centre, 5.0)};
}

TEST(EQm, MidQSwitchChangesTheDesignFamily) {
  // Low Mid at 429 Hz with full boost: the warped gain is 3.1 x 22.15^0.6 = 19.89.
  const double f = 33.0 * std::pow(2.0, 7.4 * 0.5);
  const double m = 3.1 * std::pow((127.0 / 128.0 - 0.5) * 45.0, 0.6);

  // Switch at 0: two real pole corners f / 1.15 and 1.15 f, zeros spread by 2^(m / 6).
  auto wide = makeEq({{kLowMidGain, 127}, {kLowMidQ, 0}});
  const double r = std::pow(2.0, m / 6.0);
  const double poles = f / 1.15 + f * 1.15, zeros = f / 1.15 / r + f * 1.15 * r;
  const Peak w = measurePeak(*wide, f);
  EXPECT_NEAR(w.gain, zeros / poles, 0.01 * zeros / poles);  // 15.1 dB
  EXPECT_NEAR(w.bandwidth, std::sqrt(zeros * poles), 0.01 * std::sqrt(zeros * poles));

  // Switch at 64 and up: a resonant peak of 10^(m / 30) with damping 0.6.
  auto narrow = makeEq({{kLowMidGain, 127}, {kLowMidQ, 64}});
  const double v = std::pow(10.0, m / 30.0);
  const Peak n = measurePeak(*narrow, f);
  EXPECT_NEAR(n.gain, v, 0.01 * v);  // 13.3 dB
  EXPECT_NEAR(n.bandwidth, 0.6 * f * std::sqrt(v), 0.01 * 0.6 * f * std::sqrt(v));

  EXPECT_GT(w.bandwidth, 3.0 * n.bandwidth);
}

}  // namespace
