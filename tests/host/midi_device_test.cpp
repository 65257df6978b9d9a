#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "host/audio_device_config.h"
#include "host/eva_host_audio.h"
#include "host/eva_mp_midi.h"
#include "host/mp_midi_win_multimedia.h"
#include "host_test_support.h"
#include "platform/midi_alsa_sequencer.h"
#include "platform/midi_parser.h"
#include "plugin/eva_processor.h"
#include "plugin/sample_rate.h"

namespace {

using hosttest::Bytes;
using hosttest::RecordingHandler;

// A MIDI system without a device: named ports, an input the test plays into by hand, an output
// that keeps what it is sent. The port "Broken" does not open.
class FakeMidiBackend : public platform::MidiBackend {
 public:
  struct State {
    std::vector<std::string> inputs = {"Pedal A", "Pedal B"};
    std::vector<std::string> outputs = {"Synth"};
    std::string openedInput, openedOutput;  // empty while none is open
    platform::MidiInputCallback callback = nullptr;
    void* instance = nullptr;
    bool started = false;
    std::vector<std::vector<uint8_t>> sent;

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
    return std::make_unique<Port>(state_, true);
  }
  std::unique_ptr<platform::MidiOutput> openOutput(const std::string& id) override {
    if (id == "broken") return nullptr;
    state_->openedOutput = id;
    return std::make_unique<Port>(state_, false);
  }

  static std::vector<std::unique_ptr<platform::MidiBackend>> only(std::shared_ptr<State> state) {
    std::vector<std::unique_ptr<platform::MidiBackend>> backends;
    backends.push_back(std::make_unique<FakeMidiBackend>(std::move(state)));
    return backends;
  }

 private:
  // An open input or output.
  struct Port : platform::MidiInput, platform::MidiOutput {
    Port(std::shared_ptr<State> s, bool input) : state(std::move(s)), isInput(input) {}
    ~Port() override {
      (isInput ? state->openedInput : state->openedOutput).clear();
      state->started = state->started && !isInput;
    }
    bool start() override { return state->started = true; }
    void stop() override { state->started = false; }
    bool sendShort(uint32_t m) override {
      state->sent.push_back({uint8_t(m), uint8_t(m >> 8), uint8_t(m >> 16)});
      return true;
    }
    bool sendLong(const uint8_t* bytes, size_t count) override {
      state->sent.emplace_back(bytes, bytes + count);
      return true;
    }
    std::shared_ptr<State> state;
    bool isInput;
  };

