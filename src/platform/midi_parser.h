#pragma once

#include <cstdint>

namespace platform {

// Cuts a MIDI byte stream into short messages, packed as status | data 1 << 8 | data 2 << 16.
// Running status continues a channel message without its status byte; real-time bytes
// (0xF8-0xFF) are messages of their own wherever they fall, even inside another message;
// system-exclusive data and data bytes without a status are skipped.
class MidiParser {
 public:
  // True when `byte` completes a message, which is then in `shortMessage`.
  bool feed(uint8_t byte, uint32_t& shortMessage);
  void reset() { *this = MidiParser(); }

  // Data bytes that follow `status`; -1 for a byte that starts no short message.
  static int dataLength(uint8_t status);

 private:
  uint8_t status_ = 0;  // of the message being read, 0 for none
  bool running_ = false;
  bool inSysEx_ = false;
  int needed_ = 0;
  int count_ = 0;
  uint8_t data_[2] = {};
};

}  // namespace platform
