// MIDI: the parser, the host's devices over a fake MIDI system, JACK MIDI on the test's server.
#include <gtest/gtest.h>
#include <jack/jack.h>

#include <array>
#include <chrono>
#include <csignal>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/audio_device_config.h"
#include "host/eva_host_audio.h"
#include "host/eva_mp_midi.h"
#include "host/mp_midi_win_multimedia.h"
#include "live/child_process.h"
#include "platform/midi_backend.h"
#include "platform/midi_jack.h"
#include "platform/midi_parser.h"
#include "plugin/eva_processor.h"
#include "plugin/midi_handler.h"
#include "support/eventually.h"
#include "support/jack/jack_fixture.h"

namespace {

using namespace std::chrono_literals;

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

 private:
  mutable std::mutex mutex_;
  std::vector<Bytes> messages_;
};

// A MIDI system without a device: named ports, an input played by hand; "Broken" does not open.
struct FakeMidi {
  std::vector<std::string> inputs = {"Pedal A", "Pedal B"};
  std::string openedInput, openedOutput;  // empty while none is open
  platform::MidiInputCallback callback = nullptr;
  void* instance = nullptr;
  bool started = false;

  void play(uint32_t shortMessage) const {
    if (started) callback(instance, shortMessage);
  }
  std::vector<std::unique_ptr<platform::MidiBackend>> backends() {
    std::vector<std::unique_ptr<platform::MidiBackend>> list;
    list.push_back(std::make_unique<Backend>(*this));
    return list;
  }

  struct Port : platform::MidiInput, platform::MidiOutput {
    Port(FakeMidi& m, bool input) : midi(m), isInput(input) {}
    ~Port() override {
      (isInput ? midi.openedInput : midi.openedOutput).clear();
      midi.started = midi.started && !isInput;
    }
    bool start() override { return midi.started = true; }
    void stop() override { midi.started = false; }
    bool sendShort(uint32_t) override { return true; }
    bool sendLong(const uint8_t*, size_t) override { return true; }
    FakeMidi& midi;
    bool isInput;
  };
  struct Backend : platform::MidiBackend {
    explicit Backend(FakeMidi& m) : midi(m) {}
    std::vector<platform::MidiPortInfo> listPorts(bool isInput) override {
      std::vector<platform::MidiPortInfo> ports;
      for (const std::string& name : isInput ? midi.inputs : std::vector<std::string>{"Synth"})
        ports.push_back({name, name == "Broken" ? "broken" : "fake:" + name});
      return ports;
    }
    std::unique_ptr<platform::MidiInput> openInput(const std::string& id,
                                                   platform::MidiInputCallback callback,
                                                   void* instance) override {
      if (id == "broken") return nullptr;
      midi.openedInput = id;
      midi.callback = callback;
      midi.instance = instance;
      return std::make_unique<Port>(midi, true);
    }
    std::unique_ptr<platform::MidiOutput> openOutput(const std::string& id) override {
      midi.openedOutput = id;
      return std::make_unique<Port>(midi, false);
    }
    FakeMidi& midi;
  };
};

