#include "rack/power_sag.h"
#include "rack_signals.h"

namespace {

constexpr int kRate = racktest::kRate;

float fromDb(float x) {
  return std::pow(10.0f, x / 20.0f);
}

float heldGain(rack::PowerSag& sag, float level, int frames) {
  std::vector<float> in(frames, level), out(frames);
  sag.process(out.data(), in.data(), frames);
  return out.back() / level;
}

// After a held level the gain settles at out / (1 + |level| in); stereo shares one gain.
TEST(PowerSag, HeldLevelsStereoAndAnyBlockLength) {
  for (float inDb : {-3.0f, 0.0f, 10.0f}) {
    rack::PowerSag sag;
    sag.setFormat(1, kRate);
    sag.setInputGainDb(inDb);
    sag.setOutputGainDb(1.0f);
    for (float level : {0.1f, -0.5f, 3.0f}) {
      // The float smoother's DC gain is 1 only to about 1e-4.
      EXPECT_NEAR(heldGain(sag, level, kRate),
                  fromDb(1.0f) / (1.0f + std::fabs(level) * fromDb(inDb)), 1e-4f)
          << inDb << " dB, level " << level;
    }
    sag.reset();
    EXPECT_NEAR(heldGain(sag, 1e-6f, 1), fromDb(1.0f), 1e-5f);  // at rest
  }

  rack::PowerSag whole, pieces;  // stereo
  // Block length changes only the rounding (the smoother steps several samples at a time).
  const std::vector<float> noise = testsupport::whiteNoise(2 * 3000, 0.9f);
  std::vector<float> a(noise.size()), b = noise;
  whole.process(a.data(), noise.data(), 3000);
  int done = 0;
  for (int n : {1, 37, 64, 200, 5, 1000, 1693}) {
    pieces.process(b.data() + 2 * done, b.data() + 2 * done, n);  // in place
    done += n;
  }
  for (size_t i = 0; i < a.size(); i += 2) {
    ASSERT_NEAR(a[i], b[i], 1e-6f) << "sample " << i;
    ASSERT_NEAR(a[i + 1], b[i + 1], 1e-6f) << "sample " << i + 1;
    ASSERT_NEAR(a[i] / noise[i], a[i + 1] / noise[i + 1], 1e-5f) << "one gain for both channels";
  }
}

}  // namespace
