#include "dsp/flanger.h"

#include <cmath>
#include <mutex>

#include "dsp/effect_descriptors.h"
#include "dsp/vector_kernels.h"

namespace dsp {

TFlanger::TFlanger(EffectObserver* owner, uint32_t flags)
    : TAutomatedEffect(owner, &descriptors::kFlanger, flags) {
  configureDelays(outputChannels(), static_cast<int>(sampleRate()));
  parametersChanged();
}

void TFlanger::configureDelays(int channels, int sampleRate) {
  delays_.a.setFormat(channels, sampleRate);
  delays_.b.setFormat(channels, sampleRate);
  delays_.a.setBaseDelay(0.0001f);
  delays_.b.setBaseDelay(0.0001f);
}

void TFlanger::setFormat(int channels, int sampleRate) {
  TAutomatedEffect::setFormat(channels, sampleRate);
  configureDelays(channels, sampleRate);
  markAllChanged();
  updateLfo();
  parametersChanged();
}

void TFlanger::parametersChanged() {
  if (changed(kSpeed)) rateFactor_ = std::pow(10.0f, value(kSpeed)) * 0.04f;
  if (changed(kDepth)) depthSamples_ = (value(kDepth) * 0.005f + 0.001f) * sampleRate();
  if (changed(kFeedback)) {
    const float feedback = std::sqrt(value(kFeedback)) * 0.98f;
    delays_.a.setFeedback(feedback);
    delays_.b.setFeedback(feedback);
  }
  if (changed(kLevel)) level_ = value(kLevel);
  if (changed(parameterCount()) || changed(kSpeed) || changed(kDepth)) updateLfo();
}

void TFlanger::updateLfo() {
  const float rateHz = tempo() / 60.0f * rateFactor_;
  delays_.a.setLfo(Lfo::kTriangle, depthSamples_, rateHz);
  delays_.b.setLfo(Lfo::kTriangle, depthSamples_, rateHz);
}

void TFlanger::reset() {
  std::lock_guard<std::mutex> guard(effectLock());
  delays_.a.reset(0.0f);
  delays_.b.reset(0.5f);  // half a period apart
}

int TFlanger::processBlock(float* out, const float* in, int frames) {
  const float wetGain = level_ * 0.8f;
  const float dryGain = 1.0f - level_;
  delays_.process(out, in, frames, inputChannels(), outputChannels(),
                  [wetGain, dryGain](float* wet, const float* dry, int n) {
                    vec::weightedSum(wet, dry, n, dryGain, wetGain);
                  });
  return frames;
}

}  // namespace dsp
