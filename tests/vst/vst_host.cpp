#include "vst/vst_host.h"

#include <dlfcn.h>

#include <algorithm>
#include <array>

#include "plugin/vlvr_processor.h"

namespace vsttest {
namespace {

// The entry point may call back before it has returned the record.
thread_local VstInstance* creating = nullptr;

}  // namespace

VstLibrary::VstLibrary() {
  const char* chosen = std::getenv("VALVORAMA_VST_PLUGIN");
  handle_ = dlopen(chosen && *chosen ? chosen : VALVORAMA_VST_PLUGIN, RTLD_NOW | RTLD_LOCAL);
  if (!handle_) error_ = dlerror();
}

vstabi::EntryPoint VstLibrary::entryPoint(const char* name) const {
  return handle_ ? reinterpret_cast<vstabi::EntryPoint>(dlsym(handle_, name)) : nullptr;
}

VstLibrary::~VstLibrary() {
  if (handle_) dlclose(handle_);
}

MidiEventList::MidiEventList(const std::vector<std::vector<uint8_t>>& messages)
    : events_(messages.size()) {
  const size_t pointers = std::max<size_t>(messages.size(), 2);
  storage_.resize(offsetof(vstabi::Events, events) + pointers * sizeof(vstabi::MidiEvent*));
  auto* header = reinterpret_cast<vstabi::Events*>(storage_.data());
  header->numEvents = static_cast<int32_t>(messages.size());
  for (size_t i = 0; i < messages.size(); ++i) {
    events_[i].type = vstabi::kMidiEventType;
    events_[i].byteSize = sizeof(vstabi::MidiEvent);
    std::copy_n(messages[i].begin(), std::min<size_t>(3, messages[i].size()), events_[i].midiData);
    header->events[i] = &events_[i];
  }
}

VstInstance::VstInstance(const VstLibrary& library, const char* entryName) {
  const vstabi::EntryPoint entry = library.entryPoint(entryName);
  if (!entry) return;
  creating = this;
  effect_ = entry(&VstInstance::hostCallback);
  creating = nullptr;
  if (effect_) effect_->user = this;
}

intptr_t VstInstance::hostCallback(vstabi::Effect* effect, int32_t opcode, int32_t index, intptr_t,
                                   void*, float opt) {
  VstInstance* instance =
      effect && effect->user ? static_cast<VstInstance*>(effect->user) : creating;
  if (instance && opcode == vstabi::kHostAutomate) {
    std::lock_guard lock(instance->mutex_);
    instance->automations_.push_back({index, opt});
  }
  return opcode == vstabi::kHostVersion ? 2400 : 0;
}

std::string VstInstance::dispatchText(int32_t opcode, int32_t index) {
  std::array<char, 256> text{};
  dispatch(opcode, index, 0, text.data());
  text.back() = '\0';
  return text.data();
}

void VstInstance::start(float sampleRate, int32_t blockSize) {
  dispatch(vstabi::kOpen);
  dispatch(vstabi::kSetSampleRate, 0, 0, nullptr, sampleRate);
  dispatch(vstabi::kSetBlockSize, 0, blockSize);
  dispatch(vstabi::kMainsChanged, 0, 1);
}

bool writeVariedBank(const std::string& path) {
  plugin::vlvrProcessor processor;
  processor.initialize();
  for (int p = 0; p < 128; ++p) {
    processor.setParameterPlain(13, static_cast<float>(20 + 7 * p % 100));  // preamp gain
    processor.setParameterPlain(8, static_cast<float>(p % 2));              // overdrive on
    processor.setParameterPlain(20, static_cast<float>(p % 4));             // amp model
    processor.setParameterPlain(19, static_cast<float>(p / 4 % 4));         // cabinet
    processor.storeProgram(p, ("Varied " + std::to_string(p + 1)).c_str());
  }
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  return processor.saveProgramBankFile(path);
}

}  // namespace vsttest
