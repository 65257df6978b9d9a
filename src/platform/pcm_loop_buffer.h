#pragma once

#include <poll.h>

#include <alsa/asoundlib.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/event_group.h"
#include "platform/pcm_direction.h"

namespace platform {

// A looping buffer of 16-bit stereo frames in two halves on an ALSA PCM, the way a DirectSound
// playback or capture buffer behaves: once playing, the device moves through half 0 and half 1
// over and over, and signals the events set at positions inside a half when it has passed that
// half (played it out, or filled it). The owner locks a region, reads or writes it and unlocks.
//
// Inside, a pump thread of ours owns the PCM (non-blocking, polled with a time-out): it copies
// each half the owner has unlocked into the device, and each captured half out of it. A device
// that fails, disappears or stops moving for a second (a stopped sound server) ends the pump:
// the stop position is signalled as after stop(), and lost() tells why.
class PcmLoopBuffer {
 public:
  static constexpr uint32_t kFrameBytes = 4;  // 16-bit left, 16-bit right
  static constexpr uint32_t kOffsetStop = 0xffffffffu;
  static constexpr int kMaxNotifications = 8;

  // The event `index` of `events` is signalled when the device passes `offset` (a byte offset
  // into the buffer), or on stop for kOffsetStop.
  struct Notification {
    uint32_t offset = 0;
    EventGroup* events = nullptr;
    int index = 0;
  };

  // A locked region: its end may wrap to the start of the buffer, as a second part.
  struct Region {
    uint8_t* data1 = nullptr;
    uint32_t bytes1 = 0;
    uint8_t* data2 = nullptr;
    uint32_t bytes2 = 0;
  };

  explicit PcmLoopBuffer(PcmDirection direction);
  ~PcmLoopBuffer();
  PcmLoopBuffer(const PcmLoopBuffer&) = delete;
  PcmLoopBuffer& operator=(const PcmLoopBuffer&) = delete;

  // Opens `device` (an ALSA PCM name; sample formats and rates are converted as needed) at
  // `sampleRate` with a zero-filled buffer of `bufferBytes` (two halves of whole frames).
  bool open(const std::string& device, int32_t sampleRate, uint32_t bufferBytes);
  void close();
  // While stopped.
  bool setNotificationPositions(const Notification* positions, int count);

  // Thread: the owner's streaming thread. Playback: unlocking a region hands the halves it
  // touches back to the device.
  bool lock(uint32_t offset, uint32_t bytes, Region& region);
  void unlock(const Region& region);

  // Starts looping from the start of the buffer.
  bool play();
  // Returns once the pump has ended and the stop position has been signalled.
  void stop();

  bool isOpen() const { return pcm_ != nullptr; }
  bool isPlaying() const { return pump_.joinable() && !pumpEnded_.load(); }
  bool lost() const { return lost_.load(); }
  uint32_t bufferBytes() const { return bufferBytes_; }
  // The device's own buffer in frames (at least the two halves).
  int64_t deviceBufferFrames() const { return static_cast<int64_t>(deviceFrames_); }
  // Under- and overruns recovered from since open.
  uint32_t xrunCount() const { return xruns_.load(std::memory_order_relaxed); }

 private:
  // Playback halves: the owner fills a free half, the pump queues a filled one in the device,
  // and the device frees a queued one by playing it.
  enum HalfState : int { kFree, kFilled, kQueued };

  bool configure(int32_t sampleRate);
  void runPump();
  bool startDevice();
  bool servicePlayback(bool& moved);
  bool serviceCapture(bool& moved);
  bool recover(int error);
  void notifyHalf(uint32_t half);
  void notifyStop();
  void wake();

  const PcmDirection direction_;
  snd_pcm_t* pcm_ = nullptr;
  std::unique_ptr<uint8_t[]> buffer_;
  uint32_t bufferBytes_ = 0;
  snd_pcm_uframes_t halfFrames_ = 0;
  snd_pcm_uframes_t deviceFrames_ = 0;
  std::chrono::milliseconds stallLimit_{1000};
  int ownerWaitMilliseconds_ = 1;  // a half's time, at most one poll
  std::vector<pollfd> pollFds_;    // the PCM's descriptors, then the wake-up descriptor
  int wakeFd_ = -1;
  std::array<Notification, kMaxNotifications> notifications_{};
  int notificationCount_ = 0;

  std::thread pump_;
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> pumpEnded_{false};
  std::atomic<bool> lost_{false};
  std::atomic<uint32_t> xruns_{0};
  std::array<std::atomic<int>, 2> halves_{};

  // Pump thread only.
  uint64_t transferred_ = 0;       // frames written to or read from the device since play()
  uint64_t notified_ = 0;          // frames of whole halves passed since play()
  uint32_t pumpHalf_ = 0;          // the half being written or read
  snd_pcm_uframes_t pumpPos_ = 0;  // frames of it done
};

}  // namespace platform
