#include "rack/reflections.h"

#include <algorithm>

namespace rack {
namespace {

constexpr int kMask = Reflections::kRingSize - 1;
static_assert((Reflections::kRingSize & kMask) == 0, "the ring wraps by masking");
static_assert(__STDCPP_DEFAULT_NEW_ALIGNMENT__ >= 16);

}  // namespace

Reflections::Reflections() : ring_(std::make_unique<float[]>(kRingSize)) {}

void Reflections::setTaps(int count, const int* delays, const float* gains) {
  tapCount_ = std::clamp(count, 0, kMaxTaps);
  longestDelay_ = 0;
  for (int k = 0; k < tapCount_; ++k) {
    tapDelays_[k] = std::clamp(delays[k], 0, kMaxDelay);
    tapGains_[k] = gains[k];
    longestDelay_ = std::max(longestDelay_, tapDelays_[k]);
  }
}

void Reflections::clear() {
  std::fill_n(ring_.get(), kRingSize, 0.0f);
}

void Reflections::process(float* out, const float* in, int frames) {
  // A block is written into the ring before the taps read it, so a block longer than the ring
  // minus the longest delay would overwrite input the taps still need.
  const int chunk = kRingSize - longestDelay_;
  for (int done = 0; done < frames;) {
    const int n = std::min(chunk, frames - done);
    processChunk(out + done, in + done, n);
    done += n;
  }
}

void Reflections::processChunk(float* out, const float* in, int frames) {
  float* ring = ring_.get();
  for (int i = 0; i < frames; ++i)
    ring[(writePosition_ + i) & kMask] = in[i];
  std::fill_n(out, frames, 0.0f);
  for (int k = 0; k < tapCount_; ++k) {
    const float gain = tapGains_[k];
    int read = (writePosition_ - tapDelays_[k]) & kMask;
    // Two contiguous runs: up to the ring's end, then from its start.
    for (int i = 0; i < frames;) {
      const int run = std::min(frames - i, kRingSize - read);
      for (int j = 0; j < run; ++j)
        out[i + j] += gain * ring[read + j];
      i += run;
      read = 0;
    }
  }
  writePosition_ = (writePosition_ + frames) & kMask;
}

}  // namespace rack
