#pragma once

#include <cstdint>

#include "dsp/automated_effect.h"

namespace dsp {

// Auto-panner: a constant-power pan position swept back and forth once per tempo-related
// period. At Depth 0 the sweep's width follows the input level instead.
class TPanner : public TAutomatedEffect {
 public:
  static constexpr int kPanSteps = 128;

  explicit TPanner(EffectObserver* owner, uint32_t flags = 0);

  void setFormat(int channels, int sampleRate) override;
  void reset() override;

  // Entry i of the pan law: left^2 + right^2 = 2 everywhere, entry 64 is (1, 1).
  static float panLeft(int index);
  static float panRight(int index);

 protected:
  void parametersChanged() override;
  int processBlock(float* out, const float* in, int frames) override;

 private:
  enum Parameter { kDepth = 0, kSpeed = 1 };

  void resetState();
  // Moves the position n samples along the sweep and recomputes the gains.
  void advance(int n);

  float periodFactor_ = 1.0f;
  int32_t direction_ = 1;
  int32_t position_ = 0;
  int32_t period_ = 0;
  int32_t panIndex_ = kPanSteps / 2;
  float gain_ = 1.0f;
  float panDepth_ = 0.0f;
  float gainL_ = 1.0f;
  float gainR_ = 1.0f;
  float levelSum_ = 0.0f;
  int32_t followLevel_ = 0;
};

}  // namespace dsp
