#include "dsp/bilin_filter.h"

#include <numbers>

#include "dsp/denormal.h"

namespace dsp {

void BilinFilter::setFormat(int channels, int sampleRate) {
  channels_ = channels >= 2 ? 2 : 1;
  sampleRate_ = static_cast<float>(sampleRate);
}

void BilinFilter::reset() {
  state_[0] = state_[1] = State{};
}

void BilinFilter::setCoefficients(float b0, float b1, float a1) {
  b0_ = b0;
  b1_ = b1;
  a1_ = a1;
  eightStepStale_ = true;
}

void BilinFilter::setAnalog(float num1, float num0, float den1, float den0) {
  const float k = this->k();
  const float d = den1 * k + den0;
  b0_ = (num1 * k + num0) / d;
  b1_ = (num0 - num1 * k) / d;
  a1_ = (den0 - den1 * k) / d;
  eightStepStale_ = true;
}

void BilinFilter::setLowpass(float w) {
  const float d = w + k();
  b0_ = b1_ = w / d;
  a1_ = (w - k()) / d;
  eightStepStale_ = true;
}

void BilinFilter::setHighpass(float w) {
  const float d = w + k();
  b0_ = k() / d;
  b1_ = -k() / d;
  a1_ = (w - k()) / d;
  eightStepStale_ = true;
}

void BilinFilter::processBlock(float* out, const float* in, int frames) {
  const int channels = channels_;
  int done = 0;
  if (channels == 1 && frames >= 8) {
    if (eightStepStale_) {
      const float b[2] = {b0_, b1_};
      eightStep_.design(b, &a1_);
      eightStepStale_ = false;
    }
    done = eightStep_.run(out, in, frames, &state_[0].x1, &state_[0].y1);
  }
  for (int c = 0; c < channels; ++c) {
    State s = state_[c];
    for (int i = done; i < frames; ++i) {
      const float x0 = in[i * channels + c];
      const float y0 = b0_ * x0 + b1_ * s.x1 - a1_ * s.y1;
      s.x1 = x0;
      s.y1 = y0;
      out[i * channels + c] = y0;
    }
    s.x1 = flushTiny(s.x1);
    s.y1 = flushTiny(s.y1);
    state_[c] = s;
  }
}

void BilinFilter::processFrame(float* out, const float* in) {
  processBlock(out, in, 1);
}

std::complex<double> BilinFilter::response(double hz) const {
  const std::complex<double> z1 = std::polar(1.0, -2.0 * std::numbers::pi * hz / sampleRate_);
  return (double(b0_) + double(b1_) * z1) / (1.0 + double(a1_) * z1);
}

}  // namespace dsp
