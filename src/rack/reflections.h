#pragma once

#include <array>
#include <memory>

namespace rack {

// The cabinet's early reflections: a multi-tap delay over a ring of the most recent input.
// Output sample i is the sum over taps of gain x the input tapDelay samples before input i; a
// tap with delay 0 passes the current input.
class Reflections {
 public:
  static constexpr int kMaxTaps = 32;
  static constexpr int kRingSize = 2048;
  static constexpr int kMaxDelay = kRingSize - 1;

  Reflections();

  // The count is clamped to [0, kMaxTaps] and each delay to [0, kMaxDelay] samples. The ring
  // keeps its content.
  void setTaps(int count, const int* delays, const float* gains);
  // out may equal in; any frame count.
  void process(float* out, const float* in, int frames);
  void clear();

  int tapCount() const { return tapCount_; }
  int tapDelay(int k) const { return tapDelays_[k]; }
  float tapGain(int k) const { return tapGains_[k]; }

 private:
  void processChunk(float* out, const float* in, int frames);

  std::unique_ptr<float[]> ring_;  // new[] alignment covers the 16 bytes vector code wants
  int tapCount_ = 0;
  int writePosition_ = 0;
  int longestDelay_ = 0;
  std::array<int, kMaxTaps> tapDelays_{};
  std::array<float, kMaxTaps> tapGains_{};
};

}  // namespace rack
