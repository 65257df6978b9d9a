#include "framework/safe_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "framework/file_lock.h"
#include "framework/replacement_file.h"
#include "scratch_folder.h"

namespace {

using framework::readFile;
using framework::ReplacementFile;
using framework::writeFileAtomically;

std::vector<uint8_t> bytesOf(const std::string& text) {
  return {text.begin(), text.end()};
}

TEST(SafeFile, ReplacesTheFileWholeOrNotAtAllKeepsLinksAndReadsBounded) {
  testsupport::ScratchFolder folder;
  const std::string path = folder.path("settings.dat");
  ASSERT_TRUE(writeFileAtomically(path, bytesOf("a longer first version")));
  ::chmod(path.c_str(), 0640);
  ASSERT_TRUE(writeFileAtomically(path, bytesOf("second")));
  EXPECT_EQ(readFile(path), bytesOf("second"));
  EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0640));

  EXPECT_TRUE(readFile(path, 6));
  EXPECT_FALSE(readFile(path, 5));
  EXPECT_FALSE(readFile(folder.path("missing")));
  EXPECT_FALSE(readFile(folder.path("")));  // a folder

  // A failed write keeps the old file: a file size limit breaks it off half-way, even for root.
  const auto good = *readFile(path);
  rlimit saved{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  const auto handler = ::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{4096, saved.rlim_max};
  ::setrlimit(RLIMIT_FSIZE, &limit);
  EXPECT_FALSE(writeFileAtomically(path, std::vector<uint8_t>(1 << 16, 0x55)));
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, handler);
  EXPECT_EQ(readFile(path), good);
  EXPECT_FALSE(writeFileAtomically(folder.path("no/such/folder/x.dat"), good));
  // A named temporary whose rename fails: the target has become a folder that is not empty.
  ReplacementFile named(ReplacementFile::Temporary::kNamed);
  ASSERT_TRUE(named.open(folder.path("busy")));
  std::filesystem::create_directories(folder.path("busy/inner"));
  EXPECT_FALSE(named.commit());
  EXPECT_FALSE(writeFileAtomically(folder.path("busy"), good));
  EXPECT_EQ(folder.names(), (std::set<std::string>{"settings.dat", "busy"}));

  // A link stays a link; a device node (our own null device: root only) is written through.
  ASSERT_EQ(::symlink("settings.dat", folder.path("link").c_str()), 0);
  ASSERT_TRUE(writeFileAtomically(folder.path("link"), bytesOf("new")));
  EXPECT_TRUE(std::filesystem::is_symlink(folder.path("link")));
  EXPECT_EQ(readFile(path), bytesOf("new"));
  const std::string device = folder.path("null");
  if (::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
    EXPECT_TRUE(writeFileAtomically(device, bytesOf("gone")));
    EXPECT_TRUE(std::filesystem::is_character_file(device));
  }
}

// A child writes a new version and is stopped by `signal` before committing.
TEST(SafeFile, NoTemporaryOutlivesASignal) {
  for (int signal : {SIGTERM, SIGKILL}) {
    testsupport::ScratchFolder folder;
    const std::string path = folder.path("prefs.prf");
    ASSERT_TRUE(writeFileAtomically(path, bytesOf("old")));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Only an unnamed temporary can be cleaned up after kill -9: the system does it.
      ReplacementFile file(signal == SIGKILL ? ReplacementFile::Temporary::kUnnamedWherePossible
                                             : ReplacementFile::Temporary::kNamed);
      if (!file.open(path) || ::write(file.descriptor(), "new", 3) != 3) ::_exit(1);
      ::raise(signal);
      ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal;
    EXPECT_EQ(readFile(path), bytesOf("old"));
    EXPECT_EQ(folder.names(), std::set<std::string>{"prefs.prf"}) << signal;
  }
}

TEST(SafeFile, LockedReadModifyWritesLoseNothing) {
  testsupport::ScratchFolder folder;
  const std::string path = folder.path("counter");
  ASSERT_TRUE(writeFileAtomically(path, bytesOf("0")));
  constexpr int kThreads = 4, kEach = 25;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kEach; ++i) {
        framework::FileLock lock(path);
        const auto bytes = readFile(path);
        const int n = bytes ? std::stoi(std::string(bytes->begin(), bytes->end())) : -1000000;
        writeFileAtomically(path, bytesOf(std::to_string(n + 1)));
      }
    });
  }
  for (auto& t : threads)
    t.join();
  EXPECT_EQ(readFile(path), bytesOf(std::to_string(kThreads * kEach)));
  EXPECT_TRUE(framework::FileLock(path).held());
  EXPECT_FALSE(framework::FileLock(folder.path("missing")).held());
}

}  // namespace
