#pragma once

#include <cstdint>

namespace vstplugin {

// The event list a host passes with effProcessEvents: a count, a reserved word, then that many
// pointers to events (hosts allocate the list as long as it needs to be).
struct VstEventList {
  int32_t numEvents;
  intptr_t reserved;
  struct VstEvent* events[2];
};

// What every event starts with; a MIDI event carries its message from byte 24 on.
struct VstEvent {
  int32_t type;
  int32_t byteSize;
  int32_t deltaFrames;
  int32_t flags;
  char data[16];
};

struct VstMidiEvent {
  int32_t type;
  int32_t byteSize;
  int32_t deltaFrames;
  int32_t flags;
  int32_t noteLength;
  int32_t noteOffset;
  char midiData[4];
  char detune;
  char noteOffVelocity;
  char reserved1;
  char reserved2;
};
static_assert(sizeof(VstMidiEvent) == sizeof(VstEvent));

constexpr int32_t kVstMidiType = 1;

}  // namespace vstplugin
