#pragma once

#include <cstdint>

#include "dsp/automated_effect.h"

namespace dsp {

// Amplitude modulator: the signal times a sine carrier blended with 1 by Depth, so Depth 0
// passes the signal unchanged and full Depth is ring modulation.
class TAmModulator : public TAutomatedEffect {
 public:
  explicit TAmModulator(EffectObserver* owner, uint32_t flags = 0);

  void setFormat(int channels, int sampleRate) override;

 protected:
  void parametersChanged() override;
  int processBlock(float* out, const float* in, int frames) override;

 private:
  enum Parameter { kCarrierFreq = 0, kDepth = 1 };

  // Recursive sine oscillator s = c y2 - y1; double so that its amplitude does not wander
  // over long runs at low carrier frequencies.
  double y1_ = 0.0;
  double y2_ = 0.0;
  double c_ = 0.0;
  float depth_ = 0.0f;
};

}  // namespace dsp
