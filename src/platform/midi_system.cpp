#include "platform/midi_system.h"

#include <utility>

#include "platform/midi_alsa_sequencer.h"
#include "platform/midi_jack.h"

namespace platform {

MidiSystem::MidiSystem(std::vector<std::unique_ptr<MidiBackend>> backends)
    : backends_(std::move(backends)) {}

std::vector<std::unique_ptr<MidiBackend>> MidiSystem::machineBackends() {
  std::vector<std::unique_ptr<MidiBackend>> backends;
  backends.push_back(std::make_unique<MidiAlsaSequencer>());
  backends.push_back(std::make_unique<MidiJack>());
  return backends;
}

uint32_t MidiSystem::list(bool isInput) {
  std::vector<Device>& devices = isInput ? inputs_ : outputs_;
  devices.clear();
  for (const auto& backend : backends_) {
    for (MidiPortInfo& port : backend->listPorts(isInput))
      devices.push_back({backend.get(), std::move(port)});
  }
  return static_cast<uint32_t>(devices.size());
}

bool MidiSystem::name(const std::vector<Device>& devices, uint32_t device, std::string& name) {
  if (device >= devices.size()) return false;
  name = devices[device].port.name;
  return true;
}

bool MidiSystem::inputName(uint32_t device, std::string& name) const {
  return MidiSystem::name(inputs_, device, name);
}

bool MidiSystem::outputName(uint32_t device, std::string& name) const {
  return MidiSystem::name(outputs_, device, name);
}

std::unique_ptr<MidiInput> MidiSystem::openInput(uint32_t device, MidiInputCallback callback,
                                                 void* instance) {
  if (device >= inputs_.size()) return nullptr;
  return inputs_[device].backend->openInput(inputs_[device].port.id, callback, instance);
}

std::unique_ptr<MidiOutput> MidiSystem::openOutput(uint32_t device) {
  if (device >= outputs_.size()) return nullptr;
  return outputs_[device].backend->openOutput(outputs_[device].port.id);
}

}  // namespace platform
