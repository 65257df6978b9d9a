#include "dsp/biquad_filter.h"
#include "rack/cabinet_stage.h"
#include "rack/peak_design.h"
#include "rack/reflections.h"
#include "rack_signals.h"

namespace {

using racktest::db;
using racktest::run;

using Taps = std::map<int, float>;  // delay -> gain

Taps tapsOf(const rack::CabinetStage& stage) {
  Taps taps;
  for (int k = 0; k < stage.reflections().tapCount(); ++k)
    taps[stage.reflections().tapDelay(k)] += stage.reflections().tapGain(k);
  return taps;
}

double cabinetDb(const rack::CabinetStage& stage, double hz) {
  return db(stage.filterResponse(hz));
}

TEST(CabinetStage, ReflectionsRatesOptionsResetTheProductSoundsAndThePeakDesign) {
  rack::Reflections r;
  const int delays[] = {0, 3, 700, 2047};
  const float gains[] = {1.0f, -0.5f, 0.25f, 0.125f};
  r.setTaps(4, delays, gains);
  // 2048-frame blocks with a 2047-sample tap: the block must not overwrite what the tap reads.
  for (int block : {1, 333, 2048}) {
    r.clear();
    std::vector<float> y(6000);
    y[1500] = 1.0f;  // the ring wraps several times before the last tap
    for (int i = 0; i < 6000; i += block)
      r.process(y.data() + i, y.data() + i, std::min(block, 6000 - i));  // in place
    Taps heard;
    for (int i = 0; i < 6000; ++i)
      if (y[i] != 0.0f) heard[i] = y[i];
    EXPECT_EQ(heard, (Taps{{1500, 1.0f}, {1503, -0.5f}, {2200, 0.25f}, {3547, 0.125f}})) << block;
  }
  const int wild[] = {-5, 4000};  // clamped rather than read outside the ring
  r.setTaps(2, wild, gains);
  EXPECT_EQ(r.tapDelay(0), 0);
  EXPECT_EQ(r.tapDelay(1), rack::Reflections::kMaxDelay);

  // Every model without a voicing of its own (here -1) sounds as model 1.
  rack::CabinetStage stage;
  const std::vector<float> noise = testsupport::whiteNoise(5000, 0.5f);
  stage.setModel(1, 0, 0, 0);
  stage.reset();
  const std::vector<float> reference = run(stage, noise);
  stage.setModel(-1, 0, 0, 0);
  stage.reset();
  EXPECT_EQ(run(stage, noise), reference);

  // Taps follow the rate by truncation and stay inside the ring at any rate.
  stage.setFormat(48000);
  stage.setModel(1, 0, 0, 0);
  std::vector<int> at48k;
  for (auto [delay, gain] : tapsOf(stage))
    at48k.push_back(delay);
  EXPECT_EQ(at48k, (std::vector<int>{6, 14, 22, 46, 68, 82, 100, 114, 144, 577}));
  stage.setFormat(192000);
  EXPECT_EQ(stage.model(), 1);
  EXPECT_EQ(*tapsOf(stage).rbegin(), Taps::value_type(rack::Reflections::kMaxDelay, 0.06f));

  // Option 1 adds a tap; option 2 darkens the high shelf by 8 dB; option 3 adds 5 dB at 1100 Hz
  // less what the lowered low shelf still takes there.
  stage.setFormat(racktest::kRate);
  const int plainTaps = stage.reflections().tapCount();
  stage.setModel(1, 1, 0, 0);
  EXPECT_EQ(stage.reflections().tapCount(), plainTaps + 1);
  const std::vector<float> x = racktest::sine(1100.0, 8192);
  stage.setModel(1, 0, 0, 0);
  stage.reset();
  const double high = cabinetDb(stage, 15000), plainRms = racktest::rms(run(stage, x), 4096);
  stage.setModel(1, 0, 1, 0);
  EXPECT_NEAR(high - cabinetDb(stage, 15000), 8.0, 0.5);
  stage.setModel(1, 0, 0, 1);
  stage.reset();
  const double gain = 20.0 * std::log10(racktest::rms(run(stage, x), 4096) / plainRms);
  EXPECT_TRUE(gain > 3.0 && gain < 4.5) << gain;

  run(stage, noise);  // reset() clears the filters and the reflection ring
  stage.reset();
  stage.setModel(5, 0, 0, 0);
  EXPECT_EQ(racktest::peak(run(stage, std::vector<float>(2048))), 0.0f);
  // Switching models keeps the ring: model 6's tail of an impulse is gone by 448 samples, yet
  // model 1's 530-sample tap still hears the impulse.
  stage.setModel(6, 0, 0, 0);
  const float tail = racktest::peak(run(stage, racktest::impulse(512)), 448);
  stage.setModel(1, 0, 0, 0);
  const std::vector<float> after = run(stage, std::vector<float>(64));
  EXPECT_LT(racktest::peak({after.begin(), after.begin() + 18}), 1.5f * tail);
  EXPECT_GT(racktest::peak(after, 18), 0.004f);

  // No cabinet passes the input unchanged, whatever state the others left behind.
  run(stage, noise);
  stage.setModel(rack::CabinetStage::kNoCabinet, 1, 1, 1);
  EXPECT_EQ(run(stage, noise, 5000), noise);

  std::vector<float> buffer = noise;
  testsupport::AllocationCounter counter;
  for (int model : {1, 5, 6, 8, 2}) {
    stage.setModel(model, 1, 1, 1);
    stage.process(buffer.data(), buffer.data(), 64);
    stage.process(buffer.data(), buffer.data(), 4096);
  }
  stage.reset();
  EXPECT_EQ(counter.count(), 0u);

  // {model, a, b, dB}: at a at least dB below b. Open back 1x12 (1) has flat mids; mod closed 4x10
  // (5) is boomy with a mid scoop; british 2x12 (6) has a deep dip near 1250 Hz, a bright 2.6 kHz.
  stage.setModel(1, 0, 0, 0);
  for (double hz = 250; hz <= 2600; hz *= 1.1)
    EXPECT_NEAR(cabinetDb(stage, hz), 0.0, 3.0) << hz;
  const double below[][4] = {{1, 4000, 1000, 5}, {1, 40, 400, 15},    {5, 1000, 120, 8},
                             {6, 1250, 800, 5},  {6, 8000, 2600, 15}, {5, 1300, 400, 4}};
  for (const auto& c : below) {
    stage.setModel(int(c[0]), 0, 0, 0);
    EXPECT_LT(cabinetDb(stage, c[1]), cabinetDb(stage, c[2]) - c[3]) << c[0] << ": " << c[1];
  }

  // process() runs this chain: a sine comes out at the filters' level times the taps' comb.
  std::complex<double> taps = 0;
  for (auto [delay, gain] : tapsOf(stage))
    taps +=
        double(gain) * std::polar(1.0, -2.0 * std::numbers::pi * 1100.0 * delay / racktest::kRate);
  EXPECT_NEAR(20 * std::log10(racktest::rms(run(stage, x), 4096) / racktest::rms(x, 4096)),
              db(taps * stage.filterResponse(1100)), 0.1);

  dsp::BiquadFilter f;
  f.setFormat(1, 44100);
  for (auto [gain, hz, q] : {std::tuple{7.0f, 150.0f, 0.9f}, {-11.0f, 6400.0f, 1.2f}}) {
    rack::designPeak(f, gain, hz, q);
    double extreme = 0, where = 0;
    for (double t = 10; t < 22000; t *= 1.001) {
      const double g = db(f.response(t));
      if (std::fabs(g) > std::fabs(extreme)) extreme = g, where = t;
    }
    // The bilinear transform without prewarping moves the centre to (fs/pi) atan(w/2fs).
    const double mapped = 44100.0 / std::numbers::pi * std::atan(6.283 * hz / 88200.0);
    EXPECT_NEAR(extreme, gain, 0.02) << hz;
    EXPECT_NEAR(where / mapped, 1.0, 0.005) << hz;
  }
}

}  // namespace
