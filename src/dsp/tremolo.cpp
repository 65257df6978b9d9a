#include "dsp/tremolo.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "dsp/effect_descriptors.h"

namespace dsp {
namespace {

constexpr int kTickFrames = 64;  // the smoother's rate is one value per 64 samples

// A float count of samples as a whole number, kept in range for absurd tempos.
int32_t wholeSamples(float samples) {
  if (!(samples > 0.0f)) return 0;
  return samples >= 2.0e9f ? 2000000000 : static_cast<int32_t>(samples);
}

}  // namespace

TTremolo::TTremolo(EffectObserver* owner, uint32_t flags)
    : TAutomatedEffect(owner, &descriptors::kTremolo, flags) {
  detector_.setMode(0);
  detector_.setFormat(inputChannels(), static_cast<int>(sampleRate()));
  configure(outputChannels(), static_cast<int>(sampleRate()));
  parametersChanged();
}

void TTremolo::configure(int channels, int sampleRate) {
  vca_.setFormat(channels, sampleRate);
  smoother_.setFormat(1, sampleRate / kTickFrames);
  smoother_.setLowpass(32.0f, 1.41f);
}

void TTremolo::setFormat(int channels, int sampleRate) {
  TAutomatedEffect::setFormat(channels, sampleRate);
  configure(channels, sampleRate);
  markAllChanged();
  updatePeriod();
  parametersChanged();
}

void TTremolo::setInputChannels(int channels) {
  TAutomatedEffect::setInputChannels(channels);
  detector_.setFormat(channels, static_cast<int>(sampleRate()));
}

void TTremolo::parametersChanged() {
  if (changed(kDepth)) {
    if (value(kDepth) == 0.0f) {
      depthGain_ = 0.0f;
      followEnvelope_ = 1;
    } else {
      depthGain_ = std::pow(10.0f, value(kDepth) * -28.0f / 20.0f);
      followEnvelope_ = 0;
    }
  }
  if (changed(kSpeed)) cyclesPerBeat_ = std::pow(2.0f, value(kSpeed) * 1.7f) * 1.5f;
  if (changed(parameterCount()) || changed(kSpeed)) updatePeriod();
}

void TTremolo::updatePeriod() {
  const float beat = samplesPerBeat();
  periodTicks_ = wholeSamples(beat / cyclesPerBeat_) / kTickFrames;
  dutyTicks_ = wholeSamples(beat * 0.35f / cyclesPerBeat_) / kTickFrames;
  smoother_.setLowpass(cyclesPerBeat_ * 6.0f + 48.0f, 1.5f);
}

void TTremolo::reset() {
  std::lock_guard<std::mutex> guard(effectLock());
  vca_.reset();
  smoother_.reset();
  tick_ = 0;
  envelope_ = 0.0f;
}

int TTremolo::processBlock(float* out, const float* in, int frames) {
  const float peak = detector_.measure(in, frames);
  envelope_ = peak * 0.03f + envelope_ * 0.99f;

  // The counter runs 0 .. periodTicks: one period lasts periodTicks + 1 calls, which makes up
  // for the rounding down of periodTicks and keeps the cycle close to the tempo.
  if (++tick_ > periodTicks_) tick_ = 0;
  float g = 1.0f;
  if (tick_ <= dutyTicks_) g = followEnvelope_ ? 1.0f - envelope_ : depthGain_;
  g = std::clamp(g, 0.04f, 1.0f);
  float smoothed = 0.0f;
  smoother_.processFrame(&smoothed, &g);

  const int inCh = inputChannels() >= 2 ? 2 : 1;
  const int outCh = outputChannels() >= 2 ? 2 : 1;
  if (inCh == outCh) {
    if (out != in) std::memmove(out, in, sizeof(float) * static_cast<size_t>(frames * outCh));
  } else if (outCh == 2) {
    for (int i = frames - 1; i >= 0; --i)
      out[2 * i] = out[2 * i + 1] = in[i];
  } else {
    for (int i = 0; i < frames; ++i)
      out[i] = in[2 * i];
  }
  vca_.processInPlace(out, frames, smoothed);
  return frames;
}

}  // namespace dsp
