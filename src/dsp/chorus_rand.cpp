#include "dsp/chorus_rand.h"

#include <mutex>

#include "dsp/chorus.h"
#include "dsp/effect_descriptors.h"

namespace dsp {

TChorusRand::TChorusRand(EffectObserver* owner, uint32_t flags)
    : TAutomatedEffect(owner, &descriptors::kStereoChorus, flags) {
  configureDelays(static_cast<int>(sampleRate()));
  parametersChanged();
}

void TChorusRand::configureDelays(int sampleRate) {
  for (RandomDelay* d : {&delays_.a, &delays_.b}) {
    d->setFormat(1, sampleRate);
    d->setBaseDelay(0.006f);
  }
}

void TChorusRand::setFormat(int channels, int sampleRate) {
  TAutomatedEffect::setFormat(channels, sampleRate);
  configureDelays(sampleRate);
  markAllChanged();
  parametersChanged();
}

void TChorusRand::parametersChanged() {
  if (changed(kDepth)) {
    noiseDepth_ = value(kDepth) * 0.025f + 0.005f;
    const float feedback = value(kDepth) * 0.3f + 0.25f;
    delays_.a.setFeedback(feedback);
    delays_.b.setFeedback(feedback);
  }
  if (changed(kSpeed)) noiseSpeed_ = value(kSpeed) * 0.01f;
  if (changed(kLevel)) dryGain_ = 1.0f - value(kLevel);
  if (changed(kDepth) || changed(kSpeed)) {
    delays_.a.setNoise(noiseSpeed_, noiseDepth_);
    delays_.b.setNoise(noiseSpeed_, noiseDepth_);
  }
}

void TChorusRand::reset() {
  std::lock_guard<std::mutex> guard(effectLock());
  delays_.a.reset();
  delays_.b.reset();
}

int TChorusRand::processBlock(float* out, const float* in, int frames) {
  processChorusPair(delays_, out, in, frames, inputChannels(), outputChannels(), dryGain_);
  return frames;
}

}  // namespace dsp
