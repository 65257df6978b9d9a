#include "plugin/audio_effect.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace plugin {
namespace {

AudioEffect* effectOf(AEffect* e) {
  return e ? static_cast<AudioEffect*>(e->object) : nullptr;
}

intptr_t dispatchEntry(AEffect* e, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                       float opt) {
  AudioEffect* effect = effectOf(e);
  return effect ? effect->dispatcher(opcode, index, value, ptr, opt) : 0;
}

void processEntry(AEffect* e, float** inputs, float** outputs, int32_t frames) {
  if (AudioEffect* effect = effectOf(e)) effect->process(inputs, outputs, frames);
}

void processReplacingEntry(AEffect* e, float** inputs, float** outputs, int32_t frames) {
  if (AudioEffect* effect = effectOf(e)) effect->processReplacing(inputs, outputs, frames);
}

void setParameterEntry(AEffect* e, int32_t index, float value) {
  if (AudioEffect* effect = effectOf(e)) effect->setParameter(index, value);
}

float getParameterEntry(AEffect* e, int32_t index) {
  AudioEffect* effect = effectOf(e);
  return effect ? effect->getParameter(index) : 0.0f;
}

}  // namespace

void copyText(char* destination, const char* source, int size) {
  if (!destination || size <= 0) return;
  const size_t n = source ? strnlen(source, static_cast<size_t>(size - 1)) : 0;
  if (n > 0) std::memcpy(destination, source, n);
  destination[n] = '\0';
}

AudioEffect::AudioEffect(audioMasterCallback audioMaster, int32_t numPrograms, int32_t numParams)
    : audioMaster_(audioMaster) {
  cEffect_.magic = kEffectMagic;
  cEffect_.dispatcher = dispatchEntry;
  cEffect_.process = processEntry;
  cEffect_.setParameter = setParameterEntry;
  cEffect_.getParameter = getParameterEntry;
  cEffect_.processReplacing = processReplacingEntry;
  cEffect_.numInputs = 1;
  cEffect_.numOutputs = 2;
  cEffect_.ioRatio = 1.0f;
  cEffect_.object = this;
  cEffect_.uniqueID = framework::fourCC("NoEf");
  cEffect_.version = 1;
  setProgramCount(numPrograms);
  setParameterCount(numParams);
}

AudioEffect::~AudioEffect() = default;

void AudioEffect::setParameter(int32_t, float) {}

float AudioEffect::getParameter(int32_t) {
  return 0.0f;
}

void AudioEffect::setParameterAutomated(int32_t index, float value) {
  setParameter(index, value);
  callMaster(audioMasterAutomate, index, 0, nullptr, value);
}

void AudioEffect::process(float**, float**, int32_t) {}

void AudioEffect::processReplacing(float**, float**, int32_t) {}

intptr_t AudioEffect::dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                 float opt) {
  switch (opcode) {
    case effOpen:
      open();
      return 0;
    case effClose:
      close();
      return 0;
    case effSetProgram:
      if (value >= 0 && value < numPrograms_) setProgram(static_cast<int32_t>(value));
      return 0;
    case effGetProgram:
      return getProgram();
    case effSetProgramName:
      if (ptr) setProgramName(static_cast<const char*>(ptr));
      return 0;
    case effGetProgramName:
      if (ptr) getProgramName(static_cast<char*>(ptr));
      return 0;
    case effGetParamLabel:
      if (ptr) getParameterLabel(index, static_cast<char*>(ptr));
      return 0;
    case effGetParamDisplay:
      if (ptr) getParameterDisplay(index, static_cast<char*>(ptr));
      return 0;
    case effGetParamName:
      if (ptr) getParameterName(index, static_cast<char*>(ptr));
      return 0;
    case effGetVu:
      return static_cast<intptr_t>(getVu() * 32767.0f);
    case effSetSampleRate:
      setSampleRate(opt);
      return 0;
    case effSetBlockSize:
      setBlockSize(static_cast<int32_t>(value));
      return 0;
    case effMainsChanged:
      if (value == 0) {
        suspend();
      } else {
        resume();
      }
      return 0;
    case effEditGetRect:
      return editor_ ? editor_->getRect(static_cast<ERect**>(ptr)) : 0;
    case effEditOpen:
      return editor_ ? editor_->open(ptr) : 0;
    case effEditClose:
      if (editor_) editor_->close();
      return 0;
    case effEditIdle:
      if (editor_) editor_->idle();
      return 0;
    case effIdentify:
      return framework::fourCC("NvEf");
    case effGetChunk:
      return getChunk(static_cast<void**>(ptr), index != 0);
    case effSetChunk:
      return setChunk(ptr, value, index != 0);
    default:
      return 0;
  }
}

