#pragma once

#include <complex>
#include <memory>

#include "dsp/automated_effect.h"
#include "dsp/bilin_filter.h"
#include "dsp/biquad_filter.h"

namespace dsp {

// Wah-wah: a resonant band-pass swept by one position between heel (0) and toe (1). The
// position is the "Wah" pedal plus, with "Auto" up, an envelope follower on the high-passed
// input, so that playing harder opens the wah.
class TWahwah : public TAutomatedEffect {
 public:
  TWahwah(EffectObserver* owner, uint32_t flags);

  void setFormat(int channels, int sampleRate) override;
  void reset() override;

  // The position used by the last chunk and the follower's state, for displays and tests.
  float position() const { return position_; }
  float envelope() const { return envelope_; }
  // The wah filter's response at a frequency in Hz, as designed for the last chunk.
  std::complex<double> response(double hz) const { return bandpass_.response(hz); }

 protected:
  int processBlock(float* out, const float* in, int frames) override;

 private:
  void configureFilters(int channels, int sampleRate);

  std::unique_ptr<float[]> scratch_;  // one chunk of the detector signal
  BilinFilter detector_;
  BiquadFilter bandpass_;
  float envelope_ = 0.0f;
  float position_ = 0.0f;
};

}  // namespace dsp
