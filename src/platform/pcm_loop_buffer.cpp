#include "platform/pcm_loop_buffer.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <system_error>

#include "platform/alsa_errors.h"
#include "platform/thread_priority.h"

namespace platform {
namespace {

// The pump looks at the device at least this often, so a stop or a silent device never waits
// on a poll that does not end.
constexpr int kPollMilliseconds = 100;
constexpr std::chrono::milliseconds kShortestStallLimit{1000};

snd_pcm_stream_t streamOf(PcmDirection direction) {
  return direction == PcmDirection::kPlayback ? SND_PCM_STREAM_PLAYBACK : SND_PCM_STREAM_CAPTURE;
}

}  // namespace

PcmLoopBuffer::PcmLoopBuffer(PcmDirection direction) : direction_(direction) {}

PcmLoopBuffer::~PcmLoopBuffer() {
  close();
}

bool PcmLoopBuffer::open(const std::string& device, int32_t sampleRate, uint32_t bufferBytes) {
  close();
  if (bufferBytes == 0 || bufferBytes % (2 * kFrameBytes) != 0 || sampleRate <= 0 ||
      device.empty() || device.find('"') != std::string::npos) {
    return false;
  }
  silenceAlsaErrors();
  xruns_.store(0, std::memory_order_relaxed);
  bufferBytes_ = bufferBytes;
  halfFrames_ = bufferBytes / 2 / kFrameBytes;
  // Through a plug device, as a DirectSound buffer is mixed to whatever the card takes: 16-bit
  // stereo then opens on a 24-bit card, a 4-channel interface or a float-only sound server.
  const std::string name = "plug:\"" + device + "\"";
  if (snd_pcm_open(&pcm_, name.c_str(), streamOf(direction_), SND_PCM_NONBLOCK) < 0) {
    pcm_ = nullptr;
    return false;
  }
  buffer_.reset(new (std::nothrow) uint8_t[bufferBytes]());
  wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (!buffer_ || wakeFd_ < 0 || !configure(sampleRate)) {
    close();
    return false;
  }
  const auto halfMilliseconds = static_cast<int64_t>(halfFrames_) * 1000 / sampleRate;
  stallLimit_ = std::max(kShortestStallLimit, std::chrono::milliseconds(4 * halfMilliseconds));
  ownerWaitMilliseconds_ =
      static_cast<int>(std::clamp<int64_t>(halfMilliseconds, 1, kPollMilliseconds));
  return true;
}

bool PcmLoopBuffer::configure(int32_t sampleRate) {
  snd_pcm_hw_params_t* hw = nullptr;
  snd_pcm_hw_params_alloca(&hw);
  snd_pcm_uframes_t period = halfFrames_;
  snd_pcm_uframes_t twoHalves = 2 * halfFrames_;
  snd_pcm_uframes_t size = twoHalves;
  if (snd_pcm_hw_params_any(pcm_, hw) < 0 ||
      snd_pcm_hw_params_set_access(pcm_, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
      snd_pcm_hw_params_set_format(pcm_, hw, SND_PCM_FORMAT_S16) < 0 ||
      snd_pcm_hw_params_set_channels(pcm_, hw, 2) < 0 ||
      snd_pcm_hw_params_set_rate(pcm_, hw, static_cast<unsigned int>(sampleRate), 0) < 0 ||
      snd_pcm_hw_params_set_buffer_size_min(pcm_, hw, &size) < 0) {
    return false;
  }
  // One device period per half where the device allows it; the device keeps both halves.
  snd_pcm_hw_params_set_period_size_near(pcm_, hw, &period, nullptr);
  size = twoHalves;
  if (snd_pcm_hw_params_set_buffer_size_near(pcm_, hw, &size) < 0 ||
      snd_pcm_hw_params(pcm_, hw) < 0 || snd_pcm_hw_params_get_buffer_size(hw, &size) < 0 ||
      size < twoHalves) {
    return false;
  }
  deviceFrames_ = size;

  snd_pcm_sw_params_t* sw = nullptr;
  snd_pcm_sw_params_alloca(&sw);
  snd_pcm_uframes_t boundary = 0;
  // Playback wakes when a half has left the device; capture when a half has come in. Both are
  // started by hand, playback once both halves are queued.
  const snd_pcm_uframes_t wakeAt =
      direction_ == PcmDirection::kPlayback ? deviceFrames_ - halfFrames_ : halfFrames_;
  return snd_pcm_sw_params_current(pcm_, sw) >= 0 &&
         snd_pcm_sw_params_get_boundary(sw, &boundary) >= 0 &&
         snd_pcm_sw_params_set_avail_min(pcm_, sw, wakeAt) >= 0 &&
         snd_pcm_sw_params_set_start_threshold(pcm_, sw, boundary) >= 0 &&
         snd_pcm_sw_params(pcm_, sw) >= 0;
}

void PcmLoopBuffer::close() {
  stop();
  if (pcm_) snd_pcm_close(pcm_);
  pcm_ = nullptr;
  if (wakeFd_ >= 0) ::close(wakeFd_);
  wakeFd_ = -1;
  buffer_.reset();
  pollFds_.clear();
  bufferBytes_ = 0;
  halfFrames_ = 0;
  deviceFrames_ = 0;
}

bool PcmLoopBuffer::setNotificationPositions(const Notification* positions, int count) {
  if (isPlaying() || count < 0 || count > kMaxNotifications || (count > 0 && !positions))
    return false;
  for (int i = 0; i < count; ++i) {
    const Notification& n = positions[i];
    if (!n.events || (n.offset != kOffsetStop && n.offset >= bufferBytes_)) return false;
  }
  std::copy(positions, positions + count, notifications_.begin());
  notificationCount_ = count;
  return true;
}

bool PcmLoopBuffer::lock(uint32_t offset, uint32_t bytes, Region& region) {
  region = Region{};
  if (!buffer_ || offset >= bufferBytes_ || bytes > bufferBytes_) return false;
  region.data1 = buffer_.get() + offset;
  region.bytes1 = std::min(bytes, bufferBytes_ - offset);
  if (region.bytes1 < bytes) {
    region.data2 = buffer_.get();
    region.bytes2 = bytes - region.bytes1;
  }
  return true;
}

void PcmLoopBuffer::unlock(const Region& region) {
  if (direction_ != PcmDirection::kPlayback || !buffer_) return;
  const uint32_t halfBytes = bufferBytes_ / 2;
  bool handedBack = false;
  const auto handBack = [&](const uint8_t* data, uint32_t bytes) {
    if (!data || bytes == 0) return;
    const auto start = static_cast<uint32_t>(data - buffer_.get());
    for (uint32_t half = start / halfBytes; half <= (start + bytes - 1) / halfBytes && half < 2;
         ++half) {
      int expected = kFree;
      handedBack |= halves_[half].compare_exchange_strong(expected, kFilled);
    }
  };
  handBack(region.data1, region.bytes1);
  handBack(region.data2, region.bytes2);
  if (handedBack) wake();
}

bool PcmLoopBuffer::play() {
  if (!pcm_) return false;
  if (pump_.joinable()) {
    if (!pumpEnded_.load()) return true;
    pump_.join();
  }
  if (snd_pcm_state(pcm_) == SND_PCM_STATE_DISCONNECTED || snd_pcm_prepare(pcm_) < 0) return false;
  const int count = snd_pcm_poll_descriptors_count(pcm_);
  if (count <= 0) return false;
  pollFds_.assign(static_cast<size_t>(count) + 1, pollfd{});
  if (snd_pcm_poll_descriptors(pcm_, pollFds_.data(), static_cast<unsigned int>(count)) != count)
    return false;
  pollFds_.back() = {wakeFd_, POLLIN, 0};
  uint64_t pending = 0;
  while (read(wakeFd_, &pending, sizeof pending) > 0) {
  }

  transferred_ = 0;
  notified_ = 0;
  pumpHalf_ = 0;
  pumpPos_ = 0;
  for (auto& half : halves_)
    half.store(kFilled);
  stopRequested_.store(false);
  pumpEnded_.store(false);
  lost_.store(false);
  if (!startDevice()) {
    snd_pcm_drop(pcm_);
    return false;
  }
  try {
    pump_ = std::thread(&PcmLoopBuffer::runPump, this);
  } catch (const std::system_error&) {
    snd_pcm_drop(pcm_);
    return false;
  }
  setTimeCriticalPriority(pump_);
  return true;
}

// Playback queues both halves as they are and starts; capture starts empty.
bool PcmLoopBuffer::startDevice() {
  if (direction_ == PcmDirection::kCapture) return snd_pcm_start(pcm_) >= 0;
  bool moved = false;
  return servicePlayback(moved) && snd_pcm_state(pcm_) == SND_PCM_STATE_RUNNING;
}

void PcmLoopBuffer::stop() {
  if (!pump_.joinable()) return;
  stopRequested_.store(true);
  wake();
  pump_.join();
}

void PcmLoopBuffer::runPump() {
  const size_t pcmFds = pollFds_.size() - 1;
  auto lastMove = std::chrono::steady_clock::now();
  bool alive = true;
  while (alive && !stopRequested_.load()) {
    // While the owner fills the next half the device has room, and would wake the pump at once,
    // over and over; then only the owner's unlock (or a half's time) wakes it.
    const bool ownerTurn =
        direction_ == PcmDirection::kPlayback && halves_[pumpHalf_].load() == kFree;
    const int ready = ownerTurn ? ::poll(&pollFds_.back(), 1, ownerWaitMilliseconds_)
                                : ::poll(pollFds_.data(), pollFds_.size(), kPollMilliseconds);
    if (ready < 0 && errno != EINTR) {
      alive = false;
      break;
    }
    if (pollFds_.back().revents & POLLIN) {
      uint64_t pending = 0;
      while (read(wakeFd_, &pending, sizeof pending) > 0) {
      }
    }
    if (stopRequested_.load()) break;
    // Lets a plug-in clear what woke it (a sound server plug-in reads its socket here).
    if (ready > 0 && !ownerTurn &&
        std::any_of(pollFds_.begin(), pollFds_.end() - 1,
                    [](const pollfd& fd) { return fd.revents != 0; })) {
      unsigned short events = 0;
      snd_pcm_poll_descriptors_revents(pcm_, pollFds_.data(), static_cast<unsigned int>(pcmFds),
                                       &events);
    }
    bool moved = false;
    alive = direction_ == PcmDirection::kPlayback ? servicePlayback(moved) : serviceCapture(moved);
    const auto now = std::chrono::steady_clock::now();
    // A running device that moves no frame for a while has gone: a stopped sound server, an
    // unplugged interface whose driver keeps quiet.
    if (moved || snd_pcm_state(pcm_) != SND_PCM_STATE_RUNNING)
      lastMove = now;
    else if (now - lastMove > stallLimit_)
      alive = false;
  }
  lost_.store(!alive);
  snd_pcm_drop(pcm_);
  pumpEnded_.store(true);
  notifyStop();
}

bool PcmLoopBuffer::servicePlayback(bool& moved) {
  snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_);
  if (avail < 0) return recover(static_cast<int>(avail));
  const auto free =
      std::min<snd_pcm_uframes_t>(static_cast<snd_pcm_uframes_t>(avail), deviceFrames_);
  uint64_t queued = deviceFrames_ - free;
  const uint64_t played = transferred_ > queued ? transferred_ - queued : 0;
  while (notified_ + halfFrames_ <= played) {
    const auto half = static_cast<uint32_t>((notified_ / halfFrames_) & 1);
    halves_[half].store(kFree);
    notifyHalf(half);
    notified_ += halfFrames_;
    moved = true;
  }

  while (avail > 0 && halves_[pumpHalf_].load() == kFilled) {
    const auto frames =
        std::min<snd_pcm_uframes_t>(static_cast<snd_pcm_uframes_t>(avail), halfFrames_ - pumpPos_);
    const uint8_t* from =
        buffer_.get() + (pumpHalf_ * halfFrames_ + pumpPos_) * static_cast<size_t>(kFrameBytes);
    const snd_pcm_sframes_t written = snd_pcm_writei(pcm_, from, frames);
    if (written == -EAGAIN) break;
    if (written < 0) return recover(static_cast<int>(written));
    transferred_ += static_cast<uint64_t>(written);
    queued += static_cast<uint64_t>(written);
    pumpPos_ += static_cast<snd_pcm_uframes_t>(written);
    avail -= written;
    if (pumpPos_ == halfFrames_) {
      halves_[pumpHalf_].store(kQueued);
      pumpHalf_ ^= 1;
      pumpPos_ = 0;
    }
  }
  // Started, and started again after an underrun, once both halves wait in the device.
  if (snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED && queued >= 2 * halfFrames_ &&
      snd_pcm_start(pcm_) < 0) {
    return false;
  }
  return true;
}

bool PcmLoopBuffer::serviceCapture(bool& moved) {
  snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_);
  if (avail < 0) return recover(static_cast<int>(avail));
  while (avail > 0) {
    const auto frames =
        std::min<snd_pcm_uframes_t>(static_cast<snd_pcm_uframes_t>(avail), halfFrames_ - pumpPos_);
    uint8_t* to =
        buffer_.get() + (pumpHalf_ * halfFrames_ + pumpPos_) * static_cast<size_t>(kFrameBytes);
    const snd_pcm_sframes_t read = snd_pcm_readi(pcm_, to, frames);
    if (read == -EAGAIN) break;
    if (read < 0) return recover(static_cast<int>(read));
    transferred_ += static_cast<uint64_t>(read);
    pumpPos_ += static_cast<snd_pcm_uframes_t>(read);
    avail -= read;
    moved = moved || read > 0;
    if (pumpPos_ == halfFrames_) {
      notifyHalf(pumpHalf_);
      pumpHalf_ ^= 1;
      pumpPos_ = 0;
    }
  }
  return true;
}

