#include "dsp/wahwah.h"

#include <cmath>
#include <mutex>

#include "dsp/effect_descriptors.h"

namespace dsp {
namespace {

constexpr int kWah = 0;
constexpr int kAuto = 1;
constexpr int kMaxChannels = 2;

}  // namespace

TWahwah::TWahwah(EffectObserver* owner, uint32_t flags)
    : TAutomatedEffect(owner, &descriptors::kWahwah, flags),
      scratch_(std::make_unique<float[]>(kMaxChunk * kMaxChannels)) {
  // Usable before the caller's setFormat: the descriptor's channels at the default rate.
  configureFilters(outputChannels(), static_cast<int>(sampleRate()));
}

void TWahwah::configureFilters(int channels, int sampleRate) {
  bandpass_.setFormat(channels, sampleRate);
  detector_.setFormat(channels, sampleRate);
  // The follower listens above 400 Hz, where picking attack lives.
  detector_.setAnalog(1.0f, 0.0f, 1.0f, 2513.2f);
}

void TWahwah::setFormat(int channels, int sampleRate) {
  TAutomatedEffect::setFormat(channels, sampleRate);
  configureFilters(channels, sampleRate);
  markAllChanged();
  parametersChanged();
}

void TWahwah::reset() {
  std::lock_guard<std::mutex> guard(effectLock());
  envelope_ = 0.0f;
  bandpass_.reset();
  detector_.reset();
}

int TWahwah::processBlock(float* out, const float* in, int frames) {
  detector_.processBlock(scratch_.get(), in, frames);
  const int samples = frames * outputChannels();
  float sum = 0.0f;
  for (int i = 0; i < samples; ++i)
    sum += std::fabs(scratch_[i]);
  const float mean = sum / static_cast<float>(samples);
  // The weights add up to 1.02: a steady input settles the envelope above its mean level.
  envelope_ = envelope_ * 0.99f + mean * 0.03f;

  float position = envelope_ * value(kAuto) * 6.0f + value(kWah);
  if (position > 1.0f) position = 1.0f;
  position_ = position;

  // Heel at 300 Hz (Q 4, gain 8.5), toe near 1477 Hz (Q 6.5, gain 14.5).
  const float w = static_cast<float>(1884.9 * std::pow(2.0, 2.3 * position));
  const float k = 1.0f / (2.5f * position + 4.0f);
  const float gain = 6.0f * position + 8.5f;
  bandpass_.setAnalog(0.0f, gain * k * w, 0.0f, 1.0f, k * w, w * w);
  bandpass_.processBlock(out, in, frames);
  return frames;
}

}  // namespace dsp
