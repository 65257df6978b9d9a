#pragma once

#include <cstdint>

#include "dsp/automated_effect.h"

namespace dsp {

// Frequency modulator: a sine carrier whose phase the input signal modulates (index Depth x 5),
// scaled by the input's peak envelope so that silence stays silent.
class TFmModulator : public TAutomatedEffect {
 public:
  explicit TFmModulator(EffectObserver* owner, uint32_t flags = 0);

  void setFormat(int channels, int sampleRate) override;
  void reset() override;

 protected:
  void parametersChanged() override;
  int processBlock(float* out, const float* in, int frames) override;

 private:
  enum Parameter { kCarrierFreq = 0, kDepth = 1 };

  float phase_ = 0.0f;
  float modIndex_ = 0.0f;
  float phaseStep_ = 0.0f;
  float envelope_ = 0.0f;
};

}  // namespace dsp
