#pragma once

#include <vector>

#include "dsp/biquad_filter.h"
#include "rack/ciir.h"

namespace rack {

// Feedback comb on a mono signal: the output is the input delayed by the line length, and what
// is written back is the input plus the feedback times that output.
class CombFilter {
 public:
  // Grows the line only when a longer one is asked for, then clears it. Control side only.
  void setDelay(int samples);
  void setFeedback(float gain) { feedback_ = gain; }
  void reset();

  // out = comb(in), or out += comb(in) when accumulating. Without a line the comb is silent.
  void process(float* out, const float* in, int frames, bool accumulate);

  int delay() const { return length_; }

 private:
  std::vector<float> line_;
  int length_ = 0;
  int position_ = 0;
  float feedback_ = 0.0f;
};

// The amp section's spring reverb: band-pass and peaking filters feeding four parallel combs.
// Mono; process() writes the wet signal only.
class SpringReverb {
 public:
  static constexpr int kMaxFrames = 128;
  static constexpr int kCombs = 4;

  SpringReverb();

  // Sizes and tunes everything; may allocate, so never on the audio thread. The reverb is mono
  // whatever the channel count.
  void setFormat(int channels, int rate);
  void reset();
  // out may equal in. Blocks longer than kMaxFrames are processed in pieces.
  void process(float* out, const float* in, int frames);

 private:
  float sampleRate_ = 0.0f;
  float work_[kMaxFrames] = {};
  dsp::BiquadFilter inputFilter_;
  CIIR tone_;
  CombFilter combs_[kCombs];
  float combDelays_[kCombs] = {};
  float decayTime_ = 2.6f;
};

}  // namespace rack
