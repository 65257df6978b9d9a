#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/midi_backend.h"
#include "plugin/midi_handler.h"

namespace miditest {

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

}  // namespace miditest
