#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "plugin/program_bank.h"
#include "plugin_test_support.h"

namespace {

using plugintest::makeProcessor;
using Bytes = std::vector<uint8_t>;

constexpr size_t kDataStart = 58;  // magic, four small atoms, the Edta header

// A processor whose programs differ from the defaults everywhere, and the bank it writes.
struct CustomBank {
  CustomBank() {
    for (int prog = 0; prog < 128; ++prog) {
      for (int i = 0; i < 22; ++i)
        p->setParameterPlain(i, float((prog * 7 + i * 3) % 128) / (i == 2 || i >= 19 ? 64 : 1));
      p->storeProgram(prog, ("Sound " + std::to_string(prog * 3)).c_str());
    }
    EXPECT_TRUE(p->saveProgramBankFile(path));
    bytes = plugintest::readBytes(path);
  }
  plugintest::TempDir dir;
  std::string path = dir.path("bank.dat");
  std::unique_ptr<plugin::vlvrProcessor> p = makeProcessor();
  Bytes bytes;
};

bool samePrograms(const plugin::evaProcessorPrograms& a, const plugin::evaProcessorPrograms& b) {
  bool same = a.count() == b.count();
  for (int i = 0; same && i < a.count(); ++i)
    same = std::memcmp(&a[i], &b[i], sizeof a[i]) == 0;
  return same;
}

uint32_t word(const Bytes& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

TEST(ProgramBank, WrittenFileHasTheLayoutAndReadsInEitherByteOrderAndWithShortRecords) {
  CustomBank bank;
  const Bytes& b = bank.bytes;
  ASSERT_EQ(b.size(), kDataStart + 128 * 544);
  const Bytes start = {'g', 's', 'F', 'A', 'g', 'o', 'r', 'p', 4, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_TRUE(std::equal(start.begin(), start.end(), b.begin()));
  // Atoms: tag, size, value (Ecnt's a 16-bit one).
  const std::vector<uint32_t> atoms = {word(b, 16), word(b, 24), word(b, 28), word(b, 32),
                                       word(b, 38), word(b, 46), word(b, 50), word(b, 54)};
  using framework::fourCC;
  EXPECT_EQ(atoms, (std::vector<uint32_t>{fourCC("Ever"), 1, fourCC("Ecnt"), 2, fourCC("Ercs"), 544,
                                          fourCC("Edta"), 128 * 544}));
  EXPECT_EQ(b[36] | b[37] << 8, 128);

  // The same bank as the other byte order writes it: every number turned round, names not.
  Bytes swapped = b;
  std::swap(swapped[36], swapped[37]);
  for (size_t at : {0, 4, 8, 12, 16, 20, 24, 28, 32, 38, 42, 46, 50, 54})
    std::reverse(&swapped[at], &swapped[at + 4]);
  for (size_t record = kDataStart; record < swapped.size(); record += 544)
    for (size_t at = record + 32; at < record + 544; at += 4)
      std::reverse(&swapped[at], &swapped[at + 4]);
  // Records of 288 bytes: a name and 64 values, the rest read as 0.
  Bytes short288(b.begin(), b.begin() + kDataStart);
  for (size_t record = kDataStart; record < b.size(); record += 544)
    short288.insert(short288.end(), b.begin() + long(record), b.begin() + long(record + 288));
  const uint32_t sizes[2] = {288, 128 * 288};  // Ercs, and Edta's size
  std::memcpy(&short288[46], &sizes[0], 4);
  std::memcpy(&short288[54], &sizes[1], 4);
  for (const Bytes& file : {b, swapped, short288}) {
    auto q = makeProcessor();
    EXPECT_TRUE(q->loadProgramBankData(file));
    EXPECT_TRUE(samePrograms(q->programs(), bank.p->programs()));
  }
}

TEST(ProgramBank, ForeignOrDamagedFilesLeaveTheDefaultsAndAFailedWriteTheOldFile) {
  CustomBank bank;
  const Bytes& good = bank.bytes;
  const auto defaults = makeProcessor();
  auto q = makeProcessor();
  EXPECT_FALSE(q->loadProgramBankFile(bank.dir.path("missing.dat")));
  Bytes notProg = good, badVersion = good;
  notProg[4] = 'x';  // first atom `xorp`
  badVersion[24] = 2;
  EXPECT_FALSE(q->loadProgramBankData(notProg) || q->loadProgramBankData(badVersion));
  EXPECT_TRUE(samePrograms(q->programs(), defaults->programs()));

  // Ercs 0x7F000220 claims records far larger than the file: the data atom counts as short,
  // fills the first record and leaves the others empty, and nothing of that size is allocated.
  Bytes hugeRecords = good;
  hugeRecords[49] = 0x7F;
  EXPECT_TRUE(q->loadProgramBankData(hugeRecords));
  EXPECT_STREQ(q->programName(0), bank.p->programName(0));
  EXPECT_TRUE(q->programName(1) == std::string() && q->programs()[1].values[0] == 0.0f);

  // Every truncation: the file's programs only when it is whole, else the defaults (again).
  q->createPrograms(128);
  for (size_t length = 0; length <= good.size(); ++length) {
    const bool read = q->loadProgramBankData(Bytes(good.begin(), good.begin() + long(length)));
    ASSERT_EQ(read, length == good.size()) << length;
    ASSERT_TRUE(samePrograms(q->programs(), read ? bank.p->programs() : defaults->programs()))
        << length;
  }
  EXPECT_FALSE(q->loadProgramBankData(badVersion));
  EXPECT_TRUE(samePrograms(q->programs(), defaults->programs()));

  // A file size limit stops the write part-way, even for a privileged user.
  bank.p->storeProgram(3, "Changed");
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  const rlimit limited{30000, old.rlim_max};
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  const bool saved = bank.p->saveProgramBankFile(bank.path);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(saved);
  EXPECT_EQ(plugintest::readBytes(bank.path), good);
  EXPECT_EQ(bank.dir.names(), std::set<std::string>{"bank.dat"}) << "no temporary file left";
  EXPECT_FALSE(bank.p->saveProgramBankFile(bank.dir.path("no such folder/bank.dat")));
}

}  // namespace
