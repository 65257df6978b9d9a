#include "rack/spring_reverb.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "dsp/denormal.h"

namespace rack {
namespace {

// One stretch of a comb that does not cross the end of its line; the line is its own memory.
void runComb(float* out, const float* in, float* __restrict line, int n, float feedback,
             bool accumulate) {
  if (accumulate) {
    for (int i = 0; i < n; ++i) {
      const float delayed = line[i];
      line[i] = dsp::flushTiny(in[i] + feedback * delayed);
      out[i] += delayed;
    }
  } else {
    for (int i = 0; i < n; ++i) {
      const float delayed = line[i];
      line[i] = dsp::flushTiny(in[i] + feedback * delayed);
      out[i] = delayed;
    }
  }
}

}  // namespace

void CombFilter::setDelay(int samples) {
  samples = std::max(samples, 1);  // a zero-length comb would feed back on itself
  if (static_cast<std::size_t>(samples) > line_.size()) {
    try {
      std::vector<float> longer(samples);
      line_.swap(longer);
    } catch (const std::bad_alloc&) {
      // Nothing to report to; a comb without a line stays silent instead.
      std::vector<float>().swap(line_);
      length_ = 0;
      position_ = 0;
      return;
    }
  }
  length_ = samples;
  reset();
}

void CombFilter::reset() {
  std::fill(line_.begin(), line_.end(), 0.0f);
  position_ = 0;
}

void CombFilter::process(float* out, const float* in, int frames, bool accumulate) {
  if (length_ == 0) {
    if (!accumulate) std::fill(out, out + frames, 0.0f);
    return;
  }
  float* const line = line_.data();
  const float feedback = feedback_;
  int p = position_;
  // In runs up to the end of the line: within a run every slot is read and then written once,
  // so the run is a plain vector loop.
  for (int done = 0; done < frames;) {
    const int n = std::min(frames - done, length_ - p);
    runComb(out + done, in + done, line + p, n, feedback, accumulate);
    done += n;
    p += n;
    if (p == length_) p = 0;
  }
  position_ = p;
}

SpringReverb::SpringReverb() {
  setFormat(1, 44100);
}

void SpringReverb::setFormat(int /*channels*/, int rate) {
  // A rate of zero or below has no meaningful tuning; the previous format stays in force.
  if (rate <= 0) return;
  sampleRate_ = static_cast<float>(rate);

  // The work buffer holds one mono block, so the input filter is mono whatever the caller has.
  inputFilter_.setFormat(1, rate);
  // Band-pass centred at 13328 rad/s (about 2.1 kHz), Q about 0.39.
  inputFilter_.setAnalog(0.0f, 34556.5f, 0.0f, 1.0f, 34556.5f, 177642400.0f);

  tone_.setSampleRate(rate);
  tone_.setPeaking(700.0f, 0.3f, 8.0f);

  static constexpr float kDelaySeconds[kCombs] = {0.0297f, 0.0330f, 0.0411f, 0.0437f};
  for (int i = 0; i < kCombs; ++i) {
    combDelays_[i] = std::max(1.0f, std::trunc(sampleRate_ * kDelaySeconds[i]));
    combs_[i].setDelay(static_cast<int>(combDelays_[i]));
    // Every comb loses 60 dB over the decay time, whatever its length.
    const float feedback = std::pow(0.001f, combDelays_[i] / (decayTime_ * sampleRate_));
    combs_[i].setFeedback(feedback);
  }
}

void SpringReverb::reset() {
  inputFilter_.reset();
  tone_.reset();
  for (CombFilter& comb : combs_)
    comb.reset();
}

void SpringReverb::process(float* out, const float* in, int frames) {
  while (frames > 0) {
    const int n = std::min(frames, kMaxFrames);
    inputFilter_.processBlock(work_, in, n);
    tone_.process(work_, n);
    combs_[0].process(out, work_, n, false);
    for (int i = 1; i < kCombs; ++i)
      combs_[i].process(out, work_, n, true);
    in += n;
    out += n;
    frames -= n;
  }
}

}  // namespace rack
