#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host/eva_host_audio.h"
#include "host/mp_midi_win_multimedia.h"
#include "host_test_support.h"
#include "live/child_process.h"
#include "platform/midi_jack.h"
#include "plugin/eva_processor.h"
#include "support/jack/jack_fixture.h"

namespace {

using namespace std::chrono_literals;
using hosttest::Bytes;
using hosttest::RecordingHandler;
using Event = std::vector<uint8_t>;

constexpr auto kLimit = 10s;

const std::string kAmpInput =
    std::string(platform::MidiJack::kInputClientName) + ":" + platform::MidiJack::kInputPortName;
const std::string kAmpOutput =
    std::string(platform::MidiJack::kOutputClientName) + ":" + platform::MidiJack::kOutputPortName;

// A controller on the test's server: a MIDI output that plays the events it is given in one
// cycle (or a control change every cycle while streaming), and a MIDI input that keeps what
// arrives. The process callback touches only what was there before it was told to.
class MidiTestClient {
 public:
  MidiTestClient() {
    jack_status_t status{};
    client_ = jack_client_open("midi-test", JackNoStartServer, &status);
    if (client_ == nullptr) return;
    out_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    in_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    if (!out_ || !in_ || jack_set_process_callback(client_, &onProcess, this) != 0 ||
        jack_activate(client_) != 0) {
      jack_client_close(client_);
      client_ = nullptr;
    }
  }
  ~MidiTestClient() {
    if (client_) jack_client_close(client_);
  }

  bool ok() const { return client_ != nullptr; }
  bool connect(const std::string& from, const std::string& to) {
    return jack_connect(client_, from.c_str(), to.c_str()) == 0;
  }
  std::string outName() const { return jack_port_name(out_); }
  std::string inName() const { return jack_port_name(in_); }
  bool hasPort(const std::string& name) const {
    return jack_port_by_name(client_, name.c_str()) != nullptr;
  }

  bool play(std::vector<Event> events) {
    pending_ = std::move(events);
    playing_.store(true, std::memory_order_release);
    return hosttest::eventually([this] { return !playing_.load(std::memory_order_acquire); });
  }
  void stream(bool on) { streaming_.store(on, std::memory_order_relaxed); }

  std::vector<Event> received() const {
    const size_t count = receivedCount_.load(std::memory_order_acquire);
    std::vector<Event> events;
    for (size_t i = 0; i < count; ++i)
      events.emplace_back(received_[i].bytes.begin(),
                          received_[i].bytes.begin() + received_[i].size);
    return events;
  }

 private:
  struct Slot {
    std::array<uint8_t, 16> bytes{};
    size_t size = 0;
  };

  static int onProcess(jack_nframes_t frames, void* self) {
    auto* client = static_cast<MidiTestClient*>(self);
    void* out = jack_port_get_buffer(client->out_, frames);
    jack_midi_clear_buffer(out);
    if (client->playing_.load(std::memory_order_acquire)) {
      for (const Event& event : client->pending_)
        jack_midi_event_write(out, 0, event.data(), event.size());
      client->playing_.store(false, std::memory_order_release);
    }
    if (client->streaming_.load(std::memory_order_relaxed)) {
      const uint8_t cc[] = {0xB0, 0x07, static_cast<uint8_t>(client->streamed_++ & 0x7F)};
      jack_midi_event_write(out, 0, cc, sizeof cc);
    }
    void* in = jack_port_get_buffer(client->in_, frames);
    size_t count = client->receivedCount_.load(std::memory_order_relaxed);
    for (uint32_t e = 0; e < jack_midi_get_event_count(in) && count < client->received_.size();
         ++e) {
      jack_midi_event_t event;
      if (jack_midi_event_get(&event, in, e) != 0) continue;
      Slot& slot = client->received_[count++];
      slot.size = std::min(event.size, slot.bytes.size());
      std::memcpy(slot.bytes.data(), event.buffer, slot.size);
    }
    client->receivedCount_.store(count, std::memory_order_release);
    return 0;
  }

