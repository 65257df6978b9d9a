#pragma once

#include <complex>

namespace rack {

// Second-order IIR filter in double precision, in place on mono float blocks. It starts as a
// pass-through (b0 = 1, everything else 0).
class CIIR {
 public:
  void setSampleRate(int rate) { sampleRate_ = rate; }
  void reset();
  void process(float* buffer, int frames);
  // Peaking equaliser: gainDb at hz, 0 dB towards DC and Nyquist, bandwidth set by q.
  void setPeaking(float hz, float q, float gainDb);

  // The digital transfer function at a frequency in Hz (for tests).
  std::complex<double> response(double hz) const;

 private:
  int sampleRate_ = 44100;
  double x1_ = 0, x2_ = 0, y1_ = 0, y2_ = 0;
  double a1_ = 0, a2_ = 0, b0_ = 1, b1_ = 0, b2_ = 0;
};

}  // namespace rack
