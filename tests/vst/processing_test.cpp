#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "plugin/sample_rate.h"
#include "plugin/vlvr_processor.h"
#include "support/signals.h"
#include "vst/vst_host.h"

namespace {

using vsttest::VstInstance;
using Stereo = std::array<std::vector<float>, 2>;

// A program bank whose programs sound different from each other (the built-in ones are alike).
bool writeVariedBank(const std::string& path) {
  plugin::vlvrProcessor processor;
  processor.initialize();
  for (int p = 0; p < 128; ++p) {
    processor.setParameterPlain(13, static_cast<float>(20 + 7 * p % 100));  // preamp gain
    processor.setParameterPlain(8, static_cast<float>(p % 2));              // overdrive on
    processor.setParameterPlain(20, static_cast<float>(p % 4));             // amp model
    processor.setParameterPlain(19, static_cast<float>(p / 4 % 4));         // cabinet
    processor.storeProgram(p, ("Varied " + std::to_string(p + 1)).c_str());
  }
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  return processor.saveProgramBankFile(path);
}

// The processor's own output for `input` in one call, with a program of `bank`.
Stereo reference(const std::string& bank, std::vector<float> input, int rate, int program) {
  plugin::setProcessSampleRate(float(rate));
  plugin::vlvrProcessor processor;
  processor.initialize();
  EXPECT_TRUE(processor.loadProgramBankFile(bank));
  processor.open();
  processor.setProgram(program);
  Stereo out = {std::vector<float>(input.size()), std::vector<float>(input.size())};
  float* ins[2] = {input.data(), input.data()};
  float* outs[2] = {out[0].data(), out[1].data()};
  processor.processReplacing(ins, outs, int32_t(input.size()));
  return out;
}

// Two instances made and destroyed on threads of their own, run block by block in turn: each plays
// exactly what the processor plays with its program; suspended and resumed, it goes on playing.
TEST(PluginProcessing, InstancesInHostBlocksPlayAsTheProcessor) {
  vsttest::PrivateSettings settings;
  ASSERT_TRUE(writeVariedBank(settings.bank()));
  struct Case {
    int rate, block, programs[2];
  };
  for (const Case c :
       {Case{44100, 256, {0, 9}}, Case{44100, 1000, {6, 1}}, Case{48000, 256, {3, 2}}}) {
    SCOPED_TRACE(testing::Message() << c.rate << " Hz, blocks of " << c.block);
    std::vector<float> note = testsupport::pluckedNote(110.0, 1.0, 0.8f, c.rate);
    vsttest::VstLibrary library;
    ASSERT_TRUE(library.loaded()) << library.error();
    std::unique_ptr<VstInstance> amps[2];
    const auto make = [&](int i) {
      amps[i] = std::make_unique<VstInstance>(library);
      if (!amps[i]->effect()) return;
      amps[i]->start(float(c.rate), c.block);
      amps[i]->dispatch(vstabi::kSetProgram, 0, c.programs[i]);
    };
    { std::jthread first(make, 0), second(make, 1); }
    ASSERT_TRUE(amps[0]->effect() && amps[1]->effect());

    Stereo outs[2];
    for (Stereo& out : outs)
      out = {std::vector<float>(note.size()), std::vector<float>(note.size())};
    for (size_t at = 0; at < note.size(); at += size_t(c.block)) {
      const auto n = int32_t(std::min(size_t(c.block), note.size() - at));
      for (int i = 0; i < 2; ++i)
        amps[i]->processReplacing(&note[at], &outs[i][0][at], &outs[i][1][at], n);
    }
    EXPECT_NE(outs[0], outs[1]);
    for (int i = 0; i < 2; ++i) {
      EXPECT_TRUE(outs[i] == reference(settings.bank(), note, c.rate, c.programs[i]))
          << "program " << c.programs[i];
      amps[i]->dispatch(vstabi::kMainsChanged, 0, 0);
      amps[i]->dispatch(vstabi::kMainsChanged, 0, 1);
      amps[i]->processReplacing(note.data(), outs[i][0].data(), outs[i][1].data(), c.block);
      EXPECT_TRUE(std::any_of(outs[i][0].begin(), outs[i][0].begin() + c.block,
                              [](float x) { return std::fabs(x) > 1e-3f; }))
          << "program " << c.programs[i];
    }
    const auto destroy = [&](int i) { amps[i].reset(); };
    std::jthread first(destroy, 0), second(destroy, 1);
  }
}

}  // namespace
