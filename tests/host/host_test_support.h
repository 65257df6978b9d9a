// Shared by the host tests: a fake audio back end and waiting.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host/mp_audio.h"
#include "host/mp_audio_driver.h"

namespace hosttest {

// Polls until `done` holds; the bound only keeps a broken run from hanging.
template <typename Condition>
bool eventually(Condition done, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// A back end without a device: "Capture A/B", "Playback A/B", blocks run by hand or a thread.
class FakeAudioDriver : public host::MPAudioDriver {
 public:
  ~FakeAudioDriver() override { close(); }

  void runBlockWith(const std::vector<std::vector<float>>& deviceInputs) {
    for (size_t k = 0; k < inputChannels().size() && k < deviceInputs.size(); ++k)
      std::copy(deviceInputs[k].begin(), deviceInputs[k].end(), inputChannels()[k].buffer);
    runBlock();
  }
  void block() { runBlock(); }
  std::vector<float> deviceOutput(size_t k) const {
    const float* b = outputChannels()[k].buffer;
    return {b, b + getBufferSize()};
  }

  bool openSucceeds = true;
  int32_t deviceBufferSize = -1;  // >= 0: the size the device insists on
  int32_t threadBlocks = 0;       // run by start() on a thread of its own
  int openings = 0;
  std::vector<std::string>* log = nullptr;  // "stop" and "close", outliving the driver

 protected:
  bool openDevices() override {
    ++openings;
    if (deviceBufferSize >= 0) bufferSize_ = deviceBufferSize;
    return openSucceeds;
  }
  void closeDevices() override {
    if (log) log->push_back("close");
  }
  bool startStreaming() override {
    thread_ = std::thread([this] {
      for (int32_t i = 0; i < threadBlocks; ++i)
        runBlock();
    });
    return true;
  }
  void stopStreaming() override {
    if (thread_.joinable()) thread_.join();
    if (log) log->push_back("stop");
  }
  void enumerate() override {
    inputDevices_ = {{"Capture A", "Capture A"}, {"Capture B", "Capture B"}};
    outputDevices_ = {{"Playback A", "Playback A"}, {"Playback B", "Playback B"}};
  }

 private:
  std::thread thread_;
};

// Makes a technology ("DirectX" unless told) create FakeAudioDrivers while alive.
class FakeTechnology {
 public:
  explicit FakeTechnology(int32_t index = 0)
      : index_(index), previous_(host::MPAudio::setDriverFactory(index, &make)) {}
  ~FakeTechnology() { host::MPAudio::setDriverFactory(index_, previous_); }

  static FakeAudioDriver* last() { return last_; }

 private:
  static std::unique_ptr<host::MPAudioDriver> make() {
    auto driver = std::make_unique<FakeAudioDriver>();
    last_ = driver.get();
    return driver;
  }

  inline static FakeAudioDriver* last_ = nullptr;
  int32_t index_;
  host::MPAudio::DriverFactory previous_;
};

}  // namespace hosttest
