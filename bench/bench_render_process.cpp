// Whole `valvorama render` processes, measured from outside as a user would run them: the demo
// phrase repeated to 60 s and to 10 min, through the program with every stage engaged, from a
// WAV file to a WAV file. Prints CPU seconds (user + system), the real-time factor on that CPU
// time, the wall time and the peak resident memory of the process.
//
//   bench_render_process [SECONDS ...]     (default: 60 600)

#include <sndfile.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "demo_phrase.h"

namespace {

constexpr int kRate = 44100;

// Gate, automatic wah, stomp delay, overdrive, the lead amp, cabinet, spring reverb.
const char* const kEveryStage[] = {"0=64", "2=2",  "9=1",  "12=60", "8=1",
                                   "5=90", "20=1", "19=1", "21=1",  "4=100"};

bool writePhrase(const std::string& path, long seconds) {
  const std::vector<float> phrase = demoPhrase(kRate);
  SF_INFO info{};
  info.samplerate = kRate;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file) return false;
  for (long left = seconds * kRate; left > 0;) {
    const long n = std::min<long>(left, static_cast<long>(phrase.size()));
    sf_writef_float(file, phrase.data(), n);
    left -= n;
  }
  return sf_close(file) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<long> lengths;
  for (int i = 1; i < argc; ++i)
    lengths.push_back(std::atol(argv[i]));
  if (lengths.empty()) lengths = {60, 600};

  std::string folderPattern =
      (std::filesystem::temp_directory_path() / "valvorama-bench-XXXXXX").string();
  if (!::mkdtemp(folderPattern.data())) return 1;
  const std::filesystem::path folder = folderPattern;
  std::printf("%8s %10s %10s %10s %10s\n", "seconds", "cpu s", "x realtime", "wall s", "peak MiB");
  int status = 0;
  for (long seconds : lengths) {
    const std::string input = (folder / "di.wav").string(), output = (folder / "out.wav").string();
    if (!writePhrase(input, seconds)) {
      status = 1;
      break;
    }
    std::vector<std::string> words{VALVORAMA_BINARY, "render", "--tail", "0"};
    for (const char* set : kEveryStage) {
      words.push_back("--set");
      words.push_back(set);
    }
    words.push_back(input);
    words.push_back(output);
    std::vector<char*> args;
    for (auto& w : words)
      args.push_back(w.data());
    args.push_back(nullptr);

    timespec start{}, end{};
    std::fflush(stdout);  // or the child would print it again
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    const pid_t child = ::fork();
    if (child == 0) {
      std::freopen("/dev/null", "w", stdout);
      ::execv(args[0], args.data());
      ::_exit(127);
    }
    int result = 0;
    rusage usage{};
    ::wait4(child, &result, 0, &usage);
    ::clock_gettime(CLOCK_MONOTONIC, &end);
    if (!WIFEXITED(result) || WEXITSTATUS(result) != 0) {
      std::fprintf(stderr, "valvorama render failed for %ld s\n", seconds);
      status = 1;
      break;
    }
    const double cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    const double wall =
        double(end.tv_sec - start.tv_sec) + double(end.tv_nsec - start.tv_nsec) * 1e-9;
    std::printf("%8ld %10.2f %10.0f %10.2f %10.1f\n", seconds, cpu, double(seconds) / cpu, wall,
                double(usage.ru_maxrss) / 1024.0);
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return status;
}
