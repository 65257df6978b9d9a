// valvorama-live --headless and the two commands that set it up, run as a user runs them.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "plugin/program_bank.h"
#include "plugin/vlvr_processor.h"
#include "support/jack/jack_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using livetest::ChildProcess;
using livetest::Folder;
using livetest::Outcome;
using livetest::readText;
using livetest::run;

constexpr const char* kLive = VALVORAMA_LIVE_BINARY;
constexpr const char* kTool = VALVORAMA_BINARY;
// Generous: start-up on a loaded machine. Stopping has its own, tight, bound.
constexpr auto kStartLimit = 20s;
constexpr auto kStopLimit = 2s;

// The headless amp with tracing on, its output in the folder.
struct TracedLive : ChildProcess {
  TracedLive(const Folder& folder, const std::string& config)
      : ChildProcess({kLive, "--headless", "--config", config}, {"VALVORAMA_LIVE_TRACE=1"},
                     folder.path("out.txt"), folder.path("err.txt")),
        err(folder.path("err.txt")) {}
  // `mark` written within the start-up limit; else fails with what the amp wrote.
  testing::AssertionResult reaches(const std::string& mark) {
    if (waitForError(mark, kStartLimit)) return testing::AssertionSuccess();
    return testing::AssertionFailure() << readText(err);
  }
  std::optional<int> stopBy(int stopSignal) {
    signal(stopSignal);
    return waitExit(kStopLimit);
  }
  const std::string err;
};

// The shutdown steps keep their order: the bank is written while everything still exists, the
// device stops and goes before the processor deletes its rack, the engine goes with the
// processor.
void expectShutdownOrder(const std::string& err, int signal) {
  const std::vector<std::string> expected = {"stop signal " + std::to_string(signal),
                                             "bank ",  // written, or unchanged
                                             "audio stopped running=0",
                                             "audio deleted",
                                             "processor closed rack=0",
                                             "processor deleted engine=0"};
  EXPECT_EQ(livetest::stepsInOrder(err, expected), expected.size()) << err;
}

TEST(LiveHost, CommandLine) {
  const struct {
    std::vector<std::string> arguments;
    int status;
    const char* says;
  } cases[] = {
      {{kLive}, 2, "run 'valvorama-live --headless'"},  // no display (DISPLAY is emptied)
      {{kLive, "--bogus"}, 2, "unknown argument --bogus"},
      {{kLive, "--headless", "--config"}, 2, "--config needs a folder"},
      {{kLive, "--version"}, 0, "valvorama-live 0.1.0"},
      {{kLive, "--headless", "--screenshot", "a.png"}, 2, "--screenshot needs the window"},
      {{kLive, "--after", "3"}, 2, "--after goes with --screenshot"},
      {{kLive, "--screenshot", "a.png", "--after", "soon"}, 2, "--after takes seconds"},
      {{kLive, "--screenshot", "a.png", "--after", "-1"}, 2, "--after takes seconds"},
      {{kLive, "--learn", "wah"}, 2, "--learn is for --headless"},
  };
  for (const auto& c : cases) {
    Folder folder;
    const Outcome r = run(folder, c.arguments, 20s, {"DISPLAY="});
    EXPECT_EQ(r.status, c.status) << c.arguments.back();
    EXPECT_NE((r.out + r.err).find(c.says), std::string::npos) << r.out << r.err;
  }
}

TEST(LiveHost, WithoutHardwareSettingsItRunsSilentAndStopsOnAnyStopSignal) {
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    Folder folder;
    const std::string config = folder.path("config");
    // A bank from an earlier run: loaded at start, written back at the end.
    plugin::vlvrProcessor processor;
    processor.initialize();
    processor.setProgram(5);
    processor.setProgramName("Crunch");
    fs::create_directories(config);
    ASSERT_TRUE(processor.saveProgramBankFile(config + "/ValvoramaLive settings.dat"));

    TracedLive live(folder, config);
    ASSERT_TRUE(live.reaches("trace: audio started"));
    EXPECT_EQ(live.stopBy(signal), 0);

    const std::string err = readText(folder.path("err.txt"));
    EXPECT_NE(err.find("valvorama-live: no audio technology selected: run valvorama devices / "
                       "valvorama hardware"),
              std::string::npos)
        << err;
    EXPECT_EQ(readText(folder.path("out.txt")), "");
    expectShutdownOrder(err, signal);
    EXPECT_FALSE(fs::exists(config + "/VRLiveHardware.prf"));  // reading creates nothing

    plugin::vlvrProcessor reader;
    reader.initialize();
    ASSERT_TRUE(reader.loadProgramBankFile(config + "/ValvoramaLive settings.dat"));
    EXPECT_STREQ(reader.programName(5), "Crunch");
  }
}

