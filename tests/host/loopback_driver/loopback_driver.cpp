// A driver for tests, "Loopback": its own thread calls the buffer switch of its 24-bit buffers
// at the sample rate's pace. Read at init from the environment:
//   LOOPBACK_PREFERRED_SIZE  the driver's buffer size (default 256)
//   LOOPBACK_RATE            the one sample rate accepted (default 44100 and 48000)
//   LOOPBACK_RESET_AFTER     send a reset request after this many switches (default never)
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/asio_driver.h"

namespace {

using namespace platform;

constexpr AsioClassId kLoopbackClass = {
    0x4C6F6F70, 0x6261, 0x636B, {0x00, 0x00, 0x56, 0x61, 0x6C, 0x76, 0x6F, 0x72}};
constexpr int32_t kChannels = 2;
constexpr size_t kSampleBytes = 3;

int32_t environmentNumber(const char* name, int32_t fallback) {
  const char* text = std::getenv(name);
  return text && *text ? static_cast<int32_t>(std::atol(text)) : fallback;
}

class LoopbackDriver final : public AsioDriver {
 public:
  void release() override {
    stop();
    delete this;
  }

  bool init(void*) override {
    size_ = environmentNumber("LOOPBACK_PREFERRED_SIZE", 256);
    resetAfter_ = environmentNumber("LOOPBACK_RESET_AFTER", 0);
    onlyRate_ = environmentNumber("LOOPBACK_RATE", 0);
    return true;
  }
  void getDriverName(char* name) override { std::snprintf(name, 32, "Loopback"); }
  int32_t getDriverVersion() override { return 1; }
  void getErrorMessage(char* text) override { text[0] = '\0'; }

  AsioResult start() override {
    if (!callbacks_ || running_) return kAsioInvalidMode;
    running_ = true;
    thread_ = std::thread([this] { run(); });
    return kAsioOk;
  }
  AsioResult stop() override {
    running_ = false;
    if (thread_.joinable()) thread_.join();
    return kAsioOk;
  }

  AsioResult getChannels(int32_t* inputs, int32_t* outputs) override {
    *inputs = *outputs = kChannels;
    return kAsioOk;
  }
  AsioResult getLatencies(int32_t* input, int32_t* output) override {
    *input = *output = size_;
    return kAsioOk;
  }
  AsioResult getBufferSize(int32_t* minimum, int32_t* maximum, int32_t* preferred,
                           int32_t* granularity) override {
    *minimum = *maximum = *preferred = size_;
    *granularity = 0;
    return kAsioOk;
  }
  AsioResult canSampleRate(double rate) override {
    const bool accepted = onlyRate_ ? rate == onlyRate_ : (rate == 44100.0 || rate == 48000.0);
    return accepted ? kAsioOk : kAsioNoClock;
  }
  AsioResult getSampleRate(double* rate) override {
    *rate = rate_;
    return kAsioOk;
  }
  AsioResult setSampleRate(double rate) override {
    if (canSampleRate(rate) != kAsioOk) return kAsioNoClock;
    rate_ = rate;
    return kAsioOk;
  }
  AsioResult getChannelInfo(AsioChannelInfo* info) override {
    if (info->channel < 0 || info->channel >= kChannels) return kAsioInvalidParameter;
    info->isActive = callbacks_ != nullptr;
    info->channelGroup = 0;
    info->type = kInt24Lsb;
    std::snprintf(info->name, sizeof info->name, "Loop %s %d", info->isInput ? "In" : "Out",
                  info->channel + 1);
    return kAsioOk;
  }

  AsioResult createBuffers(AsioBufferInfo* infos, int32_t count, int32_t size,
                           const AsioCallbacks* callbacks) override {
    if (callbacks_ || size != size_ || count < 0 || !callbacks) return kAsioInvalidMode;
    const size_t bytes = static_cast<size_t>(size) * kSampleBytes;
    storage_.assign(static_cast<size_t>(count), std::vector<uint8_t>(2 * bytes));
    for (int32_t i = 0; i < count; ++i) {
      if (infos[i].channelNumber < 0 || infos[i].channelNumber >= kChannels) {
        storage_.clear();
        return kAsioInvalidParameter;
      }
      infos[i].buffers[0] = storage_[static_cast<size_t>(i)].data();
      infos[i].buffers[1] = storage_[static_cast<size_t>(i)].data() + bytes;
    }
    callbacks_ = callbacks;
    return kAsioOk;
  }
  AsioResult disposeBuffers() override {
    stop();
    callbacks_ = nullptr;
    storage_.clear();
    return kAsioOk;
  }
  AsioResult controlPanel() override { return kAsioOk; }
  AsioResult outputReady() override { return kAsioOk; }

 private:
  void run() {
    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::nanoseconds(static_cast<int64_t>(1e9 * size_ / rate_));
    // The host's answers decide which switch callback is used and whether to request a reset.
    const bool timeInfo = callbacks_->message(kSupportsTimeInfo, 0, nullptr, nullptr) == 1;
    const bool canReset =
        callbacks_->message(kSelectorSupported, kResetRequest, nullptr, nullptr) == 1;
    auto next = Clock::now();
    int32_t half = 0;
    for (int64_t count = 1; running_; ++count) {
      next += period;
      std::this_thread::sleep_until(next);
      if (Clock::now() > next + period) next = Clock::now();  // fell behind: no burst
      // With time info both switch callbacks take turns.
      if (timeInfo && count % 2 == 0)
        callbacks_->bufferSwitchTimeInfo(nullptr, half, 1);
      else
        callbacks_->bufferSwitch(half, 1);
      if (canReset && count == resetAfter_) callbacks_->message(kResetRequest, 0, nullptr, nullptr);
      half = 1 - half;
    }
  }

  int32_t size_ = 256, resetAfter_ = 0, onlyRate_ = 0;
  double rate_ = 44100.0;
  const AsioCallbacks* callbacks_ = nullptr;
  std::vector<std::vector<uint8_t>> storage_;
  std::atomic<bool> running_{false};
  std::thread thread_;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) AsioDriver* valvoramaCreateAsioDriver(
    const AsioClassId* classId) {
  const bool ours = classId && std::memcmp(classId, &kLoopbackClass, sizeof kLoopbackClass) == 0;
  return ours ? new LoopbackDriver : nullptr;
}
