#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <barrier>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "plugin/sample_rate.h"
#include "plugin/vlvr_processor.h"
#include "support/allocation_counter.h"
#include "support/signals.h"
#include "vst/vst_host.h"

namespace {

using vsttest::VstInstance;
using Stereo = std::array<std::vector<float>, 2>;

constexpr int kAmpModelRow = 20;

// The bank file read back: the name of `program`, or "" when the file does not read whole.
std::string storedName(const std::string& bank, int program) {
  plugin::vlvrProcessor reader;
  reader.initialize();
  return reader.loadProgramBankFile(bank) ? reader.programName(program) : "";
}

void rename(VstInstance& instance, int program, const std::string& name) {
  instance.dispatch(vstabi::kSetProgram, 0, program);
  instance.dispatch(vstabi::kSetProgramName, 0, 0, const_cast<char*>(name.c_str()));
}

// The processor's own output for `input` in one call, with the amp model at `model`.
Stereo reference(std::vector<float> input, int rate, float model) {
  plugin::setProcessSampleRate(float(rate));
  plugin::vlvrProcessor processor;
  processor.initialize();
  processor.open();
  processor.setParameter(kAmpModelRow, model);
  Stereo out = {std::vector<float>(input.size()), std::vector<float>(input.size())};
  float *ins[2] = {input.data(), input.data()}, *outs[2] = {out[0].data(), out[1].data()};
  processor.processReplacing(ins, outs, int32_t(input.size()));
  return out;
}

class PluginInstance : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(settings_.ready() && library_.loaded()) << library_.error(); }
  std::unique_ptr<VstInstance> make(int rate = 44100, int32_t block = 256) {
    auto instance = std::make_unique<VstInstance>(library_);
    if (instance->effect()) instance->start(float(rate), block);
    return instance;
  }
  vsttest::PrivateSettings settings_;
  vsttest::VstLibrary library_;
};

TEST_F(PluginInstance, TheRecordAnswersHostsAndRefusesWhatIsOutOfRange) {
  auto amp = make();
  ASSERT_TRUE(amp->effect());
  const vstabi::Effect& e = *amp->effect();
  EXPECT_EQ(std::tuple(e.magic, e.numPrograms, e.numParams, e.numInputs, e.numOutputs,
                       e.initialDelay, e.ioRatio, e.uniqueID, e.version),
            std::tuple(vstabi::fourCC("VstP"), 128, 22, 2, 2, 0, 1.0f, vstabi::fourCC("Vlvr"), 1));
  EXPECT_EQ(e.flags, vstabi::kFlagHasEditor | vstabi::kFlagCanMono | vstabi::kFlagCanReplacing);
  EXPECT_NE(e.process, nullptr);
  EXPECT_EQ(library_.entryPoint("VSTPluginMain")(nullptr), nullptr) << "no host callback";

  EXPECT_EQ(amp->dispatch(vstabi::kLastOpcode + 1), 0);
  for (int32_t i : {-1, 0, 21, 22})
    EXPECT_EQ(amp->dispatch(vstabi::kCanBeAutomated, i), i >= 0 && i < 22 ? 1 : 0) << i;
  for (const auto& [text, can] : {std::pair{"receiveVstMidiEvent", 1}, {"sendVstEvents", 0}})
    EXPECT_EQ(amp->dispatch(vstabi::kCanDo, 0, 0, const_cast<char*>(text)), can) << text;
  for (const intptr_t program : {intptr_t{5}, intptr_t{128}, intptr_t{-1}}) {
    amp->dispatch(vstabi::kSetProgram, 0, program);
    EXPECT_EQ(amp->dispatch(vstabi::kGetProgram), 5) << "after asking for " << program;
  }
  // A host's program name buffer holds 24 bytes: longer names come back cut, never overrun.
  const std::string longName = "A name longer than any host buffer";
  rename(*amp, 127, longName);
  EXPECT_EQ(amp->dispatchText(vstabi::kGetProgramName), longName.substr(0, 23));
  EXPECT_EQ(amp->dispatchText(vstabi::kGetParamName, 22), "");
  amp->dispatch(vstabi::kGetParamName, 0, 0, nullptr);  // no buffer: nothing written
}

// Hosts send events on their audio thread: handling them allocates nothing. With no editor open the
// instance selects programs itself, stepping with the preset keys of the settings folder's map.
TEST_F(PluginInstance, PresetKeysAndProgramChangesSelectProgramsWithoutAllocating) {
  // 256 unmapped controllers, then the preset keys learned as controllers 80 (up) and 81 (down).
  std::vector<uint32_t> words(256, 255);
  words.insert(words.end(), {0xB0u << 8 | 80, 0xB0u << 8 | 81});
  std::filesystem::create_directories(settings_.folder());
  std::ofstream(settings_.folder() + "/valvoramaMappings.dat", std::ios::binary)
      .write(reinterpret_cast<const char*>(words.data()), std::streamsize(words.size() * 4));
  auto amp = make();
  using Step = std::pair<std::vector<uint8_t>, int32_t>;  // a message, the program after it
  for (const auto& [message, program] : {Step{{0xB0, 80, 127}, 1}, Step{{0xB0, 80, 0}, 1},
                                         Step{{0xB0, 81, 127}, 0}, Step{{0xC0, 42}, 42}}) {
    amp->sendMidi({message});
    EXPECT_EQ(amp->dispatch(vstabi::kGetProgram), program);
  }

  // Program 9's name is too long to be formatted without allocating.
  rename(*amp, 9, "A long program name");
  amp->dispatch(vstabi::kSetProgram, 0, 3);
  vsttest::MidiEventList events({{0xB0, 80, 127}, {0xC0, 9, 0}, {0xB0, 81, 127}, {0xB0, 19, 64}});
  testsupport::AllocationCounter counter;
  amp->dispatch(vstabi::kProcessEvents, 0, 0, events.list());
  EXPECT_EQ(counter.count(), 0u);
  EXPECT_EQ(amp->dispatch(vstabi::kGetProgram), 9);
}