  jack_client_t* client_ = nullptr;
  jack_port_t* out_ = nullptr;
  jack_port_t* in_ = nullptr;
  std::vector<Event> pending_;
  std::atomic<bool> playing_{false};
  std::atomic<bool> streaming_{false};
  uint32_t streamed_ = 0;  // JACK thread
  std::array<Slot, 64> received_{};
  std::atomic<size_t> receivedCount_{0};
};

bool listed(host::MPMidiInterface& midi, bool isInput) {
  const host::MidiDeviceList& list = isInput ? midi.getInputDevices() : midi.getOutputDevices();
  return std::any_of(list.begin(), list.end(), [](const host::MidiDeviceRecord& device) {
    return device.name == platform::MidiJack::kDeviceName;
  });
}

// Runs a JACK example program on the test's server until it exits, or to the end of the test.
std::unique_ptr<livetest::ChildProcess> runJackTool(const std::vector<std::string>& arguments) {
  return std::make_unique<livetest::ChildProcess>(arguments, std::vector<std::string>{},
                                                  "/dev/null", "/dev/null");
}

class JackMidi : public testsupport::JackServerTest {
 protected:
  void SetUp() override {
    JackServerTest::SetUp();
    controller_ = std::make_unique<MidiTestClient>();
    ASSERT_TRUE(controller_->ok());
  }
  void TearDown() override {
    controller_.reset();
    JackServerTest::TearDown();
  }

  // A host without audio that opens "JACK MIDI" and hands its messages to `handler_`.
  void startHost(bool connectController = true) {
    audio_.settings().curMidiInName = platform::MidiJack::kDeviceName;
    audio_.create();
    audio_.setMidiHandler(&handler_);
    audio_.start();
    ASSERT_TRUE(audio_.midi()->isOpen());
    if (connectController) {
      ASSERT_TRUE(controller_->connect(controller_->outName(), kAmpInput));
    }
  }

