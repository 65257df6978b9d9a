#pragma once

#include <atomic>

#include "dsp/level_detect.h"

namespace rack {

// Input noise gate on mono blocks, in place. It stays open for the hold time after a block's
// peak last exceeded the threshold, opening with the attack time and closing with the release
// time (both as 40 dB per time constant).
class NoiseGate {
 public:
  NoiseGate();

  // Also returns attack, release, hold and threshold to their built-in settings. The gate is
  // mono whatever the channel count.
  void setFormat(int channels, int rate);
  void process(float* buffer, int frames);
  void reset();

  void setAttack(float seconds);
  void setRelease(float seconds);
  void setHold(float seconds);
  void setThresholdDb(float db);

  // Safe to call from another thread while process() runs.
  float getGain() const { return gain_.load(std::memory_order_relaxed); }

 private:
  float sampleRate_ = 44100.0f;
  dsp::LevelDetect detector_;
  int quietSamples_ = 0;
  int holdSamples_ = 0;
  std::atomic<float> gain_{0.0f};
  std::atomic<float> threshold_{0.0f};
  // The gain moves by a constant factor per sample, so its path through a chunk is a fixed
  // table of powers: attackPowers_[i] is the distance to 1 left after i + 1 samples,
  // releasePowers_[i] the gain left after i + 1 samples, for a start at 1.
  static constexpr int kChunk = 64;
  float attackPowers_[kChunk] = {};
  float releasePowers_[kChunk] = {};
  float holdTime_ = 0.0f;
};

}  // namespace rack
