#include "dsp/stereo_compressor.h"
#include "dsp_test_helpers.h"

namespace {

constexpr int kRate = 44100;
enum Controller { kDrive = 116, kStereoEhn = 118 };

using Rig = testsupport::EffectRig<dsp::StereoCompressor>;

TEST(StereoCompressor, QuietSignalsSeeTheThresholds) {
  for (auto [drive, ehn] : {std::pair{64, 64}, {0, 64}, {127, 127}, {32, 0}}) {
    SCOPED_TRACE("drive " + std::to_string(drive) + " ehn " + std::to_string(ehn));
    const double driveDb = 30.0 * drive / 128.0 - 15.0, enhanceDb = ehn / 12.8 - 5.0;
    const double midGain = std::pow(10.0, driveDb / 20.0);
    // The side core's threshold times the side gain used to rebuild left and right.
    const double sideGain = std::pow(10.0, (driveDb + enhanceDb) / 20.0);
    Rig mono(1);
    mono.cc(kDrive, drive);
    mono.settle();
    EXPECT_NEAR(mono.feed({0.25f, 0.0f})[0], 0.25 * midGain, 1e-6 * midGain);
    // L = R is pure mid (2x), L = -R pure side.
    for (float sign : {1.0f, -1.0f}) {
      Rig st(2);
      st.cc(kDrive, drive);
      st.cc(kStereoEhn, ehn);
      st.settle();
      const std::vector<float> o = st.feed({0.25f, sign * 0.25f});
      const double expected = 0.5 * (sign > 0 ? midGain : sideGain);
      EXPECT_NEAR(o[0], expected, 1e-6 * expected);
      EXPECT_NEAR(o[1], sign * expected, 1e-6 * expected);
    }
  }
}

TEST(StereoCompressor, GainNeverFallsBelowOnePercent) {
  Rig rig(1);
  rig.cc(kDrive, 127);  // the highest threshold compresses hardest
  rig.settle();
  std::vector<float> in;
  for (float amplitude : {1.0f, 30.0f, 1000.0f, 1e5f}) {
    const std::vector<float> noise = testsupport::whiteNoise(kRate / 2, amplitude, 3);
    in.insert(in.end(), noise.begin(), noise.end());
  }
  const std::vector<float> out = rig.feed(in);
  const double ceiling = std::pow(10.0, (30.0 * 127 / 128 - 15.0) / 20.0);
  double lowest = 1e9;
  for (size_t i = 0; i < in.size(); ++i) {
    if (std::fabs(in[i]) < 1e-3f) continue;
    lowest = std::min(lowest, double(out[i]) / in[i]);
    ASSERT_LE(out[i] / in[i], ceiling * (1 + 1e-6)) << i;
  }
  EXPECT_NEAR(lowest, 0.01, 1e-7);
  EXPECT_LT(rig.fx.getMeter(0), 0.0f);  // the reading itself is not limited
}

TEST(StereoCompressor, MetersFallUnderLoadAndRecoverAfterwards) {
  Rig rig(2);
  rig.settle();
  // A mid-only tone (L = R) works the mid core alone and turns the output down.
  std::vector<float> in;
  for (float x : dsptest::sine(kRate / 4, 220, 0.5f))
    in.insert(in.end(), {x, x});
  const std::vector<float> out = rig.feed(in);
  const float loaded = rig.fx.getMeter(0);
  EXPECT_LT(loaded, 0.8f);
  EXPECT_FLOAT_EQ(rig.fx.getMeter(1), 1.0f);
  EXPECT_LT(*std::max_element(out.end() - 2 * 400, out.end()), 0.8f);
  rig.feed(std::vector<float>(2 * kRate, 0.0f));
  EXPECT_GT(rig.fx.getMeter(0), loaded);
  rig.fx.reset();
  EXPECT_FLOAT_EQ(rig.fx.getMeter(0), 1.0f);
}

}  // namespace
