#include "rack/clipper.h"

#include <cmath>

namespace rack {
namespace {

constexpr float kHalfPi = 1.5707964f;

}  // namespace

void Clipper::configure(int type, float a, float b, float c, float d) {
  type_ = type;
  upperStart_ = c;
  lowerStart_ = d;
  upperLevel_ = a;
  lowerLevel_ = b;
  switch (type) {
    case 7:
      upperEnd_ = 2.0f * a - c;
      lowerEnd_ = 2.0f * b - d;
      cU2_ = -0.25f / (a - c);
      cU1_ = -2.0f * upperEnd_ * cU2_;
      cU0_ = c * c * cU2_;
      cL2_ = -0.25f / (b - d);
      cL1_ = -2.0f * lowerEnd_ * cL2_;
      cL0_ = d * d * cL2_;
      break;
    case 8:
    case 11:
      upperEnd_ = (a - c) * kHalfPi + c;
      lowerEnd_ = (b - d) * kHalfPi + d;
      break;
    default:
      break;
  }
}

// The lower sine knee of types 8 and 11: a quarter sine from the knee start down to the floor.
float Clipper::sineLower(float x) const {
  if (x <= lowerEnd_) return lowerLevel_;
  const double span = double(lowerLevel_) - lowerStart_;
  return static_cast<float>(span * std::sin((x - lowerStart_) / span) + lowerStart_);
}

void Clipper::process(float* buffer, int frames) const {
  const int n = frames * channels_;
  switch (type_) {
    case 1:
      for (int i = 0; i < n; ++i) {
        if (buffer[i] > upperLevel_) {
          buffer[i] = upperLevel_;
        } else if (buffer[i] < lowerLevel_) {
          buffer[i] = lowerLevel_;
        }
      }
      break;
    case 7:
      for (int i = 0; i < n; ++i) {
        const float x = buffer[i];
        if (x < lowerEnd_) {
          buffer[i] = lowerLevel_;
        } else if (x < lowerStart_) {
          buffer[i] = (cL2_ * x + cL1_) * x + cL0_;
        } else if (x < upperStart_) {
          // unchanged
        } else if (x < upperEnd_) {
          buffer[i] = (cU2_ * x + cU1_) * x + cU0_;
        } else {
          buffer[i] = upperLevel_;
        }
      }
      break;
    case 8:
      for (int i = 0; i < n; ++i) {
        const float x = buffer[i];
        if (x > upperStart_) {
          if (x >= upperEnd_) {
            buffer[i] = upperLevel_;
          } else {
            const double span = double(upperLevel_) - upperStart_;
            buffer[i] = static_cast<float>(span * std::sin((x - upperStart_) / span) + upperStart_);
          }
        } else if (x < lowerStart_) {
          buffer[i] = sineLower(x);
        }
      }
      break;
    case 11:
      for (int i = 0; i < n; ++i) {
        const float x = buffer[i];
        if (x > upperStart_) {
          buffer[i] = (upperLevel_ * x - upperStart_ * upperStart_) /
                      (x + upperLevel_ - 2.0f * upperStart_);
        } else if (x < lowerStart_) {
          buffer[i] = sineLower(x);
        }
      }
      break;
    default:
      break;
  }
}

}  // namespace rack
