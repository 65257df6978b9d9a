#include "rack/power_sag.h"

#include <cmath>

namespace rack {
namespace {

// The envelope's step towards its target e, state (1 - k) + e k: with the release
// coefficient when the gain recovers (e above the state), with the attack coefficient when it
// falls. Both steps are computed and one is picked with a mask: the direction flips with every
// half wave of the signal, which a branch would mispredict, and the comparison runs beside the
// arithmetic instead of before it. The state lives in all four lanes of a vector register.
struct Follower {
  using Vec = float __attribute__((vector_size(16)));

  Vec attack, release, keepAttack, keepRelease;

  Follower(float attackCoefficient, float releaseCoefficient)
      : attack(spread(attackCoefficient)),
        release(spread(releaseCoefficient)),
        keepAttack(spread(1.0f - attackCoefficient)),
        keepRelease(spread(1.0f - releaseCoefficient)) {}

  static Vec spread(float v) { return Vec{v, v, v, v}; }

  Vec step(Vec state, float target) const {
    const Vec e = spread(target);
    const Vec rising = state * keepRelease + e * release;
    const Vec falling = state * keepAttack + e * attack;
    return e >= state ? rising : falling;
  }
};

}  // namespace

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
  const Follower follow(attackCoefficient_, releaseCoefficient_);
  Follower::Vec state = Follower::spread(state_);
  if (channels_ == 2) {
    const float detectGain = inputGain * 0.5f;
    for (int i = 0; i < frames; ++i) {
      const float level = (std::fabs(in[2 * i]) + std::fabs(in[2 * i + 1])) * detectGain;
      state = follow.step(state, 1.0f / (1.0f + level));
      envelope[i] = state[0] - 1.0f;
    }
  } else {
    for (int i = 0; i < frames; ++i) {
      state = follow.step(state, 1.0f / (1.0f + std::fabs(in[i]) * inputGain));
      envelope[i] = state[0] - 1.0f;
    }
  }
  state_ = state[0];

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
