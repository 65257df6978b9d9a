#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
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

constexpr auto kLimit = 10s;

const std::string kAmpInput =
    std::string(platform::MidiJack::kInputClientName) + ":" + platform::MidiJack::kInputPortName;
const std::string kAmpOutput =
    std::string(platform::MidiJack::kOutputClientName) + ":" + platform::MidiJack::kOutputPortName;

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

// The amp's output played into its input: each event of a send is one JACK event, parsed with
// running status, real-time bytes and system exclusive; then a stop takes the port along, and
// closing returns when the server dies mid-stream.
TEST_F(JackMidi, TheOutputReachesTheHostsInputAndClosingSurvivesTheServer) {
  startHost();
  EXPECT_TRUE(listed(*audio_.midi(), true));
  host::MPMidiWinMultimedia out;
  out.enumerateDevices(false);
  EXPECT_TRUE(listed(out, false));
  ASSERT_TRUE(out.openByNames(nullptr, platform::MidiJack::kDeviceName));
  ASSERT_TRUE(connect(kAmpOutput, kAmpInput));
  const std::vector<std::vector<uint8_t>> sent = {
      {3, 0xB2, 0x07, 0x64},              // volume on channel 3
      {2, 0xC0, 0x05},                    // program change
      {1, 0xF8},                          // clock
      {5, 0x90, 0x3C, 0x64, 0x3E, 0x50},  // a note on and another by running status
      {4, 0xF0, 0x7D, 0x01, 0xF7},        // system exclusive: not for the handler
      {4, 0xB1, 0x0B, 0xFA, 0x20},        // a start byte inside a control change
  };
  for (const auto& message : sent)
    EXPECT_TRUE(out.send(message.data()));
  const uint8_t noStatus[] = {3, 0x01, 0x02, 0x03};
  EXPECT_FALSE(out.send(noStatus));
  const std::vector<Bytes> expected = {{0xB2, 0x07, 0x64}, {0xC0, 0x05, 0x00}, {0xF8, 0x00, 0x00},
                                       {0x90, 0x3C, 0x64}, {0x90, 0x3E, 0x50}, {0xFA, 0x00, 0x00},
                                       {0xB1, 0x0B, 0x20}};
  ASSERT_TRUE(hosttest::eventually([&] { return handler_.count() >= expected.size(); }));
  EXPECT_EQ(handler_.messages(), expected);

  audio_.stop();
  EXPECT_FALSE(connect(kAmpOutput, kAmpInput)) << "the port goes with the input";
  audio_.start();
  connect(kAmpOutput, kAmpInput);  // unless the new input is connected already
  const uint8_t cc[] = {3, 0xB0, 0x07, 0x10};
  ASSERT_TRUE(hosttest::eventually([&] {
    out.send(cc);
    return handler_.count() > expected.size() + 8;
  }));
  server_->kill();
  host::MPMidiWinMultimedia other;
  other.enumerateDevices(false);
  EXPECT_FALSE(listed(other, true));
  auto closed = std::async(std::launch::async, [&] {
    audio_.stop();
    out.close();
  });
  ASSERT_EQ(closed.wait_for(kLimit), std::future_status::ready) << "close hangs";
  EXPECT_FALSE(audio_.midi()->isOpen());
}

// The user-interface thread swaps the handler, stops and starts MIDI while messages arrive on
// the JACK thread; each new input is connected where the last one was. The sequencer runs in a
// process of its own: ThreadSanitizer cannot see how libjack hands buffers between two clients
// of one process.
TEST_F(JackMidi, Concurrency) {
  const std::string sequencerTool = "/usr/bin/jack_midiseq";
  if (access(sequencerTool.c_str(), X_OK) != 0) GTEST_SKIP() << "no " << sequencerTool;
  startHost();
  // Middle C, on for 25 ms of every 50 ms.
  const auto sequencer = runJackTool({sequencerTool, "valvo-seq", "2400", "0", "60", "1200"});
  ASSERT_TRUE(hosttest::eventually([&] { return connect("valvo-seq:out", kAmpInput); }));
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
