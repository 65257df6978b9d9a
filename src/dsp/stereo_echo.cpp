#include "dsp/stereo_echo.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "dsp/denormal.h"
#include "dsp/effect_descriptors.h"

namespace dsp {
namespace {

enum Parameter { kMode, kFeedBack, kSpeed, kLevel, kBandWidth };

constexpr float kTopOfScale = 127.0f / 128.0f;
// The level curve's exponent is the single-precision 1.7, widened.
constexpr double kLevelExponent = static_cast<double>(1.7f);

}  // namespace

TStereoEcho::TStereoEcho(EffectObserver* owner, uint32_t flags)
    : TAutomatedEffect(owner, &descriptors::kStereoEcho, flags),
      ring_(static_cast<float*>(std::calloc(2 * kRingFrames, sizeof(float)))) {
  if (!ring_) throw std::bad_alloc();
  parametersChanged();
}

void TStereoEcho::setFormat(int channels, int sampleRate) {
  // The ring and the filter states hold at most two channels.
  TAutomatedEffect::setFormat(std::clamp(channels, 1, 2), sampleRate);
  designFilter_.setFormat(inputChannels(), sampleRate);
  markAllChanged();
  parametersChanged();
}

void TStereoEcho::setInputChannels(int channels) {
  const int before = inputChannels();
  TAutomatedEffect::setInputChannels(std::clamp(channels, 1, 2));
  const int ic = inputChannels();
  if (ic == before) return;
  // The ring's length and frame layout follow the input channels: keep every position inside
  // the new ring and on a frame boundary.
  const int length = ringLength();
  writePos_ = writePos_ % length / ic * ic;
  for (int* tap : {&tap1_, &tap2_, &tap3_})
    *tap = (*tap % length) & ~3;
}

void TStereoEcho::reset() {
  std::lock_guard<std::mutex> guard(effectLock());
  if (clean_) return;
  if (written_) std::fill_n(ring_.get(), 2 * kRingFrames, 0.0f);
  state_[0] = state_[1] = FilterState{};
  clean_ = 1;
}

void TStereoEcho::invalidate() {
  std::lock_guard<std::mutex> guard(effectLock());
  clean_ = 0;
}

void TStereoEcho::parametersChanged() {
  bool taps = changed(parameterCount());  // the tempo record
  if (changed(kMode)) {
    mode_ = static_cast<int>(std::floor(value(kMode) * 128.0f));
    taps = true;
  }
  if (changed(kFeedBack)) feedback_ = value(kFeedBack) * 0.98f;
  if (changed(kSpeed)) {
    speed_ = std::clamp(value(kSpeed) * 128.0f, 1.0f, 120.0f);
    taps = true;
  }
  if (changed(kLevel)) {
    level_ = static_cast<float>(std::pow(static_cast<double>(value(kLevel)), kLevelExponent));
  }
  if (changed(kBandWidth)) designBandWidth(value(kBandWidth));
  if (taps) recomputeTaps();
}

// (f1 + f2) s / ((s + f1)(s + f2)): unity gain at the centre, near 830 Hz, with corners that
// close in as BandWidth falls. The top of the scale bypasses it.
void TStereoEcho::designBandWidth(float bandWidth) {
  if (!(bandWidth < kTopOfScale)) {
    feedbackFilter_ = {1.0f, 0.0f, 0.0f, 0.0f, 0.0f};
  } else {
    const double rest = 1.0 - bandWidth;
    const double f1 = 434.846 * std::pow(2.0, 3.58 * rest);
    const double f2 = 65243.926 * std::pow(2.0, -3.64 * rest);
    const float sum = static_cast<float>(f1 + f2);
    designFilter_.setAnalog(0.0f, sum, 0.0f, 1.0f, sum, static_cast<float>(f1 * f2));
    feedbackFilter_ = designFilter_.coefficients();
  }
  const BiquadFilter::Coefficients& c = feedbackFilter_;
  const float b[3] = {c.b0, c.b1, c.b2};
  const float a[2] = {c.a1, c.a2};
  feedbackSteps_.design(b, a);
}

int TStereoEcho::advance(int pos) const {
  pos += inputChannels();
  return pos >= ringLength() ? pos - ringLength() : pos;
}

int TStereoEcho::distanceTo(int tap) const {
  const int d = writePos_ - tap;
  return d < 0 ? d + ringLength() : d;
}

int TStereoEcho::readSpan() const {
  if (outputChannels() == 1) return distanceTo(tap2_);
  switch (mode_) {
    case 0:
      return std::max({distanceTo(tap1_), distanceTo(tap2_), distanceTo(tap3_)});
    case 1:
    case 3:
      return std::max(distanceTo(tap1_), distanceTo(tap3_));
    case 2:
    case 4:
      return distanceTo(tap2_);
    default:
      return span_;  // nothing is read or written, so nothing more becomes stale
  }
}

void TStereoEcho::recomputeTaps() {
  const int ic = inputChannels();
  const int length = ringLength();
  // In double: a very slow tempo makes the product far larger than the ring.
  const double frames =
      std::floor(static_cast<double>(samplesPerBeat()) * static_cast<double>(speed_) / 60.0);
  int d = static_cast<int>(std::min(frames * ic, static_cast<double>(kMaxDelay)));
  if (mode_ == 3) d = std::max(d, static_cast<int>(std::floor(sampleRate() * 0.03)));
  // At least one frame, so a tap never lands on the sample about to be overwritten; never past
  // the ring, even when the 30 ms floor meets an extreme rate.
  d = std::clamp(d, ic, kMaxDelay);
  delay_ = d;

  const auto place = [&](int distance) {
    int p = writePos_ - distance;
    while (p < 0)
      p += length;
    return p & ~3;
  };
  switch (mode_) {
    case 0:
      tap1_ = place(d);
      tap2_ = place(2 * d / 3);
      tap3_ = place(d / 3);
      break;
    case 1:
      tap1_ = place(d);
      tap3_ = place(d / 2);
      break;
    case 2:
    case 4:
      tap2_ = place(d);
      break;
    case 3:
      tap1_ = place(d);
      tap3_ = place(d - static_cast<int>(std::floor(sampleRate() * 0.015)));
      break;
    default:
      break;
  }

  // A longer delay would replay audio the old one has already played; on a clean ring that
  // stretch is silenced. (On a stale ring there is nothing to protect.)
  const int span = readSpan();
  if (clean_ && span > span_) {
    const int start = writePos_ - span;
    zeroRing(start < 0 ? start + length : start, span - span_);
  }
  span_ = span;
}

void TStereoEcho::zeroRing(int start, int count) {
  const int first = std::min(count, ringLength() - start);
  std::fill_n(ring_.get() + start, first, 0.0f);
  std::fill_n(ring_.get(), count - first, 0.0f);
}

float TStereoEcho::filterFeedback(FilterState& s, float r) const {
  const BiquadFilter::Coefficients& c = feedbackFilter_;
  const float y = c.b0 * r + c.b1 * s.x1 + c.b2 * s.x2 - c.a1 * s.y1 - c.a2 * s.y2;
  s.x2 = s.x1;
  s.x1 = r;
  s.y2 = s.y1;
  s.y1 = y;
  return y;
}

int TStereoEcho::processBlock(float* out, const float* in, int frames) {
  written_ = true;
  if (outputChannels() == 1) {
    processMono(out, in, frames);
  } else {
    processStereo(out, in, frames);
  }
  for (FilterState& s : state_) {
    s.x1 = flushTiny(s.x1);
    s.x2 = flushTiny(s.x2);
    s.y1 = flushTiny(s.y1);
    s.y2 = flushTiny(s.y2);
  }
  return frames;
}

// One channel out hears tap 2 whatever the mode.
void TStereoEcho::processMono(float* out, const float* in, int frames) {
  const int ic = inputChannels();
  if (ic == 1 && distanceTo(tap2_) >= frames) {
    processMonoInRuns(out, in, frames);
    return;
  }
  float* ring = ring_.get();
  const float dryGain = 1.0f - level_;
  // Positions and filter state in locals: the ring's float stores could otherwise alias them
  // and force a reload on every sample.
  FilterState s = state_[0];
  int writePos = writePos_, tap2 = tap2_;
  for (int i = 0; i < frames; ++i) {
    const float dry = in[i * ic];
    const float wet = ring[tap2];
    ring[writePos] = flushTiny(filterFeedback(s, wet) * feedback_ + dry);
    out[i] = wet + (dry - wet) * dryGain;
    writePos = advance(writePos);
    tap2 = advance(tap2);
  }
  state_[0] = s;
  writePos_ = writePos;
  tap2_ = tap2;
}

// Mono in and out with a delay of at least the block: nothing written in this block is read
// back in it, so the feedback filter runs over a whole stretch of the tap eight samples per
// step before the ring is written. Stretches end where the tap or the write position wraps.
void TStereoEcho::processMonoInRuns(float* out, const float* in, int frames) {
  constexpr int kRun = 64;
  float* const ring = ring_.get();
  const int length = ringLength();
  const float dryGain = 1.0f - level_, feedback = feedback_;
  FilterState s = state_[0];
  for (int done = 0; done < frames;) {
    const int n = std::min({kRun, frames - done, length - tap2_, length - writePos_});
    const float* wet = ring + tap2_;
    float* back = ring + writePos_;
    float filtered[kRun];
    const int stepped = feedbackSteps_.run(filtered, wet, n, &s.x1, &s.y1);
    for (int i = stepped; i < n; ++i)
      filtered[i] = filterFeedback(s, wet[i]);
    const float* dry = in + done;
    for (int i = 0; i < n; ++i) {
      const float x = dry[i];  // read before out is written: they may be the same buffer
      back[i] = flushTiny(filtered[i] * feedback + x);
      out[done + i] = wet[i] + (x - wet[i]) * dryGain;
    }
    tap2_ = tap2_ + n == length ? 0 : tap2_ + n;
    writePos_ = writePos_ + n == length ? 0 : writePos_ + n;
    done += n;
  }
  state_[0] = s;
}

void TStereoEcho::processStereo(float* out, const float* in, int frames) {
  const int ic = inputChannels();
  const int r = ic - 1;  // offset of a frame's right sample; a mono ring serves both sides
  if (mode_ > 4) {
    // No layout: the dry signal passes unchanged, in place or not, and the ring rests.
    for (int i = 0; i < frames; ++i) {
      const float dryL = in[i * ic];
      const float dryR = in[i * ic + r];
      out[2 * i] = dryL;
      out[2 * i + 1] = dryR;
    }
    return;
  }
  float* ring = ring_.get();
  const float dryGain = 1.0f - level_;
  // Positions and filter states in locals, as in processMono.
  FilterState left = state_[0], right = state_[1];
  int writePos = writePos_, tap1 = tap1_, tap2 = tap2_, tap3 = tap3_;
  for (int i = 0; i < frames; ++i) {
    const float dryL = in[i * ic];
    const float dryR = in[i * ic + r];
    float wetL, wetR, backL, backR;  // backX feeds channel X of the ring
    switch (mode_) {
      case 0:
        wetL = 0.5f * ring[tap2] + ring[tap3];
        wetR = 0.5f * ring[tap2 + r] + ring[tap1 + r];
        backL = ring[tap1 + r];
        backR = ring[tap1];
        break;
      case 1:
      case 3:
        wetL = ring[tap3];
        wetR = ring[tap1 + r];
        backL = ring[tap1 + r];
        backR = ring[tap1];
        break;
      case 2:
        wetL = ring[tap2];
        wetR = ring[tap2 + r];
        backL = wetR;
        backR = wetL;
        break;
      default:  // 4: each channel repeats into itself
        wetL = ring[tap2];
        wetR = ring[tap2 + r];
        backL = wetL;
        backR = wetR;
        break;
    }
    ring[writePos] = flushTiny(filterFeedback(left, backL) * feedback_ + dryL);
    if (ic == 2) ring[writePos + 1] = flushTiny(filterFeedback(right, backR) * feedback_ + dryR);
    out[2 * i] = wetL + (dryL - wetL) * dryGain;
    out[2 * i + 1] = wetR + (dryR - wetR) * dryGain;

    writePos = advance(writePos);
    switch (mode_) {
      case 0:
        tap1 = advance(tap1);
        tap2 = advance(tap2);
        tap3 = advance(tap3);
        break;
      case 1:
      case 3:
        tap1 = advance(tap1);
        tap3 = advance(tap3);
        break;
      default:
        tap2 = advance(tap2);
        break;
    }
  }
  state_[0] = left;
  state_[1] = right;
  writePos_ = writePos;
  tap1_ = tap1;
  tap2_ = tap2;
  tap3_ = tap3;
}

}  // namespace dsp
