#pragma once

#include <sys/types.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

namespace testsupport {

// A private X server for tests: `Xvfb` on a display number it picks itself (-displayfd, so
// parallel test programs never collide), answering before the constructor returns. DISPLAY names
// it while it lives and is restored after. The server goes with the object, and with the test
// process should that die first.
class XvfbServer {
 public:
  // A 1280 x 1024 screen of `depth` bits a pixel.
  explicit XvfbServer(int depth = 24);
  ~XvfbServer();
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  // Started and answering; otherwise error() says why.
  bool running() const { return pid_ > 0 && error_.empty(); }
  const std::string& error() const { return error_; }
  const std::string& displayName() const { return displayName_; }

  // Ends the server at once (SIGKILL), the way a crashed server goes, and removes the lock and
  // socket it leaves behind.
  void kill();

 private:
  bool launch(int numberPipe);
  bool readDisplayNumber(int numberPipe);
  bool waitUntilAnswering();
  std::string log() const;
  void stop();

  int depth_;
  pid_t pid_ = -1;
  std::string displayName_;
  std::string logPath_;
  std::string error_;
  bool exported_ = false;
  std::optional<std::string> savedDisplay_;
};

// Tests sharing one server per test suite (starting one takes a while).
class XvfbTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = std::make_unique<XvfbServer>(); }
  static void TearDownTestSuite() { server_.reset(); }
  void SetUp() override { ASSERT_TRUE(server_->running()) << server_->error(); }

  static inline std::unique_ptr<XvfbServer> server_;
};

}  // namespace testsupport
