#include "tuner/pitch_detector.h"
#include "tuner/zc_pitch_detector.h"
#include "tuner_signals.h"

namespace {

using namespace pseudoutils;
using tunertest::kBlock;
using tunertest::kRate;
using tunertest::sine;

struct Detection {
  long end;  // sample at which the reporting block ends
  float hz;
};

template <class Detector>
std::vector<Detection> run(Detector& detector, const std::vector<float>& x, int block = kBlock) {
  std::vector<Detection> out;
  for (size_t pos = 0; pos + block <= x.size(); pos += block) {
    bool found = false, voiced = false;
    float hz = 0.0f;
    detector.detect(x.data() + pos, block, &found, &voiced, &hz);
    if (found) out.push_back({long(pos + block), hz});
  }
  return out;
}

// Readings once the fine average holds 20 periods (not the filter's start-up transient).
int settledReadings(IPitchDetector& detector, double hz) {
  int n = 0;
  for (const Detection& d : run(detector, sine(hz, kRate)))
    n += d.end > kRate / 10;
  return n;
}

TEST(PitchDetection, RangeCrossingsStartUpAndFineMeanInLongCalls) {
  auto detector = createPitchDetector(kRate);
  // Frequencies outside the range give no reading; unusable ranges are ignored.
  EXPECT_EQ(settledReadings(*detector, 1000.0), 0);
  detector->setRange(40.0f, 100.0f);
  for (auto [low, high] : {std::pair{0.0f, 800.0f}, {900.0f, 100.0f}, {NAN, 800.0f}})
    detector->setRange(low, high);
  EXPECT_EQ(settledReadings(*detector, 110.0), 0);
  detector->setRange(40.0f, 800.0f);
  EXPECT_GT(settledReadings(*detector, 110.0), 0);

  // A two-level wave crossing upwards at 100, then every 50 samples, then 40 and 30 apart.
  std::vector<int> at{100};
  for (int i = 1; i <= 26; ++i)
    at.push_back(at.back() + (i <= 24 ? 50 : i == 25 ? 40 : 30));
  std::vector<float> wave(at.back() + 20, -1.0f);
  for (size_t i = 0; i < at.size(); ++i)
    std::fill(wave.begin() + at[i], wave.begin() + at[i] + 10, 1.0f);

  auto zc = createZCPitchDetector();
  bool found = false;
  float hz = 0.0f;
  auto feed = [&](int from, int to) { zc->detect(wave.data() + from, to - from, &found, &hz); };
  feed(0, 101);  // the periods not yet seen count as zero
  EXPECT_FLOAT_EQ(hz, 20.0f * kRate / 100);
  EXPECT_EQ(zc->periodSpread(), 100);
  feed(101, at[24] + 10);
  EXPECT_FLOAT_EQ(hz, kRate / 50.0f);
  EXPECT_EQ(zc->periodSpread(), 0);
  feed(at[24] + 10, int(wave.size()));  // two crossings: the mean at the second
  EXPECT_FLOAT_EQ(hz, kRate / ((18 * 50 + 40 + 30) / 20.0f));
  EXPECT_EQ(zc->periodSpread(), 20);
  hz = -1.0f;
  feed(int(wave.size()) - 5, int(wave.size()));
  EXPECT_TRUE(!found && hz == -1.0f) << "no crossing, no estimate";

  // Before the first frame completes, a fresh crossing detector's estimates (too high by 20 /
  // crossings) fall inside the range: they are dropped, as the mean holds periods not yet seen.
  EXPECT_TRUE(run(*createPitchDetector(kRate), sine(110.0, 2176)).empty());

  // Means of 20 periods, also in calls longer than the work buffer and than four frames.
  const auto readings = run(*createPitchDetector(kRate), sine(110.0, 3 * kRate), 10000);
  ASSERT_EQ(readings.size(), 13u);
  for (size_t i = 2; i < 13; ++i)
    EXPECT_NEAR(readings[i].hz, 110.0f, 0.06f);
}

}  // namespace
