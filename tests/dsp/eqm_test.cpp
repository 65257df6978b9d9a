#include "dsp/eqm.h"
#include "dsp_test_helpers.h"

namespace {

using dsptest::kRate;

constexpr int kHighShelfFreq = 102, kHighShelfGain = 103, kHighMidFreq = 104, kHighMidGain = 105,
              kHighMidQ = 106, kLowMidFreq = 107, kLowMidGain = 108, kLowMidQ = 109,
              kLowShelfFreq = 110, kLowShelfGain = 111, kHighPassFreq = 112, kLowPassFreq = 113;

std::unique_ptr<dsp::EQm> makeEq(std::initializer_list<std::pair<int, int>> settings,
                                 int channels = 1) {
  return dsptest::makeEffect<dsp::EQm>(settings, channels);
}

// Gain in dB of a steady sine of a whole number of Hz, over the second second of the output.
double sineGainDb(dsp::EQm& fx, double hz) {
  const std::vector<float> y = testsupport::runInBlocks(fx, dsptest::sine(2 * kRate, hz, 0.1f), 1);
  return dsptest::dB(dsptest::amplitudeAt(y, hz) / 0.1);
}

TEST(EQm, NeutralSettingsCopyTheInputExactly) {
  const std::vector<float> noise = testsupport::whiteNoise(2 * 20000, 1.0f);
  // A band at 0 dB is skipped whatever its frequency and Q switch.
  const std::pair<int, int> moves[] = {
      {kHighShelfFreq, 5}, {kHighMidFreq, 120},  {kHighMidQ, 127},     {kLowMidFreq, 3},
      {kLowMidQ, 100},     {kLowShelfFreq, 127}, {kHighShelfGain, 64}, {kHighMidGain, 64},
      {kLowMidGain, 64},   {kLowShelfGain, 64},  {kHighPassFreq, 0},   {kLowPassFreq, 127}};
  auto defaults = makeEq({}, 2), moved = makeEq({}, 2);
  for (auto [controller, value] : moves)
    moved->processEvent(dsp::EffectEvent::controller(uint8_t(controller), uint8_t(value)));
  testsupport::settleWith(*moved, {});
  for (dsp::EQm* fx : {defaults.get(), moved.get()})
    EXPECT_EQ(testsupport::runInBlocks(*fx, noise, 2), noise);
}

TEST(EQm, HighShelfSpansPlus14_77ToMinus15Db) {
  // At 750 Hz (the lowest setting) the shelf is flat well before 16 kHz, and unity at 20 Hz.
  for (auto [gain, top] : {std::pair{127, 14.77}, {0, -15.0}}) {
    auto fx = makeEq({{kHighShelfFreq, 0}, {kHighShelfGain, gain}});
    EXPECT_NEAR(sineGainDb(*fx, 16000.0), top, 0.1);
    EXPECT_NEAR(sineGainDb(*fx, 20.0), 0.0, 0.1);
  }
}

// Peak gain and the bandwidth (analog Hz) between the points at half the peak's decibels.
std::pair<double, double> measurePeak(dsp::EQm& fx, double centre) {
  const std::vector<float> h = testsupport::impulseResponse(fx, 8192);
  auto gainAt = [&h](double hz) { return std::abs(testsupport::dtft(h, hz)); };
  const double peak = gainAt(centre), half = std::sqrt(peak);
  auto edge = [&](double inside, double outside) {
    for (int i = 0; i < 50; ++i) {
      const double mid = std::sqrt(inside * outside);
      (gainAt(mid) > half ? inside : outside) = mid;
    }
    return kRate / std::numbers::pi * std::tan(std::numbers::pi * inside / kRate);
  };
  return {peak, edge(centre, 20000.0) - edge(centre, 5.0)};
}

TEST(EQm, MidQSwitchChangesTheDesignFamily) {
  // Low Mid at 429 Hz with full boost: the warped gain is 3.1 x 22.15^0.6 = 19.89.
  const double f = 33.0 * std::pow(2.0, 7.4 * 0.5);
  const double m = 3.1 * std::pow((127.0 / 128.0 - 0.5) * 45.0, 0.6);

  // Switch at 0: two real pole corners f / 1.15 and 1.15 f, zeros spread by 2^(m / 6).
  const double r = std::pow(2.0, m / 6.0);
  const double poles = f / 1.15 + f * 1.15, zeros = f / 1.15 / r + f * 1.15 * r;
  const auto [wideGain, wideWidth] = measurePeak(*makeEq({{kLowMidGain, 127}, {kLowMidQ, 0}}), f);
  EXPECT_NEAR(wideGain, zeros / poles, 0.01 * zeros / poles);  // 15.1 dB
  EXPECT_NEAR(wideWidth, std::sqrt(zeros * poles), 0.01 * std::sqrt(zeros * poles));

  // Switch at 64 and up: a resonant peak of 10^(m / 30) with damping 0.6.
  const double v = std::pow(10.0, m / 30.0);
  const auto [gain, width] = measurePeak(*makeEq({{kLowMidGain, 127}, {kLowMidQ, 64}}), f);
  EXPECT_NEAR(gain, v, 0.01 * v);  // 13.3 dB
  EXPECT_NEAR(width, 0.6 * f * std::sqrt(v), 0.01 * 0.6 * f * std::sqrt(v));
  EXPECT_GT(wideWidth, 3.0 * width);
}

}  // namespace