// The output opens first; an input that then fails closes it again. While open, two- and
// three-byte records reach the handler, status first.
TEST(MidiDevice, DeviceChoiceAndMessagesToTheHandler) {
  plugin::evaProcessor processor;
  host::evaHostAudio audio(processor, "");
  RecordingHandler handler;
  const struct {
    const char* name;
    std::vector<std::string> inputs;
    std::string opened;  // empty: the open fails
  } cases[] = {
      {"Pedal B", {"Pedal A", "Pedal B"}, "fake:Pedal B"},
      {"Default", {"Pedal A", "Pedal B"}, "fake:Pedal A"},  // not a device: the first
      {"Default", {}, ""},
      {"Broken", {"Broken", "Pedal A"}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeMidi fake;
    fake.inputs = c.inputs;
    host::evaMPMidi midi(&audio, fake.backends());
    const bool opens = !c.opened.empty();
    EXPECT_EQ(midi.openByNames(c.name, "Synth"), opens);
    EXPECT_EQ(fake.openedInput, c.opened);
    EXPECT_EQ(fake.openedOutput, opens ? "fake:Synth" : "");
  }

  FakeMidi fake;
  host::evaMPMidi midi(&audio, fake.backends());
  ASSERT_TRUE(midi.open(7, host::kNoDevice));
  EXPECT_EQ(fake.openedInput, "fake:Pedal A") << "an index past the list: the first";
  EXPECT_FALSE(midi.open(1, host::kNoDevice)) << "already open";
  fake.play(0x6407B2);
  EXPECT_EQ(handler.messages().size(), 0u) << "no handler set: dropped";
  audio.setMidiHandler(&handler);
  for (uint32_t packed : {0x6407B2, 0x0000F8, 0x0005C0})  // control change, clock, program
    fake.play(packed);
  const uint8_t twoBytes[] = {2, 0xC0, 0x09, 0x55};  // the count rules, not the third byte
  midi.received(twoBytes);
  const std::vector<Bytes> expected = {
      {0xB2, 0x07, 0x64}, {0xF8, 0x00, 0x00}, {0xC0, 0x05, 0x00}, {0xC0, 0x09, 0x00}};
  EXPECT_EQ(handler.messages(), expected);
  midi.close();
  EXPECT_EQ(fake.openedInput, "");
  fake.play(0x6407B2);
  EXPECT_EQ(handler.messages().size(), expected.size()) << "closed";
}

TEST(MidiParser, CutsAByteStreamIntoShortMessages) {
  const struct {
    const char* what;
    std::vector<uint8_t> stream;
    std::vector<uint32_t> messages;
  } cases[] = {
      {"running status", {0x90, 0x3C, 0x64, 0x3E, 0x50, 0xC0, 0x05}, {0x643C90, 0x503E90, 0x05C0}},
      {"system exclusive skipped", {0xF0, 0x7D, 0x01, 0xF7, 0x01, 0xC1, 0x02}, {0x02C1}},
      {"data without a status", {0x05, 0x06}, {}},
      {"system common ends running status", {0x90, 0x3C, 0x64, 0xF6, 0x3E, 0x50}, {0x643C90, 0xF6}},
      {"a status breaks off a message", {0xB0, 0x07, 0x90, 0x3C, 0x64}, {0x643C90}},
  };
  for (const auto& c : cases) {
    platform::MidiParser parser;
    std::vector<uint32_t> messages;
    for (uint8_t byte : c.stream) {
      uint32_t message = 0;
      if (parser.feed(byte, message)) messages.push_back(message);
    }
    EXPECT_EQ(messages, c.messages) << c.what;
  }
}

constexpr auto kLimit = 10s;

const std::string kAmpInput =
    std::string(platform::MidiJack::kInputClientName) + ":" + platform::MidiJack::kInputPortName;
const std::string kAmpOutput =
    std::string(platform::MidiJack::kOutputClientName) + ":" + platform::MidiJack::kOutputPortName;

// Runs a JACK example program on the test's server until it exits, or to the end of the test.
std::unique_ptr<livetest::ChildProcess> runJackTool(const std::vector<std::string>& arguments) {
  return std::make_unique<livetest::ChildProcess>(arguments, std::vector<std::string>{},
                                                  "/dev/null", "/dev/null");
}
bool connect(const std::string& from, const std::string& to) {
  return runJackTool({"/usr/bin/jack_connect", from, to})->waitExit(kLimit) == 0;
}

class JackMidi : public testsupport::JackServerTest {
 protected:
  // A host without audio that opens "JACK MIDI" and hands its messages to `handler_`.
  void startHost() {
    audio_.settings().curMidiInName = platform::MidiJack::kDeviceName;
    audio_.create();
    audio_.setMidiHandler(&handler_);
    audio_.start();
    ASSERT_TRUE(audio_.midi()->isOpen());
  }

  plugin::evaProcessor processor_;
  host::evaHostAudio audio_{processor_, ""};
  RecordingHandler handler_;
};

// The amp's output into its input, parsed; a stop takes the port along; close survives the server.
TEST_F(JackMidi, TheOutputReachesTheHostsInputAndClosingSurvivesTheServer) {
  startHost();
  host::MPMidiWinMultimedia out;
  out.enumerateDevices(false);
  ASSERT_TRUE(out.openByNames(nullptr, platform::MidiJack::kDeviceName));
  ASSERT_TRUE(connect(kAmpOutput, kAmpInput));
  const std::vector<std::vector<uint8_t>> sent = {
      {3, 0xB2, 0x07, 0x64},              // volume on channel 3
      {2, 0xC0, 0x05},                    // program change
      {5, 0x90, 0x3C, 0x64, 0x3E, 0x50},  // a note on and another by running status
      {4, 0xB1, 0x0B, 0xFA, 0x20},        // a start byte inside a control change
  };
  for (const auto& message : sent)
    EXPECT_TRUE(out.send(message.data()));
  const uint8_t noStatus[] = {3, 0x01, 0x02, 0x03};
  EXPECT_FALSE(out.send(noStatus));
  const std::vector<Bytes> expected = {{0xB2, 0x07, 0x64}, {0xC0, 0x05, 0x00}, {0x90, 0x3C, 0x64},
                                       {0x90, 0x3E, 0x50}, {0xFA, 0x00, 0x00}, {0xB1, 0x0B, 0x20}};
  ASSERT_TRUE(
      testsupport::eventually([&] { return handler_.messages().size() >= expected.size(); }));
  EXPECT_EQ(handler_.messages(), expected);

  audio_.stop();
  EXPECT_FALSE(connect(kAmpOutput, kAmpInput)) << "the port goes with the input";
  audio_.start();
  server_->kill();
  host::MPMidiWinMultimedia other;
  other.enumerateDevices(false);
  const host::MidiDeviceList& inputs = other.getInputDevices();
  EXPECT_TRUE(std::none_of(inputs.begin(), inputs.end(), [](const host::MidiDeviceRecord& d) {
    return d.name == platform::MidiJack::kDeviceName;
  })) << "no JACK MIDI without its server";
  // A client opened on a new server elsewhere in the process (as the audio driver does) makes
  // libjack delete those left from the old one: closing ours must not touch them again.
  server_.reset();
  server_ = std::make_unique<testsupport::JackServer>();
  ASSERT_TRUE(server_->running()) << server_->error();
  jack_client_t* elsewhere = jack_client_open("valvo-elsewhere", JackNoStartServer, nullptr);
  ASSERT_NE(elsewhere, nullptr);
  jack_client_close(elsewhere);
  other.enumerateDevices(true);
  EXPECT_TRUE(std::any_of(inputs.begin(), inputs.end(), [](const host::MidiDeviceRecord& d) {
    return d.name == platform::MidiJack::kDeviceName;
  })) << "JACK MIDI back with a server";
  auto closed = std::async(std::launch::async, [&] {
    audio_.stop();
    out.close();
  });
  ASSERT_EQ(closed.wait_for(kLimit), std::future_status::ready) << "close hangs";
}

// Handler swaps, stops and starts while messages arrive; a new input reconnects. The sequencer
// is a process of its own: ThreadSanitizer cannot see libjack's hand-over between two clients.
TEST_F(JackMidi, Concurrency) {
  const std::string sequencerTool = "/usr/bin/jack_midiseq";
  if (access(sequencerTool.c_str(), X_OK) != 0) GTEST_SKIP() << "no " << sequencerTool;
  startHost();
  // Middle C, on for 25 ms of every 50 ms.
  const auto sequencer = runJackTool({sequencerTool, "valvo-seq", "2400", "0", "60", "1200"});
  ASSERT_TRUE(testsupport::eventually([&] { return connect("valvo-seq:out", kAmpInput); }));
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
  const size_t before = handler_.messages().size();
  ASSERT_TRUE(testsupport::eventually([&] { return handler_.messages().size() > before + 2; }))
      << "reconnected";
  audio_.stop();
  sequencer->signal(SIGTERM);
  EXPECT_TRUE(sequencer->waitExit(kLimit));
  for (const RecordingHandler* h : {&handler_, &other}) {
    for (const Bytes& message : h->messages())
      EXPECT_TRUE(message == Bytes({0x90, 60, 64}) || message == Bytes({0x80, 60, 64}));
  }
}

}  // namespace
