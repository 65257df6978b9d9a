#include "dsp/fm_modulator.h"

#include <cmath>
#include <mutex>

#include "dsp/denormal.h"
#include "dsp/effect_descriptors.h"

namespace dsp {
namespace {

constexpr float kTwoPi = 6.2831802f;

}  // namespace

TFmModulator::TFmModulator(EffectObserver* owner, uint32_t flags)
    : TAutomatedEffect(owner, &descriptors::kFmModulator, flags) {
  parametersChanged();
}

void TFmModulator::setFormat(int channels, int sampleRate) {
  TAutomatedEffect::setFormat(channels, sampleRate);
  markAllChanged();
  parametersChanged();
}

void TFmModulator::parametersChanged() {
  if (changed(kCarrierFreq)) {
    phaseStep_ = 40.0f * std::pow(2.0f, 8.5f * value(kCarrierFreq)) * kTwoPi / sampleRate();
  }
  if (changed(kDepth)) modIndex_ = value(kDepth) * 5.0f;
}

void TFmModulator::reset() {
  std::lock_guard<std::mutex> guard(effectLock());
  phase_ = 0.0f;
  envelope_ = 0.0f;
}

int TFmModulator::processBlock(float* out, const float* in, int frames) {
  const int inCh = inputChannels() >= 2 ? 2 : 1;
  const int outCh = outputChannels() >= 2 ? 2 : 1;
  for (int i = 0; i < frames; ++i) {
    const float left = in[i * inCh];
    const float right = in[i * inCh + inCh - 1];
    const float a = inCh == 2 ? (std::fabs(left) + std::fabs(right)) * 0.5f : std::fabs(left);
    envelope_ = a > envelope_ ? a : envelope_ * 0.998f;
    out[i * outCh] = envelope_ * std::sin(modIndex_ * left + phase_);
    if (outCh == 2) out[i * outCh + 1] = envelope_ * std::sin(modIndex_ * right + phase_);
    phase_ += phaseStep_;
  }
  phase_ -= std::round(phase_ / kTwoPi) * kTwoPi;
  // The envelope's release is a feedback path: end it in zero, not in denormals.
  envelope_ = flushTiny(envelope_);
  return frames;
}

}  // namespace dsp
