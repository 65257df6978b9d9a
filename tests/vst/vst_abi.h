#pragma once

// The layout a VST 2 host sees, apart from the plug-in's headers: a misplaced field fails a test.

#include <cstddef>
#include <cstdint>

namespace vstabi {

struct Effect;

// The plug-in's dispatcher and the host's callback have the same signature.
using Dispatcher = intptr_t (*)(Effect* effect, int32_t opcode, int32_t index, intptr_t value,
                                void* ptr, float opt);
using ProcessProc = void (*)(Effect* effect, float** inputs, float** outputs, int32_t frames);
using EntryPoint = Effect* (*)(Dispatcher host);

// Big-endian four characters as one integer, as the record's magic and ids are written.
constexpr int32_t fourCC(const char (&c)[5]) {
  return static_cast<int32_t>(uint32_t(uint8_t(c[0])) << 24 | uint32_t(uint8_t(c[1])) << 16 |
                              uint32_t(uint8_t(c[2])) << 8 | uint32_t(uint8_t(c[3])));
}

struct Effect {
  int32_t magic;
  Dispatcher dispatcher;
  ProcessProc process;
  void (*setParameter)(Effect* effect, int32_t index, float value);
  float (*getParameter)(Effect* effect, int32_t index);
  int32_t numPrograms, numParams, numInputs, numOutputs, flags;
  intptr_t reserved[2];
  int32_t initialDelay, qualities[2];
  float ioRatio;
  void* object;
  void* user;  // the host's own
  int32_t uniqueID, version;
  ProcessProc processReplacing;
  char future[60];
};
#if INTPTR_MAX == INT64_MAX
// The offsets every 64-bit Linux host reads the record with.
static_assert(offsetof(Effect, numPrograms) == 40 && offsetof(Effect, initialDelay) == 80);
static_assert(offsetof(Effect, object) == 96 && offsetof(Effect, processReplacing) == 120);
#endif

enum Flags : int32_t { kFlagHasEditor = 1, kFlagCanMono = 8, kFlagCanReplacing = 16 };

// Plug-in opcodes (host -> dispatcher).
constexpr int32_t kOpen = 0, kClose = 1, kSetProgram = 2, kGetProgram = 3, kSetProgramName = 4,
                  kGetProgramName = 5, kGetParamName = 8, kSetSampleRate = 10, kSetBlockSize = 11,
                  kMainsChanged = 12, kEditOpen = 14, kEditClose = 15, kEditIdle = 19,
                  kProcessEvents = 25, kCanBeAutomated = 26, kCanDo = 51, kLastOpcode = 76;

constexpr int32_t kHostAutomate = 0, kMidiEventType = 1;  // a host opcode, an event type

struct MidiEvent {
  int32_t type, byteSize, deltaFrames, flags, noteLength, noteOffset;
  char midiData[4];
  char detune, noteOffVelocity, reserved[2];
};
static_assert(sizeof(MidiEvent) == 32);

// A count, then that many pointers (hosts allocate past the declared two; this one, eight).
constexpr int kMaxEvents = 8;
struct Events {
  int32_t numEvents;
  intptr_t reserved;
  MidiEvent* events[kMaxEvents];
};

}  // namespace vstabi
