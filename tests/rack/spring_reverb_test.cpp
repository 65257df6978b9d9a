#include "rack/spring_reverb.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>
#include <vector>

#include "rack/ciir.h"
#include "support/allocation_counter.h"
#include "support/signals.h"

namespace {

constexpr int kRate = 44100;
constexpr int kDelays[4] = {1309, 1455, 1812, 1927};

std::vector<float> impulseResponse(rack::SpringReverb& reverb, int samples, int block) {
  std::vector<float> in(samples, 0.0f), out(samples, 0.0f);
  in[0] = 1.0f;
  for (int i = 0; i < samples; i += block)
    reverb.process(out.data() + i, in.data() + i, std::min(block, samples - i));
  return out;
}

int firstNonZero(const std::vector<float>& v) {
  for (int i = 0; i < int(v.size()); ++i)
    if (v[i] != 0.0f) return i;
  return -1;
}

double rms(const float* x, int n) {
  double sum = 0.0;
  for (int i = 0; i < n; ++i)
    sum += double(x[i]) * x[i];
  return std::sqrt(sum / n);
}

double sineGainDb(rack::CIIR& filter, double hz) {
  filter.reset();
  std::vector<float> x(kRate * 6 / 5), y;
  for (int i = 0; i < int(x.size()); ++i)
    x[i] = 0.1f * float(std::sin(2.0 * std::numbers::pi * hz * i / kRate));
  y = x;
  filter.process(y.data(), int(y.size()));
  const int settle = kRate / 5;  // then exactly one second, a whole number of periods
  return 20.0 * std::log10(rms(y.data() + settle, kRate) / rms(x.data() + settle, kRate));
}

TEST(SpringReverb, ImpulseEchoesAtMultiplesOfTheFourCombDelays) {
  rack::SpringReverb reverb;  // usable at 44100 Hz without setFormat
  const int n = 6000;
  const std::vector<float> y = impulseResponse(reverb, n, n);  // one call, longer than a block

  rack::SpringReverb blockwise;
  blockwise.setFormat(1, kRate);
  EXPECT_EQ(impulseResponse(blockwise, n, 64), y);

  ASSERT_EQ(firstNonZero(y), 1309);

  // Between the first two arrivals the output is the filtered impulse alone: use it as the shape
  // of every echo, then peel the echoes off in time order. Only copies of that shape at the
  // multiples of the delays may be needed to explain the whole output.
  const std::vector<float> shape(y.begin() + 1309, y.begin() + 1455);
  std::map<int, int> arrivals;  // time -> comb
  for (int c = 0; c < 4; ++c)
    for (int t = kDelays[c]; t < n; t += kDelays[c])
      arrivals[t] = c;
  std::vector<double> residual(y.begin(), y.end());
  std::map<int, double> amplitude;
  for (const auto& [t, comb] : arrivals) {
    const double a = residual[t] / shape[0];
    amplitude[t] = a;
    for (int j = 0; j < int(shape.size()) && t + j < n; ++j)
      residual[t + j] -= a * shape[j];
  }
  double worst = 0.0;
  for (double r : residual)
    worst = std::max(worst, std::fabs(r));
  EXPECT_LT(worst, 1e-4 * 0.5);

  for (int c = 0; c < 4; ++c) {
    const int d = kDelays[c];
    EXPECT_NEAR(amplitude[d], 1.0, 1e-3) << "first echo of comb " << c;
    // Each pass round a comb loses its share of 60 dB per 2.6 s.
    const double lossDb = -20.0 * std::log10(amplitude[2 * d] / amplitude[d]);
    EXPECT_NEAR(lossDb * kRate / d, 60.0 / 2.6, 0.05) << "comb " << c;
  }
}

TEST(SpringReverb, TailFallsSixtyDecibelsInAboutTwoPointSixSeconds) {
  rack::SpringReverb reverb;
  reverb.setFormat(1, kRate);
  const std::vector<float> y = impulseResponse(reverb, 8 * kRate, 64);

  // Backward-integrated energy decay; the time from -5 to -35 dB, doubled, is the 60 dB time.
  std::vector<double> decay(y.size() + 1, 0.0);
  for (int i = int(y.size()) - 1; i >= 0; --i)
    decay[i] = decay[i + 1] + double(y[i]) * y[i];
  auto timeAt = [&](double db) {
    int i = 0;
    while (10.0 * std::log10(decay[i] / decay[0]) > db)
      ++i;
    return double(i) / kRate;
  };
  const double rt60 = 2.0 * (timeAt(-35.0) - timeAt(-5.0));
  EXPECT_NEAR(rt60, 2.6, 0.1);
}

TEST(SpringReverb, ResetSilencesAndTheTailEndsInExactZeros) {
  rack::SpringReverb reverb;
  reverb.setFormat(1, kRate);
  const std::vector<float> noise = testsupport::whiteNoise(kRate, 0.5f);
  std::vector<float> out(noise.size());
  reverb.process(out.data(), noise.data(), int(noise.size()));
  reverb.reset();
  const std::vector<float> silence(128, 0.0f);
  std::vector<float> block(128);
  for (int i = 0; i < 400; ++i) {
    reverb.process(block.data(), silence.data(), 128);
    ASSERT_EQ(firstNonZero(block), -1) << "block " << i;
  }

  // Without a reset the tail decays until the feedback flush leaves exact zeros.
  testsupport::AllocationCounter allocations;
  reverb.process(out.data(), noise.data(), int(noise.size()));
  for (int i = 0; i < 20 * kRate / 128; ++i)
    reverb.process(block.data(), silence.data(), 128);
  EXPECT_EQ(firstNonZero(block), -1);
  EXPECT_EQ(allocations.count(), 0u);
}

TEST(SpringReverb, FormatRetunesTheDelays) {
  rack::SpringReverb reverb;
  const std::pair<int, int> cases[] = {{48000, 1425}, {96000, 2851}, {22050, 654}, {kRate, 1309}};
  for (const auto& [rate, first] : cases) {
    reverb.setFormat(1, rate);
    EXPECT_EQ(firstNonZero(impulseResponse(reverb, 3000, 64)), first) << rate << " Hz";
  }
  reverb.setFormat(1, 0);  // ignored
  reverb.reset();
  EXPECT_EQ(firstNonZero(impulseResponse(reverb, 3000, 64)), 1309);
}

TEST(CIIR, PeakingBoostsEightDecibelsAt700Hz) {
  rack::CIIR filter;
  filter.setSampleRate(kRate);
  std::vector<float> x = testsupport::whiteNoise(256, 1.0f), y = x;
  filter.process(y.data(), int(y.size()));
  EXPECT_EQ(y, x);  // a fresh filter passes its input unchanged

  filter.setPeaking(700.0f, 0.3f, 8.0f);
  auto db = [&](double hz) { return 20.0 * std::log10(std::abs(filter.response(hz))); };
  EXPECT_NEAR(db(700.0), 8.0, 1e-3);
  EXPECT_NEAR(db(1.0), 0.0, 1e-3);
  EXPECT_NEAR(db(22000.0), 0.0, 1e-3);
  for (double hz = 50.0; hz < 20000.0; hz *= 1.05)
    EXPECT_LE(db(hz), 8.0 + 1e-6) << hz;

  const double peak = sineGainDb(filter, 700.0);
  EXPECT_NEAR(peak, 8.0, 0.01);
  EXPECT_NEAR(peak - sineGainDb(filter, 20000.0), 8.0, 0.02);
  EXPECT_NEAR(sineGainDb(filter, 3000.0), db(3000.0), 0.01);

  // The state is flushed, so silence after a signal ends in exact zeros.
  std::vector<float> block(128, 0.0f);
  for (int i = 0; i < 100; ++i) {
    std::fill(block.begin(), block.end(), 0.0f);
    filter.process(block.data(), 128);
  }
  EXPECT_EQ(firstNonZero(block), -1);
}

}  // namespace
