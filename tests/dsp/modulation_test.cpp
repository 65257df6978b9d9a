#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "dsp/am_modulator.h"
#include "dsp/chorus.h"
#include "dsp/chorus_rand.h"
#include "dsp/flanger.h"
#include "dsp/fm_modulator.h"
#include "dsp/lfo.h"
#include "dsp/library.h"
#include "dsp/modulated_delay.h"
#include "dsp/panner.h"
#include "dsp/synth_vca.h"
#include "dsp/tremolo.h"
#include "support/allocation_counter.h"
#include "support/effect_probe.h"
#include "support/signals.h"

namespace {

using dsp::EffectEvent;
using dsp::Lfo;
using dsp::TAutomatedEffect;

// Rising zero crossings of x - offset per second.
double crossingRate(const std::vector<float>& x, float offset, double sampleRate) {
  int count = 0;
  for (size_t i = 1; i < x.size(); ++i)
    count += (x[i - 1] - offset < 0.0f && x[i] - offset >= 0.0f) ? 1 : 0;
  return count * sampleRate / static_cast<double>(x.size());
}

double toneLevel(const std::vector<float>& x, double hz) {
  return std::abs(testsupport::dtft(x, hz)) * 2.0 / static_cast<double>(x.size());
}

void expectClose(const std::vector<float>& a, const std::vector<float>& b) {
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i)
    ASSERT_NEAR(a[i], b[i], 1e-7f) << i;
}

