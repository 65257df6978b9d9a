#include "dsp/room_reverb.h"

#include "dsp/effect_descriptors.h"

namespace dsp {
namespace {

// The plate's tables scaled by 0.45 (long) and 0.25 (short), each section's all-pass span
// W - R and delay R then moved to a nearby prime, all eight distinct, so that the short loops
// do not reinforce each other's modes into a metallic ring. The taps scale with their sections.
constexpr TankDesign kRoom = {
    {{3410, 3888, 3418, 3678},
     {2803, 2111, 2969, 2477},
     {782, 2585, 2011, 1274, 223, 3098, 1850, 1774, 684, 2864, 125, 818, 1908, 2979}},
    {{1896, 2154, 1908, 2034},
     {1559, 1171, 1657, 1373},
     {434, 1436, 1117, 708, 124, 1721, 1028, 986, 380, 1591, 69, 454, 1060, 1655}},
    // The plate's diffusers at 0.7 of their length, 149, 113, 397 and 283 samples at 44100 Hz.
    {0.003390, 0.002574, 0.009014, 0.006429},
    0.3,
    // The long table's mean half loop (7197 samples), so that decayTime is the 60 dB time.
    7197.0 / 44100.0,
};

}  // namespace

TRoomReverb::TRoomReverb(EffectObserver* owner, uint32_t flags)
    : TankReverb(owner, &descriptors::kRoomReverb, flags, kRoom) {}

}  // namespace dsp
