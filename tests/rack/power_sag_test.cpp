#include "rack/power_sag.h"
#include "rack_signals.h"

namespace {

constexpr int kRate = racktest::kRate;

// Runs `seconds` of a held mono level and returns the gain out / in of every sample.
std::vector<float> holdLevel(rack::PowerSag& sag, float level, double seconds) {
  const int n = int(seconds * kRate);
  std::vector<float> in(n, level), out(n);
  sag.process(out.data(), in.data(), n);
  for (int i = 0; i < n; ++i)
    out[i] /= level;
  return out;
}

// Seconds until the gain has covered `fraction` of the way from `from` to `to`.
double timeToCover(const std::vector<float>& gain, float from, float to, double fraction) {
  const double mark = from + (to - from) * fraction;
  size_t i = 0;
  while (i < gain.size() && (to < from ? gain[i] > mark : gain[i] < mark))
    ++i;
  return double(i) / kRate;
}

float fromDb(float x) {
  return std::pow(10.0f, x / 20.0f);
}

TEST(PowerSag, HeldLevelsAttackReleaseStereoAndAnyBlockLength) {
  for (float inDb : {-3.0f, 0.0f, 10.0f}) {
    rack::PowerSag sag;
    sag.setFormat(1, kRate);
    sag.setInputGainDb(inDb);
    sag.setOutputGainDb(1.0f);
    for (float level : {0.1f, -0.5f, 3.0f}) {
      // The float smoother's DC gain is 1 only to about 1e-4.
      EXPECT_NEAR(holdLevel(sag, level, 1.0).back(),
                  fromDb(1.0f) / (1.0f + std::fabs(level) * fromDb(inDb)), 1e-4f)
          << inDb << " dB, level " << level;
    }
    sag.reset();
    EXPECT_NEAR(holdLevel(sag, 1e-6f, 0.01).front(), fromDb(1.0f), 1e-5f);  // at rest
  }

  rack::PowerSag sag;  // attack 0.02 s, release 0.5 s
  sag.setFormat(1, kRate);
  const float low = 0.5f;  // 1 / (1 + 1)
  const double attack = timeToCover(holdLevel(sag, 1.0f, 0.5), 1.0f, low, 0.9);
  EXPECT_GT(attack, 0.02);
  EXPECT_LT(attack, 0.08);
  // With the smoother out of the way the gain recovers 40 dB of the distance in the release
  // time (a level of 1e-4 is silence for the detector but keeps the gain measurable).
  for (float releaseTime : {0.1f, 0.5f}) {
    sag.setAttackTime(1e-4f);
    sag.setReleaseTime(releaseTime);
    holdLevel(sag, 1.0f, 0.1);
    const double t99 = timeToCover(holdLevel(sag, 1e-4f, 1.0), low, 1.0f, 0.99);
    EXPECT_NEAR(t99, releaseTime, 0.03 * releaseTime);
  }

  // Stereo shares one gain from the mean level; block length changes only the rounding (the
  // smoother steps several samples at a time inside each piece), and nothing allocates.
  rack::PowerSag stereo, mono, whole, pieces;
  stereo.setFormat(2, kRate);
  mono.setFormat(1, kRate);
  for (rack::PowerSag* s : {&stereo, &mono})
    s->setInputGainDb(6.0f);
  std::vector<float> in(2 * kRate), out(2 * kRate);
  for (int i = 0; i < kRate; ++i) {
    in[2 * i] = 0.8f;
    in[2 * i + 1] = -0.2f;
  }
  stereo.process(out.data(), in.data(), kRate);
  const std::vector<float> monoGain = holdLevel(mono, 0.5f, 1.0);
  for (int i = 0; i < kRate; i += 97) {
    ASSERT_NEAR(out[2 * i] / 0.8f, out[2 * i + 1] / -0.2f, 1e-6f) << i;
    ASSERT_NEAR(out[2 * i] / 0.8f, monoGain[i], 1e-5f) << i;
  }

  const std::vector<float> noise = testsupport::whiteNoise(2 * 3000, 0.9f);
  std::vector<float> a(noise.size()), b = noise;
  testsupport::AllocationCounter counter;
  whole.process(a.data(), noise.data(), 3000);
  int done = 0;
  for (int n : {1, 37, 64, 200, 5, 1000, 1693}) {
    pieces.process(b.data() + 2 * done, b.data() + 2 * done, n);  // in place
    done += n;
  }
  EXPECT_EQ(counter.count(), 0u);
  for (size_t i = 0; i < a.size(); ++i)
    ASSERT_NEAR(a[i], b[i], 1e-6f) << "sample " << i;
}

}  // namespace
