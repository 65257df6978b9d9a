#include "rack/spring_reverb.h"

#include "rack/ciir.h"
#include "rack_signals.h"

namespace {

constexpr int kRate = 44100;
constexpr int kDelays[4] = {1309, 1455, 1812, 1927};

std::vector<float> impulseResponse(rack::SpringReverb& reverb, int samples, int block = 64) {
  return racktest::run(reverb, racktest::impulse(samples), block);
}

int firstNonZero(const std::vector<float>& v) {
  for (int i = 0; i < int(v.size()); ++i)
    if (v[i] != 0.0f) return i;
  return -1;
}

// Echoes of the filtered impulse at the multiples of the comb delays, each pass round a comb
// losing its share of 60 dB per 2.6 s, and a tail that falls 60 dB in about 2.6 s.
TEST(SpringReverb, EchoesDecayResetFormatTheToneFilterAndExactZeros) {
  rack::SpringReverb reverb;  // usable at 44100 Hz without setFormat
  const int n = 6000;
  const std::vector<float> y = impulseResponse(reverb, n, n);  // one call, longer than a block
  rack::SpringReverb blockwise;
  blockwise.setFormat(1, kRate);
  const std::vector<float> full = impulseResponse(blockwise, 8 * kRate);
  EXPECT_EQ(std::vector<float>(full.begin(), full.begin() + n), y);
  ASSERT_EQ(firstNonZero(y), 1309);

  // Between the first two arrivals the output is the filtered impulse alone: use it as the shape
  // of every echo and peel the echoes off in time order. Copies of that shape at the multiples
  // of the delays must explain the whole output.
  const std::vector<float> shape(y.begin() + 1309, y.begin() + 1455);
  std::map<int, double> amplitude;  // arrival time -> echo amplitude
  for (int d : kDelays)
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
  for (int d : kDelays) {
    EXPECT_NEAR(amplitude[d], 1.0, 1e-3) << "first echo of the comb of " << d;
    const double lossDb = -20.0 * std::log10(amplitude[2 * d] / amplitude[d]);
    EXPECT_NEAR(lossDb * kRate / d, 60.0 / 2.6, 0.05) << "comb of " << d;
  }

  // Backward-integrated energy decay: the time from -5 to -35 dB, doubled, is the 60 dB time.
  std::vector<double> decay(full.size() + 1, 0.0);
  for (int i = int(full.size()) - 1; i >= 0; --i)
    decay[i] = decay[i + 1] + double(full[i]) * full[i];
  auto timeAt = [&](double db) {
    int i = 0;
    while (10.0 * std::log10(decay[i] / decay[0]) > db)
      ++i;
    return double(i) / kRate;
  };
  EXPECT_NEAR(2.0 * (timeAt(-35.0) - timeAt(-5.0)), 2.6, 0.1);

  reverb.setFormat(1, kRate);
  const std::vector<float> noise = testsupport::whiteNoise(kRate, 0.5f);
  racktest::run(reverb, noise);
  reverb.reset();
  EXPECT_EQ(firstNonZero(racktest::run(reverb, std::vector<float>(400 * 128))), -1);

  // Without a reset the tail decays until the feedback flush leaves exact zeros.
  std::vector<float> out(noise.size()), block(128);
  const std::vector<float> silence(128, 0.0f);
  testsupport::AllocationCounter allocations;
  reverb.process(out.data(), noise.data(), int(noise.size()));
  for (int i = 0; i < 20 * kRate / 128; ++i)
    reverb.process(block.data(), silence.data(), 128);
  EXPECT_EQ(allocations.count(), 0u);
  EXPECT_EQ(firstNonZero(block), -1);

  const int rates[][2] = {{48000, 1425}, {96000, 2851}, {22050, 654}, {kRate, 1309}, {0, 1309}};
  for (auto [rate, first] : rates) {  // 0 is ignored
    reverb.setFormat(1, rate);
    reverb.reset();
    EXPECT_EQ(firstNonZero(impulseResponse(reverb, 3000)), first) << rate << " Hz";
  }

  rack::CIIR filter;
  filter.setSampleRate(kRate);
  filter.setPeaking(700.0f, 0.3f, 8.0f);
  auto db = [&](double hz) { return racktest::db(filter.response(hz)); };
  EXPECT_NEAR(db(700.0), 8.0, 1e-3);
  EXPECT_NEAR(db(1.0), 0.0, 1e-3);
  EXPECT_NEAR(db(22000.0), 0.0, 1e-3);
  std::vector<float> tone = racktest::sine(3000.0, kRate * 6 / 5), toned = tone;
  filter.process(toned.data(), int(toned.size()));
  const int settle = kRate / 5;  // then exactly one second, a whole number of periods
  EXPECT_NEAR(20.0 * std::log10(racktest::rms(toned, settle) / racktest::rms(tone, settle)),
              db(3000.0), 0.01);

  // The state is flushed, so silence after a signal ends in exact zeros.
  for (int i = 0; i < 100; ++i) {
    std::fill(block.begin(), block.end(), 0.0f);
    filter.process(block.data(), 128);
  }
  EXPECT_EQ(firstNonZero(block), -1);
}

}  // namespace
