#pragma once

#include <cstdint>

#include "dsp/automated_effect.h"
#include "dsp/modulated_delay.h"

namespace dsp {

// Stereo chorus whose two 6 ms delay lines wander with low-passed noise instead of an LFO;
// routing and mix as TChorus.
class TChorusRand : public TAutomatedEffect {
 public:
  explicit TChorusRand(EffectObserver* owner, uint32_t flags = 0);

  void setFormat(int channels, int sampleRate) override;
  void reset() override;

 protected:
  void parametersChanged() override;
  int processBlock(float* out, const float* in, int frames) override;

 private:
  enum Parameter { kDepth = 0, kSpeed = 1, kLevel = 2 };

  void configureDelays(int sampleRate);

  DelayPair<RandomDelay> delays_;
  float noiseDepth_ = 0.0f;
  float noiseSpeed_ = 0.0f;
  float dryGain_ = 0.0f;
};

}  // namespace dsp
