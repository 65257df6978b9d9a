// The valvorama binary, run as a user runs it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "plugin/program_bank.h"
#include "plugin/vlvr_processor.h"
#include "support/signals.h"

namespace {

namespace fs = std::filesystem;
constexpr int kRate = 44100;

struct Result {
  int status;
  std::string out, err;
};

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("valvorama_cli_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  // Runs the binary in the test's folder.
  Result run(const std::string& arguments) const {
    const std::string out = path("stdout.txt"), err = path("stderr.txt");
    // The settings folder is the test's own, never the user's.
    const std::string command = "cd '" + dir_.string() + "' && XDG_CONFIG_HOME='" + dir_.string() +
                                "' '" VALVORAMA_BINARY "' " + arguments + " >'" + out + "' 2>'" +
                                err + "'";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp("stdout.txt"), slurp("stderr.txt")};
  }

  void writeWav(const std::string& name, const std::vector<float>& mono, int rate = kRate) const {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(path(name).c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    sf_writef_float(f, mono.data(), static_cast<sf_count_t>(mono.size()));
    sf_close(f);
  }

  // Starts the binary in the test's folder without a shell, its output thrown away.
  pid_t start(std::vector<std::string> arguments) const {
    arguments.insert(arguments.begin(), VALVORAMA_BINARY);
    return spawn(arguments);
  }
  pid_t spawn(const std::vector<std::string>& program) const {
    std::vector<char*> argv;
    for (const auto& a : program)
      argv.push_back(const_cast<char*>(a.c_str()));
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

  std::string slurp(const std::string& name) const {
    std::ifstream f(path(name), std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }

  // Every file of the folder but the captured output, with its bytes.
  std::map<std::string, std::string> snapshot() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(dir_)) {
      const std::string name = entry.path().filename().string();
      if (name == "stdout.txt" || name == "stderr.txt") continue;
      files[name] = entry.is_regular_file() ? slurp(name) : "(not a regular file)";
    }
    return files;
  }

  struct Sound {
    SF_INFO info{};
    std::vector<float> samples;
  };
  Sound readWav(const std::string& name) const {
    Sound s;
    SNDFILE* f = sf_open(path(name).c_str(), SFM_READ, &s.info);
    EXPECT_NE(f, nullptr) << name;
    if (!f) return s;
    s.samples.resize(size_t(s.info.frames) * s.info.channels);
    sf_readf_float(f, s.samples.data(), s.info.frames);
    sf_close(f);
    return s;
  }

  fs::path dir_;
};

// Silence with a plucked note starting at `onset`.
std::vector<float> pluckAt(int onset, double seconds, float peak) {
  std::vector<float> v(onset, 0.0f);
  const auto note = testsupport::pluckedNote(110.0, seconds, peak);
  v.insert(v.end(), note.begin(), note.end());
  return v;
}

int firstAbove(const std::vector<float>& interleaved, int channels, float threshold) {
  for (size_t i = 0; i < interleaved.size(); i += channels) {
    if (std::fabs(interleaved[i]) > threshold) return static_cast<int>(i / channels);
  }
  return -1;
}

double rmsDb(const std::vector<float>& x) {
  double sum = 0;
  for (float v : x)
    sum += double(v) * v;
  return 10 * std::log10(sum / x.size());
}

TEST_F(Cli, RenderWritesAlignedStereoOfInputPlusTail) {
  const std::vector<float> input = pluckAt(10000, 1.0, 0.5f);
  writeWav("di.wav", input);
  const Result r = run("render --speaker-off-is-not-an-option di.wav out.wav");
  EXPECT_EQ(r.status, 2);
  EXPECT_FALSE(fs::exists(path("out.wav")));

  ASSERT_EQ(run("render --set \"speaker mode=1\" di.wav out.wav").status, 0);
  const Sound out = readWav("out.wav");
  EXPECT_EQ(out.info.samplerate, kRate);
  EXPECT_EQ(out.info.channels, 2);
  EXPECT_EQ(out.info.frames, long(input.size()) + 2 * kRate);
  bool finite = true, inRange = true;
  for (float x : out.samples) {
    finite = finite && std::isfinite(x);
    inRange = inRange && std::fabs(x) <= 1.0f;
  }
  EXPECT_TRUE(finite);
  EXPECT_TRUE(inRange);
  // The latency is removed: the note starts where it starts in the input.
  const int onset = firstAbove(out.samples, 2, 1e-3f);
  EXPECT_GE(onset, 10000);
  EXPECT_LE(onset, 10000 + 8);

  ASSERT_EQ(run("render --keep-latency --set 21=1 di.wav late.wav").status, 0);
  EXPECT_EQ(firstAbove(readWav("late.wav").samples, 2, 1e-3f), onset + 64);
}

TEST_F(Cli, SetChangesTheSoundByTheVolumeLaw) {
  // Quiet enough for every stage after the master volume to stay linear.
  writeWav("di.wav", pluckAt(0, 1.0, 0.003f));
  // Amp choice 2 (crunch) has the full volume law: -32 dB at 0 to -8.2 dB at 127.
  ASSERT_EQ(run("render --set 20=2 --set volume=0 --tail 0 di.wav low.wav").status, 0);
  ASSERT_EQ(run("render --set 20=2 --set VOLUME=127 --tail 0 di.wav high.wav").status, 0);
  const double difference = rmsDb(readWav("high.wav").samples) - rmsDb(readWav("low.wav").samples);
  EXPECT_NEAR(difference, 127.0 / 128.0 * 24.0, 1.0);
}

TEST_F(Cli, MistakesExitWithStatus2AndLeaveNoOutput) {
  writeWav("di.wav", pluckAt(0, 0.2, 0.3f));
  writeWav("low.wav", pluckAt(0, 0.2, 0.3f), 7999);
  writeWav("high.wav", pluckAt(0, 0.2, 0.3f), 384001);
  // A header claiming 2147483647 Hz.
  std::string huge = slurp("di.wav");
  const int32_t rate = 2147483647;
  huge.replace(24, 4, reinterpret_cast<const char*>(&rate), 4);
  std::ofstream(path("huge.wav"), std::ios::binary) << huge;
  ASSERT_EQ(run("bank write bank.dat").status, 0);
  std::ofstream(path("passwd.txt")) << "root:x:0:0:root:/root:/bin/bash\n";
  std::ofstream(path("empty.txt")) << "";
  std::ofstream(path("loud.txt")) << "Volume:200\r\n";
  const auto before = snapshot();
  const char* mistakes[] = {
      "render missing.wav out.wav",
      "render --set nosuch=3 di.wav out.wav",
      "render --set \"wah mode=1\" di.wav out.wav",  // shared by two parameters
      "render --set volume=200 di.wav out.wav",
      "render --program 129 di.wav out.wav",
      "render --tail x di.wav out.wav",
      "render di.wav no/such/folder/out.wav",
      "render --bank missing.dat di.wav out.wav",
      "tune missing.wav",
      "effect 1222 di.wav out.wav",
      "bank list missing.dat",
      "frobnicate",
      // Sample rates the amp is not built for.
      "render low.wav out.wav",
      "render high.wav out.wav",
      "render huge.wav out.wav",
      "tune huge.wav",
      "effect 1204 huge.wav out.wav",
      // Values that are not there or not meant.
      "effect 1204 --tempo \"\" di.wav out.wav",
      "render --bank \"\" di.wav out.wav",
      "render di.wav out.xyz",
      "render -- --tail di.wav",
      // Files that are no program, and a value out of its range.
      "bank import bank.dat 3 di.wav",
      "bank import bank.dat 3 passwd.txt",
      "bank import bank.dat 3 empty.txt",
      "bank import bank.dat 3 loud.txt",
  };
  for (const char* m : mistakes) {
    const Result r = run(m);
    EXPECT_EQ(r.status, 2) << m;
    EXPECT_FALSE(r.err.empty()) << m;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << m << ": one line, got " << r.err;
    for (const char* vague : {"std::", "No Error", "SF_INFO"})
      EXPECT_EQ(r.err.find(vague), std::string::npos) << m << ": " << r.err;
    EXPECT_EQ(snapshot(), before) << m;
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
  std::vector<float> notes = testsupport::pluckedNote(110.0, 2.0, 0.5f);
  const auto d = testsupport::pluckedNote(146.83 * std::pow(2.0, 10.0 / 1200.0), 2.0, 0.5f);
  notes.insert(notes.end(), d.begin(), d.end());
  writeWav("notes.wav", notes);
  const Result r = run("tune notes.wav");
  ASSERT_EQ(r.status, 0) << r.err;
  // What the tuner shows at the end of each note: A, then D about 10 cents sharp. Lines are
  // printed only on changes, so the reading at a time is the last line before it.
  std::istringstream lines(r.out);
  std::string line, lastA, lastD;
  while (std::getline(lines, line)) {
    double seconds;
    char note[8];
    int cents;
    if (std::sscanf(line.c_str(), "%lf %7s %d", &seconds, note, &cents) != 3) continue;
    std::string reading(note);
    reading += ' ';
    reading += std::to_string(cents);
    if (seconds < 1.95) lastA = reading;
    if (seconds < 3.95) lastD = reading;
  }
  EXPECT_EQ(lastA.substr(0, 2), "A ") << r.out;
  EXPECT_LE(std::abs(std::stoi(lastA.substr(2))), 2) << r.out;
  ASSERT_EQ(lastD.substr(0, 2), "D ") << r.out;
  EXPECT_NEAR(std::stoi(lastD.substr(2)), 10, 2) << r.out;
}

TEST_F(Cli, BankWriteListExportImportRoundTrip) {
  ASSERT_EQ(run("bank write bank.dat").status, 0);
  EXPECT_EQ(fs::file_size(path("bank.dat")), 69690u);
  ASSERT_EQ(run("bank export bank.dat 1 one.txt").status, 0);
  // Change the volume in the text and bring it back as program 3.
  std::string settings = slurp("one.txt");
  const auto at = settings.find("Volume:80");
  ASSERT_NE(at, std::string::npos) << settings;
  settings.replace(at, 9, "Volume:99");
  std::ofstream(path("three.txt")) << settings;
  ASSERT_EQ(run("bank import bank.dat 3 three.txt").status, 0);
  const Result listing = run("bank list bank.dat");
  ASSERT_EQ(listing.status, 0);
  std::istringstream lines(listing.out);
  std::string line;
  std::vector<std::string> rows;
  while (std::getline(lines, line))
    rows.push_back(line);
  ASSERT_GE(rows.size(), 4u);
  EXPECT_EQ(rows[1].rfind("1 ", 0), 0u) << rows[1];  // numbered as export and import take them
  EXPECT_NE(rows[1].find(" 80 "), std::string::npos) << rows[1];
  EXPECT_NE(rows[3].find(" 99 "), std::string::npos) << rows[3];
  EXPECT_EQ(rows[3].find(" 80 "), std::string::npos) << rows[3];
}

TEST_F(Cli, DemoPhraseIsTheSameEveryTime) {
  ASSERT_EQ(run("render --demo --tail 0 a.wav").status, 0);
  ASSERT_EQ(run("render --demo --tail 0 b.wav").status, 0);
  const Sound a = readWav("a.wav"), b = readWav("b.wav");
  EXPECT_GT(a.info.frames, 9 * kRate);
  EXPECT_EQ(a.samples, b.samples);
}

TEST_F(Cli, EffectRunsACatalogueEffectInStereo) {
  writeWav("di.wav", pluckAt(0, 0.5, 0.5f));
  ASSERT_EQ(run("effect 1204 --cc 115=127 --tempo 120 --tail 1 di.wav echo.wav").status, 0);
  const Sound out = readWav("echo.wav");
  EXPECT_EQ(out.info.channels, 2);
  EXPECT_EQ(out.info.frames, long(0.5 * kRate) + kRate);
  EXPECT_EQ(run("effect 1204 --cc 3=1 di.wav bad.wav").status, 2);
  EXPECT_FALSE(fs::exists(path("bad.wav")));
}

TEST_F(Cli, OptionsMayComeBeforeOrAfterTheArguments) {
  writeWav("di.wav", pluckAt(0, 0.3, 0.5f));
  fs::copy_file(path("di.wav"), path("--di.wav"));
  writeWav("notes.wav", testsupport::pluckedNote(110.0, 1.0, 0.5f));
  ASSERT_EQ(run("bank write bank.dat").status, 0);
  // Each pair must give the same output: the files a.wav and b.wav, or else stdout.
  struct Case {
    const char* first;
    const char* second;
    bool files;
  };
  const Case cases[] = {
      {"render --tail 0.1 --set volume=50 --keep-latency di.wav a.wav",
       "render di.wav b.wav --tail 0.1 --set volume=50 --keep-latency", true},
      {"render --tail 0.1 -- --di.wav a.wav", "render di.wav --tail=0.1 b.wav", true},
      {"effect 1204 --cc 115=127 --tempo 120 --tail 0.2 di.wav a.wav",
       "effect 1204 di.wav b.wav --cc 115=127 --tempo 120 --tail 0.2", true},
      {"tune --reference 445 notes.wav", "tune notes.wav --reference 445", false},
      {"bank list -- bank.dat", "bank list bank.dat", false},
  };
  for (const Case& c : cases) {
    const Result first = run(c.first), second = run(c.second);
    ASSERT_EQ(first.status, 0) << c.first << ": " << first.err;
    ASSERT_EQ(second.status, 0) << c.second << ": " << second.err;
    if (c.files) {
      const Sound a = readWav("a.wav"), b = readWav("b.wav");
      EXPECT_FALSE(a.samples.empty()) << c.first;
      EXPECT_EQ(a.samples, b.samples) << c.first;
      fs::remove(path("a.wav"));
      fs::remove(path("b.wav"));
    } else {
      EXPECT_FALSE(first.out.empty()) << c.first;
      EXPECT_EQ(first.out, second.out) << c.first;
    }
  }
}

TEST_F(Cli, NoCommandWritesOverWhatItReads) {
  writeWav("di.wav", pluckAt(0, 0.2, 0.3f));
  ASSERT_EQ(run("bank write bank.dat").status, 0);
  fs::create_directory(path("ValvoramaLive"));
  ASSERT_EQ(run("bank write \"ValvoramaLive/ValvoramaLive settings.dat\"").status,
            0);  // read by default
  fs::create_symlink("di.wav", path("link.wav"));
  const auto before = snapshot();
  const char* commands[] = {
      "render di.wav ./di.wav",
      "render di.wav link.wav",
      "effect 1204 di.wav di.wav",
      "bank export bank.dat 1 bank.dat",
      "bank import bank.dat 3 bank.dat",
      "render --bank bank.dat di.wav bank.dat",
      "render --demo --bank bank.dat ./bank.dat",
      "render di.wav \"ValvoramaLive/ValvoramaLive settings.dat\"",
  };
  for (const char* c : commands) {
    const Result r = run(c);
    EXPECT_EQ(r.status, 2) << c;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << c << ": one line, got " << r.err;
    EXPECT_EQ(snapshot(), before) << c;
  }
}

TEST_F(Cli, OutputFormatFollowsTheExtension) {
  writeWav("di.wav", pluckAt(0, 0.2, 0.3f));
  struct Case {
    std::string name;
    int format;  // 0: refused
  };
  const Case cases[] = {
      {"out.flac", SF_FORMAT_FLAC},
      {"out.ogg", SF_FORMAT_OGG},
      {"out.aiff", SF_FORMAT_AIFF},
      {"out.au", SF_FORMAT_AU},
      {"OUT.WAV", SF_FORMAT_WAV},
      {"out", SF_FORMAT_WAV},
      {std::string(251, 'n') + ".wav", SF_FORMAT_WAV},  // the longest name a folder takes
      {"out.xyz", 0},
      {"out.opus", 0},  // Opus has no 44.1 kHz: the encoder refuses to start
  };
  for (const Case& c : cases) {
    const Result r = run("render --tail 0 di.wav '" + c.name + "'");
    if (c.format == 0) {
      EXPECT_EQ(r.status, 2) << c.name;
      EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << c.name << ": one line, got " << r.err;
    } else {
      ASSERT_EQ(r.status, 0) << c.name << ": " << r.err;
      EXPECT_EQ(readWav(c.name).info.format & SF_FORMAT_TYPEMASK, c.format) << c.name;
      fs::remove(path(c.name));
    }
    EXPECT_EQ(snapshot().size(), 1u) << c.name;  // di.wav alone: no temporary left
  }
}

TEST_F(Cli, DevicesAndFifosAreWrittenInPlace) {
  writeWav("di.wav", pluckAt(0, 0.05, 0.3f));  // small enough for a pipe's buffer
  ASSERT_EQ(::mkfifo(path("pipe.au").c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo(path("pipe.wav").c_str(), 0600), 0);
  const int au = ::open(path("pipe.au").c_str(), O_RDONLY | O_NONBLOCK);
  const int wav = ::open(path("pipe.wav").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(au, 0);
  ASSERT_GE(wav, 0);
  EXPECT_EQ(run("render --tail 0 di.wav pipe.au").status, 0);
  char magic[4] = {};
  EXPECT_EQ(::read(au, magic, 4), 4);
  EXPECT_EQ(std::string(magic, 4), ".snd");
  // WAV needs to seek back to its header, which a pipe cannot.
  const Result r = run("render --tail 0 di.wav pipe.wav");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
  ::close(au);
  ::close(wav);
  std::vector<std::pair<std::string, mode_t>> special{{"pipe.au", S_IFIFO}, {"pipe.wav", S_IFIFO}};
  // A null device of our own, as root may make it.
  if (::mknod(path("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
    EXPECT_EQ(run("render --tail 0 di.wav null").status, 0);
    special.emplace_back("null", S_IFCHR);
  }
  for (const auto& [name, type] : special) {
    struct stat info {};
    ASSERT_EQ(::lstat(path(name).c_str(), &info), 0) << name;
    EXPECT_EQ(info.st_mode & S_IFMT, type) << name;
  }
  EXPECT_EQ(snapshot().size(), 1 + special.size());
}

TEST_F(Cli, NoTemporaryOutlivesASignal) {
  writeWav("di.wav", pluckAt(0, 0.2, 0.3f));
  const int probe = ::open(dir_.c_str(), O_TMPFILE | O_WRONLY, 0600);
  const bool unnamed = probe >= 0;  // only an unnamed temporary can survive kill -9 unseen
  if (unnamed) ::close(probe);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
    if (signal == SIGKILL && !unnamed) continue;
    const pid_t child = start({"render", "--tail", "600", "di.wav", "out.wav"});
    ASSERT_GT(child, 0);
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
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal;
    EXPECT_EQ(snapshot().size(), 1u) << signal;  // di.wav alone
  }
}

TEST_F(Cli, ConcurrentImportsAllSurvive) {
  ASSERT_EQ(run("bank write bank.dat").status, 0);
  ASSERT_EQ(run("bank export bank.dat 1 one.txt").status, 0);
  const std::string text = slurp("one.txt");
  const auto at = text.find("Volume:80");
  ASSERT_NE(at, std::string::npos) << text;
  // Two shells import at once, one into programs 1..12 with volume 11, one into 13..24 with 22.
  constexpr int kEach = 12;
  std::vector<pid_t> shells;
  for (int w = 0; w < 2; ++w) {
    std::string settings = text;
    settings.replace(at, 9, "Volume:" + std::to_string(11 * (w + 1)));
    const std::string file = "volume" + std::to_string(w) + ".txt";
    std::ofstream(path(file)) << settings;
    std::ostringstream loop;
    loop << "for n in";
    for (int i = 1; i <= kEach; ++i)
      loop << ' ' << w * kEach + i;
    loop << "; do '" VALVORAMA_BINARY "' bank import bank.dat $n " << file << " || exit 1; done";
    shells.push_back(spawn({"/bin/sh", "-c", loop.str()}));
  }
  for (pid_t shell : shells) {
    int status = 0;
    ASSERT_EQ(::waitpid(shell, &status, 0), shell);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  plugin::vlvrProcessor processor;
  processor.initialize();
  int volume = -1;
  for (int i = 0; i < processor.parameters().count(); ++i) {
    if (std::string(processor.parameters()[i].name) == "Volume") volume = i;
  }
  ASSERT_GE(volume, 0);
  plugin::evaProcessorPrograms programs;
  programs.setCount(128);
  ASSERT_EQ(plugin::readProgramBank(path("bank.dat"), programs), plugin::BankRead::kRead);
  for (int p = 0; p <= 2 * kEach; ++p) {
    const float expected = p < kEach ? 11.0f : p < 2 * kEach ? 22.0f : 80.0f;
    EXPECT_EQ(programs[p].values[volume], expected) << "program " << p + 1;
  }
}

TEST_F(Cli, BankListEscapesControlCharacters) {
  ASSERT_EQ(run("bank write bank.dat").status, 0);
  std::string bank = slurp("bank.dat");
  // Retitles and clears a terminal, breaks the line, and carries a C1 CSI and a stray byte.
  const char name[] = "\x1b]0;owned\x07\x1b[2J\nline\\ \xc2\x9b \xff o\x7f \xc3\xa9";
  bank.replace(58, sizeof name, name, sizeof name);  // program 1's name, with its NUL
  std::ofstream(path("bank.dat"), std::ios::binary) << bank;
  const Result r = run("bank list bank.dat");
  ASSERT_EQ(r.status, 0);
  int raw = 0;
  for (unsigned char c : r.out)
    raw += (c < 0x20 && c != '\n') || c == 0x7F || c == 0xFF;
  EXPECT_EQ(raw, 0);
  EXPECT_EQ(r.out.find("\xc2\x9b"), std::string::npos);
  EXPECT_NE(r.out.find("\\x1B]0;owned\\x07\\x1B[2J\\x0Aline\\x5C \\xC2\\x9B \\xFF o\\x7F \xc3\xa9"),
            std::string::npos)
      << r.out.substr(0, 400);
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 129);
}

TEST_F(Cli, LongRendersStayInLittleMemory) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "a sanitizer's shadow memory is part of the process";
#endif
  writeWav("di.wav", pluckAt(0, 1.0, 0.5f));
  const pid_t child = start({"render", "--tail", "600", "di.wav", "long.flac"});
  int status = 0;
  rusage usage{};
  ASSERT_EQ(::wait4(child, &status, 0, &usage), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_LT(usage.ru_maxrss, 16 * 1024);  // kilobytes
  SF_INFO info{};
  SNDFILE* f = sf_open(path("long.flac").c_str(), SFM_READ, &info);
  ASSERT_NE(f, nullptr);
  sf_close(f);
  EXPECT_EQ(info.frames, 601L * kRate);
}

TEST_F(Cli, NonFiniteInputIsSilenceAndSaidSo) {
  std::vector<float> input = pluckAt(0, 2.0, 0.5f);
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
    const auto bad = std::count_if(out.samples.begin(), out.samples.end(),
                                   [](float x) { return !(std::fabs(x) < 0.99f); });
    EXPECT_EQ(bad, 0) << command;
    fs::remove(path("out.flac"));
  }
}

}  // namespace
