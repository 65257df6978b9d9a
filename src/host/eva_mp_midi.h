#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "host/mp_midi_win_multimedia.h"

namespace host {

class evaHostAudio;

// The host's MIDI input: hands every two- and three-byte message to the MIDI handler its host
// holds, on the MIDI back end's thread. It prints nothing.
class evaMPMidi : public MPMidiWinMultimedia {
 public:
  explicit evaMPMidi(evaHostAudio* host = nullptr,
                     std::vector<std::unique_ptr<platform::MidiBackend>> backends =
                         platform::MidiSystem::machineBackends());
  // Closes before the object stops being an evaMPMidi, so no message meets a half-destroyed
  // one.
  ~evaMPMidi() override;

  void setHost(evaHostAudio* host) { host_ = host; }
  evaHostAudio* host() const { return host_; }

  void received(const uint8_t* message) override;

 private:
  evaHostAudio* host_;
};

}  // namespace host
