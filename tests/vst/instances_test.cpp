#include <gtest/gtest.h>

#include <sys/stat.h>

#include <barrier>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "plugin/vlvr_processor.h"
#include "vst/vst_host.h"
#include "vst/vst_test_support.h"

namespace {

using vsttest::VstInstance;
using vsttest::VstLibrary;

// The bank file read back: the name of `program`, or "" when the file does not read whole.
std::string storedName(const std::string& bank, int program) {
  plugin::vlvrProcessor reader;
  reader.initialize();
  return reader.loadProgramBankFile(bank) ? reader.programName(program) : "";
}

ino_t inode(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

void rename(VstInstance& instance, int program, const std::string& name) {
  instance.dispatch(vstabi::kSetProgram, 0, program);
  instance.dispatch(vstabi::kSetProgramName, 0, 0, const_cast<char*>(name.c_str()));
}

class PluginSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(settings_.ready());
    ASSERT_TRUE(library_.loaded()) << library_.error();
  }
  vsttest::PrivateSettings settings_;
  VstLibrary library_;
};

TEST_F(PluginSettings, TheBankIsReadAtTheStartAndWrittenAtCloseWhenItChanged) {
  ASSERT_TRUE(vsttest::writeVariedBank(settings_.bank()));
  const ino_t written = inode(settings_.bank());
  {
    VstInstance unchanged(library_);
    EXPECT_EQ(unchanged.dispatchText(vstabi::kGetProgramName), "Varied 1");
    unchanged.dispatch(vstabi::kSetProgram, 0, 7);  // selecting is no change to the bank
  }
  EXPECT_EQ(inode(settings_.bank()), written);  // not even rewritten

  {
    VstInstance renaming(library_);
    rename(renaming, 7, "Crunch");
  }
  EXPECT_EQ(storedName(settings_.bank(), 7), "Crunch");
  EXPECT_EQ(storedName(settings_.bank(), 8), "Varied 9");

  // With no bank yet, closing writes the built-in one.
  std::filesystem::remove_all(settings_.folder());
  { VstInstance first(library_); }
  EXPECT_EQ(storedName(settings_.bank(), 0), "Program 1");
}

TEST_F(PluginSettings, ABankThatCannotBeReadIsLeftAlone) {
  std::filesystem::create_directories(settings_.folder());
  const std::string garbage = "not a program bank";
  std::ofstream(settings_.bank(), std::ios::binary) << garbage;
  {
    VstInstance instance(library_);
    EXPECT_EQ(instance.dispatchText(vstabi::kGetProgramName), "Program 1");
    rename(instance, 0, "Lost");
  }
  std::ifstream file(settings_.bank(), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), garbage);
}

// Two instances closing at the same moment, each with its own changes: the bank is one of the
// two, whole, and no temporary file is left behind.
TEST_F(PluginSettings, InstancesClosingAtOnceLeaveAWholeBank) {
  for (int round = 0; round < 8; ++round) {
    SCOPED_TRACE(testing::Message() << "round " << round);
    std::vector<std::unique_ptr<VstInstance>> instances;
    for (int i = 0; i < 2; ++i) {
      instances.push_back(std::make_unique<VstInstance>(library_));
      ASSERT_NE(instances.back()->effect(), nullptr);
      rename(*instances.back(), 0,
             "Instance " + std::to_string(i) + " round " + std::to_string(round));
    }
    std::barrier start(2);
    std::vector<std::thread> closers;
    for (auto& instance : instances) {
      closers.emplace_back([&instance, &start] {
        start.arrive_and_wait();
        instance.reset();
      });
    }
    for (auto& closer : closers)
      closer.join();

    const std::string name = storedName(settings_.bank(), 0);
    EXPECT_TRUE(name == "Instance 0 round " + std::to_string(round) ||
                name == "Instance 1 round " + std::to_string(round))
        << '"' << name << '"';
    for (const auto& entry : std::filesystem::directory_iterator(settings_.folder()))
      EXPECT_EQ(entry.path().filename(), "ValvoramaLive settings.dat");
  }
}

}  // namespace