// Under- and overruns are prepared away (a resume is tried once after a suspend, never waited
// for); any other error means the device is gone.
bool PcmLoopBuffer::recover(int error) {
  if (error == -EAGAIN || error == -EINTR) return true;
  if (error != -EPIPE && error != -ESTRPIPE) return false;
  if (!(error == -ESTRPIPE && snd_pcm_resume(pcm_) == 0) && snd_pcm_prepare(pcm_) < 0) return false;
  xruns_.fetch_add(1, std::memory_order_relaxed);
  return direction_ == PcmDirection::kPlayback || snd_pcm_start(pcm_) >= 0;
}

void PcmLoopBuffer::notifyHalf(uint32_t half) {
  const uint32_t halfBytes = bufferBytes_ / 2;
  for (int i = 0; i < notificationCount_; ++i) {
    const Notification& n = notifications_[i];
    if (n.offset != kOffsetStop && n.offset / halfBytes == half) n.events->signal(n.index);
  }
}

void PcmLoopBuffer::notifyStop() {
  for (int i = 0; i < notificationCount_; ++i) {
    const Notification& n = notifications_[i];
    if (n.offset == kOffsetStop) n.events->signal(n.index);
  }
}

void PcmLoopBuffer::wake() {
  const uint64_t one = 1;
  if (wakeFd_ >= 0) (void)!write(wakeFd_, &one, sizeof one);
}

}  // namespace platform
