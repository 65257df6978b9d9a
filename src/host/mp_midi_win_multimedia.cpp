#include "host/mp_midi_win_multimedia.h"

#include <string>
#include <utility>

#include "host/audio_device_config.h"

namespace host {
namespace {

// Short messages are at most three bytes, packed status first from the low byte.
constexpr int kShortMessageBytes = 3;

}  // namespace

MPMidiWinMultimedia::MPMidiWinMultimedia(
    std::vector<std::unique_ptr<platform::MidiBackend>> backends)
    : system_(std::move(backends)) {}

MPMidiWinMultimedia::~MPMidiWinMultimedia() {
  close();
}

bool MPMidiWinMultimedia::send(const uint8_t* message) {
  if (!isOpen() || !output_) return false;
  const int count = message[0];
  if (count > kShortMessageBytes) return output_->sendLong(message + 1, count);
  uint32_t packed = 0;
  for (int i = 0; i < count; ++i)
    packed |= uint32_t{message[1 + i]} << (8 * i);
  return output_->sendShort(packed);
}

bool MPMidiWinMultimedia::openDevices() {
  input_.reset();
  output_.reset();
  enumerateDevices(false);
  bool opened = true;
  if (outputIndex_ != kNoDevice) {
    output_ = system_.openOutput(deviceNumber(outputs_, outputIndex_));
    opened = output_ != nullptr;
  }
  if (opened && inputIndex_ != kNoDevice) {
    input_ = system_.openInput(deviceNumber(inputs_, inputIndex_), &onInput, this);
    opened = input_ && input_->start();
  }
  // A half-open device would stay open for good: close() only closes what opened.
  if (!opened) closeDevices();
  return opened;
}

void MPMidiWinMultimedia::closeDevices() {
  if (input_) input_->stop();
  input_.reset();
  output_.reset();
}

void MPMidiWinMultimedia::enumerate() {
  outputs_.clear();
  inputs_.clear();
  auto add = [](MidiDeviceList& list, uint32_t device, std::string name) {
    if (name.size() > MidiDeviceRecord::kMaxNameLength)
      name.resize(MidiDeviceRecord::kMaxNameLength);
    list.push_back({std::move(name), static_cast<int32_t>(device)});
  };
  for (uint32_t device = 0, count = system_.outputCount(); device < count; ++device) {
    if (std::string name; system_.outputName(device, name)) add(outputs_, device, std::move(name));
  }
  for (uint32_t device = 0, count = system_.inputCount(); device < count; ++device) {
    if (std::string name; system_.inputName(device, name)) add(inputs_, device, std::move(name));
  }
}

void MPMidiWinMultimedia::onInput(void* self, uint32_t shortMessage) {
  const uint8_t message[4] = {kShortMessageBytes, static_cast<uint8_t>(shortMessage),
                              static_cast<uint8_t>(shortMessage >> 8),
                              static_cast<uint8_t>(shortMessage >> 16)};
  static_cast<MPMidiWinMultimedia*>(self)->received(message);
}

uint32_t MPMidiWinMultimedia::deviceNumber(const MidiDeviceList& list, int32_t index) {
  if (index >= 0 && index < static_cast<int32_t>(list.size()))
    return static_cast<uint32_t>(list[index].deviceNumber);
  if (index == kFirstDevice && !list.empty())
    return static_cast<uint32_t>(list.front().deviceNumber);
  return 0;
}

}  // namespace host
