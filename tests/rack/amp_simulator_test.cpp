#include "rack/amp_simulator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "support/signals.h"

namespace {

constexpr int kBlock = 64;

// Runs a whole signal through the amp in 64-frame blocks.
std::vector<float> run(rack::AmpSimulator& amp, const std::vector<float>& in) {
  std::vector<float> out(in.size());
  for (size_t pos = 0; pos + kBlock <= in.size(); pos += kBlock) {
    amp.process(out.data() + pos, in.data() + pos, kBlock);
  }
  return out;
}

std::unique_ptr<rack::AmpSimulator> freshAmp() {
  auto amp = std::make_unique<rack::AmpSimulator>();
  amp->reset();
  return amp;
}

void expectNear(const std::vector<float>& a, const std::vector<float>& b, float tolerance) {
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i)
    ASSERT_NEAR(a[i], b[i], tolerance) << i;
}

TEST(AmpSimulator, BypassFlagsSkipTheirSections) {
  const std::vector<float> in = testsupport::whiteNoise(kBlock * 40, 0.5f);
  // Amp section bypassed, stomps neutral: the input comes straight through.
  auto amp = freshAmp();
  amp->setBypassFlags(0, 1);
  expectNear(run(*amp, in), in, 1e-12f);

  // Both bypassed: tremolo and overdrive are skipped even when on.
  amp = freshAmp();
  amp->setTremolo(0.5f, 0.9f);
  amp->setOverdriveOn(1);
  amp->setBypassFlags(1, 1);
  expectNear(run(*amp, in), in, 1e-12f);

  // With the stomps running the same settings change the signal.
  amp->setBypassFlags(0, 1);
  const std::vector<float> stomped = run(*amp, in);
  double diff = 0;
  for (size_t i = 0; i < in.size(); ++i)
    diff += std::fabs(stomped[i] - in[i]);
  EXPECT_GT(diff / in.size(), 0.05);
}

TEST(AmpSimulator, Model1IgnoresGainButFollowsVolumeWithTheHalfLaw) {
  const std::vector<float> in = testsupport::whiteNoise(kBlock * 40, 0.3f);
  auto render = [&](float gain, float volume) {
    auto amp = freshAmp();
    amp->setPreampModel(1);
    amp->setPreamp(1, gain, 0, volume);
    return run(*amp, in);
  };
  EXPECT_EQ(render(0.1f, 0.5f), render(0.9f, 0.5f));
  EXPECT_NE(render(0.1f, 0.5f), render(0.1f, 0.9f));

  auto amp = freshAmp();
  amp->setPreampModel(1);
  amp->setPreamp(1, 0.2f, 0, 0.0f);
  EXPECT_NEAR(20 * std::log10(amp->volumeGain()), -20.0, 1e-4);  // half law: -12 dB - 8
  amp->setPreampModel(3);
  amp->setPreamp(3, 0.2f, 0, 0.0f);
  EXPECT_NEAR(20 * std::log10(amp->volumeGain()), -32.0, 1e-4);
  amp->setPreamp(3, 0.2f, 0, 1.0f);
  EXPECT_NEAR(20 * std::log10(amp->volumeGain()), -8.0, 1e-4);
  // Unknown models keep everything but drop the half law.
  amp->setPreampModel(7);
  EXPECT_EQ(amp->preampModel(), 3);
}

TEST(AmpSimulator, OverdriveRestartsFromSilenceOnlyAfterBeingSwitchedOff) {
  const std::vector<float> loud = testsupport::whiteNoise(kBlock * 20, 0.9f);
  const std::vector<float> silence(kBlock * 4, 0.0f);
  auto tailAfter = [&](bool switchOff) {
    auto amp = freshAmp();
    amp->setBypassFlags(0, 1);  // hear the overdrive alone
    amp->setOverdriveOn(1);
    run(*amp, loud);
    if (switchOff) amp->setOverdriveOn(0);
    amp->setOverdriveOn(1);
    return run(*amp, silence);
  };
  // Fresh filters give silence out for silence in; kept state rings on.
  float restarted = 0, kept = 0;
  for (float x : tailAfter(true))
    restarted = std::max(restarted, std::fabs(x));
  for (float x : tailAfter(false))
    kept = std::max(kept, std::fabs(x));
  EXPECT_LT(restarted, 1e-15f);
  EXPECT_GT(kept, 1e-4f);
}

