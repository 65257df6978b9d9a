#include "dsp/biquad_filter.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>
#include <numbers>

#include "dsp/denormal.h"

namespace dsp {

void BiquadFilter::setFormat(int channels, int sampleRate) {
  channels_ = channels >= 2 ? 2 : 1;
  sampleRate_ = static_cast<float>(sampleRate);
}

void BiquadFilter::reset() {
  state_[0] = state_[1] = State{};
}

void BiquadFilter::setCoefficients(float b0, float b1, float b2, float a1, float a2) {
  b0_ = b0;
  b1_ = b1;
  b2_ = b2;
  a1_ = a1;
  a2_ = a2;
  eightStepStale_ = fourStepStale_ = true;
}

void BiquadFilter::setAnalog(float num2, float num1, float num0, float den2, float den1,
                             float den0) {
  const float k = this->k();
  const float k2 = k * k;
  const float d = den2 * k2 + den1 * k + den0;
  b0_ = (num2 * k2 + num1 * k + num0) / d;
  b1_ = 2.0f * (num0 - num2 * k2) / d;
  b2_ = (num2 * k2 - num1 * k + num0) / d;
  a1_ = 2.0f * (den0 - den2 * k2) / d;
  a2_ = (den2 * k2 - den1 * k + den0) / d;
  eightStepStale_ = fourStepStale_ = true;
}

// The shared denominator of the low-, high- and band-pass designs: s^2 + d w s + w^2.
void BiquadFilter::setDenominator(float w, float d, float norm) {
  const float k = this->k();
  const float k2 = k * k;
  a1_ = 2.0f * (w * w - k2) / norm;
  a2_ = (k2 - d * k * w + w * w) / norm;
  eightStepStale_ = fourStepStale_ = true;
}

void BiquadFilter::setLowpass(float w, float d) {
  const float k = this->k();
  const float norm = k * k + d * k * w + w * w;
  b0_ = b2_ = w * w / norm;
  b1_ = 2.0f * b0_;
  setDenominator(w, d, norm);
}

void BiquadFilter::setHighpass(float w, float d) {
  const float k = this->k();
  const float norm = k * k + d * k * w + w * w;
  b0_ = b2_ = k * k / norm;
  b1_ = -2.0f * b0_;
  setDenominator(w, d, norm);
}

void BiquadFilter::setBandpass(float w, float d) {
  const float k = this->k();
  const float norm = k * k + d * k * w + w * w;
  b0_ = d * k * w / norm;
  b1_ = 0.0f;
  b2_ = -b0_;
  setDenominator(w, d, norm);
}

void BiquadFilter::setPoleZero(float z1, float z2, float p1, float p2) {
  const float k = this->k();
  const float k2 = k * k;
  const float g = p1 * p2 / (z1 * z2);
  const float norm = k2 + k * (p1 + p2) + p1 * p2;
  b0_ = g * (k2 + k * (z1 + z2) + z1 * z2) / norm;
  b1_ = 2.0f * g * (z1 * z2 - k2) / norm;
  b2_ = g * (k2 - k * (z1 + z2) + z1 * z2) / norm;
  // The gain factor belongs to the numerator only; scaling the poles by it would move them.
  a1_ = 2.0f * (p1 * p2 - k2) / norm;
  a2_ = (k2 - k * (p1 + p2) + p1 * p2) / norm;
  eightStepStale_ = fourStepStale_ = true;
}

namespace {

// One channel of the difference equation. The term in y1 is added last: it is the only one
// that waits for the previous output, so the sum over the other four overlaps with it.
template <int kStride>
void runBiquad(float* y, const float* x, int frames, float b0, float b1, float b2, float a1,
               float a2, float& x1, float& x2, float& y1, float& y2) {
  float sx1 = x1, sx2 = x2, sy1 = y1, sy2 = y2;
  for (int i = 0; i < frames; ++i) {
    const float x0 = x[i * kStride];
    const float y0 = (b0 * x0 + b1 * sx1 + b2 * sx2 - a2 * sy2) - a1 * sy1;
    sx2 = sx1;
    sx1 = x0;
    sy2 = sy1;
    sy1 = y0;
    y[i * kStride] = y0;
  }
  // A decaying tail would otherwise sink into denormal numbers once the input falls silent.
  x1 = flushTiny(sx1);
  x2 = flushTiny(sx2);
  y1 = flushTiny(sy1);
  y2 = flushTiny(sy2);
}

}  // namespace

template <class Form>
const Form& BiquadFilter::designed(Form& form, bool& stale) const {
  if (stale) {
    const float b[3] = {b0_, b1_, b2_};
    const float a[2] = {a1_, a2_};
    form.design(b, a);
    stale = false;
  }
  return form;
}

void BiquadFilter::processBlock(float* out, const float* in, int frames) {
  if (channels_ == 1) {
    State& s = state_[0];
    const int done =
        frames >= 8 ? designed(eightStep_, eightStepStale_).run(out, in, frames, &s.x1, &s.y1) : 0;
    runBiquad<1>(out + done, in + done, frames - done, b0_, b1_, b2_, a1_, a2_, s.x1, s.x2, s.y1,
                 s.y2);
    return;
  }
  for (int c = 0; c < 2; ++c) {
    State& s = state_[c];
    runBiquad<2>(out + c, in + c, frames, b0_, b1_, b2_, a1_, a2_, s.x1, s.x2, s.y1, s.y2);
  }
}

void BiquadFilter::processCascade(BiquadFilter* const* filters, int count, float* out,
                                  const float* in, int frames) {
  assert(count >= 0 && count <= kMaxCascade);
  using Form = SteppedIir<2, 4>;
  const Form* forms[kMaxCascade];
  Form::Lanes lanes[kMaxCascade];
  for (int k = 0; k < count; ++k) {
    assert(filters[k]->channels_ == 1);
    forms[k] = &filters[k]->designed(filters[k]->fourStep_, filters[k]->fourStepStale_);
    lanes[k] = Form::load(&filters[k]->state_[0].x1, &filters[k]->state_[0].y1);
  }
  int i = 0;
  for (; i + 4 <= frames; i += 4) {
    Form::Block v;
    std::memcpy(&v, in + i, sizeof v);
    for (int k = 0; k < count; ++k)
      v = forms[k]->step(v, lanes[k]);
    std::memcpy(out + i, &v, sizeof v);
  }
  // The last few frames go through the filters one after the other.
  for (int k = 0; k < count; ++k) {
    BiquadFilter& f = *filters[k];
    State& s = f.state_[0];
    Form::store(lanes[k], &s.x1, &s.y1);
    runBiquad<1>(out + i, (k == 0 ? in : out) + i, frames - i, f.b0_, f.b1_, f.b2_, f.a1_, f.a2_,
                 s.x1, s.x2, s.y1, s.y2);
  }
  if (count == 0 && out != in) std::copy(in + i, in + frames, out + i);
}

void BiquadFilter::processFrame(float* out, const float* in) {
  processBlock(out, in, 1);
}

std::complex<double> BiquadFilter::response(double hz) const {
  const double omega = 2.0 * std::numbers::pi * hz / sampleRate_;
  const std::complex<double> z1 = std::polar(1.0, -omega);
  const std::complex<double> z2 = z1 * z1;
  return (double(b0_) + double(b1_) * z1 + double(b2_) * z2) /
         (1.0 + double(a1_) * z1 + double(a2_) * z2);
}

}  // namespace dsp
