// valvorama-live --headless played from a MIDI foot controller: a JACK MIDI client of the test
// stands in for the pedals, connected to the amp's MIDI port on the fixture's server.

#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <stdlib.h>
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

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using livetest::ChildProcess;
using livetest::Folder;
using livetest::readText;

constexpr const char* kLive = VALVORAMA_LIVE_BINARY;
constexpr const char* kTool = VALVORAMA_BINARY;
constexpr const char* kAmpMidiPort = "Valvorama Live MIDI:midi_in";
constexpr auto kLimit = 20s;  // start-up and answers on a loaded machine
constexpr auto kStopLimit = 2s;

size_t countOf(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

// Waits until the file holds `text` `times` times; false when `limit` passes first.
bool waitForText(const std::string& path, const std::string& text, std::chrono::seconds limit,
                 size_t times = 1) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (countOf(readText(path), text) < times) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

// A JACK client with one MIDI port.
class MidiClient {
 public:
  // The name carries our process id: libjack names a client's socket by the client's name
  // alone, so two tests that run at once on their own servers must not share a name.
  MidiClient(const char* name, JackPortFlags direction, JackProcessCallback process, void* owner) {
    const std::string unique = std::string(name) + "-" + std::to_string(::getpid());
    client_ = jack_client_open(unique.c_str(), JackNoStartServer, nullptr);
    if (!client_) return;
    port_ = jack_port_register(client_, "midi", JACK_DEFAULT_MIDI_TYPE, direction, 0);
    jack_set_process_callback(client_, process, owner);
    if (!port_ || jack_activate(client_) != 0) {
      jack_client_close(client_);
      client_ = nullptr;
    }
  }
  ~MidiClient() {
    if (client_) jack_client_close(client_);
  }
  MidiClient(const MidiClient&) = delete;
  MidiClient& operator=(const MidiClient&) = delete;

  jack_client_t* client() const { return client_; }
  void* buffer(jack_nframes_t frames) const { return jack_port_get_buffer(port_, frames); }
  const char* portName() const { return port_ ? jack_port_name(port_) : ""; }

 private:
  jack_client_t* client_ = nullptr;
  jack_port_t* port_ = nullptr;
};

// The foot controller: a MIDI output that sends each message in the next cycle. A listener
// connected after the amp hears a probe only once the server's graph holds both connections,
// so nothing the test sends afterwards is lost on a connection still being made.
class Pedals {
 public:
  bool connect(const std::string& amp) {
    const auto end = std::chrono::steady_clock::now() + kLimit;
    jack_disconnect(out_.client(), out_.portName(), listener_.portName());
    const int heard = heard_.load();
    bool connected = false;
    while (std::chrono::steady_clock::now() < end) {
      if (!connected) {
        const int result = jack_connect(out_.client(), out_.portName(), amp.c_str());
        connected = (result == 0 || result == EEXIST) &&
                    jack_connect(out_.client(), out_.portName(), listener_.portName()) == 0;
      }
      if (connected) {
        if (heard_.load() > heard) return true;
        send({0x80, 60, 0});  // a note off: nothing to the amp
      }
      std::this_thread::sleep_for(20ms);
    }
    why_ = connected ? "the probe did not come round" : "cannot connect to " + amp + "; ports:";
    if (const char** ports = jack_get_ports(out_.client(), nullptr, nullptr, 0)) {
      for (const char** p = ports; *p; ++p)
        why_ += std::string(" [") + *p + "]";
      jack_free(ports);
    }
    return false;
  }
  // Why connect() failed.
  const std::string& why() const { return why_; }

  void send(std::vector<uint8_t> message) {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.push_back(std::move(message));
  }

 private:
  static int play(jack_nframes_t frames, void* self) {
    auto& pedals = *static_cast<Pedals*>(self);
    void* buffer = pedals.out_.buffer(frames);
    jack_midi_clear_buffer(buffer);
    // A test client: a cycle that finds the list busy sends in the next one.
    std::unique_lock<std::mutex> lock(pedals.mutex_, std::try_to_lock);
    if (!lock) return 0;
    for (const auto& m : pedals.pending_)
      jack_midi_event_write(buffer, 0, m.data(), m.size());
    pedals.pending_.clear();
    return 0;
  }
  static int listen(jack_nframes_t frames, void* self) {
    auto& pedals = *static_cast<Pedals*>(self);
    pedals.heard_.fetch_add(int(jack_midi_get_event_count(pedals.listener_.buffer(frames))));
    return 0;
  }

  std::mutex mutex_;
  std::vector<std::vector<uint8_t>> pending_;
  std::atomic<int> heard_{0};
  std::string why_;
  MidiClient out_{"valvo-test-pedals", JackPortIsOutput, play, this};
  MidiClient listener_{"valvo-test-listener", JackPortIsInput, listen, this};
};

class LiveMidi : public testsupport::JackServerTest {
 protected:
  // Settings naming the amp's JACK MIDI port and no audio device: MIDI runs without one, and
  // the test leaves the shared machine's cores to the server.
  std::string writeSettings(const Folder& folder) {
    const std::string config = folder.path("config");
    const auto set =
        livetest::run(folder, {kTool, "hardware", "--config", config, "CurMidiInName=JACK MIDI"});
    EXPECT_EQ(set.status, 0) << set.err;
    return config;
  }
};

TEST_F(LiveMidi, PedalsLearnedWithoutAScreenStepProgramsAndMoveKnobs) {
  Folder folder;
  const std::string config = writeSettings(folder);
  const std::string out = folder.path("out.txt"), err = folder.path("err.txt");
  Pedals pedals;
  {
    ChildProcess live({kLive, "--headless", "--config", config, "--learn", "preset-up"},
                      {"VALVORAMA_LIVE_TRACE=1"}, out, err);
    ASSERT_TRUE(waitForText(out, "lcd: --- WAIT PRESET UP CC\n", kLimit)) << readText(err);
    ASSERT_TRUE(pedals.connect(kAmpMidiPort)) << pedals.why() << "\n" << readText(err);

    pedals.send({0xB0, 64, 127});  // the switch pressed: learned, the program shown again
    ASSERT_TRUE(waitForText(out, "lcd: 001 PROGRAM 1\n", kLimit)) << readText(out);
    pedals.send({0xB0, 64, 0});
    pedals.send({0xB0, 64, 127});  // pressed again: one step
    ASSERT_TRUE(waitForText(out, "lcd: 002 PROGRAM 2\n", kLimit)) << readText(out);
    pedals.send({0xB0, 19, 99});  // the default map: "Overdrive Lev"
    pedals.send({0xB7, 7, 12});   // volume on channel 8: "Ouput Level"
    EXPECT_TRUE(waitForText(err, "trace: set Overdrive Lev to 99\n", kLimit)) << readText(err);
    EXPECT_TRUE(waitForText(err, "trace: set Ouput Level to 12\n", kLimit)) << readText(err);
    live.signal(SIGTERM);
    EXPECT_EQ(live.waitExit(kStopLimit), 0) << readText(err);
  }
  EXPECT_EQ(fs::file_size(config + "/valvoramaMappings.dat"), 1032u);
  EXPECT_EQ(fs::file_size(config + "/ValvoramaLive.prf"), 40u);

  // The next run starts on the last program with the key it learned, and learns a program
  // change for stepping down.
  ChildProcess live({kLive, "--headless", "--config", config, "--learn", "preset-down"},
                    {"VALVORAMA_LIVE_TRACE=1"}, out, err);
  ASSERT_TRUE(waitForText(out, "lcd: --- WAIT PRESET DOWN CC\n", kLimit)) << readText(err);
  ASSERT_TRUE(pedals.connect(kAmpMidiPort)) << pedals.why() << "\n" << readText(err);
  pedals.send({0xC0, 5});
  ASSERT_TRUE(waitForText(out, "lcd: 002 PROGRAM 2\n", kLimit)) << readText(out);
  pedals.send({0xC0, 5});
  ASSERT_TRUE(waitForText(out, "lcd: 001 PROGRAM 1\n", kLimit)) << readText(out);
  pedals.send({0xC0, 5});
  ASSERT_TRUE(waitForText(out, "lcd: 128 PROGRAM 128\n", kLimit)) << readText(out);
  pedals.send({0xB0, 64, 127});
  ASSERT_TRUE(waitForText(out, "lcd: 001 PROGRAM 1\n", kLimit, 2)) << readText(out);
  pedals.send({0xC0, 41});  // any other program change selects its program
  EXPECT_TRUE(waitForText(out, "lcd: 042 PROGRAM 42\n", kLimit)) << readText(out);
  live.signal(SIGTERM);
  EXPECT_EQ(live.waitExit(kStopLimit), 0) << readText(err);
}

TEST(LiveMidiCommandLine, LearnNamesOneOfTheFourPedals) {
  Folder folder;
  for (const char* bad : {"tempo", ""}) {
    const auto r = livetest::run(folder, {kLive, "--headless", "--learn", bad});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--learn cannot learn"), std::string::npos) << r.err;
  }
}

}  // namespace
