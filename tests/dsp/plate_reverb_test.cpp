#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "dsp/allpass_diffuser.h"
#include "dsp/plate_reverb.h"
#include "support/signals.h"

namespace {

using dsp::TPlateReverb;

constexpr int kN = TPlateReverb::kTankSize;
constexpr int kTime = 89, kLevel = 104, kAmbient = 103;

// W1..W4, R1..R4, P1..P14 at 44100 Hz.
constexpr int kLong[] = {7585, 8612, 7587, 8169, 6241, 4681, 6590, 5506, 1737, 5745, 4468,
                         2831, 496,  6885, 4110, 3942, 1519, 6365, 277,  1817, 4241, 6619};
constexpr int kShort[] = {3791, 4306, 3792, 4084, 3119, 2339, 3295, 2753, 839, 2873, 2234,
                          1417, 248,  3444, 2056, 1970, 758,  3181, 139,  907, 2120, 3309};

// Sends controller values, then runs silence until every glide has arrived.
void settle(TPlateReverb& fx, std::initializer_list<std::pair<int, int>> controllers) {
  for (auto [cc, v] : controllers)
    fx.processEvent(dsp::EffectEvent::controller(uint8_t(cc), uint8_t(v)));
  std::vector<float> silence(128 * fx.outputChannels(), 0.0f);
  for (int i = 0; i < 45; ++i)
    fx.process(silence.data(), silence.data(), 128);
}

void expectIndices(const TPlateReverb& fx, const int* table, int advanced) {
  const auto& ix = fx.tankIndices();
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(ix.w[k], (table[k] + advanced) % kN) << "W" << k + 1;
    EXPECT_EQ(ix.r[k], (table[4 + k] + advanced) % kN) << "R" << k + 1;
    EXPECT_EQ(ix.o[k], advanced % kN) << "O" << k + 1;
  }
  for (int k = 0; k < 14; ++k)
    EXPECT_EQ(ix.p[k], (table[8 + k] + advanced) % kN) << "P" << k + 1;
}

TEST(AllpassDiffuser, RecirculatesWithADirectPathOfMinusG) {
  dsp::AllpassDiffuser d;
  d.setLength(256);
  EXPECT_EQ(d.size(), 512);  // strictly greater than the length
  d.setLength(210);
  EXPECT_EQ(d.size(), 256);
  const float g = 0.6f;
  d.setCoefficient(g);
  d.reset();
  std::vector<float> x(1000, 0.0f);
  x[0] = 1.0f;
  d.process(x.data(), x.data(), 1000);
  for (int i = 0; i < 1000; ++i) {
    const float expected = i == 0 ? -g : i % 210 ? 0.0f : std::pow(g, float(i / 210 - 1));
    ASSERT_NEAR(x[i], expected, 1e-6f) << i;
  }
}

TEST(PlateReverb, PassesInputThroughUntilResetAndAfterInvalidate) {
  TPlateReverb fx(nullptr, 0);
  fx.reset();  // without a format there is no tank to run on
  const std::vector<float> in = testsupport::whiteNoise(2 * 300, 0.5f, 1);
  std::vector<float> out(in.size());
  fx.process(out.data(), in.data(), 600);  // one channel until setFormat
  EXPECT_EQ(out, in);
  fx.setFormat(2, 44100);
  fx.process(out.data(), in.data(), 300);
  EXPECT_EQ(out, in);
  fx.reset();
  fx.process(out.data(), in.data(), 300);
  EXPECT_NE(out, in);
  fx.invalidate();
  fx.process(out.data(), in.data(), 300);
  EXPECT_EQ(out, in);
}

