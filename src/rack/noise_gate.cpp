#include "rack/noise_gate.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace rack {
namespace {

// Below this the closing gain is taken as shut, so the tail ends in exact zeros.
constexpr float kClosed = 1e-20f;

void fillPowers(float* powers, int count, float factor) {
  double p = 1.0;
  for (int i = 0; i < count; ++i) {
    p *= factor;
    powers[i] = static_cast<float>(p);
  }
}

}  // namespace

NoiseGate::NoiseGate() {
  detector_.setFormat(1, 44100);
  detector_.setMode(0);  // peak
  setFormat(1, 44100);
}

void NoiseGate::setFormat(int /*channels*/, int rate) {
  // A rate of zero or below would turn the coefficients into gains that grow without bound.
  if (rate <= 0) return;
  sampleRate_ = static_cast<float>(rate);
  holdSamples_ = static_cast<int>(holdTime_ * sampleRate_);
  setAttack(0.001f);
  setRelease(0.2f);
  setHold(0.1f);
  setThresholdDb(-50.0f);
}

// Negative times are taken as 0 (an instant change); they would otherwise make the gain diverge.
void NoiseGate::setAttack(float seconds) {
  seconds = std::max(seconds, 0.0f);
  const float coefficient = 1.0f - std::pow(10.0f, -2.0f / (sampleRate_ * seconds));
  fillPowers(attackPowers_, kChunk, 1.0f - coefficient);
}

void NoiseGate::setRelease(float seconds) {
  seconds = std::max(seconds, 0.0f);
  fillPowers(releasePowers_, kChunk, std::pow(10.0f, -2.0f / (sampleRate_ * seconds)));
}

void NoiseGate::setHold(float seconds) {
  holdTime_ = std::max(seconds, 0.0f);
  holdSamples_ = static_cast<int>(holdTime_ * sampleRate_);
}

void NoiseGate::setThresholdDb(float db) {
  threshold_.store(std::pow(10.0f, db / 20.0f), std::memory_order_relaxed);
}

void NoiseGate::reset() {
  gain_.store(0.0f, std::memory_order_relaxed);
  quietSamples_ = 0;
}

void NoiseGate::process(float* buffer, int frames) {
  if (frames <= 0) return;
  const float level = detector_.measure(buffer, frames);
  if (level > threshold_.load(std::memory_order_relaxed)) {
    quietSamples_ = 0;
  } else {
    // Saturate: hours of silence must not wrap the count round and reopen the gate.
    quietSamples_ = quietSamples_ > INT_MAX - frames ? INT_MAX : quietSamples_ + frames;
  }

  float gain = gain_.load(std::memory_order_relaxed);
  const bool opening = quietSamples_ < holdSamples_;
  for (int start = 0; start < frames; start += kChunk) {
    float* chunk = buffer + start;
    const int n = std::min(kChunk, frames - start);
    if (opening) {
      const float distance = 1.0f - gain;
      for (int i = 0; i < n; ++i)
        chunk[i] *= 1.0f - distance * attackPowers_[i];
      gain = 1.0f - distance * attackPowers_[n - 1];
    } else {
      const float from = gain;
      for (int i = 0; i < n; ++i) {
        const float g = from * releasePowers_[i];
        chunk[i] *= std::fabs(g) < kClosed ? 0.0f : g;
      }
      gain = from * releasePowers_[n - 1];
      if (std::fabs(gain) < kClosed) gain = 0.0f;
    }
  }
  gain_.store(gain, std::memory_order_relaxed);
}

}  // namespace rack
