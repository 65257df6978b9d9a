#include "dsp/allpass_diffuser.h"
#include "dsp/hall_reverb.h"
#include "dsp/plate_reverb.h"
#include "dsp/room_reverb.h"
#include "dsp_test_helpers.h"

namespace {

using dsp::TankReverb;

constexpr int kN = TankReverb::kTankSize, kTime = 89;

std::unique_ptr<TankReverb> makeSpace(int which, int rate = 44100) {
  std::unique_ptr<TankReverb> fx;
  if (which == 0) fx = std::make_unique<dsp::THallReverb>(nullptr, 0);
  if (which == 1) fx = std::make_unique<dsp::TPlateReverb>(nullptr, 0);
  if (which == 2) fx = std::make_unique<dsp::TRoomReverb>(nullptr, 0);
  fx->setFormat(2, rate);
  return fx;
}

TEST(AllpassDiffuser, RecirculatesWithADirectPathOfMinusG) {
  dsp::AllpassDiffuser d;
  d.setLength(256);
  EXPECT_EQ(d.size(), 512);  // strictly greater than the length
  d.setLength(210);
  EXPECT_EQ(d.size(), 256);
  d.setCoefficient(0.6f);
  d.reset();
  std::vector<float> x(1000, 0.0f);
  x[0] = 1.0f;
  d.process(x.data(), x.data(), 1000);
  for (int i = 0; i < 1000; ++i) {
    const float expected = i == 0 ? -0.6f : i % 210 ? 0.0f : std::pow(0.6f, float(i / 210 - 1));
    ASSERT_NEAR(x[i], expected, 1e-6f) << i;
  }
}

TEST(ReverbSpaces, PassInputThroughUntilResetAndAfterInvalidateThenStartDry) {
  const std::vector<float> in = testsupport::whiteNoise(2 * 300, 0.5f, 1);
  std::vector<float> out(in.size());
  dsp::TPlateReverb unformatted(nullptr, 0);
  unformatted.reset();                              // without a format there is no tank to run on
  unformatted.process(out.data(), in.data(), 600);  // one channel until setFormat
  EXPECT_EQ(out, in);
  for (int which : {0, 1, 2}) {
    auto fx = makeSpace(which);
    fx->process(out.data(), in.data(), 300);
    EXPECT_EQ(out, in) << which;
    fx->reset();
    fx->process(out.data(), in.data(), 300);
    EXPECT_NE(out, in) << which;
    fx->invalidate();
    fx->process(out.data(), in.data(), 300);
    EXPECT_EQ(out, in) << which;
  }
  // Nothing reaches the plate's taps in the first frame after a reset: that is the dry share.
  auto plate = makeSpace(1);
  plate->reset();
  std::vector<float> impulse(2 * 128, 0.0f);
  impulse[0] = 1.0f;
  plate->process(out.data(), impulse.data(), 128);
  EXPECT_FLOAT_EQ(out[0], 0.0078125f);
  EXPECT_EQ(out[1], 0.0f);
}

TEST(PlateReverb, TankDoublesWhenTheLongTableNoLongerFits) {
  // Above about 125 kHz the tank doubles instead of wrapping.
  for (int rate : {22050, 125000, 128000}) {
    auto r = makeSpace(1, rate);
    r->reset();
    EXPECT_EQ(r->tankSize(), rate < 126000 ? kN : 2 * kN) << rate;
    EXPECT_EQ(r->tankIndices().w[1], int(int64_t(rate) * 8612 / 44100)) << rate;
  }
}

// T60 of a left impulse: twice the -5 to -35 dB time of the backward-integrated energy.
double measureT60(TankReverb& fx, double expected) {
  const int frames = int(fx.sampleRate() * (1.5 * expected + 0.5));
  std::vector<float> in(2 * frames, 0.0f), out(2 * frames);
  in[0] = 1.0f;
  fx.reset();
  for (int pos = 0; pos < frames; pos += 128)
    fx.process(out.data() + 2 * pos, in.data() + 2 * pos, std::min(128, frames - pos));
  std::vector<double> decay(frames + 1, 0.0);
  for (int i = frames - 1; i >= 0; --i)
    decay[i] =
        decay[i + 1] + double(out[2 * i]) * out[2 * i] + double(out[2 * i + 1]) * out[2 * i + 1];
  auto reach = [&](double db) {
    int i = 0;
    while (i < frames && 10.0 * std::log10(decay[i] / decay[0]) > db)
      ++i;
    return double(i) / fx.sampleRate();
  };
  return 2.0 * (reach(-35.0) - reach(-5.0));
}

TEST(ReverbSpaces, HallOutlastsPlateOutlastsRoomAtEveryTime) {
  for (int time : {0, 64, 127}) {
    double t60[3];
    for (int which = 0; which < 3; ++which) {
      auto fx = makeSpace(which);
      testsupport::settleWith(*fx, {{kTime, time}});
      // The plate's tail outlasts its decayTime by its loop's ratio to 0.3 s; at Time 0 the first
      // passes through the tank dominate and the tail runs long.
      const double nominal = fx->decayTime() * (which == 1 ? 15976.5 / (0.3 * 44100) : 1.0);
      t60[which] = measureT60(*fx, nominal);
      EXPECT_GT(t60[which], 0.8 * nominal) << which << " " << time;
      EXPECT_LT(t60[which], (time == 0 ? 1.6 : 1.2) * nominal) << which << " " << time;
    }
    EXPECT_GT(t60[0], 1.2 * t60[1]) << time;
    EXPECT_GT(t60[1], 2.0 * t60[2]) << time;
  }
  auto plate = makeSpace(1);
  testsupport::settleWith(*plate, {{kTime, 0}});
  EXPECT_NEAR(plate->decayTime(), 0.8, 1e-5);
  EXPECT_NEAR(plate->decay(), 0.0750, 5e-5);
  testsupport::settleWith(*plate, {{kTime, 64}});
  EXPECT_NEAR(plate->decayTime(), 3.34, 0.005);
  EXPECT_NEAR(plate->decay(), 0.537, 0.001);

  // At 96 kHz the hall's tank doubles and its tail lasts as long.
  auto hall = makeSpace(0), fast = makeSpace(0, 96000);
  EXPECT_EQ(fast->tankSize(), 2 * kN);
  EXPECT_NEAR(measureT60(*fast, fast->decayTime()) / measureT60(*hall, hall->decayTime()), 1.0,
              0.1);
}

}  // namespace
