#pragma once

#include <complex>
#include <cstdint>
#include <initializer_list>
#include <numbers>
#include <utility>
#include <vector>

#include "dsp/automated_effect.h"
#include "support/effect_runner.h"

namespace testsupport {

// Sends controller values, runs silence until every glide has arrived, then clears the audio
// state, so that measurements start from rest at the new settings.
inline void settleWith(dsp::TAutomatedEffect& fx,
                       std::initializer_list<std::pair<int, int>> controllers) {
  for (auto [cc, v] : controllers)
    fx.processEvent(dsp::EffectEvent::controller(uint8_t(cc), uint8_t(v)));
  std::vector<float> silence(64 * fx.outputChannels(), 0.0f);
  for (int i = 0; i < 200; ++i)
    fx.process(silence.data(), silence.data(), 64);
  fx.reset();
}

// An effect of type Fx fed in the rack's 64-frame blocks.
template <class Fx>
struct EffectRig {
  explicit EffectRig(int channels, int rate = 44100, uint32_t flags = 0)
      : fx(nullptr, flags), channels(channels) {
    fx.setFormat(channels, rate);
  }
  void cc(int controller, int value) {
    fx.processEvent(dsp::EffectEvent::controller(uint8_t(controller), uint8_t(value)));
  }
  std::vector<float> feed(const std::vector<float>& in) { return runInBlocks(fx, in, channels); }
  // Lets the gliding parameters arrive; silence leaves detectors and filters at rest.
  void settle(int frames = 16384) { feed(std::vector<float>(frames * channels, 0.0f)); }

  Fx fx;
  int channels;
};

// A mono effect's impulse response, in the rack's 64-frame blocks.
inline std::vector<float> impulseResponse(dsp::TAutomatedEffect& fx, int length) {
  std::vector<float> x(length, 0.0f), y(length);
  x[0] = 1.0f;
  for (int pos = 0; pos < length; pos += 64)
    fx.process(y.data() + pos, x.data() + pos, 64);
  return y;
}

// Fourier sum of x at `hz`: for an impulse response, the filter's complex response there.
inline std::complex<double> dtft(const std::vector<float>& x, double hz, int rate = 44100) {
  std::complex<double> sum = 0.0, z = 1.0;
  const std::complex<double> step = std::polar(1.0, -2.0 * std::numbers::pi * hz / rate);
  for (float v : x) {
    sum += double(v) * z;
    z *= step;
  }
  return sum;
}

}  // namespace testsupport
