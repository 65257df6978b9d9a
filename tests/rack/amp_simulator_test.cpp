#include "rack/amp_simulator.h"

#include "rack_signals.h"

namespace {

using racktest::run;

std::unique_ptr<rack::AmpSimulator> freshAmp() {
  auto amp = std::make_unique<rack::AmpSimulator>();
  amp->reset();
  return amp;
}

float largestDifference(const std::vector<float>& a, const std::vector<float>& b) {
  float d = 0;
  for (size_t i = 0; i < a.size(); ++i)
    d = std::max(d, std::fabs(a[i] - b[i]));
  return d;
}

TEST(AmpSimulator, BypassRecoverModelsVolumePresenceDefaultsOverdriveAndSpring) {
  const std::vector<float> in = testsupport::whiteNoise(64 * 40, 0.5f);
  auto amp = freshAmp();
  amp->setBypassFlags(0, 1);  // stomps neutral, amp section bypassed
  EXPECT_LT(largestDifference(run(*amp, in), in), 1e-12f);

  // Both bypassed: tremolo and overdrive are skipped even when on; running they change it.
  amp = freshAmp();
  amp->setTremolo(0.5f, 0.9f);
  amp->setOverdriveOn(1);
  amp->setBypassFlags(1, 1);
  EXPECT_LT(largestDifference(run(*amp, in), in), 1e-12f);
  amp->setBypassFlags(0, 1);
  EXPECT_GT(largestDifference(run(*amp, in), in), 0.3f);

  // After a NaN every filter of the amp holds it; recover() clears them all, so the next blocks
  // sound as from a freshly reset amp.
  std::unique_ptr<rack::AmpSimulator> fresh = freshAmp();
  amp = freshAmp();
  for (rack::AmpSimulator* a : {fresh.get(), amp.get()}) {
    a->setPreampModel(5);
    a->setPowerStageModel(0);
    a->setCabinetModel(1);
    a->setOverdriveOn(1);
    a->setSpringReverb(0.8f);
  }
  std::vector<float> poisoned = run(*amp, std::vector<float>(64, NAN));
  poisoned = run(*amp, std::vector<float>(in.begin(), in.begin() + 64));
  EXPECT_TRUE(std::isnan(poisoned[63])) << "the state stays poisoned";
  amp->recover();
  EXPECT_LT(largestDifference(run(*amp, in), run(*fresh, in)), 1e-6f);

  auto render = [&](float gain, float volume) {
    auto amp = freshAmp();
    amp->setPreampModel(1);
    amp->setPreamp(1, gain, 0, volume);
    return run(*amp, in);
  };
  EXPECT_EQ(render(0.1f, 0.5f), render(0.9f, 0.5f)) << "model 1 ignores the gain";
  EXPECT_NE(render(0.1f, 0.5f), render(0.1f, 0.9f));

  amp = freshAmp();
  // Model 1's half law: -12 dB - 8 at volume 0.
  for (auto [model, volume, gainDb] :
       {std::tuple{1, 0.0f, -20.0}, {3, 0.0f, -32.0}, {3, 1.0f, -8.0}}) {
    amp->setPreampModel(model);
    amp->setPreamp(model, 0.2f, 0, volume);
    EXPECT_NEAR(20 * std::log10(amp->volumeGain()), gainDb, 1e-4) << model << " at " << volume;
  }

  // Presence is flat at 0; at full scale 17592.9 rad/s peaks at 2 atan(w / 2fs) (bilinear).
  amp->setToneStack(0, 0.5f, 0.5f, 0.5f, 0.0f);
  EXPECT_NEAR(std::abs(amp->presenceResponse(2800.0)), 1.0, 1e-5);
  amp->setToneStack(0, 0.5f, 0.5f, 0.5f, 127.0f / 128.0f);
  const double centre = std::atan(17592.92 / (2.0 * 44100)) * 44100 / std::numbers::pi;
  EXPECT_NEAR(racktest::db(amp->presenceResponse(centre)), 9.92, 0.05);
  EXPECT_NEAR(std::abs(amp->presenceResponse(30.0)), 1.0, 0.01);

  // Out-of-table selections change nothing; a new format returns to the built-in models.
  amp->setPreampModel(7);
  amp->setPowerStageModel(4);
  amp->setToneStackModel(2);
  EXPECT_EQ(amp->preampModel(), 3);
  amp->setPreampModel(5);
  amp->setToneStackModel(1);
  amp->setPowerStageModel(2);
  amp->setCabinetModel(6);
  amp->setFormat(1, 48000);
  EXPECT_EQ((std::vector{amp->preampModel(), amp->toneStackModel(), amp->powerStageModel(),
                         amp->cabinetModel()}),
            (std::vector{0, 3, 0, 2}));

  const std::vector<float> loud = testsupport::whiteNoise(64 * 20, 0.9f);
  auto overdriveTail = [&](bool switchOff) {
    auto amp = freshAmp();
    amp->setBypassFlags(0, 1);  // hear the overdrive alone
    amp->setOverdriveOn(1);
    run(*amp, loud);
    if (switchOff) amp->setOverdriveOn(0);
    amp->setOverdriveOn(1);
    return racktest::peak(run(*amp, std::vector<float>(64 * 4)));
  };
  EXPECT_LT(overdriveTail(true), 1e-15f);
  EXPECT_GT(overdriveTail(false), 1e-4f);

  // Raising the send after an impulse adds the tail that built up while it was 0.
  auto springTail = [&](float laterSend) {
    auto amp = freshAmp();
    amp->setCabinetModel(rack::AmpSimulator::kNoCabinet);
    amp->setSpringReverb(0.0f);
    run(*amp, racktest::impulse(64 * 8));
    amp->setSpringReverb(laterSend);
    return run(*amp, std::vector<float>(64 * 60));
  };
  EXPECT_GT(largestDifference(springTail(1.0f), springTail(0.0f)), 1e-4f);
}

// The one setter another thread may call while audio runs: the audio thread skips the tone
// stack for a block rather than wait, and never sees a half-made recompute.
TEST(AmpSimulatorConcurrency, ToneStackRecomputesWhileAudioRuns) {
  auto amp = freshAmp();
  amp->setPreampModel(3);
  std::atomic<bool> stop{false};
  std::thread knobs([&] {
    for (int i = 0; !stop.load(); ++i) {
      const float x = float(i % 101) / 100.0f;
      amp->setToneStack(i % 3 == 0 ? 0 : 4, x, 1.0f - x, x * x, x);
    }
  });
  const std::vector<float> in = testsupport::whiteNoise(64, 0.5f);
  float loudest = 0;
  for (int block = 0; block < 20000; ++block) {
    if (block % 100 == 0) amp->recover();  // what the rack does after a bad block
    const std::vector<float> out = run(*amp, in);
    for (float x : out)
      loudest = std::max(loudest, std::isfinite(x) ? std::fabs(x) : INFINITY);
  }
  stop = true;
  knobs.join();
  EXPECT_LT(loudest, 2.0f);
}

}  // namespace
