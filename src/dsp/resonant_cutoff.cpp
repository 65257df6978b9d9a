#include "dsp/resonant_cutoff.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <mutex>

#include "dsp/denormal.h"
#include "dsp/effect_descriptors.h"

namespace dsp {
namespace {

constexpr int kMaxChannels = 2;

// 2^x by writing x into a float's exponent: exact at whole octaves, linear in between, and
// about 0.9769 x 2^x overall (the offset sits a little under 1.0f's bit pattern).
float fastPow2(float x) {
  // Beyond +-20 octaves the cutoff is clamped anyway; this keeps the integer in range.
  if (!(x > -20.0f)) x = -20.0f;
  if (x > 20.0f) x = 20.0f;
  const long bits = std::lround(static_cast<double>(x) * 8388608.0 + 1064965184.0);
  return std::bit_cast<float>(static_cast<int32_t>(bits));
}

}  // namespace

void TResonantCutoff::FilterSet::setFormat(int channels, int sampleRate) {
  first.setFormat(channels, sampleRate);
  second[0].setFormat(channels, sampleRate);
  second[1].setFormat(channels, sampleRate);
}

void TResonantCutoff::FilterSet::reset() {
  first.reset();
  second[0].reset();
  second[1].reset();
}

void TResonantCutoff::FilterSet::design() {
  cutoff = std::clamp(cutoff, 40.0f, 40000.0f);
  q = std::clamp(q, 0.3f, 30.0f);
  const float w = cutoff * 6.283f;
  const float d = 1.0f / q;
  if (poles == 1) {
    // One pole has no band-pass: that setting falls back to the low-pass.
    if (response == 2) {
      first.setHighpass(w);
    } else {
      first.setLowpass(w);
    }
    return;
  }
  switch (response) {
    case 1:
      second[0].setBandpass(w, d);
      second[1].setBandpass(w, 1.35f * d);
      break;
    case 2:
      second[0].setHighpass(w, d);
      second[1].setHighpass(w, 1.35f * d);
      break;
    default:
      second[0].setLowpass(w, d);
      second[1].setLowpass(0.9f * w, 1.35f * d);
      break;
  }
}

void TResonantCutoff::FilterSet::process(float* out, const float* in, float* scratch, int frames) {
  if (poles == 1) {
    first.processBlock(out, in, frames);
  } else if (poles == 2) {
    second[0].processBlock(out, in, frames);
  } else {
    second[0].processBlock(scratch, in, frames);
    second[1].processBlock(out, scratch, frames);
  }
}

TResonantCutoff::TResonantCutoff(EffectObserver* owner, uint32_t flags)
    : TAutomatedEffect(owner, &descriptors::kResonantCutoff, flags),
      scratch_(std::make_unique<float[]>(kMaxChunk * kMaxChannels)) {
  lfo_.setFormat(sampleRate());
  filterSet_.setFormat(outputChannels(), static_cast<int>(sampleRate()));
  detector_.setMode(0);
  detector_.setFormat(inputChannels(), static_cast<int>(sampleRate()));
  parametersChanged();
}

void TResonantCutoff::setFormat(int channels, int sampleRate) {
  TAutomatedEffect::setFormat(std::clamp(channels, 1, kMaxChannels), sampleRate);
  lfo_.setFormat(this->sampleRate());
  filterSet_.setFormat(outputChannels(), sampleRate);
  markAllChanged();
  updateRate();
  parametersChanged();
}

void TResonantCutoff::setInputChannels(int channels) {
  TAutomatedEffect::setInputChannels(std::clamp(channels, 1, kMaxChannels));
  detector_.setFormat(inputChannels(), static_cast<int>(sampleRate()));
}

void TResonantCutoff::reset() {
  std::lock_guard<std::mutex> guard(effectLock());
  resetUnlocked();
}

void TResonantCutoff::resetUnlocked() {
  lfo_.setPhase(0.0f);
  lfo_.setValue(0.0f);
  lfo_.tick();
  filterSet_.reset();
  envelope_ = 0.0f;
  // Every derived value, q included, is rebuilt from the parameters, so the next chunk starts
  // from a fresh design with the current resonance.
  filterSet_.cutoff = -100000.0f;
  markAllChanged();
  parametersChanged();
}

void TResonantCutoff::parametersChanged() {
  if (changed(kFrequency)) {
    baseCutoff_ = static_cast<float>(40.0 * std::pow(2.0, 9.0 * value(kFrequency)));
  }
  if (changed(kResonance)) {
    filterSet_.q = static_cast<float>(1.2 * std::pow(10.0, 1.6 * value(kResonance)));
    filterSet_.design();
  }
  if (changed(kDepth)) modDepth_ = 4.0f * value(kDepth);
  if (changed(kSpeed)) lfoSpeed_ = std::min(64.0f * value(kSpeed), 60.0f);
  if (changed(kMode)) {
    const int m = static_cast<int>(std::floor(128.0f * value(kMode)));
    const int order = m & 7;
    filterSet_.poles = order == 1 ? 1 : order == 4 ? 4 : 2;
    const int kind = m & 0x18;
    filterSet_.response = kind == 8 ? 1 : kind == 16 ? 2 : 0;
  }
  if (changed(kSpeed) || changed(kMode) || changed(parameterCount())) updateRate();
}

void TResonantCutoff::updateRate() {
  // At 120 BPM up to 4 Hz.
  lfo_.setRate(tempo() / 60.0f * lfoSpeed_ / 30.0f);
  lfo_.setWaveform(Lfo::kTriangle);
  lfo_.setFlags(0);
}

int TResonantCutoff::processBlock(float* out, const float* in, int frames) {
  float x = 0.0f;
  if (flags() & kFlagFollowEnvelope) {
    envelope_ = flushTiny(detector_.measure(in, frames) * 0.03f + envelope_ * 0.99f);
    x = modDepth_ * envelope_;
  } else {
    // The triangle spans -1..0: the sweep only ever goes down from the base.
    x = lfo_.tick() * modDepth_;
  }
  filterSet_.cutoff = baseCutoff_ * fastPow2(x);
  filterSet_.design();
  filterSet_.process(out, in, scratch_.get(), frames);
  return frames;
}

}  // namespace dsp
