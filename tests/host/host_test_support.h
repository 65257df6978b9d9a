// Shared by the host tests: fake drivers, a private ASIO registry, fake MIDI and waiting.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <array>
#include <atomic>
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

// A MIDI system without a device: named ports, an input the test plays into by hand, an output
// that keeps what it is sent. Ports whose id is "broken" do not open.
class FakeMidiBackend : public platform::MidiBackend {
 public:
  struct State {
    std::vector<std::string> inputs;
    std::vector<std::string> outputs;
    std::string openedInput;  // empty while none is open
    std::string openedOutput;
    platform::MidiInputCallback callback = nullptr;
    void* instance = nullptr;
    bool started = false;
    std::vector<std::vector<uint8_t>> sent;  // short messages as their three packed bytes

    // The input's back end thread, played by the test.
    void play(uint32_t shortMessage) const {
      if (started) callback(instance, shortMessage);
    }
  };

  explicit FakeMidiBackend(std::shared_ptr<State> state) : state_(std::move(state)) {}

  std::vector<platform::MidiPortInfo> listPorts(bool isInput) override {
    std::vector<platform::MidiPortInfo> ports;
    for (const std::string& name : isInput ? state_->inputs : state_->outputs)
      ports.push_back({name, name == "Broken" ? "broken" : "fake:" + name});
    return ports;
  }
  std::unique_ptr<platform::MidiInput> openInput(const std::string& id,
                                                 platform::MidiInputCallback callback,
                                                 void* instance) override {
    if (id == "broken") return nullptr;
    state_->openedInput = id;
    state_->callback = callback;
    state_->instance = instance;
    return std::make_unique<Input>(state_);
  }
  std::unique_ptr<platform::MidiOutput> openOutput(const std::string& id) override {
    if (id == "broken") return nullptr;
    state_->openedOutput = id;
    return std::make_unique<Output>(state_);
  }

  // A MIDI system of one fake back end.
  static std::vector<std::unique_ptr<platform::MidiBackend>> only(std::shared_ptr<State> state) {
    std::vector<std::unique_ptr<platform::MidiBackend>> backends;
    backends.push_back(std::make_unique<FakeMidiBackend>(std::move(state)));
    return backends;
  }

 private:
  struct Input : platform::MidiInput {
    explicit Input(std::shared_ptr<State> s) : state(std::move(s)) {}
    ~Input() override {
      state->openedInput.clear();
      state->started = false;
    }
    bool start() override { return state->started = true; }
    void stop() override { state->started = false; }
    std::shared_ptr<State> state;
  };
  struct Output : platform::MidiOutput {
    explicit Output(std::shared_ptr<State> s) : state(std::move(s)) {}
    ~Output() override { state->openedOutput.clear(); }
    bool sendShort(uint32_t m) override {
      state->sent.push_back({uint8_t(m), uint8_t(m >> 8), uint8_t(m >> 16)});
      return true;
    }
    bool sendLong(const uint8_t* bytes, size_t count) override {
      state->sent.emplace_back(bytes, bytes + count);
      return true;
    }
    std::shared_ptr<State> state;
  };

  std::shared_ptr<State> state_;
};

}  // namespace hosttest
