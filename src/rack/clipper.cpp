#include "rack/clipper.h"

#include <cmath>

namespace rack {
namespace {

constexpr float kHalfPi = 1.5707964f;

// sin(t) for 0 <= t <= pi/2, the only arguments a knee produces: the Taylor series to t^15
// is within 7e-12 of it there, far below what the float result keeps, and costs a fraction
// of a library call.
double kneeSine(double t) {
  const double t2 = t * t;
  double p = -1.0 / 1307674368000.0;  // -1/15!
  p = p * t2 + 1.0 / 6227020800.0;    // 1/13!
  p = p * t2 - 1.0 / 39916800.0;      // -1/11!
  p = p * t2 + 1.0 / 362880.0;        // 1/9!
  p = p * t2 - 1.0 / 5040.0;          // -1/7!
  p = p * t2 + 1.0 / 120.0;           // 1/5!
  p = p * t2 - 1.0 / 6.0;             // -1/3!
  return t + t * t2 * p;
}

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
  return static_cast<float>(span * kneeSine((x - lowerStart_) / span) + lowerStart_);
}

void Clipper::process(float* buffer, int frames) const {
  const int n = frames * channels_;
  // Locals, because stores through buffer could otherwise alias the members and force reloads.
  const float upperStart = upperStart_, lowerStart = lowerStart_;
  const float upperEnd = upperEnd_, lowerEnd = lowerEnd_;
  const float upperLevel = upperLevel_, lowerLevel = lowerLevel_;
  const float cL2 = cL2_, cL1 = cL1_, cL0 = cL0_;
  const float cU2 = cU2_, cU1 = cU1_, cU0 = cU0_;
  switch (type_) {
    case 1:
      for (int i = 0; i < n; ++i) {
        const float x = buffer[i];
        buffer[i] = x > upperLevel ? upperLevel : (x < lowerLevel ? lowerLevel : x);
      }
      break;
    case 7:
      for (int i = 0; i < n; ++i) {
        const float x = buffer[i];
        if (x < lowerEnd) {
          buffer[i] = lowerLevel;
        } else if (x < lowerStart) {
          buffer[i] = (cL2 * x + cL1) * x + cL0;
        } else if (x < upperStart) {
          // unchanged
        } else if (x < upperEnd) {
          buffer[i] = (cU2 * x + cU1) * x + cU0;
        } else {
          buffer[i] = upperLevel;
        }
      }
      break;
    case 8:
      for (int i = 0; i < n; ++i) {
        const float x = buffer[i];
        if (x > upperStart) {
          if (x >= upperEnd) {
            buffer[i] = upperLevel;
          } else {
            const double span = double(upperLevel) - upperStart;
            buffer[i] = static_cast<float>(span * kneeSine((x - upperStart) / span) + upperStart);
          }
        } else if (x < lowerStart) {
          buffer[i] = sineLower(x);
        }
      }
      break;
    case 11:
      for (int i = 0; i < n; ++i) {
        const float x = buffer[i];
        if (x > upperStart) {
          buffer[i] =
              (upperLevel * x - upperStart * upperStart) / (x + upperLevel - 2.0f * upperStart);
        } else if (x < lowerStart) {
          buffer[i] = sineLower(x);
        }
      }
      break;
    default:
      break;
  }
}

}  // namespace rack
