#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host/mp_audio.h"
#include "host/mp_audio_driver.h"

namespace hosttest {

// A back end without a device: named device lists, a block the test runs by hand (or a thread
// that runs a number of blocks), and the device-side buffers open to the test.
class FakeAudioDriver : public host::MPAudioDriver {
 public:
  ~FakeAudioDriver() override { close(); }

  // Fills the device-side input buffers, runs one block and returns the output buffers.
  void runBlockWith(const std::vector<std::vector<float>>& deviceInputs) {
    for (size_t k = 0; k < inputChannels().size() && k < deviceInputs.size(); ++k)
      std::copy(deviceInputs[k].begin(), deviceInputs[k].end(), inputChannels()[k].buffer);
    runBlock();
  }
  void block() { runBlock(); }
  std::vector<float> deviceOutput(size_t k) const {
    const float* b = outputChannels()[k].buffer;
    return {b, b + bufferSize()};
  }

  std::vector<std::string> inputNames = {"Capture A", "Capture B"};
  std::vector<std::string> outputNames = {"Playback A", "Playback B"};
  bool openSucceeds = true;
  int32_t deviceBufferSize = -1;  // >= 0: the size the device insists on
  int32_t threadBlocks = 0;       // > 0: start() runs this many blocks on a thread of its own
  int enumerations = 0;
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
    if (threadBlocks > 0) {
      thread_ = std::thread([this] {
        for (int32_t i = 0; i < threadBlocks; ++i)
          runBlock();
      });
    }
    return true;
  }
  void stopStreaming() override {
    if (thread_.joinable()) thread_.join();
    if (log) log->push_back("stop");
  }
  void enumerate() override {
    ++enumerations;
    const auto fill = [](host::AudioDeviceList& list, const std::vector<std::string>& names) {
      list.clear();
      for (const std::string& n : names)
        list.push_back({n, n});
    };
    fill(inputDevices_, inputNames);
    fill(outputDevices_, outputNames);
  }

 private:
  int32_t bufferSize() const { return bufferSize_; }
  std::thread thread_;
};

// Makes a technology's row ("DirectX" unless told) create a FakeAudioDriver while alive;
// `last()` is the newest one.
class FakeTechnology {
 public:
  explicit FakeTechnology(int32_t index = 0) : index_(index) {
    previous_ = host::MPAudio::setDriverFactory(index, &make);
  }
  ~FakeTechnology() { host::MPAudio::setDriverFactory(index_, previous_); }
  FakeTechnology(const FakeTechnology&) = delete;
  FakeTechnology& operator=(const FakeTechnology&) = delete;

  static FakeAudioDriver* last() { return last_; }

 private:
  static std::unique_ptr<host::MPAudioDriver> make() {
    auto driver = std::make_unique<FakeAudioDriver>();
    last_ = driver.get();
    return driver;
  }

  inline static FakeAudioDriver* last_ = nullptr;
  int32_t index_;
  host::MPAudio::DriverFactory previous_ = nullptr;
};

}  // namespace hosttest
