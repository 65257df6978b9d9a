#include "dsp/effect_descriptors.h"

#include <cstddef>

namespace dsp::descriptors {
namespace {

constexpr float G = 0.0002f;  // the common glide: the whole range in about 5000 frames
constexpr float J = kJump;

// Parameter lists; each table is index-aligned with its names.
namespace eqm {
constexpr const char* names[] = {"High Shelf Freq", "High Shelf Gain", "High Mid Freq",
                                 "High Mid Gain",   "High Mid Q",      "Low Mid Freq",
                                 "Low Mid Gain",    "Low Mid Q",       "Low Shelf Freq",
                                 "Low Shelf Gain",  "High Pass Freq",  "Low Pass Freq"};
constexpr int32_t defaults[] = {64, 64, 64, 64, 0, 64, 64, 0, 64, 64, 0, 127};
constexpr uint32_t controllers[] = {102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 112, 113};
constexpr float rates[] = {G, G, G, G, J, G, G, J, G, G, G, G};
}  // namespace eqm

namespace compressor {
constexpr const char* names[] = {"Attack time", "Release Time", "Drive",
                                 "FeedBack",    "Stereo Ehn",   "Sidechain"};
constexpr int32_t defaults[] = {36, 36, 64, 60, 64, 64};
constexpr uint32_t controllers[] = {114, 115, 116, 117, 118, 10};
constexpr float rates[] = {G, G, G, 0.00004f, G, G};
}  // namespace compressor

namespace limiter {
constexpr const char* names[] = {
    "Drive",      "Overload", "Release time", "Attack1", "Release1",   "Drive1",
    "Threshold1", "Attack2",  "Release2",     "Drive2",  "Threshold2", "Attack3",
    "Release3",   "Drive3",   "Threshold3",   "Split1",  "Split2"};
constexpr int32_t defaults[] = {45, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64};
constexpr uint32_t controllers[] = {119, 120, 121, 10, 11, 12, 13, 14, 15,
                                    16,  17,  18,  19, 20, 21, 22, 23};
constexpr float rates[] = {G, G, G, G, G, G, G, G, G, G, G, G, G, G, G, G, G};
}  // namespace limiter

namespace channel {
constexpr const char* names[] = {"High Shelf Gain", "Mid Gain", "Mid Freq", "Low Shelf Gain",
                                 "Tape Drive"};
constexpr const char* names2[] = {"High Shelf Gain", "Mid Gain", "Mid Freq", "Low Shelf Gain",
                                  "Comp Drive"};
constexpr int32_t defaults[] = {64, 64, 64, 64, 0};
constexpr uint32_t controllers[] = {68, 69, 16, 17, 18};
constexpr float rates[] = {G, G, G, G, G};
}  // namespace channel

namespace distorsion {
constexpr const char* names[] = {"Gain", "Shape"};
constexpr int32_t defaults[] = {24, 3};
constexpr uint32_t controllers[] = {19, 20};
constexpr float rates[] = {G, J};
}  // namespace distorsion

namespace resonant {
constexpr const char* names[] = {"Frequency", "Resonance", "Depth", "Speed", "Mode"};
constexpr int32_t defaults[] = {64, 64, 0, 1, 2};
constexpr uint32_t controllers[] = {21, 22, 23, 24, 25};
constexpr float rates[] = {G, G, G, G, J};
}  // namespace resonant

namespace echo {
constexpr const char* names[] = {"Mode", "FeedBack", "Speed", "Level", "BandWidth"};
constexpr int32_t defaults[] = {0, 40, 32, 32, 127};
constexpr uint32_t controllers[] = {27, 28, 29, 115, 112};
constexpr float rates[] = {J, G, J, G, G};
}  // namespace echo

namespace tremolo {
constexpr const char* names[] = {"Depth", "Speed"};
constexpr int32_t defaults[] = {96, 16};
constexpr uint32_t controllers[] = {30, 31};
constexpr float rates[] = {G, G};
}  // namespace tremolo

namespace panner {
constexpr const char* names[] = {"Depth", "Speed"};
constexpr int32_t defaults[] = {0, 32};
constexpr uint32_t controllers[] = {105, 106};
constexpr float rates[] = {G, G};
}  // namespace panner

namespace vinilyzer {
constexpr const char* names[] = {"Crackle", "Age", "Distorsion"};
constexpr int32_t defaults[] = {64, 40, 32};
constexpr uint32_t controllers[] = {72, 73, 74};
constexpr float rates[] = {G, G, G};
}  // namespace vinilyzer

namespace slicer {
constexpr const char* names[] = {"Pattern", "Depth", "Envelope", "Trigger"};
constexpr int32_t defaults[] = {7, 96, 32, 0};
constexpr uint32_t controllers[] = {75, 76, 77, 114};
constexpr float rates[] = {J, G, G, J};
}  // namespace slicer

namespace lofi {
constexpr const char* names[] = {"Dirty", "Bandwith", "LoFi", "Stereo"};
constexpr int32_t defaults[] = {12, 40, 32, 127};
constexpr uint32_t controllers[] = {78, 79, 80, 107};
constexpr float rates[] = {G, G, G, G};
}  // namespace lofi

namespace flanger {
constexpr const char* names[] = {"Speed", "Depth", "Feedback", "Level"};
constexpr int32_t defaults[] = {32, 64, 127, 64};
constexpr uint32_t controllers[] = {81, 82, 83, 106};
constexpr float rates[] = {G, G, G, G};
}  // namespace flanger

namespace chorus {
constexpr const char* names[] = {"Depth", "Speed", "Level"};
constexpr int32_t defaults[] = {32, 64, 64};
constexpr uint32_t controllers[] = {84, 85, 86};
constexpr float rates[] = {G, G, G};
}  // namespace chorus

namespace modulator {
constexpr const char* names[] = {"Carrier Freq", "Depth"};
constexpr int32_t defaults[] = {64, 64};
constexpr uint32_t controllers[] = {87, 88};
constexpr float rates[] = {G, G};
}  // namespace modulator

namespace reverb {
constexpr const char* names[] = {"Time", "Color", "Density", "Level", "Ambient"};
constexpr int32_t defaults[] = {64, 64, 64, 127, 64};
constexpr uint32_t controllers[] = {89, 90, 102, 104, 103};
constexpr float rates[] = {G, G, J, G, J};
}  // namespace reverb

namespace leslie {
constexpr const char* names[] = {"Speed", "Drive", "Lo/Hi"};
constexpr int32_t defaults[] = {0, 48, 64};
constexpr uint32_t controllers[] = {111, 108, 109};
constexpr float rates[] = {J, G, G};
}  // namespace leslie

namespace wahwah {
constexpr const char* names[] = {"Wah", "Auto"};
constexpr int32_t defaults[] = {24, 0};
constexpr uint32_t controllers[] = {110, 113};
constexpr float rates[] = {G, G};
}  // namespace wahwah

// Builds a descriptor from index-aligned tables; the array sizes must agree.
template <size_t Count, size_t NameLength>
constexpr EffectDescriptor describe(uint32_t id, const char (&name)[NameLength], uint32_t category,
                                    uint32_t channels, const char* const (&names)[Count],
                                    const int32_t (&defaults)[Count],
                                    const uint32_t (&controllers)[Count],
                                    const float (&rates)[Count]) {
  static_assert(NameLength <= 68);
  EffectDescriptor d{kEffectDescriptorSize,        id,       {},    category,    channels, channels,
                     static_cast<uint32_t>(Count), defaults, names, controllers, rates};
  for (size_t i = 0; i < NameLength; ++i)
    d.name[i] = name[i];
  return d;
}

constexpr uint32_t kChannelFx = 1;
constexpr uint32_t kMaster = 2;

}  // namespace

constinit const EffectDescriptor kEQm =
    describe(101, "EQm", kChannelFx, 2, eqm::names, eqm::defaults, eqm::controllers, eqm::rates);
constinit const EffectDescriptor kStereoCompressor =
    describe(102, "Compressor for Master", kMaster, 2, compressor::names, compressor::defaults,
             compressor::controllers, compressor::rates);
constinit const EffectDescriptor kMultibandLimiter =
    describe(103, "Multiband Limiter", kMaster, 2, limiter::names, limiter::defaults,
             limiter::controllers, limiter::rates);
constinit const EffectDescriptor kChannelEffect =
    describe(1201, "Channel Effect", kChannelFx, 2, channel::names, channel::defaults,
             channel::controllers, channel::rates);
constinit const EffectDescriptor kDistorsion =
    describe(1202, "Distorsion", kChannelFx, 2, distorsion::names, distorsion::defaults,
             distorsion::controllers, distorsion::rates);
constinit const EffectDescriptor kResonantCutoff =
    describe(1203, "ResonantCutoff", kChannelFx, 2, resonant::names, resonant::defaults,
             resonant::controllers, resonant::rates);
constinit const EffectDescriptor kStereoEcho = describe(
    1204, "StereoEcho", kChannelFx, 2, echo::names, echo::defaults, echo::controllers, echo::rates);
// Tremolo, Panner and LoFi carry the Distorsion's number in their descriptors; nothing reads
// it, and hosts that stored it expect it unchanged.
constinit const EffectDescriptor kTremolo =
    describe(1202, "Tremolo", kChannelFx, 2, tremolo::names, tremolo::defaults,
             tremolo::controllers, tremolo::rates);
constinit const EffectDescriptor kPanner =
    describe(1202, "Panner", kChannelFx, 2, panner::names, panner::defaults, panner::controllers,
             panner::rates);
constinit const EffectDescriptor kVinilyzer =
    describe(1207, "Vinilyzer", kChannelFx, 2, vinilyzer::names, vinilyzer::defaults,
             vinilyzer::controllers, vinilyzer::rates);
constinit const EffectDescriptor kSlicer =
    describe(1208, "Slicer", kChannelFx, 2, slicer::names, slicer::defaults, slicer::controllers,
             slicer::rates);
constinit const EffectDescriptor kLoFi = describe(1202, "LoFi", kChannelFx, 2, lofi::names,
                                                  lofi::defaults, lofi::controllers, lofi::rates);
constinit const EffectDescriptor kFlanger =
    describe(1210, "Flanger", kChannelFx, 2, flanger::names, flanger::defaults,
             flanger::controllers, flanger::rates);
constinit const EffectDescriptor kStereoChorus =
    describe(1211, "Stereo Chorus", kChannelFx, 2, chorus::names, chorus::defaults,
             chorus::controllers, chorus::rates);
constinit const EffectDescriptor kAmModulator =
    describe(1212, "AmModulator", kChannelFx, 2, modulator::names, modulator::defaults,
             modulator::controllers, modulator::rates);
constinit const EffectDescriptor kFmModulator =
    describe(1213, "FmModulator", kChannelFx, 2, modulator::names, modulator::defaults,
             modulator::controllers, modulator::rates);
constinit const EffectDescriptor kPlateReverb =
    describe(1220, "Plate Reverb", kChannelFx, 1, reverb::names, reverb::defaults,
             reverb::controllers, reverb::rates);
constinit const EffectDescriptor kHallReverb =
    describe(1221, "Hall Reverb", kChannelFx, 1, reverb::names, reverb::defaults,
             reverb::controllers, reverb::rates);
constinit const EffectDescriptor kChannelEffect2 =
    describe(1223, "Channel Effect", kChannelFx, 2, channel::names2, channel::defaults,
             channel::controllers, channel::rates);
constinit const EffectDescriptor kRoomReverb =
    describe(1225, "Room Reverb", kChannelFx, 1, reverb::names, reverb::defaults,
             reverb::controllers, reverb::rates);
constinit const EffectDescriptor kLeslie =
    describe(1226, "Leslie", kChannelFx, 2, leslie::names, leslie::defaults, leslie::controllers,
             leslie::rates);
constinit const EffectDescriptor kWahwah =
    describe(1227, "Wahwah", kChannelFx, 2, wahwah::names, wahwah::defaults, wahwah::controllers,
             wahwah::rates);

}  // namespace dsp::descriptors
