#pragma once

#include <cstdint>
#include <memory>

#include "dsp/automated_effect.h"
#include "dsp/bilin_filter.h"

namespace dsp {

// Rhythmic gate: steps through one of 50 fixed 64-step open/closed patterns, an eighth of a beat
// per step, drops the gain to the "Depth" floor on closed steps and rounds the edges with a
// one-pole low-pass whose speed is "Envelope". "Trigger" restarts the pattern.
class TSlicer : public TAutomatedEffect {
 public:
  static constexpr int kPatterns = 50;
  static constexpr int kSteps = 64;

  TSlicer(EffectObserver* owner, uint32_t flags);

  void setFormat(int channels, int sampleRate) override;
  void reset() override;

 protected:
  void parametersChanged() override;
  uint32_t setParameter(uint32_t controller, float value) override;
  int processBlock(float* out, const float* in, int frames) override;

 private:
  enum Parameter { kPattern = 0, kDepth = 1, kEnvelope = 2, kTrigger = 3 };

  void updateStep();

  // Raw gains for one chunk, then the smoothed ones; apart from out, so in-place calls work.
  std::unique_ptr<float[]> gainBuffer_;
  BilinFilter smoother_;
  int32_t pattern_ = 0;
  int32_t stepLength_ = 1;  // samples
  float floorGain_ = 1.0f;
  int32_t step_ = 0;
  int32_t stepRemaining_ = 0;
};

}  // namespace dsp
