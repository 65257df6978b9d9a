#include "rack/ciir.h"

#include <cmath>
#include <numbers>

#include "dsp/denormal.h"

namespace rack {

namespace {

double flushTiny(double x) {
  return std::fabs(x) < dsp::kFlushThreshold ? 0.0 : x;
}

}  // namespace

void CIIR::reset() {
  x1_ = x2_ = y1_ = y2_ = 0.0;
}

void CIIR::setPeaking(float hz, float q, float gainDb) {
  // Without a rate there is no meaningful design; keep the current one rather than produce NaNs.
  if (sampleRate_ <= 0) return;
  constexpr double kTwoPi = 6.2831855f;  // the float value of 2 pi, as the design was tuned
  const double a = std::pow(10.0, gainDb / 40.0);
  const double w = kTwoPi * hz / sampleRate_;
  const double alpha = std::sin(w) / (2.0 * q);
  const double d = 1.0 + alpha / a;
  b0_ = (1.0 + alpha * a) / d;
  b1_ = -2.0 * std::cos(w) / d;
  b2_ = (1.0 - alpha * a) / d;
  a1_ = b1_;
  a2_ = (1.0 - alpha / a) / d;
}

void CIIR::process(float* buffer, int frames) {
  const double b0 = b0_, b1 = b1_, b2 = b2_, a1 = a1_, a2 = a2_;
  // The second sample of a pair written directly in the state before the pair, so a pair
  // waits on the previous one through a single multiply-add.
  const double c1 = b1 - a1 * b0, c2 = b2 - a1 * b1, c3 = -a1 * b2;
  const double d1 = a1 * a1 - a2, d2 = a1 * a2;
  double x1 = x1_, x2 = x2_, y1 = y1_, y2 = y2_;
  int i = 0;
  for (; i + 2 <= frames; i += 2) {
    const double x = buffer[i], next = buffer[i + 1];
    // The terms in y1 come last: they alone wait for the previous pair.
    const double y = (b0 * x + b1 * x1 + b2 * x2 - a2 * y2) - a1 * y1;
    const double after = (b0 * next + c1 * x + c2 * x1 + c3 * x2 + d2 * y2) + d1 * y1;
    x2 = x;
    x1 = next;
    y2 = y;
    y1 = after;
    buffer[i] = static_cast<float>(y);
    buffer[i + 1] = static_cast<float>(after);
  }
  for (; i < frames; ++i) {
    const double x = buffer[i];
    const double y = (b0 * x + b1 * x1 + b2 * x2 - a2 * y2) - a1 * y1;
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    buffer[i] = static_cast<float>(y);
  }
  // A silent input would otherwise leave the recursion decaying through denormal numbers.
  x1_ = flushTiny(x1);
  x2_ = flushTiny(x2);
  y1_ = flushTiny(y1);
  y2_ = flushTiny(y2);
}

std::complex<double> CIIR::response(double hz) const {
  const double omega = 2.0 * std::numbers::pi * hz / sampleRate_;
  const std::complex<double> z1 = std::polar(1.0, -omega);
  const std::complex<double> z2 = z1 * z1;
  return (b0_ + b1_ * z1 + b2_ * z2) / (1.0 + a1_ * z1 + a2_ * z2);
}

}  // namespace rack
