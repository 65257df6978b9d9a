#pragma once

#include "dsp/effect_descriptor.h"

// The static descriptors of every effect class in the catalogue.
namespace dsp::descriptors {

extern const EffectDescriptor kEQm;
extern const EffectDescriptor kStereoCompressor;
extern const EffectDescriptor kMultibandLimiter;
extern const EffectDescriptor kChannelEffect;
extern const EffectDescriptor kDistorsion;
extern const EffectDescriptor kResonantCutoff;
extern const EffectDescriptor kStereoEcho;
extern const EffectDescriptor kTremolo;
extern const EffectDescriptor kPanner;
extern const EffectDescriptor kVinilyzer;
extern const EffectDescriptor kSlicer;
extern const EffectDescriptor kLoFi;
extern const EffectDescriptor kFlanger;
extern const EffectDescriptor kStereoChorus;  // shared by TChorus and TChorusRand
extern const EffectDescriptor kAmModulator;
extern const EffectDescriptor kFmModulator;
extern const EffectDescriptor kPlateReverb;
extern const EffectDescriptor kHallReverb;
extern const EffectDescriptor kChannelEffect2;
extern const EffectDescriptor kRoomReverb;
extern const EffectDescriptor kLeslie;
extern const EffectDescriptor kWahwah;

}  // namespace dsp::descriptors
