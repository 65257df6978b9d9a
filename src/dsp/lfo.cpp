#include "dsp/lfo.h"

#include <cmath>

#include "dsp/library.h"

namespace dsp {

void Lfo::setFormat(float sampleRate) {
  sampleRate_ = sampleRate;
  inverseRate_ = 1.0f / sampleRate;
  ticksPerBlock_ = kTicksPerBlock;
}

void Lfo::setRate(float hz) {
  increment_ = static_cast<float>(ticksPerBlock_) * hz / sampleRate_;
}

float Lfo::tick() {
  // Wrapping by the whole part rather than by one keeps the phase bounded even for an increment
  // above 1; below that it is the same single subtraction.
  switch (waveform_) {
    case kTriangle:
      if (phase_ >= 1.0f) phase_ -= std::floor(phase_);
      value_ = std::fabs(phase_ - 0.5f) * 2.0f - 1.0f;
      break;
    case kSquare:
      if (phase_ >= 0.5f) {
        phase_ -= 0.5f;
        value_ = -1.0f - value_;
      }
      break;
    case kSaw:
      if (phase_ >= 1.0f) phase_ -= std::floor(phase_);
      value_ = phase_ - 1.0f;
      break;
    case kSine:
      // Wrapped too, so that hours of running do not eat the increment's precision.
      if (phase_ >= 1.0f) phase_ -= std::floor(phase_);
      value_ = (std::sin(phase_ * 6.283f) - 1.0f) * 0.5f;
      break;
    case kRandom:
      if (phase_ >= 1.0f) {
        const uint32_t seed = library::nextRandom();
        value_ = static_cast<float>(double(seed & 0x3FFFFFFFu) / 1073741824.0 - 1.0);
        phase_ -= std::floor(phase_);
      }
      break;
    default:
      break;
  }
  phase_ += increment_;
  return (flags_ & kBipolar) ? value_ * 2.0f + 1.0f : value_;
}

}  // namespace dsp
