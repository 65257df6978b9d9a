#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "host/mp_midi_base.h"
#include "platform/midi_system.h"

namespace host {

// The MIDI device on the machine's MIDI layer (ALSA sequencer ports and JACK MIDI, numbered
// as one list per direction). The input hands each short message to received() on the back
// end's thread; system-exclusive input is not delivered.
class MPMidiWinMultimedia : public MPMidiBase {
 public:
  explicit MPMidiWinMultimedia(std::vector<std::unique_ptr<platform::MidiBackend>> backends =
                                   platform::MidiSystem::machineBackends());
  ~MPMidiWinMultimedia() override;
  MPMidiWinMultimedia(const MPMidiWinMultimedia&) = delete;
  MPMidiWinMultimedia& operator=(const MPMidiWinMultimedia&) = delete;

  bool send(const uint8_t* message) override;

 protected:
  // Output first, then input; on a failure nothing stays open.
  bool openDevices() override;
  void closeDevices() override;
  void enumerate() override;

 private:
  // Thread: the back end's.
  static void onInput(void* self, uint32_t shortMessage);
  // kFirstDevice, and an index beyond the list, give device 0.
  static uint32_t deviceNumber(const MidiDeviceList& list, int32_t index);

  platform::MidiSystem system_;
  std::unique_ptr<platform::MidiInput> input_;
  std::unique_ptr<platform::MidiOutput> output_;
};

}  // namespace host
