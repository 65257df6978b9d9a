#pragma once

#include <cstdint>

#include "plugin/audio_effect.h"

namespace plugin {

// The 2.x layer of the plug-in base: opcodes 25 to 76. Every operation answers the interface's
// default (not supported) unless a subclass overrides it.
class AudioEffectX : public AudioEffect {
 public:
  using AudioEffect::AudioEffect;

  intptr_t dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) override;

  virtual intptr_t processEvents(void* events);
  virtual bool canParameterBeAutomated(int32_t index);
  virtual bool string2parameter(int32_t index, char* text);
  virtual bool getProgramNameIndexed(int32_t category, int32_t index, char* text);
  virtual bool copyProgram(int32_t destination);
  virtual int32_t getPlugCategory();
  virtual void setBlockSizeAndSampleRate(int32_t size, float rate);
  virtual bool setBypass(bool onOff);
  virtual bool getEffectName(char* name);
  virtual bool getVendorString(char* text);
  virtual bool getProductString(char* text);
  virtual int32_t getVendorVersion();
  virtual intptr_t vendorSpecific(int32_t index, intptr_t value, void* ptr, float opt);
  // 1 yes, -1 no, 0 unknown; for a text the plug-in does not know, 0.
  virtual intptr_t canDo(const char* text);
  virtual int32_t getGetTailSize();
  virtual int32_t getVstVersion();
  virtual intptr_t startProcess();
  virtual intptr_t stopProcess();
  // Asks the host; 0 without one.
  virtual intptr_t canHostDo(const char* text);
};

// Plug-in categories (getPlugCategory).
enum : int32_t { kPlugCategUnknown = 0, kPlugCategEffect = 1, kPlugCategSynth = 2 };

}  // namespace plugin
