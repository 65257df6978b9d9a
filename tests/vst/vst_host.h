#pragma once

#include <stdlib.h>

#include <mutex>
#include <string>
#include <vector>

#include "plugin/plugin_test_support.h"
#include "vst/vst_abi.h"

namespace vsttest {

// A parameter change the plug-in told the host of.
struct Automation {
  int32_t index;
  float value;
};

// The plug-in opened as a host opens it: the build's, or the file VALVORAMA_VST_PLUGIN names.
class VstLibrary {
 public:
  VstLibrary();
  ~VstLibrary();

  bool loaded() const { return handle_ != nullptr; }
  const std::string& error() const { return error_; }
  vstabi::EntryPoint entryPoint(const char* name) const;

 private:
  void* handle_ = nullptr;
  std::string error_;
};

// An effProcessEvents list of MIDI messages at frame 0, built ahead so sending allocates nothing.
class MidiEventList {
 public:
  explicit MidiEventList(const std::vector<std::vector<uint8_t>>& messages);
  void* list() { return storage_.data(); }

 private:
  std::vector<vstabi::MidiEvent> events_;
  std::vector<char> storage_;
};

// One plug-in instance; its host callback records automation (from any thread), answers the
// host's version, 2400, and 0 to everything else.
class VstInstance {
 public:
  explicit VstInstance(const VstLibrary& library, const char* entryName = "VSTPluginMain");
  ~VstInstance() { close(); }

  vstabi::Effect* effect() const { return effect_; }

  intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                    float opt = 0.0f) {
    if (!effect_ || closed_) return 0;
    if (opcode == vstabi::kClose) closed_ = true;
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
  }
  // A text answer into a zeroed host buffer of 256 bytes.
  std::string dispatchText(int32_t opcode, int32_t index = 0);
  void start(float sampleRate, int32_t blockSize);
  void close() { dispatch(vstabi::kClose); }

  void setParameter(int32_t index, float value) { effect_->setParameter(effect_, index, value); }
  float getParameter(int32_t index) { return effect_->getParameter(effect_, index); }
  void processReplacing(float* inLeft, float* inRight, float* outLeft, float* outRight,
                        int32_t frames) {
    float* inputs[2] = {inLeft, inRight};
    float* outputs[2] = {outLeft, outRight};
    effect_->processReplacing(effect_, inputs, outputs, frames);
  }
  intptr_t sendMidi(const std::vector<std::vector<uint8_t>>& messages) {
    MidiEventList events(messages);
    return dispatch(vstabi::kProcessEvents, 0, 0, events.list());
  }

  std::vector<Automation> automations() const {
    std::lock_guard lock(mutex_);
    return automations_;
  }

 private:
  static intptr_t hostCallback(vstabi::Effect* effect, int32_t opcode, int32_t index, intptr_t,
                               void*, float opt);

  vstabi::Effect* effect_ = nullptr;
  bool closed_ = false;
  mutable std::mutex mutex_;
  std::vector<Automation> automations_;
};

// A program bank whose programs sound different from each other (the built-in ones are alike).
bool writeVariedBank(const std::string& path);

// A fresh settings folder (XDG_CONFIG_HOME) for the plug-ins loaded while it lives.
class PrivateSettings : public plugintest::TempDir {
 public:
  PrivateSettings() { ::setenv("XDG_CONFIG_HOME", path().c_str(), 1); }
  ~PrivateSettings() { ::unsetenv("XDG_CONFIG_HOME"); }
  bool ready() const { return !path().empty(); }
  std::string folder() const { return path() + "/ValvoramaLive"; }
  std::string bank() const { return folder() + "/ValvoramaLive settings.dat"; }
};

}  // namespace vsttest
