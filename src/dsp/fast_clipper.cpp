#include "dsp/fast_clipper.h"

#include <cmath>

namespace dsp {

void FastClipper::setFormat(int channels, int /*sampleRate*/) {
  channels_ = channels;
}

void FastClipper::setMode(int mode, float p1, float p2, float p3, float p4) {
  mode_ = mode;
  switch (mode) {
    case 0:
      upperStart_ = p1;
      lowerStart_ = -p1;
      break;
    case 1:
      upperStart_ = p1;
      lowerStart_ = p2;
      break;
    case 7:
      // Each knee is the parabola leaving y = x with slope 1 at its start and meeting the
      // ceiling (floor) with slope 0 at its end.
      upperStart_ = p3;
      upperEnd_ = 2.0f * p1 - p3;
      upperLevel_ = p1;
      cU2_ = -0.25f / (p1 - p3);
      cU1_ = -2.0f * upperEnd_ * cU2_;
      cU0_ = cU2_ * p3 * p3;
      lowerStart_ = p4;
      lowerEnd_ = 2.0f * p2 - p4;
      lowerLevel_ = p2;
      cL2_ = -0.25f / (p2 - p4);
      cL1_ = -2.0f * lowerEnd_ * cL2_;
      cL0_ = cL2_ * p4 * p4;
      break;
    default:
      break;
  }
}

void FastClipper::processInPlace(float* buffer, int frames) const {
  const int n = frames * channels_;
  switch (mode_) {
    case 0:
      for (int i = 0; i < n; ++i) {
        if (std::fabs(buffer[i]) > upperStart_) {
          buffer[i] = buffer[i] > 0.0f ? upperStart_ : lowerStart_;
        }
      }
      break;
    case 1:
      for (int i = 0; i < n; ++i) {
        if (buffer[i] > upperStart_) {
          buffer[i] = upperStart_;
        } else if (buffer[i] < lowerStart_) {
          buffer[i] = lowerStart_;
        }
      }
      break;
    case 7:
      for (int i = 0; i < n; ++i) {
        const float x = buffer[i];
        if (x > upperStart_) {
          buffer[i] = x < upperEnd_ ? (cU2_ * x + cU1_) * x + cU0_ : upperLevel_;
        } else if (x < lowerStart_) {
          buffer[i] = x > lowerEnd_ ? (cL2_ * x + cL1_) * x + cL0_ : lowerLevel_;
        }
      }
      break;
    default:
      break;
  }
}

}  // namespace dsp
