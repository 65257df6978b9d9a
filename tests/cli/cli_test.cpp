// The valvorama binary, run as a user runs it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <sndfile.hh>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <map>
#include <numeric>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "live/child_process.h"
#include "support/signals.h"

namespace {

namespace fs = std::filesystem;
using livetest::readText;
using testsupport::pluckedNote;
constexpr int kRate = 44100;

using Result = livetest::Outcome;

struct Sound {
  int format, channels, rate;
  long frames;
  std::vector<float> samples;
};

class Cli : public ::testing::Test {
 protected:
  std::string path(const std::string& name) const { return folder_.path(name); }

  // Runs the binary in the test's folder, which is also its settings folder.
  Result run(const std::string& arguments) const {
    return livetest::run(folder_,
                         {"/bin/sh", "-c", inFolder("exec '" VALVORAMA_BINARY "' " + arguments)},
                         {"XDG_CONFIG_HOME=" + folder_.path()});
  }
  std::string inFolder(const std::string& command) const {
    return "cd '" + folder_.path() + "' && " + command;
  }

  // A mistake: status 2, one line on stderr, and no file of the folder touched.
  void expectRefused(const std::string& arguments) const {
    const auto before = snapshot();
    const Result r = run(arguments);
    EXPECT_EQ(r.status, 2) << arguments;
    EXPECT_TRUE(!r.err.empty() && r.err.find('\n') == r.err.size() - 1)
        << arguments << ": one line, got " << r.err;
    EXPECT_EQ(snapshot(), before) << arguments;
  }

  void writeWav(const std::string& name, const std::vector<float>& mono, int rate = kRate) const {
    SndfileHandle file(path(name), SFM_WRITE, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, rate);
    ASSERT_EQ(file.writef(mono.data(), sf_count_t(mono.size())), sf_count_t(mono.size()));
  }
  Sound readWav(const std::string& name) const {
    SndfileHandle file(path(name));
    Sound s{file.format(), file.channels(), file.samplerate(), long(file.frames()), {}};
    s.samples.resize(size_t(s.frames * s.channels));
    file.readf(s.samples.data(), s.frames);
    return s;
  }

  // Starts a program in the test's folder without a shell, its output thrown away.
  pid_t spawn(std::vector<std::string> program) const {
    std::vector<char*> argv;
    for (auto& a : program)
      argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 1);
      ::dup2(null, 2);
      if (::chdir(folder_.path().c_str()) == 0) ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    return child;
  }

  // Every file of the folder but the captured output, with its bytes.
  std::map<std::string, std::string> snapshot() const {
    std::map<std::string, std::string> files;
    for (const std::string& name : folder_.names()) {
      if (name != "out.txt" && name != "err.txt")
        files[name] = fs::is_regular_file(path(name)) ? readText(path(name)) : "(not a file)";
    }
    return files;
  }

  livetest::Folder folder_;
};

TEST_F(Cli, RenderWritesAlignedStereoOfInputPlusTailSetFollowsTheVolumeLawAndTuneReadsTheNote) {
  std::vector<float> di(10000, 0.0f);  // silence, then an A 10 cents sharp
  const auto note = pluckedNote(110.0 * std::pow(2.0, 10.0 / 1200.0), 1.0, 0.5f);
  di.insert(di.end(), note.begin(), note.end());
  writeWav("di.wav", di);
  ASSERT_EQ(run("render --set \"speaker mode=1\" di.wav out.wav").status, 0);
  const Sound out = readWav("out.wav");
  EXPECT_EQ(std::tuple(out.rate, out.channels, out.frames),
            std::tuple(kRate, 2, 10000 + kRate + 2 * kRate));
  // The latency is removed: the note starts where it starts in the input.
  const auto onset = [this](const char* name) {
    const auto x = readWav(name).samples;
    const auto heard = [](float v) { return std::fabs(v) > 1e-3f; };
    return (std::find_if(x.begin(), x.end(), heard) - x.begin()) / 2;
  };
  EXPECT_NEAR(onset("out.wav"), 10004, 4);
  ASSERT_EQ(run("render --keep-latency --set 21=1 di.wav late.wav").status, 0);
  EXPECT_EQ(onset("late.wav"), onset("out.wav") + 64);

  // Quiet enough for every stage after the master volume to stay linear. Amp choice 2 (crunch)
  // has the full volume law: -32 dB at 0 to -8.2 dB at 127.
  writeWav("quiet.wav", pluckedNote(110.0, 1.0, 0.003f));
  ASSERT_EQ(run("render --set 20=2 --set volume=0 --tail 0 quiet.wav low.wav").status, 0);
  ASSERT_EQ(run("render --set 20=2 --set VOLUME=127 --tail 0 quiet.wav high.wav").status, 0);
  const auto energy = [this](const char* name) {
    const auto x = readWav(name).samples;
    return std::inner_product(x.begin(), x.end(), x.begin(), 0.0);
  };
  EXPECT_NEAR(10 * std::log10(energy("high.wav") / energy("low.wav")), 127.0 / 128.0 * 24.0, 1.0);

  // Lines come only on changes, so the last is the reading at the end of the note.
  const std::string tuned = run("tune di.wav").out;
  char name[8] = {};
  int cents = 99;
  EXPECT_EQ(
      std::sscanf(&tuned[tuned.rfind('\n', tuned.size() - 2) + 1], "%*f %7s %d", name, &cents), 2)
      << tuned;
  EXPECT_EQ(std::string(name), "A") << tuned;
  EXPECT_NEAR(cents, 10, 2) << tuned;
}

