#include "host/mp_midi_base.h"

#include <cstdio>

#include "host/audio_device_config.h"

namespace host {

MPMidiBase::MPMidiBase() : inputIndex_(kNoDevice), outputIndex_(kNoDevice) {}

bool MPMidiBase::openByNames(const char* inputName, const char* outputName) {
  auto select = [this](const char* name, bool isInput) {
    if (name == nullptr) return kNoDevice;
    int32_t index = kNoDevice;
    return findDevice(name, isInput, index) ? index : kFirstDevice;
  };
  const int32_t input = select(inputName, true);
  return open(input, select(outputName, false));
}

bool MPMidiBase::open(int32_t inputIndex, int32_t outputIndex) {
  if (isOpen_) return false;
  inputIndex_ = inputIndex;
  outputIndex_ = outputIndex;
  isOpen_ = (inputIndex == kNoDevice && outputIndex == kNoDevice) || openDevices();
  return isOpen_;
}

void MPMidiBase::close() {
  if (isOpen_) closeDevices();
  isOpen_ = false;
  inputIndex_ = kNoDevice;
  outputIndex_ = kNoDevice;
}

void MPMidiBase::enumerateDevices(bool force) {
  if (devicesEnumerated_ && !force) return;
  enumerate();
  devicesEnumerated_ = true;
}

bool MPMidiBase::findDevice(const char* name, bool isInput, int32_t& index) {
  index = kNoDevice;
  if (name == nullptr) return false;
  enumerateDevices(false);
  const MidiDeviceList& list = isInput ? inputs_ : outputs_;
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i].name == name) {
      index = static_cast<int32_t>(i);
      return true;
    }
  }
  return false;
}

void MPMidiBase::received(const uint8_t* message) {
  const int count = message[0];
  // A shorter record shows its missing bytes as 0 rather than whatever follows it.
  auto byte = [&](int i) { return i <= count ? message[i] : 0; };
  if (byte(1) == 0xF8) return;
  std::printf("some midi data % 2d %02X %02X %02X\n", count, byte(1), byte(2), byte(3));
}

}  // namespace host
