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

TEST(AmpSimulator, BypassVolumeSelectionsAndPresence) {
  const std::vector<float> in = testsupport::whiteNoise(64 * 40, 0.5f);
  // Both bypassed: tremolo and overdrive are skipped even when on; running they change it.
  auto amp = freshAmp();
  amp->setTremolo(0.5f, 0.9f);
  amp->setOverdriveOn(1);
  amp->setBypassFlags(1, 1);
  EXPECT_LT(largestDifference(run(*amp, in), in), 1e-12f);
  amp->setBypassFlags(0, 1);
  EXPECT_GT(largestDifference(run(*amp, in), in), 0.3f);

  amp = freshAmp();
  // Model 1's half law: -12 dB - 8 at volume 0.
  for (auto [model, volume, gainDb] :
       {std::tuple{1, 0.0f, -20.0}, {3, 0.0f, -32.0}, {3, 1.0f, -8.0}}) {
    amp->setPreampModel(model);
    amp->setPreamp(model, 0.2f, 0, volume);
    EXPECT_NEAR(20 * std::log10(amp->volumeGain()), gainDb, 1e-4) << model << " at " << volume;
  }
  // Out-of-table selections change nothing.
  amp->setPreampModel(7);
  amp->setToneStackModel(2);
  EXPECT_EQ(amp->preampModel(), 3);
  EXPECT_EQ(amp->toneStackModel(), 3);

  // Presence is flat at 0; at full scale 17592.9 rad/s peaks at 2 atan(w / 2fs) (bilinear).
  amp->setToneStack(0, 0.5f, 0.5f, 0.5f, 0.0f);
  EXPECT_NEAR(std::abs(amp->presenceResponse(2800.0)), 1.0, 1e-5);
  amp->setToneStack(0, 0.5f, 0.5f, 0.5f, 127.0f / 128.0f);
  const double centre = std::atan(17592.92 / (2.0 * 44100)) * 44100 / std::numbers::pi;
  EXPECT_NEAR(racktest::db(amp->presenceResponse(centre)), 9.92, 0.05);
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
    for (float x : run(*amp, in))
      loudest = std::max(loudest, std::isfinite(x) ? std::fabs(x) : INFINITY);
  }
  stop = true;
  knobs.join();
  EXPECT_LT(loudest, 2.0f);
}

}  // namespace
