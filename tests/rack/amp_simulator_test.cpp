#include "rack/amp_simulator.h"

#include "rack_signals.h"

namespace {

using racktest::run;

TEST(AmpSimulator, OutOfTableSelectionsAndPresence) {
  rack::AmpSimulator amp;
  amp.reset();
  amp.setPreampModel(7);
  amp.setToneStackModel(2);
  EXPECT_EQ(amp.preampModel(), 0);
  EXPECT_EQ(amp.toneStackModel(), 3);

  // Presence at full scale: 17592.9 rad/s peaks at 2 atan(w / 2fs) (bilinear).
  amp.setToneStack(0, 0.5f, 0.5f, 0.5f, 127.0f / 128.0f);
  const double centre = std::atan(17592.92 / (2.0 * 44100)) * 44100 / std::numbers::pi;
  EXPECT_NEAR(racktest::db(amp.presenceResponse(centre)), 9.92, 0.05);
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
  const std::vector<float> in = testsupport::whiteNoise(64, 0.5f);
  float loudest = 0;
  for (int block = 0; block < 20000; ++block) {
    if (block % 100 == 0) amp.recover();  // what the rack does after a bad block
    for (float x : run(amp, in))
      loudest = std::max(loudest, std::isfinite(x) ? std::fabs(x) : INFINITY);
  }
  stop = true;
  knobs.join();
  EXPECT_LT(loudest, 2.0f);
}

}  // namespace
