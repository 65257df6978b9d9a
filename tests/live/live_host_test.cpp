// valvorama-live --headless and the two commands that set it up, run as a user runs them.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "plugin/vlvr_processor.h"
#include "support/jack/jack_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using livetest::Folder;
using livetest::Outcome;
using livetest::readText;
using livetest::run;

constexpr const char* kLive = VALVORAMA_LIVE_BINARY;
constexpr const char* kTool = VALVORAMA_BINARY;
constexpr size_t npos = std::string::npos;

struct TracedLive : livetest::ChildProcess {
  TracedLive(const Folder& folder, const std::string& config)
      : ChildProcess({kLive, "--headless", "--config", config}, {"VALVORAMA_LIVE_TRACE=1"},
                     folder.path("out.txt"), folder.path("err.txt")),
        err(folder.path("err.txt")) {}
  // `mark` written within a start-up limit generous for a loaded machine.
  testing::AssertionResult reaches(const std::string& mark) {
    if (livetest::waitForText(err, mark)) return testing::AssertionSuccess();
    return testing::AssertionFailure() << readText(err);
  }
  // Stopping is quick and keeps its order: the bank is written while everything still exists.
  void stopBy(int stopSignal) {
    signal(stopSignal);
    EXPECT_EQ(waitExit(2s), 0);
    const std::vector<std::string> steps = {"stop signal " + std::to_string(stopSignal),
                                            "bank ",  // written, or unchanged
                                            "audio stopped running=0",
                                            "audio deleted",
                                            "processor closed rack=0",
                                            "processor deleted engine=0"};
    EXPECT_EQ(livetest::stepsInOrder(readText(err), steps), steps.size()) << readText(err);
  }
  const std::string err;
};

