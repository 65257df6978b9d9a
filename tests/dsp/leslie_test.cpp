#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "dsp/leslie.h"
#include "support/signals.h"

namespace {

using dsp::TLeslie;

constexpr int kRate = 44100;
constexpr int kSpeed = 111, kDrive = 108, kLoHi = 109;
constexpr int kWindow = 441;  // 10 ms envelope windows

struct Stereo {
  std::vector<float> left, right;
};

// Runs a sine of `hz` (on every input channel) through the effect in the rack's 64-frame blocks for
// `seconds`.
Stereo runSine(TLeslie& fx, double hz, float amplitude, double seconds, long& clock) {
  const int ic = fx.inputChannels(), oc = fx.outputChannels();
  Stereo s;
  std::vector<float> in(64 * ic), out(64 * oc);
  for (int n = 0; n < seconds * kRate / 64; ++n) {
    for (int i = 0; i < 64; ++i, ++clock) {
      for (int c = 0; c < ic; ++c)
        in[i * ic + c] = amplitude * float(std::sin(6.283185307 * hz * double(clock) / kRate));
    }
    fx.process(out.data(), in.data(), 64);
    for (int i = 0; i < 64; ++i) {
      s.left.push_back(out[i * oc]);
      if (oc > 1) s.right.push_back(out[i * oc + 1]);
    }
  }
  return s;
}

void send(TLeslie& fx, int controller, int value) {
  fx.processEvent(dsp::EffectEvent::controller(uint8_t(controller), uint8_t(value)));
}

std::vector<double> envelope(const std::vector<float>& x) {
  std::vector<double> e;
  for (size_t w = 0; w + kWindow <= x.size(); w += kWindow) {
    double sum = 0;
    for (int i = 0; i < kWindow; ++i)
      sum += double(x[w + i]) * x[w + i];
    e.push_back(std::sqrt(sum / kWindow));
  }
  return e;
}

double rms(const std::vector<float>& x) {
  double sum = 0;
  for (float v : x)
    sum += double(v) * v;
  return std::sqrt(sum / double(x.size()));
}

// Times in seconds at which the envelope rises through its midline, interpolated between
// windows; a fall below the lower quarter re-arms the detector, so ripple does not count.
std::vector<double> risingTimes(const std::vector<double>& e) {
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

// Mean rotation rate over the whole record, from its first to its last full cycle.
double meanRate(const std::vector<float>& x) {
  const std::vector<double> t = risingTimes(envelope(x));
  if (t.size() < 3) return 0.0;
  return double(t.size() - 1) / (t.back() - t.front());
}

// The rate of the cycle under way at `when` seconds: the one that ends at or after it.
double rateAt(const std::vector<double>& t, double when) {
  for (size_t k = 1; k < t.size(); ++k) {
    if (t[k] >= when) return 1.0 / (t[k] - t[k - 1]);
  }
  return 0.0;
}

// A treble tone with Lo/Hi at full scale is the horn alone; a bass tone at 0 the drum alone.
struct RotorProbe {
  int loHi;
  double toneHz, slowHz, fastHz;
};
constexpr RotorProbe kHornProbe = {127, 3000.0, 0.8, 6.7};
constexpr RotorProbe kDrumProbe = {0, 150.0, 0.7, 5.8};

TEST(Leslie, RotorsTurnAtChoraleAndTremoloRatesAndRampBetweenThem) {
  std::vector<double> up[2], down[2];
  for (int r = 0; r < 2; ++r) {
    const RotorProbe& p = r == 0 ? kHornProbe : kDrumProbe;
    TLeslie fx(nullptr, 0);
    fx.setFormat(2, kRate);
    send(fx, kLoHi, p.loHi);
    fx.reset();
    long clock = 0;
    runSine(fx, p.toneHz, 0.1f, 0.5, clock);  // the Lo/Hi glide arrives
    const double slow = meanRate(runSine(fx, p.toneHz, 0.1f, 12.0, clock).left);
    EXPECT_NEAR(slow, p.slowHz, 0.03 * p.slowHz) << p.toneHz;
    send(fx, kSpeed, 127);
    up[r] = risingTimes(envelope(runSine(fx, p.toneHz, 0.1f, 8.0, clock).left));
    const double fast = meanRate(runSine(fx, p.toneHz, 0.1f, 4.0, clock).left);
    EXPECT_NEAR(fast, p.fastHz, 0.03 * p.fastHz) << p.toneHz;
    send(fx, kSpeed, 0);
    down[r] = risingTimes(envelope(runSine(fx, p.toneHz, 0.1f, 8.0, clock).left));
  }
  // Not a jump: the first cycle after each switch is far from the new speed, and the next ones
  // close in on it.
  EXPECT_LT(rateAt(up[0], 0.0), 5.4);
  EXPECT_LT(rateAt(up[1], 0.0), 3.5);
  EXPECT_GT(rateAt(down[0], 0.0), 3.0);
  EXPECT_GT(rateAt(down[1], 0.0), 4.5);
  for (int k = 1; k < 4; ++k) {
    EXPECT_LT(rateAt(up[0], up[0][k]), rateAt(up[0], up[0][k + 1]));
    EXPECT_GT(rateAt(down[1], down[1][k]), rateAt(down[1], down[1][k + 1]));
  }
  // After a second the horn is nearly there while the drum is about half way.
  EXPECT_GT(rateAt(up[0], 1.2), 6.2);
  EXPECT_LT(rateAt(up[1], 1.2), 4.5);
  EXPECT_GT(rateAt(up[1], 1.2), 2.5);
  // Both arrive within a few seconds.
  EXPECT_NEAR(rateAt(up[1], 6.0), 5.8, 0.3);
  EXPECT_NEAR(rateAt(down[0], 3.0), 0.8, 0.1);
}

TEST(Leslie, LoHiBalancesDrumAgainstHornAndDriveSaturatesOnlyLoudSignals) {
  // Every instance starts alike and turns alike, so level ratios cancel the rotation.
  auto level = [](int loHi, int drive, double hz, float amplitude) {
    TLeslie fx(nullptr, 0);
    fx.setFormat(2, kRate);
    send(fx, kLoHi, loHi);
    send(fx, kDrive, drive);
    fx.reset();
    long clock = 0;
    runSine(fx, hz, amplitude, 0.5, clock);
    return rms(runSine(fx, hz, amplitude, 2.5, clock).left);
  };
  const double bassLow = level(0, 0, 150, 0.1f), bassHigh = level(127, 0, 150, 0.1f);
  const double trebleLow = level(0, 0, 3000, 0.1f), trebleHigh = level(127, 0, 3000, 0.1f);
  EXPECT_GT(bassLow / bassHigh, 10.0);
  EXPECT_GT(trebleHigh / trebleLow, 10.0);
  // In the middle both rotors play fully.
  EXPECT_NEAR(level(64, 0, 150, 0.1f) / bassLow, 1.0, 0.05);
  EXPECT_NEAR(level(64, 0, 3000, 0.1f) / trebleHigh, 1.0, 0.05);

  // Quiet signals keep their level at any drive; full scale is compressed hard only when
  // driven.
  const double quiet0 = level(64, 0, 150, 0.001f), quiet127 = level(64, 127, 150, 0.001f);
  EXPECT_NEAR(quiet127 / quiet0, 1.0, 0.05);
  const double squash0 = level(64, 0, 150, 1.0f) / (1000 * quiet0);
  const double squash127 = level(64, 127, 150, 1.0f) / (1000 * quiet127);
  EXPECT_GT(squash0, 0.85);
  EXPECT_LT(squash127, 0.3);
}

TEST(Leslie, MicrophonesHearTheRotorsApartAndMonoIsTheLeftOne) {
  TLeslie stereo(nullptr, 0), mono(nullptr, 0);
  stereo.setFormat(2, kRate);
  mono.setFormat(1, kRate);
  stereo.reset();
  mono.reset();
  long c1 = 0, c2 = 0;
  const Stereo s = runSine(stereo, 3000, 0.1f, 5.0, c1);
  const Stereo m = runSine(mono, 3000, 0.1f, 5.0, c2);
  EXPECT_EQ(m.left, s.left);

  // Each side swells and fades by several dB, but not together.
  const std::vector<double> l = envelope(s.left), r = envelope(s.right);
  for (const auto* e : {&l, &r}) {
    const auto [lo, hi] = std::minmax_element(e->begin() + 10, e->end());
    EXPECT_GT(*hi / *lo, 1.6);
  }
  double ml = 0, mr = 0, slr = 0, sll = 0, srr = 0;
  for (size_t k = 0; k < l.size(); ++k)
    ml += l[k] / l.size(), mr += r[k] / r.size();
  for (size_t k = 0; k < l.size(); ++k) {
    slr += (l[k] - ml) * (r[k] - mr);
    sll += (l[k] - ml) * (l[k] - ml);
    srr += (r[k] - mr) * (r[k] - mr);
  }
  EXPECT_LT(std::fabs(slr / std::sqrt(sll * srr)), 0.5);

  // Processing in place changes nothing.
  TLeslie a(nullptr, 0), b(nullptr, 0);
  for (TLeslie* fx : {&a, &b}) {
    fx->setFormat(2, kRate);
    fx->reset();
  }
  std::vector<float> buf = testsupport::whiteNoise(2 * 128, 0.5f), out(buf.size());
  a.process(out.data(), buf.data(), 128);
  b.process(buf.data(), buf.data(), 128);
  EXPECT_EQ(buf, out);
}

}  // namespace
