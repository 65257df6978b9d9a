#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "dsp/automated_effect.h"
#include "dsp/compressor_core.h"

namespace dsp {

// Master bus compressor working on mid (L + R) and side (L - R), each through its own feedback
// core. The side core's threshold sits 6 dB above the mid core's and "Stereo Ehn" moves it
// together with the side gain used to rebuild left and right, widening or narrowing the image.
class StereoCompressor : public TAutomatedEffect {
 public:
  StereoCompressor(EffectObserver* owner, uint32_t flags);

  void setFormat(int channels, int sampleRate) override;
  void reset() override;
  // 0: the mid core's gain reading; any other index: the side core's.
  float getMeter(int index) const override;

 protected:
  void parametersChanged() override;
  int processBlock(float* out, const float* in, int frames) override;

 private:
  enum Parameter {
    kAttack = 0,
    kRelease = 1,
    kDrive = 2,
    kFeedBack = 3,
    kStereoEhn = 4,
    kSidechain = 5
  };

  void setSideThreshold();
  void publishMeters();

  CompressorCore mid_;
  CompressorCore side_;
  std::unique_ptr<float[]> midIn_, sideIn_, midOut_, sideOut_;  // one chunk each
  float drive_ = 0.0f;                                          // dB
  float width_ = 1.0f;                                          // linear side gain
  float enhance_ = 0.0f;                                        // -5 .. +5
  // Read by the control thread while the audio thread processes.
  std::atomic<float> meters_[2];
};

}  // namespace dsp
