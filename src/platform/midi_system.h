#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/midi_backend.h"

namespace platform {

// The machine's MIDI ports as the multimedia MIDI functions show them: one numbered device list
// per direction, the ports of every back end in turn. Counting a direction lists its ports anew
// and numbers them until the next count, so a device number taken from a listing opens that
// port even when others come and go in between.
//
// Thread: one (the user-interface thread). Callbacks of open inputs run on their back end's
// thread.
class MidiSystem {
 public:
  explicit MidiSystem(std::vector<std::unique_ptr<MidiBackend>> backends);
  // The ALSA sequencer, then JACK MIDI.
  static std::vector<std::unique_ptr<MidiBackend>> machineBackends();

  uint32_t inputCount() { return list(true); }
  uint32_t outputCount() { return list(false); }
  // False for a number beyond the last count.
  bool inputName(uint32_t device, std::string& name) const;
  bool outputName(uint32_t device, std::string& name) const;

  // Null when the number is beyond the last count or the port cannot be opened.
  std::unique_ptr<MidiInput> openInput(uint32_t device, MidiInputCallback callback, void* instance);
  std::unique_ptr<MidiOutput> openOutput(uint32_t device);

 private:
  struct Device {
    MidiBackend* backend;
    MidiPortInfo port;
  };

  uint32_t list(bool isInput);
  static bool name(const std::vector<Device>& devices, uint32_t device, std::string& name);

  std::vector<std::unique_ptr<MidiBackend>> backends_;
  std::vector<Device> inputs_;
  std::vector<Device> outputs_;
};

}  // namespace platform