TEST_F(Cli, MistakesExitWithStatus2AndTouchNoFile) {
  const auto note = pluckedNote(110.0, 0.2, 0.3f);
  writeWav("di.wav", note);
  writeWav("low.wav", note, 7999);
  // A header claiming 2147483647 Hz.
  std::string huge = readText(path("di.wav"));
  const int32_t rate = 2147483647;
  huge.replace(24, 4, reinterpret_cast<const char*>(&rate), 4);
  std::ofstream(path("huge.wav"), std::ios::binary) << huge;
  ASSERT_EQ(run("bank write bank.dat").status, 0);
  std::ofstream(path("empty.txt")) << "";
  std::ofstream(path("loud.txt")) << "Volume:200\r\n";
  fs::create_directory(path("ValvoramaLive"));
  ASSERT_EQ(run("bank write \"ValvoramaLive/ValvoramaLive settings.dat\"").status, 0);
  fs::create_symlink("di.wav", path("link.wav"));
  for (const char* mistake :
       {"render missing.wav out.wav", "render --set nosuch=3 di.wav out.wav",
        "render --set \"wah mode=1\" di.wav out.wav",  // shared by two parameters
        "render --set volume=200 di.wav out.wav", "render --tail x di.wav out.wav",
        "render di.wav no/such/folder/out.wav", "effect 1222 di.wav out.wav", "frobnicate",
        "render --no-such-option di.wav out.wav", "render --bank \"\" di.wav out.wav",
        "render di.wav out.xyz", "render low.wav out.wav", "render huge.wav out.wav",
        // Files that are no program, and a value out of its range.
        "bank import bank.dat 3 empty.txt", "bank import bank.dat 3 loud.txt",
        // Writing over what is read, also the settings read by default.
        "render di.wav link.wav", "bank import bank.dat 3 bank.dat",
        "render di.wav \"ValvoramaLive/ValvoramaLive settings.dat\""}) {
    expectRefused(mistake);
  }
}

TEST_F(Cli, BankImportsRunConcurrentlyAndTheListingIsEscaped) {
  ASSERT_EQ(run("bank write bank.dat").status, 0);
  ASSERT_EQ(run("bank export bank.dat 1 one.txt").status, 0);
  const std::string one = readText(path("one.txt"));
  const auto volumeAt = one.find("Volume:80");
  ASSERT_NE(volumeAt, std::string::npos) << one;
  // Two shells import at once, one into programs 11..20 with volume 11, one into 21..30 with 22.
  std::optional<livetest::ChildProcess> shells[2];
  for (int w = 1; w <= 2; ++w) {
    const std::string file = "volume" + std::to_string(w) + ".txt";
    std::ofstream(path(file)) << std::string(one).replace(volumeAt, 9,
                                                          "Volume:" + std::to_string(11 * w));
    const std::string loop =
        "for n in $(seq " + std::to_string(10 * w + 1) + " " + std::to_string(10 * w + 10) +
        "); do '" VALVORAMA_BINARY "' bank import bank.dat $n " + file + " || exit 1; done";
    shells[w - 1].emplace(std::vector<std::string>{"/bin/sh", "-c", inFolder(loop)},
                          std::vector<std::string>{}, "/dev/null", "/dev/null");
  }
  for (auto& shell : shells)
    EXPECT_EQ(shell->waitExit(std::chrono::seconds(60)), 0);
  // Program 1's name retitles and clears a terminal, breaks the line, and carries a C1 CSI, a
  // stray byte and DEL.
  std::string bank = readText(path("bank.dat"));
  const char name[] = "\x1b]0;owned\x07\x1b[2J\nline\\ \xc2\x9b \xff o\x7f \xc3\xa9";
  bank.replace(58, sizeof name, name, sizeof name);
  std::ofstream(path("bank.dat"), std::ios::binary) << bank;

  const Result listing = run("bank list bank.dat");
  ASSERT_EQ(listing.status, 0);
  std::istringstream lines(listing.out);
  std::vector<std::string> rows;
  for (std::string line; std::getline(lines, line);)
    rows.push_back(line);
  ASSERT_EQ(rows.size(), 129u);
  // Numbered as export and import take them.
  EXPECT_EQ(
      rows[1].rfind(
          "1    \\x1B]0;owned\\x07\\x1B[2J\\x0Aline\\x5C \\xC2\\x9B \\xFF o\\x7F \xc3\xa9", 0),
      0u)
      << rows[1];
  for (int p = 11; p <= 30; ++p)  // the volume, then three columns of 0
    EXPECT_NE(rows[size_t(p)].find((p <= 20 ? " 11" : " 22") + std::string("   0   0   0")),
              std::string::npos)
        << rows[size_t(p)];
}