TEST_F(PluginInstance, TheBankIsReadAtTheStartWrittenWholeAtCloseAndABadOneLeftAlone) {
  rename(*make(), 7, "Crunch");
  rename(*make(), 8, "Clean");  // on the bank the one before wrote
  EXPECT_EQ(storedName(settings_.bank(), 7), "Crunch");
  EXPECT_EQ(storedName(settings_.bank(), 8), "Clean");

  const std::vector<uint8_t> garbage = {'n', 'o', 't', ' ', 'a', ' ', 'b', 'a', 'n', 'k'};
  testsupport::writeBytes(settings_.bank(), garbage);
  {
    VstInstance instance(library_);
    EXPECT_EQ(instance.dispatchText(vstabi::kGetProgramName), "Program 1");
    rename(instance, 0, "Lost");
  }
  EXPECT_EQ(testsupport::readBytes(settings_.bank()), garbage);

  // Two instances closing at the same moment: the bank is one of theirs, whole, with no leftovers.
  std::filesystem::remove(settings_.bank());
  for (int round = 0; round < 8; ++round) {
    const std::string names[2] = {std::to_string(2 * round), std::to_string(2 * round + 1)};
    std::unique_ptr<VstInstance> instances[2] = {make(), make()};
    for (int i = 0; i < 2; ++i)
      rename(*instances[i], 0, names[i]);
    std::barrier start(2);
    const auto close = [&start](std::unique_ptr<VstInstance>& instance) {
      start.arrive_and_wait();
      instance.reset();
    };
    { std::jthread first(close, std::ref(instances[0])), second(close, std::ref(instances[1])); }
    const std::string name = storedName(settings_.bank(), 0);
    EXPECT_TRUE(name == names[0] || name == names[1]) << '"' << name << '"';
    for (const auto& entry : std::filesystem::directory_iterator(settings_.folder()))
      EXPECT_EQ(entry.path().filename(), "ValvoramaLive settings.dat");
  }
}

// Two instances made and destroyed on threads of their own, run block by block in turn: each plays
// exactly what the processor plays with its settings.
TEST_F(PluginInstance, InstancesInHostBlocksPlayAsTheProcessor) {
  struct Case {
    int rate, block;
    float models[2];
  };
  for (const Case c : {Case{44100, 256, {0.0f, 0.7f}}, Case{48000, 1000, {0.7f, 0.4f}}}) {
    SCOPED_TRACE(testing::Message() << c.rate << " Hz, blocks of " << c.block);
    std::vector<float> note = testsupport::pluckedNote(110.0, 1.0, 0.8f, c.rate);
    std::unique_ptr<VstInstance> amps[2];
    const auto create = [&](int i) {
      amps[i] = make(c.rate, c.block);
      if (amps[i]->effect()) amps[i]->setParameter(kAmpModelRow, c.models[i]);
    };
    { std::jthread first(create, 0), second(create, 1); }
    ASSERT_TRUE(amps[0]->effect() && amps[1]->effect());

    const Stereo silence = {std::vector<float>(note.size()), std::vector<float>(note.size())};
    Stereo outs[2] = {silence, silence};
    for (size_t at = 0; at < note.size(); at += size_t(c.block)) {
      const auto n = int32_t(std::min(size_t(c.block), note.size() - at));
      for (int i = 0; i < 2; ++i)
        amps[i]->processReplacing(&note[at], &note[at], &outs[i][0][at], &outs[i][1][at], n);
    }
    EXPECT_NE(outs[0], outs[1]);
    for (int i = 0; i < 2; ++i)
      EXPECT_TRUE(outs[i] == reference(note, c.rate, c.models[i])) << "amp model " << c.models[i];
    // Suspended and resumed, as hosts do around a change of settings, it still plays.
    amps[0]->dispatch(vstabi::kMainsChanged, 0, 0);
    amps[0]->dispatch(vstabi::kMainsChanged, 0, 1);
    Stereo again = silence;
    for (size_t at = 0; at < note.size(); at += size_t(c.block)) {
      const auto n = int32_t(std::min(size_t(c.block), note.size() - at));
      amps[0]->processReplacing(&note[at], &note[at], &again[0][at], &again[1][at], n);
    }
    EXPECT_TRUE(std::any_of(again[0].begin(), again[0].end(), [](float v) { return v > 0.05f; }));
    const auto destroy = [&](int i) { amps[i].reset(); };
    std::jthread first(destroy, 0), second(destroy, 1);
  }
}

}  // namespace
