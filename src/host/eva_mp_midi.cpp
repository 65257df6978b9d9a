#include "host/eva_mp_midi.h"

#include <utility>

#include "host/eva_host_audio.h"
#include "plugin/midi_handler.h"

namespace host {

evaMPMidi::evaMPMidi(evaHostAudio* host,
                     std::vector<std::unique_ptr<platform::MidiBackend>> backends)
    : MPMidiWinMultimedia(std::move(backends)), host_(host) {}

evaMPMidi::~evaMPMidi() {
  close();
}

void evaMPMidi::received(const uint8_t* message) {
  const int count = message[0];
  if ((count != 2 && count != 3) || host_ == nullptr) return;
  plugin::MidiHandler* handler = host_->midiHandler();
  if (handler == nullptr) return;
  const uint8_t bytes[3] = {message[1], message[2], count == 3 ? message[3] : uint8_t{0}};
  handler->onMidiMessage(bytes);
}

}  // namespace host
