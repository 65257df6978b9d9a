#include "dsp/distorsion.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "dsp/effect_descriptors.h"

namespace dsp {
namespace {

constexpr int kMaxChannels = 2;

// Pre-filter corners in rad/s: 120 Hz to 15 kHz for the first four shapes, 500 Hz to 20 kHz
// for the brighter ones.
constexpr float kLowCorner = 753.98f, kHighCorner = 94247.78f;
constexpr float kBrightLowCorner = 3141.59f, kBrightHighCorner = 125663.71f;

}  // namespace

TDistorsion::TDistorsion(EffectObserver* owner, uint32_t flags)
    : TAutomatedEffect(owner, &descriptors::kDistorsion, flags),
      scratch_(std::make_unique<float[]>(kMaxChunk * kMaxChannels)) {
  configure(outputChannels(), static_cast<int>(sampleRate()));
  parametersChanged();
}

void TDistorsion::configure(int channels, int sampleRate) {
  postFilter_.setFormat(channels, sampleRate);
  preFilter_.setFormat(channels, sampleRate);
  clipper_.setFormat(channels, sampleRate);
}

void TDistorsion::setFormat(int channels, int sampleRate) {
  TAutomatedEffect::setFormat(std::clamp(channels, 1, kMaxChannels), sampleRate);
  configure(outputChannels(), sampleRate);
  markAllChanged();
  parametersChanged();
}

void TDistorsion::reset() {
  std::lock_guard<std::mutex> guard(effectLock());
  postFilter_.reset();
  preFilter_.reset();
}

void TDistorsion::parametersChanged() {
  const bool gain = changed(kGain);
  const bool shape = changed(kShape);
  if (gain) drive_ = static_cast<float>(std::pow(10.0, (value(kGain) * 44.0 + 6.0) / 20.0));
  if (shape) {
    shape_ = static_cast<int32_t>(std::floor(value(kShape) * 128.0f));
    switch (shape_) {
      case 0:
        clipper_.setMode(0, 0.8f, -0.8f);
        break;
      case 1:
        clipper_.setMode(1, 1.2f, 0.0f);
        break;
      case 3:
      case 4:
        clipper_.setMode(7, 0.6f, -1.0f, 0.1f, -0.2f);
        break;
      default:  // the rectifier and the unclipped shapes leave the clipper as it was
        break;
    }
  }
  if (gain || shape) designFilters();
}

void TDistorsion::designFilters() {
  const double g = value(kGain);
  // The upper corner is capped at half the sample rate read as rad/s, well below Nyquist:
  // the more gain, the darker, and never brighter than about 3.5 kHz at 44.1 kHz.
  const float w1 = static_cast<float>(376.99 * std::pow(2.0, g));
  const float w2 =
      std::min(static_cast<float>(138230.08 * std::pow(2.0, -1.3 * g)), sampleRate() / 2.0f);
  postFilter_.setAnalog(0.0f, w2, 0.0f, 1.0f, w1 + w2, w1 * w2);

  const bool bright = shape_ >= 4;
  const float wa = bright ? kBrightLowCorner : kLowCorner;
  const float wb = bright ? kBrightHighCorner : kHighCorner;
  preFilter_.setAnalog(0.0f, drive_ * wb, 0.0f, 1.0f, wa + wb, wa * wb);
}

int TDistorsion::processBlock(float* out, const float* in, int frames) {
  float* s = scratch_.get();
  preFilter_.processBlock(s, in, frames);
  const int samples = frames * outputChannels();
  if (shape_ == 2) {
    for (int i = 0; i < samples; ++i) {
      const float a = std::fabs(s[i]);
      s[i] = a <= 1.0f ? a : 1.0f;
    }
  } else if (shape_ <= 4) {
    clipper_.processInPlace(s, frames);
  }
  shapedSamples_ = static_cast<size_t>(samples);
  postFilter_.processBlock(out, s, frames);
  return frames;
}

}  // namespace dsp
