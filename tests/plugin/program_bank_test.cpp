#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "plugin/program_bank.h"
#include "plugin_test_support.h"

namespace {

using plugin::evaProcessorProgram;
using plugin::evaProcessorPrograms;
using plugintest::makeProcessor;
using plugintest::readBytes;
using Bytes = std::vector<uint8_t>;

constexpr size_t kBankBytes = 69690;
constexpr size_t kDataStart = 58;  // magic, four small atoms, the Edta header

// Programs that differ from the defaults in every name and value.
void customise(plugin::vlvrProcessor& p) {
  for (int prog = 0; prog < 128; ++prog) {
    for (int i = 0; i < 22; ++i)
      p.setParameterPlain(i, float((prog * 7 + i * 3) % 128) / (i == 2 || i >= 19 ? 64 : 1));
    p.storeProgram(prog, ("Sound " + std::to_string(prog * 3)).c_str());
  }
}

bool samePrograms(const evaProcessorPrograms& a, const evaProcessorPrograms& b) {
  if (a.count() != b.count()) return false;
  for (int i = 0; i < a.count(); ++i) {
    if (std::strcmp(a[i].name, b[i].name) != 0) return false;
    if (std::memcmp(a[i].values, b[i].values, sizeof a[i].values) != 0) return false;
  }
  return true;
}

uint32_t word(const Bytes& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

void swap4(Bytes& b, size_t at) {
  std::swap(b[at], b[at + 3]);
  std::swap(b[at + 1], b[at + 2]);
}

// The same bank as the other byte order writes it.
Bytes byteSwapped(Bytes b) {
  swap4(b, 0);
  size_t at = 4;
  while (at + 8 <= b.size()) {
    const uint32_t tag = word(b, at), size = word(b, at + 4);
    swap4(b, at);
    swap4(b, at + 4);
    if (tag == framework::fourCC("Ecnt")) {
      std::swap(b[at + 8], b[at + 9]);
    } else if (tag == framework::fourCC("Edta")) {
      for (size_t rec = at + 8; rec < at + 8 + size; rec += 544)
        for (size_t v = rec + 32; v < rec + 544; v += 4)
          swap4(b, v);
    } else {
      swap4(b, at + 8);
    }
    at += 8 + size;
  }
  return b;
}

TEST(ProgramBank, WrittenFileHasTheDescribedLayout) {
  plugintest::TempDir dir;
  auto p = makeProcessor();
  customise(*p);
  const std::string path = dir.file("bank.dat");
  ASSERT_TRUE(p->saveProgramBankFile(path));
  const Bytes b = readBytes(path);
  ASSERT_EQ(b.size(), kBankBytes);
  const Bytes start = {0x67, 0x73, 0x46, 0x41, 0x67, 0x6F, 0x72, 0x70,
                       0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  EXPECT_TRUE(std::equal(start.begin(), start.end(), b.begin()));
  EXPECT_EQ(word(b, 16), framework::fourCC("Ever"));
  EXPECT_EQ(word(b, 24), 1u);
  EXPECT_EQ(word(b, 28), framework::fourCC("Ecnt"));
  EXPECT_EQ(word(b, 32), 2u);
  EXPECT_EQ(b[36] | b[37] << 8, 128);
  EXPECT_EQ(word(b, 38), framework::fourCC("Ercs"));
  EXPECT_EQ(word(b, 46), 544u);
  EXPECT_EQ(word(b, 50), framework::fourCC("Edta"));
  EXPECT_EQ(word(b, 54), 128u * 544u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[kDataStart + 544])), "Sound 3");

  auto q = makeProcessor();
  EXPECT_TRUE(q->loadProgramBankFile(path));
  EXPECT_TRUE(samePrograms(q->programs(), p->programs()));

  // The default name, in the current folder.
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  EXPECT_TRUE(p->saveProgramBank());
  auto r = makeProcessor();
  EXPECT_TRUE(r->loadProgramBank());
  std::filesystem::current_path(cwd);
  EXPECT_EQ(readBytes(dir.file("ValvoramaLive settings.dat")), b);
  EXPECT_TRUE(samePrograms(r->programs(), p->programs()));
}

TEST(ProgramBank, ByteSwappedAndShortRecordFilesLoad) {
  auto p = makeProcessor();
  customise(*p);
  plugintest::TempDir dir;
  ASSERT_TRUE(p->saveProgramBankFile(dir.file("bank.dat")));
  const Bytes native = readBytes(dir.file("bank.dat"));

  const Bytes swapped = byteSwapped(native);
  EXPECT_EQ(word(swapped, 0), 0x67734641u);
  auto q = makeProcessor();
  EXPECT_TRUE(q->loadProgramBankData(swapped));
  EXPECT_TRUE(samePrograms(q->programs(), p->programs()));

  // Records of 288 bytes: a name and 64 values. Values 22..63 carry markers.
  Bytes shortRecords(native.begin(), native.begin() + kDataStart);
  shortRecords[46] = 0x20;  // Ercs 288
  shortRecords[47] = 0x01;
  const uint32_t dataSize = 128 * 288;
  std::memcpy(&shortRecords[54], &dataSize, 4);
  for (int prog = 0; prog < 128; ++prog) {
    Bytes record(native.begin() + kDataStart + prog * 544,
                 native.begin() + kDataStart + prog * 544 + 288);
    for (int v = 22; v < 64; ++v) {
      const float marker = float(prog + v);
      std::memcpy(&record[32 + v * 4], &marker, 4);
    }
    shortRecords.insert(shortRecords.end(), record.begin(), record.end());
  }
  auto r = makeProcessor();
  EXPECT_TRUE(r->loadProgramBankData(shortRecords));
  for (int prog = 0; prog < 128; ++prog) {
    const evaProcessorProgram& got = r->programs()[prog];
    ASSERT_STREQ(got.name, p->programs()[prog].name);
    for (int v = 0; v < 22; ++v)
      ASSERT_EQ(got.values[v], p->programs()[prog].values[v]);
    for (int v = 22; v < 64; ++v)
      ASSERT_EQ(got.values[v], float(prog + v));
    for (int v = 64; v < 128; ++v)
      ASSERT_EQ(got.values[v], 0.0f) << prog << " " << v;
  }
}

TEST(ProgramBank, ForeignOrDamagedFilesLeaveTheDefaults) {
  auto p = makeProcessor();
  customise(*p);
  plugintest::TempDir dir;
  ASSERT_TRUE(p->saveProgramBankFile(dir.file("bank.dat")));
  const Bytes good = readBytes(dir.file("bank.dat"));
  const auto defaults = makeProcessor();

  auto q = makeProcessor();
  EXPECT_FALSE(q->loadProgramBankFile(dir.file("missing.dat")));
  Bytes notProg = good;
  notProg[4] = 'x';  // first atom `xorp`
  EXPECT_FALSE(q->loadProgramBankData(notProg));
  Bytes badVersion = good;
  badVersion[24] = 2;
  EXPECT_FALSE(q->loadProgramBankData(badVersion));
  EXPECT_TRUE(samePrograms(q->programs(), defaults->programs()));

  // Ercs 0x7F000220 claims records far larger than the file: the data atom counts as short,
  // fills the first record and leaves the others empty, and nothing of that size is allocated.
  Bytes hugeRecords = good;
  hugeRecords[49] = 0x7F;
  EXPECT_TRUE(q->loadProgramBankData(hugeRecords));
  EXPECT_STREQ(q->programName(0), p->programName(0));
  EXPECT_STREQ(q->programName(1), "");
  EXPECT_EQ(q->programs()[1].values[0], 0.0f);

  // Every truncation: the defaults, and the file's programs only when it is whole.
  q->createPrograms(128);
  for (size_t length = 0; length <= good.size(); ++length) {
    const bool read = q->loadProgramBankData(Bytes(good.begin(), good.begin() + length));
    ASSERT_EQ(read, length == good.size()) << length;
    ASSERT_TRUE(samePrograms(q->programs(), read ? p->programs() : defaults->programs())) << length;
  }

  // After a failed read the programs are the defaults again, not what was there before.
  q->loadProgramBankData(good);
  EXPECT_FALSE(q->loadProgramBankData(badVersion));
  EXPECT_TRUE(samePrograms(q->programs(), defaults->programs()));
}

TEST(ProgramBank, FailedWriteKeepsTheOldFile) {
  plugintest::TempDir dir;
  const std::string path = dir.file("bank.dat");
  auto p = makeProcessor();
  ASSERT_TRUE(p->saveProgramBankFile(path));
  const Bytes before = readBytes(path);
  customise(*p);

  // A file size limit stops the write part-way, even for a privileged user.
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = old;
  limited.rlim_cur = 30000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  const bool saved = p->saveProgramBankFile(path);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(saved);
  EXPECT_EQ(readBytes(path), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1)
      << "no temporary file left behind";
  EXPECT_FALSE(p->saveProgramBankFile(dir.file("no such folder/bank.dat")));
}

}  // namespace
