#include "dsp/chorus.h"

#include <cmath>
#include <mutex>

#include "dsp/effect_descriptors.h"

namespace dsp {

TChorus::TChorus(EffectObserver* owner, uint32_t flags)
    : TAutomatedEffect(owner, &descriptors::kStereoChorus, flags) {
  configureDelays(static_cast<int>(sampleRate()));
  parametersChanged();
}

void TChorus::configureDelays(int sampleRate) {
  for (ModulatedDelay* d : {&delays_.a, &delays_.b}) {
    d->setFormat(1, sampleRate);
    d->setBaseDelay(0.001f);
    d->setFeedback(0.0f);
  }
}

void TChorus::setFormat(int channels, int sampleRate) {
  TAutomatedEffect::setFormat(channels, sampleRate);
  configureDelays(sampleRate);
  markAllChanged();
  parametersChanged();
}

void TChorus::parametersChanged() {
  if (changed(kDepth)) depthSamples_ = sampleRate() * 0.006f * value(kDepth);
  if (changed(kSpeed)) rateHz_ = std::pow(10.0f, 2.0f * value(kSpeed)) * 0.08f;
  if (changed(kLevel)) dryGain_ = 1.0f - value(kLevel);
  if (changed(kDepth) || changed(kSpeed)) {
    delays_.a.setLfo(Lfo::kSine, depthSamples_, rateHz_);
    delays_.b.setLfo(Lfo::kSine, depthSamples_, rateHz_);
  }
}

void TChorus::reset() {
  std::lock_guard<std::mutex> guard(effectLock());
  delays_.a.reset(0.0f);
  delays_.b.reset(0.25f);  // a quarter period apart
}

int TChorus::processBlock(float* out, const float* in, int frames) {
  processChorusPair(delays_, out, in, frames, inputChannels(), outputChannels(), dryGain_);
  return frames;
}

}  // namespace dsp
