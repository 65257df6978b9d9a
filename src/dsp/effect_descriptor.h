#pragma once

#include <cstdint>

namespace dsp {

// Static, read-only description of an effect class, shared by all its instances.
struct EffectDescriptor {
  uint32_t size;  // always kEffectDescriptorSize
  uint32_t id;    // catalogue number (three entries carry another class's number)
  char name[68];
  uint32_t category;  // 1 channel effect, 2 master processor
  uint32_t inputChannels;
  uint32_t outputChannels;
  uint32_t parameterCount;
  const int32_t* defaults;      // on the 0..127 controller scale
  const char* const* names;     // parameter names
  const uint32_t* controllers;  // MIDI controller driving each parameter
  const float* rampRates;       // glide per frame in normalised units; kJump jumps
};

inline constexpr uint32_t kEffectDescriptorSize = 108;
inline constexpr float kJump = -1.0f;

// One gliding parameter of an effect. Values are normalised: controller value / 128.
struct ParameterRecord {
  float current = 0.0f;  // what the signal processing uses
  float target = 0.0f;   // what current glides towards
  float rampRate = 0.0f;
  uint32_t controller = 0;
  uint32_t changed = 0;  // 1 if current moved in the last chunk or was just initialised
};

// An 8-byte event: a MIDI-style status and two data bytes in bytes 5 to 7.
struct EffectEvent {
  uint8_t reserved[5] = {0, 0, 0, 0, 0};
  uint8_t status = 0;
  uint8_t data1 = 0;
  uint8_t data2 = 0;

  static EffectEvent controller(uint8_t number, uint8_t value, uint8_t channel = 0) {
    EffectEvent e;
    e.status = static_cast<uint8_t>(0xB0 | (channel & 0x0F));
    e.data1 = number;
    e.data2 = value;
    return e;
  }

  // The library's own tempo message: tempo = (fraction / 128 + whole) * 2 beats per minute.
  static EffectEvent tempo(uint8_t fraction, uint8_t whole) {
    EffectEvent e;
    e.status = 0x10;
    e.data1 = fraction;
    e.data2 = whole;
    return e;
  }
};
static_assert(sizeof(EffectEvent) == 8);

}  // namespace dsp
