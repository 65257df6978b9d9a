// The valvorama binary, run as a user runs it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <map>
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

using Result = livetest::Outcome;  // status empty for a death by signal

struct Sound {
  SF_INFO info{};
  std::vector<float> samples;
};

class Cli : public ::testing::Test {
 protected:
  Cli() { fs::create_directories(dir_); }
  ~Cli() override { fs::remove_all(dir_); }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  // Runs the binary in the test's folder, which is also its settings folder.
  Result run(const std::string& arguments) const {
    const std::string dir = "'" + dir_.string() + "'";
    const std::string command = "cd " + dir + " && XDG_CONFIG_HOME=" + dir +
                                " '" VALVORAMA_BINARY "' " + arguments +
                                " >stdout.txt 2>stderr.txt";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? std::optional(WEXITSTATUS(raw)) : std::nullopt,
            readText(path("stdout.txt")), readText(path("stderr.txt"))};
  }

  // A mistake: status 2, one line on stderr, and no file of the folder touched.
  void expectRefused(const std::string& arguments) const {
    const auto before = snapshot();
    const Result r = run(arguments);
    EXPECT_EQ(r.status, 2) << arguments;
    EXPECT_TRUE(!r.err.empty() && r.err.find('\n') == r.err.size() - 1)
        << arguments << ": one line, got " << r.err;
    for (const char* vague : {"std::", "No Error", "SF_INFO"})
      EXPECT_EQ(r.err.find(vague), std::string::npos) << arguments << ": " << r.err;
    EXPECT_EQ(snapshot(), before) << arguments;
  }

  void writeWav(const std::string& name, const std::vector<float>& mono, int rate = kRate) const {
    SF_INFO info{0, rate, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0, 0};
    SNDFILE* f = sf_open(path(name).c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    sf_writef_float(f, mono.data(), sf_count_t(mono.size()));
    sf_close(f);
  }
  Sound readWav(const std::string& name) const {
    Sound s;
    SNDFILE* f = sf_open(path(name).c_str(), SFM_READ, &s.info);
    if (!f) return s;
    s.samples.resize(size_t(s.info.frames) * size_t(s.info.channels));
    sf_readf_float(f, s.samples.data(), s.info.frames);
    sf_close(f);
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
      if (::chdir(dir_.c_str()) == 0) ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    return child;
  }

  // Every file of the folder but the captured output, with its bytes.
  std::map<std::string, std::string> snapshot() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(dir_)) {
      const std::string name = entry.path().filename().string();
      if (name == "stdout.txt" || name == "stderr.txt") continue;
      files[name] = entry.is_regular_file() ? readText(entry.path()) : "(not a regular file)";
    }
    return files;
  }

  const fs::path dir_ =
      fs::temp_directory_path() / ("valvorama_cli_" + std::to_string(::getpid()) + "_" +
                                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
};

int firstAbove(const std::vector<float>& interleaved, float threshold) {
  for (size_t i = 0; i < interleaved.size(); i += 2) {
    if (std::fabs(interleaved[i]) > threshold) return int(i / 2);
  }
  return -1;
}

double rmsDb(const std::vector<float>& x) {
  double sum = 0;
  for (float v : x)
    sum += double(v) * v;
  return 10 * std::log10(sum / double(x.size()));
}

TEST_F(Cli, RenderWritesAlignedStereoOfInputPlusTailAndSetFollowsTheVolumeLaw) {
  std::vector<float> di(10000, 0.0f);
  const auto note = pluckedNote(110.0, 1.0, 0.5f);
  di.insert(di.end(), note.begin(), note.end());
  writeWav("di.wav", di);
  ASSERT_EQ(run("render --set \"speaker mode=1\" di.wav out.wav").status, 0);
  const Sound out = readWav("out.wav");
  EXPECT_EQ(std::tuple(out.info.samplerate, out.info.channels, out.info.frames),
            std::tuple(kRate, 2, 10000 + kRate + 2 * kRate));
  EXPECT_EQ(std::count_if(out.samples.begin(), out.samples.end(),
                          [](float x) { return !(std::fabs(x) <= 1.0f); }),
            0);
  // The latency is removed: the note starts where it starts in the input.
  const int onset = firstAbove(out.samples, 1e-3f);
  EXPECT_GE(onset, 10000);
  EXPECT_LE(onset, 10000 + 8);
  ASSERT_EQ(run("render --keep-latency --set 21=1 di.wav late.wav").status, 0);
  EXPECT_EQ(firstAbove(readWav("late.wav").samples, 1e-3f), onset + 64);

  // Quiet enough for every stage after the master volume to stay linear. Amp choice 2 (crunch)
  // has the full volume law: -32 dB at 0 to -8.2 dB at 127.
  writeWav("quiet.wav", pluckedNote(110.0, 1.0, 0.003f));
  ASSERT_EQ(run("render --set 20=2 --set volume=0 --tail 0 quiet.wav low.wav").status, 0);
  ASSERT_EQ(run("render --set 20=2 --set VOLUME=127 --tail 0 quiet.wav high.wav").status, 0);
  const double difference = rmsDb(readWav("high.wav").samples) - rmsDb(readWav("low.wav").samples);
  EXPECT_NEAR(difference, 127.0 / 128.0 * 24.0, 1.0);

  ASSERT_EQ(run("render --demo --tail 0 a.wav").status, 0);
  ASSERT_EQ(run("render --demo --tail 0 b.wav").status, 0);
  const Sound a = readWav("a.wav");
  EXPECT_GT(a.info.frames, 9 * kRate);
  EXPECT_EQ(a.samples, readWav("b.wav").samples) << "the demo phrase is the same every time";
}

