#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace host {

// One entry of a MIDI device list: the name a user picks and the device number it opens.
struct MidiDeviceRecord {
  static constexpr size_t kMaxNameLength = 511;
  std::string name;
  int32_t deviceNumber = 0;
};

using MidiDeviceList = std::vector<MidiDeviceRecord>;

// The MIDI device interface. A message record is a count byte, then that many message bytes,
// status first; incoming short messages always come as {3, status, data 1, data 2}.
//
// Open, close and the device lists belong to the user-interface thread; received() runs on the
// MIDI back end's thread.
class MPMidiInterface {
 public:
  // Each name: null gives kNoDevice, a name not in its list kFirstDevice; then open().
  virtual bool openByNames(const char* inputName, const char* outputName) = 0;
  // Device selection values for each direction; false when already open.
  virtual bool open(int32_t inputIndex, int32_t outputIndex) = 0;
  virtual void close() = 0;
  virtual bool isOpen() const = 0;
  // Fills both lists when `force` or not yet done.
  virtual void enumerateDevices(bool force) = 0;
  virtual const MidiDeviceList& getOutputDevices() = 0;
  virtual const MidiDeviceList& getInputDevices() = 0;
  // Exact, case-sensitive; index of the first match, or -1 and false.
  virtual bool findDevice(const char* name, bool isInput, int32_t& index) = 0;
  // Through the open output: up to three bytes as one short message, more as a long one.
  virtual bool send(const uint8_t* message) = 0;
  // Every incoming short message.
  virtual void received(const uint8_t* message) = 0;
  virtual ~MPMidiInterface() = default;

 protected:
  virtual bool openDevices() = 0;
  virtual void closeDevices() = 0;
  virtual void enumerate() = 0;
};

}  // namespace host
