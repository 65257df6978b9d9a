#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "dsp/automated_effect.h"
#include "dsp/biquad_filter.h"
#include "dsp/fast_clipper.h"

namespace dsp {

// Distortion: a band-limited gain stage ("Gain", +6 to about +50 dB), one of five clipping
// shapes ("Shape" 0 to 4; higher values pass unclipped) and a band-pass after the clipper that
// narrows as the gain rises.
class TDistorsion : public TAutomatedEffect {
 public:
  explicit TDistorsion(EffectObserver* owner, uint32_t flags = 0);

  // At most two channels: the filters and the scratch buffer hold no more.
  void setFormat(int channels, int sampleRate) override;
  void reset() override;

  // The last chunk as it left the clipper, before the band-pass (for displays and tests).
  std::span<const float> shaped() const { return {scratch_.get(), shapedSamples_}; }

 protected:
  void parametersChanged() override;
  int processBlock(float* out, const float* in, int frames) override;

 private:
  enum Parameter { kGain = 0, kShape = 1 };

  void configure(int channels, int sampleRate);
  void designFilters();

  std::unique_ptr<float[]> scratch_;  // one chunk of two channels
  BiquadFilter preFilter_;
  BiquadFilter postFilter_;
  FastClipper clipper_;
  float drive_ = 1.0f;
  int32_t shape_ = 0;
  size_t shapedSamples_ = 0;
};

}  // namespace dsp
