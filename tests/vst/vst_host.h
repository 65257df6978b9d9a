#pragma once

#include <stdlib.h>

#include <algorithm>
#include <array>
#include <mutex>
#include <string>
#include <vector>

#include "framework/scratch_folder.h"
#include "vst/vst_abi.h"

namespace vsttest {

// The plug-in the build made, opened as a host opens it.
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
  explicit MidiEventList(const std::vector<std::vector<uint8_t>>& messages) {
    list_.numEvents = static_cast<int32_t>(std::min(messages.size(), events_.size()));
    for (int32_t i = 0; i < list_.numEvents; ++i) {
      events_[i].type = vstabi::kMidiEventType;
      events_[i].byteSize = sizeof(vstabi::MidiEvent);
      std::copy_n(messages[i].begin(), std::min<size_t>(3, messages[i].size()),
                  events_[i].midiData);
      list_.events[i] = &events_[i];
    }
  }
  void* list() { return &list_; }

 private:
  std::array<vstabi::MidiEvent, vstabi::kMaxEvents> events_{};
  vstabi::Events list_{};
};

// A parameter change the plug-in told the host of.
struct Automation {
  int32_t index;
  float value;
};

// One plug-in instance; its host callback records automation (from any thread) and answers 0 to
// everything.
class VstInstance {
 public:
  explicit VstInstance(const VstLibrary& library) {
    const vstabi::EntryPoint entry = library.entryPoint("VSTPluginMain");
    effect_ = entry ? entry(&VstInstance::hostCallback) : nullptr;
    if (effect_) effect_->user = this;
  }
  ~VstInstance() { close(); }

  vstabi::Effect* effect() const { return effect_; }
  intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                    float opt = 0.0f) {
    if (!effect_ || closed_) return 0;
    if (opcode == vstabi::kClose) closed_ = true;
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
  }
  // A text answer into a zeroed host buffer of 256 bytes.
  std::string dispatchText(int32_t opcode, int32_t index = 0) {
    std::array<char, 256> text{};
    dispatch(opcode, index, 0, text.data());
    text.back() = '\0';
    return text.data();
  }
  void start(float sampleRate, int32_t blockSize) {
    dispatch(vstabi::kOpen);
    dispatch(vstabi::kSetSampleRate, 0, 0, nullptr, sampleRate);
    dispatch(vstabi::kSetBlockSize, 0, blockSize);
    dispatch(vstabi::kMainsChanged, 0, 1);
  }
  void close() { dispatch(vstabi::kClose); }

  void setParameter(int32_t index, float value) { effect_->setParameter(effect_, index, value); }
  float getParameter(int32_t index) { return effect_->getParameter(effect_, index); }
  void processReplacing(float* inLeft, float* inRight, float* outLeft, float* outRight,
                        int32_t frames) {
    float *inputs[2] = {inLeft, inRight}, *outputs[2] = {outLeft, outRight};
    effect_->processReplacing(effect_, inputs, outputs, frames);
  }
  intptr_t sendMidi(const std::vector<std::vector<uint8_t>>& messages) {
    return dispatch(vstabi::kProcessEvents, 0, 0, MidiEventList(messages).list());
  }
  std::vector<Automation> automations() const {
    std::lock_guard lock(mutex_);
    return automations_;
  }

 private:
  static intptr_t hostCallback(vstabi::Effect* effect, int32_t opcode, int32_t index, intptr_t,
                               void*, float opt) {
    auto* instance = effect ? static_cast<VstInstance*>(effect->user) : nullptr;
    if (instance && opcode == vstabi::kHostAutomate) {
      std::lock_guard lock(instance->mutex_);
      instance->automations_.push_back({index, opt});
    }
    return 0;
  }

  vstabi::Effect* effect_ = nullptr;
  bool closed_ = false;
  mutable std::mutex mutex_;
  std::vector<Automation> automations_;
};

// A fresh settings folder (XDG_CONFIG_HOME) for the plug-ins loaded while it lives.
class PrivateSettings : public testsupport::ScratchFolder {
 public:
  PrivateSettings() { ::setenv("XDG_CONFIG_HOME", path().c_str(), 1); }
  ~PrivateSettings() { ::unsetenv("XDG_CONFIG_HOME"); }
  bool ready() const { return !path().empty(); }
  std::string folder() const { return path() + "/ValvoramaLive"; }
  std::string bank() const { return folder() + "/ValvoramaLive settings.dat"; }
};

}  // namespace vsttest
