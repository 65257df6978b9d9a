#pragma once

namespace dsp {

// Waveshaping limiter on interleaved samples.
//   mode 0: symmetric hard clip at +-p1
//   mode 1: hard clip at p1 above and p2 below
//   mode 7: clip with quadratic knees: the upper knee starts at input p3 and reaches the
//           ceiling p1 with zero slope at 2 p1 - p3; the lower knee starts at p4 and reaches
//           the floor p2 at 2 p2 - p4
// Any other mode is only stored and leaves the signal untouched.
class FastClipper {
 public:
  void setFormat(int channels, int sampleRate);
  void setMode(int mode, float p1, float p2 = 0.0f, float p3 = 0.0f, float p4 = 0.0f);
  void processInPlace(float* buffer, int frames) const;

  int mode() const { return mode_; }

 private:
  int channels_ = 2;
  int mode_ = 0;
  float upperStart_ = 0, lowerStart_ = 0;
  float upperEnd_ = 0, lowerEnd_ = 0;
  float upperLevel_ = 0, lowerLevel_ = 0;
  float cL2_ = 0, cL1_ = 0, cL0_ = 0;
  float cU2_ = 0, cU1_ = 0, cU0_ = 0;
};

}  // namespace dsp
