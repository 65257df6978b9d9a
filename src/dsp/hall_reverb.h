#pragma once

#include <cstdint>

#include "dsp/tank_reverb.h"

namespace dsp {

// A large space on the tank network: the plate's layout half as long again (a half loop of
// about 0.54 s), longer input diffusers for a denser onset, and decay times from 1.4 s.
class THallReverb : public TankReverb {
 public:
  THallReverb(EffectObserver* owner, uint32_t flags);
};

}  // namespace dsp
