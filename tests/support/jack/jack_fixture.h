#pragma once

#include <sys/types.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// A private JACK server for one test, and an ALSA device on it: `jackd -d dummy` paced by the
// clock, with two loopback ports (what is played into loopback:playback_N comes back out of
// loopback:capture_N a period later). The ALSA configuration gains the PCM kLoopbackPcm of
// ALSA's `jack` type, playing into the loopback and capturing from it, so a full-duplex ALSA
// client hears itself. The server is found through JACK_DEFAULT_SERVER (JACK_NO_START_SERVER
// keeps libjack from starting another); the ALSA file through ALSA_CONFIG_PATH. All three are
// set while the server lives and restored after. The server dies with the test process, and
// its files go with the object.
class JackServer {
 public:
  static constexpr const char* kLoopbackPcm = "valvo_loopback";
  // How the device lists show it.
  static constexpr const char* kLoopbackDeviceName = "Valvorama test loopback (valvo_loopback)";

  explicit JackServer(int sampleRate = 48000, int period = 128);
  ~JackServer();
  JackServer(const JackServer&) = delete;
  JackServer& operator=(const JackServer&) = delete;

  // Started and answering; otherwise error() says why.
  bool running() const { return pid_ > 0 && error_.empty(); }
  const std::string& error() const { return error_; }
  const std::string& name() const { return name_; }
  int sampleRate() const { return sampleRate_; }
  int period() const { return period_; }

  // Ends the server at once (SIGKILL), the way a crashed server or a pulled cable goes. The
  // object still cleans up after it.
  void kill();

 private:
  bool writeAlsaConfig();
  bool launch();
  bool waitUntilAnswering();
  void stop();
  void removeFiles();

  int sampleRate_;
  int period_;
  pid_t pid_ = -1;
  bool killed_ = false;
  std::string name_;
  std::string folder_;
  std::string error_;
  // The variables set for the server's clients, with what they held before.
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// A test with its own server, started before and stopped after each test, also a failed one.
class JackServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = std::make_unique<JackServer>();
    ASSERT_TRUE(server_->running()) << server_->error();
  }
  void TearDown() override { server_.reset(); }

  std::unique_ptr<JackServer> server_;
};

}  // namespace testsupport
