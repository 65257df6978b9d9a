// The amp behind the "Asio" technology with the JACK driver, on the fixture's server: in the
// host, with the registered driver as the host finds it, what a JACK client hears, a lost
// server; and valvorama devices run as a user runs it, the driver found through the build's
// registry files.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <future>
#include <string>
#include <vector>

#include "host/eva_host_audio.h"
#include "host/mp_audio_asio.h"
#include "jack_probe_client.h"
#include "live/child_process.h"
#include "plugin/sample_rate.h"
#include "plugin/vlvr_processor.h"
#include "support/every_stage.h"
#include "support/jack/jack_fixture.h"
#include "support/signals.h"

namespace {

using namespace std::chrono_literals;
using host::evaHostAudio;
using jacktest::JackProbeClient;
using State = evaHostAudio::State;

constexpr auto kLimit = 20s;

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
  evaHostAudio audio(amp, "");
  host::HardwareSettings& settings = audio.settings();  // the default channels: 0 in, 0 and 1 out
  settings.audioTechnology = "Asio";
  settings.curInDeviceName = settings.curOuDeviceName = "JACK (Valvorama Live)";
  settings.selectedFrequencies = "48000";
  settings.selectedBufSize = "1024";
  audio.create();
  ASSERT_EQ(audio.start(), State::kRunning);
  EXPECT_EQ(audio.bufferFrames(), period) << "the server's period, not the 1024 asked for";
  {  // the probes go before the server: a client opened after its death deletes theirs
    JackProbeClient player("player", 1, 0, 0);
    const std::vector<float> note = testsupport::pluckedNote(110.0, 1.0, 0.5f, 48000);
    const size_t frames = note.size() + 16 * size_t(period);
    JackProbeClient recorder("recorder", 0, 2, frames);
    ASSERT_TRUE(player.ok() && recorder.ok());
    ASSERT_EQ(
        jack_connect(player.client(), player.portName(true, 0).c_str(), "Valvorama Live:in_1"), 0);
    for (int i = 0; i < 2; ++i) {
      const std::string amp = "Valvorama Live:out_" + std::to_string(i + 1);
      ASSERT_EQ(jack_connect(player.client(), amp.c_str(), recorder.portName(false, i).c_str()), 0);
    }
    // The player runs before the amp in each cycle: the amp's position in the player's first
    // cycle is the silence the amp had heard before the note.
    recorder.record();
    player.play(note, [&audio] { return audio.audio()->getSamplePosition(); });
    ASSERT_TRUE(recorder.waitRecorded(kLimit));
    const int64_t silence = player.startMark();
    const int64_t offset = player.playFrame() - recorder.recordFrame();
    ASSERT_EQ(silence % period, 0);
    ASSERT_GE(offset, 0);

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
      ASSERT_NEAR(recorder.recording(0)[heard], std::clamp(left[rendered], -1.0f, 1.0f), 1e-6) << i;
      ASSERT_NEAR(recorder.recording(1)[heard], std::clamp(right[rendered], -1.0f, 1.0f), 1e-6)
          << i;
      peak = std::max(peak, double(std::fabs(left[rendered])));
    }
    EXPECT_GT(peak, 0.05) << "the note is heard";
  }
  // The host outlives the server, and opening without one neither starts one nor hides why.
  server_->kill();
  auto stopped = std::async(std::launch::async, [&audio] { audio.stop(); });
  ASSERT_EQ(stopped.wait_for(kLimit), std::future_status::ready) << "stop hangs";
  unsetenv("JACK_NO_START_SERVER");
  EXPECT_EQ(audio.start(), State::kOpenFailed);
  const auto* asio = dynamic_cast<const host::MPAudioAsio*>(audio.audio()->driver());
  ASSERT_NE(asio, nullptr);
  EXPECT_STREQ(asio->errorMessage(), "No JACK server is running (start jackd or PipeWire)");
  jack_client_t* client = jack_client_open("probe", JackNoStartServer, nullptr);
  EXPECT_EQ(client, nullptr) << "a server was started";
  if (client) jack_client_close(client);
}

using LiveJack = testsupport::JackServerTest;

TEST_F(LiveJack, DevicesFindTheDriverThroughTheBuildsRegistry) {
  livetest::Folder folder;
  const auto tool = livetest::run(folder, {VALVORAMA_BINARY, "devices", "--config", folder.path()});
  ASSERT_EQ(tool.status, 0) << tool.err;
  EXPECT_NE(tool.out.find("\"JACK (Valvorama Live)\"\n      channels: system:capture_1"),
            std::string::npos)
      << tool.out;
}

}  // namespace