  plugin::evaProcessor processor_;
  host::evaHostAudio audio_{processor_, ""};
  RecordingHandler handler_;
  std::unique_ptr<MidiTestClient> controller_;
};

TEST_F(JackMidi, AControllerReachesTheHandlerThroughTheHost) {
  startHost();
  EXPECT_TRUE(listed(*audio_.midi(), true));
  ASSERT_TRUE(controller_->play({
      {0xB2, 0x07, 0x64},        // volume on channel 3
      {0xC0, 0x05},              // program change
      {0xF8},                    // clock
      {0x90, 0x3C, 0x64},        // note on ...
      {0x3E, 0x50},              // ... and another by running status
      {0xF0, 0x7D, 0x01, 0xF7},  // system exclusive: not for the handler
      {0xB1, 0x0B, 0xFA, 0x20},  // a start byte inside a control change
  }));
  const std::vector<Bytes> expected = {{0xB2, 0x07, 0x64}, {0xC0, 0x05, 0x00}, {0xF8, 0x00, 0x00},
                                       {0x90, 0x3C, 0x64}, {0x90, 0x3E, 0x50}, {0xFA, 0x00, 0x00},
                                       {0xB1, 0x0B, 0x20}};
  ASSERT_TRUE(hosttest::eventually([&] { return handler_.count() >= expected.size(); }));
  EXPECT_EQ(handler_.messages(), expected);

  audio_.stop();
  EXPECT_FALSE(controller_->hasPort(kAmpInput)) << "the port goes with the input";
  ASSERT_TRUE(controller_->play({{0xB2, 0x07, 0x00}}));
  EXPECT_EQ(handler_.count(), expected.size());
}

TEST_F(JackMidi, SendsShortAndLongMessagesThroughTheOutput) {
  host::MPMidiWinMultimedia midi;
  midi.enumerateDevices(false);
  EXPECT_TRUE(listed(midi, false));
  ASSERT_TRUE(midi.openByNames(nullptr, platform::MidiJack::kDeviceName));
  ASSERT_TRUE(controller_->connect(kAmpOutput, controller_->inName()));
  const uint8_t cc[] = {3, 0xB0, 0x07, 0x7F};
  const uint8_t program[] = {2, 0xC0, 0x03};
  const uint8_t sysex[] = {6, 0xF0, 0x7D, 0x01, 0x02, 0x03, 0xF7};
  const uint8_t noStatus[] = {3, 0x01, 0x02, 0x03};
  for (const uint8_t* message : {cc, program, sysex})
    EXPECT_TRUE(midi.send(message));
  EXPECT_FALSE(midi.send(noStatus));
  const std::vector<Event> expected = {
      {0xB0, 0x07, 0x7F}, {0xC0, 0x03}, {0xF0, 0x7D, 0x01, 0x02, 0x03, 0xF7}};
  ASSERT_TRUE(
      hosttest::eventually([&] { return controller_->received().size() >= expected.size(); }));
  EXPECT_EQ(controller_->received(), expected);
}

TEST_F(JackMidi, ClosingReturnsWhenTheServerDiesMidStream) {
  startHost();
  controller_->stream(true);
  ASSERT_TRUE(hosttest::eventually([&] { return handler_.count() > 8; }));
  server_->kill();
  // libjack deletes every client still open to a dead server at the next client open, so the
  // test's goes first; the amp's own stays open through a new listing.
  controller_.reset();
  host::MPMidiWinMultimedia other;
  other.enumerateDevices(false);
  EXPECT_FALSE(listed(other, true));
  auto closed = std::async(std::launch::async, [this] { audio_.stop(); });
  ASSERT_EQ(closed.wait_for(kLimit), std::future_status::ready) << "close hangs";
  EXPECT_FALSE(audio_.midi()->isOpen());
}

// The user-interface thread swaps the handler, stops and starts MIDI while messages arrive on
// the JACK thread; each new input is connected where the last one was. The sequencer runs in a
// process of its own: ThreadSanitizer cannot see how libjack hands buffers between two clients
// of one process.
TEST_F(JackMidi, Concurrency) {
  controller_.reset();
  const std::string sequencerTool = "/usr/bin/jack_midiseq";
  if (access(sequencerTool.c_str(), X_OK) != 0) GTEST_SKIP() << "no " << sequencerTool;
  startHost(false);
  // Middle C, on for 25 ms of every 50 ms.
  const auto sequencer = runJackTool({sequencerTool, "valvo-seq", "2400", "0", "60", "1200"});
  ASSERT_TRUE(hosttest::eventually([&] {
    return runJackTool({"/usr/bin/jack_connect", "valvo-seq:out", kAmpInput})->waitExit(kLimit) ==
           0;
  }));
  RecordingHandler other;
  for (int round = 0; round < 4; ++round) {
    for (int swap = 0; swap < 20; ++swap) {
      audio_.setMidiHandler(swap % 2 ? &other : nullptr);
      std::this_thread::sleep_for(1ms);
    }
    audio_.setMidiHandler(&handler_);
    audio_.stop();
    audio_.start();
    ASSERT_TRUE(audio_.midi()->isOpen());
  }
  const size_t before = handler_.count();
  ASSERT_TRUE(hosttest::eventually([&] { return handler_.count() > before + 2; })) << "reconnected";
  audio_.stop();
  sequencer->signal(SIGTERM);
  EXPECT_TRUE(sequencer->waitExit(kLimit));
  for (const RecordingHandler* h : {&handler_, &other}) {
    for (const Bytes& message : h->messages())
      EXPECT_TRUE(message == Bytes({0x90, 60, 64}) || message == Bytes({0x80, 60, 64}));
  }
}

}  // namespace
