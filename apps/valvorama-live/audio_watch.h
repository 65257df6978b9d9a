#pragma once

#include <chrono>
#include <cstdint>

namespace host {
class evaHostAudio;
}

// Watches a started device from the main loop through its sample position: notes when blocks
// begin to flow, and when they stop for longer than a few blocks take (an unplugged interface,
// a server that went away), so the user hears about it once instead of sitting in silence.
class AudioWatch {
 public:
  enum class Event { kNone, kFlowing, kStalled };

  explicit AudioWatch(const host::evaHostAudio& audio);

  // Each event is answered once; a device that is not running answers nothing.
  Event check(std::chrono::steady_clock::time_point now);
  int64_t frames() const { return lastPosition_; }

 private:
  const host::evaHostAudio& audio_;
  std::chrono::steady_clock::duration stallLimit_;
  std::chrono::steady_clock::time_point lastProgress_;
  int64_t lastPosition_ = 0;
  bool flowing_ = false;
  bool stalled_ = false;
};
