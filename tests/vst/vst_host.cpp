#include "vst/vst_host.h"

#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <map>

namespace vsttest {

namespace {

constexpr intptr_t kHostVersion = 2400;

// Which instance a record belongs to. The entry point may call back before it has returned its
// record, so calls from the thread creating an instance go to that instance until then.
std::mutex registryMutex;
std::map<vstabi::Effect*, VstInstance*> instances;
thread_local VstInstance* creating = nullptr;

}  // namespace

std::string VstLibrary::defaultPath() {
  const char* chosen = std::getenv("VALVORAMA_VST_PLUGIN");
  return chosen && *chosen ? chosen : VALVORAMA_VST_PLUGIN;
}

VstLibrary::VstLibrary(const std::string& path) {
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* why = dlerror();
    error_ = why ? why : "dlopen failed";
  }
}

VstLibrary::~VstLibrary() {
  unload();
}

void VstLibrary::unload() {
  if (handle_) dlclose(handle_);
  handle_ = nullptr;
}

vstabi::EntryPoint VstLibrary::entryPoint(const char* name) const {
  if (!handle_) return nullptr;
  return reinterpret_cast<vstabi::EntryPoint>(dlsym(handle_, name));
}

VstInstance::VstInstance(const VstLibrary& library, const char* entryName) {
  const vstabi::EntryPoint entry = library.entryPoint(entryName);
  if (!entry) return;
  creating = this;
  effect_ = entry(&VstInstance::hostCallback);
  creating = nullptr;
  if (!effect_) return;
  std::lock_guard lock(registryMutex);
  instances[effect_] = this;
}

VstInstance::~VstInstance() {
  close();
  std::lock_guard lock(registryMutex);
  std::erase_if(instances, [this](const auto& entry) { return entry.second == this; });
}

intptr_t VstInstance::hostCallback(vstabi::Effect* effect, int32_t opcode, int32_t index,
                                   intptr_t value, void* /*ptr*/, float opt) {
  VstInstance* instance = creating;
  if (effect) {
    std::lock_guard lock(registryMutex);
    const auto found = instances.find(effect);
    if (found != instances.end()) instance = found->second;
  }
  const HostCall call{opcode, index, value, opt};
  if (instance) return instance->record(call);
  return opcode == vstabi::kHostVersion ? kHostVersion : 0;
}

intptr_t VstInstance::record(const HostCall& call) {
  std::lock_guard lock(mutex_);
  calls_.push_back(call);
  if (answer_) return answer_(call);
  return call.opcode == vstabi::kHostVersion ? kHostVersion : 0;
}

intptr_t VstInstance::dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                               float opt) {
  if (!effect_ || closed_) return 0;
  if (opcode == vstabi::kClose) closed_ = true;
  return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

std::string VstInstance::dispatchText(int32_t opcode, int32_t index, intptr_t value) {
  std::array<char, 256> text{};
  dispatch(opcode, index, value, text.data());
  text.back() = '\0';
  return text.data();
}

int32_t VstInstance::canDo(const char* text) {
  return static_cast<int32_t>(dispatch(vstabi::kCanDo, 0, 0, const_cast<char*>(text)));
}

void VstInstance::start(float sampleRate, int32_t blockSize) {
  dispatch(vstabi::kOpen);
  dispatch(vstabi::kSetSampleRate, 0, 0, nullptr, sampleRate);
  dispatch(vstabi::kSetBlockSize, 0, blockSize);
  dispatch(vstabi::kMainsChanged, 0, 1);
}

void VstInstance::close() {
  dispatch(vstabi::kClose);
}

void VstInstance::setParameter(int32_t index, float value) {
  if (effect_ && !closed_) effect_->setParameter(effect_, index, value);
}

float VstInstance::getParameter(int32_t index) {
  return effect_ && !closed_ ? effect_->getParameter(effect_, index) : 0.0f;
}

void VstInstance::processReplacing(float* inLeft, float* inRight, float* outLeft, float* outRight,
                                   int32_t frames) {
  if (!effect_ || closed_) return;
  float* inputs[2] = {inLeft, inRight};
  float* outputs[2] = {outLeft, outRight};
  effect_->processReplacing(effect_, inputs, outputs, frames);
}

intptr_t VstInstance::sendMidi(const std::vector<std::vector<uint8_t>>& messages) {
  MidiEventList events(messages);
  return dispatch(vstabi::kProcessEvents, 0, 0, events.list());
}

MidiEventList::MidiEventList(const std::vector<std::vector<uint8_t>>& messages)
    : events_(messages.size()) {
  // A count and then as many pointers, however many that is.
  const size_t pointers = std::max<size_t>(messages.size(), 2);
  storage_.resize(offsetof(vstabi::Events, events) + pointers * sizeof(vstabi::Event*));
  auto* header = reinterpret_cast<vstabi::Events*>(storage_.data());
  header->numEvents = static_cast<int32_t>(messages.size());
  header->reserved = 0;
  vstabi::Event** slots = header->events;
  for (size_t i = 0; i < messages.size(); ++i) {
    vstabi::MidiEvent& event = events_[i];
    event.type = vstabi::kMidiEventType;
    event.byteSize = sizeof(vstabi::MidiEvent);
    for (size_t b = 0; b < 3 && b < messages[i].size(); ++b)
      event.midiData[b] = static_cast<char>(messages[i][b]);
    slots[i] = reinterpret_cast<vstabi::Event*>(&event);
  }
}

std::vector<HostCall> VstInstance::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<HostCall> VstInstance::callsWith(int32_t opcode) const {
  std::lock_guard lock(mutex_);
  std::vector<HostCall> found;
  std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(found),
               [opcode](const HostCall& call) { return call.opcode == opcode; });
  return found;
}

void VstInstance::clearCalls() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

void VstInstance::setAnswer(Answer answer) {
  std::lock_guard lock(mutex_);
  answer_ = std::move(answer);
}

}  // namespace vsttest
