#pragma once

#include <cstdint>

#include "dsp/tank_reverb.h"

namespace dsp {

// A small space on the tank network: the plate's layout at under half its length (a half loop
// of about 0.16 s), shorter input diffusers, and decay times from 0.3 s.
class TRoomReverb : public TankReverb {
 public:
  TRoomReverb(EffectObserver* owner, uint32_t flags);
};

}  // namespace dsp