TEST_F(Cli, MistakesExitWithStatus2AndTouchNoFile) {
  const auto note = pluckedNote(110.0, 0.2, 0.3f);
  writeWav("di.wav", note);
  writeWav("low.wav", note, 7999);
  writeWav("high.wav", note, 384001);
  // A header claiming 2147483647 Hz.
  std::string huge = readText(path("di.wav"));
  const int32_t rate = 2147483647;
  huge.replace(24, 4, reinterpret_cast<const char*>(&rate), 4);
  std::ofstream(path("huge.wav"), std::ios::binary) << huge;
  ASSERT_EQ(run("bank write bank.dat").status, 0);
  std::ofstream(path("passwd.txt")) << "root:x:0:0:root:/root:/bin/bash\n";
  std::ofstream(path("empty.txt")) << "";
  std::ofstream(path("loud.txt")) << "Volume:200\r\n";
  fs::create_directory(path("ValvoramaLive"));
  ASSERT_EQ(run("bank write \"ValvoramaLive/ValvoramaLive settings.dat\"").status, 0);
  fs::create_symlink("di.wav", path("link.wav"));
  for (const char* mistake :
       {"render missing.wav out.wav", "render --set nosuch=3 di.wav out.wav",
        "render --set \"wah mode=1\" di.wav out.wav",  // shared by two parameters
        "render --set volume=200 di.wav out.wav", "render --program 129 di.wav out.wav",
        "render --tail x di.wav out.wav", "render di.wav no/such/folder/out.wav",
        "render --bank missing.dat di.wav out.wav", "tune missing.wav",
        "effect 1222 di.wav out.wav", "effect 1204 --cc 3=1 di.wav out.wav",
        "bank list missing.dat", "frobnicate", "render --no-such-option di.wav out.wav",
        // Sample rates the amp is not built for.
        "render low.wav out.wav", "render high.wav out.wav", "render huge.wav out.wav",
        "tune huge.wav", "effect 1204 huge.wav out.wav",
        // Values that are not there or not meant.
        "effect 1204 --tempo \"\" di.wav out.wav", "render --bank \"\" di.wav out.wav",
        "render di.wav out.xyz", "render di.wav out.opus",  // Opus has no 44.1 kHz
        "render -- --tail di.wav",
        // Files that are no program, and a value out of its range.
        "bank import bank.dat 3 di.wav", "bank import bank.dat 3 passwd.txt",
        "bank import bank.dat 3 empty.txt", "bank import bank.dat 3 loud.txt",
        // Writing over what is read, also the settings read by default.
        "render di.wav ./di.wav", "render di.wav link.wav", "effect 1204 di.wav di.wav",
        "bank export bank.dat 1 bank.dat", "bank import bank.dat 3 bank.dat",
        "render --bank bank.dat di.wav bank.dat", "render --demo --bank bank.dat ./bank.dat",
        "render di.wav \"ValvoramaLive/ValvoramaLive settings.dat\""}) {
    expectRefused(mistake);
  }
  // An imported value out of range reads as the same value given to --set.
  const std::string imported = run("bank import bank.dat 3 loud.txt").err;
  const std::string set = run("render --set Volume=200 di.wav out.wav").err;
  EXPECT_EQ(imported.substr(imported.find(": ")), set.substr(set.find(": ")));
  // The listing of a wrong name names the choices.
  EXPECT_NE(run("render --set nosuch=3 di.wav out.wav").err.find("\"Preamp Gain\""),
            std::string::npos);
}

