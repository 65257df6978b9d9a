#include "dsp/multiband_limiter.h"
#include "dsp_test_helpers.h"

namespace {

using dsptest::dB;

enum Controller { kDrive = 119, kOverload = 120, kSplit1 = 22, kSplit2 = 23 };
// Each band's Attack, Release, Drive and Threshold, from controller 10 on.
enum BandOffset { kAttack = 0, kRelease, kBandDrive, kThreshold };
constexpr int bandController(int band, int offset) {
  return 10 + 4 * band + offset;
}

using Rig = testsupport::EffectRig<dsp::MultibandLimiter>;

TEST(MultibandLimiter, BandsSumBackToTheInputBelowThreshold) {
  struct Case {
    int channels, rate, split1, split2;
  };
  for (Case k : {Case{1, 44100, 64, 64}, Case{2, 44100, 0, 0}, Case{1, 44100, 127, 127},
                 Case{2, 96000, 0, 127}, Case{1, 48000, 127, 0}, Case{1, 22050, 64, 127}}) {
    SCOPED_TRACE(testing::Message() << k.channels << " channels at " << k.rate << ", splits "
                                    << k.split1 << " and " << k.split2);
    Rig rig(k.channels, k.rate);
    rig.cc(kSplit1, k.split1);
    rig.cc(kSplit2, k.split2);
    rig.settle();
    const int latency = rig.fx.latency();
    EXPECT_EQ(latency, static_cast<int>(std::lround(0.0015 * k.rate)));

    // Impulses well below every threshold; the right channel's is smaller and inverted.
    const float amplitude[2] = {0.01f, -0.004f};
    std::vector<float> in(32768 * k.channels, 0.0f);
    for (int c = 0; c < k.channels; ++c)
      in[c] = amplitude[c];
    const std::vector<float> out = rig.feed(in);
    for (int c = 0; c < k.channels; ++c) {
      std::vector<float> h;
      for (size_t i = c; i < out.size(); i += k.channels)
        h.push_back(out[i]);
      EXPECT_EQ(std::find_if(h.begin(), h.end(), [](float v) { return v != 0.0f; }) - h.begin(),
                latency);
      double worst = 0.0;
      for (double hz = 20.0; hz <= std::min(20000.0, 0.49 * k.rate); hz *= std::exp2(1.0 / 6)) {
        const double gain = std::abs(testsupport::dtft(h, hz, k.rate)) / std::fabs(amplitude[c]);
        worst = std::max(worst, std::fabs(dB(gain)));
      }
      EXPECT_LT(worst, 0.1) << "channel " << c;
    }
  }
}

TEST(MultibandLimiter, CeilingHoldsAtDriveMax) {
  // Bands pushed hard and slow, so that the output stage does the work all along.
  const std::vector<float> signals[] = {testsupport::whiteNoise(44100, 1.0f, 5),
                                        dsptest::sine(44100, 50, 1.0f)};
  for (int overload : {0, 64, 127}) {
    const float ceiling = std::pow(10.0f, 0.05f * (overload - 127) / 20.0f);
    for (const std::vector<float>& mono : signals) {
      SCOPED_TRACE("overload " + std::to_string(overload) +
                   (&mono == signals ? " noise" : " sine"));
      Rig rig(2);
      rig.cc(kDrive, 127);
      rig.cc(kOverload, overload);
      for (int b = 0; b < 3; ++b)
        for (int offset : {kAttack, kBandDrive, kThreshold})
          rig.cc(bandController(b, offset), 127);
      rig.settle();
      std::vector<float> in;
      for (float x : mono)
        in.insert(in.end(), {x, -x});
      const std::vector<float> out = rig.feed(in);
      const auto [lo, hi] = std::minmax_element(out.begin(), out.end());
      const float peak = std::max(-*lo, *hi);
      EXPECT_LE(peak, ceiling * (1.0f + 1e-6f));
      EXPECT_GT(peak, 0.9f * ceiling);
      EXPECT_LT(rig.fx.getMeter(3), 1.0f);
    }
  }
}

TEST(MultibandLimiter, EachBandLimitsOnlyItsBand) {
  // Tones well inside the default bands (splits at 200 Hz and 4 kHz).
  const double hz[3] = {41, 997, 16001};
  const double threshold = std::pow(10.0, -12.0 / 20.0);  // Threshold 64
  for (int loud = 0; loud < 3; ++loud) {
    SCOPED_TRACE("loud band " + std::to_string(loud));
    Rig rig(1);
    std::vector<float> mix(66150, 0.0f);
    for (int b = 0; b < 3; ++b) {
      const std::vector<float> tone = dsptest::sine(66150, hz[b], b == loud ? 0.9f : 0.01f);
      std::transform(mix.begin(), mix.end(), tone.begin(), mix.begin(), std::plus<float>());
    }
    const std::vector<float> out = rig.feed(mix);
    for (int b = 0; b < 3; ++b) {
      const double a = dsptest::amplitudeAt(out, hz[b]);
      if (b == loud) {
        // 0.9 is 11 dB over the threshold; the default attack lets about 1 dB through.
        EXPECT_LT(rig.fx.getMeter(b), 0.5f);
        EXPECT_NEAR(dB(a / threshold), 0.0, 1.5);
      } else {
        EXPECT_EQ(rig.fx.getMeter(b), 1.0f) << b;
        EXPECT_NEAR(dB(a / 0.01), 0.0, 0.05) << b;
      }
    }
    // The output stage caught the onset and has let go completely since.
    EXPECT_EQ(rig.fx.getMeter(3), 1.0f);
  }
}

TEST(MultibandLimiter, QuietSignalsFollowTheDrives) {
  // A band's drive is exact only where the neighbours' skirts have faded.
  struct Case {
    int controller, value;
    double hz, expectedDb, tolerance;
  };
  for (Case k : {Case{kDrive, 127, 997, 20.5, 0.01}, Case{kDrive, 0, 997, -11.25, 0.01},
                 Case{bandController(0, kBandDrive), 127, 41, 11.8125, 0.05},
                 Case{bandController(2, kBandDrive), 0, 16001, -12.0, 0.05},
                 Case{bandController(1, kBandDrive), 0, 41, 0.0, 0.05}}) {
    SCOPED_TRACE(testing::Message() << "controller " << k.controller << " = " << k.value);
    Rig rig(1);
    rig.cc(k.controller, k.value);
    rig.settle();
    const std::vector<float> out = rig.feed(dsptest::sine(88200, k.hz, 0.001f));
    EXPECT_NEAR(dB(dsptest::amplitudeAt(out, k.hz) / 0.001), k.expectedDb, k.tolerance);
  }
}

}  // namespace
