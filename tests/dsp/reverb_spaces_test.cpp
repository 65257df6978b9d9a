#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "dsp/hall_reverb.h"
#include "dsp/plate_reverb.h"
#include "dsp/room_reverb.h"
#include "support/signals.h"

namespace {

using dsp::TankReverb;

constexpr int kTime = 89, kAmbient = 103;

std::unique_ptr<TankReverb> makeSpace(int which) {
  if (which == 0) return std::make_unique<dsp::THallReverb>(nullptr, 0);
  if (which == 1) return std::make_unique<dsp::TPlateReverb>(nullptr, 0);
  return std::make_unique<dsp::TRoomReverb>(nullptr, 0);
}

void settle(TankReverb& fx, int controller, int value) {
  fx.processEvent(dsp::EffectEvent::controller(uint8_t(controller), uint8_t(value)));
  std::vector<float> silence(128 * fx.outputChannels(), 0.0f);
  for (int i = 0; i < 45; ++i)
    fx.process(silence.data(), silence.data(), 128);
}

// Seconds for the output energy to fall by 60 dB after an impulse into the left channel, from
// the backward-integrated energy decay of both channels: twice the time it takes to fall from
// -5 dB to -35 dB. `expected` sets how long to listen.
double measureT60(TankReverb& fx, double expected) {
  const int frames = int(fx.sampleRate() * (1.5 * expected + 0.5));
  std::vector<float> in(2 * frames, 0.0f), out(2 * frames);
  in[0] = 1.0f;
  fx.reset();
  for (int pos = 0; pos < frames; pos += 128) {
    const int n = std::min(128, frames - pos);
    fx.process(out.data() + 2 * pos, in.data() + 2 * pos, n);
  }
  std::vector<double> decay(frames + 1, 0.0);
  for (int i = frames - 1; i >= 0; --i)
    decay[i] =
        decay[i + 1] + double(out[2 * i]) * out[2 * i] + double(out[2 * i + 1]) * out[2 * i + 1];
  auto reach = [&](double db) {
    int i = 0;
    while (i < frames && 10.0 * std::log10(decay[i] / decay[0]) > db)
      ++i;
    return double(i) / fx.sampleRate();
  };
  return 2.0 * (reach(-35.0) - reach(-5.0));
}

TEST(ReverbSpaces, HallOutlastsPlateOutlastsRoomAtEveryTime) {
  for (int time : {0, 64, 127}) {
    double t60[3];
    for (int which = 0; which < 3; ++which) {
      auto fx = makeSpace(which);
      fx->setFormat(2, 44100);
      settle(*fx, kTime, time);
      // The plate's tail outlasts its decayTime by its loop's ratio to 0.3 s; the others'
      // decayTime is their 60 dB time. The damping takes the treble off first, so the early
      // decay runs a little fast; at Time 0 the first passes through the tank dominate and
      // the tail runs long.
      const double nominal = fx->decayTime() * (which == 1 ? 15976.5 / (0.3 * 44100) : 1.0);
      t60[which] = measureT60(*fx, nominal);
      EXPECT_GT(t60[which], 0.8 * nominal) << which << " " << time;
      EXPECT_LT(t60[which], (time == 0 ? 1.6 : 1.2) * nominal) << which << " " << time;
    }
    EXPECT_GT(t60[0], 1.2 * t60[1]) << time;
    EXPECT_GT(t60[1], 2.0 * t60[2]) << time;
  }

  // Ambient 0 halves the tanks and so the tail; the tail does not depend on the rate, and at
  // 96 kHz the hall's tables outgrow the plate's tank size, which then doubles.
  for (int which : {0, 1, 2}) {
    auto fx = makeSpace(which);
    fx->setFormat(2, 44100);
    const double full = measureT60(*fx, fx->decayTime());
    settle(*fx, kAmbient, 0);
    EXPECT_NEAR(measureT60(*fx, fx->decayTime() / 2) / full, 0.5, 0.08) << which;

    auto fast = makeSpace(which);
    fast->setFormat(2, 96000);
    EXPECT_EQ(fast->tankSize(), (which == 0 ? 2 : 1) * TankReverb::kTankSize);
    EXPECT_NEAR(measureT60(*fast, fast->decayTime()) / full, 1.0, 0.1) << which;
  }
}

TEST(ReverbSpaces, PassInputThroughUntilResetAndAfterInvalidate) {
  for (int which : {0, 2}) {
    auto fx = makeSpace(which);
    fx->setFormat(2, 44100);
    const std::vector<float> in = testsupport::whiteNoise(2 * 300, 0.5f, 1);
    std::vector<float> out(in.size());
    fx->process(out.data(), in.data(), 300);
    EXPECT_EQ(out, in);
    fx->reset();
    fx->process(out.data(), in.data(), 300);
    EXPECT_NE(out, in);
    fx->invalidate();
    fx->process(out.data(), in.data(), 300);
    EXPECT_EQ(out, in);
  }
}

}  // namespace
