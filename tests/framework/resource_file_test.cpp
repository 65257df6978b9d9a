#include "framework/resource_file.h"

#include <gtest/gtest.h>

#include "framework/four_cc.h"
#include "framework/safe_file.h"
#include "scratch_folder.h"

namespace {

using framework::ResourceFile;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kText = framework::fourCC("TEXT");

Bytes bytesOf(const std::string& text) {
  return {text.begin(), text.end()};
}

TEST(ResourceFile, RoundTripAndTheUpdateLayer) {
  testsupport::ScratchFolder folder;
  const std::string main = folder.path("ValvoramaLive.xrs");
  const std::string update = folder.path("ValvoramaUpdate.xrs");
  ResourceFile file;
  ASSERT_TRUE(file.open(main));  // missing: an empty store
  ASSERT_TRUE(file.write(kText, 101, bytesOf("Volume:80\r\n")));
  ASSERT_TRUE(file.write(kText, 101, bytesOf("Volume:90\r\n")));

  ASSERT_TRUE(file.open(main, update));
  EXPECT_EQ(file.read(kText, 101), bytesOf("Volume:90\r\n"));
  EXPECT_FALSE(file.read(kText, 8));

  // Writes go to the update file, whose entries win; the main file stays as it was.
  const Bytes mainBytes = testsupport::readBytes(main);
  ASSERT_TRUE(file.write(kText, 101, bytesOf("Volume:10\r\n")));
  ASSERT_TRUE(file.write(kText, 102, bytesOf("new")));
  EXPECT_EQ(testsupport::readBytes(main), mainBytes);
  ASSERT_TRUE(file.open(main, update));
  EXPECT_EQ(file.read(kText, 101), bytesOf("Volume:10\r\n"));
  ASSERT_TRUE(file.open(main));
  EXPECT_EQ(file.read(kText, 101), bytesOf("Volume:90\r\n"));
  EXPECT_FALSE(file.contains(kText, 102));

  // A write that cannot be stored changes nothing in memory either.
  ASSERT_TRUE(file.open(main, folder.path("gone/ValvoramaUpdate.xrs")));
  EXPECT_FALSE(file.write(kText, 101, bytesOf("lost")));
  EXPECT_EQ(file.read(kText, 101), bytesOf("Volume:90\r\n"));
  EXPECT_FALSE(ResourceFile().write(kText, 1, bytesOf("nowhere")));
}

TEST(ResourceFile, CorruptImagesAreRejectedWhole) {
  const Bytes good = {'X', 'R', 'S', 'C', 1, 0, 0, 0, 2, 0, 0, 0,  // magic, version, count
                      1,   0,   0,   0,   5, 0, 0, 0, 3, 0, 0, 0, 'a', 'b', 'c',  // (1, 5) "abc"
                      1,   0,   0,   0,   6, 0, 0, 0, 0, 0, 0, 0};                // (1, 6) empty
  ResourceFile file;
  ASSERT_TRUE(file.parse(good));
  EXPECT_EQ(file.read(1, 5), bytesOf("abc"));
  EXPECT_EQ(file.image(), good);

  for (size_t length = 0; length < good.size(); ++length) {
    EXPECT_FALSE(file.parse(Bytes(good.begin(), good.begin() + length))) << length;
  }
  // The magic, the version, a count and a size beyond the file, keys out of order and twice.
  for (const auto& [at, value] :
       {std::pair<int, int>{0, 'x'}, {4, 2}, {11, 0xFF}, {23, 0x80}, {31, 4}, {31, 5}}) {
    Bytes broken = good;
    broken[size_t(at)] = uint8_t(value);
    EXPECT_FALSE(file.parse(broken)) << at << " = " << value;
  }
  Bytes trailing = good;
  trailing.push_back(0);
  EXPECT_FALSE(file.parse(trailing));
  EXPECT_EQ(file.read(1, 5), bytesOf("abc"));  // a refused image leaves the store alone

  testsupport::ScratchFolder folder;
  ASSERT_TRUE(framework::writeFileAtomically(folder.path("bad.xrs"), trailing));
  EXPECT_FALSE(file.open(folder.path("missing.xrs"), folder.path("bad.xrs")));
  EXPECT_TRUE(file.keys().empty());
}

}  // namespace
