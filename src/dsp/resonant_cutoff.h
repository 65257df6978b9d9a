#pragma once

#include <cstdint>
#include <memory>

#include "dsp/automated_effect.h"
#include "dsp/bilin_filter.h"
#include "dsp/biquad_filter.h"
#include "dsp/level_detect.h"
#include "dsp/lfo.h"

namespace dsp {

// Swept resonant filter: a one-, two- or four-pole low-, band- or high-pass ("Mode") whose
// cutoff sits at "Frequency" and is pulled down by a tempo-synchronised triangle ("Depth",
// "Speed"), or, with kFlagFollowEnvelope, pushed up by the input's envelope.
class TResonantCutoff : public TAutomatedEffect {
 public:
  // Factory flag: follow the input's envelope instead of the oscillator.
  static constexpr uint32_t kFlagFollowEnvelope = 1u << 2;

  TResonantCutoff(EffectObserver* owner, uint32_t flags);

  // At most two channels: the filters and the scratch buffer hold no more.
  void setFormat(int channels, int sampleRate) override;
  void setInputChannels(int channels) override;
  void reset() override;

 protected:
  void parametersChanged() override;
  int processBlock(float* out, const float* in, int frames) override;

 private:
  enum Parameter { kFrequency = 0, kResonance, kDepth, kSpeed, kMode };

  // The filter of the chosen order and response, designed from `cutoff` and `q`.
  struct FilterSet {
    void setFormat(int channels, int sampleRate);
    void reset();
    void design();
    void process(float* out, const float* in, float* scratch, int frames);

    BilinFilter first;
    BiquadFilter second[2];
    int32_t poles = 2;
    int32_t response = 0;  // 0 low-pass, 1 band-pass, 2 high-pass
    float cutoff = 1000.0f;
    float q = 1.0f;
  };

  void updateRate();
  void resetUnlocked();

  std::unique_ptr<float[]> scratch_;  // one chunk of two channels
  Lfo lfo_;
  FilterSet filterSet_;
  LevelDetect detector_;
  float baseCutoff_ = 1000.0f;
  float modDepth_ = 0.0f;
  float lfoSpeed_ = 0.0f;
  float envelope_ = 0.0f;
};

}  // namespace dsp
