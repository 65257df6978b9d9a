#pragma once

#include <cstdint>

namespace dsp {

// Control-rate oscillator that ticks once per processed block. The unipolar waveforms span
// -1..0, so a negative depth turns them into a delay that only ever grows from its base.
class Lfo {
 public:
  enum Waveform : int32_t { kTriangle = 0, kSquare = 1, kSaw = 2, kSine = 3, kRandom = 4 };
  // Flag bit: stretch the output to -1..1.
  static constexpr uint32_t kBipolar = 1u << 1;
  static constexpr int32_t kTicksPerBlock = 128;

  void setFormat(float sampleRate);
  void setWaveform(int32_t waveform) { waveform_ = waveform; }
  void setFlags(uint32_t flags) { flags_ = flags; }
  // Rate in Hz of a tick per block of ticksPerBlock samples.
  void setRate(float hz);
  void setPhase(float phase) { phase_ = phase; }
  void setValue(float value) { value_ = value; }

  float tick();

  float sampleRate() const { return sampleRate_; }
  float increment() const { return increment_; }
  float phase() const { return phase_; }
  float value() const { return value_; }

 private:
  float sampleRate_ = 44100.0f;
  float inverseRate_ = 1.0f / 44100.0f;
  int32_t ticksPerBlock_ = kTicksPerBlock;
  int32_t waveform_ = kTriangle;
  uint32_t flags_ = 0;
  float increment_ = 0.0f;
  float phase_ = 0.0f;
  float value_ = 0.0f;
};

}  // namespace dsp
