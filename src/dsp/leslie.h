#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "dsp/automated_effect.h"
#include "dsp/bilin_filter.h"
#include "dsp/biquad_filter.h"
#include "dsp/modulated_delay.h"

namespace dsp {

// Rotary speaker. The (mono-summed) input is driven into an asymmetric tanh stage like the
// cabinet's tube amplifier, then split at 800 Hz by a Linkwitz-Riley crossover (two Butterworth
// sections per side, so the two bands sum flat). Lo/Hi sets the balance: at the middle both
// bands play fully, towards 0 the horn fades out, towards full scale the drum does.
//
// Each rotor (treble horn, bass drum) is heard by two microphones a quarter turn apart, left
// and right. For each microphone a ModulatedDelay driven by its sine Lfo carries the Doppler
// shift (the horn mouth's path length changing by its swing as it turns), and the same Lfo
// value sets the level: loudest when the rotor faces the microphone, which is also where the
// path is shortest. The rotors turn in opposite directions, as in the cabinet.
//
// Speed 0 is the slow "chorale" (horn 0.8 Hz, drum 0.7 Hz), any other value the fast
// "tremolo" (6.7 Hz, 5.8 Hz). The rotors do not jump between speeds: each approaches its new
// speed exponentially, the light horn within about a second, the heavy drum in four.
class TLeslie : public TAutomatedEffect {
 public:
  TLeslie(EffectObserver* owner, uint32_t flags);

  void setFormat(int channels, int sampleRate) override;
  void reset() override;

 protected:
  void parametersChanged() override;
  int processBlock(float* out, const float* in, int frames) override;

 private:
  enum Parameter { kSpeed = 0, kDrive = 1, kLoHi = 2 };

  struct RotorDesign {
    float slowHz;
    float fastHz;
    float upSeconds;  // time constants of the speed change
    float downSeconds;
    float swingSeconds;  // peak-to-peak Doppler delay
    float amDepth;       // level lost facing away from a microphone
    float rightOffset;   // the right microphone's angle, in turns
  };

  static const RotorDesign kHorn;
  static const RotorDesign kDrum;

  struct Rotor {
    const RotorDesign* design = nullptr;
    std::array<ModulatedDelay, 2> mics;  // left, right
    std::array<float, 2> gain{};         // level reached at the end of the last block
    float hz = 0.0f;

    void setFormat(int sampleRate);
    void reset(bool fast);
    // Adds this rotor's microphones into out (only those that out has), turning it for frames.
    void run(float* out, int outChannels, const float* in, float* scratch, int frames, bool fast);
  };

  void configure(int sampleRate);
  void resetUnlocked();

  // One chunk each: the mono input, the low and high bands, a microphone's delayed band.
  std::unique_ptr<float[]> scratch_;
  BilinFilter dcBlock_;  // the asymmetric drive leaves a level-dependent offset
  BiquadFilter lowA_, lowB_, highA_, highB_;
  Rotor horn_;
  Rotor drum_;
  bool fast_ = false;
  float drive_ = 1.0f;   // gain into the saturation
  float makeup_ = 1.0f;  // keeps small signals at unity whatever the drive
  float hornLevel_ = 1.0f;
  float drumLevel_ = 1.0f;
};

}  // namespace dsp
