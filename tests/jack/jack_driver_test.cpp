// The JACK driver on the fixture's server: the library on its own, loaded as the host loads
// it; found and chosen by valvorama and played through by valvorama-live --headless; and behind
// the host's "Asio" technology, what a JACK client hears from the amp and a lost server.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <future>
#include <memory>
#include <numeric>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/eva_host_audio.h"
#include "jack/jack_driver_class_id.h"
#include "jack_probe_client.h"
#include "live/child_process.h"
#include "platform/asio_driver.h"
#include "platform/asio_registry.h"
#include "plugin/sample_rate.h"
#include "plugin/vlvr_processor.h"
#include "support/allocation_counter.h"
#include "support/eventually.h"
#include "support/every_stage.h"
#include "support/jack/jack_fixture.h"
#include "support/signals.h"

namespace {

using namespace std::chrono_literals;
using jacktest::JackProbeClient;
using platform::AsioDriver;
using testsupport::eventually;
using State = host::evaHostAudio::State;

constexpr auto kLimit = 20s;

std::string errorOf(AsioDriver& driver) {
  char text[124] = {};
  driver.getErrorMessage(text);
  return text;
}

// What the callbacks saw. They are plain functions, as the host's are, so this is global.
struct SwitchLog {
  std::atomic<int> switches{0}, resetRequests{0};
  std::array<int32_t, 64> halves{};
  std::atomic<size_t> allocations{0};
} gLog;

void onSwitch(int32_t half, int32_t) {
  static thread_local std::optional<testsupport::AllocationCounter> counter;
  if (!counter) counter.emplace();
  const int n = gLog.switches.load(std::memory_order_relaxed);
  if (n < static_cast<int>(gLog.halves.size())) gLog.halves[static_cast<size_t>(n)] = half;
  gLog.allocations.store(counter->count(), std::memory_order_relaxed);
  gLog.switches.store(n + 1, std::memory_order_release);
}

int32_t onMessage(int32_t selector, int32_t value, void*, double*) {
  if (selector == platform::kResetRequest) gLog.resetRequests.fetch_add(1);
  return selector == platform::kSelectorSupported && value == platform::kResetRequest ? 1 : 0;
}

const platform::AsioCallbacks kCallbacks{&onSwitch, nullptr, &onMessage, nullptr};

using JackDriver = testsupport::JackServerTest;

// The probe's output into the amp's input, the amp's two outputs into the probe's inputs.
void connectToTheAmp(const JackProbeClient& probe) {
  ASSERT_EQ(jack_connect(probe.client(), probe.portName(true, 0).c_str(), "Valvorama Live:in_1"),
            0);
  for (int i = 0; i < 2; ++i) {
    const std::string amp = "Valvorama Live:out_" + std::to_string(i + 1);
    ASSERT_EQ(jack_connect(probe.client(), amp.c_str(), probe.portName(false, i).c_str()), 0);
  }
}

// What the switch moves in and out is compared with an offline render in the host test below.
TEST_F(JackDriver, DescribesTheServerRunsTheSwitchAndFollowsTheServersChanges) {
  std::unique_ptr<void, int (*)(void*)> library(dlopen(JACK_DRIVER_PATH, RTLD_NOW | RTLD_LOCAL),
                                                &dlclose);
  ASSERT_NE(library, nullptr) << dlerror();
  const auto factory =
      reinterpret_cast<platform::AsioFactory>(dlsym(library.get(), platform::kAsioFactorySymbol));
  ASSERT_NE(factory, nullptr);
  std::unique_ptr<AsioDriver, void (*)(AsioDriver*)> driver(
      factory(&jackdriver::kJackDriverClassId), [](AsioDriver* d) { d->release(); });
  ASSERT_NE(driver, nullptr);
  ASSERT_TRUE(driver->init(nullptr)) << errorOf(*driver);
  const int32_t period = server_->period();
  std::array<platform::AsioBufferInfo, 3> infos{};
  const auto createBuffers = [&] {  // input 0 and outputs 0 and 1, at the server's period
    infos = {{{1, 0, {}}, {0, 0, {}}, {0, 1, {}}}};
    return driver->createBuffers(infos.data(), 3, period, &kCallbacks);
  };
  const auto switchesPass = [](int count) {
    const int from = gLog.switches.load();
    return eventually([&] { return gLog.switches.load() >= from + count; }, kLimit);
  };

  platform::AsioClassId other = jackdriver::kJackDriverClassId;
  other.data4[7] ^= 1;
  EXPECT_EQ(factory(&other), nullptr);

  // The fixture's server has the dummy card's ports and two loopback ports per direction. The
  // probe goes before the server: a client opened after its death deletes it.
  std::optional<JackProbeClient> probe(std::in_place, "probe", 0, 0, 0);
  ASSERT_TRUE(probe->ok());
  jack_client_t* client = probe->client();
  EXPECT_NE(driver->setSampleRate(44100.0), platform::kAsioOk);
  EXPECT_EQ(errorOf(*driver), "The JACK server runs at 48000 Hz, not 44100 Hz");

  EXPECT_EQ(driver->start(), platform::kAsioInvalidMode) << "no buffers yet";
  std::array<platform::AsioBufferInfo, 2> twice{{{1, 0, {}}, {1, 0, {}}}};
  std::array<platform::AsioBufferInfo, 1> beyond{{{0, 4, {}}}};
  EXPECT_EQ(driver->createBuffers(twice.data(), 1, 2 * period, &kCallbacks),
            platform::kAsioInvalidMode);
  for (const auto& [infos, count] :
       {std::pair{twice.data(), 2}, {beyond.data(), 1}, {twice.data(), 0}}) {
    EXPECT_EQ(driver->createBuffers(infos, count, period, &kCallbacks),
              platform::kAsioInvalidParameter)
        << count << " buffers";
  }
  ASSERT_EQ(createBuffers(), platform::kAsioOk);
  ASSERT_EQ(driver->start(), platform::kAsioOk);
  // Connected to the physical ports of their channels, as the probe client soon hears.
  for (const auto& [own, physical] : {std::pair{"Valvorama Live:in_1", "system:capture_1"},
                                      {"Valvorama Live:out_1", "system:playback_1"},
                                      {"Valvorama Live:out_2", "system:playback_2"}}) {
    jack_port_t* port = jack_port_by_name(client, own);
    ASSERT_NE(port, nullptr) << own;
    EXPECT_TRUE(eventually([&] { return jack_port_connected_to(port, physical) != 0; }, kLimit))
        << own << " to " << physical;
  }

  ASSERT_TRUE(switchesPass(12));
  ASSERT_EQ(driver->stop(), platform::kAsioOk);
  const int switches = gLog.switches.load();
  for (int i = 0; i < std::min<int>(switches, gLog.halves.size()); ++i)
    ASSERT_EQ(gLog.halves[size_t(i)], i % 2) << "switch " << i;
  EXPECT_EQ(gLog.allocations.load(), 0u) << "the JACK thread allocated between switches";
  EXPECT_FALSE(eventually([&] { return gLog.switches.load() > switches; }, 300ms))
      << "a switch after stop";
  ASSERT_EQ(driver->disposeBuffers(), platform::kAsioOk);

  // New buffers; a new period on the server asks the host for a reset.
  ASSERT_EQ(createBuffers(), platform::kAsioOk);
  ASSERT_EQ(driver->start(), platform::kAsioOk);
  ASSERT_TRUE(switchesPass(2));
  ASSERT_EQ(jack_set_buffer_size(client, jack_nframes_t(2 * period)), 0);
  ASSERT_TRUE(eventually([] { return gLog.resetRequests.load() >= 1; }, kLimit));
  // No switch runs on buffers of the old size until the host makes new ones.
  const int beforeReset = gLog.switches.load();
  EXPECT_FALSE(eventually([&] { return gLog.switches.load() > beforeReset; }, 300ms));
  EXPECT_EQ(gLog.resetRequests.load(), 1) << "one request for one change";
  probe.reset();

  server_->kill();
  ASSERT_TRUE(eventually(
      [&driver] { return driver->start() == platform::kAsioHardwareMalfunction; }, kLimit));
  EXPECT_EQ(errorOf(*driver), "The JACK server has shut down");
  // Any client opened now makes libjack close and delete the one whose server went.
  EXPECT_EQ(jack_client_open("other", JackNoStartServer, nullptr), nullptr);
  // Each call comes back, and none touches the deleted client.
  auto stopped = std::async(std::launch::async, [&driver] { return driver->stop(); });
  ASSERT_EQ(stopped.wait_for(kLimit), std::future_status::ready) << "stop hangs";
  EXPECT_EQ(stopped.get(), platform::kAsioOk);
  auto released = std::async(std::launch::async, [lost = driver.release()] {
    lost->disposeBuffers();
    lost->release();
  });
  ASSERT_EQ(released.wait_for(kLimit), std::future_status::ready) << "release hangs";
}

// As a player sets it up: valvorama finds the driver through the build's registry files and
// chooses it; valvorama-live --headless plays through it with JACK MIDI, and a lost server is
// reported and does not stand in the way of a clean stop.
TEST_F(JackDriver, TheHeadlessAmpPlaysThroughItAsValvoramaChoseItAndOutlivesTheServer) {
  livetest::Folder folder;
  const std::string config = folder.path();
  auto tool = livetest::run(folder, {VALVORAMA_BINARY, "devices", "--config", config});
  ASSERT_EQ(tool.status, 0) << tool.err;
  EXPECT_NE(tool.out.find("\"JACK (Valvorama Live)\"\n      channels: system:capture_1"),
            std::string::npos)
      << tool.out;
  tool = livetest::run(
      folder, {VALVORAMA_BINARY, "hardware", "--config", config, "AudioTechnology=Asio",
               "CurInDeviceName=JACK (Valvorama Live)", "CurOuDeviceName=JACK (Valvorama Live)",
               "SelectedFrequencies=48000", "CurMidiInName=JACK MIDI"});
  ASSERT_EQ(tool.status, 0) << tool.err;

  const std::string out = folder.path("out.txt"), err = folder.path("err.txt");
  livetest::ChildProcess live({VALVORAMA_LIVE_BINARY, "--headless", "--config", config}, {}, out,
                              err);
  ASSERT_TRUE(
      eventually([&] { return livetest::readText(out).find('\n') != std::string::npos; }, kLimit))
      << livetest::readText(err);
  EXPECT_EQ(livetest::readText(out),
            "audio: Asio, in \"JACK (Valvorama Live)\", out \"JACK (Valvorama Live)\", 48000 Hz, "
            "128 frames, latency 5.3 ms\n");
  {  // the probe goes before the server: a client opened after its death deletes it
    const std::vector<float> note = testsupport::pluckedNote(110.0, 0.5, 0.5f, 48000);
    JackProbeClient probe("probe", 1, 2, note.size());
    ASSERT_TRUE(probe.ok());
    EXPECT_NE(jack_port_by_name(probe.client(), "Valvorama Live MIDI:midi_in"), nullptr);
    ASSERT_NO_FATAL_FAILURE(connectToTheAmp(probe));
    probe.play(note);
    ASSERT_TRUE(probe.waitRecorded(kLimit));
    for (int i = 0; i < 2; ++i) {
      const auto& heard = probe.recording(i);
      EXPECT_GT(std::inner_product(heard.begin(), heard.end(), heard.begin(), 0.0),
                1e-4 * double(heard.size()))
          << "output " << i;
    }
  }
  server_->kill();
  EXPECT_TRUE(livetest::waitForText(err, "the device went away or stopped answering"));
  live.signal(SIGTERM);
  EXPECT_EQ(live.waitExit(kLimit), 0) << livetest::readText(err);
}

void engageEveryStage(plugin::vlvrProcessor& processor) {
  processor.initialize();
  processor.open();
  for (auto [row, value] : testsupport::kEveryStageSettings)
    processor.setParameterPlain(row, float(value));
}

// The build's registry file of the JACK driver is the only one read.
class AsioJack : public testsupport::JackServerTest {
 protected:
  AsioJack() { setenv(platform::AsioRegistry::kFilesVariable, JACK_DRIVER_REGISTRY, 1); }
  ~AsioJack() override {
    unsetenv(platform::AsioRegistry::kFilesVariable);
    plugin::setProcessSampleRate(44100.0f);
  }
};

TEST_F(AsioJack, TheAmpSoundsThroughJackAsItRendersOfflineAndOutlivesTheServer) {
  const int32_t period = server_->period();
  plugin::vlvrProcessor amp, offline;
  engageEveryStage(amp);
  engageEveryStage(offline);
  host::evaHostAudio audio(amp, "");
  host::HardwareSettings& settings = audio.settings();  // the default channels: 0 in, 0 and 1 out
  settings.audioTechnology = "Asio";
  settings.curInDeviceName = settings.curOuDeviceName = "JACK (Valvorama Live)";
  settings.selectedFrequencies = "48000";
  settings.selectedBufSize = "1024";
  audio.create();
  ASSERT_EQ(audio.start(), State::kRunning);
  EXPECT_EQ(audio.bufferFrames(), period) << "the server's period, not the 1024 asked for";
  {  // the probe goes before the server: a client opened after its death deletes it
    const std::vector<float> note = testsupport::pluckedNote(110.0, 1.0, 0.5f, 48000);
    const size_t frames = note.size() + 16 * size_t(period);
    JackProbeClient probe("probe", 1, 2, frames);
    ASSERT_TRUE(probe.ok());
    ASSERT_NO_FATAL_FAILURE(connectToTheAmp(probe));
    // The amp's position in the probe's first cycle is the silence it had heard before the
    // note; what the probe records in a cycle the amp played in the one before.
    probe.play(note, [&audio] { return audio.audio()->getSamplePosition(); });
    ASSERT_TRUE(probe.waitRecorded(kLimit));
    const int64_t silence = probe.startMark(), offset = period;

    // The same program over the same silence and note, block by block, clipped as the device
    // layer clips.
    offline.setDspSampleRate(48000);
    offline.applyAllParameters();
    const size_t compared = frames - size_t(offset);
    std::vector<float> input(size_t(silence) + compared, 0.0f);
    std::copy(note.begin(), note.end(), input.begin() + silence);
    std::vector<float> left(input.size()), right(input.size());
    for (size_t at = 0; at < input.size(); at += size_t(period)) {
      float* ins[2] = {&input[at], nullptr};
      float* outs[2] = {&left[at], &right[at]};
      offline.processReplacing(ins, outs, std::min<int32_t>(period, int32_t(input.size() - at)));
    }
    double peak = 0.0;
    for (size_t i = 0; i < compared; ++i) {
      const size_t heard = size_t(offset) + i, rendered = size_t(silence) + i;
      ASSERT_NEAR(probe.recording(0)[heard], std::clamp(left[rendered], -1.0f, 1.0f), 1e-6) << i;
      ASSERT_NEAR(probe.recording(1)[heard], std::clamp(right[rendered], -1.0f, 1.0f), 1e-6) << i;
      peak = std::max(peak, double(std::fabs(left[rendered])));
    }
    EXPECT_GT(peak, 0.05) << "the note is heard";
  }
  // The host outlives the server, and opening without one does not start one.
  server_->kill();
  auto stopped = std::async(std::launch::async, [&audio] { audio.stop(); });
  ASSERT_EQ(stopped.wait_for(kLimit), std::future_status::ready) << "stop hangs";
  unsetenv("JACK_NO_START_SERVER");
  EXPECT_EQ(audio.start(), State::kOpenFailed);
  jack_client_t* client = jack_client_open("probe", JackNoStartServer, nullptr);
  EXPECT_EQ(client, nullptr) << "a server was started";
  if (client) jack_client_close(client);
}

}  // namespace
