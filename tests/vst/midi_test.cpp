#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <vector>

#include "support/allocation_counter.h"
#include "vst/vst_host.h"
#include "vst/vst_test_support.h"

namespace {

using vsttest::MidiEventList;
using vsttest::VstInstance;
using vsttest::VstLibrary;

// Preset keys learned as controllers 80 (up) and 81 (down) on channel 1: status × 256 + data 1.
constexpr uint32_t kUpKey = 0xB0u << 8 | 80;
constexpr uint32_t kDownKey = 0xB0u << 8 | 81;

// A mappings file as the window writes it: 256 controller entries, then the two keys, all
// little-endian. Every controller here is unmapped.
void writeMappings(const std::string& path) {
  std::vector<uint32_t> words(256, 255);
  words.push_back(kUpKey);
  words.push_back(kDownKey);
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(words.data()),
             static_cast<std::streamsize>(words.size() * sizeof(uint32_t)));
}

class PluginMidi : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(settings_.ready());
    ASSERT_TRUE(library_.loaded()) << library_.error();
  }
  std::unique_ptr<VstInstance> makeInstance() {
    auto instance = std::make_unique<VstInstance>(library_);
    if (instance->effect()) instance->start(44100.0f, 256);
    return instance;
  }
  int32_t program(VstInstance& instance) {
    return static_cast<int32_t>(instance.dispatch(vstabi::kGetProgram));
  }

  vsttest::PrivateSettings settings_;
  VstLibrary library_;
};

TEST_F(PluginMidi, ControllersOfTheDefaultMapMoveTheirParameters) {
  auto instance = makeInstance();
  ASSERT_NE(instance->effect(), nullptr);
  EXPECT_EQ(instance->canDo("receiveVstMidiEvent"), 1);
  struct Case {
    std::vector<uint8_t> message;
    int32_t parameter;
    float normalised;
  };
  for (const Case& c :
       {Case{{0xB0, 1, 127}, 3, 1.0f},                              // wah position
        Case{{0xB0, 1, 0}, 3, 0.0f}, Case{{0xB3, 19, 0}, 7, 0.0f},  // overdrive level, any channel
        Case{{0xB3, 19, 127}, 7, 1.0f},
        // A volume pedal on channel 6 is controller 5: the delay time.
        Case{{0xB5, 7, 127}, 11, 1.0f}, Case{{0xB5, 7, 0}, 11, 0.0f}}) {
    SCOPED_TRACE(testing::Message() << "CC " << int(c.message[1]) << " = " << int(c.message[2]));
    EXPECT_EQ(instance->sendMidi({c.message}), 1);
    EXPECT_EQ(instance->getParameter(c.parameter), c.normalised);
  }
  // Unmapped controllers and note messages leave every value as it was.
  std::vector<float> before;
  for (int32_t i = 0; i < 22; ++i)
    before.push_back(instance->getParameter(i));
  instance->sendMidi({{0xB0, 10, 99}, {0x90, 60, 100}, {0xE0, 0, 64}});
  for (int32_t i = 0; i < 22; ++i)
    EXPECT_EQ(instance->getParameter(i), before[i]) << "parameter " << i;
  EXPECT_EQ(program(*instance), 0);
}

TEST_F(PluginMidi, LearnedPresetKeysAndProgramChangesSelectPrograms) {
  writeMappings(settings_.file("valvoramaMappings.dat"));
  auto instance = makeInstance();
  ASSERT_NE(instance->effect(), nullptr);
  struct Step {
    std::vector<std::vector<uint8_t>> messages;
    int32_t program;
  };
  for (const Step& s :
       {Step{{{0xB0, 80, 127}}, 1}, Step{{{0xB0, 80, 0}}, 1},  // the pedal's release
        Step{{{0xB0, 80, 127}, {0xB0, 80, 0}}, 2}, Step{{{0xB0, 81, 127}}, 1},
        Step{{{0xB0, 81, 127}}, 0}, Step{{{0xB0, 81, 127}}, 127},  // round the bank
        Step{{{0xC0, 42}}, 42}, Step{{{0xB0, 80, 100}}, 43}}) {
    instance->sendMidi(s.messages);
    EXPECT_EQ(program(*instance), s.program);
  }
  // The file's map replaced the default one: controller 1 moves nothing now.
  const float wah = instance->getParameter(3);
  instance->sendMidi({{0xB0, 1, uint8_t(wah == 0.0f ? 127 : 0)}});
  EXPECT_EQ(instance->getParameter(3), wah);
}

// Hosts send events on their audio thread: handling them, program steps included, allocates
// nothing.
TEST_F(PluginMidi, EventsAllocateNothing) {
  writeMappings(settings_.file("valvoramaMappings.dat"));
  auto instance = makeInstance();
  ASSERT_NE(instance->effect(), nullptr);
  MidiEventList events({{0xB0, 80, 127}, {0xC0, 9, 0}, {0xB0, 81, 127}, {0xB0, 19, 64}});
  // Program 9's name is too long to be formatted without allocating.
  instance->dispatch(vstabi::kSetProgram, 0, 9);
  instance->dispatch(vstabi::kSetProgramName, 0, 0, const_cast<char*>("A long program name"));
  instance->dispatch(vstabi::kSetProgram, 0, 3);
  testsupport::AllocationCounter counter;
  instance->dispatch(vstabi::kProcessEvents, 0, 0, events.list());
  EXPECT_EQ(counter.count(), 0u);
  EXPECT_EQ(program(*instance), 9);
}

}  // namespace
