#include "rack/clipper.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace rack {
namespace {

constexpr float kHalfPi = 1.5707964f;

using Vec = float __attribute__((vector_size(16)));

Vec spread(float v) {
  return Vec{v, v, v, v};
}

// Applies a four-sample shape to the buffer; a short last group is padded with zeros.
template <class Shape>
void forEachGroup(float* buffer, int n, Shape shape) {
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    Vec x;
    std::memcpy(&x, buffer + i, sizeof x);
    const Vec y = shape(x);
    std::memcpy(buffer + i, &y, sizeof y);
  }
  if (i < n) {
    const size_t bytes = sizeof(float) * static_cast<size_t>(n - i);
    Vec x{};
    std::memcpy(&x, buffer + i, bytes);
    const Vec y = shape(x);
    std::memcpy(buffer + i, &y, bytes);
  }
}

// sin(t) for 0 <= t <= pi/2, the only arguments a knee produces: the Taylor series to t^15
// is within 7e-12 of it there, far below what the float result keeps, and costs a fraction
// of a library call. T is double or a vector of doubles.
template <class T>
T kneeSine(T t) {
  const T t2 = t * t;
  T p = t2 * (-1.0 / 1307674368000.0) + 1.0 / 6227020800.0;  // -1/15!, 1/13!
  p = p * t2 - 1.0 / 39916800.0;                             // -1/11!
  p = p * t2 + 1.0 / 362880.0;                               // 1/9!
  p = p * t2 - 1.0 / 5040.0;                                 // -1/7!
  p = p * t2 + 1.0 / 120.0;                                  // 1/5!
  p = p * t2 - 1.0 / 6.0;                                    // -1/3!
  return t + t * t2 * p;
}

// The sine knee span (sin((x - c) / span)) + c in double for two lanes, where x - c is the
// float difference and span = level - c, as the one-sample form computes it.
using Pair = float __attribute__((vector_size(8)));
using DoublePair = double __attribute__((vector_size(16)));

Pair sineKnee(Pair offset, Pair start, Pair level) {
  const DoublePair c = __builtin_convertvector(start, DoublePair);
  const DoublePair span = __builtin_convertvector(level, DoublePair) - c;
  const DoublePair t = __builtin_convertvector(offset, DoublePair) / span;
  return __builtin_convertvector(span * kneeSine(t) + c, Pair);
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

// Type 7 four samples at a time: every piece computed and one picked, without branches (the
// signal crosses the pieces many times per cycle, which branches would mispredict). A NaN
// passes through, as in the other types: turned into the upper level it would hide a poisoned
// filter upstream from the rack's check of each block, and the amp would never recover.
void Clipper::processQuadraticKnees(float* buffer, int n) const {
  const Vec upperStart = spread(upperStart_), lowerStart = spread(lowerStart_);
  const Vec upperEnd = spread(upperEnd_), lowerEnd = spread(lowerEnd_);
  const Vec upperLevel = spread(upperLevel_), lowerLevel = spread(lowerLevel_);
  const Vec cL2 = spread(cL2_), cL1 = spread(cL1_), cL0 = spread(cL0_);
  const Vec cU2 = spread(cU2_), cU1 = spread(cU1_), cU0 = spread(cU0_);
  forEachGroup(buffer, n, [&](Vec x) {
    const Vec upper = x < upperEnd ? (cU2 * x + cU1) * x + cU0 : upperLevel;
    const Vec lower = x < lowerEnd ? lowerLevel : (cL2 * x + cL1) * x + cL0;
    const Vec middle = x >= upperStart ? upper : x;
    return x < lowerStart ? lower : middle;
  });
}

// Type 8 four samples at a time, without a branch per sample: a group with no sample inside
// a knee is only clamped to the levels; a group that reaches into a knee also computes both
// knee halves in double and picks them where they apply.
void Clipper::processSineKnees(float* buffer, int n) const {
  const Vec upperStart = spread(upperStart_), lowerStart = spread(lowerStart_);
  const Vec upperEnd = spread(upperEnd_), lowerEnd = spread(lowerEnd_);
  const Vec upperLevel = spread(upperLevel_), lowerLevel = spread(lowerLevel_);
  forEachGroup(buffer, n, [&](Vec x) {
    const auto above = x > upperStart, below = x < lowerStart;
    const Vec clamped = above ? upperLevel : (below ? lowerLevel : x);
    const auto knee = (above & (x < upperEnd)) | (below & (x > lowerEnd));
    std::uint64_t halves[2];
    std::memcpy(halves, &knee, sizeof halves);
    if ((halves[0] | halves[1]) == 0) return clamped;
    const Vec start = above ? upperStart : lowerStart;
    const Vec level = above ? upperLevel : lowerLevel;
    const Vec offset = x - start;
    const Pair low = sineKnee(__builtin_shufflevector(offset, offset, 0, 1),
                              __builtin_shufflevector(start, start, 0, 1),
                              __builtin_shufflevector(level, level, 0, 1));
    const Pair high = sineKnee(__builtin_shufflevector(offset, offset, 2, 3),
                               __builtin_shufflevector(start, start, 2, 3),
                               __builtin_shufflevector(level, level, 2, 3));
    const Vec shaped = __builtin_shufflevector(low, high, 0, 1, 2, 3);
    return knee ? shaped : clamped;
  });
}

void Clipper::process(float* buffer, int frames) const {
  const int n = frames * channels_;
  // Locals, because stores through buffer could otherwise alias the members and force reloads.
  const float upperStart = upperStart_, lowerStart = lowerStart_;
  const float upperLevel = upperLevel_, lowerLevel = lowerLevel_;
  switch (type_) {
    case 1:
      for (int i = 0; i < n; ++i) {
        const float x = buffer[i];
        buffer[i] = x > upperLevel ? upperLevel : (x < lowerLevel ? lowerLevel : x);
      }
      break;
    case 7:
      processQuadraticKnees(buffer, n);
      break;
    case 8:
      processSineKnees(buffer, n);
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
