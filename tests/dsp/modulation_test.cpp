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
#include "dsp_test_helpers.h"

namespace {

using dsp::Lfo;
using dsptest::makeEffect;

// What an effect plays for a ramp fed in calls of `frames`, at the first frame of each call.
template <class Fx>
std::vector<double> rampHeard(Fx& fx, int frames, int calls) {
  std::vector<float> in(frames), out(frames);
  std::vector<double> heard;
  for (long call = 0, x = 1000; call < calls; ++call, x += frames) {
    for (int i = 0; i < frames; ++i)
      in[i] = static_cast<float>(x + i);
    fx.process(out.data(), in.data(), frames);
    heard.push_back(double(x) - out[0]);
  }
  return heard;
}

TEST(Lfo, WaveformsSpanTheirRange) {
  for (int waveform = Lfo::kTriangle; waveform <= Lfo::kRandom; ++waveform) {
    Lfo lfo;
    lfo.setFormat(44100.0f);
    lfo.setWaveform(waveform);
    lfo.setRate(60.0f);  // 0.174 of a cycle per tick
    std::vector<float> v(5000);
    for (float& x : v)
      x = lfo.tick();
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    EXPECT_TRUE(*lo >= -1.0f && *lo < -0.9f && *hi <= 0.0f && *hi > -0.1f)
        << waveform << ": " << *lo << " .. " << *hi;
  }
}

std::unique_ptr<dsp::ModulatedDelay> makeDelay(int rate, float base, int waveform, float depth,
                                               float lfoRate) {
  auto d = std::make_unique<dsp::ModulatedDelay>();
  d->setFormat(1, rate);
  d->setFeedback(0.0f);
  d->setBaseDelay(base);
  d->setLfo(waveform, depth, lfoRate);
  d->reset(0.0f);
  return d;
}

// A ramp through a delay without feedback interpolates exactly: delay = input - output.
TEST(ModulatedDelay, DelayIsBasePlusDepthAndMovesOneTickPerCall) {
  for (int frames : {1, 16, 64, 128}) {
    auto d = makeDelay(44100, 0.001f, Lfo::kSaw, 100.0f, 0.002f * 44100.0f / 128.0f);
    EXPECT_EQ(d->baseDelay(), 44);
    const std::vector<double> heard = rampHeard(*d, frames, 301);  // the first 200 fill the ring
    EXPECT_NEAR(heard[200] - heard[300], 100.0 * 0.002 * 100.0, 0.05) << frames;  // 0.002/call
  }
  // Growing the base silences the exposed stale ring.
  auto d = makeDelay(1000, 0.010f, Lfo::kTriangle, 0.0f, 1.0f);
  std::vector<float> ones(9000, 1.0f), out(9000), zeros(64, 0.0f), after(64);
  d->process(out.data(), ones.data(), 9000);  // every ring slot now holds 1
  d->setBaseDelay(0.025f);
  d->process(after.data(), zeros.data(), 64);
  for (int i = 0; i < 26; ++i)
    EXPECT_EQ(after[i], i >= 15 && i < 25 ? 1.0f : 0.0f) << i;
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
}

TEST(TChorus, DryShareSweepRangeAndChannelsApart) {
  // Level 127/128, a left impulse: 1/128 dry, the wet part on the left alone.
  auto stereo = makeEffect<dsp::TChorus>({{86, 127}}, 2);
  std::vector<float> in(2 * 512, 0.0f), out(in.size());
  in[0] = 1.0f;
  stereo->process(out.data(), in.data(), 512);
  EXPECT_FLOAT_EQ(out[0], 1.0f / 128.0f);
  double wet = 0.0;
  for (int i = 1; i < 512; ++i) {
    wet += out[2 * i];
    ASSERT_EQ(out[2 * i + 1], 0.0f);
  }
  EXPECT_NEAR(wet, 127.0 / 128.0, 0.01);

  // The delay sweeps 1 ms plus the depth.
  auto chorus = makeEffect<dsp::TChorus>({{86, 127}});
  std::vector<double> delay = rampHeard(*chorus, 64, 1400);
  for (double& d : delay)
    d *= 128.0 / 127.0;  // y = x - d x 127/128
  const auto [lo, hi] = std::minmax_element(delay.begin() + 10, delay.end());
  EXPECT_NEAR(*lo, 44.0, 0.5);
  EXPECT_NEAR(*hi, 44.0 + 66.15, 0.5);
}

TEST(TFlanger, FullScaleFeedbackKeepsTheLoopStable) {
  // Loop gain from the DC response: y = x / (1 - feedback), out = 0.4 y + 0.5 x at Level 0.5.
  for (auto [feedback, gain] : {std::pair{127, 0.97617}, {0, 0.0}}) {
    auto flanger = makeEffect<dsp::TFlanger>({{83, feedback}});
    std::vector<float> in(64, 1.0f), out(64);
    for (int i = 0; i < 5000; ++i)
      flanger->process(out.data(), in.data(), 64);
    EXPECT_NEAR(1.0 - 0.4 / (out[63] - 0.5), gain, 2e-5) << feedback;
  }
}

TEST(TTremolo, DepthSetsTheDip) {
  // Depth 96 attenuates by 21 dB, then opens fully: the gain at the start of each call.
  auto tremolo = makeEffect<dsp::TTremolo>({{30, 96}});
  std::vector<float> in(64, 1.0f), out(64);
  float lo = 1.0f, hi = 0.0f;
  for (int i = 0; i < 3000; ++i) {
    tremolo->process(out.data(), in.data(), 64);
    if (i < 1000) continue;  // past the fade-in
    lo = std::min(lo, out[0]);
    hi = std::max(hi, out[0]);
  }
  EXPECT_NEAR(lo, std::pow(10.0, -0.75 * 1.4), 0.03);
  EXPECT_NEAR(hi, 1.0, 0.03);
}

TEST(TChorusRand, DryWetShareAndOneRandomStepPerDelayPerCall) {
  auto chorus = makeEffect<dsp::TChorusRand>({{86, 127}});
  dsp::library::setSeed(99);
  std::vector<float> impulse(64, 0.0f), response(64 * 40);
  impulse[0] = 1.0f;
  for (int call = 0; call < 40; ++call) {
    chorus->process(response.data() + 64 * call, impulse.data(), 64);
    impulse[0] = 0.0f;
  }
  uint32_t seed = 99;
  for (int i = 0; i < 40; ++i)
    seed = seed * 1103515245u + 12345u;
  EXPECT_EQ(dsp::library::seed(), seed);
  // The echoes decay by the feedback.
  const double total = std::accumulate(response.begin(), response.end(), 0.0);
  const double feedback = 0.25 * 0.3 + 0.25;  // Depth 32
  EXPECT_NEAR(total, 1.0 / 128.0 + 127.0 / 128.0 / (1.0 - feedback), 0.02);
}

TEST(TPanner, ConstantPowerSweepAndDegeneratePeriod) {
  auto panner = makeEffect<dsp::TPanner>({{105, 127}}, 2);
  std::vector<float> in(2 * 64, 1.0f), out(in.size());
  float lo = 2.0f;
  for (int call = 0; call < 2000; ++call) {
    panner->process(out.data(), in.data(), 64);
    EXPECT_NEAR(out[0] * out[0] + out[1] * out[1], 2.0f, 1e-5f) << call;
    lo = std::min(lo, out[0]);
  }
  EXPECT_LT(lo, 0.05f);  // swings all the way

  // A sample rate so low that the sweep has no length: no division by zero, centred.
  dsp::TPanner tiny(nullptr, 0);
  tiny.setFormat(2, 1);
  std::fill(in.begin(), in.end(), 0.5f);
  tiny.process(out.data(), in.data(), 64);
  EXPECT_EQ(out, in);
}

TEST(TAmModulator, FullDepthRingModulates) {
  // A 200 Hz tone moves to the two sidebands around the carrier.
  auto ring = makeEffect<dsp::TAmModulator>({{88, 127}});
  const double carrier = 40.0 * std::pow(2.0, 8.5 * 0.5) * 6.283 / dsptest::kTwoPi;
  const std::vector<float> tone = dsptest::sine(44100, 200.0, 0.5f);
  std::vector<float> mod(44100);
  ring->process(mod.data(), tone.data(), 44100);
  EXPECT_NEAR(dsptest::amplitudeAt(mod, carrier - 200.0), 0.25 * 127.0 / 128.0, 0.02);
  EXPECT_NEAR(dsptest::amplitudeAt(mod, carrier + 200.0), 0.25 * 127.0 / 128.0, 0.02);
  EXPECT_NEAR(dsptest::amplitudeAt(mod, 200.0), 0.5 / 128.0, 0.01);
}

TEST(TFmModulator, CarrierFollowsTheEnvelopeOnPitchAndResetSilencesIt) {
  // Depth 0 leaves a carrier scaled by the envelope; after ten seconds it is still on pitch.
  auto carrier = makeEffect<dsp::TFmModulator>({{88, 0}});
  std::vector<float> dc(441000, 0.5f), tone(441000);
  carrier->process(tone.data(), dc.data(), 441000);
  const double pitch = 40.0 * std::pow(2.0, 4.25);
  EXPECT_NEAR(dsptest::amplitudeAt(tone, pitch), 0.5, 0.01);

  std::vector<float> silence(2000, 0.0f);
  carrier->reset();
  carrier->process(tone.data(), silence.data(), 2000);
  EXPECT_EQ(std::vector<float>(tone.begin(), tone.begin() + 2000), silence);
}

}  // namespace
