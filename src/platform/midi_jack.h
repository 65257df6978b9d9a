#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/midi_backend.h"

namespace platform {

// JACK MIDI, while a JACK server runs (none is ever started): one input and one output device,
// each the amp's own port on the server. Opening the input registers kInputPortName on a client
// named kInputClientName; what reaches that port arrives in the client's process callback and is
// handed to the callback there. Which controller feeds it is the user's choice (jack_connect,
// a patchbay, a session manager). The output plays what is sent through kOutputPortName.
//
// A device opened again connects to the ports that were connected when it closed. A server
// that goes away ends the ports silently; closing them still returns.
class MidiJack final : public MidiBackend {
 public:
  // Full names of the ports connected to one of ours.
  using Peers = std::vector<std::string>;

  static constexpr const char* kDeviceName = "JACK MIDI";
  static constexpr const char* kInputClientName = "Valvorama Live MIDI";
  static constexpr const char* kInputPortName = "midi_in";
  static constexpr const char* kOutputClientName = "Valvorama Live MIDI Out";
  static constexpr const char* kOutputPortName = "midi_out";

  std::vector<MidiPortInfo> listPorts(bool isInput) override;
  std::unique_ptr<MidiInput> openInput(const std::string& id, MidiInputCallback callback,
                                       void* instance) override;
  std::unique_ptr<MidiOutput> openOutput(const std::string& id) override;

 private:
  // Shared with the open device, which updates them when it closes.
  std::shared_ptr<Peers> inputPeers_ = std::make_shared<Peers>();
  std::shared_ptr<Peers> outputPeers_ = std::make_shared<Peers>();
};

}  // namespace platform