TEST(LiveHost, ABankItCannotReadIsLeftAsItIs) {
  Folder folder;
  const std::string config = folder.path("config");
  const std::string bank = config + "/ValvoramaLive settings.dat";
  fs::create_directories(config);
  const std::string damaged = "not a program bank, but the player's file";
  std::ofstream(bank) << damaged;

  TracedLive live(folder, config);
  ASSERT_TRUE(live.reaches("trace: audio started"));
  EXPECT_EQ(live.stopBy(SIGTERM), 0);
  const std::string err = readText(folder.path("err.txt"));
  EXPECT_NE(err.find("cannot read the program bank"), std::string::npos) << err;
  EXPECT_NE(err.find("trace: bank kept"), std::string::npos) << err;
  EXPECT_EQ(readText(bank), damaged);
}

TEST(LiveHost, ABankChangedWhileItPlaysIsNotReverted) {
  Folder folder;
  const std::string config = folder.path("config");
  const std::string bank = config + "/ValvoramaLive settings.dat";
  fs::create_directories(config);
  plugin::vlvrProcessor writer;
  writer.initialize();
  ASSERT_TRUE(writer.saveProgramBankFile(bank));

  TracedLive live(folder, config);
  ASSERT_TRUE(live.reaches("trace: audio started"));
  writer.setProgram(2);
  writer.setProgramName("Imported");  // as `valvorama bank import` does meanwhile
  ASSERT_TRUE(writer.saveProgramBankFile(bank));
  EXPECT_EQ(live.stopBy(SIGTERM), 0);

  plugin::vlvrProcessor reader;
  reader.initialize();
  ASSERT_TRUE(reader.loadProgramBankFile(bank));
  EXPECT_STREQ(reader.programName(2), "Imported");
}

// The frame count the host traced when it stopped the device.
long long framesAtStop(const std::string& err) {
  const std::string mark = "trace: audio stopped running=0 frames=";
  const size_t at = err.find(mark);
  return at == std::string::npos ? -1 : std::atoll(err.c_str() + at + mark.size());
}

// A settings folder naming the fixture's loopback device, written as a user writes it.
std::string loopbackSettings(const Folder& folder) {
  const std::string config = folder.path("config");
  const std::string device = testsupport::JackServer::kLoopbackDeviceName;
  const Outcome set = run(folder, {kTool, "hardware", "--config", config, "AudioTechnology=DirectX",
                                   "CurInDeviceName=" + device, "CurOuDeviceName=" + device,
                                   "SelectedFrequencies=48000", "SelectedBufSize=256"});
  EXPECT_EQ(set.status, 0) << set.err;
  return config;
}

class LiveLoopback : public testsupport::JackServerTest {};

TEST_F(LiveLoopback, PlaysUntilSigtermThenStopsInOrder) {
  Folder folder;
  const std::string config = loopbackSettings(folder);
  TracedLive live(folder, config);
  ASSERT_TRUE(live.reaches("trace: audio flowing"));
  EXPECT_EQ(live.stopBy(SIGTERM), 0);

  const std::string device = testsupport::JackServer::kLoopbackDeviceName;
  EXPECT_EQ(readText(folder.path("out.txt"))
                .rfind("audio: DirectX, in \"" + device + "\", out \"" + device +
                           "\", 48000 Hz, 256 frames, latency ",
                       0),
            0u)
      << readText(folder.path("out.txt"));
  const std::string err = readText(folder.path("err.txt"));
  expectShutdownOrder(err, SIGTERM);
  EXPECT_GT(framesAtStop(err), 0) << err;
  EXPECT_EQ(fs::file_size(config + "/ValvoramaLive settings.dat"), 69690u);
}