TEST(LiveHost, CommandLine) {
  const struct {
    std::vector<std::string> arguments;
    int status;
    const char* says;
  } cases[] = {
      {{kLive}, 2, "run 'valvorama-live --headless'"},  // no display (DISPLAY is emptied)
      {{kLive, "--bogus"}, 2, "unknown argument --bogus"},
      {{kLive, "--screenshot", "a.png", "--after", "soon"}, 2, "--after takes seconds"},
      {{kLive, "--headless", "--learn", "tempo"}, 2, "--learn cannot learn"},
  };
  for (const auto& c : cases) {
    Folder folder;
    const Outcome r = run(folder, c.arguments, {"DISPLAY="});
    EXPECT_EQ(r.status, c.status) << c.arguments.back();
    EXPECT_NE((r.out + r.err).find(c.says), npos) << r.out << r.err;
  }

  // Without its resource file beside it (nor in a share folder) the program cannot start.
  Folder folder;
  fs::create_directories(folder.path("bin"));
  fs::copy_file(kLive, folder.path("bin/valvorama-live"));
  const Outcome r = run(
      folder, {folder.path("bin/valvorama-live"), "--headless", "--config", folder.path("config")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("Failed !\n", 0), 0u) << r.err;
  EXPECT_NE(r.err.find(folder.path("bin/ValvoramaLive.xrs")), npos) << r.err;
  EXPECT_FALSE(fs::exists(folder.path("config")));
}

TEST(LiveHost, WithoutHardwareSettingsItRunsSilentKeepsItsBankAndStopsOnAnyStopSignal) {
  const std::string damaged = "not a program bank, but the player's file";
  for (const int stopSignal : {SIGINT, SIGHUP}) {
    SCOPED_TRACE(stopSignal);
    Folder folder;
    const std::string config = folder.path("config"), bank = config + "/ValvoramaLive settings.dat";
    fs::create_directories(config);
    // With SIGINT a bank it cannot read, which it leaves as it is; with SIGHUP one from an
    // earlier run, replaced while it runs, which it must not write back unchanged.
    plugin::vlvrProcessor writer;
    writer.initialize();
    writer.setProgramName("Crunch");
    if (stopSignal == SIGINT)
      std::ofstream(bank) << damaged;
    else
      ASSERT_TRUE(writer.saveProgramBankFile(bank));

    TracedLive live(folder, config);
    ASSERT_TRUE(live.reaches("trace: audio started"));
    if (stopSignal == SIGHUP) {  // as `valvorama bank import` does meanwhile
      writer.setProgramName("Imported");
      ASSERT_TRUE(writer.saveProgramBankFile(bank));
    }
    live.stopBy(stopSignal);
    const std::string err = readText(live.err);
    EXPECT_NE(err.find("valvorama-live: no audio technology selected: run valvorama devices / "
                       "valvorama hardware"),
              npos)
        << err;
    EXPECT_FALSE(fs::exists(config + "/VRLiveHardware.prf"));  // reading creates nothing
    if (stopSignal == SIGINT) {
      EXPECT_NE(err.find("cannot read the program bank"), npos) << err;
      EXPECT_NE(err.find("trace: bank kept"), npos) << err;
      EXPECT_EQ(readText(bank), damaged);
      continue;
    }
    plugin::vlvrProcessor reader;
    reader.initialize();
    ASSERT_TRUE(reader.loadProgramBankFile(bank));
    EXPECT_STREQ(reader.programName(0), "Imported") << "reverted";
  }
}

class LiveLoopback : public testsupport::JackServerTest {};

TEST_F(LiveLoopback, PlaysUntilTheDeviceGoesAwayAndStillStopsInOrder) {
  Folder folder;
  const std::string config = folder.path("config");
  const std::string device = testsupport::JackServer::kLoopbackDeviceName;
  const Outcome set = run(folder, {kTool, "hardware", "--config", config, "AudioTechnology=DirectX",
                                   "CurInDeviceName=" + device, "CurOuDeviceName=" + device,
                                   "SelectedFrequencies=48000", "SelectedBufSize=256"});
  ASSERT_EQ(set.status, 0) << set.err;

  TracedLive live(folder, config);
  ASSERT_TRUE(live.reaches("trace: audio flowing"));
  server_->kill();
  EXPECT_TRUE(live.reaches("the device went away or stopped answering"));
  live.stopBy(SIGTERM);
  const std::string err = readText(live.err), mark = "trace: audio stopped running=0 frames=";
  ASSERT_NE(err.find(mark), npos) << err;
  EXPECT_GT(std::atoll(err.c_str() + err.find(mark) + mark.size()), 0) << err;
  EXPECT_EQ(fs::file_size(config + "/ValvoramaLive settings.dat"), 69690u);
}

TEST(HardwareCommand, EditsCheckEverythingBeforeWriting) {
  Folder folder;
  const std::string config = folder.path("config"), file = config + "/VRLiveHardware.prf";
  auto hardware = [&](std::vector<std::string> edits) {
    edits.insert(edits.begin(), {kTool, "hardware", "--config", config});
    return run(folder, edits);
  };
  Outcome r = hardware({});  // showing reads only: no folder appears
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("AudioTechnology=\n"), npos) << r.out;
  EXPECT_FALSE(fs::exists(config));

  r = hardware({"audiotechnology=DirectX"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string written = readText(file);
  EXPECT_NE(written.find("AudioTechnology:\"DirectX\"\r\n"), npos) << written;

  // One bad edit refuses them all: one line, and nothing written.
  r = hardware({"SelectedFrequencies=48000", "Nonsense=1"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
  EXPECT_NE(r.err.find("unknown key 'Nonsense'"), npos) << r.err;
  EXPECT_EQ(readText(file), written);

  // A file that cannot be read is not replaced by fresh values.
  fs::remove(file);
  fs::create_directories(file);
  r = hardware({"SelectedFrequencies=48000"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("cannot read"), npos) << r.err;
  EXPECT_TRUE(fs::is_directory(file));
}

}  // namespace
