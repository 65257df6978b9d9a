#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "vst/vst_abi.h"

namespace vsttest {

// One call the plug-in made to the host callback.
struct HostCall {
  int32_t opcode;
  int32_t index;
  intptr_t value;
  float opt;
};

// The plug-in library opened with dlopen, as a host opens it: local symbols, resolved now.
class VstLibrary {
 public:
  // The build's plug-in, or the file VALVORAMA_VST_PLUGIN names (to try an installed one).
  static std::string defaultPath();

  explicit VstLibrary(const std::string& path = defaultPath());
  ~VstLibrary();
  VstLibrary(const VstLibrary&) = delete;
  VstLibrary& operator=(const VstLibrary&) = delete;

  bool loaded() const { return handle_ != nullptr; }
  const std::string& error() const { return error_; }
  // The exported entry point of that name; null when the library does not export it.
  vstabi::EntryPoint entryPoint(const char* name) const;
  // Unloads now (the destructor does it otherwise); every instance must be gone.
  void unload();

 private:
  void* handle_ = nullptr;
  std::string error_;
};

// An effProcessEvents list of short MIDI messages (status, data 1, data 2), each at frame 0,
// built beforehand so that sending it allocates nothing.
class MidiEventList {
 public:
  explicit MidiEventList(const std::vector<std::vector<uint8_t>>& messages);
  void* list() { return storage_.data(); }

 private:
  std::vector<vstabi::MidiEvent> events_;
  std::vector<char> storage_;
};

// One plug-in instance made by the library's entry point, with a host callback that records
// every call and answers a host's version (2400) and 0 to everything else, unless a test sets
// its own answers. Its calls may come from any thread.
class VstInstance {
 public:
  using Answer = std::function<intptr_t(const HostCall&)>;

  explicit VstInstance(const VstLibrary& library, const char* entryName = "VSTPluginMain");
  ~VstInstance();  // closes the instance when the test did not
  VstInstance(const VstInstance&) = delete;
  VstInstance& operator=(const VstInstance&) = delete;

  // Null when the entry point failed.
  vstabi::Effect* effect() const { return effect_; }

  intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                    float opt = 0.0f);
  // A text answer (names, labels, displays, ...) into a zeroed host buffer of 256 bytes.
  std::string dispatchText(int32_t opcode, int32_t index = 0, intptr_t value = 0);
  int32_t canDo(const char* text);
  // effOpen, the rate, the block size and effMainsChanged 1, as hosts start a plug-in.
  void start(float sampleRate, int32_t blockSize);
  // effClose once; later calls do nothing.
  void close();
  bool closed() const { return closed_; }

  void setParameter(int32_t index, float value);
  float getParameter(int32_t index);
  // Stereo processReplacing of one host block.
  void processReplacing(float* inLeft, float* inRight, float* outLeft, float* outRight,
                        int32_t frames);
  // Short MIDI messages sent in one effProcessEvents call.
  intptr_t sendMidi(const std::vector<std::vector<uint8_t>>& messages);

  std::vector<HostCall> calls() const;
  std::vector<HostCall> callsWith(int32_t opcode) const;
  void clearCalls();
  void setAnswer(Answer answer);

 private:
  static intptr_t hostCallback(vstabi::Effect* effect, int32_t opcode, int32_t index,
                               intptr_t value, void* ptr, float opt);
  intptr_t record(const HostCall& call);

  vstabi::Effect* effect_ = nullptr;
  bool closed_ = false;
  mutable std::mutex mutex_;
  std::vector<HostCall> calls_;
  Answer answer_;
};

}  // namespace vsttest
