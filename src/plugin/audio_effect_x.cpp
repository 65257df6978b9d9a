#include "plugin/audio_effect_x.h"

namespace plugin {

intptr_t AudioEffectX::dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                  float opt) {
  switch (opcode) {
    case effProcessEvents:
      return processEvents(ptr);
    case effCanBeAutomated:
      return canParameterBeAutomated(index) ? 1 : 0;
    case effString2Parameter:
      return string2parameter(index, static_cast<char*>(ptr)) ? 1 : 0;
    case effGetProgramNameIndexed:
      return getProgramNameIndexed(static_cast<int32_t>(value), index, static_cast<char*>(ptr)) ? 1
                                                                                                : 0;
    case effCopyProgram:
      return copyProgram(index) ? 1 : 0;
    case effGetPlugCategory:
      return getPlugCategory();
    case effSetBlockSizeAndSampleRate:
      setBlockSizeAndSampleRate(static_cast<int32_t>(value), opt);
      return 0;
    case effSetBypass:
      return setBypass(value != 0) ? 1 : 0;
    case effGetEffectName:
      return getEffectName(static_cast<char*>(ptr)) ? 1 : 0;
    case effGetVendorString:
      return getVendorString(static_cast<char*>(ptr)) ? 1 : 0;
    case effGetProductString:
      return getProductString(static_cast<char*>(ptr)) ? 1 : 0;
    case effGetVendorVersion:
      return getVendorVersion();
    case effVendorSpecific:
      return vendorSpecific(index, value, ptr, opt);
    case effCanDo:
      return ptr ? canDo(static_cast<const char*>(ptr)) : 0;
    case effGetTailSize:
      return getGetTailSize();
    case effGetVstVersion:
      return getVstVersion();
    case effEditKeyDown:
      return editor_
                 ? editor_->onKeyDown(index, static_cast<int32_t>(value), static_cast<int32_t>(opt))
                 : 0;
    case effEditKeyUp:
      return editor_
                 ? editor_->onKeyUp(index, static_cast<int32_t>(value), static_cast<int32_t>(opt))
                 : 0;
    case effStartProcess:
      return startProcess();
    case effStopProcess:
      return stopProcess();
    default:
      // Every other 2.x opcode is one this plug-in does not support.
      if (opcode >= effProcessEvents && opcode <= effBeginLoadProgram) return 0;
      return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
  }
}

intptr_t AudioEffectX::processEvents(void*) {
  return 0;
}

bool AudioEffectX::canParameterBeAutomated(int32_t) {
  return false;
}

bool AudioEffectX::string2parameter(int32_t, char*) {
  return false;
}

bool AudioEffectX::getProgramNameIndexed(int32_t, int32_t, char*) {
  return false;
}

bool AudioEffectX::copyProgram(int32_t) {
  return false;
}

int32_t AudioEffectX::getPlugCategory() {
  return (cEffect_.flags & effFlagsIsSynth) != 0 ? kPlugCategSynth : kPlugCategUnknown;
}

void AudioEffectX::setBlockSizeAndSampleRate(int32_t size, float rate) {
  blockSize_ = size;
  sampleRate_ = rate;
}

bool AudioEffectX::setBypass(bool) {
  return false;
}

bool AudioEffectX::getEffectName(char*) {
  return false;
}

bool AudioEffectX::getVendorString(char*) {
  return false;
}

bool AudioEffectX::getProductString(char*) {
  return false;
}

int32_t AudioEffectX::getVendorVersion() {
  return 0;
}

intptr_t AudioEffectX::vendorSpecific(int32_t, intptr_t, void*, float) {
  return 0;
}

intptr_t AudioEffectX::canDo(const char*) {
  return 0;
}

int32_t AudioEffectX::getGetTailSize() {
  return 0;
}

int32_t AudioEffectX::getVstVersion() {
  return kVstVersion;
}

intptr_t AudioEffectX::startProcess() {
  return 0;
}

intptr_t AudioEffectX::stopProcess() {
  return 0;
}

intptr_t AudioEffectX::canHostDo(const char* text) {
  return callMaster(audioMasterCanDo, 0, 0, const_cast<char*>(text), 0.0f);
}

}  // namespace plugin
