#pragma once

#include <cstdint>

#include "plugin/aeff_editor.h"
#include "plugin/aeffect.h"

namespace plugin {

// The plug-in base class: it owns the AEffect record a host reads, routes the record's entry
// points to its virtual operations and answers the dispatcher opcodes 0 to 24.
//
// Text operations write into a caller's buffer whose size the interface does not pass: they
// assume kVstMaxParamStrLen bytes for parameter texts and kVstMaxProgNameLen for program names
// and never write more.
class AudioEffect {
 public:
  AudioEffect(audioMasterCallback audioMaster, int32_t numPrograms, int32_t numParams);
  virtual ~AudioEffect();
  AudioEffect(const AudioEffect&) = delete;
  AudioEffect& operator=(const AudioEffect&) = delete;

  virtual void setParameter(int32_t index, float value);
  virtual float getParameter(int32_t index);
  virtual void setParameterAutomated(int32_t index, float value);
  // Accumulating: adds to the outputs.
  virtual void process(float** inputs, float** outputs, int32_t sampleFrames);
  virtual void processReplacing(float** inputs, float** outputs, int32_t sampleFrames);
  virtual intptr_t dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);
  virtual void open() {}
  virtual void close() {}
  virtual int32_t getProgram() { return curProgram_; }
  virtual void setProgram(int32_t program) { curProgram_ = program; }
  virtual void setProgramName(const char* name);
  virtual void getProgramName(char* name);
  virtual void getParameterLabel(int32_t index, char* label);
  virtual void getParameterDisplay(int32_t index, char* text);
  virtual void getParameterName(int32_t index, char* text);
  virtual float getVu() { return 0.0f; }
  virtual intptr_t getChunk(void** data, bool isPreset = false);
  virtual intptr_t setChunk(void* data, intptr_t byteSize, bool isPreset = false);
  virtual void setSampleRate(float rate) { sampleRate_ = rate; }
  virtual void setBlockSize(int32_t size) { blockSize_ = size; }
  virtual void suspend() {}
  virtual void resume() {}
  virtual void setUniqueID(int32_t id) { cEffect_.uniqueID = id; }
  virtual void setNumInputs(int32_t inputs) { cEffect_.numInputs = inputs; }
  virtual void setNumOutputs(int32_t outputs) { cEffect_.numOutputs = outputs; }
  virtual void hasVu(bool state = true) { setFlag(effFlagsHasVu, state); }
  virtual void hasClip(bool state = true) { setFlag(effFlagsHasClip, state); }
  virtual void canMono(bool state = true) { setFlag(effFlagsCanMono, state); }
  virtual void canProcessReplacing(bool state = true) { setFlag(effFlagsCanReplacing, state); }
  virtual void programsAreChunks(bool state = true) { setFlag(effFlagsProgramChunks, state); }
  virtual void setRealtimeQualities(int32_t qualities) { cEffect_.realQualities = qualities; }
  virtual void setOfflineQualities(int32_t qualities) { cEffect_.offQualities = qualities; }
  virtual void setInitialDelay(int32_t delay) { cEffect_.initialDelay = delay; }
  virtual float getSampleRate() { return sampleRate_; }
  virtual int32_t getBlockSize() { return blockSize_; }
  virtual int32_t getMasterVersion();
  virtual int32_t getCurrentUniqueId();
  virtual void masterIdle();
  virtual bool isInputConnected(int32_t input);
  virtual bool isOutputConnected(int32_t output);
  // Value formatting helpers, each writing at most kVstMaxParamStrLen bytes.
  virtual void dB2string(float value, char* text);
  virtual void Hz2string(float samples, char* text);
  virtual void ms2string(float samples, char* text);
  virtual void float2string(float value, char* text);
  virtual void long2string(int32_t value, char* text);

  AEffect* getAeffect() { return &cEffect_; }
  AEffEditor* getEditor() const { return editor_; }
  // Attaching an editor sets the has-editor flag; null detaches it.
  void setEditor(AEffEditor* newEditor);
  audioMasterCallback getAudioMaster() const { return audioMaster_; }
  int32_t numPrograms() const { return numPrograms_; }
  int32_t numParams() const { return numParams_; }

 protected:
  void setFlag(int32_t flag, bool state);
  void setProgramCount(int32_t count);
  void setParameterCount(int32_t count);
  intptr_t callMaster(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);

  float sampleRate_ = 44100.0f;
  AEffEditor* editor_ = nullptr;
  audioMasterCallback audioMaster_ = nullptr;
  int32_t numPrograms_ = 0;
  int32_t numParams_ = 0;
  int32_t curProgram_ = 0;
  int32_t blockSize_ = 1024;
  AEffect cEffect_{};
};

// Bounded text copy: at most size - 1 characters and always a NUL; a null source copies "".
void copyText(char* destination, const char* source, int size);

}  // namespace plugin
