#pragma once

namespace dsp {

// Block level meter on mono or two-channel interleaved samples.
//   mode 0: peak, the largest |x|
//   mode 1: energy, sqrt of the sum of squares of the block (not divided by its length)
// Any other mode measures 0.
class LevelDetect {
 public:
  void setFormat(int channels, int sampleRate);
  void setMode(int mode) { mode_ = mode; }

  // Mono blocks report the level on both sides; stereo blocks per channel. Returns the larger.
  float measure(const float* buffer, int frames, float* left = nullptr,
                float* right = nullptr) const;

 private:
  int mode_ = 0;
  int channels_ = 1;
};

}  // namespace dsp
