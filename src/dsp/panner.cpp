#include "dsp/panner.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <mutex>

#include "dsp/effect_descriptors.h"

namespace dsp {
namespace {

struct PanLaw {
  std::array<float, TPanner::kPanSteps> left;
  std::array<float, TPanner::kPanSteps> right;

  PanLaw() {
    for (int i = 0; i <= 64; ++i) {
      right[i] = static_cast<float>(i) / 64.0f;
      left[i] = std::sqrt(2.0f - right[i] * right[i]);
    }
    for (int i = 65; i < TPanner::kPanSteps; ++i) {
      left[i] = static_cast<float>(127 - i) / 64.0f;
      right[i] = std::sqrt(2.0f - left[i] * left[i]);
    }
  }
};

const PanLaw& panLaw() {
  static const PanLaw law;
  return law;
}

}  // namespace

float TPanner::panLeft(int index) {
  return panLaw().left[std::clamp(index, 0, kPanSteps - 1)];
}

float TPanner::panRight(int index) {
  return panLaw().right[std::clamp(index, 0, kPanSteps - 1)];
}

TPanner::TPanner(EffectObserver* owner, uint32_t flags)
    : TAutomatedEffect(owner, &descriptors::kPanner, flags) {
  panLaw();  // built here rather than on the audio thread
  parametersChanged();
  resetState();
}

void TPanner::setFormat(int channels, int sampleRate) {
  TAutomatedEffect::setFormat(channels, sampleRate);
  markAllChanged();
  parametersChanged();
}

void TPanner::parametersChanged() {
  if (changed(kDepth)) {
    if (value(kDepth) == 0.0f) {
      panDepth_ = 0.0f;
      followLevel_ = 1;
    } else {
      panDepth_ = value(kDepth) * 64.0f;
      followLevel_ = 0;
    }
  }
  if (changed(kSpeed)) periodFactor_ = std::pow(7.0f, (1.0f - value(kSpeed)) * 1.42f) * 0.11f;
  if (changed(parameterCount()) || changed(kSpeed)) {
    const float period = std::floor(samplesPerBeat() * periodFactor_);
    period_ = period > 0.0f ? static_cast<int32_t>(std::min(period, 1.0e9f)) : 0;
  }
}

void TPanner::reset() {
  std::lock_guard<std::mutex> guard(effectLock());
  resetState();
}

void TPanner::resetState() {
  direction_ = 1;
  position_ = period_ / 2;
  levelSum_ = 0.0f;
  advance(0);
}

void TPanner::advance(int n) {
  float where = 0.5f;  // a sweep of no length rests in the middle
  if (period_ > 0) {
    // Unfold the back-and-forth motion onto a circle of twice the period, move, fold back.
    const int64_t period = period_;
    const int64_t span = 2 * period;
    int64_t u = direction_ > 0 ? position_ : span - position_;
    u = ((u + n) % span + span) % span;
    direction_ = u <= period ? 1 : -1;
    position_ = static_cast<int32_t>(u <= period ? u : span - u);
    where = static_cast<float>(position_) / static_cast<float>(period_);
  } else {
    position_ = 0;
  }

  if (followLevel_) {
    const int samples = n * (inputChannels() >= 2 ? 2 : 1);
    const float m = samples > 0 ? levelSum_ / static_cast<float>(samples) * 128.0f : 0.0f;
    panDepth_ = m > panDepth_ ? m : panDepth_ * 0.98f;
  }
  levelSum_ = 0.0f;

  const float offset = std::clamp((where * 2.0f - 1.0f) * panDepth_, -128.0f, 128.0f);
  panIndex_ = std::clamp(static_cast<int32_t>(std::lround(offset)) + 64, 0, kPanSteps - 1);
  gainL_ = gain_ * panLaw().left[panIndex_];
  gainR_ = gain_ * panLaw().right[panIndex_];
}

int TPanner::processBlock(float* out, const float* in, int frames) {
  const float startL = gainL_;
  const float startR = gainR_;
  advance(frames);
  const float stepL = (gainL_ - startL) / static_cast<float>(frames);
  const float stepR = (gainR_ - startR) / static_cast<float>(frames);

  const int inCh = inputChannels() >= 2 ? 2 : 1;
  const bool stereoOut = outputChannels() >= 2;
  float gl = startL;
  float gr = startR;
  float level = 0.0f;
  for (int i = 0; i < frames; ++i, gl += stepL, gr += stepR) {
    const float left = in[i * inCh];
    const float right = in[i * inCh + inCh - 1];
    level += std::fabs(left);
    if (inCh == 2) level += std::fabs(right);
    if (stereoOut) {
      out[2 * i] = gl * left;
      out[2 * i + 1] = gr * right;
    } else {
      // A mono output hears the sum of the two panned sides.
      out[i] = 0.5f * (gl * left + gr * right);
    }
  }
  levelSum_ += level;
  return frames;
}

}  // namespace dsp
