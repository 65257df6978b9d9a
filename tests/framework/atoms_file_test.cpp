#include "framework/atoms_file.h"

#include <gtest/gtest.h>

#include "framework/four_cc.h"
#include "scratch_folder.h"

namespace {

using framework::AtomsFile;
using framework::fourCC;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kProg = fourCC("prog"), kEver = fourCC("Ever"), kEcnt = fourCC("Ecnt");
constexpr uint32_t kEdta = fourCC("Edta"), kTune = fourCC("tune"), kSkin = fourCC("skin");
constexpr uint32_t kLast = fourCC("last");

// An atoms file image built by hand, in either byte order.
struct Image {
  bool big;
  Bytes bytes;
  explicit Image(bool bigEndian) : big(bigEndian) { word(AtomsFile::kMagic); }
  Image& word(uint32_t v) {
    for (int i = 0; i < 4; ++i)
      bytes.push_back(uint8_t(v >> (big ? 24 - 8 * i : 8 * i)));
    return *this;
  }
  Image& atom(uint32_t tag, const Bytes& data) {
    word(tag).word(uint32_t(data.size()));
    bytes.insert(bytes.end(), data.begin(), data.end());
    return *this;
  }
  Image& atomLong(uint32_t tag, uint32_t v) { return word(tag).word(4).word(v); }
};

TEST(AtomsFile, WritesLittleEndianAndReadsInOrder) {
  testsupport::ScratchFolder folder;
  const std::string path = folder.path("ValvoramaLive settings.dat");
  const Bytes records(2 * 544, 0x5A);
  AtomsFile file;
  EXPECT_FALSE(file.createForWriting(folder.path("missing/x.dat")));
  ASSERT_TRUE(file.createForWriting(path));
  file.writeLong(kProg, 0);
  file.writeLong(kEver, 1);
  file.writeShort(kEcnt, -3);
  file.writeRecord(kEdta, uint32_t(records.size()), records.data());
  ASSERT_TRUE(file.close());
  const Bytes good = testsupport::readBytes(path);
  ASSERT_EQ(good.size(), 4u + 12 + 12 + 10 + 8 + records.size());
  EXPECT_EQ(Bytes(good.begin(), good.begin() + 16),
            (Bytes{0x67, 0x73, 0x46, 0x41, 0x67, 0x6F, 0x72, 0x70, 4, 0, 0, 0, 0, 0, 0, 0}));

  ASSERT_TRUE(file.openForReading(path));
  int32_t value = 77;
  int16_t count = 0;
  EXPECT_FALSE(file.readLong(kEver, &value));  // out of order: nothing moves, value kept
  EXPECT_EQ(value, 77);
  EXPECT_TRUE(file.readLong(kProg, &value) && file.readLong(kEver, &value));
  EXPECT_TRUE(file.readShort(kEcnt, &count));
  EXPECT_EQ(value * 10 + count, 7);
  EXPECT_EQ(file.readRecordData(kEdta), records);

  EXPECT_FALSE(file.openForReading(Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0}));
}

TEST(AtomsFile, ReadsEitherByteOrderAndAnyStoredSize) {
  for (const bool big : {false, true}) {
    Image image(big);
    image.atomLong(kProg, 0).atomLong(kLast, 0x01020304);
    image.atom(kEcnt, big ? Bytes{0xFF, 0x80} : Bytes{0x80, 0xFF});
    image.atom(kTune, {1, 2, 3, 4, 5, 6, 7, 8}).atom(kSkin, {9, 8});
    AtomsFile file;
    ASSERT_TRUE(file.openForReading(image.bytes));
    EXPECT_EQ(file.swapped(), big);
    int32_t last = 0;
    int16_t count = 0;
    EXPECT_TRUE(file.skipRecord(kProg) && file.readLong(kLast, &last));
    EXPECT_TRUE(file.readShort(kEcnt, &count));
    EXPECT_EQ(last, 0x01020304);
    EXPECT_EQ(count, -128);
    // Larger stored size: the wanted bytes as they stand, the rest skipped.
    Bytes tune(4);
    EXPECT_TRUE(file.readRecord(kTune, 4, tune.data()));
    EXPECT_EQ(tune, (Bytes{1, 2, 3, 4}));
    // Smaller: the destination cleared, then the stored bytes.
    Bytes skin(6, 0xAA);
    EXPECT_TRUE(file.readRecord(kSkin, 6, skin.data()));
    EXPECT_EQ(skin, (Bytes{9, 8, 0, 0, 0, 0}));
  }
}

TEST(AtomsFile, TruncatedAndHostileFilesStayInBounds) {
  Image image(true);
  image.atomLong(kProg, 0).atom(kTune, {1, 2, 3, 4, 5, 6}).atom(kEdta, Bytes(40, 3));
  image.atomLong(kLast, 9);
  const Bytes whole = image.bytes;
  const size_t lastEnds = whole.size(), edtaEnds = lastEnds - 12, tuneEnds = edtaEnds - 48;
  for (size_t length = 0; length <= whole.size(); ++length) {
    SCOPED_TRACE(length);
    AtomsFile file;
    ASSERT_EQ(file.openForReading(Bytes(whole.begin(), whole.begin() + length)), length >= 4);
    EXPECT_EQ(file.findRecord(kLast), length >= lastEnds - 4);
    EXPECT_EQ(file.findRecord(kProg), length >= 12);
    file.skipRecord(kProg);
    // Heap buffers of the exact size, so the sanitizer sees any overrun.
    Bytes tune(4), records(64);
    EXPECT_EQ(file.readRecord(kTune, 4, tune.data()), length >= tuneEnds);
    EXPECT_EQ(file.readRecord(kEdta, 64, records.data()), length >= edtaEnds);
    int32_t last = -1;
    EXPECT_EQ(file.readLong(kLast, &last), length == lastEnds);
    EXPECT_EQ(last, length == lastEnds ? 9 : -1);
  }

  // A size far beyond the file is neither believed nor allocated.
  Image hostile(false);
  hostile.word(kEdta).word(0xFFFFFFF0u).word(0);
  AtomsFile file;
  ASSERT_TRUE(file.openForReading(hostile.bytes));
  EXPECT_FALSE(file.readRecordData(kEdta) || file.skipRecord(kEdta) || file.findRecord(kLast));
}

}  // namespace
