#include "dsp/compressor_core.h"

#include <cmath>

namespace dsp {
namespace {

constexpr double kMinGain = 0.01;
constexpr double kEnvelopeFloor = 1e-22;
// Side-chain memories below this are inaudible; clearing them keeps a silent tail out of
// denormal arithmetic.
constexpr double kSidechainFloor = 1e-14;

double flushBelow(double x, double floor) {
  return std::fabs(x) < floor ? 0.0 : x;
}

}  // namespace

CompressorCore::CompressorCore() {
  setAttack(0.02);
  setRelease(3.0);
  setThreshold(6.0);
  setFeedback(3.0);
  setSidechain(-8.0);
}

void CompressorCore::setAttack(double seconds) {
  attackRes_ = seconds / kAttackCap;
  updateDetector();
}

void CompressorCore::setRelease(double seconds) {
  releaseRes_ = seconds / kReleaseCap;
  updateDetector();
}

void CompressorCore::setThreshold(double dB) {
  threshold_ = std::pow(10.0, dB / 20.0);
  gainScale_ = threshold_ * feedback_;
}

void CompressorCore::setFeedback(double f) {
  feedback_ = f;
  gainScale_ = threshold_ * feedback_;
  inverseFeedback_ = 1.0 / feedback_;
}

void CompressorCore::setFormat(double sampleRate) {
  sampleRate_ = sampleRate;
  updateDetector();
  setSidechain(-8.0);
}

void CompressorCore::reset() {
  fast_.x1 = fast_.x2 = fast_.y1 = fast_.y2 = 0.0;
  slow_.x1 = slow_.x2 = slow_.y1 = slow_.y2 = 0.0;
  env1_ = env2_ = 0.0;
  scX1_ = scY1_ = 0.0;
}

float CompressorCore::gainReading() const {
  return static_cast<float>((inverseFeedback_ - (env1_ + env2_)) * feedback_);
}

void CompressorCore::setSidechain(double x) {
  // (s + 200) / (s / k + m): gain k at high frequencies, k x 2^(x / 6) at DC.
  const double k = std::pow(10.0, x / 20.0) * 2.5 / 1.3;
  const double m = 200.0 * std::pow(2.0, -x / 6.0) / k;
  const double K = 2.0 * sampleRate_;
  const double d = K / k + m;
  scB0_ = (K + 200.0) / d;
  scB1_ = (200.0 - K) / d;
  scA1_ = (m - K / k) / d;
}

void CompressorCore::updateDetector() {
  const double ra = attackRes_, r = kFixedRes, rr = releaseRes_;
  const double ca = kAttackCap, cr = kReleaseCap, fs = sampleRate_;
  const double p = rr * r * ca * cr * ra;
  const double s = r + rr + ra;
  const double e = 4.0 * fs * fs * p + s;
  const double b = ((rr * cr + r * ca) * ra + r * rr * (ca + cr)) * 2.0 * fs;
  const double n = 1.0 / (e + b);
  const double a1 = (2.0 * s - 8.0 * fs * fs * p) * n;
  const double a2 = (e - b) * n;

  const double u = r * rr * cr * 2.0 * fs;
  fast_.b0 = (r + u) * n;
  fast_.b1 = 2.0 * r * n;
  fast_.b2 = (r - u) * n;
  const double v = r * rr * ca * 2.0 * fs;
  slow_.b0 = (rr + v) * n;
  slow_.b1 = 2.0 * rr * n;
  slow_.b2 = (rr - v) * n;
  fast_.a1 = slow_.a1 = a1;
  fast_.a2 = slow_.a2 = a2;

  release1_ = std::pow(10.0, -(2.0 / fs) / (r * ca));
  release2_ = std::pow(10.0, -(2.0 / fs) / (rr * cr));
}

double CompressorCore::Biquad::run(double x) {
  const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
  x2 = x1;
  x1 = x;
  y2 = y1;
  y1 = y;
  return y;
}

void CompressorCore::Biquad::hold(double v) {
  x2 = x1;
  x1 = v;
  y2 = y1;
  y1 = v;
}

void CompressorCore::process(float* out, const float* in, int frames) {
  for (int i = 0; i < frames; ++i) {
    double gain = gainScale_ * (inverseFeedback_ - (env1_ + env2_));
    if (!(gain >= kMinGain)) gain = kMinGain;
    const double y = static_cast<double>(in[i]) * gain;
    out[i] = static_cast<float>(y);

    const double sc = scB0_ * y + scB1_ * scX1_ - scA1_ * scY1_;
    scX1_ = y;
    scY1_ = sc;
    const double level = std::fabs(sc);

    if (level <= env1_ + env2_) {
      // Release: the capacitors discharge on their own; the filters' histories follow, so an
      // attack that interrupts the release starts from the discharged level.
      env1_ = flushBelow(fast_.y1 * release1_, kEnvelopeFloor);
      env2_ = flushBelow(slow_.y1 * release2_, kEnvelopeFloor);
      fast_.hold(env1_);
      slow_.hold(env2_);
    } else {
      env1_ = fast_.run(level);
      env2_ = slow_.run(level);
    }
  }
  scX1_ = flushBelow(scX1_, kSidechainFloor);
  scY1_ = flushBelow(scY1_, kSidechainFloor);
}

}  // namespace dsp
