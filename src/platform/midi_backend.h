#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// A short message as the multimedia MIDI input hands it over: status | data 1 << 8 | data 2 << 16
// (unused data bytes are 0). Called on the back end's own thread, never through a queue.
using MidiInputCallback = void (*)(void* instance, uint32_t shortMessage);

// An open input. Messages reach the callback only between start() and stop(); they are read and
// dropped otherwise. Destroying it closes the port and returns once no callback runs any more.
class MidiInput {
 public:
  virtual ~MidiInput() = default;
  virtual bool start() = 0;
  virtual void stop() = 0;
};

// An open output.
class MidiOutput {
 public:
  virtual ~MidiOutput() = default;
  // A short message packed as the input delivers it; false when it is no message.
  virtual bool sendShort(uint32_t shortMessage) = 0;
  // Any run of whole messages (system exclusive included).
  virtual bool sendLong(const uint8_t* bytes, size_t count) = 0;
};

// One port a user could pick. `id` is what the back end opens.
struct MidiPortInfo {
  std::string name;
  std::string id;
};

// One MIDI system of the machine (the ALSA sequencer, a JACK server).
class MidiBackend {
 public:
  virtual ~MidiBackend() = default;
  // Asked anew on every call; empty when the system is not there.
  virtual std::vector<MidiPortInfo> listPorts(bool isInput) = 0;
  // Null when the port cannot be opened.
  virtual std::unique_ptr<MidiInput> openInput(const std::string& id, MidiInputCallback callback,
                                               void* instance) = 0;
  virtual std::unique_ptr<MidiOutput> openOutput(const std::string& id) = 0;
};

}  // namespace platform
