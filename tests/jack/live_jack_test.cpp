// valvorama-live --headless and valvorama devices with the JACK driver, run as a user runs
// them: the driver found through the build's registry files, the settings in a --config folder.

#include <gtest/gtest.h>
#include <signal.h>

#include <cmath>
#include <string>

#include "host/hardware_settings.h"
#include "jack_probe_client.h"
#include "live/child_process.h"
#include "support/jack/jack_fixture.h"
#include "support/signals.h"

namespace {

using namespace std::chrono_literals;
using jacktest::JackProbeClient;
using jacktest::waitUntil;
using livetest::ChildProcess;
using livetest::readText;

constexpr auto kLimit = 20s;

using LiveJack = testsupport::JackServerTest;

TEST_F(LiveJack, DevicesListTheDriverAndTheHeadlessAmpPlaysAndFollowsThePeriod) {
  livetest::Folder folder;
  const auto path = [&folder](const char* name) { return folder.path(name); };
  const auto tool = livetest::run(folder, {VALVORAMA_BINARY, "devices", "--config", folder.path()});
  ASSERT_EQ(tool.status, 0) << tool.err;
  const size_t asio = tool.out.find("\nAsio\n");
  ASSERT_NE(asio, std::string::npos) << tool.out;
  EXPECT_NE(tool.out.find("\"JACK (Valvorama Live)\"\n      channels: system:capture_1", asio),
            std::string::npos)
      << tool.out;

  host::HardwareSettings settings(folder.path());
  settings.audioTechnology = "Asio";
  settings.curInDeviceName = settings.curOuDeviceName = "JACK (Valvorama Live)";
  settings.selectedFrequencies = "48000";
  settings.selectedBufSize = "1024";
  ASSERT_TRUE(settings.write());

  ChildProcess live({VALVORAMA_LIVE_BINARY, "--headless", "--config", folder.path()}, {},
                    path("out.txt"), path("err.txt"));
  ASSERT_TRUE(
      waitUntil([&] { return readText(path("out.txt")).find('\n') != std::string::npos; }, kLimit))
      << readText(path("err.txt"));
  EXPECT_EQ(readText(path("out.txt")),
            "audio: Asio, in \"JACK (Valvorama Live)\", out \"JACK (Valvorama Live)\", 48000 Hz, "
            "128 frames, latency 5.3 ms\n");

  // A note into the amp's input comes out of both its outputs.
  const auto note = testsupport::pluckedNote(110.0, 0.5, 0.5f, 48000);
  JackProbeClient player("player", 1, 0, 0);
  JackProbeClient recorder("recorder", 0, 2, note.size());
  ASSERT_TRUE(player.ok() && recorder.ok());
  jack_client_t* probe = player.client();
  ASSERT_TRUE(jacktest::connectAround(player, recorder));
  recorder.record();
  player.play(note);
  ASSERT_TRUE(recorder.waitRecorded(kLimit));
  for (int channel = 0; channel < 2; ++channel) {
    double energy = 0.0;
    for (float x : recorder.recording(channel))
      energy += double(x) * x;
    EXPECT_GT(std::sqrt(energy / double(note.size())), 0.01) << "output " << channel;
  }

  // A new period on the server: the amp comes back at it.
  ASSERT_EQ(jack_set_buffer_size(probe, 256), 0);
  EXPECT_TRUE(waitUntil(
      [&] { return readText(path("out.txt")).find(", 256 frames,") != std::string::npos; }, kLimit))
      << readText(path("out.txt")) << readText(path("err.txt"));

  live.signal(SIGTERM);
  EXPECT_EQ(live.waitExit(kLimit), 0) << readText(path("err.txt"));
  EXPECT_EQ(jack_port_by_name(probe, "Valvorama Live:in_1"), nullptr) << "the client is gone";
}

}  // namespace