TEST(Lfo, WaveformsSpanTheirRangeAndAdvanceOneIncrementPerTick) {
  for (int waveform = Lfo::kTriangle; waveform <= Lfo::kRandom; ++waveform) {
    Lfo lfo;
    lfo.setFormat(44100.0f);
    lfo.setWaveform(waveform);
    lfo.setRate(60.0f);  // 0.174 of a cycle per tick
    float lo = 1.0f, hi = -2.0f;
    for (int i = 0; i < 5000; ++i) {
      const float v = lfo.tick();
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
    SCOPED_TRACE(waveform);
    EXPECT_GE(lo, -1.0f);
    EXPECT_LE(hi, 0.0f);
    EXPECT_LT(lo, -0.9f);
    EXPECT_GT(hi, -0.1f);
    lfo.setFlags(Lfo::kBipolar);
    for (int i = 0; i < 500; ++i) {
      const float v = lfo.tick();
      EXPECT_TRUE(v >= -1.0f && v <= 1.0f) << v;
    }
  }

  // The saw wraps once every 1 / (128 x rate / sampleRate) ticks.
  Lfo saw;
  saw.setFormat(48000.0f);
  saw.setWaveform(Lfo::kSaw);
  saw.setRate(3.0f);
  EXPECT_FLOAT_EQ(saw.increment(), 128.0f * 3.0f / 48000.0f);
  std::vector<int> wraps;
  float last = saw.tick();
  for (int i = 1; i < 1000; ++i) {
    const float v = saw.tick();
    if (v < last) wraps.push_back(i);
    last = v;
  }
  ASSERT_GE(wraps.size(), 5u);
  EXPECT_NEAR(double(wraps.back() - wraps.front()) / double(wraps.size() - 1), 125.0, 0.5);

  // The random steps draw from the library-wide seed, once per cycle.
  dsp::library::setSeed(12345);
  Lfo random;
  random.setFormat(44100.0f);
  random.setWaveform(Lfo::kRandom);
  random.setRate(11025.0f / 128.0f);  // a quarter cycle per tick
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(random.tick(), 0.0f);
  const uint32_t expected = 12345u * 1103515245u + 12345u;
  EXPECT_FLOAT_EQ(random.tick(), float(double(expected & 0x3FFFFFFF) / 1073741824.0 - 1.0));
  EXPECT_EQ(dsp::library::seed(), expected);
}

// Feeds a ramp through a delay line without feedback and reads the delay back: for a ramp,
// linear interpolation is exact, so the delay is input minus output.
class RampProbe {
 public:
  explicit RampProbe(dsp::ModulatedDelay& d) : delay_(d) {}
  // Delay heard at the first frame of a call of `frames` frames.
  double call(int frames) {
    std::vector<float> in(frames), out(frames);
    for (int i = 0; i < frames; ++i)
      in[i] = static_cast<float>(next_ + i);
    delay_.process(out.data(), in.data(), frames);
    const double heard = double(next_) - out[0];
    next_ += frames;
    return heard;
  }

 private:
  dsp::ModulatedDelay& delay_;
  long next_ = 20000;  // above any delay, so the output never reads the cleared ring
};

TEST(ModulatedDelay, DelayIsBasePlusDepthAndMovesOneTickPerCall) {
  // The same Lfo speed heard with calls of 1, 16, 64 and 128 frames moves the delay by the
  // same amount per call.
  std::vector<double> moved;
  for (int frames : {1, 16, 64, 128}) {
    dsp::ModulatedDelay d;
    d.setFormat(1, 44100);
    d.setFeedback(0.0f);
    d.setBaseDelay(0.001f);
    EXPECT_EQ(d.baseDelay(), 44);
    d.setLfo(Lfo::kSaw, 100.0f, 0.002f * 44100.0f / 128.0f);  // 0.002 cycles per call
    d.reset(0.0f);
    RampProbe probe(d);
    for (int i = 0; i < 200; ++i)
      probe.call(frames);  // fills the ring with the ramp
    const double start = probe.call(frames);
    for (int i = 0; i < 99; ++i)
      probe.call(frames);
    moved.push_back(start - probe.call(frames));
  }
  for (double m : moved)
    EXPECT_NEAR(m, 100.0 * 0.002 * 100.0, 0.05);

  // A triangle sweeps the whole range base .. base + depth and no further.
  dsp::ModulatedDelay tri;
  tri.setFormat(1, 44100);
  tri.setFeedback(0.0f);
  tri.setBaseDelay(0.002f);
  tri.setLfo(Lfo::kTriangle, 150.0f, 44100.0f / 8192.0f);  // 1/64 cycle per call
  tri.reset(0.0f);
  RampProbe probe(tri);
  double lo = 1e9, hi = -1e9;
  for (int i = 0; i < 300; ++i) {
    const double heard = probe.call(64);
    if (i < 150) continue;
    lo = std::min(lo, heard);
    hi = std::max(hi, heard);
  }
  EXPECT_NEAR(lo, 88.0, 0.02);
  EXPECT_NEAR(hi, 88.0 + 150.0, 0.02);
}

TEST(ModulatedDelay, GrowingTheBaseSilencesTheExposedRing) {
  dsp::ModulatedDelay d;
  d.setFormat(1, 1000);
  d.setFeedback(0.0f);
  d.setLfo(Lfo::kTriangle, 0.0f, 1.0f);
  d.setBaseDelay(0.010f);
  ASSERT_EQ(d.baseDelay(), 10);
  d.reset(0.0f);
  std::vector<float> ones(9000, 1.0f), out(9000);
  d.process(out.data(), ones.data(), 9000);  // every ring slot now holds 1

  d.setBaseDelay(0.025f);
  ASSERT_EQ(d.baseDelay(), 25);
  std::vector<float> zeros(64, 0.0f), after(64);
  d.process(after.data(), zeros.data(), 64);
  for (int i = 0; i < 15; ++i)
    EXPECT_EQ(after[i], 0.0f) << i;  // stale audio would sound here
  for (int i = 15; i < 25; ++i)
    EXPECT_EQ(after[i], 1.0f) << i;  // the last 10 samples written, now 25 late
  EXPECT_EQ(after[25], 0.0f);

  // Shrinking clears nothing: the most recent input is heard sooner.
  d.process(out.data(), ones.data(), 64);
  d.setBaseDelay(0.005f);
  d.process(after.data(), zeros.data(), 8);
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(after[i], 1.0f) << i;
  EXPECT_EQ(after[5], 0.0f);
}

TEST(SynthVCA, RampsToEachTargetOrJumpsAfterReset) {
  dsp::SynthVCA vca;
  vca.setFormat(2, 44100);
  std::vector<float> buf(8, 1.0f);
  vca.processInPlace(buf.data(), 4, 1.0f);  // from 0
  EXPECT_EQ(buf, (std::vector<float>{0.0f, 0.0f, 0.25f, 0.25f, 0.5f, 0.5f, 0.75f, 0.75f}));
  vca.reset();
  std::fill(buf.begin(), buf.end(), 1.0f);
  vca.processInPlace(buf.data(), 4, 0.5f);
  EXPECT_EQ(buf, std::vector<float>(8, 0.5f));

  std::vector<float> dest(8, 0.0f), mono = {1.0f, 1.0f, 1.0f, 1.0f};
  vca.mixAddPanned(dest.data(), mono.data(), 4, 0.5f, 1.0f, 2.0f, true);
  EXPECT_EQ(dest, (std::vector<float>{0.5f, 1.0f, 0.5f, 1.0f, 0.5f, 1.0f, 0.5f, 1.0f}));
}

// Both choruses share their routing and mix: at Level 0 the output is the dry input.
void expectDryAtLevelZero(TAutomatedEffect& chorus) {
  chorus.setFormat(1, 44100);
  testsupport::settleWith(chorus, {{86, 0}});
  const std::vector<float> in = testsupport::whiteNoise(1000, 0.5f);
  std::vector<float> out(in.size());
  chorus.process(out.data(), in.data(), 1000);
  expectClose(out, in);  // wet + (dry - wet) x 1
}

TEST(TChorus, LevelBlendsDryAndDelayedSignal) {
  dsp::TChorus chorus(nullptr, 0);
  expectDryAtLevelZero(chorus);

  // Level 127/128: the impulse comes back 1 ms (44 samples) plus the sweep later, the dry
  // part is only 1/128.
  testsupport::settleWith(chorus, {{86, 127}});
  std::vector<float> impulse(512, 0.0f), response(512);
  impulse[0] = 1.0f;
  chorus.process(response.data(), impulse.data(), 512);
  EXPECT_FLOAT_EQ(response[0], 1.0f / 128.0f);
  double wet = 0.0;
  for (int i = 1; i < 512; ++i) {
    if (response[i] != 0.0f) {
      EXPECT_TRUE(i >= 44 && i <= 44 + 67) << i;
    }
    wet += response[i];
  }
  EXPECT_NEAR(wet, 127.0 / 128.0, 0.01);  // less a trace of Doppler
}

TEST(TChorus, SineSweepCompletesTwiceItsRatePerSecondOf64FrameCalls) {
  // Delay recovered from a ramp through the chorus at Level 127/128: y = x - d x 127/128.
  auto periodInCalls = [](int frames) {
    dsp::TChorus chorus(nullptr, 0);
    chorus.setFormat(1, 44100);
    testsupport::settleWith(chorus, {{86, 127}});
    std::vector<float> in(frames), out(frames);
    std::vector<double> delay;
    for (long call = 0, x = 1000; call < 1400; ++call, x += frames) {
      for (int i = 0; i < frames; ++i)
        in[i] = static_cast<float>(x + i);
      chorus.process(out.data(), in.data(), frames);
      delay.push_back((double(x) - out[0]) * 128.0 / 127.0);
    }
    const auto [lo, hi] = std::minmax_element(delay.begin() + 10, delay.end());
    EXPECT_NEAR(*lo, 44.0, 0.5);
    EXPECT_NEAR(*hi, 44.0 + 66.15, 0.5);
    const double mid = (*lo + *hi) / 2.0;
    std::vector<double> ups;
    for (size_t i = 11; i < delay.size(); ++i) {
      if (delay[i - 1] < mid && delay[i] >= mid) ups.push_back(double(i));
    }
    return (ups.back() - ups.front()) / double(ups.size() - 1);
  };
  // Speed 64 is 0.8 Hz: 128 x 0.8 / 44100 of a cycle per call, whatever the call's length.
  const double expected = 44100.0 / (128.0 * 0.8);
  EXPECT_NEAR(periodInCalls(64), expected, 1.0);
  EXPECT_NEAR(periodInCalls(32), expected, 1.0);
}

TEST(TChorus, StereoChannelsStayApartAndProcessingAllocatesNothing) {
  dsp::TChorus chorus(nullptr, 0);
  chorus.setFormat(2, 44100);
  testsupport::settleWith(chorus, {{86, 127}});
  std::vector<float> in(2 * 256, 0.0f), out(in.size());
  in[0] = 1.0f;  // left only
  {
    testsupport::AllocationCounter allocations;
    chorus.process(out.data(), in.data(), 256);
    EXPECT_EQ(allocations.count(), 0u);
  }
  double left = 0.0, right = 0.0;
  for (int i = 0; i < 256; ++i) {
    left += out[2 * i];
    right += std::fabs(out[2 * i + 1]);
  }
  EXPECT_NEAR(left, 1.0, 0.01);
  EXPECT_EQ(right, 0.0);
}

TEST(TFlanger, FullScaleFeedbackAndTempoDrivenSweep) {
  // The loop's gain from its DC response: y = x / (1 - feedback), out = 0.4 y + 0.5 x at the
  // default Level 0.5.
  auto loopGain = [](uint8_t feedback) {
    dsp::TFlanger flanger(nullptr, 0);
    flanger.setFormat(1, 44100);
    testsupport::settleWith(flanger, {{83, feedback}});
    std::vector<float> in(64, 1.0f), out(64);
    for (int i = 0; i < 5000; ++i)
      flanger.process(out.data(), in.data(), 64);
    const double y = (out[63] - 0.5) / 0.4;
    return 1.0 - 1.0 / y;
  };
  EXPECT_NEAR(loopGain(127), 0.97617, 2e-5);
  EXPECT_NEAR(loopGain(0), 0.0, 1e-5);

  // Level 0 is dry.
  dsp::TFlanger dry(nullptr, 0);
  dry.setFormat(1, 44100);
  testsupport::settleWith(dry, {{106, 0}});
  const std::vector<float> in = testsupport::whiteNoise(500, 0.5f);
  std::vector<float> out(in.size());
  dry.process(out.data(), in.data(), 500);
  EXPECT_EQ(out, in);

  // The triangle's rate follows the tempo: doubling it doubles how far the delay moves.
  auto sweep = [](bool doubleTempo) {
    dsp::TFlanger flanger(nullptr, dsp::kFlagObeyTempo);
    flanger.setFormat(1, 44100);
    if (doubleTempo) flanger.processEvent(EffectEvent::tempo(0, 120));
    testsupport::settleWith(flanger, {{83, 0}});
    std::vector<float> in(64), out(64);
    double first = 0.0, last = 0.0;
    for (long call = 0, x = 1000; call < 100; ++call, x += 64) {
      for (int i = 0; i < 64; ++i)
        in[i] = static_cast<float>(x + i);
      flanger.process(out.data(), in.data(), 64);
      const double delay = (0.9 * double(x) - out[0]) / 0.4;  // out = 0.4 (x - d) + 0.5 x
      (call == 10 ? first : last) = delay;
    }
    return last - first;
  };
  const double slow = sweep(false);
  EXPECT_GT(slow, 5.0);
  EXPECT_NEAR(sweep(true) / slow, 2.0, 0.05);
}

// Gain applied by the tremolo at the start of each 64-frame call, for a constant input.
std::vector<double> tremoloGains(uint8_t depth, float amplitude, int calls) {
  dsp::TTremolo tremolo(nullptr, 0);
  tremolo.setFormat(1, 44100);
  testsupport::settleWith(tremolo, {{30, depth}});
  std::vector<float> in(64, amplitude), out(64);
  std::vector<double> gains;
  for (int i = 0; i < calls; ++i) {
    tremolo.process(out.data(), in.data(), 64);
    gains.push_back(out[0] / amplitude);
  }
  return gains;
}

TEST(TTremolo, PeriodCountsCallsAtTheTempo) {
  const std::vector<double> g = tremoloGains(96, 1.0f, 3000);
  std::vector<int> downs;
  for (int i = 1000; i < 3000; ++i) {
    if (g[i - 1] >= 0.5 && g[i] < 0.5) downs.push_back(i);
  }
  // 120 BPM, Speed 16: 1.5 x 2^0.2125 cycles per beat of 22050 samples.
  // The counter wraps after periodTicks, so a cycle takes periodTicks + 1 calls.
  const int periodTicks = int(std::floor(22050.0 / (1.5 * std::pow(2.0, 0.2125)))) / 64;
  EXPECT_EQ(periodTicks, 198);
  const int period = periodTicks + 1;
  ASSERT_GE(downs.size(), 5u);
  for (size_t i = 1; i < downs.size(); ++i)
    EXPECT_EQ(downs[i] - downs[i - 1], period);
  // Depth 96 attenuates by 21 dB, then opens fully.
  const auto [lo, hi] = std::minmax_element(g.begin() + 1000, g.end());
  EXPECT_NEAR(*lo, std::pow(10.0, -0.75 * 1.4), 0.03);
  EXPECT_NEAR(*hi, 1.0, 0.03);
}

TEST(TTremolo, DepthZeroDucksByTheEnvelopeButNotBelowTheFloor) {
  const std::vector<double> loud = tremoloGains(0, 1.0f, 3000);
  const std::vector<double> louder = tremoloGains(0, 100.0f, 3000);
  const std::vector<double> full = tremoloGains(127, 1.0f, 3000);
  const std::vector<double> quiet = tremoloGains(0, 0.05f, 3000);
  double lowest = 1.0;
  for (int i = 1000; i < 3000; ++i) {
    // Both inputs drive 1 - envelope far below the floor, so the floor alone decides (up to
    // the smoother's float rounding, which keeps a trace of the different first calls).
    EXPECT_NEAR(loud[i], louder[i], 1e-4) << i;
    // The floor 0.04 is about what full depth (-27.8 dB) gives.
    EXPECT_NEAR(loud[i], full[i], 0.003) << i;
    lowest = std::min(lowest, loud[i]);
  }
  EXPECT_GT(lowest, 0.0);
  EXPECT_LT(lowest, 0.05);
  // A quiet input ducks by its envelope, three times its peak when settled.
  const double quietLowest = *std::min_element(quiet.begin() + 1000, quiet.end());
  EXPECT_NEAR(quietLowest, 1.0 - 3.0 * 0.05, 0.01);
}

TEST(TChorusRand, DryWetAndOneRandomStepPerDelayPerCall) {
  dsp::TChorusRand chorus(nullptr, 0);
  expectDryAtLevelZero(chorus);

  testsupport::settleWith(chorus, {{86, 127}});
  dsp::library::setSeed(99);
  std::vector<float> impulse(64, 0.0f), response(64 * 40);
  impulse[0] = 1.0f;
  for (int call = 0; call < 40; ++call) {
    chorus.process(response.data() + 64 * call, impulse.data(), 64);
    impulse[0] = 0.0f;
  }
  uint32_t seed = 99;
  for (int i = 0; i < 40; ++i)
    seed = seed * 1103515245u + 12345u;
  EXPECT_EQ(dsp::library::seed(), seed);
  // The first echo arrives near 6 ms (264 samples); later ones decay by the feedback.
  int first = -1;
  for (int i = 1; i < 64 * 40 && first < 0; ++i) {
    if (std::fabs(response[i]) > 0.01f) first = i;
  }
  EXPECT_NEAR(first, 264, 60);
  double total = 0.0;
  for (float v : response)
    total += v;
  const double feedback = 0.25 * 0.3 + 0.25;  // Depth 32
  EXPECT_NEAR(total, 1.0 / 128.0 + 127.0 / 128.0 / (1.0 - feedback), 0.02);
}

TEST(TPanner, ConstantPowerSweepAndDegeneratePeriod) {
  dsp::TPanner panner(nullptr, 0);
  panner.setFormat(2, 44100);
  testsupport::settleWith(panner, {{105, 127}});
  std::vector<float> in(2 * 64, 1.0f), out(in.size());
  float minLeft = 2.0f, maxLeft = 0.0f;
  std::vector<int> turns;
  float previous = 0.0f, slope = 0.0f;
  for (int call = 0; call < 2000; ++call) {
    panner.process(out.data(), in.data(), 64);
    const float l = out[0], r = out[1];
    EXPECT_NEAR(l * l + r * r, 2.0f, 1e-5f) << call;
    minLeft = std::min(minLeft, l);
    maxLeft = std::max(maxLeft, l);
    if ((l - previous) * slope < 0.0f) turns.push_back(call);
    if (l != previous) slope = l - previous;
    previous = l;
  }
  EXPECT_LT(minLeft, 0.05f);
  EXPECT_GT(maxLeft, 1.40f);
  // One way across takes floor(samplesPerBeat x 7^(0.75 x 1.42) x 0.11) samples.
  const double oneWay = std::floor(22050.0 * std::pow(7.0, 0.75 * 1.42) * 0.11) / 64.0;
  ASSERT_GE(turns.size(), 4u);
  EXPECT_NEAR(double(turns.back() - turns[1]) / double(turns.size() - 2), oneWay, 1.0);

  // Depth 0 follows the level: a whisper stays in the middle, a loud signal swings wide.
  dsp::TPanner follower(nullptr, 0);
  follower.setFormat(2, 44100);
  for (float level : {0.001f, 1.0f}) {
    std::fill(in.begin(), in.end(), level);
    float lo = 2.0f;
    for (int call = 0; call < 2000; ++call) {
      follower.process(out.data(), in.data(), 64);
      lo = std::min(lo, out[0] / level);
    }
    EXPECT_EQ(lo == 1.0f, level < 0.01f) << lo;
  }

  // A sample rate so low that the sweep has no length: no division by zero, centred.
  dsp::TPanner tiny(nullptr, 0);
  tiny.setFormat(2, 1);
  std::fill(in.begin(), in.end(), 0.5f);
  tiny.process(out.data(), in.data(), 64);
  for (float v : out)
    EXPECT_EQ(v, 0.5f);
}

TEST(TAmModulator, DepthZeroPassesAndFullDepthRingModulates) {
  dsp::TAmModulator am(nullptr, 0);
  am.setFormat(2, 44100);
  testsupport::settleWith(am, {{88, 0}});
  const std::vector<float> in = testsupport::whiteNoise(2 * 1000, 0.8f);
  std::vector<float> out(in.size());
  am.process(out.data(), in.data(), 1000);
  EXPECT_EQ(out, in);

  dsp::TAmModulator ring(nullptr, 0);
  ring.setFormat(1, 44100);
  testsupport::settleWith(ring, {{88, 127}});
  const double carrier = 40.0 * std::pow(2.0, 8.5 * 0.5) * 6.283 / (2.0 * std::numbers::pi);
  // A steady input comes out as the carrier itself.
  std::vector<float> dc(44100, 1.0f), mod(44100);
  ring.process(mod.data(), dc.data(), 44100);
  EXPECT_NEAR(crossingRate(mod, 1.0f / 128.0f, 44100.0), carrier, 2.0);
  // A 200 Hz tone moves to the two sidebands around the carrier.
  std::vector<float> tone(44100);
  for (int i = 0; i < 44100; ++i)
    tone[i] = 0.5f * std::sin(2.0 * std::numbers::pi * 200.0 * i / 44100.0);
  ring.process(mod.data(), tone.data(), 44100);
  EXPECT_NEAR(toneLevel(mod, carrier - 200.0), 0.25 * 127.0 / 128.0, 0.02);
  EXPECT_NEAR(toneLevel(mod, carrier + 200.0), 0.25 * 127.0 / 128.0, 0.02);
  EXPECT_NEAR(toneLevel(mod, 200.0), 0.5 / 128.0, 0.01);
}

TEST(TFmModulator, OutputStaysWithinTheInputEnvelope) {
  dsp::TFmModulator fm(nullptr, 0);
  fm.setFormat(2, 44100);
  fm.processEvent(EffectEvent::controller(88, 127));
  const std::vector<float> in = testsupport::whiteNoise(2 * 20000, 0.7f);
  std::vector<float> out(in.size());
  fm.process(out.data(), in.data(), 20000);
  for (float v : out)
    ASSERT_TRUE(std::isfinite(v) && std::fabs(v) <= 0.7f) << v;

  // Depth 0 leaves a carrier scaled by the envelope; after ten seconds it is still on pitch.
  dsp::TFmModulator carrier(nullptr, 0);
  carrier.setFormat(1, 44100);
  testsupport::settleWith(carrier, {{88, 0}});
  std::vector<float> dc(441000, 0.5f), tone(441000);
  carrier.process(tone.data(), dc.data(), 441000);
  const std::vector<float> lastSecond(tone.end() - 44100, tone.end());
  EXPECT_NEAR(crossingRate(lastSecond, 0.0f, 44100.0), 40.0 * std::pow(2.0, 4.25), 2.0);
  EXPECT_NEAR(*std::max_element(lastSecond.begin(), lastSecond.end()), 0.5f, 1e-3f);

  std::vector<float> silence(2000, 0.0f);
  carrier.reset();
  carrier.process(tone.data(), silence.data(), 2000);
  for (int i = 0; i < 2000; ++i)
    EXPECT_EQ(tone[i], 0.0f);
}

}  // namespace
