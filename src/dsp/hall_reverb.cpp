#include "dsp/hall_reverb.h"

#include "dsp/effect_descriptors.h"

namespace dsp {
namespace {

// The plate's tables scaled by 1.5 (long) and 0.75 (short), each section's all-pass span
// W - R and delay R then moved to a nearby prime, all eight distinct, so that no two loops
// share a period and the modes stay spread. The taps scale with their sections.
constexpr TankDesign kHall = {
    {{11388, 12916, 11386, 12252},
     {9371, 7019, 9887, 8263},
     {2606, 8618, 6702, 4246, 744, 10328, 6165, 5913, 2278, 9548, 416, 2726, 6362, 9928}},
    {{5688, 6464, 5694, 6126},
     {4679, 3511, 4943, 4129},
     {1303, 4309, 3351, 2123, 372, 5164, 3082, 2956, 1139, 4774, 208, 1363, 3181, 4964}},
    // The plate's diffusers 1.4 times as long, 293, 223, 787 and 577 samples at 44100 Hz.
    {0.006655, 0.005068, 0.017857, 0.013095},
    1.4,
    // The long table's mean half loop (23971 samples), so that decayTime is the 60 dB time.
    23971.0 / 44100.0,
};

}  // namespace

THallReverb::THallReverb(EffectObserver* owner, uint32_t flags)
    : TankReverb(owner, &descriptors::kHallReverb, flags, kHall) {}

}  // namespace dsp
