#include "dsp/allpass_diffuser.h"

#include <algorithm>

#include "dsp/denormal.h"

namespace dsp {

AllpassDiffuser::AllpassDiffuser() {
  setLength(0);
  primed_ = false;
}

void AllpassDiffuser::setLength(int length, int channels) {
  length_ = std::max(length, 0);
  channels_ = std::max(channels, 1);
  size_ = 1;
  while (size_ <= length_)
    size_ *= 2;
  ring_.assign(static_cast<size_t>(size_) * channels_, 0.0f);
  writeIndex_ = length_ & (size_ - 1);
  readIndex_ = 0;
  primed_ = true;
}

void AllpassDiffuser::reset() {
  std::fill(ring_.begin(), ring_.end(), 0.0f);
  writeIndex_ = length_ & (size_ - 1);
  readIndex_ = 0;
  primed_ = true;
}

void AllpassDiffuser::process(float* out, const float* in, int frames) {
  const int mask = size_ - 1;
  const float g = coefficient_;
  const int channels = channels_;
  for (int i = 0; i < frames; ++i) {
    for (int c = 0; c < channels; ++c) {
      float* ring = ring_.data() + static_cast<size_t>(c) * size_;
      const float x = in[i * channels + c];
      const float s = ring[readIndex_];
      ring[writeIndex_] = flushTiny(g * s + x);
      out[i * channels + c] = s - g * x;
    }
    writeIndex_ = (writeIndex_ + 1) & mask;
    readIndex_ = (readIndex_ + 1) & mask;
  }
}

}  // namespace dsp
