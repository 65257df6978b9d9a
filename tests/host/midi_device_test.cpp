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
using hosttest::FakeMidiBackend;
using hosttest::RecordingHandler;

std::shared_ptr<FakeMidiBackend::State> twoPedals() {
  auto state = std::make_shared<FakeMidiBackend::State>();
  state->inputs = {"Pedal A", "Pedal B"};
  state->outputs = {"Synth"};
  return state;
}

TEST(MidiDevice, InputNamesAndIndicesChooseTheDevice) {
  struct Case {
    const char* name;
    std::vector<std::string> inputs;
    bool opens;
    std::string opened;
  };
  const Case cases[] = {
      {"Pedal B", {"Pedal A", "Pedal B"}, true, "fake:Pedal B"},
      {"Default", {"Pedal A", "Pedal B"}, true, "fake:Pedal A"},  // not a device: the first
      {"pedal b", {"Pedal A", "Pedal B"}, true, "fake:Pedal A"},  // names compare exactly
      {"Default", {}, false, ""},
      {"Broken", {"Broken", "Pedal A"}, false, ""},
  };
  for (const Case& c : cases) {
    auto state = std::make_shared<FakeMidiBackend::State>();
    state->inputs = c.inputs;
    host::MPMidiWinMultimedia midi(FakeMidiBackend::only(state));
    EXPECT_EQ(midi.openByNames(c.name, nullptr), c.opens) << c.name;
    EXPECT_EQ(midi.isOpen(), c.opens) << c.name;
    EXPECT_EQ(state->openedInput, c.opened) << c.name;
    EXPECT_EQ(state->started, c.opens) << c.name;
  }

  auto state = twoPedals();
  host::MPMidiWinMultimedia midi(FakeMidiBackend::only(state));
  for (int32_t index : {host::kFirstDevice, 7}) {
    ASSERT_TRUE(midi.open(index, host::kNoDevice)) << index;
    EXPECT_EQ(state->openedInput, "fake:Pedal A") << index;
    EXPECT_FALSE(midi.open(1, host::kNoDevice)) << "already open";
    midi.close();
    EXPECT_EQ(state->openedInput, "") << "closed";
  }
  EXPECT_TRUE(midi.open(host::kNoDevice, host::kNoDevice)) << "nothing to open";
  EXPECT_EQ(state->openedInput, "");
}

TEST(MidiDevice, AFailedInputClosesTheOutputItOpened) {
  auto state = twoPedals();
  state->inputs = {"Broken"};
  host::MPMidiWinMultimedia midi(FakeMidiBackend::only(state));
  EXPECT_FALSE(midi.openByNames("Broken", "Synth"));
  EXPECT_FALSE(midi.isOpen());
  EXPECT_EQ(state->openedOutput, "");
  const uint8_t cc[] = {3, 0xB0, 7, 100};
  EXPECT_FALSE(midi.send(cc));
}

TEST(MidiDevice, SendsShortAndLongMessages) {
  auto state = twoPedals();
  host::MPMidiWinMultimedia midi(FakeMidiBackend::only(state));
  const uint8_t cc[] = {3, 0xB2, 0x07, 0x64};
  EXPECT_FALSE(midi.send(cc)) << "not open";
  ASSERT_TRUE(midi.openByNames(nullptr, "Synth"));
  EXPECT_EQ(state->openedInput, "");
  const uint8_t program[] = {2, 0xC0, 0x05};
  const uint8_t sysex[] = {6, 0xF0, 0x7D, 0x01, 0x02, 0x03, 0xF7};
  for (const uint8_t* message : {cc, program, sysex})
    EXPECT_TRUE(midi.send(message));
  const std::vector<std::vector<uint8_t>> expected = {
      {0xB2, 0x07, 0x64}, {0xC0, 0x05, 0x00}, {0xF0, 0x7D, 0x01, 0x02, 0x03, 0xF7}};
  EXPECT_EQ(state->sent, expected);
}