TEST_F(Cli, TunePrintsTheNotesOfAFile) {
  std::vector<float> notes = pluckedNote(110.0, 2.0, 0.5f);
  const auto d = pluckedNote(146.83 * std::pow(2.0, 10.0 / 1200.0), 2.0, 0.5f);
  notes.insert(notes.end(), d.begin(), d.end());
  writeWav("notes.wav", notes);
  const Result r = run("tune notes.wav");
  ASSERT_EQ(r.status, 0) << r.err;
  // What the tuner shows at the end of each note: A, then D about 10 cents sharp. Lines are
  // printed only on changes, so the reading at a time is the last line before it.
  std::istringstream lines(r.out);
  std::string line, lastA, lastD;
  int centsA = 99, centsD = 99;
  while (std::getline(lines, line)) {
    double seconds;
    char note[8];
    int cents;
    if (std::sscanf(line.c_str(), "%lf %7s %d", &seconds, note, &cents) != 3) continue;
    if (seconds < 1.95) std::tie(lastA, centsA) = std::pair(note, cents);
    if (seconds < 3.95) std::tie(lastD, centsD) = std::pair(note, cents);
  }
  EXPECT_EQ(lastA, "A") << r.out;
  EXPECT_LE(std::abs(centsA), 2) << r.out;
  EXPECT_EQ(lastD, "D") << r.out;
  EXPECT_NEAR(centsD, 10, 2) << r.out;
}

// An exported program's text with its volume of 80 made `volume`; empty without that line.
std::string withVolume(const std::string& exported, int volume) {
  std::string settings = exported;
  const auto at = settings.find("Volume:80");
  return at == std::string::npos ? "" : settings.replace(at, 9, "Volume:" + std::to_string(volume));
}

