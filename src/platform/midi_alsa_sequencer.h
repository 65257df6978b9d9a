#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/midi_backend.h"

namespace platform {

// The ALSA sequencer: USB and sound-card MIDI ports, software synthesizers, virtual ports.
// Inputs are the ports others can read from, outputs those they can write to, each named
// "client:port" by the client's and the port's names; the system client, ports that hide
// themselves and the ports of this process are left out, and the kernel's "Midi Through" comes
// last. An open device is a client named kClientName whose own port is connected to the chosen
// one (aconnect -l shows it).
//
// Without a sequencer (no /dev/snd/seq) every call fails at once and silently.
class MidiAlsaSequencer final : public MidiBackend {
 public:
  static constexpr const char* kClientName = "Valvorama Live MIDI";

  std::vector<MidiPortInfo> listPorts(bool isInput) override;
  // id: the port's address, "client:port" in numbers.
  std::unique_ptr<MidiInput> openInput(const std::string& id, MidiInputCallback callback,
                                       void* instance) override;
  std::unique_ptr<MidiOutput> openOutput(const std::string& id) override;
};

}  // namespace platform
