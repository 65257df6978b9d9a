// valvorama-live --headless played from a MIDI foot controller: a JACK MIDI client of the test
// stands in for the pedals, connected to the amp's MIDI port on the fixture's server.

#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "support/jack/jack_fixture.h"

namespace {

using namespace std::chrono_literals;
using livetest::readText;
using livetest::waitForText;

constexpr const char* kLive = VALVORAMA_LIVE_BINARY;
constexpr auto kLimit = 20s;  // start-up and answers on a loaded machine

// The foot controller. Its input listens after the amp: a probe heard there means both connections
// are made. Its name carries our process id: libjack names a client's socket by the name alone.
class Pedals {
 public:
  Pedals() {
    const std::string name = "valvo-test-pedals-" + std::to_string(::getpid());
    client_ = jack_client_open(name.c_str(), JackNoStartServer, nullptr);
    if (!client_) return;
    out_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    in_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(client_, process, this);
    if (!out_ || !in_ || jack_activate(client_) != 0) {
      jack_client_close(client_);
      client_ = nullptr;
    }
  }
  ~Pedals() {
    if (client_) jack_client_close(client_);
  }

  // Empty when connected; else why not.
  std::string connect(const std::string& amp) {
    if (!client_) return "no JACK client";
    const auto end = std::chrono::steady_clock::now() + kLimit;
    jack_disconnect(client_, jack_port_name(out_), jack_port_name(in_));
    const int heard = heard_.load();
    bool connected = false;
    while (std::chrono::steady_clock::now() < end) {
      if (!connected) {
        const int result = jack_connect(client_, jack_port_name(out_), amp.c_str());
        connected = (result == 0 || result == EEXIST) &&
                    jack_connect(client_, jack_port_name(out_), jack_port_name(in_)) == 0;
      }
      if (connected) {
        if (heard_.load() > heard) return "";
        send({0x80, 60, 0});  // a note off: nothing to the amp
      }
      std::this_thread::sleep_for(20ms);
    }
    return connected ? "the probe did not come round" : "cannot connect to " + amp;
  }

  void send(std::vector<uint8_t> message) {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.push_back(std::move(message));
  }

 private:
  static int process(jack_nframes_t frames, void* self) {
    auto& pedals = *static_cast<Pedals*>(self);
    pedals.heard_.fetch_add(
        int(jack_midi_get_event_count(jack_port_get_buffer(pedals.in_, frames))));
    void* buffer = jack_port_get_buffer(pedals.out_, frames);
    jack_midi_clear_buffer(buffer);
    // A test client: a cycle that finds the list busy sends in the next one.
    std::unique_lock<std::mutex> lock(pedals.mutex_, std::try_to_lock);
    if (!lock) return 0;
    for (const auto& m : pedals.pending_)
      jack_midi_event_write(buffer, 0, m.data(), m.size());
    pedals.pending_.clear();
    return 0;
  }

  jack_client_t* client_ = nullptr;
  jack_port_t *out_ = nullptr, *in_ = nullptr;
  std::mutex mutex_;
  std::vector<std::vector<uint8_t>> pending_;
  std::atomic<int> heard_{0};
};

using LiveMidi = testsupport::JackServerTest;

TEST_F(LiveMidi, PedalsLearnedWithoutAScreenStepProgramsAndMoveKnobs) {
  livetest::Folder folder;
  const std::string config = folder.path("config"), out = folder.path("out.txt"),
                    err = folder.path("err.txt");
  // The amp's JACK MIDI port and no audio device: MIDI runs without one, and costs no cores.
  const auto set = livetest::run(
      folder, {VALVORAMA_BINARY, "hardware", "--config", config, "CurMidiInName=JACK MIDI"});
  ASSERT_EQ(set.status, 0) << set.err;
  livetest::ChildProcess live({kLive, "--headless", "--config", config, "--learn", "preset-up"},
                              {"VALVORAMA_LIVE_TRACE=1"}, out, err);
  Pedals pedals;
  ASSERT_TRUE(waitForText(out, "lcd: --- WAIT PRESET UP CC\n")) << readText(err);
  ASSERT_EQ(pedals.connect("Valvorama Live MIDI:midi_in"), "") << readText(err);
  pedals.send({0xB0, 64, 127});  // the switch pressed: learned, the program shown again
  ASSERT_TRUE(waitForText(out, "lcd: 001 PROGRAM 1\n")) << readText(out);
  pedals.send({0xB0, 64, 0});
  pedals.send({0xB0, 64, 127});  // pressed again: one step
  ASSERT_TRUE(waitForText(out, "lcd: 002 PROGRAM 2\n")) << readText(out);
  pedals.send({0xC0, 41});  // a program change selects its program
  ASSERT_TRUE(waitForText(out, "lcd: 042 PROGRAM 42\n")) << readText(out);
  pedals.send({0xB7, 7, 12});  // volume on channel 8, by the default map: "Ouput Level"
  EXPECT_TRUE(waitForText(err, "trace: set Ouput Level to 12\n")) << readText(err);
  live.signal(SIGTERM);
  EXPECT_EQ(live.waitExit(2s), 0) << readText(err);
  EXPECT_EQ(std::filesystem::file_size(config + "/valvoramaMappings.dat"), 1032u);
  EXPECT_EQ(std::filesystem::file_size(config + "/ValvoramaLive.prf"), 40u);
}

}  // namespace
