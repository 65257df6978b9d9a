#pragma once

#include <complex>

#include "dsp/stepped_iir.h"

namespace dsp {

// Second-order IIR filter, direct form I, on mono or two-channel interleaved float samples.
// Designs come from analog prototypes in s (frequencies in rad/s) mapped by the bilinear
// transform with K = 2 x sample rate and no prewarping; the coefficient arithmetic stays in
// float. setFormat, reset and one design call come before the first sample. Mono blocks run
// several samples per step (SteppedIir), which changes only the float rounding, so where a
// long signal is cut into blocks can move the last bits of the output.
class BiquadFilter {
 public:
  struct Coefficients {
    float b0, b1, b2, a1, a2;
  };

  // Any channel count of 2 or more processes exactly two interleaved channels.
  void setFormat(int channels, int sampleRate);
  void reset();

  void setCoefficients(float b0, float b1, float b2, float a1, float a2);
  // (num2 s^2 + num1 s + num0) / (den2 s^2 + den1 s + den0)
  void setAnalog(float num2, float num1, float num0, float den2, float den1, float den0);
  // w is the corner (centre) frequency in rad/s, d the damping 1/Q.
  void setLowpass(float w, float d);
  void setHighpass(float w, float d);
  // Peak gain 1 at w.
  void setBandpass(float w, float d);
  // g (s + z1)(s + z2) / ((s + p1)(s + p2)) with g chosen for unity gain at DC.
  void setPoleZero(float z1, float z2, float p1, float p2);

  // out may equal in. The last two inputs and outputs of each channel carry over.
  void processBlock(float* out, const float* in, int frames);
  // Mono filters in series: filters[0], then filters[1] and so on over one block, the same as
  // processBlock on each in turn up to float rounding, but faster: the filters' recursions
  // overlap. At most kMaxCascade filters; out may equal in.
  static constexpr int kMaxCascade = 8;
  static void processCascade(BiquadFilter* const* filters, int count, float* out, const float* in,
                             int frames);
  void processFrame(float* out, const float* in);

  // The digital transfer function at a frequency in Hz (for tests and response curves).
  std::complex<double> response(double hz) const;

  // The designed coefficients, for effects that run the difference equation inline.
  Coefficients coefficients() const { return {b0_, b1_, b2_, a1_, a2_}; }

  int channels() const { return channels_; }
  float sampleRate() const { return sampleRate_; }

 private:
  struct State {
    float x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  };

  float k() const { return 2.0f * sampleRate_; }
  template <class Form>
  const Form& designed(Form& form, bool& stale) const;
  void setDenominator(float w, float d, float norm);

  int channels_ = 1;
  float sampleRate_ = 44100.0f;
  State state_[2];
  float b0_ = 0, b1_ = 0, b2_ = 0, a1_ = 0, a2_ = 0;
  // The same coefficients in the stepped forms of a block on its own and of a cascade, each
  // derived when first needed: some owners redesign every block, some never run blocks.
  SteppedIir<2, 8> eightStep_;
  SteppedIir<2, 4> fourStep_;
  bool eightStepStale_ = true;
  bool fourStepStale_ = true;
};

}  // namespace dsp
