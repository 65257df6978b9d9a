#include "dsp/automated_effect.h"

#include <algorithm>

namespace dsp {
namespace {

constexpr float kDefaultSamplesPerBeat = 22050.0f;  // 44100 Hz at 120 BPM

}  // namespace

TAutomatedEffect::TAutomatedEffect(EffectObserver* owner, const EffectDescriptor* descriptor,
                                   uint32_t flags)
    : owner_(owner), descriptor_(descriptor), flags_(flags) {
  if (descriptor) {
    outputChannels_ = static_cast<int>(descriptor->outputChannels);
    inputChannels_ = static_cast<int>(descriptor->inputChannels);
    parameterCount_ = static_cast<int>(descriptor->parameterCount);
  }
  // The tempo record follows the parameters; an effect without a descriptor still has it, so
  // samplesPerBeat() is always defined.
  parameters_ = std::make_unique<ParameterRecord[]>(parameterCount_ + 1);
  for (int i = 0; i < parameterCount_; ++i) {
    ParameterRecord& p = parameters_[i];
    p.current = p.target = static_cast<float>(descriptor->defaults[i]) / 128.0f;
    p.rampRate = descriptor->rampRates[i];
    p.controller = descriptor->controllers[i];
    p.changed = 1;
  }
  ParameterRecord& beat = parameters_[parameterCount_];
  beat.current = beat.target = kDefaultSamplesPerBeat;
  beat.rampRate = kJump;
  // No MIDI controller number is this large, so the tempo record is never matched.
  beat.controller = 0xFFFFFFFFu;
  beat.changed = 1;
}

void TAutomatedEffect::setFormat(int channels, int sampleRate) {
  outputChannels_ = channels;
  sampleRate_ = static_cast<float>(sampleRate);
  setInputChannels(channels);
  ParameterRecord& beat = parameters_[parameterCount_];
  beat.current = beat.target = sampleRate_ / (tempo_ / 60.0f);
}

void TAutomatedEffect::setInputChannels(int channels) {
  inputChannels_ = channels;
}

void TAutomatedEffect::markAllChanged() {
  for (int i = 0; i <= parameterCount_; ++i)
    parameters_[i].changed = 1;
}

void TAutomatedEffect::notifyParameter(int index, float value) {
  if (owner_) {
    owner_->parameterChanged(this, parameters_[index].controller, static_cast<int>(value * 128.0f),
                             value * 100.0f);
  }
}

uint32_t TAutomatedEffect::setParameter(uint32_t controller, float value) {
  for (int i = 0; i < parameterCount_; ++i) {
    if (parameters_[i].controller == controller) {
      notifyParameter(i, value);
      return static_cast<uint32_t>(static_cast<int>(value * 100.0f * 1000.0f));
    }
  }
  return kNotHandled;
}

void TAutomatedEffect::advanceGlides(int frames) {
  bool any = false;
  for (int i = 0; i <= parameterCount_; ++i) {
    ParameterRecord& p = parameters_[i];
    if (p.current == p.target) {
      p.changed = 0;
      continue;
    }
    if (!(p.rampRate > 0.0f)) {  // negative, zero or NaN: jump
      p.current = p.target;
    } else {
      const float step = p.rampRate * static_cast<float>(frames);
      const float delta = p.target - p.current;
      if (delta > step) {
        p.current += step;
      } else if (delta < -step) {
        p.current -= step;
      } else {
        p.current = p.target;
      }
    }
    p.changed = 1;
    any = true;
  }
  if (any) parametersChanged();
}

int TAutomatedEffect::process(float* out, const float* in, int frames) {
  std::lock_guard<std::mutex> guard(lock_);
  if (frames <= 0) return 0;
  for (int pos = 0; pos < frames; pos += kMaxChunk) {
    const int n = std::min(kMaxChunk, frames - pos);
    advanceGlides(n);
    processBlock(out + pos * outputChannels_, in + pos * inputChannels_, n);
  }
  return frames;
}

uint32_t TAutomatedEffect::processEvent(const EffectEvent& event) {
  std::unique_lock<std::mutex> guard(lock_);
  const int kind = event.status & 0xF0;
  if (kind == 0xB0) {
    const uint32_t c = event.data1;
    const float v = static_cast<float>(event.data2) / 128.0f;
    if (c == 1 && (flags_ & kFlagModWheelDrivesFirst) && parameterCount_ > 0) {
      parameters_[0].target = v;
      const uint32_t controller = parameters_[0].controller;
      guard.unlock();
      return setParameter(controller, v);
    }
    for (int i = 0; i < parameterCount_; ++i) {
      if (parameters_[i].controller == c) {
        parameters_[i].target = v;
        guard.unlock();
        return setParameter(c, v);
      }
    }
  } else if (kind == 0x10 && (flags_ & kFlagObeyTempo)) {
    const float tempo = (static_cast<float>(event.data1) / 128.0f + event.data2) * 2.0f;
    // A tempo of 0 would make a beat infinitely long; keep the previous tempo instead.
    if (tempo > 0.0f) {
      tempo_ = tempo;
      parameters_[parameterCount_].target = sampleRate_ / (tempo_ / 60.0f);
    }
  }
  return kNotHandled;
}

uint32_t TAutomatedEffect::processEvents(const EffectEvent* events, int count) {
  for (int i = 0; i < count; ++i)
    processEvent(events[i]);
  return 0;
}

}  // namespace dsp
