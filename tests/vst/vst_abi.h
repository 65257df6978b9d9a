#pragma once

// The binary layout a VST 2 host sees, written out on its own for the test host: it shares no
// header with the plug-in, so a field out of place on either side shows as a failing test.

#include <cstddef>
#include <cstdint>

namespace vstabi {

struct Effect;

using HostCallback = intptr_t (*)(Effect* effect, int32_t opcode, int32_t index, intptr_t value,
                                  void* ptr, float opt);
using DispatcherProc = intptr_t (*)(Effect* effect, int32_t opcode, int32_t index, intptr_t value,
                                    void* ptr, float opt);
using ProcessProc = void (*)(Effect* effect, float** inputs, float** outputs, int32_t frames);
using SetParameterProc = void (*)(Effect* effect, int32_t index, float value);
using GetParameterProc = float (*)(Effect* effect, int32_t index);
using EntryPoint = Effect* (*)(HostCallback host);

// Big-endian four characters as one integer, as the record's magic and ids are written.
constexpr int32_t fourCC(const char (&c)[5]) {
  return static_cast<int32_t>((static_cast<uint32_t>(static_cast<uint8_t>(c[0])) << 24) |
                              (static_cast<uint32_t>(static_cast<uint8_t>(c[1])) << 16) |
                              (static_cast<uint32_t>(static_cast<uint8_t>(c[2])) << 8) |
                              static_cast<uint32_t>(static_cast<uint8_t>(c[3])));
}

struct Effect {
  int32_t magic;
  DispatcherProc dispatcher;
  ProcessProc process;
  SetParameterProc setParameter;
  GetParameterProc getParameter;
  int32_t numPrograms;
  int32_t numParams;
  int32_t numInputs;
  int32_t numOutputs;
  int32_t flags;
  intptr_t reserved1;
  intptr_t reserved2;
  int32_t initialDelay;
  int32_t realQualities;
  int32_t offQualities;
  float ioRatio;
  void* object;
  void* user;
  int32_t uniqueID;
  int32_t version;
  ProcessProc processReplacing;
  char future[60];
};

#if INTPTR_MAX == INT64_MAX
// The offsets every 64-bit Linux host reads the record with.
static_assert(offsetof(Effect, dispatcher) == 8);
static_assert(offsetof(Effect, numPrograms) == 40);
static_assert(offsetof(Effect, flags) == 56);
static_assert(offsetof(Effect, reserved1) == 64);
static_assert(offsetof(Effect, initialDelay) == 80);
static_assert(offsetof(Effect, ioRatio) == 92);
static_assert(offsetof(Effect, object) == 96);
static_assert(offsetof(Effect, uniqueID) == 112);
static_assert(offsetof(Effect, processReplacing) == 120);
#endif

enum Flags : int32_t {
  kFlagHasEditor = 1 << 0,
  kFlagHasClip = 1 << 1,
  kFlagHasVu = 1 << 2,
  kFlagCanMono = 1 << 3,
  kFlagCanReplacing = 1 << 4,
  kFlagProgramChunks = 1 << 5,
  kFlagIsSynth = 1 << 8,
};

// Plug-in opcodes (host -> dispatcher), 0..76.
enum Opcode : int32_t {
  kOpen = 0,
  kClose = 1,
  kSetProgram = 2,
  kGetProgram = 3,
  kSetProgramName = 4,
  kGetProgramName = 5,
  kGetParamLabel = 6,
  kGetParamDisplay = 7,
  kGetParamName = 8,
  kGetVu = 9,
  kSetSampleRate = 10,
  kSetBlockSize = 11,
  kMainsChanged = 12,
  kEditGetRect = 13,
  kEditOpen = 14,
  kEditClose = 15,
  kEditDraw = 16,
  kEditMouse = 17,
  kEditKey = 18,
  kEditIdle = 19,
  kEditTop = 20,
  kEditSleep = 21,
  kIdentify = 22,
  kGetChunk = 23,
  kSetChunk = 24,
  kProcessEvents = 25,
  kCanBeAutomated = 26,
  kString2Parameter = 27,
  kGetNumProgramCategories = 28,
  kGetProgramNameIndexed = 29,
  kGetPlugCategory = 35,
  kSetBlockSizeAndSampleRate = 43,
  kSetBypass = 44,
  kGetEffectName = 45,
  kGetVendorString = 47,
  kGetProductString = 48,
  kGetVendorVersion = 49,
  kCanDo = 51,
  kGetTailSize = 52,
  kIdle = 53,
  kGetParameterProperties = 56,
  kGetVstVersion = 58,
  kStartProcess = 71,
  kStopProcess = 72,
  kLastOpcode = 76,
};

// Host opcodes (plug-in -> host callback).
enum HostOpcode : int32_t {
  kHostAutomate = 0,
  kHostVersion = 1,
  kHostCurrentId = 2,
  kHostIdle = 3,
  kHostPinConnected = 4,
};

struct Rect {
  int16_t top;
  int16_t left;
  int16_t bottom;
  int16_t right;
};

constexpr int32_t kMidiEventType = 1;

struct Event {
  int32_t type;
  int32_t byteSize;
  int32_t deltaFrames;
  int32_t flags;
  char data[16];
};

struct MidiEvent {
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
static_assert(sizeof(MidiEvent) == 32);
static_assert(sizeof(Event) == sizeof(MidiEvent));

// The list a host passes with kProcessEvents: a count, then that many pointers (the declared
// array of two is a minimum; hosts allocate as many as they send).
struct Events {
  int32_t numEvents;
  intptr_t reserved;
  Event* events[2];
};

}  // namespace vstabi
