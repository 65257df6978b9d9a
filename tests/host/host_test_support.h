// Shared by the host tests: fake drivers, a private ASIO registry, fake MIDI and waiting.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/mp_audio.h"
#include "host/mp_audio_driver.h"
#include "platform/midi_backend.h"
#include "plugin/midi_handler.h"

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

// A back end without a device: devices "Capture A/B" and "Playback A/B", blocks the test runs by
// hand (or a thread that runs `threadBlocks`), and the device-side buffers open to the test.
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
    ++enumerations;
    inputDevices_ = {{"Capture A", "Capture A"}, {"Capture B", "Capture B"}};
    outputDevices_ = {{"Playback A", "Playback A"}, {"Playback B", "Playback B"}};
  }

 private:
  std::thread thread_;
};

// Makes a technology's row ("DirectX" unless told) create a FakeAudioDriver while alive;
// `last()` is the newest one.
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

// A registry file of its own for one test, in a fresh folder removed at the end, and the only
// one the driver list reads while the object lives.
class AsioTestRegistry {
 public:
  static constexpr const char* kLoopbackClass = "{4C6F6F70-6261-636B-0000-56616C766F72}";

  AsioTestRegistry() {
    std::string pattern = (std::filesystem::temp_directory_path() / "valvo-asio-XXXXXX").string();
    folder_ = ::mkdtemp(pattern.data()) ? pattern : "";
    file_ = folder_ + "/drivers.reg";
    std::ofstream(file_, std::ios::trunc);
    ::setenv("VALVORAMA_DRIVER_REGISTRY", file_.c_str(), 1);
  }
  ~AsioTestRegistry() {
    ::unsetenv("VALVORAMA_DRIVER_REGISTRY");
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  // A driver under "software\asio\<key>" whose class names `library`.
  void addDriver(const std::string& key, const std::string& description,
                 const std::string& library = LOOPBACK_DRIVER_PATH,
                 const std::string& clsid = kLoopbackClass) {
    std::ofstream out(file_, std::ios::app);
    out << "[software\\asio\\" << key << "]\n";
    if (!description.empty()) out << "description = " << description << "\n";
    out << "clsid = " << clsid << "\n[clsid\\" << clsid << "\\InprocServer32]\n@ = " << library
        << "\n";
  }
  std::string path(const std::string& name) const { return folder_ + "/" + name; }

 private:
  std::string folder_;
  std::string file_;
};

using Bytes = std::array<uint8_t, 3>;

// Keeps what the host hands over, in order; read while MIDI runs.
class RecordingHandler : public plugin::MidiHandler {
 public:
  void onMidiMessage(const uint8_t bytes[3]) override {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back({bytes[0], bytes[1], bytes[2]});
  }
  std::vector<Bytes> messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }
  size_t count() const { return messages().size(); }

 private:
  mutable std::mutex mutex_;
  std::vector<Bytes> messages_;
};

}  // namespace hosttest
