#include "rack/power_sag.h"

#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace rack {
namespace {

// One step of the envelope towards its target e: with the release coefficient when the gain
// recovers (e above the state), with the attack coefficient when it falls. The direction flips
// with every half wave of the signal, which a branch would mispredict, so the coefficient is
// picked with a mask. Gives exactly state + (e - state) x coefficient either way.
inline float follow(float state, float e, float attack, float release) {
  const float d = e - state;
#if defined(__SSE2__)
  const __m128 rising = _mm_cmpge_ss(_mm_set_ss(e), _mm_set_ss(state));
  const __m128 k =
      _mm_or_ps(_mm_and_ps(rising, _mm_set_ss(release)), _mm_andnot_ps(rising, _mm_set_ss(attack)));
  return state + d * _mm_cvtss_f32(k);
#else
  return state + d * (e >= state ? release : attack);
#endif
}

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
  const float release = releaseCoefficient_, attack = attackCoefficient_;
  float state = state_;
  if (channels_ == 2) {
    const float detectGain = inputGain * 0.5f;
    for (int i = 0; i < frames; ++i) {
      const float level = (std::fabs(in[2 * i]) + std::fabs(in[2 * i + 1])) * detectGain;
      state = follow(state, 1.0f / (1.0f + level), attack, release);
      envelope[i] = state - 1.0f;
    }
  } else {
    for (int i = 0; i < frames; ++i) {
      state = follow(state, 1.0f / (1.0f + std::fabs(in[i]) * inputGain), attack, release);
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
