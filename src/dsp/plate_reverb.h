#pragma once

#include <cstdint>

#include "dsp/tank_reverb.h"

namespace dsp {

// The plate: the tank network with the classic figure-of-eight tables (a half loop of about
// 0.36 s, 0.18 s with Ambient 0) and decay times from 0.8 s.
class TPlateReverb : public TankReverb {
 public:
  TPlateReverb(EffectObserver* owner, uint32_t flags);
};

}  // namespace dsp