TEST_F(Cli, OutputsFollowTheExtensionAndAPipeTakesNoWav) {
  writeWav("di.wav", pluckedNote(110.0, 0.05, 0.3f));
  // The last name is the longest a folder takes.
  for (const auto& [name, format] : std::vector<std::pair<std::string, int>>{
           {"OUT.FLAC", SF_FORMAT_FLAC}, {std::string(251, 'n') + ".wav", SF_FORMAT_WAV}}) {
    const Result r = run("render --tail 0 di.wav '" + name + "'");
    ASSERT_EQ(r.status, 0) << name << ": " << r.err;
    EXPECT_EQ(readWav(name).format & SF_FORMAT_TYPEMASK, format) << name;
    fs::remove(path(name));
    EXPECT_EQ(snapshot().size(), 1u) << name;  // di.wav alone: no temporary left
  }

  // A reader waits on the pipe, so opening it to write does not block.
  ASSERT_EQ(::mkfifo(path("pipe.wav").c_str(), 0600), 0);
  const int reader = ::open(path("pipe.wav").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  expectRefused("render --tail 0 di.wav pipe.wav");  // WAV seeks back to its header
  ::close(reader);
}

TEST_F(Cli, LongRendersStayInLittleMemoryAndLeaveNoTemporaryWhenSignalled) {
  writeWav("di.wav", pluckedNote(110.0, 1.0, 0.5f));
  const pid_t child = spawn({VALVORAMA_BINARY, "render", "--tail", "600", "di.wav", "long.flac"});
  int status = 0;
  rusage usage{};
  ASSERT_EQ(::wait4(child, &status, 0, &usage), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  EXPECT_LT(usage.ru_maxrss, 16 * 1024);  // kilobytes; a sanitizer's shadow memory would count
#endif
  EXPECT_EQ(readWav("long.flac").frames, 601L * kRate);
  fs::remove(path("long.flac"));

  const int probe = ::open(folder_.path().c_str(), O_TMPFILE | O_WRONLY, 0600);
  const bool unnamed = probe >= 0;  // only an unnamed temporary can survive kill -9 unseen
  if (unnamed) ::close(probe);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
    if (signal == SIGKILL && !unnamed) continue;
    const pid_t child = spawn({VALVORAMA_BINARY, "render", "--tail", "600", "di.wav", "out.wav"});
    // Signalled once it holds a file of the folder open besides its input: the output.
    const auto writing = [&] {
      std::error_code ec;
      for (auto it = fs::directory_iterator("/proc/" + std::to_string(child) + "/fd", ec);
           !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string target = fs::read_symlink(it->path(), ec).string();
        if (target.rfind(folder_.path() + "/", 0) == 0 && target != path("di.wav")) return true;
      }
      return false;
    };
    for (int wait = 0; wait < 3000 && !writing(); ++wait)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(writing()) << signal;
    ::kill(child, signal);
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal;
    EXPECT_EQ(snapshot().size(), 1u) << signal;  // di.wav alone
  }
}

TEST_F(Cli, NonFiniteInputIsSilenceAndSaidSo) {
  std::vector<float> input = pluckedNote(110.0, 2.0, 0.5f);
  input[22050] = std::nanf("");
  input[44100] = -INFINITY;
  writeWav("di.wav", input);
  // Options may also follow the arguments, and take their value after '='.
  for (const char* command :
       {"render di.wav out.flac --tail=0.5", "effect 1204 di.wav out.flac --tail 0.5"}) {
    const Result r = run(command);
    ASSERT_EQ(r.status, 0) << command << ": " << r.err;
    EXPECT_NE(r.out.find("2 non-finite samples in the input were treated as silence\n"),
              std::string::npos)
        << command << ": " << r.out;
    const Sound out = readWav("out.flac");
    EXPECT_EQ(std::pair(out.channels, out.frames), std::pair(2, long(2.5 * kRate))) << command;
    // Neither NaN nor the full-scale negative DC an integer format turns it into.
    EXPECT_EQ(std::count_if(out.samples.begin(), out.samples.end(),
                            [](float x) { return !(std::fabs(x) < 0.99f); }),
              0)
        << command;
  }
}

}  // namespace
