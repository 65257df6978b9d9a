#include "dsp/am_modulator.h"

#include <cmath>

#include "dsp/effect_descriptors.h"

namespace dsp {

TAmModulator::TAmModulator(EffectObserver* owner, uint32_t flags)
    : TAutomatedEffect(owner, &descriptors::kAmModulator, flags) {
  parametersChanged();
}

void TAmModulator::setFormat(int channels, int sampleRate) {
  TAutomatedEffect::setFormat(channels, sampleRate);
  markAllChanged();
  parametersChanged();
}

void TAmModulator::parametersChanged() {
  if (changed(kCarrierFreq)) {
    // 40 Hz to about 13.8 kHz; the oscillator restarts at phase 0.
    const double w =
        40.0 * std::pow(2.0, 8.5 * double(value(kCarrierFreq))) * 6.283 / double(sampleRate());
    y1_ = std::sin(-2.0 * w);
    y2_ = std::sin(-w);
    c_ = 2.0 * std::cos(w);
  }
  if (changed(kDepth)) depth_ = value(kDepth);
}

int TAmModulator::processBlock(float* out, const float* in, int frames) {
  const int inCh = inputChannels() >= 2 ? 2 : 1;
  const int outCh = outputChannels() >= 2 ? 2 : 1;
  const float depth = depth_;
  for (int i = 0; i < frames; ++i) {
    const double s = c_ * y2_ - y1_;
    y1_ = y2_;
    y2_ = s;
    const float gain = static_cast<float>(s) * depth + 1.0f - depth;
    const float left = in[i * inCh];
    const float right = in[i * inCh + inCh - 1];
    out[i * outCh] = left * gain;
    if (outCh == 2) out[i * outCh + 1] = right * gain;
  }
  return frames;
}

}  // namespace dsp
