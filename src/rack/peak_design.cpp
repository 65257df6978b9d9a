#include "rack/peak_design.h"

#include <cmath>

#include "dsp/biquad_filter.h"

namespace rack {
namespace {

constexpr float kPeakTwoPi = 6.283f;  // the peaking design's own rounding of 2 pi
constexpr float kTwoPi = 6.2831855f;
// Keeps the shelf coefficients (products of four angular frequencies) in float range.
constexpr float kShelfScale = 1e9f;

}  // namespace

void designPeak(dsp::BiquadFilter& filter, float gainDb, float hz, float q) {
  const float w = kPeakTwoPi * hz;
  const float a = std::pow(10.0f, gainDb / 20.0f);
  const float bandwidth = w / q;
  filter.setAnalog(1.0f, a * bandwidth, w * w, 1.0f, bandwidth, w * w);
}

void designFirstOrder(dsp::BiquadFilter& filter, float num1, float num0, float den1, float den0) {
  const float k = 2.0f * filter.sampleRate();
  const float d = den1 * k + den0;
  filter.setCoefficients((num1 * k + num0) / d, (num0 - num1 * k) / d, 0.0f, (den0 - den1 * k) / d,
                         0.0f);
}

void designShelves(dsp::BiquadFilter& filter, float highDb, float highHz, float lowDb,
                   float lowHz) {
  const float k1 = std::pow(2.0f, std::fabs(highDb) / 6.0f);
  const float k2 = std::pow(2.0f, std::fabs(lowDb) / 6.0f);
  const float high = kTwoPi * highHz;
  const float low = kTwoPi * lowHz;
  // A boost keeps its pole at the corner and moves its zero away; a cut does the reverse.
  const float zeroHigh = highDb >= 0.0f ? high / k1 : high;
  const float poleHigh = highDb >= 0.0f ? high : high / k1;
  const float zeroLow = lowDb >= 0.0f ? k2 * low : low;
  const float poleLow = lowDb >= 0.0f ? low : k2 * low;
  const float g = std::pow(10.0f, lowDb / 20.0f);
  const float zeros = zeroHigh * zeroLow;
  const float gainPoles = g * poleHigh * poleLow;
  filter.setAnalog(gainPoles / kShelfScale, (zeroHigh + zeroLow) * gainPoles / kShelfScale,
                   zeros * gainPoles / kShelfScale, zeros / kShelfScale,
                   (poleHigh + poleLow) * zeros / kShelfScale,
                   zeros * poleHigh * poleLow / kShelfScale);
}

}  // namespace rack
