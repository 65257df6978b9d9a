#pragma once

#include <complex>

#include "dsp/stepped_iir.h"

namespace dsp {

// First-order IIR filter y = b0 x + b1 x1 - a1 y1 on mono or two-channel interleaved samples,
// designed from analog prototypes like BiquadFilter (K = 2 x sample rate, float arithmetic).
class BilinFilter {
 public:
  void setFormat(int channels, int sampleRate);
  void reset();

  void setCoefficients(float b0, float b1, float a1);
  // (num1 s + num0) / (den1 s + den0)
  void setAnalog(float num1, float num0, float den1, float den0);
  // w / (s + w) and s / (s + w), w in rad/s.
  void setLowpass(float w);
  void setHighpass(float w);

  // out may equal in.
  void processBlock(float* out, const float* in, int frames);
  void processFrame(float* out, const float* in);

  std::complex<double> response(double hz) const;

  int channels() const { return channels_; }
  float sampleRate() const { return sampleRate_; }

 private:
  struct State {
    float x1 = 0, y1 = 0;
  };

  float k() const { return 2.0f * sampleRate_; }

  int channels_ = 1;
  float sampleRate_ = 44100.0f;
  State state_[2];
  float b0_ = 0, b1_ = 0, a1_ = 0;
  // The mono path's form of the same coefficients, derived when a block first needs it.
  SteppedIir<1, 8> eightStep_;
  bool eightStepStale_ = true;
};

}  // namespace dsp