TEST(PlateReverb, TankIndicesFollowTheTablesAndStayInside) {
  TPlateReverb fx(nullptr, 0);
  fx.setFormat(2, 44100);
  fx.reset();
  expectIndices(fx, kLong, 0);
  // The first all-passes wander: 16 samples shorter, then back to 17 longer, both halves alike.
  std::vector<float> buf(2 * 128, 0.0f);
  int shortest = kN, longest = 0;
  for (int i = 0; i < 1601 * 70 / 128; ++i) {
    fx.process(buf.data(), buf.data(), 128);
    const auto& ix = fx.tankIndices();
    const int a = (ix.w[0] - ix.r[0] + kN) % kN, b = (ix.w[2] - ix.r[2] + kN) % kN;
    ASSERT_EQ(a - 1344, b - 997);
    shortest = std::min(shortest, a);
    longest = std::max(longest, a);
  }
  EXPECT_EQ(shortest, 1344 - 16);
  EXPECT_EQ(longest, 1344 + 17);

  settle(fx, {{kAmbient, 0}});
  fx.reset();
  expectIndices(fx, kShort, 0);

  // Above about 125 kHz the long table no longer fits: the tank doubles instead of wrapping.
  for (int rate : {8000, 22050, 48000, 125000, 128000, 192000}) {
    TPlateReverb r(nullptr, 0);
    r.setFormat(2, rate);
    r.reset();
    EXPECT_EQ(r.tankSize(), rate < 126000 ? kN : 2 * kN) << rate;
    EXPECT_EQ(r.tankIndices().w[1], int(int64_t(rate) * 8612 / 44100)) << rate;
  }
}

TEST(PlateReverb, TimeSetsTheDecay) {
  TPlateReverb fx(nullptr, 0);
  fx.setFormat(2, 44100);
  settle(fx, {{kTime, 0}});
  EXPECT_NEAR(fx.decayTime(), 0.8, 1e-5);
  EXPECT_NEAR(fx.decay(), 0.0750, 5e-5);
  settle(fx, {{kTime, 64}});
  EXPECT_NEAR(fx.decayTime(), 3.34, 0.005);
  EXPECT_NEAR(fx.decay(), 0.537, 0.001);
}

TEST(PlateReverb, AmbientChangeWhileActiveRestartsTheTail) {
  TPlateReverb fx(nullptr, 0);
  fx.setFormat(2, 44100);
  for (int ambient : {0, 64}) {
    fx.reset();
    std::vector<float> buf(2 * 128, 0.0f);
    buf[0] = 1.0f;
    for (int i = 0; i < 200; ++i) {
      fx.process(buf.data(), buf.data(), 128);
      if (i == 0) std::fill(buf.begin(), buf.end(), 0.0f);
    }
    EXPECT_GT(*std::max_element(buf.begin(), buf.end()), 1e-4f);  // a tail is ringing
    std::fill(buf.begin(), buf.end(), 0.0f);
    fx.processEvent(dsp::EffectEvent::controller(kAmbient, uint8_t(ambient)));
    fx.process(buf.data(), buf.data(), 128);
    EXPECT_TRUE(fx.active());
    for (float v : buf)
      ASSERT_LT(std::fabs(v), 1e-12f);
    expectIndices(fx, ambient == 0 ? kShort : kLong, 128);
  }
}

TEST(PlateReverb, LevelSetsTheDryShareAndChannelsTheWetGain) {
  TPlateReverb stereo(nullptr, 0), mono(nullptr, 0), inPlace(nullptr, 0);
  stereo.setFormat(2, 44100);
  mono.setFormat(1, 44100);
  inPlace.setFormat(2, 44100);
  for (auto* fx : {&stereo, &mono, &inPlace})
    fx->reset();
  // Nothing reaches the taps in the first frame: that is the dry share alone.
  std::vector<float> s(2 * 128, 0.0f), so(2 * 128);
  s[0] = 1.0f;
  stereo.process(so.data(), s.data(), 128);
  EXPECT_FLOAT_EQ(so[0], 0.0078125f);
  EXPECT_EQ(so[1], 0.0f);
  stereo.reset();

  // The same signal as L into the stereo plate and alone into the mono one: the mono wet part
  // is twice the left one. Processing in place changes nothing.
  for (int block = 0; block < 100; ++block) {
    const std::vector<float> x = testsupport::whiteNoise(128, 0.5f, block);
    for (int i = 0; i < 128; ++i)
      s[2 * i] = x[i];
    std::vector<float> mo(128), buf = s;
    stereo.process(so.data(), s.data(), 128);
    mono.process(mo.data(), x.data(), 128);
    inPlace.process(buf.data(), buf.data(), 128);
    ASSERT_EQ(buf, so);
    for (int i = 0; i < 128; ++i) {
      const float dry = 0.0078125f * x[i];
      ASSERT_NEAR(mo[i] - dry, 2.0f * (so[2 * i] - dry), 1e-5f);
    }
  }

  settle(stereo, {{kLevel, 0}});
  const std::vector<float> y = testsupport::whiteNoise(2 * 128, 0.5f, 4);
  stereo.process(so.data(), y.data(), 128);
  EXPECT_EQ(so, y);
}

}  // namespace
