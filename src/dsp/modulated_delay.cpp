#include "dsp/modulated_delay.h"

#include <algorithm>
#include <cmath>

#include "dsp/denormal.h"
#include "dsp/library.h"

namespace dsp {
namespace {

// Largest modulation the ring can hold, in 16.16 samples.
constexpr float kMaxModulation = static_cast<float>(ModulatedDelayBase::kRingMask) * 65536.0f;

}  // namespace

ModulatedDelayBase::ModulatedDelayBase() : ring_(std::make_unique<float[]>(kRingSize)) {}

void ModulatedDelayBase::clearRing() {
  std::fill_n(ring_.get(), kRingSize, 0.0f);
}

void ModulatedDelayBase::setBaseDelay(float seconds) {
  const float samples = std::floor(seconds * sampleRate_);
  const int32_t base = samples >= static_cast<float>(kRingMask)
                           ? kRingMask
                           : (samples > 0.0f ? int32_t(samples) : 0);
  const int32_t read = (writeIndex_ - base) & kRingMask;
  if (base > baseDelay_) {
    // readCounter_ is still the old read position: silence from the new one up to it.
    const int32_t count = std::min(base - baseDelay_, kRingSize);
    for (int32_t i = 0; i < count; ++i)
      ring_[(read + i) & kRingMask] = 0.0f;
  }
  baseDelay_ = base;
  readCounter_ = read;
}

int32_t ModulatedDelayBase::toFixed(float value) {
  if (std::isnan(value)) return 0;
  return static_cast<int32_t>(std::lround(std::clamp(value, -kMaxModulation, kMaxModulation)));
}

template <bool kFlush>
void ModulatedDelayBase::run(float* out, const float* in, int frames, int32_t target) {
  if (frames <= 0) return;
  // Both values lie within the ring, so the difference cannot overflow.
  modStep_ = (target - modDelay_) / frames;
  float* ring = ring_.get();
  const float feedback = feedback_;
  const int32_t step = modStep_;
  int32_t mod = modDelay_;
  int32_t read = readCounter_;
  int32_t write = writeIndex_;
  for (int n = 0; n < frames; ++n) {
    // An arithmetic shift floors a negative modulation; the mask then keeps frac >= 0, so the
    // pair (whole, frac) always describes the same delay.
    const int32_t i = (read - (mod >> 16)) & kRingMask;
    ++read;
    const float frac = static_cast<float>(mod & 0xFFFF) * (1.0f / 65536.0f);
    mod += step;
    const float a = ring[i];
    const float y = a + (ring[(i - 1) & kRingMask] - a) * frac;
    const float x = in[n];  // read before out[n] is written, in case they alias
    out[n] = y;
    float w = y * feedback + x;
    if constexpr (kFlush) {
      w = flushTiny(w);
    }
    ring[write] = w;
    write = (write + 1) & kRingMask;
  }
  modDelay_ = mod;
  readCounter_ = read & kRingMask;
  writeIndex_ = write;
}

// ModulatedDelay

void ModulatedDelay::setFormat(int channels, int sampleRate) {
  channels_ = channels;
  sampleRate_ = static_cast<float>(sampleRate);
  lfo_.setFormat(sampleRate_);
  setLfo(Lfo::kTriangle, 0.015f, 44100.0f);
  setBaseDelay(0.02f);
  setFeedback(0.5f);
}

void ModulatedDelay::setLfo(int32_t waveform, float depthSamples, float rateHz) {
  lfo_.setWaveform(waveform);
  lfo_.setFlags(0);
  lfo_.setRate(rateHz);
  modDepth_ = depthSamples * -65536.0f;
}

void ModulatedDelay::reset(float phase) {
  clearRing();
  readCounter_ = 0;
  writeIndex_ = baseDelay_;
  // Only the fraction matters; keeping it in 0..1 keeps the triangle and saw in range.
  lfo_.setPhase(phase - std::floor(phase));
  lfo_.setValue(0.0f);
  modDelay_ = toFixed(modDepth_ * lfo_.tick());
}

void ModulatedDelay::process(float* out, const float* in, int frames) {
  if (frames <= 0) return;
  run<true>(out, in, frames, toFixed(lfo_.tick() * modDepth_));
}

// RandomDelay

RandomDelay::RandomDelay() {
  noise_.setFormat(1, static_cast<int>(sampleRate_) / 128);
  setNoise(0.06f, 0.015f);
  setBaseDelay(0.02f);
  setFeedback(0.5f);
}

void RandomDelay::setFormat(int channels, int sampleRate) {
  channels_ = channels;
  sampleRate_ = static_cast<float>(sampleRate);
  noise_.setFormat(1, sampleRate / 128);
}

void RandomDelay::setNoise(float speed, float depthSeconds) {
  const float w = speed * 6.28f * 100.0f;
  if (!(w > 0.0f)) {
    // With no corner the filter would be a double integrator that keeps drifting along its
    // last slope; hold the modulation at rest instead.
    noise_.setCoefficients(0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    return;
  }
  noise_.setAnalog(0.0f, 0.0f, sampleRate_ * depthSeconds * w * w, 1.0f, 1.41f * w, w * w);
}

void RandomDelay::reset() {
  clearRing();
  noise_.reset();
  modDelay_ = 0;
}

void RandomDelay::process(float* out, const float* in, int frames) {
  if (frames <= 0) return;
  const uint32_t seed = library::nextRandom();
  const float r = static_cast<float>(double(seed & 0x3FFFFFFFu) / 536870912.0 - 1.0);
  float delay = 0.0f;
  noise_.processFrame(&delay, &r);
  run<false>(out, in, frames, toFixed(delay * 65536.0f));
}

}  // namespace dsp
