#include "dsp/plate_reverb.h"

#include "dsp/effect_descriptors.h"

namespace dsp {
namespace {

constexpr TankDesign kPlate = {
    // W1 to W4, R1 to R4, then the taps P1 to P14.
    {{7585, 8612, 7587, 8169},
     {6241, 4681, 6590, 5506},
     {1737, 5745, 4468, 2831, 496, 6885, 4110, 3942, 1519, 6365, 277, 1817, 4241, 6619}},
    {{3791, 4306, 3792, 4084},
     {3119, 2339, 3295, 2753},
     {839, 2873, 2234, 1417, 248, 3444, 2056, 1970, 758, 3181, 139, 907, 2120, 3309}},
    {0.004765, 0.00359, 0.012718, 0.009295},
    0.8,
    // Shorter than the real half loop, so the tail outlasts decayTime by about a fifth.
    0.3,
};

}  // namespace

TPlateReverb::TPlateReverb(EffectObserver* owner, uint32_t flags)
    : TankReverb(owner, &descriptors::kPlateReverb, flags, kPlate) {}

}  // namespace dsp