// The host's object: two- and three-byte records reach the handler, status first; the base
// class traces the rest of the system's way but never a clock tick.
TEST(MidiDevice, MessagesReachTheHandlerAndOnlyTheBaseTraces) {
  plugin::evaProcessor processor;
  host::evaHostAudio audio(processor, "");
  RecordingHandler handler;
  auto state = twoPedals();
  host::evaMPMidi midi(&audio, FakeMidiBackend::only(state));
  ASSERT_TRUE(midi.openByNames("Default", nullptr));

  struct Case {
    uint32_t packed;
    Bytes handed;
  };
  const Case cases[] = {
      {0x6407B2, {0xB2, 0x07, 0x64}},  // control change 7 on channel 3
      {0x0000F8, {0xF8, 0x00, 0x00}},  // a clock tick alone
      {0x0005C0, {0xC0, 0x05, 0x00}},  // program change: two bytes
  };
  state->play(cases[0].packed);
  EXPECT_EQ(handler.count(), 0u) << "no handler set: dropped";
  audio.setMidiHandler(&handler);
  testing::internal::CaptureStdout();
  for (const Case& c : cases)
    state->play(c.packed);
  const uint8_t twoBytes[] = {2, 0xC0, 0x09, 0x55};  // the count rules, not the third byte
  const uint8_t oneByte[] = {1, 0xF6, 0, 0};
  midi.received(twoBytes);
  midi.received(oneByte);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  std::vector<Bytes> expected;
  for (const Case& c : cases)
    expected.push_back(c.handed);
  expected.push_back({0xC0, 0x09, 0x00});
  EXPECT_EQ(handler.messages(), expected);

  midi.close();
  state->play(0x6407B2);
  EXPECT_EQ(handler.count(), expected.size()) << "closed";

  host::MPMidiWinMultimedia plain(FakeMidiBackend::only(state));
  ASSERT_TRUE(plain.openByNames("Pedal A", nullptr));
  testing::internal::CaptureStdout();
  for (const Case& c : cases)
    state->play(c.packed);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "some midi data  3 B2 07 64\nsome midi data  3 C0 05 00\n");
}

TEST(MidiParser, CutsAByteStreamIntoShortMessages) {
  struct Case {
    const char* what;
    std::vector<uint8_t> stream;
    std::vector<uint32_t> messages;
  };
  const Case cases[] = {
      {"whole messages", {0xB2, 0x07, 0x64, 0xC0, 0x05}, {0x6407B2, 0x05C0}},
      {"running status",
       {0x90, 0x3C, 0x64, 0x3E, 0x50, 0x40, 0x00},
       {0x643C90, 0x503E90, 0x004090}},
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
  for (const Case& c : cases) {
    platform::MidiParser parser;
    std::vector<uint32_t> messages;
    for (uint8_t byte : c.stream) {
      uint32_t message = 0;
      if (parser.feed(byte, message)) messages.push_back(message);
    }
    EXPECT_EQ(messages, c.messages) << c.what;
  }
}

// Points libjack at a server that does not exist, for one test.
class NoJackServer : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("JACK_DEFAULT_SERVER", ("valvo-none-" + std::to_string(getpid())).c_str(), 1);
    setenv("JACK_NO_START_SERVER", "1", 1);
  }
  void TearDown() override {
    unsetenv("JACK_DEFAULT_SERVER");
    unsetenv("JACK_NO_START_SERVER");
    plugin::setProcessSampleRate(44100.0f);
  }
};

// Without /dev/snd (containers, servers, build machines) the sequencer fails at once and says
// nothing; without a JACK server there is no JACK MIDI either, and the host runs without MIDI.
TEST_F(NoJackServer, NoSequencerAndNoServerMeanNoMidiAndTheHostRunsOn) {
  struct stat info {};
  if (stat("/dev/snd/seq", &info) == 0) GTEST_SKIP() << "this machine has an ALSA sequencer";

  testing::internal::CaptureStderr();
  platform::MidiAlsaSequencer sequencer;
  EXPECT_TRUE(sequencer.listPorts(true).empty());
  EXPECT_TRUE(sequencer.listPorts(false).empty());
  EXPECT_EQ(sequencer.openInput("20:0", nullptr, nullptr), nullptr);
  EXPECT_EQ(sequencer.openOutput("20:0"), nullptr);

  hosttest::FakeTechnology fakeAudio;
  plugin::evaProcessor processor;
  host::evaHostAudio audio(processor, "");
  host::HardwareSettings& settings = audio.settings();
  settings.audioTechnology = "DirectX";
  settings.selectedFrequencies = "48000";
  settings.curOuDeviceName = "Playback A";
  settings.curMidiInName = "Default";
  audio.create();
  ASSERT_NE(audio.midi(), nullptr);
  EXPECT_TRUE(audio.midi()->getInputDevices().empty());
  EXPECT_TRUE(audio.midi()->getOutputDevices().empty());
  EXPECT_EQ(audio.start(), host::evaHostAudio::State::kRunning);
  EXPECT_FALSE(audio.midi()->isOpen());
  audio.stop();
  audio.destroy();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
