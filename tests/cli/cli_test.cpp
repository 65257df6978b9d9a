// The valvorama binary, run as a user runs it.

#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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
    const std::string command = "cd '" + dir_.string() + "' && '" VALVORAMA_BINARY "' " +
                                arguments + " >'" + out + "' 2>'" + err + "'";
    const int raw = std::system(command.c_str());
    auto slurp = [](const std::string& p) {
      std::ifstream f(p);
      std::stringstream s;
      s << f.rdbuf();
      return s.str();
    };
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(out), slurp(err)};
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
  };
  for (const char* m : mistakes) {
    const Result r = run(m);
    EXPECT_EQ(r.status, 2) << m;
    EXPECT_FALSE(r.err.empty()) << m;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << m << ": one line, got " << r.err;
    EXPECT_FALSE(fs::exists(path("out.wav"))) << m;
  }
  // The listing of a wrong name names the choices.
  EXPECT_NE(run("render --set nosuch=3 di.wav out.wav").err.find("\"Preamp Gain\""),
            std::string::npos);
  // Never overwrite the input.
  const auto before = fs::file_size(path("di.wav"));
  EXPECT_EQ(run("render di.wav ./di.wav").status, 2);
  EXPECT_EQ(fs::file_size(path("di.wav")), before);
  for (const auto& entry : fs::directory_iterator(dir_)) {
    EXPECT_EQ(entry.path().string().find(".part"), std::string::npos) << entry.path();
  }
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
  std::ifstream in(path("one.txt"));
  std::stringstream text;
  text << in.rdbuf();
  std::string settings = text.str();
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

}  // namespace
