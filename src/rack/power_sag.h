#pragma once

#include "dsp/bilin_filter.h"

namespace rack {

// Program-dependent gain reduction of the power stage: a level detector drives the gain
// 1 / (1 + level x inputGain) down with the attack time and lets it recover with the release
// time, smoothed by a first-order low-pass at 1 / attack time rad/s. Mono or two interleaved
// channels; both samples of a frame share one gain.
class PowerSag {
 public:
  PowerSag();

  void setFormat(int channels, int rate);
  // The gain rests at 1 afterwards.
  void reset();

  void setInputGainDb(float db);
  void setOutputGainDb(float db);
  // Times in seconds; non-positive times are ignored.
  void setAttackTime(float seconds);
  void setReleaseTime(float seconds);

  // out may equal in.
  void process(float* out, const float* in, int frames);

  int channels() const { return channels_; }

 private:
  static constexpr int kBlock = 64;

  void processChunk(float* out, const float* in, int frames);
  void updateAttack();
  void updateRelease();

  int channels_ = 2;
  float sampleRate_ = 44100.0f;
  dsp::BilinFilter smoother_;
  // The envelope is held as its distance from 1 so that a smoother with zero state behaves
  // like one resting at gain 1 (its DC gain is 1), which keeps the gain at 1 after a reset.
  alignas(16) float envelope_[kBlock] = {};
  float inputGain_ = 1.0f;
  float outputGain_ = 1.0f;
  float state_ = 1.0f;
  float attackCoefficient_ = 0.0f;
  float releaseCoefficient_ = 0.0f;
  float attackTime_ = 0.02f;
  float releaseTime_ = 0.5f;
};

}  // namespace rack
