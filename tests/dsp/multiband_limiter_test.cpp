#include "dsp/multiband_limiter.h"
#include "dsp_test_helpers.h"

namespace {

using dsptest::dB;

enum Controller { kDrive = 119, kOverload = 120, kReleaseTime = 121, kSplit1 = 22, kSplit2 = 23 };
// Each band's Attack, Release, Drive and Threshold, from controller 10 on.
enum BandOffset { kAttack = 0, kRelease, kBandDrive, kThreshold };
constexpr int bandController(int band, int offset) {
  return 10 + 4 * band + offset;
}

using Rig = testsupport::EffectRig<dsp::MultibandLimiter>;

// Amplitude of a whole-numbered frequency, an exact bin over the signal's last second.
double amplitudeAt(const std::vector<float>& v, double hz) {
  std::complex<double> acc;
  for (int i = 0; i < 44100; ++i)
    acc += double(v[v.size() - 44100 + i]) * std::polar(1.0, -dsptest::kTwoPi * hz * i / 44100);
  return 2.0 * std::abs(acc) / 44100;
}

TEST(MultibandLimiter, BandsSumBackToTheInputBelowThreshold) {
  struct Case {
    int channels, rate, split1, split2;
  };
  for (Case k : {Case{1, 44100, 64, 64}, Case{2, 44100, 0, 0}, Case{1, 44100, 127, 127},
                 Case{2, 96000, 0, 127}, Case{1, 48000, 127, 0}, Case{1, 22050, 64, 127}}) {
    SCOPED_TRACE("channels " + std::to_string(k.channels) + " rate " + std::to_string(k.rate) +
                 " splits " + std::to_string(k.split1) + "/" + std::to_string(k.split2));
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
      // The magnitude response at sixth-octave steps from 20 Hz to 20 kHz.
      double worst = 0.0;
      for (double hz = 20.0; hz <= std::min(20000.0, 0.49 * k.rate); hz *= std::exp2(1.0 / 6)) {
        const double gain = std::abs(testsupport::dtft(h, hz, k.rate)) / std::fabs(amplitude[c]);
        worst = std::max(worst, std::fabs(dB(gain)));
      }
      EXPECT_LT(worst, 0.1) << "channel " << c;
    }
    for (int m = 0; m < 4; ++m)
      EXPECT_EQ(rig.fx.getMeter(m), 1.0f);
  }
}

TEST(MultibandLimiter, CeilingHoldsAtDriveMax) {
  struct Signal {
    const char* name;
    std::vector<float> mono;
  };
  const std::vector<Signal> signals = {{"noise", testsupport::whiteNoise(44100, 1.0f, 5)},
                                       {"sine 50 Hz", dsptest::sine(44100, 50, 1.0f)}};
  // Bands at their defaults, and bands pushed hard and slow so the output stage does the work.
  for (bool bandsOpen : {false, true}) {
    for (int overload : {0, 64, 127}) {
      const float ceiling = std::pow(10.0f, 0.05f * (overload - 127) / 20.0f);
      for (const Signal& s : signals) {
        SCOPED_TRACE(std::string(s.name) + " overload " + std::to_string(overload) +
                     (bandsOpen ? " bands open" : ""));
        Rig rig(2);
        rig.cc(kDrive, 127);
        rig.cc(kOverload, overload);
        for (int b = 0; bandsOpen && b < 3; ++b) {
          rig.cc(bandController(b, kAttack), 127);
          rig.cc(bandController(b, kBandDrive), 127);
          rig.cc(bandController(b, kThreshold), 127);
        }
        rig.settle();
        std::vector<float> in;
        for (float x : s.mono) {
          in.push_back(x);
          in.push_back(-x);
        }
        const std::vector<float> out = rig.feed(in);
        const auto [lo, hi] = std::minmax_element(out.begin(), out.end());
        const float peak = std::max(-*lo, *hi);
        EXPECT_LE(peak, ceiling * (1.0f + 1e-6f));
        EXPECT_GT(peak, 0.9f * ceiling);
        // With the bands open the output stage holds the level down all along.
        if (bandsOpen) {
          EXPECT_LT(rig.fx.getMeter(3), 1.0f);
        }
      }
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
    // Whatever is not one of the three tones is distortion: the held gain does not ripple.
    double residual = 0.0;
    for (size_t i = out.size() - 44100; i < out.size(); ++i)
      residual += double(out[i]) * out[i] / 44100;
    for (int b = 0; b < 3; ++b) {
      const double a = amplitudeAt(out, hz[b]);
      residual -= a * a / 2;
      if (b == loud) {
        // 0.9 is 11 dB over the threshold; the default attack lets about 1 dB through.
        EXPECT_LT(rig.fx.getMeter(b), 0.5f);
        EXPECT_NEAR(dB(a / threshold), 0.0, 1.5);
      } else {
        EXPECT_EQ(rig.fx.getMeter(b), 1.0f) << b;
        EXPECT_NEAR(dB(a / 0.01), 0.0, 0.05) << b;
      }
    }
    EXPECT_LT(10.0 * std::log10(residual / (threshold * threshold / 2)), -80.0);
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
                 Case{bandController(1, kBandDrive), 0, 997, -12.0, 0.2},
                 Case{bandController(2, kBandDrive), 0, 16001, -12.0, 0.05},
                 Case{bandController(1, kBandDrive), 0, 41, 0.0, 0.05}}) {
    SCOPED_TRACE("controller " + std::to_string(k.controller) + " = " + std::to_string(k.value) +
                 " at " + std::to_string(k.hz) + " Hz");
    Rig rig(1);
    rig.cc(k.controller, k.value);
    rig.settle();
    const std::vector<float> out = rig.feed(dsptest::sine(88200, k.hz, 0.001f));
    EXPECT_NEAR(dB(amplitudeAt(out, k.hz) / 0.001), k.expectedDb, k.tolerance);
  }
}

TEST(MultibandLimiter, ReleaseTimeScalesRecovery) {
  struct Case {
    int releaseTime, release2;
    double seconds;  // the mid band's release time constant
  };
  for (Case k :
       {Case{64, 64, 0.08}, Case{0, 64, 0.02}, Case{127, 64, 0.08 * std::pow(4.0, 63 / 64.0)},
        Case{64, 0, 0.005}, Case{64, 127, 0.005 * std::exp2(127 / 16.0)}}) {
    SCOPED_TRACE(std::to_string(k.releaseTime) + ", " + std::to_string(k.release2));
    Rig rig(1);
    rig.cc(kReleaseTime, k.releaseTime);
    rig.cc(bandController(1, kRelease), k.release2);
    rig.settle();
    rig.feed(dsptest::sine(22050, 997, 0.9f));
    ASSERT_LT(rig.fx.getMeter(1), 0.45f);
    // Eight frames at a time through the silence; the gain climbs 1 - g = e^(-t / tau).
    std::vector<float> silence(8, 0.0f);
    int frames = 0, halfway = -1, recovered = -1;
    while (recovered < 0 && frames < 10 * 44100) {
      rig.feed(silence);
      frames += 8;
      const float g = rig.fx.getMeter(1);
      if (halfway < 0 && g >= 0.5f) halfway = frames;
      if (g >= 0.9f) recovered = frames;
    }
    const double tau = (recovered - halfway) / 44100.0 / std::log(5.0);
    EXPECT_NEAR(tau, k.seconds, 0.05 * k.seconds + 16 / 44100.0);
  }
}

}  // namespace
