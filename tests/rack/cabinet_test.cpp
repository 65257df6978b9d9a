#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <tuple>
#include <utility>
#include <vector>

#include "dsp/biquad_filter.h"
#include "rack/cabinet_stage.h"
#include "rack/peak_design.h"
#include "rack/reflections.h"
#include "support/allocation_counter.h"
#include "support/signals.h"

namespace {

struct Tap {
  int delay;
  float gain;
};

double db(std::complex<double> h) {
  return 20.0 * std::log10(std::abs(h));
}

double cabinetDb(const rack::CabinetStage& stage, double hz) {
  return db(stage.filterResponse(hz));
}

// Runs the input through the stage in blocks of the amp section's size.
std::vector<float> run(rack::CabinetStage& stage, const std::vector<float>& in, int block = 64) {
  std::vector<float> out(in.size());
  for (size_t i = 0; i < in.size(); i += block) {
    const int n = static_cast<int>(std::min<size_t>(block, in.size() - i));
    stage.process(out.data() + i, in.data() + i, n);
  }
  return out;
}

// The impulse response of a Reflections loaded with the stage's taps, processed in blocks.
std::vector<float> reflectionsImpulse(const rack::CabinetStage& stage, int length, int block) {
  const rack::Reflections& taps = stage.reflections();
  std::vector<int> delays;
  std::vector<float> gains;
  for (int k = 0; k < taps.tapCount(); ++k) {
    delays.push_back(taps.tapDelay(k));
    gains.push_back(taps.tapGain(k));
  }
  rack::Reflections r;
  r.setTaps(taps.tapCount(), delays.data(), gains.data());
  std::vector<float> x(length), y(length);
  x[0] = 1.0f;
  for (int i = 0; i < length; i += block)
    r.process(y.data() + i, x.data() + i, std::min(block, length - i));
  return y;
}

// Every non-zero sample of a response as (position, value).
std::vector<Tap> nonZero(const std::vector<float>& y) {
  std::vector<Tap> taps;
  for (size_t i = 0; i < y.size(); ++i)
    if (y[i] != 0.0f) taps.push_back({static_cast<int>(i), y[i]});
  return taps;
}

std::vector<int> delaysOf(const rack::CabinetStage& stage) {
  std::vector<int> d;
  for (int k = 0; k < stage.reflections().tapCount(); ++k)
    d.push_back(stage.reflections().tapDelay(k));
  return d;
}

double rms(const std::vector<float>& y, size_t from) {
  double sum = 0;
  for (size_t i = from; i < y.size(); ++i)
    sum += double(y[i]) * y[i];
  return std::sqrt(sum / double(y.size() - from));
}

std::vector<float> sine(double hz, int rate, int length) {
  std::vector<float> x(length);
  for (int i = 0; i < length; ++i)
    x[i] = static_cast<float>(0.5 * std::sin(2.0 * std::numbers::pi * hz * i / rate));
  return x;
}

TEST(Reflections, TapsDelayAndScaleAcrossBlocksAndTheRingWrap) {
  rack::Reflections r;
  const int delays[] = {0, 3, 700, 2047};
  const float gains[] = {1.0f, -0.5f, 0.25f, 0.125f};
  r.setTaps(4, delays, gains);
  // 2048-frame blocks with a 2047-sample tap: the block must not overwrite what the tap reads.
  for (int block : {1, 64, 333, 2048}) {
    r.clear();
    std::vector<float> x(6000), y(6000);
    x[1500] = 1.0f;  // the ring wraps several times before the last tap
    for (int i = 0; i < 6000; i += block) {
      const int n = std::min(block, 6000 - i);
      std::copy_n(x.data() + i, n, y.data() + i);
      r.process(y.data() + i, y.data() + i, n);  // in place
    }
    const std::vector<Tap> got = nonZero(y);
    ASSERT_EQ(got.size(), 4u) << "block " << block;
    for (int k = 0; k < 4; ++k) {
      EXPECT_EQ(got[k].delay, 1500 + delays[k]) << "block " << block;
      EXPECT_EQ(got[k].gain, gains[k]);
    }
  }

  // Out-of-range settings are clamped rather than read outside the ring.
  const int wild[] = {-5, 4000};
  r.setTaps(2, wild, gains);
  EXPECT_EQ(r.tapDelay(0), 0);
  EXPECT_EQ(r.tapDelay(1), rack::Reflections::kMaxDelay);
}

TEST(CabinetStage, NoCabinetPassesTheInputUnchanged) {
  rack::CabinetStage stage;
  const std::vector<float> noise = testsupport::whiteNoise(5000, 0.8f);
  run(stage, noise);  // leaves state behind in the ring and filters
  stage.setModel(rack::CabinetStage::kNoCabinet, 1, 1, 1);
  EXPECT_EQ(stage.model(), 8);
  EXPECT_EQ(run(stage, noise, 5000), noise);
  EXPECT_EQ(run(stage, noise, 37), noise);
  std::vector<float> inPlace = noise;
  stage.process(inPlace.data(), inPlace.data(), 5000);
  EXPECT_EQ(inPlace, noise);
}

TEST(CabinetStage, ReflectionsOfTheProductCabinets) {
  rack::CabinetStage stage;
  stage.setModel(1, 0, 0, 0);
  const std::vector<Tap> model1 = {{6, 1.0f},   {13, -0.15f}, {21, 0.3f}, {43, 0.1f},
                                   {62, 0.1f},  {76, 0.1f},   {92, 0.1f}, {105, 0.15f},
                                   {132, 0.1f}, {530, 0.06f}};
  const std::vector<Tap> got = nonZero(reflectionsImpulse(stage, 1024, 64));
  ASSERT_EQ(got.size(), model1.size());
  for (size_t k = 0; k < got.size(); ++k) {
    EXPECT_EQ(got[k].delay, model1[k].delay);
    EXPECT_FLOAT_EQ(got[k].gain, model1[k].gain);
  }

  stage.setModel(5, 0, 0, 0);
  EXPECT_EQ(delaysOf(stage), (std::vector<int>{4, 15, 22, 33, 36, 47, 53, 73, 85, 103, 215, 439}));
  stage.setModel(6, 0, 0, 0);
  EXPECT_EQ(delaysOf(stage), (std::vector<int>{4, 5, 43, 67, 118, 141, 142, 204, 241}));

  // Every model without a voicing of its own sounds as model 1.
  stage.setModel(1, 0, 0, 0);
  stage.reset();
  const std::vector<float> noise = testsupport::whiteNoise(3000, 0.5f);
  const std::vector<float> reference = run(stage, noise);
  for (int model : {0, 2, 3, 4, 7, 9, 10, 11, -1}) {
    stage.setModel(model, 0, 0, 0);
    stage.reset();
    EXPECT_EQ(run(stage, noise), reference) << "model " << model;
  }

  // Taps follow the rate by truncation and stay inside the ring at any rate.
  stage.setFormat(48000);
  stage.setModel(1, 0, 0, 0);
  EXPECT_EQ(delaysOf(stage), (std::vector<int>{6, 14, 22, 46, 68, 82, 100, 114, 144, 577}));
  stage.setFormat(192000);
  EXPECT_EQ(stage.model(), 1);
  EXPECT_EQ(delaysOf(stage).back(), rack::Reflections::kMaxDelay);  // 2310 clamped
  const std::vector<Tap> high = nonZero(reflectionsImpulse(stage, 4096, 64));
  EXPECT_EQ(high.back().delay, rack::Reflections::kMaxDelay);
  EXPECT_FLOAT_EQ(high.back().gain, 0.06f);
}

TEST(CabinetStage, OptionsChangeTapsShelvesAndPresence) {
  rack::CabinetStage stage;
  struct Option1 {
    int model;
    float factor;
    int extraDelay;
    float extraGain;
  };
  for (const Option1& c :
       {Option1{1, 1.4f, 45, -0.25f}, Option1{5, 1.4f, 45, -0.4f}, Option1{6, 1.7f, 51, -0.3f}}) {
    stage.setModel(c.model, 0, 0, 0);
    const std::vector<float> plain = reflectionsImpulse(stage, 1024, 64);
    stage.setModel(c.model, 1, 0, 0);
    const std::vector<float> extra = reflectionsImpulse(stage, 1024, 64);
    const std::vector<Tap> before = nonZero(plain);
    EXPECT_EQ(extra[before[0].delay], before[0].gain);  // the direct sound stays
    for (size_t k = 1; k < before.size(); ++k) {
      const int d = before[k].delay;
      EXPECT_FLOAT_EQ(extra[d], before[k].gain * c.factor) << "model " << c.model << " at " << d;
    }
    EXPECT_EQ(plain[c.extraDelay], 0.0f);
    EXPECT_FLOAT_EQ(extra[c.extraDelay], c.extraGain);
    EXPECT_EQ(nonZero(extra).size(), before.size() + 1);
  }

  // Option 2 weights each tap by its delay over the last listed one, plus 1.2.
  stage.setModel(1, 0, 1, 0);
  const std::vector<float> weighted = reflectionsImpulse(stage, 1024, 64);
  EXPECT_FLOAT_EQ(weighted[6], 1.0f * (6.0f / 530.0f + 1.2f));
  EXPECT_FLOAT_EQ(weighted[105], 0.15f * (105.0f / 530.0f + 1.2f));
  EXPECT_FLOAT_EQ(weighted[530], 0.06f * 2.2f);
  stage.setModel(1, 1, 1, 0);
  EXPECT_FLOAT_EQ(reflectionsImpulse(stage, 1024, 64)[45], -0.25f * (45.0f / 530.0f + 1.2f));

  // ... and darkens the high shelf by 8 dB (12 dB for model 6), leaving the lows alone.
  for (auto [model, cut] : {std::pair{1, 8.0}, std::pair{5, 8.0}, std::pair{6, 12.0}}) {
    stage.setModel(model, 0, 0, 0);
    const double low = cabinetDb(stage, 30), high = cabinetDb(stage, 15000);
    stage.setModel(model, 0, 1, 0);
    EXPECT_NEAR(cabinetDb(stage, 30), low, 0.05) << "model " << model;
    EXPECT_NEAR(high - cabinetDb(stage, 15000), cut, 0.5) << "model " << model;
  }

  // Option 3, measured with sines through the whole stage (the taps are unchanged, so level
  // ratios are the filter chain's): +5 dB of presence at 1100 Hz, less what the lowered low
  // shelf still takes there (its corner is 1000 Hz for models 1 and 5, 200 Hz for model 6).
  const std::vector<float> x = sine(1100.0, 44100, 8192);
  for (auto [model, lo, hi] :
       {std::tuple{1, 3.0, 4.5}, std::tuple{5, 3.0, 4.5}, std::tuple{6, 4.5, 5.2}}) {
    stage.setModel(model, 0, 0, 0);
    stage.reset();
    const double plain = rms(run(stage, x), 4096);
    stage.setModel(model, 0, 0, 1);
    stage.reset();
    const double gain = 20.0 * std::log10(rms(run(stage, x), 4096) / plain);
    EXPECT_GT(gain, lo) << "model " << model;
    EXPECT_LT(gain, hi) << "model " << model;
  }
  stage.setModel(1, 0, 0, 0);
  const double dc = cabinetDb(stage, 25);
  stage.setModel(1, 0, 0, 1);
  EXPECT_NEAR(dc - cabinetDb(stage, 25), 2.5, 0.15);  // the presence peak adds a little there
}

TEST(CabinetStage, SwitchingCabinetsKeepsTheReflectionRing) {
  rack::CabinetStage stage;
  stage.setModel(6, 0, 0, 0);
  std::vector<float> x(512);
  x[0] = 1.0f;
  const std::vector<float> before = run(stage, x);
  // Model 6's reflections and filter tails of the impulse have died away by now ...
  float tail = 0;
  for (int i = 448; i < 512; ++i)
    tail = std::max(tail, std::fabs(before[i]));
  // ... but model 1's 530-sample tap still finds the impulse in the ring.
  stage.setModel(1, 0, 0, 0);
  const std::vector<float> after = run(stage, std::vector<float>(64));
  float early = 0, burst = 0;
  for (int i = 0; i < 18; ++i)
    early = std::max(early, std::fabs(after[i]));
  for (int i = 18; i < 64; ++i)
    burst = std::max(burst, std::fabs(after[i]));
  EXPECT_LT(early, 1.5f * tail);
  EXPECT_GT(burst, 5.0f * early);
  EXPECT_GT(burst, 0.004f);

  // reset() clears the ring and the filters.
  stage.reset();
  stage.setModel(5, 0, 0, 0);
  const std::vector<float> silent = run(stage, std::vector<float>(2048));
  EXPECT_TRUE(std::all_of(silent.begin(), silent.end(), [](float v) { return v == 0.0f; }));
}

TEST(CabinetStage, ProductCabinetsSoundLikeTheirDescriptions) {
  rack::CabinetStage stage;
  auto at = [&](double hz) { return cabinetDb(stage, hz); };

  stage.setModel(1, 0, 0, 0);  // open back 1x12: flat mids, falling above 3 kHz and below 80 Hz
  for (double hz = 250; hz <= 2600; hz *= 1.1)
    EXPECT_NEAR(at(hz), 0.0, 3.0) << hz;
  EXPECT_LT(at(4000), at(1000) - 5);
  EXPECT_LT(at(8000), at(1000) - 20);
  EXPECT_LT(at(40), at(400) - 15);

  stage.setModel(5, 0, 0, 0);  // mod closed 4x10: boomy resonance, mid scoop, falls above 4 kHz
  EXPECT_GT(at(120), at(1000) + 8);
  EXPECT_LT(at(40), at(120) - 15);
  EXPECT_LT(at(1300), at(400) - 4);
  EXPECT_LT(at(1300), at(2600) - 2);
  EXPECT_LT(at(8000), at(1000) - 20);

  stage.setModel(6, 0, 0, 0);  // british 2x12: low bump, deep dip near 1250 Hz, bright 2.6 kHz
  EXPECT_GT(at(150), at(600) + 5);
  EXPECT_LT(at(40), at(150) - 10);
  EXPECT_LT(at(1250), at(800) - 5);
  EXPECT_LT(at(1250), at(2300) - 8);
  EXPECT_LT(at(8000), at(2600) - 15);

  // process() runs the chain these responses describe: a sine comes out at the level of the
  // filters times the taps' comb.
  const std::vector<float> x = sine(500.0, 44100, 8192);
  const std::vector<float> y = run(stage, x);
  std::complex<double> taps = 0;
  for (int k = 0; k < stage.reflections().tapCount(); ++k)
    taps += double(stage.reflections().tapGain(k)) *
            std::polar(1.0,
                       -2.0 * std::numbers::pi * 500.0 * stage.reflections().tapDelay(k) / 44100.0);
  EXPECT_NEAR(20 * std::log10(rms(y, 4096) / rms(x, 4096)), db(taps * stage.filterResponse(500)),
              0.1);
}

TEST(PeakDesign, PeaksCutsFirstOrderAndShelves) {
  dsp::BiquadFilter f;
  f.setFormat(1, 44100);
  // The bilinear transform without prewarping moves the centre down to (fs/pi) atan(w/2fs).
  auto mapped = [](double hz) {
    return 44100.0 / std::numbers::pi * std::atan(6.283 * hz / 88200.0);
  };
  for (auto [gain, hz, q] : {std::tuple{7.0f, 150.0f, 0.9f}, std::tuple{-11.0f, 6400.0f, 1.2f},
                             std::tuple{5.0f, 1100.0f, 0.8f}}) {
    rack::designPeak(f, gain, hz, q);
    double extreme = 0, where = 0;
    for (double t = 10; t < 22000; t *= 1.001) {
      const double g = db(f.response(t));
      if (std::fabs(g) > std::fabs(extreme)) extreme = g, where = t;
    }
    EXPECT_NEAR(extreme, gain, 0.02) << hz;
    EXPECT_NEAR(where / mapped(hz), 1.0, 0.005) << hz;
    EXPECT_NEAR(db(f.response(0.0)), 0.0, 1e-3) << hz;
    EXPECT_NEAR(db(f.response(22050.0)), 0.0, 1e-3) << hz;
    EXPECT_NEAR(db(f.response(hz / 30.0)), 0.0, 0.1) << hz;
  }

  // A first-order low-pass in a biquad section: the bilinear image of w / (s + w), with its one
  // pole inside the unit circle at every rate.
  for (int rate : {8000, 22050, 44100, 48000, 96000, 192000}) {
    f.setFormat(1, rate);
    rack::designFirstOrder(f, 0.0f, 19477.3f, 1.0f, 19477.3f);
    const dsp::BiquadFilter::Coefficients c = f.coefficients();
    EXPECT_EQ(c.a2, 0.0f);
    EXPECT_LT(std::fabs(c.a1), 1.0f);
    for (double hz : {100.0, 3100.0, rate / 4.0}) {
      const std::complex<double> s(0.0, 2.0 * rate * std::tan(std::numbers::pi * hz / rate));
      EXPECT_NEAR(std::abs(f.response(hz) - 19477.3 / (s + 19477.3)), 0.0, 1e-5) << rate;
    }
  }

  // Shelves: g at DC; at the top the high shelf's gain and the low shelf's turnover.
  f.setFormat(1, 44100);
  const double kOctaveDb = 20.0 * std::log10(2.0) / 6.0;  // 2^(G/6) is slightly more than G dB
  for (auto [high, highHz, low, lowHz] :
       {std::tuple{6.0f, 2600.0f, 2.0f, 200.0f}, std::tuple{-8.0f, 1000.0f, -2.5f, 1000.0f},
        std::tuple{-6.0f, 2600.0f, -0.5f, 200.0f}, std::tuple{0.0f, 800.0f, 0.0f, 1000.0f}}) {
    rack::designShelves(f, high, highHz, low, lowHz);
    EXPECT_NEAR(db(f.response(0.0)), low, 1e-3);
    EXPECT_NEAR(db(f.response(22050.0)), low + (high - low) * kOctaveDb, 1e-3);
    if (high == 0.0f && low == 0.0f) {
      EXPECT_NEAR(db(f.response(1000.0)), 0.0, 1e-4);
    }
  }
}

TEST(CabinetStage, ProcessAndModelChangesAllocateNothing) {
  rack::CabinetStage stage;
  std::vector<float> buffer = testsupport::whiteNoise(4096, 0.5f);
  testsupport::AllocationCounter counter;
  for (int model : {1, 5, 6, 8, 2}) {
    stage.setModel(model, 1, 1, 1);
    stage.process(buffer.data(), buffer.data(), 64);
    stage.process(buffer.data(), buffer.data(), 4096);
  }
  stage.reset();
  EXPECT_EQ(counter.count(), 0u);
}

}  // namespace
