#include "rack/power_sag.h"

#include <cmath>

namespace rack {

PowerSag::PowerSag() {
  setFormat(2, 44100);
  setInputGainDb(0.0f);
  setOutputGainDb(0.0f);
  setAttackTime(0.02f);
  setReleaseTime(0.5f);
  reset();
}

void PowerSag::setFormat(int channels, int rate) {
  channels_ = channels >= 2 ? 2 : 1;
  if (rate > 0) sampleRate_ = static_cast<float>(rate);
  // The envelope is one value per frame whatever the channel count.
  smoother_.setFormat(1, static_cast<int>(sampleRate_));
  updateAttack();
  updateRelease();
}

void PowerSag::reset() {
  state_ = 1.0f;
  smoother_.reset();
}

void PowerSag::setInputGainDb(float db) {
  inputGain_ = std::pow(10.0f, db / 20.0f);
}

void PowerSag::setOutputGainDb(float db) {
  outputGain_ = std::pow(10.0f, db / 20.0f);
}

void PowerSag::setAttackTime(float seconds) {
  if (!(seconds > 0.0f)) return;
  attackTime_ = seconds;
  updateAttack();
}

void PowerSag::setReleaseTime(float seconds) {
  if (!(seconds > 0.0f)) return;
  releaseTime_ = seconds;
  updateRelease();
}

// Either coefficient brings the state 40 dB closer to its target within its time.
void PowerSag::updateAttack() {
  attackCoefficient_ = 1.0f - std::pow(10.0f, -2.0f / (sampleRate_ * attackTime_));
  const float corner = 1.0f / attackTime_;
  smoother_.setAnalog(0.0f, corner, 1.0f, corner);
}

void PowerSag::updateRelease() {
  releaseCoefficient_ = 1.0f - std::pow(10.0f, -2.0f / (sampleRate_ * releaseTime_));
}

void PowerSag::process(float* out, const float* in, int frames) {
  while (frames > 0) {
    const int n = frames < kBlock ? frames : kBlock;
    processChunk(out, in, n);
    out += n * channels_;
    in += n * channels_;
    frames -= n;
  }
}

void PowerSag::processChunk(float* out, const float* in, int frames) {
  // Locals, because stores through out and envelope_ could otherwise alias the members.
  float* const envelope = envelope_;
  const float inputGain = inputGain_, outputGain = outputGain_;
  const float release = releaseCoefficient_, attack = attackCoefficient_;
  float state = state_;
  if (channels_ == 2) {
    const float detectGain = inputGain * 0.5f;
    for (int i = 0; i < frames; ++i) {
      const float level = (std::fabs(in[2 * i]) + std::fabs(in[2 * i + 1])) * detectGain;
      const float e = 1.0f / (1.0f + level);
      state += (e - state) * (e >= state ? release : attack);
      envelope[i] = state - 1.0f;
    }
  } else {
    for (int i = 0; i < frames; ++i) {
      const float e = 1.0f / (1.0f + std::fabs(in[i]) * inputGain);
      state += (e - state) * (e >= state ? release : attack);
      envelope[i] = state - 1.0f;
    }
  }
  state_ = state;

  smoother_.processBlock(envelope, envelope, frames);

  if (channels_ == 2) {
    for (int i = 0; i < frames; ++i) {
      const float g = 1.0f + envelope[i];
      out[2 * i] = in[2 * i] * g * outputGain;
      out[2 * i + 1] = in[2 * i + 1] * g * outputGain;
    }
  } else {
    for (int i = 0; i < frames; ++i)
      out[i] = in[i] * (1.0f + envelope[i]) * outputGain;
  }
}

}  // namespace rack