void AudioEffect::setProgramName(const char*) {}

void AudioEffect::getProgramName(char* name) {
  copyText(name, "", kVstMaxProgNameLen);
}

void AudioEffect::getParameterLabel(int32_t, char* label) {
  copyText(label, "", kVstMaxParamStrLen);
}

void AudioEffect::getParameterDisplay(int32_t, char* text) {
  copyText(text, "", kVstMaxParamStrLen);
}

void AudioEffect::getParameterName(int32_t, char* text) {
  copyText(text, "", kVstMaxParamStrLen);
}

intptr_t AudioEffect::getChunk(void** data, bool) {
  if (data) *data = nullptr;
  return 0;
}

intptr_t AudioEffect::setChunk(void*, intptr_t, bool) {
  return 0;
}

int32_t AudioEffect::getMasterVersion() {
  const intptr_t version = callMaster(audioMasterVersion, 0, 0, nullptr, 0.0f);
  return version == 0 ? 1 : static_cast<int32_t>(version);
}

int32_t AudioEffect::getCurrentUniqueId() {
  return static_cast<int32_t>(callMaster(audioMasterCurrentId, 0, 0, nullptr, 0.0f));
}

void AudioEffect::masterIdle() {
  callMaster(audioMasterIdle, 0, 0, nullptr, 0.0f);
}

// The host answers 0 for a connected pin.
bool AudioEffect::isInputConnected(int32_t input) {
  return callMaster(audioMasterPinConnected, input, 0, nullptr, 0.0f) == 0;
}

bool AudioEffect::isOutputConnected(int32_t output) {
  return callMaster(audioMasterPinConnected, output, 1, nullptr, 0.0f) == 0;
}

void AudioEffect::dB2string(float value, char* text) {
  if (value <= 0.0f) {
    copyText(text, "-oo", kVstMaxParamStrLen);
  } else {
    float2string(20.0f * std::log10(value), text);
  }
}

void AudioEffect::Hz2string(float samples, char* text) {
  float2string(samples == 0.0f ? 0.0f : sampleRate_ / samples, text);
}

void AudioEffect::ms2string(float samples, char* text) {
  float2string(samples * 1000.0f / sampleRate_, text);
}

void AudioEffect::float2string(float value, char* text) {
  if (text) std::snprintf(text, kVstMaxParamStrLen, "%.2f", static_cast<double>(value));
}

void AudioEffect::long2string(int32_t value, char* text) {
  if (!text) return;
  if (value >= 100000000) {
    copyText(text, "Huge!", kVstMaxParamStrLen);
  } else {
    std::snprintf(text, kVstMaxParamStrLen, "%7d", value);
  }
}

void AudioEffect::setEditor(AEffEditor* newEditor) {
  editor_ = newEditor;
  setFlag(effFlagsHasEditor, newEditor != nullptr);
}

void AudioEffect::setFlag(int32_t flag, bool state) {
  if (state) {
    cEffect_.flags |= flag;
  } else {
    cEffect_.flags &= ~flag;
  }
}

void AudioEffect::setProgramCount(int32_t count) {
  numPrograms_ = count;
  cEffect_.numPrograms = count;
}

void AudioEffect::setParameterCount(int32_t count) {
  numParams_ = count;
  cEffect_.numParams = count;
}

intptr_t AudioEffect::callMaster(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                 float opt) {
  return audioMaster_ ? audioMaster_(&cEffect_, opcode, index, value, ptr, opt) : 0;
}

}  // namespace plugin
