#pragma once

namespace rack {

// The amp section's static waveshaper, in place on mono or interleaved samples. configure()
// takes the upper output ceiling a, the lower floor b, and the input levels c and d where the
// upper and lower knees begin.
//   type 1:  hard limits at a and b
//   type 7:  quadratic knees meeting the limits with zero slope at 2a - c and 2b - d
//   type 8:  sine knees meeting the limits at (a - c) pi/2 + c and (b - d) pi/2 + d
//   type 11: sine knee below; above c the rational curve (a x - c^2) / (x + a - 2c), which
//            leaves the line with slope 1 and approaches a
// Every other type leaves the signal untouched.
class Clipper {
 public:
  void setFormat(int channels) { channels_ = channels; }
  void configure(int type, float a, float b, float c, float d);
  void process(float* buffer, int frames) const;

  int type() const { return type_; }

 private:
  float sineLower(float x) const;
  void processQuadraticKnees(float* buffer, int n) const;
  void processSineKnees(float* buffer, int n) const;

  int channels_ = 2;
  int type_ = 0;
  float upperStart_ = 0, lowerStart_ = 0;
  float upperEnd_ = 0, lowerEnd_ = 0;
  float upperLevel_ = 0, lowerLevel_ = 0;
  float cL2_ = 0, cL1_ = 0, cL0_ = 0;
  float cU2_ = 0, cU1_ = 0, cU0_ = 0;
};

}  // namespace rack
