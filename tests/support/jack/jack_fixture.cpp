#include "support/jack/jack_fixture.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "support/server_process.h"

namespace testsupport {
namespace {

using namespace std::chrono_literals;

constexpr auto kStartLimit = 10s;
constexpr auto kStopLimit = 5s;
constexpr auto kRetry = 20ms;

constexpr const char* kVariables[] = {"JACK_DEFAULT_SERVER", "JACK_NO_START_SERVER",
                                      "ALSA_CONFIG_PATH"};

void quietJackErrors(const char*) {}

}  // namespace

JackServer::JackServer(int sampleRate, int period) : sampleRate_(sampleRate), period_(period) {
  static std::atomic<int> count{0};
  name_ = "valvo-" + std::to_string(getpid()) + "-" + std::to_string(++count);
  std::string pattern = (std::filesystem::temp_directory_path() / "valvo-jack-XXXXXX").string();
  if (!mkdtemp(pattern.data())) {
    error_ = "no temporary folder";
    return;
  }
  folder_ = pattern;
  if (!writeAlsaConfig() || !launch() || !waitUntilAnswering()) return;
  for (const char* variable : kVariables) {
    const char* value = std::getenv(variable);
    saved_.emplace_back(variable, value ? std::optional<std::string>(value) : std::nullopt);
  }
  setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
  setenv("JACK_NO_START_SERVER", "1", 1);
  setenv("ALSA_CONFIG_PATH", ("/usr/share/alsa/alsa.conf:" + folder_ + "/alsa.conf").c_str(), 1);
}

JackServer::~JackServer() {
  stop();
  // JACK's registry holds eight servers per user and frees a killed one's place only when a
  // server of the same name starts: one short clean run gives it back.
  if (killed_ && launch() && waitUntilAnswering()) stop();
  removeFiles();
  for (const auto& [variable, value] : saved_) {
    if (value)
      setenv(variable.c_str(), value->c_str(), 1);
    else
      unsetenv(variable.c_str());
  }
}

bool JackServer::writeAlsaConfig() {
  std::ofstream file(folder_ + "/alsa.conf");
  file << "pcm." << kLoopbackPcm << " {\n"
       << "  type jack\n"
       << "  playback_ports { 0 \"loopback:playback_1\" 1 \"loopback:playback_2\" }\n"
       << "  capture_ports { 0 \"loopback:capture_1\" 1 \"loopback:capture_2\" }\n"
       << "  hint { show on description \"Valvorama test loopback\" }\n"
       << "}\n";
  file.close();
  if (!file) error_ = "cannot write the ALSA configuration in " + folder_;
  return error_.empty();
}

bool JackServer::launch() {
  const std::string log = folder_ + "/jackd.log";
  // No real-time scheduling (not allowed everywhere); few ports, for a small shared memory
  // segment; synchronous, so clients run in the order of their connections every cycle, and a
  // period played into the loopback comes back in order.
  // clang-format off
  const std::vector<std::string> args = {
      "jackd", "-n", name_, "-r", "-p", "32", "-S", "-L", "2", "-d", "dummy",
      "-r", std::to_string(sampleRate_), "-p", std::to_string(period_)};
  // clang-format on
  pid_ = spawnServer(args, log);
  if (pid_ < 0) error_ = "cannot fork for jackd";
  return error_.empty();
}

bool JackServer::waitUntilAnswering() {
  jack_set_error_function(&quietJackErrors);
  jack_set_info_function(&quietJackErrors);
  const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (processExited(pid_)) {
      pid_ = -1;
      std::ifstream log(folder_ + "/jackd.log");
      error_ = "jackd ended at start (is it installed?):\n" +
               std::string(std::istreambuf_iterator<char>(log), {});
      return false;
    }
    jack_status_t status{};
    const auto options = static_cast<jack_options_t>(JackNoStartServer | JackServerName);
    if (jack_client_t* client = jack_client_open("valvo-probe", options, &status, name_.c_str())) {
      jack_client_close(client);
      return true;
    }
    std::this_thread::sleep_for(kRetry);
  }
  error_ = "jackd " + name_ + " did not answer within 10 s";
  return false;
}

void JackServer::kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
  killed_ = true;
}

void JackServer::stop() {
  if (pid_ <= 0) return;
  if (!terminateWithin(pid_, kStopLimit)) {
    kill();
    return;
  }
  pid_ = -1;
}

// The server's socket and semaphores carry its name; a killed server, and its clients, leave
// some behind.
void JackServer::removeFiles() {
  std::error_code ignored;
  if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
  if (name_.empty()) return;
  for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", ignored)) {
    const std::string file = entry.path().filename().string();
    const bool ours =
        file.rfind("jack_" + name_ + "_", 0) == 0 ||
        (file.rfind("jack_sem.", 0) == 0 && file.find("_" + name_ + "_") != file.npos);
    if (ours) std::filesystem::remove(entry.path(), ignored);
  }
}

}  // namespace testsupport

// ALSA's jack plug-in drains its wake-up socket into one static buffer shared by every stream
// of the process: a race on bytes nobody reads, outside our code.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libasound_module_pcm_jack.so\n";
}
