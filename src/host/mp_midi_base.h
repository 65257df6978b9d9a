#pragma once

#include <cstdint>

#include "host/mp_midi_interface.h"

namespace host {

// The device-independent half of a MIDI device: the device lists and the selection rules, the
// open state, and a trace of what comes in. A back end supplies openDevices, closeDevices,
// enumerate and send.
class MPMidiBase : public MPMidiInterface {
 public:
  bool openByNames(const char* inputName, const char* outputName) override;
  bool open(int32_t inputIndex, int32_t outputIndex) override;
  void close() override;
  bool isOpen() const override { return isOpen_; }
  void enumerateDevices(bool force) override;
  const MidiDeviceList& getOutputDevices() override { return outputs_; }
  const MidiDeviceList& getInputDevices() override { return inputs_; }
  bool findDevice(const char* name, bool isInput, int32_t& index) override;
  // Prints each message on stdout, clock ticks (0xF8) excepted: they come 24 times a beat.
  void received(const uint8_t* message) override;

 protected:
  MidiDeviceList inputs_;
  MidiDeviceList outputs_;
  int32_t inputIndex_;
  int32_t outputIndex_;

  MPMidiBase();

 private:
  bool isOpen_ = false;
  bool devicesEnumerated_ = false;
};

}  // namespace host
