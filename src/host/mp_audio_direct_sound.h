#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "host/mp_audio_driver.h"
#include "platform/event_group.h"
#include "platform/pcm_loop_buffer.h"

namespace host {

// The back end of the technology "DirectX": full duplex on a playback and a capture buffer of
// 16-bit stereo frames, each of two halves of one block. When the device has passed a half, a
// streaming thread per direction handles it: the capture thread copies the captured half into a
// ring of four halves, the playback thread takes the oldest unread half from the ring as the
// block's input, runs the block and writes its output into the half just played. Without
// playback the capture thread runs the blocks itself.
//
// Device channel 0 is the left sample of a frame and 1 the right; an input or output slot on
// another channel number stays silent.
class MPAudioDirectSound : public MPAudioDriver {
 public:
  static constexpr int32_t kDefaultBufferSize = 512;

  MPAudioDirectSound();
  ~MPAudioDirectSound() override;

  // Bytes of each device buffer (two halves) and of one half, as opened.
  int32_t bufferBytes() const { return bufferBytes_; }
  int32_t halfBytes() const { return halfBytes_; }
  // False once stopped, and once a device went away while streaming.
  bool isStreaming() const { return activeThreads_.load() > 0; }
  bool deviceLost() const;
  // Under- and overruns the devices recovered from since open.
  uint32_t xrunCount() const;
  // The devices' own buffers in frames, for latency figures (0 for a direction not in use).
  int64_t playbackDeviceFrames() const;
  int64_t captureDeviceFrames() const;

  // A clipped output sample as the device gets it: × 32767, truncated toward zero.
  static int16_t toDeviceSample(float sample);
  // Interleaved 16-bit stereo frames to the left and right device channels (sample / 32767) and
  // back; a missing channel is skipped on the way in and sent as 0 on the way out.
  static void framesToFloats(const uint8_t* frames, int32_t count, float* left, float* right);
  static void floatsToFrames(const float* left, const float* right, int32_t count, uint8_t* frames);

 protected:
  bool openDevices() override;
  void closeDevices() override;
  bool startStreaming() override;
  void stopStreaming() override;
  void enumerate() override;

 private:
  enum Event : int { kHalf0, kHalf1, kStop, kEventCount };

  bool openBuffer(std::unique_ptr<platform::PcmLoopBuffer>& buffer,
                  platform::PcmDirection direction, const AudioDeviceList& list, int32_t device,
                  platform::EventGroup& events);
  void streamingThread(platform::EventGroup& events, bool playback);
  void captureHalf(uint32_t offset);
  void playbackHalf(uint32_t offset);
  void toInputs(const uint8_t* frames, uint32_t bytes, int32_t firstFrame);
  void fromOutputs(uint8_t* frames, uint32_t bytes, int32_t firstFrame);
  void findDeviceChannels();

  int32_t bufferBytes_ = 0;
  int32_t halfBytes_ = 0;
  std::unique_ptr<platform::EventGroup> playbackEvents_;
  std::unique_ptr<platform::EventGroup> captureEvents_;
  std::unique_ptr<platform::PcmLoopBuffer> playback_;
  std::unique_ptr<platform::PcmLoopBuffer> capture_;
  std::thread playbackThread_;
  std::thread captureThread_;
  std::atomic<int32_t> activeThreads_{0};

  // The ring: the capture thread writes halves and counts them, the playback thread reads and
  // counts what it has read.
  static constexpr uint32_t kRingHalves = 4;
  std::unique_ptr<uint8_t[]> ring_;
  uint32_t ringBytes_ = 0;
  uint32_t writeOffset_ = 0;
  uint32_t readOffset_ = 0;
  std::atomic<uint64_t> writeCount_{0};
  std::atomic<uint64_t> readCount_{0};

  // The device-side buffers of the left and right device channels, or none; set at start.
  float* inputLeft_ = nullptr;
  float* inputRight_ = nullptr;
  const float* outputLeft_ = nullptr;
  const float* outputRight_ = nullptr;
};

}  // namespace host