  std::shared_ptr<State> state_;
};

// The output opens first; an input that then fails closes it again, and nothing is sent.
TEST(MidiDevice, InputNamesAndIndicesChooseTheDevice) {
  const struct {
    const char* name;
    std::vector<std::string> inputs;
    std::string opened;  // empty: the open fails
  } cases[] = {
      {"Pedal B", {"Pedal A", "Pedal B"}, "fake:Pedal B"},
      {"Default", {"Pedal A", "Pedal B"}, "fake:Pedal A"},  // not a device: the first
      {"pedal b", {"Pedal A", "Pedal B"}, "fake:Pedal A"},  // names compare exactly
      {"Default", {}, ""},
      {"Broken", {"Broken", "Pedal A"}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto state = std::make_shared<FakeMidiBackend::State>();
    state->inputs = c.inputs;
    host::MPMidiWinMultimedia midi(FakeMidiBackend::only(state));
    const bool opens = !c.opened.empty();
    EXPECT_EQ(midi.openByNames(c.name, "Synth"), opens);
    EXPECT_EQ(midi.isOpen(), opens);
    EXPECT_EQ(state->openedInput, c.opened);
    EXPECT_EQ(state->openedOutput, opens ? "fake:Synth" : "");
    EXPECT_EQ(state->started, opens);
    const uint8_t cc[] = {3, 0xB2, 0x07, 0x64};
    EXPECT_EQ(midi.send(cc), opens);
    EXPECT_EQ(state->sent.size(), opens ? 1u : 0u);
  }

  auto state = std::make_shared<FakeMidiBackend::State>();
  host::MPMidiWinMultimedia midi(FakeMidiBackend::only(state));
  for (int32_t index : {host::kFirstDevice, 7}) {
    ASSERT_TRUE(midi.open(index, host::kNoDevice)) << index;
    EXPECT_EQ(state->openedInput, "fake:Pedal A") << index;
    EXPECT_FALSE(midi.open(1, host::kNoDevice)) << "already open";
    midi.close();
    EXPECT_EQ(state->openedInput, "");
  }
  EXPECT_TRUE(midi.open(host::kNoDevice, host::kNoDevice)) << "nothing to open";
  EXPECT_EQ(state->openedInput, "");
}

// The host's object: two- and three-byte records reach the handler, status first; the base
// class traces the rest of the system's way but never a clock tick.
TEST(MidiDevice, MessagesReachTheHandlerAndOnlyTheBaseTraces) {
  plugin::evaProcessor processor;
  host::evaHostAudio audio(processor, "");
  RecordingHandler handler;
  auto state = std::make_shared<FakeMidiBackend::State>();
  host::evaMPMidi midi(&audio, FakeMidiBackend::only(state));
  ASSERT_TRUE(midi.openByNames("Default", nullptr));
  const uint32_t played[] = {0x6407B2, 0x0000F8, 0x0005C0};  // control change, clock, program
  state->play(played[0]);
  EXPECT_EQ(handler.count(), 0u) << "no handler set: dropped";
  audio.setMidiHandler(&handler);
  testing::internal::CaptureStdout();
  for (uint32_t packed : played)
    state->play(packed);
  const uint8_t twoBytes[] = {2, 0xC0, 0x09, 0x55};  // the count rules, not the third byte
  const uint8_t oneByte[] = {1, 0xF6, 0, 0};
  midi.received(twoBytes);
  midi.received(oneByte);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  const std::vector<Bytes> expected = {
      {0xB2, 0x07, 0x64}, {0xF8, 0x00, 0x00}, {0xC0, 0x05, 0x00}, {0xC0, 0x09, 0x00}};
  EXPECT_EQ(handler.messages(), expected);
  midi.close();
  state->play(played[0]);
  EXPECT_EQ(handler.count(), expected.size()) << "closed";

  host::MPMidiWinMultimedia plain(FakeMidiBackend::only(state));
  ASSERT_TRUE(plain.openByNames("Pedal A", nullptr));
  testing::internal::CaptureStdout();
  for (uint32_t packed : played)
    state->play(packed);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "some midi data  3 B2 07 64\nsome midi data  3 C0 05 00\n");
}

TEST(MidiParser, CutsAByteStreamIntoShortMessages) {
  const struct {
    const char* what;
    std::vector<uint8_t> stream;
    std::vector<uint32_t> messages;
  } cases[] = {
      {"running status", {0x90, 0x3C, 0x64, 0x3E, 0x50, 0xC0, 0x05}, {0x643C90, 0x503E90, 0x05C0}},
      {"real-time inside a message", {0xB0, 0x07, 0xF8, 0x64, 0xFA}, {0xF8, 0x6407B0, 0xFA}},
      {"system exclusive skipped",
       {0xF0, 0x7D, 0xF8, 0x01, 0xF7, 0x01, 0xC1, 0x02},
       {0xF8, 0x02C1}},
      {"a status ends system exclusive", {0xF0, 0x01, 0xD3, 0x40}, {0x40D3}},
      {"data without a status", {0x05, 0x06}, {}},
      {"system common ends running status",
       {0x90, 0x3C, 0x64, 0xF6, 0x3E, 0x50, 0xF2, 0x01, 0x02, 0xF3, 0x04, 0x05},
       {0x643C90, 0xF6, 0x0201F2, 0x04F3}},
      {"undefined system bytes", {0xF4, 0x01, 0xF5, 0xB0, 0x01, 0x02}, {0x0201B0}},
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

// Without /dev/snd (containers, build machines) the sequencer fails at once and says nothing;
// without a JACK server there is no JACK MIDI either, and the host runs without MIDI.
TEST(MidiDevice, NoSequencerAndNoServerMeanNoMidiAndTheHostRunsOn) {
  struct stat info {};
  if (stat("/dev/snd/seq", &info) == 0) GTEST_SKIP() << "this machine has an ALSA sequencer";
  setenv("JACK_DEFAULT_SERVER", ("valvo-none-" + std::to_string(getpid())).c_str(), 1);
  setenv("JACK_NO_START_SERVER", "1", 1);
  testing::internal::CaptureStderr();
  platform::MidiAlsaSequencer sequencer;
  EXPECT_TRUE(sequencer.listPorts(true).empty());
  EXPECT_TRUE(sequencer.listPorts(false).empty());
  EXPECT_EQ(sequencer.openInput("20:0", nullptr, nullptr), nullptr);
  EXPECT_EQ(sequencer.openOutput("20:0"), nullptr);

  hosttest::FakeTechnology fakeAudio;
  plugin::evaProcessor processor;
  {
    host::evaHostAudio audio(processor, "");
    host::HardwareSettings& settings = audio.settings();
    settings.audioTechnology = "DirectX";
    settings.selectedFrequencies = "48000";
    settings.curMidiInName = "Default";
    audio.create();
    EXPECT_TRUE(audio.midi()->getInputDevices().empty());
    EXPECT_TRUE(audio.midi()->getOutputDevices().empty());
    EXPECT_EQ(audio.start(), host::evaHostAudio::State::kRunning);
    EXPECT_FALSE(audio.midi()->isOpen());
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  unsetenv("JACK_DEFAULT_SERVER");
  unsetenv("JACK_NO_START_SERVER");
  plugin::setProcessSampleRate(44100.0f);
}

}  // namespace
