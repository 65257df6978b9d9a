#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "plugin/program_bank.h"
#include "plugin_test_support.h"

namespace {

using plugin::evaProcessorPrograms;
using plugintest::makeProcessor;
using plugintest::readBytes;
using Bytes = std::vector<uint8_t>;

constexpr size_t kBankBytes = 69690;
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
    bytes = readBytes(path);
  }
  plugintest::TempDir dir;
  std::string path = dir.path("bank.dat");
  std::unique_ptr<plugin::vlvrProcessor> p = makeProcessor();
  Bytes bytes;
};

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
  for (size_t at = 4; at + 8 <= b.size();) {
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

TEST(ProgramBank, WrittenFileHasTheLayoutAndReadsInEitherByteOrderAndWithShortRecords) {
  CustomBank bank;
  const Bytes& b = bank.bytes;
  ASSERT_EQ(b.size(), kBankBytes);
  const Bytes start = {'g', 's', 'F', 'A', 'g', 'o', 'r', 'p', 4, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_TRUE(std::equal(start.begin(), start.end(), b.begin()));
  // Atoms: tag, size, value (Ecnt's a 16-bit one).
  const std::vector<uint32_t> atoms = {word(b, 16), word(b, 24), word(b, 28), word(b, 32),
                                       word(b, 38), word(b, 46), word(b, 50), word(b, 54)};
  using framework::fourCC;
  EXPECT_EQ(atoms, (std::vector<uint32_t>{fourCC("Ever"), 1, fourCC("Ecnt"), 2, fourCC("Ercs"), 544,
                                          fourCC("Edta"), 128 * 544}));
  EXPECT_EQ(b[36] | b[37] << 8, 128);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[kDataStart + 544])), "Sound 3");

  for (const Bytes& file : {b, byteSwapped(b)}) {
    auto q = makeProcessor();
    EXPECT_TRUE(q->loadProgramBankData(file));
    EXPECT_TRUE(samePrograms(q->programs(), bank.p->programs()));
  }

  // Records of 288 bytes: a name and 64 values; values 22..63 carry markers, the rest read as 0.
  Bytes file(bank.bytes.begin(), bank.bytes.begin() + kDataStart);
  file[46] = 0x20;  // Ercs 288
  file[47] = 0x01;
  const uint32_t dataSize = 128 * 288;
  std::memcpy(&file[54], &dataSize, 4);
  for (int prog = 0; prog < 128; ++prog) {
    const auto record = bank.bytes.begin() + long(kDataStart + prog * 544);
    file.insert(file.end(), record, record + 288);
    for (int v = 22; v < 64; ++v) {
      const float marker = float(prog + v);
      std::memcpy(&file[file.size() - 288 + 32 + v * 4], &marker, 4);
    }
  }
  auto r = makeProcessor();
  EXPECT_TRUE(r->loadProgramBankData(file));
  for (int prog = 0; prog < 128; ++prog) {
    ASSERT_STREQ(r->programName(prog), bank.p->programName(prog));
    for (int v = 0; v < 128; ++v) {
      const float expected = v < 22 ? bank.p->programs()[prog].values[v] : v < 64 ? prog + v : 0;
      ASSERT_EQ(r->programs()[prog].values[v], expected) << prog << " " << v;
    }
  }
}

TEST(ProgramBank, ForeignOrDamagedFilesLeaveTheDefaults) {
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
}

TEST(ProgramBank, FailedWriteKeepsTheOldFile) {
  plugintest::TempDir dir;
  const std::string path = dir.path("bank.dat");
  auto p = makeProcessor();
  ASSERT_TRUE(p->saveProgramBankFile(path));
  const Bytes before = readBytes(path);
  p->storeProgram(3, "Changed");

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
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    EXPECT_EQ(entry.path().filename(), "bank.dat") << "no temporary file left behind";
  EXPECT_FALSE(p->saveProgramBankFile(dir.path("no such folder/bank.dat")));
}

}  // namespace