TEST_F(LiveLoopback, ADeviceThatGoesAwayIsReportedAndTheHostStillStops) {
  Folder folder;
  const std::string config = loopbackSettings(folder);
  TracedLive live(folder, config);
  ASSERT_TRUE(live.reaches("trace: audio flowing"));
  server_->kill();
  EXPECT_TRUE(live.reaches("the device went away or stopped answering"));
  EXPECT_EQ(live.stopBy(SIGTERM), 0);
  expectShutdownOrder(readText(folder.path("err.txt")), SIGTERM);
}

TEST(LiveHost, StartUpFailuresSayFailed) {
  Folder folder;
  // Without its resource file beside it (nor in a share folder) the program cannot start.
  fs::create_directories(folder.path("bin"));
  fs::copy_file(kLive, folder.path("bin/valvorama-live"));
  Outcome r = run(
      folder, {folder.path("bin/valvorama-live"), "--headless", "--config", folder.path("config")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("Failed !\n", 0), 0u) << r.err;
  EXPECT_NE(r.err.find(folder.path("bin/ValvoramaLive.xrs")), std::string::npos) << r.err;

  // A damaged update file in the settings folder stops it too, and nothing is written.
  fs::create_directories(folder.path("config"));
  std::ofstream(folder.path("config/ValvoramaUpdate.xrs")) << "not a resource file";
  r = run(folder, {kLive, "--headless", "--config", folder.path("config")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("Failed !\n", 0), 0u) << r.err;
  EXPECT_FALSE(fs::exists(folder.path("config/ValvoramaLive settings.dat")));
}

TEST(HardwareCommand, EditsCheckEverythingBeforeWriting) {
  Folder folder;
  const std::string config = folder.path("config");
  const std::string file = config + "/VRLiveHardware.prf";
  auto hardware = [&](std::vector<std::string> edits) {
    edits.insert(edits.begin(), {kTool, "hardware", "--config", config});
    return run(folder, edits);
  };

  // Showing reads only: no folder appears.
  Outcome r = hardware({});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("AudioTechnology=\n"), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(config));

  // A new technology starts from the dialog's 44100 Hz and 1024 frames.
  r = hardware({"audiotechnology=DirectX", "CurOuDeviceName=My USB Interface"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string written = readText(file);
  EXPECT_NE(written.find("AudioTechnology:\"DirectX\"\r\n"), std::string::npos) << written;
  EXPECT_NE(written.find("CurOuDeviceName:\"My USB Interface\"\r\n"), std::string::npos);
  EXPECT_NE(written.find("SelectedFrequencies:\"44100\"\r\n"), std::string::npos);
  EXPECT_NE(written.find("SelectedBufSize:\"1024\"\r\n"), std::string::npos);

  const struct {
    std::vector<std::string> edits;
    const char* says;
  } refused[] = {
      {{"SelectedFrequencies=48000", "Nonsense=1"}, "unknown key 'Nonsense'"},
      {{"SelectedFrequencies=fast"}, "SelectedFrequencies: "},
      {{"AudioTechnology=directx"}, "AudioTechnology: "},
      {{"CurInChannelIndex=1", "CurOuChannelLeftIndex=-7"}, "CurOuChannelLeftIndex: "},
      {{"CurInDeviceName=say \"hi\""}, "CurInDeviceName: "},
      {{"SelectedBufSize"}, "expected KEY=VALUE"},
      {{"--rate=5"}, "unknown option"},
  };
  for (const auto& c : refused) {
    r = hardware(c.edits);
    EXPECT_EQ(r.status, 2) << c.says;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;  // one line
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(readText(file), written) << c.says;
  }

  // A file that cannot be read is not replaced by fresh values.
  fs::remove(file);
  fs::create_directories(file);
  r = hardware({"SelectedFrequencies=48000"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("cannot read"), std::string::npos) << r.err;
  EXPECT_TRUE(fs::is_directory(file));
}

}  // namespace
