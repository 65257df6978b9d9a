#pragma once

#include <cstdint>
#include <memory>

#include "dsp/automated_effect.h"
#include "dsp/biquad_filter.h"

namespace dsp {

// Four-band equaliser: high shelf, two peaking mids with a two-position Q switch, a low band,
// then a fourth-order Bessel high-pass and low-pass. A band at 0 dB and a filter switched off
// cost nothing; with everything neutral the input is copied unchanged.
class EQm : public TAutomatedEffect {
 public:
  explicit EQm(EffectObserver* owner, uint32_t flags = 0);

  // At most two channels: the filters and the scratch buffer hold no more.
  void setFormat(int channels, int sampleRate) override;
  void reset() override;

 protected:
  void parametersChanged() override;
  int processBlock(float* out, const float* in, int frames) override;

 private:
  enum Parameter {
    kHighShelfFreq = 0,
    kHighShelfGain,
    kHighMidFreq,
    kHighMidGain,
    kHighMidQ,
    kLowMidFreq,
    kLowMidGain,
    kLowMidQ,
    kLowShelfFreq,
    kLowShelfGain,
    kHighPassFreq,
    kLowPassFreq,
  };

  void configure(int channels, int sampleRate);
  void designHighShelf();
  void designMid(BiquadFilter& band, float f, float gain, float q);
  void designLowBand();
  void designHighPass(float corner);
  void designLowPass(float corner);

  BiquadFilter low_, lowMid_, highMid_, high_;
  float highShelfFreq_ = 0.0f, highShelfGain_ = 0.0f;
  float lowShelfFreq_ = 0.0f, lowShelfGain_ = 0.0f;
  float highMidFreq_ = 0.0f, highMidGain_ = 0.0f, highMidQ_ = 1.15f;
  float lowMidFreq_ = 0.0f, lowMidGain_ = 0.0f, lowMidQ_ = 1.15f;
  BiquadFilter highPass_[2];
  BiquadFilter lowPass_[2];
  int32_t lowPassOn_ = 0;
  int32_t highPassOn_ = 0;
  std::unique_ptr<float[]> scratch_;  // one chunk of two channels
};

}  // namespace dsp