TEST(AmpSimulator, SpringReverbKeepsRunningAtZeroSend) {
  std::vector<float> impulse(kBlock * 8, 0.0f);
  impulse[0] = 1.0f;
  const std::vector<float> silence(kBlock * 60, 0.0f);
  auto tail = [&](float laterSend) {
    auto amp = freshAmp();
    amp->setCabinetModel(rack::AmpSimulator::kNoCabinet);
    amp->setSpringReverb(0.0f);
    run(*amp, impulse);
    amp->setSpringReverb(laterSend);
    return run(*amp, silence);
  };
  // Raising the send after the impulse adds the tail that built up while it was 0.
  const std::vector<float> dry = tail(0.0f), wet = tail(1.0f);
  double added = 0;
  for (size_t i = 0; i < dry.size(); ++i)
    added += double(wet[i] - dry[i]) * (wet[i] - dry[i]);
  EXPECT_GT(added, 1e-6);
}

TEST(AmpSimulator, PresenceIsFlatAtZeroAndPeaksNear2800HzAtFull) {
  rack::AmpSimulator amp;
  amp.setToneStack(0, 0.5f, 0.5f, 0.5f, 0.0f);
  for (double hz : {50.0, 1000.0, 2800.0, 12000.0}) {
    EXPECT_NEAR(std::abs(amp.presenceResponse(hz)), 1.0, 1e-5) << hz;
  }
  amp.setToneStack(0, 0.5f, 0.5f, 0.5f, 127.0f / 128.0f);  // the knob at full scale
  // 17592.9 rad/s lands at 2 atan(w / 2fs) after the bilinear mapping.
  const double centre = std::atan(17592.92 / (2.0 * 44100)) * 44100 / 3.141592653589793;
  EXPECT_NEAR(20 * std::log10(std::abs(amp.presenceResponse(centre))), 9.92, 0.05);
  EXPECT_NEAR(std::abs(amp.presenceResponse(30.0)), 1.0, 0.01);
}

TEST(AmpSimulator, FormatChangeReturnsToTheBuiltInModels) {
  rack::AmpSimulator amp;
  amp.setPreampModel(5);
  amp.setToneStackModel(1);
  amp.setPowerStageModel(2);
  amp.setCabinetModel(6);
  amp.setFormat(1, 48000);
  EXPECT_EQ(amp.preampModel(), 0);
  EXPECT_EQ(amp.toneStackModel(), 3);
  EXPECT_EQ(amp.powerStageModel(), 0);
  EXPECT_EQ(amp.cabinetModel(), 2);
  // Out-of-table selections change nothing.
  amp.setPowerStageModel(4);
  amp.setToneStackModel(2);
  EXPECT_EQ(amp.powerStageModel(), 0);
  EXPECT_EQ(amp.toneStackModel(), 3);
}

// After a NaN every filter of the amp holds it; recover() clears them all, so the next blocks
// sound as from a freshly reset amp.
TEST(AmpSimulator, RecoverClearsAPoisonedAmp) {
  const std::vector<float> in = testsupport::whiteNoise(kBlock * 40, 0.5f);
  auto configure = [](rack::AmpSimulator& amp) {
    amp.setPreampModel(5);
    amp.setPowerStageModel(0);
    amp.setCabinetModel(1);
    amp.setOverdriveOn(1);
    amp.setSpringReverb(0.8f);
  };
  auto fresh = freshAmp();
  configure(*fresh);
  const std::vector<float> expected = run(*fresh, in);

  auto amp = freshAmp();
  configure(*amp);
  std::vector<float> poison(kBlock, std::numeric_limits<float>::quiet_NaN()), out(kBlock);
  amp->process(out.data(), poison.data(), kBlock);
  amp->process(out.data(), in.data(), kBlock);
  EXPECT_TRUE(std::isnan(out[kBlock - 1])) << "the state stays poisoned";
  amp->recover();
  expectNear(run(*amp, in), expected, 1e-6f);
}

// The one setter another thread may call while audio runs: the audio thread skips the tone
// stack for a block rather than wait, and never sees a half-made recompute.
TEST(AmpSimulatorConcurrency, ToneStackRecomputesWhileAudioRuns) {
  rack::AmpSimulator amp;
  amp.reset();
  amp.setPreampModel(3);
  std::atomic<bool> stop{false};
  std::thread knobs([&] {
    for (int i = 0; !stop.load(); ++i) {
      const float x = float(i % 101) / 100.0f;
      amp.setToneStack(i % 3 == 0 ? 0 : 4, x, 1.0f - x, x * x, x);
    }
  });
  const std::vector<float> in = testsupport::whiteNoise(kBlock, 0.5f);
  std::vector<float> out(kBlock);
  bool finite = true;
  float peak = 0;
  for (int block = 0; block < 20000; ++block) {
    if (block % 100 == 0) amp.recover();  // what the rack does after a bad block
    amp.process(out.data(), in.data(), kBlock);
    for (float x : out) {
      finite = finite && std::isfinite(x);
      peak = std::max(peak, std::fabs(x));
    }
  }
  stop = true;
  knobs.join();
  EXPECT_TRUE(finite);
  EXPECT_LT(peak, 2.0f);
}

}  // namespace
