#pragma once

#include <cstdint>

#include "dsp/automated_effect.h"
#include "dsp/modulated_delay.h"
#include "dsp/vector_kernels.h"

namespace dsp {

// The choruses' routing and mix: wet x Level + dry x (1 - Level), dryGain being 1 - Level.
template <class Delay>
void processChorusPair(DelayPair<Delay>& pair, float* out, const float* in, int frames,
                       int inChannels, int outChannels, float dryGain) {
  pair.process(
      out, in, frames, inChannels, outChannels,
      [dryGain](float* wet, const float* dry, int n) { vec::blend(wet, dry, n, dryGain); });
}

// Stereo chorus: two 1 ms delay lines swept by sine LFOs a quarter period apart.
class TChorus : public TAutomatedEffect {
 public:
  explicit TChorus(EffectObserver* owner, uint32_t flags = 0);

  void setFormat(int channels, int sampleRate) override;
  void reset() override;

 protected:
  void parametersChanged() override;
  int processBlock(float* out, const float* in, int frames) override;

 private:
  enum Parameter { kDepth = 0, kSpeed = 1, kLevel = 2 };

  void configureDelays(int sampleRate);

  DelayPair<ModulatedDelay> delays_;
  float depthSamples_ = 0.0f;
  float rateHz_ = 0.0f;
  float dryGain_ = 0.0f;
};

}  // namespace dsp
