#pragma once

#include <cstdint>

namespace dsp {

// Block gain whose changes are spread as a linear ramp over each call, so that a gain set once
// per block does not click. Mono or two-channel interleaved, by setFormat.
class SynthVCA {
 public:
  // Stores the channel count only.
  void setFormat(int channels, int sampleRate);
  // The next call jumps to its target instead of ramping to it.
  void reset() { jumpNext_ = 1; }

  // buffer *= gain ramping to target.
  void processInPlace(float* buffer, int frames, float target);
  // dest += src x ramp, both laid out as the VCA's channels.
  void mixAdd(float* dest, const float* src, int frames, float target);
  // Stereo dest += mono src x ramp on both channels.
  void mixAddMonoToStereo(float* dest, const float* src, int frames, float target);
  // Stereo dest += src x ramp x (gainL, gainR); src is mono or stereo.
  void mixAddPanned(float* dest, const float* src, int frames, float target, float gainL,
                    float gainR, bool monoSource);

  float gain() const { return gain_; }

 private:
  // The ramp's per-frame step from the current gain to target (after a pending jump).
  float beginRamp(int frames, float target);

  float gain_ = 0.0f;
  int32_t channels_ = 1;
  int32_t jumpNext_ = 0;
};

}  // namespace dsp
