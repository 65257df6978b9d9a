#pragma once

#include <cstdint>

#include "dsp/automated_effect.h"
#include "dsp/modulated_delay.h"

namespace dsp {

// Flanger: two short delay lines with strong feedback, swept by triangle LFOs half a period
// apart at a rate that follows the tempo.
class TFlanger : public TAutomatedEffect {
 public:
  explicit TFlanger(EffectObserver* owner, uint32_t flags = 0);

  void setFormat(int channels, int sampleRate) override;
  void reset() override;

 protected:
  void parametersChanged() override;
  int processBlock(float* out, const float* in, int frames) override;

 private:
  enum Parameter { kSpeed = 0, kDepth = 1, kFeedback = 2, kLevel = 3 };

  void configureDelays(int channels, int sampleRate);
  void updateLfo();

  DelayPair<ModulatedDelay> delays_;
  float depthSamples_ = 0.0f;
  float rateFactor_ = 32.0f;
  float level_ = 0.0f;
};

}  // namespace dsp
