#include "rack/power_sag.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "support/allocation_counter.h"
#include "support/signals.h"

namespace {

// Runs `seconds` of a held mono level and returns the gain out / in of every sample.
std::vector<float> holdLevel(rack::PowerSag& sag, float level, double seconds, int rate) {
  const int n = int(seconds * rate);
  std::vector<float> in(n, level), out(n);
  sag.process(out.data(), in.data(), n);
  for (int i = 0; i < n; ++i)
    out[i] /= level;
  return out;
}

// Seconds until the gain has covered `fraction` of the way from `from` to `to`.
double timeToCover(const std::vector<float>& gain, float from, float to, double fraction,
                   int rate) {
  const double mark = from + (to - from) * fraction;
  for (size_t i = 0; i < gain.size(); ++i) {
    if (to < from ? gain[i] <= mark : gain[i] >= mark) return double(i) / rate;
  }
  return 1e9;
}

float db(float x) {
  return std::pow(10.0f, x / 20.0f);
}

TEST(PowerSag, GainFollowsTheHeldLevel) {
  const float kQuiet = 1e-6f;  // small enough to leave the gain at rest, large enough to measure
  for (float inDb : {-3.0f, 0.0f, 6.0f, 10.0f}) {
    rack::PowerSag sag;
    sag.setFormat(1, 44100);
    sag.setInputGainDb(inDb);
    sag.setOutputGainDb(1.0f);
    std::vector<float> g = holdLevel(sag, kQuiet, 0.1, 44100);
    EXPECT_NEAR(g.front(), db(1.0f), 1e-5f);
    EXPECT_NEAR(g.back(), db(1.0f), 1e-5f);

    for (float level : {0.1f, 0.5f, -0.5f, 1.0f, 3.0f}) {
      g = holdLevel(sag, level, 1.0, 44100);
      const float expected = db(1.0f) / (1.0f + std::fabs(level) * db(inDb));
      // The float smoother's DC gain is 1 only to about 1e-4.
      EXPECT_NEAR(g.back(), expected, 1e-4f) << inDb << " dB, level " << level;
    }
    // Silence in is silence out.
    float zeros[64] = {}, out[64];
    sag.process(out, zeros, 64);
    for (float v : out)
      ASSERT_EQ(v, 0.0f);

    // reset returns the gain to rest at once.
    holdLevel(sag, 1.0f, 0.5, 44100);
    sag.reset();
    g = holdLevel(sag, kQuiet, 0.01, 44100);
    EXPECT_NEAR(g.front(), db(1.0f), 1e-5f);
  }
}

TEST(PowerSag, AttackIsFasterThanRelease) {
  for (int rate : {44100, 96000}) {
    rack::PowerSag sag;  // attack 0.02 s, release 0.5 s
    sag.setFormat(1, rate);
    const float low = 1.0f / (1.0f + 1.0f);
    const double attack = timeToCover(holdLevel(sag, 1.0f, 0.5, rate), 1.0f, low, 0.9, rate);
    // A level of 1e-4 is practically silence for the detector but keeps the gain measurable.
    const double release = timeToCover(holdLevel(sag, 1e-4f, 2.0, rate), low, 1.0f, 0.9, rate);
    std::printf("[ power sag  ] %d Hz: 90%% attack %.4f s, 90%% release %.4f s\n", rate, attack,
                release);
    EXPECT_GT(attack, 0.02);
    EXPECT_LT(attack, 0.08);
    EXPECT_GT(release, 0.2);
    EXPECT_LT(release, 0.35);
    EXPECT_LT(attack * 4, release);

    // With the smoother out of the way the gain recovers 40 dB of the distance in the release
    // time.
    for (float releaseTime : {0.1f, 0.5f}) {
      sag.setAttackTime(1e-4f);
      sag.setReleaseTime(releaseTime);
      holdLevel(sag, 1.0f, 0.1, rate);
      const double t99 = timeToCover(holdLevel(sag, 1e-4f, 1.0, rate), low, 1.0f, 0.99, rate);
      EXPECT_NEAR(t99, releaseTime, 0.03 * releaseTime) << rate << " Hz";
    }
  }
}

TEST(PowerSag, StereoSharesOneGainFromTheMeanLevel) {
  rack::PowerSag stereo, mono;
  stereo.setFormat(2, 44100);
  mono.setFormat(1, 44100);
  for (rack::PowerSag* s : {&stereo, &mono})
    s->setInputGainDb(6.0f);
  const int frames = 44100;
  std::vector<float> in(2 * frames), out(2 * frames);
  for (int i = 0; i < frames; ++i) {
    in[2 * i] = 0.8f;
    in[2 * i + 1] = -0.2f;
  }
  stereo.process(out.data(), in.data(), frames);
  const std::vector<float> monoGain = holdLevel(mono, 0.5f, 1.0, 44100);
  for (int i = 0; i < frames; i += 97) {
    ASSERT_NEAR(out[2 * i] / 0.8f, out[2 * i + 1] / -0.2f, 1e-6f) << i;
    ASSERT_NEAR(out[2 * i] / 0.8f, monoGain[i], 1e-5f) << i;
  }
  EXPECT_NEAR(out[2 * frames - 2] / 0.8f, 1.0f / (1.0f + 0.5f * db(6.0f)), 1e-4f);
}

TEST(PowerSag, BlockLengthChangesOnlyRoundingAndNothingIsAllocated) {
  const std::vector<float> noise = testsupport::whiteNoise(2 * 3000, 0.9f);
  rack::PowerSag whole, pieces;
  std::vector<float> a(noise.size()), b(noise.size());
  testsupport::AllocationCounter counter;
  whole.process(a.data(), noise.data(), 3000);
  std::copy(noise.begin(), noise.end(), b.begin());
  int done = 0;
  for (int n : {1, 37, 64, 200, 5, 1000}) {
    pieces.process(b.data() + 2 * done, b.data() + 2 * done, n);  // in place
    done += n;
  }
  pieces.process(b.data() + 2 * done, b.data() + 2 * done, 3000 - done);
  EXPECT_EQ(counter.count(), 0u);
  // The envelope's smoother steps several samples at a time inside each piece, so the cut may
  // move the float rounding, nothing more.
  for (size_t i = 0; i < a.size(); ++i)
    ASSERT_NEAR(a[i], b[i], 1e-6f) << "sample " << i;
}

}  // namespace
