#include "framework/safe_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "scratch_folder.h"

namespace {

using framework::readFile;
using framework::writeFileAtomically;

std::vector<uint8_t> bytesOf(const std::string& text) {
  return {text.begin(), text.end()};
}

TEST(SafeFile, ReplacesTheFileWholeAndReadsBounded) {
  testsupport::ScratchFolder folder;
  const std::string path = folder.path("settings.dat");
  ASSERT_TRUE(writeFileAtomically(path, bytesOf("a longer first version")));
  ::chmod(path.c_str(), 0640);
  ASSERT_TRUE(writeFileAtomically(path, bytesOf("second")));
  EXPECT_EQ(readFile(path), bytesOf("second"));
  EXPECT_EQ(folder.names(), std::set<std::string>{"settings.dat"});
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);

  EXPECT_TRUE(readFile(path, 6));
  EXPECT_FALSE(readFile(path, 5));
  EXPECT_FALSE(readFile(folder.path("missing")));
  EXPECT_FALSE(readFile(folder.path("")));  // a folder
  EXPECT_TRUE(framework::fileIsMissing(folder.path("missing")));
  EXPECT_FALSE(framework::fileIsMissing(path));
}

TEST(SafeFile, AFailedWriteKeepsThePreviousFile) {
  testsupport::ScratchFolder folder;
  const std::string path = folder.path("bank.dat");
  const auto good = bytesOf("previous good file");
  ASSERT_TRUE(writeFileAtomically(path, good));
  {
    testsupport::FileSizeLimit limit(4096);
    EXPECT_FALSE(writeFileAtomically(path, std::vector<uint8_t>(1 << 16, 0x55)));
  }
  EXPECT_EQ(readFile(path), good);
  EXPECT_EQ(folder.names(), std::set<std::string>{"bank.dat"});

  EXPECT_FALSE(writeFileAtomically(folder.path("no/such/folder/x.dat"), good));
  // The rename fails: the target is a folder that is not empty.
  std::filesystem::create_directories(folder.path("busy/inner"));
  EXPECT_FALSE(writeFileAtomically(folder.path("busy"), good));
  EXPECT_EQ(folder.names(), (std::set<std::string>{"bank.dat", "busy"}));
}

}  // namespace
