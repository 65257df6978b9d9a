#pragma once

#include <cstdint>

#include "dsp/automated_effect.h"
#include "dsp/biquad_filter.h"
#include "dsp/level_detect.h"
#include "dsp/synth_vca.h"

namespace dsp {

// Tempo-synchronised gating tremolo. All control work happens once per call (one tick): a
// period of whole ticks whose first 35 % are attenuated, the gain smoothed by a low-pass at
// the control rate and applied as one ramp. At Depth 0 it ducks by the input's envelope.
class TTremolo : public TAutomatedEffect {
 public:
  explicit TTremolo(EffectObserver* owner, uint32_t flags = 0);

  void setFormat(int channels, int sampleRate) override;
  void setInputChannels(int channels) override;
  void reset() override;

 protected:
  void parametersChanged() override;
  int processBlock(float* out, const float* in, int frames) override;

 private:
  enum Parameter { kDepth = 0, kSpeed = 1 };

  void configure(int channels, int sampleRate);
  void updatePeriod();

  SynthVCA vca_;
  BiquadFilter smoother_;
  LevelDetect detector_;
  float cyclesPerBeat_ = 1.5f;
  int32_t periodTicks_ = 0;
  int32_t dutyTicks_ = 0;
  int32_t tick_ = 0;
  float depthGain_ = 1.0f;
  float envelope_ = 0.0f;
  int32_t followEnvelope_ = 0;
};

}  // namespace dsp
