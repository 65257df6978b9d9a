#pragma once

#include <cstdint>

namespace plugin {

// Where the MIDI input delivers short messages: the main window's MIDI handling, or the headless
// host's. Called on the MIDI back end's thread, never through a queue the user interface drains;
// an implementation touches only words that are safe to write from there.
class MidiHandler {
 public:
  virtual ~MidiHandler() = default;
  // bytes: status, data 1, data 2 (0 for a two-byte message).
  virtual void onMidiMessage(const uint8_t bytes[3]) = 0;
};

}  // namespace plugin
