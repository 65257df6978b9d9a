#include "dsp/leslie.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "dsp/effect_descriptors.h"

namespace dsp {
namespace {

constexpr float kCrossoverW = 6.2832f * 800.0f;
constexpr float kButterworth = 1.4142f;
constexpr float kDcCornerW = 6.2832f * 20.0f;
// Offsets the tanh so that the two half waves clip differently, giving the even harmonics of a
// single-ended tube stage.
constexpr float kBias = 0.2f;

float saturate(float x) {
  return std::tanh(x + kBias) - std::tanh(kBias);
}

}  // namespace

// About three time constants bring a rotor within 5 % of its new speed: the horn settles in 1
// to 1.5 s, the drum in 3.5 to 4 s. The horn mouth swings about 17 cm around the axis, a path
// change of 1 ms peak to peak, and is strongly directional; the drum's baffle moves less sideways
// and spreads wider. The rotors turn in opposite directions.
const TLeslie::RotorDesign TLeslie::kHorn = {0.8f, 6.7f, 0.33f, 0.5f, 0.0010f, 0.6f, 0.25f};
const TLeslie::RotorDesign TLeslie::kDrum = {0.7f, 5.8f, 1.4f, 1.2f, 0.0004f, 0.35f, -0.25f};

void TLeslie::Rotor::setFormat(int sampleRate) {
  const float rate = static_cast<float>(sampleRate);
  for (ModulatedDelay& mic : mics) {
    mic.setFormat(1, sampleRate);
    // Never below one sample: a zero delay would read the sample written a whole ring ago.
    mic.setBaseDelay(std::max(0.0005f, 1.5f / rate));
    mic.setFeedback(0.0f);
    mic.setLfo(Lfo::kSine, design->swingSeconds * rate, 0.0f);  // run() sets the rate
  }
}

void TLeslie::Rotor::reset(bool fast) {
  hz = fast ? design->fastHz : design->slowHz;
  for (int m = 0; m < 2; ++m) {
    mics[m].reset(m == 0 ? 0.0f : design->rightOffset);
    gain[m] = 1.0f + design->amDepth * mics[m].lfo().value();
  }
}

void TLeslie::Rotor::run(float* out, int outChannels, const float* in, float* scratch, int frames,
                         bool fast) {
  const RotorDesign& d = *design;
  const float rate = mics[0].sampleRate();
  const float target = fast ? d.fastHz : d.slowHz;
  const float tau = target > hz ? d.upSeconds : d.downSeconds;
  hz += (target - hz) * (1.0f - std::exp(-static_cast<float>(frames) / (tau * rate)));
  if (std::fabs(target - hz) < 1e-4f) hz = target;
  for (int m = 0; m < 2; ++m) {
    ModulatedDelay& mic = mics[m];
    // The Lfo ticks once per call and takes its rate per 128 frames: scaled to this call's
    // length it turns by exactly hz x frames / rate.
    mic.setLfo(Lfo::kSine, d.swingSeconds * rate,
               hz * static_cast<float>(frames) / Lfo::kTicksPerBlock);
    // Both microphones keep turning even when out is mono, so that a later stereo format
    // finds them a quarter turn apart.
    mic.process(scratch, in, frames);
    // The delay glides to the Lfo's new value over the call; the level follows alike.
    const float end = 1.0f + d.amDepth * mic.lfo().value();
    const float step = (end - gain[m]) / static_cast<float>(frames);
    float g = gain[m];
    gain[m] = end;
    if (m >= outChannels) continue;
    for (int i = 0; i < frames; ++i) {
      g += step;
      out[i * outChannels + m] += scratch[i] * g;
    }
  }
}

TLeslie::TLeslie(EffectObserver* owner, uint32_t flags)
    : TAutomatedEffect(owner, &descriptors::kLeslie, flags),
      scratch_(std::make_unique<float[]>(4 * kMaxChunk)) {
  horn_.design = &kHorn;
  drum_.design = &kDrum;
  configure(static_cast<int>(sampleRate()));
  parametersChanged();
  resetUnlocked();
}

void TLeslie::configure(int sampleRate) {
  dcBlock_.setFormat(1, sampleRate);
  dcBlock_.setHighpass(kDcCornerW);
  for (BiquadFilter* f : {&lowA_, &lowB_, &highA_, &highB_})
    f->setFormat(1, sampleRate);
  lowA_.setLowpass(kCrossoverW, kButterworth);
  lowB_.setLowpass(kCrossoverW, kButterworth);
  highA_.setHighpass(kCrossoverW, kButterworth);
  highB_.setHighpass(kCrossoverW, kButterworth);
  horn_.setFormat(sampleRate);
  drum_.setFormat(sampleRate);
}

void TLeslie::setFormat(int channels, int sampleRate) {
  TAutomatedEffect::setFormat(channels, sampleRate);
  configure(sampleRate);
  markAllChanged();
  parametersChanged();
}

void TLeslie::reset() {
  std::lock_guard<std::mutex> guard(effectLock());
  resetUnlocked();
}

void TLeslie::resetUnlocked() {
  dcBlock_.reset();
  for (BiquadFilter* f : {&lowA_, &lowB_, &highA_, &highB_})
    f->reset();
  horn_.reset(fast_);
  drum_.reset(fast_);
}

void TLeslie::parametersChanged() {
  if (changed(kSpeed)) fast_ = value(kSpeed) > 0.0f;
  if (changed(kDrive)) {
    // -12 dB (clean even at full scale) to +18 dB into the saturation.
    drive_ = std::pow(10.0f, (value(kDrive) * 30.0f - 12.0f) / 20.0f);
    const float slope = 1.0f - std::tanh(kBias) * std::tanh(kBias);
    makeup_ = 1.0f / (drive_ * slope);
  }
  if (changed(kLoHi)) {
    hornLevel_ = std::min(1.0f, 2.0f * value(kLoHi));
    drumLevel_ = std::min(1.0f, 2.0f * (1.0f - value(kLoHi)));
  }
}

int TLeslie::processBlock(float* out, const float* in, int frames) {
  const int ic = inputChannels();
  const int oc = outputChannels();
  float* x = scratch_.get();
  float* low = x + kMaxChunk;
  float* high = low + kMaxChunk;
  float* mic = high + kMaxChunk;
  // The whole input is read before out is touched: out may equal in.
  for (int i = 0; i < frames; ++i) {
    const float s = ic >= 2 ? 0.5f * (in[i * ic] + in[i * ic + 1]) : in[i * ic];
    x[i] = saturate(drive_ * s) * makeup_;
  }
  dcBlock_.processBlock(x, x, frames);
  lowA_.processBlock(low, x, frames);
  lowB_.processBlock(low, low, frames);
  highA_.processBlock(high, x, frames);
  highB_.processBlock(high, high, frames);
  for (int i = 0; i < frames; ++i) {
    low[i] *= drumLevel_;
    high[i] *= hornLevel_;
  }
  std::fill(out, out + frames * oc, 0.0f);
  horn_.run(out, oc, high, mic, frames, fast_);
  drum_.run(out, oc, low, mic, frames, fast_);
  return frames;
}

}  // namespace dsp
