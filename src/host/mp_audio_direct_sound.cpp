#include "host/mp_audio_direct_sound.h"

#include <chrono>
#include <cstring>
#include <new>
#include <string>
#include <system_error>

#include "platform/pcm_device_list.h"
#include "platform/thread_priority.h"

namespace host {
namespace {

using platform::EventGroup;
using platform::PcmDirection;
using platform::PcmLoopBuffer;

constexpr std::chrono::milliseconds kHalfWait{500};
constexpr std::chrono::milliseconds kStopPoll{100};
constexpr int kStopPolls = 100;
// What the device list's "first device" and an index past its end open.
constexpr const char* kDefaultDevice = "default";

AudioDeviceRecord toRecord(const platform::PcmDeviceInfo& device, int32_t channels) {
  AudioDeviceRecord record;
  record.name = device.name.substr(0, AudioDeviceRecord::kMaxNameLength);
  record.id = device.id;
  record.channels = channels;
  record.minRate = device.minRate;
  record.maxRate = device.maxRate;
  return record;
}

template <typename T>
std::unique_ptr<T> makeOrNull(auto&&... args) {
  return std::unique_ptr<T>(new (std::nothrow) T(std::forward<decltype(args)>(args)...));
}

}  // namespace

MPAudioDirectSound::MPAudioDirectSound() = default;

MPAudioDirectSound::~MPAudioDirectSound() {
  close();
}

bool MPAudioDirectSound::deviceLost() const {
  return (playback_ && playback_->lost()) || (capture_ && capture_->lost());
}

uint32_t MPAudioDirectSound::xrunCount() const {
  return (playback_ ? playback_->xrunCount() : 0) + (capture_ ? capture_->xrunCount() : 0);
}

int64_t MPAudioDirectSound::playbackDeviceFrames() const {
  return playback_ ? playback_->deviceBufferFrames() : 0;
}

int64_t MPAudioDirectSound::captureDeviceFrames() const {
  return capture_ ? capture_->deviceBufferFrames() : 0;
}

int16_t MPAudioDirectSound::toDeviceSample(float sample) {
  // The layer has clipped the sample; the guard keeps the conversion defined for any caller.
  const double clipped = sample > 1.0f      ? 1.0
                         : sample < -1.0f   ? -1.0
                         : sample == sample ? sample
                                            : 0.0;
  return static_cast<int16_t>(clipped * 32767.0);
}

void MPAudioDirectSound::enumerate() {
  outputDevices_.clear();
  inputDevices_.clear();
  for (const auto& device : platform::listPcmDevices(PcmDirection::kPlayback))
    outputDevices_.push_back(toRecord(device, 2));
  for (const auto& device : platform::listPcmDevices(PcmDirection::kCapture)) {
    if (device.channels > 0) inputDevices_.push_back(toRecord(device, device.channels));
  }
}

bool MPAudioDirectSound::openDevices() {
  closeDevices();
  if (bufferSize_ == 0) bufferSize_ = kDefaultBufferSize;
  bufferBytes_ = bufferSize_ * 8;
  halfBytes_ = bufferBytes_ / 2;
  writeOffset_ = readOffset_ = 0;
  writeCount_.store(0);
  readCount_.store(0);
  activeThreads_.store(0);

  playbackEvents_ = makeOrNull<EventGroup>(kEventCount);
  captureEvents_ = makeOrNull<EventGroup>(kEventCount);
  ringBytes_ = static_cast<uint32_t>(halfBytes_) * kRingHalves;
  ring_.reset(new (std::nothrow) uint8_t[ringBytes_]());
  const bool ok = playbackEvents_ && captureEvents_ && ring_ &&
                  (config_.outputDevice == kNoDevice ||
                   openBuffer(playback_, PcmDirection::kPlayback, outputDevices_,
                              config_.outputDevice, *playbackEvents_)) &&
                  (config_.inputDevice == kNoDevice ||
                   openBuffer(capture_, PcmDirection::kCapture, inputDevices_, config_.inputDevice,
                              *captureEvents_));
  if (!ok) closeDevices();
  return ok;
}

bool MPAudioDirectSound::openBuffer(std::unique_ptr<PcmLoopBuffer>& buffer, PcmDirection direction,
                                    const AudioDeviceList& list, int32_t device,
                                    EventGroup& events) {
  const bool listed = device >= 0 && device < static_cast<int32_t>(list.size());
  const std::string id = listed ? list[static_cast<size_t>(device)].id : kDefaultDevice;
  const auto bytes = static_cast<uint32_t>(bufferBytes_);
  const PcmLoopBuffer::Notification positions[] = {
      {static_cast<uint32_t>(halfBytes_) - 1, &events, kHalf0},
      {(bytes & ~1u) - 1, &events, kHalf1},
      {PcmLoopBuffer::kOffsetStop, &events, kStop},
  };
  buffer = makeOrNull<PcmLoopBuffer>(direction);
  return buffer && buffer->open(id, config_.sampleRate, bytes) &&
         buffer->setNotificationPositions(positions, kEventCount);
}

// Releases the buffers, the events and the ring; the next open makes them again.
void MPAudioDirectSound::closeDevices() {
  playback_.reset();
  capture_.reset();
  playbackEvents_.reset();
  captureEvents_.reset();
  ring_.reset();
  ringBytes_ = 0;
}

void MPAudioDirectSound::findDeviceChannels() {
  inputLeft_ = inputRight_ = nullptr;
  outputLeft_ = outputRight_ = nullptr;
  for (const DeviceChannel& record : inputChannels()) {
    if (record.deviceChannel == 0) inputLeft_ = record.buffer;
    if (record.deviceChannel == 1) inputRight_ = record.buffer;
  }
  for (const DeviceChannel& record : outputChannels()) {
    if (record.deviceChannel == 0) outputLeft_ = record.buffer;
    if (record.deviceChannel == 1) outputRight_ = record.buffer;
  }
}

bool MPAudioDirectSound::startStreaming() {
  if (!playbackEvents_ || !captureEvents_ || !ring_) return false;
  writeOffset_ = readOffset_ = 0;
  writeCount_.store(0);
  readCount_.store(0);
  // Every start begins as the first did: a silent ring, silent halves, no stale stop signal.
  std::memset(ring_.get(), 0, ringBytes_);
  playbackEvents_->reset();
  captureEvents_->reset();
  findDeviceChannels();
  PcmLoopBuffer::Region region;
  if (playback_ && playback_->lock(0, static_cast<uint32_t>(bufferBytes_), region)) {
    std::memset(region.data1, 0, region.bytes1);
    playback_->unlock(region);
  }

  // Counted from creation, so that a thread not yet running is waited for too.
  const auto launch = [this](std::thread& thread, EventGroup& events, bool playback) {
    activeThreads_.fetch_add(1);
    try {
      thread = std::thread(&MPAudioDirectSound::streamingThread, this, std::ref(events), playback);
    } catch (const std::system_error&) {
      activeThreads_.fetch_sub(1);
      return false;
    }
    platform::setTimeCriticalPriority(thread);
    return true;
  };
  if ((playback_ && !launch(playbackThread_, *playbackEvents_, true)) ||
      (capture_ && !launch(captureThread_, *captureEvents_, false))) {
    stopStreaming();
    return false;
  }
  if ((capture_ && !capture_->play()) || (playback_ && !playback_->play())) {
    stopStreaming();
    return false;
  }
  return true;
}

void MPAudioDirectSound::stopStreaming() {
  if (playback_) playback_->stop();
  if (capture_) capture_->stop();
  // A buffer that never played signals no stop of its own.
  if (playbackEvents_) playbackEvents_->signal(kStop);
  if (captureEvents_) captureEvents_->signal(kStop);
  for (int i = 0; i < kStopPolls && activeThreads_.load() > 0; ++i)
    std::this_thread::sleep_for(kStopPoll);
  if (playbackThread_.joinable()) playbackThread_.join();
  if (captureThread_.joinable()) captureThread_.join();
}

void MPAudioDirectSound::streamingThread(EventGroup& events, bool playback) {
  for (;;) {
    const int event = events.wait(kHalfWait);
    if (event == kStop) break;
    if (event == kHalf0 || event == kHalf1) {
      const uint32_t offset = event == kHalf0 ? 0 : static_cast<uint32_t>(halfBytes_);
      if (playback)
        playbackHalf(offset);
      else
        captureHalf(offset);
    }
  }
  // A direction whose device went away takes the other one down with it: blocks without
  // fresh input would repeat the last one, blocks without playback would go nowhere.
  if (deviceLost()) {
    if (playback && captureEvents_) captureEvents_->signal(kStop);
    if (!playback && playbackEvents_) playbackEvents_->signal(kStop);
  }
  activeThreads_.fetch_sub(1);
}

void MPAudioDirectSound::captureHalf(uint32_t offset) {
  PcmLoopBuffer::Region region;
  if (!capture_->lock(offset, static_cast<uint32_t>(halfBytes_), region)) return;
  if (!playback_) {
    toInputs(region.data1, region.bytes1, 0);
    toInputs(region.data2, region.bytes2, static_cast<int32_t>(region.bytes1 / 4));
    runBlock();
  } else if (writeCount_.load(std::memory_order_relaxed) + 1 -
                 readCount_.load(std::memory_order_acquire) <
             kRingHalves) {
    // The next place is free only once the playback side has read what it held; when the
    // playback side is that far behind, the new half is dropped, never one not yet read.
    writeOffset_ = (writeOffset_ + static_cast<uint32_t>(halfBytes_)) % ringBytes_;
    std::memcpy(ring_.get() + writeOffset_, region.data1, region.bytes1);
    if (region.bytes2)
      std::memcpy(ring_.get() + writeOffset_ + region.bytes1, region.data2, region.bytes2);
    writeCount_.fetch_add(1, std::memory_order_release);
  }
  capture_->unlock(region);
}

void MPAudioDirectSound::playbackHalf(uint32_t offset) {
  PcmLoopBuffer::Region region;
  if (!playback_->lock(offset, static_cast<uint32_t>(halfBytes_), region)) return;
  const uint64_t read = readCount_.load(std::memory_order_relaxed);
  if (capture_ && read < writeCount_.load(std::memory_order_acquire)) {
    toInputs(ring_.get() + readOffset_, static_cast<uint32_t>(halfBytes_), 0);
    readOffset_ = (readOffset_ + static_cast<uint32_t>(halfBytes_)) % ringBytes_;
    readCount_.store(read + 1, std::memory_order_release);
  }
  runBlock();
  fromOutputs(region.data1, region.bytes1, 0);
  fromOutputs(region.data2, region.bytes2, static_cast<int32_t>(region.bytes1 / 4));
  playback_->unlock(region);
}

void MPAudioDirectSound::framesToFloats(const uint8_t* frames, int32_t count, float* left,
                                        float* right) {
  for (int32_t i = 0; i < count; ++i) {
    int16_t frame[2];
    std::memcpy(frame, frames + 4 * i, sizeof frame);
    if (left) left[i] = static_cast<float>(frame[0] / 32767.0);
    if (right) right[i] = static_cast<float>(frame[1] / 32767.0);
  }
}

void MPAudioDirectSound::floatsToFrames(const float* left, const float* right, int32_t count,
                                        uint8_t* frames) {
  for (int32_t i = 0; i < count; ++i) {
    const int16_t frame[2] = {left ? toDeviceSample(left[i]) : int16_t{0},
                              right ? toDeviceSample(right[i]) : int16_t{0}};
    std::memcpy(frames + 4 * i, frame, sizeof frame);
  }
}

void MPAudioDirectSound::toInputs(const uint8_t* frames, uint32_t bytes, int32_t firstFrame) {
  framesToFloats(frames, static_cast<int32_t>(bytes / 4),
                 inputLeft_ ? inputLeft_ + firstFrame : nullptr,
                 inputRight_ ? inputRight_ + firstFrame : nullptr);
}

void MPAudioDirectSound::fromOutputs(uint8_t* frames, uint32_t bytes, int32_t firstFrame) {
  floatsToFrames(outputLeft_ ? outputLeft_ + firstFrame : nullptr,
                 outputRight_ ? outputRight_ + firstFrame : nullptr,
                 static_cast<int32_t>(bytes / 4), frames);
}

}  // namespace host