TEST_F(Cli, BankWriteExportImportConcurrentlyAndAnEscapedListing) {
  ASSERT_EQ(run("bank write bank.dat").status, 0);
  EXPECT_EQ(fs::file_size(path("bank.dat")), 69690u);
  ASSERT_EQ(run("bank export bank.dat 1 one.txt").status, 0);
  const std::string one = readText(path("one.txt"));
  ASSERT_NE(withVolume(one, 99), "") << one;
  std::ofstream(path("three.txt")) << withVolume(one, 99);
  ASSERT_EQ(run("bank import bank.dat 3 three.txt").status, 0);
  // Two shells import at once, one into programs 11..20 with volume 11, one into 21..30 with 22.
  std::vector<pid_t> shells;
  for (int w = 1; w <= 2; ++w) {
    const std::string file = "volume" + std::to_string(w) + ".txt";
    std::ofstream(path(file)) << withVolume(one, 11 * w);
    const std::string loop =
        "for n in $(seq " + std::to_string(10 * w + 1) + " " + std::to_string(10 * w + 10) +
        "); do '" VALVORAMA_BINARY "' bank import bank.dat $n " + file + " || exit 1; done";
    shells.push_back(spawn({"/bin/sh", "-c", loop}));
  }
  for (pid_t shell : shells) {
    int status = 0;
    ASSERT_EQ(::waitpid(shell, &status, 0), shell);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
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
  EXPECT_NE(rows[1].find(" 80 "), std::string::npos) << rows[1];
  EXPECT_NE(rows[3].find(" 99 "), std::string::npos) << rows[3];
  EXPECT_EQ(rows[3].find(" 80 "), std::string::npos) << rows[3];
  EXPECT_EQ(std::count_if(
                listing.out.begin(), listing.out.end(),
                [](unsigned char c) { return (c < 0x20 && c != '\n') || c == 0x7F || c == 0xFF; }),
            0);
  EXPECT_EQ(listing.out.find("\xc2\x9b"), std::string::npos);
  for (int p = 11; p <= 30; ++p)  // the volume, then three columns of 0
    EXPECT_NE(rows[size_t(p)].find((p <= 20 ? " 11" : " 22") + std::string("   0   0   0")),
              std::string::npos)
        << rows[size_t(p)];
}

// One parser serves every command: rendering and an effect show its word orders.
TEST_F(Cli, OptionsMayComeBeforeOrAfterTheArgumentsAndEffectsRenderInStereo) {
  writeWav("di.wav", pluckedNote(110.0, 0.3, 0.5f));
  fs::copy_file(path("di.wav"), path("--di.wav"));
  for (const auto& [first, second] : std::vector<std::pair<std::string, std::string>>{
           {"render --tail 0.1 --set volume=50 --keep-latency di.wav a.wav",
            "render di.wav b.wav --tail 0.1 --set volume=50 --keep-latency"},
           {"render --tail 0.1 -- --di.wav a.wav", "render di.wav --tail=0.1 b.wav"},
           {"effect 1204 --cc 115=127 --tempo 120 --tail 0.2 di.wav a.wav",
            "effect 1204 di.wav b.wav --cc 115=127 --tempo 120 --tail 0.2"}}) {
    ASSERT_EQ(run(first).status, 0) << first;
    ASSERT_EQ(run(second).status, 0) << second;
    const Sound a = readWav("a.wav");
    EXPECT_FALSE(a.samples.empty()) << first;
    EXPECT_EQ(a.samples, readWav("b.wav").samples) << first;
  }
  EXPECT_EQ(readWav("a.wav").info.channels, 2);
  EXPECT_EQ(readWav("a.wav").info.frames, long(0.3 * kRate) + long(0.2 * kRate));
}

TEST_F(Cli, OutputsFollowTheExtensionAndFifosAreWrittenInPlace) {
  writeWav("di.wav", pluckedNote(110.0, 0.05, 0.3f));  // small enough for a pipe's buffer
  // The last name is the longest a folder takes.
  for (const auto& [name, format] :
       std::vector<std::pair<std::string, int>>{{"out.flac", SF_FORMAT_FLAC},
                                                {"out.ogg", SF_FORMAT_OGG},
                                                {"out.aiff", SF_FORMAT_AIFF},
                                                {"out.au", SF_FORMAT_AU},
                                                {"OUT.WAV", SF_FORMAT_WAV},
                                                {"out", SF_FORMAT_WAV},
                                                {std::string(251, 'n') + ".wav", SF_FORMAT_WAV}}) {
    const Result r = run("render --tail 0 di.wav '" + name + "'");
    ASSERT_EQ(r.status, 0) << name << ": " << r.err;
    EXPECT_EQ(readWav(name).info.format & SF_FORMAT_TYPEMASK, format) << name;
    fs::remove(path(name));
    EXPECT_EQ(snapshot().size(), 1u) << name;  // di.wav alone: no temporary left
  }

  ASSERT_EQ(::mkfifo(path("pipe.au").c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo(path("pipe.wav").c_str(), 0600), 0);
  const int au = ::open(path("pipe.au").c_str(), O_RDONLY | O_NONBLOCK);
  const int wav = ::open(path("pipe.wav").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_TRUE(au >= 0 && wav >= 0);
  EXPECT_EQ(run("render --tail 0 di.wav pipe.au").status, 0);
  char magic[4] = {};
  EXPECT_EQ(::read(au, magic, 4), 4);
  EXPECT_EQ(std::string(magic, 4), ".snd");
  expectRefused("render --tail 0 di.wav pipe.wav");  // WAV seeks back to its header
  ::close(au);
  ::close(wav);
  for (const char* name : {"pipe.au", "pipe.wav"})
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(path(name)))) << name;
  EXPECT_EQ(snapshot().size(), 3u);
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
  EXPECT_EQ(readWav("long.flac").info.frames, 601L * kRate);
  fs::remove(path("long.flac"));

  const int probe = ::open(dir_.c_str(), O_TMPFILE | O_WRONLY, 0600);
  const bool unnamed = probe >= 0;  // only an unnamed temporary can survive kill -9 unseen
  if (unnamed) ::close(probe);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
    if (signal == SIGKILL && !unnamed) continue;
    const pid_t child = spawn({VALVORAMA_BINARY, "render", "--tail", "600", "di.wav", "out.wav"});
    // Signalled once it holds a file of the folder open besides its input: the output.
    const std::string fds = "/proc/" + std::to_string(child) + "/fd";
    bool writing = false;
    for (int wait = 0; wait < 3000 && !writing; ++wait) {
      std::error_code ec;
      for (auto it = fs::directory_iterator(fds, ec); !ec && it != fs::directory_iterator();
           it.increment(ec)) {
        const std::string target = fs::read_symlink(it->path(), ec).string();
        writing =
            writing || (target.rfind(dir_.string() + "/", 0) == 0 && target != path("di.wav"));
      }
      if (!writing) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(writing) << signal;
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
  for (const char* command : {"render di.wav out.flac", "effect 1204 di.wav out.flac"}) {
    const Result r = run(command);
    ASSERT_EQ(r.status, 0) << command << ": " << r.err;
    EXPECT_NE(r.out.find("2 non-finite samples in the input were treated as silence\n"),
              std::string::npos)
        << command << ": " << r.out;
    // Neither NaN nor the full-scale negative DC an integer format turns it into.
    const Sound out = readWav("out.flac");
    ASSERT_FALSE(out.samples.empty());
    EXPECT_EQ(std::count_if(out.samples.begin(), out.samples.end(),
                            [](float x) { return !(std::fabs(x) < 0.99f); }),
              0)
        << command;
  }
}

}  // namespace
