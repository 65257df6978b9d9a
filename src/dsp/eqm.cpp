#include "dsp/eqm.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <utility>

#include "dsp/effect_descriptors.h"

namespace dsp {
namespace {

constexpr int kMaxChannels = 2;
constexpr double kShelfTwoPi = 2.0 * 3.1415927;
constexpr double kMidTwoPi = 2.0 * 3.1415;
// Quadratic factors of the fourth-order Bessel polynomial s^4 + 10 s^3 + 45 s^2 + 105 s + 105.
constexpr float kBesselA0 = 9.1401f, kBesselA1 = 5.7924f;
constexpr float kBesselB0 = 11.4878f, kBesselB1 = 4.2076f;

// A product of two roots where a root of 0 stands for a missing one.
double rootProduct(double a, double b) {
  if (a == 0.0) return b;
  if (b == 0.0) return a;
  return a * b;
}

// Unity gain at DC: (y1 y2)(s^2 + (x1 + x2) s + x1 x2) / ((x1 x2)(s^2 + (y1 + y2) s + y1 y2)),
// zeros at -x1, -x2 and poles at -y1, -y2 (Hz, scaled by twoPi).
void setRoots(BiquadFilter& f, double twoPi, double x1, double x2, double y1, double y2) {
  x1 *= twoPi;
  x2 *= twoPi;
  y1 *= twoPi;
  y2 *= twoPi;
  const double px = rootProduct(x1, x2);
  const double py = rootProduct(y1, y2);
  f.setAnalog(static_cast<float>(py), static_cast<float>(py * (x1 + x2)),
              static_cast<float>(py * px), static_cast<float>(px),
              static_cast<float>(px * (y1 + y2)), static_cast<float>(px * py));
}

// The mids' gain law: a steeper curve near 0 dB, up to about 20 at the ends of the scale.
float midGain(float p) {
  const double m = (p - 0.5) * 2.0 * 15.0 * 1.5;
  return static_cast<float>(m >= 0.0 ? 3.1 * std::pow(m, 0.6) : -3.1 * std::pow(-m, 0.6));
}

float shelfGain(float p) {
  return static_cast<float>((p - 0.5) * 2.0 * 15.0);
}

float midQ(float p) {
  return p >= 0.5f ? 0.6f : 1.15f;
}

}  // namespace

EQm::EQm(EffectObserver* owner, uint32_t flags)
    : TAutomatedEffect(owner, &descriptors::kEQm, flags),
      scratch_(std::make_unique<float[]>(kMaxChunk * kMaxChannels)) {
  configure(outputChannels(), static_cast<int>(sampleRate()));
  parametersChanged();
}

void EQm::configure(int channels, int sampleRate) {
  for (BiquadFilter* f : {&low_, &lowMid_, &highMid_, &high_, &highPass_[0], &highPass_[1],
                          &lowPass_[0], &lowPass_[1]}) {
    f->setFormat(channels, sampleRate);
  }
}

void EQm::setFormat(int channels, int sampleRate) {
  TAutomatedEffect::setFormat(std::clamp(channels, 1, kMaxChannels), sampleRate);
  configure(outputChannels(), sampleRate);
  markAllChanged();
  parametersChanged();
}

void EQm::reset() {
  std::lock_guard<std::mutex> guard(effectLock());
  for (BiquadFilter* f : {&low_, &lowMid_, &highMid_, &high_, &highPass_[0], &highPass_[1],
                          &lowPass_[0], &lowPass_[1]}) {
    f->reset();
  }
}

void EQm::parametersChanged() {
  if (changed(kHighShelfFreq) || changed(kHighShelfGain)) {
    highShelfFreq_ = static_cast<float>(750.0 * std::pow(2.0, 3.5 * value(kHighShelfFreq)));
    highShelfGain_ = shelfGain(value(kHighShelfGain));
    designHighShelf();
  }
  if (changed(kHighMidFreq) || changed(kHighMidGain) || changed(kHighMidQ)) {
    highMidFreq_ = static_cast<float>(200.0 * std::pow(2.0, 6.5 * value(kHighMidFreq)));
    highMidGain_ = midGain(value(kHighMidGain));
    highMidQ_ = midQ(value(kHighMidQ));
    designMid(highMid_, highMidFreq_, highMidGain_, highMidQ_);
  }
  if (changed(kLowMidFreq) || changed(kLowMidGain) || changed(kLowMidQ)) {
    lowMidFreq_ = static_cast<float>(33.0 * std::pow(2.0, 7.4 * value(kLowMidFreq)));
    lowMidGain_ = midGain(value(kLowMidGain));
    lowMidQ_ = midQ(value(kLowMidQ));
    designMid(lowMid_, lowMidFreq_, lowMidGain_, lowMidQ_);
  }
  if (changed(kLowShelfFreq) || changed(kLowShelfGain)) {
    lowShelfFreq_ = static_cast<float>(30.0 * std::pow(2.0, 2.7 * value(kLowShelfFreq)));
    lowShelfGain_ = shelfGain(value(kLowShelfGain));
    designLowBand();
  }
  if (changed(kHighPassFreq)) {
    const float p = value(kHighPassFreq);
    highPassOn_ = p > 0.0f ? 1 : 0;
    if (highPassOn_) designHighPass(static_cast<float>(15.0 * std::pow(2.0, 128.0 * p / 15.0)));
  }
  if (changed(kLowPassFreq)) {
    const float p = value(kLowPassFreq);
    const double corner = 200.0 * std::pow(2.0, 128.0 * p / 17.0);
    // Near Nyquist the filter would only colour the top octave; it is switched off instead.
    lowPassOn_ = (128.0f * p >= 127.0f || corner >= 0.45 * sampleRate()) ? 0 : 1;
    if (lowPassOn_) designLowPass(static_cast<float>(corner));
  }
}

void EQm::designHighShelf() {
  const double f = highShelfFreq_;
  const double g = std::fabs(highShelfGain_);
  const double r = std::pow(2.0, g / 8.7);
  const double t = std::pow(2.0, 0.45 * g / 8.7);
  if (highShelfGain_ >= 0.0f) {
    setRoots(high_, kShelfTwoPi, f / r, f / r, f, t * f / r);
  } else {
    setRoots(high_, kShelfTwoPi, f, t * f / r, f / r, f / r);
  }
}

void EQm::designMid(BiquadFilter& band, float f, float gain, float q) {
  if (q == 0.6f) {
    const float v = static_cast<float>(std::pow(10.0, gain / 30.0));
    band.setAnalog(1.0f, v * 6.283f * f * q, 39.476f * f * f, 1.0f, 6.283f * f * q,
                   39.476f * f * f);
    return;
  }
  // Two real corners either side of f, spread apart by the gain: the spread pair on top
  // boosts, underneath it cuts.
  const double r = std::pow(2.0, std::fabs(gain) / 6.0);
  const double a = f / q, b = f * q;
  const double c = a / r, e = b * r;
  if (gain >= 0.0f) {
    setRoots(band, kMidTwoPi, c, e, a, b);
  } else {
    setRoots(band, kMidTwoPi, a, b, c, e);
  }
}

void EQm::designLowBand() {
  const double f = lowShelfFreq_;
  const double centre = f / 4.0 + 14.0;
  const float w0 = static_cast<float>(kShelfTwoPi * centre);
  const float width = static_cast<float>(6.283 * 1.5 * (f - centre));
  const float v = static_cast<float>(std::pow(10.0, lowShelfGain_ / 20.0));
  low_.setAnalog(1.0f, v * width, w0 * w0, 1.0f, width, w0 * w0);
}

void EQm::designHighPass(float corner) {
  const float w = 6.2831802f * corner;
  highPass_[0].setAnalog(kBesselA0, 0.0f, 0.0f, kBesselA0, kBesselA1 * w, w * w);
  highPass_[1].setAnalog(kBesselB0, 0.0f, 0.0f, kBesselB0, kBesselB1 * w, w * w);
}

void EQm::designLowPass(float corner) {
  const float w = 6.2831802f * corner;
  lowPass_[0].setAnalog(0.0f, 0.0f, kBesselA0 * w * w, 1.0f, kBesselA1 * w, kBesselA0 * w * w);
  lowPass_[1].setAnalog(0.0f, 0.0f, kBesselB0 * w * w, 1.0f, kBesselB1 * w, kBesselB0 * w * w);
}

int EQm::processBlock(float* out, const float* in, int frames) {
  // The bands alternate between scratch and out, starting into scratch, so that none runs in
  // place even when out is in.
  float* const s = scratch_.get();
  const float* src = in;
  for (auto [band, gain] : {std::pair{&high_, highShelfGain_}, std::pair{&highMid_, highMidGain_},
                            std::pair{&lowMid_, lowMidGain_}, std::pair{&low_, lowShelfGain_}}) {
    if (gain == 0.0f) continue;
    float* dst = src == s ? out : s;
    band->processBlock(dst, src, frames);
    src = dst;
  }
  if (src != out) {
    std::memcpy(out, src, sizeof(float) * static_cast<size_t>(frames * outputChannels()));
  }
  if (highPassOn_) {
    highPass_[0].processBlock(s, out, frames);
    highPass_[1].processBlock(out, s, frames);
  }
  if (lowPassOn_) {
    lowPass_[0].processBlock(s, out, frames);
    lowPass_[1].processBlock(out, s, frames);
  }
  return frames;
}

}  // namespace dsp
