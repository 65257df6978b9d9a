#include "dsp/leslie.h"
#include "dsp_test_helpers.h"

namespace {

using dsptest::kRate;

constexpr int kSpeed = 111, kLoHi = 109;
constexpr int kWindow = 441;  // 10 ms envelope windows

// A running sine of `hz` at 0.1 on every input channel, through the effect in 64-frame blocks.
struct SineRig {
  SineRig(int channels, std::initializer_list<std::pair<int, int>> settings, double hz)
      : fx(dsptest::makeEffect<dsp::TLeslie>(settings, channels)), hz(hz) {}
  // Both output channels (the right one empty for mono) for the next `seconds`.
  std::vector<float> run(double seconds, int channel = 0) {
    const int ic = fx->inputChannels(), oc = fx->outputChannels();
    std::vector<float> in(64 * ic), out(64 * oc), played;
    for (int n = 0; n < seconds * kRate / 64; ++n) {
      for (int i = 0; i < 64 * ic; ++i)
        in[i] = 0.1f * float(std::sin(dsptest::kTwoPi * hz * double(clock + i / ic) / kRate));
      clock += 64;
      fx->process(out.data(), in.data(), 64);
      for (int i = 0; i < 64; ++i)
        played.push_back(out[i * oc + channel]);
    }
    return played;
  }
  std::unique_ptr<dsp::TLeslie> fx;
  double hz;
  long clock = 0;
};

// Times (s) the envelope rises through its midline; re-armed below the lower quarter.
std::vector<double> risingTimes(const std::vector<float>& x) {
  std::vector<double> e;
  for (size_t w = 0; w + kWindow <= x.size(); w += kWindow)
    e.push_back(dsptest::rms({x.begin() + w, x.begin() + w + kWindow}));
  const auto [lo, hi] = std::minmax_element(e.begin(), e.end());
  const double mid = (*lo + *hi) / 2, arm = *lo + (*hi - *lo) / 4;
  std::vector<double> t;
  bool armed = false;
  for (size_t k = 1; k < e.size(); ++k) {
    if (e[k] < arm) armed = true;
    if (armed && e[k - 1] < mid && e[k] >= mid) {
      t.push_back((double(k) - (e[k] - mid) / (e[k] - e[k - 1]) + 0.5) * kWindow / kRate);
      armed = false;
    }
  }
  return t;
}

double meanRate(const std::vector<float>& x) {
  const std::vector<double> t = risingTimes(x);
  return t.size() < 3 ? 0.0 : double(t.size() - 1) / (t.back() - t.front());
}

// The rate of the cycle under way at `when` seconds: the one that ends at or after it.
double rateAt(const std::vector<double>& t, double when) {
  for (size_t k = 1; k < t.size(); ++k)
    if (t[k] >= when) return 1.0 / (t[k] - t[k - 1]);
  return 0.0;
}

TEST(Leslie, RotorsTurnAtChoraleAndTremoloRatesAndRampUp) {
  // A treble tone with Lo/Hi at full scale is the horn alone; a bass tone at 0 the drum alone.
  std::vector<double> up[2];
  int r = 0;
  for (auto [loHi, toneHz, slowHz, fastHz] :
       {std::tuple{127, 3000.0, 0.8, 6.7}, {0, 150.0, 0.7, 5.8}}) {
    SineRig rig(2, {{kLoHi, loHi}}, toneHz);
    rig.run(0.5);
    EXPECT_NEAR(meanRate(rig.run(12.0)), slowHz, 0.03 * slowHz) << toneHz;
    rig.fx->processEvent(dsp::EffectEvent::controller(kSpeed, 127));
    up[r++] = risingTimes(rig.run(8.0));
    EXPECT_NEAR(meanRate(rig.run(4.0)), fastHz, 0.03 * fastHz) << toneHz;
  }
  // Not a jump: the first cycle after the switch is far from the new speed. After a second the
  // horn is nearly there, the drum half way.
  EXPECT_LT(rateAt(up[0], 0.0), 5.4);
  EXPECT_GT(rateAt(up[0], 1.2), 6.2);
  EXPECT_TRUE(rateAt(up[1], 1.2) > 2.5 && rateAt(up[1], 1.2) < 4.5) << rateAt(up[1], 1.2);
}

TEST(Leslie, LoHiBalancesDrumAgainstHorn) {
  // Every instance starts alike and turns alike, so level ratios cancel the rotation.
  auto level = [](int loHi, double hz) {
    SineRig rig(2, {{kLoHi, loHi}}, hz);
    rig.run(0.5);
    return dsptest::rms(rig.run(2.5));
  };
  const double trebleHigh = level(127, 3000);
  EXPECT_GT(level(0, 150) / level(127, 150), 10.0);
  EXPECT_GT(trebleHigh / level(0, 3000), 10.0);
  // In the middle both rotors play fully.
  EXPECT_NEAR(level(64, 3000) / trebleHigh, 1.0, 0.05);
}

TEST(Leslie, MonoIsTheLeftMicrophoneAndTheRightHearsOtherwise) {
  SineRig left(2, {}, 3000), right(2, {}, 3000), mono(1, {}, 3000);
  const std::vector<float> l = left.run(2.0);
  EXPECT_EQ(mono.run(2.0), l);
  EXPECT_GT(dsptest::maxDifference(l, right.run(2.0, 1)), 0.05f);
}

}  // namespace
