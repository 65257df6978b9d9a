#include "platform/midi_parser.h"

namespace platform {

int MidiParser::dataLength(uint8_t status) {
  if (status < 0x80) return -1;
  if (status < 0xF0) return (status & 0xE0) == 0xC0 ? 1 : 2;  // program change, channel pressure
  switch (status) {
    case 0xF1:  // time code quarter frame
    case 0xF3:  // song select
      return 1;
    case 0xF2:  // song position
      return 2;
    case 0xF6:  // tune request
      return 0;
    default:
      return status >= 0xF8 ? 0 : -1;
  }
}

bool MidiParser::feed(uint8_t byte, uint32_t& shortMessage) {
  if (byte >= 0xF8) {
    shortMessage = byte;
    return true;
  }
  if (byte >= 0x80) {
    // Any other status byte ends a system-exclusive message, and system messages end running
    // status.
    inSysEx_ = byte == 0xF0;
    const int needed = dataLength(byte);
    running_ = byte < 0xF0;
    status_ = needed < 0 ? 0 : byte;
    needed_ = needed;
    count_ = 0;
    if (needed != 0) return false;
    shortMessage = byte;
    status_ = 0;
    return true;
  }
  if (inSysEx_ || status_ == 0) return false;
  data_[count_++] = byte;
  if (count_ < needed_) return false;
  shortMessage = status_ | uint32_t{data_[0]} << 8 | (needed_ == 2 ? uint32_t{data_[1]} << 16 : 0);
  count_ = 0;
  if (!running_) status_ = 0;
  return true;
}

}  // namespace platform
