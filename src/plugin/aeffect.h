#pragma once

#include <cstdint>

#include "framework/four_cc.h"

// The record a VST 2 host reads from a plug-in, laid out as the published interface of
// generation 2.3 on 64-bit Linux: integers are 32-bit, the host's "long" values and returns are
// pointer-sized, and the five entry points are plain C function pointers.
namespace plugin {

struct AEffect;

extern "C" {
using audioMasterCallback = intptr_t (*)(AEffect* effect, int32_t opcode, int32_t index,
                                         intptr_t value, void* ptr, float opt);
using AEffectDispatcherProc = intptr_t (*)(AEffect* effect, int32_t opcode, int32_t index,
                                           intptr_t value, void* ptr, float opt);
using AEffectProcessProc = void (*)(AEffect* effect, float** inputs, float** outputs,
                                    int32_t sampleFrames);
using AEffectSetParameterProc = void (*)(AEffect* effect, int32_t index, float parameter);
using AEffectGetParameterProc = float (*)(AEffect* effect, int32_t index);
}

struct AEffect {
  int32_t magic;
  AEffectDispatcherProc dispatcher;
  AEffectProcessProc process;  // accumulating
  AEffectSetParameterProc setParameter;
  AEffectGetParameterProc getParameter;
  int32_t numPrograms;
  int32_t numParams;
  int32_t numInputs;
  int32_t numOutputs;
  int32_t flags;
  intptr_t resvd1;
  intptr_t resvd2;
  int32_t initialDelay;
  int32_t realQualities;
  int32_t offQualities;
  float ioRatio;
  void* object;  // the AudioEffect behind the record
  void* user;
  int32_t uniqueID;
  int32_t version;
  AEffectProcessProc processReplacing;
  char future[60];
};

constexpr int32_t kEffectMagic = framework::fourCC("VstP");

// AEffect::flags
enum : int32_t {
  effFlagsHasEditor = 1 << 0,
  effFlagsHasClip = 1 << 1,
  effFlagsHasVu = 1 << 2,
  effFlagsCanMono = 1 << 3,
  effFlagsCanReplacing = 1 << 4,
  effFlagsProgramChunks = 1 << 5,
  effFlagsIsSynth = 1 << 8,
};

// Dispatcher opcodes of AudioEffect.
enum : int32_t {
  effOpen = 0,
  effClose,
  effSetProgram,
  effGetProgram,
  effSetProgramName,
  effGetProgramName,
  effGetParamLabel,
  effGetParamDisplay,
  effGetParamName,
  effGetVu,
  effSetSampleRate,
  effSetBlockSize,
  effMainsChanged,
  effEditGetRect,
  effEditOpen,
  effEditClose,
  effEditDraw,
  effEditMouse,
  effEditKey,
  effEditIdle,
  effEditTop,
  effEditSleep,
  effIdentify,
  effGetChunk,
  effSetChunk,
};

// Dispatcher opcodes of AudioEffectX (2.x), 25 to 76.
enum : int32_t {
  effProcessEvents = 25,
  effCanBeAutomated,
  effString2Parameter,
  effGetNumProgramCategories,
  effGetProgramNameIndexed,
  effCopyProgram,
  effConnectInput,
  effConnectOutput,
  effGetInputProperties,
  effGetOutputProperties,
  effGetPlugCategory,
  effGetCurrentPosition,
  effGetDestinationBuffer,
  effOfflineNotify,
  effOfflinePrepare,
  effOfflineRun,
  effProcessVarIo,
  effSetSpeakerArrangement,
  effSetBlockSizeAndSampleRate,
  effSetBypass,
  effGetEffectName,
  effGetErrorText,
  effGetVendorString,
  effGetProductString,
  effGetVendorVersion,
  effVendorSpecific,
  effCanDo,
  effGetTailSize,
  effIdle,
  effGetIcon,
  effSetViewPosition,
  effGetParameterProperties,
  effKeysRequired,
  effGetVstVersion,
  effEditKeyDown,
  effEditKeyUp,
  effSetEditKnobMode,
  effGetMidiProgramName,
  effGetCurrentMidiProgram,
  effGetMidiProgramCategory,
  effHasMidiProgramsChanged,
  effGetMidiKeyName,
  effBeginSetProgram,
  effEndSetProgram,
  effGetSpeakerArrangement,
  effShellGetNextPlugin,
  effStartProcess,
  effStopProcess,
  effSetTotalSampleToProcess,
  effSetPanLaw,
  effBeginLoadBank,
  effBeginLoadProgram,
};

// Host callback opcodes the processor sends.
enum : int32_t {
  audioMasterAutomate = 0,
  audioMasterVersion,
  audioMasterCurrentId,
  audioMasterIdle,
  audioMasterPinConnected,
  audioMasterCanDo = 37,
};

// Text buffer sizes assumed for a host's buffers, NUL included. Parameter texts get 16 bytes
// (the longest parameter name is 15 characters and a display needs 9); program names 24.
constexpr int kVstMaxParamStrLen = 16;
constexpr int kVstMaxProgNameLen = 24;
constexpr int kVstMaxEffectNameLen = 32;
constexpr int kVstMaxVendorStrLen = 64;
constexpr int kVstMaxProductStrLen = 64;

constexpr int32_t kVstVersion = 2300;

struct ERect {
  int16_t top, left, bottom, right;
};

}  // namespace plugin
