#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "demo_phrase.h"
#include "full_scale.h"
#include "plugin/vlvr_processor.h"
#include "processor_session.h"
#include "render.h"
#include "vst/vst_host.h"

namespace {

using vsttest::VstInstance;

constexpr size_t kRackLatency = 64;

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

// `valvorama render` of `input`: the rack's latency removed, clipped, interleaved stereo.
std::vector<float> offlineRender(const std::vector<float>& input, int rate, int program) {
  ProcessorSession session;
  session.loadBank("");  // the settings folder's, as the plug-in reads it
  session.start(rate, program);
  std::vector<float> out;
  render(
      session, monoInput(input), 0, false,
      [&out](const float* frames, long n) { out.insert(out.end(), frames, frames + 2 * n); },
      false);
  return out;
}

// A host block from frame `at`, the input on both channels; the output as the render leaves it.
void hostBlock(VstInstance& amp, const std::vector<float>& input, size_t at, size_t n,
               std::vector<float>& out) {
  std::vector<float> in(n, 0.0f), left(n), right(n);
  if (at < input.size())
    std::copy_n(input.begin() + long(at), std::min(n, input.size() - at), in.begin());
  amp.processReplacing(in.data(), left.data(), right.data(), int32_t(n));
  for (size_t i = at < kRackLatency ? kRackLatency - at : 0; i < n; ++i) {
    out.push_back(clipToFullScale(left[i]));
    out.push_back(clipToFullScale(right[i]));
  }
}

// Two instances made and destroyed on threads of their own, run block by block in turn: each plays
// exactly the offline render of its program; suspended and resumed, it goes on playing.
TEST(PluginProcessing, InstancesInHostBlocksEqualTheOfflineRender) {
  vsttest::PrivateSettings settings;
  ASSERT_TRUE(writeVariedBank(settings.bank()));
  struct Case {
    int rate, block, programs[2];
  };
  for (const Case c :
       {Case{44100, 256, {0, 9}}, Case{44100, 1000, {6, 1}}, Case{48000, 256, {3, 2}}}) {
    SCOPED_TRACE(testing::Message() << c.rate << " Hz, blocks of " << c.block);
    const std::vector<float> phrase = demoPhrase(c.rate);
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

    std::vector<float> outs[2];
    const size_t total = phrase.size() + kRackLatency;
    for (size_t at = 0; at < total; at += size_t(c.block))
      for (int i = 0; i < 2; ++i)
        hostBlock(*amps[i], phrase, at, std::min(size_t(c.block), total - at), outs[i]);
    EXPECT_NE(outs[0], outs[1]);
    for (int i = 0; i < 2; ++i) {
      EXPECT_TRUE(outs[i] == offlineRender(phrase, c.rate, c.programs[i]))
          << "program " << c.programs[i];
      amps[i]->dispatch(vstabi::kMainsChanged, 0, 0);
      amps[i]->dispatch(vstabi::kMainsChanged, 0, 1);
      std::vector<float> again;
      for (size_t at = 0; at < size_t(c.rate); at += size_t(c.block))
        hostBlock(*amps[i], phrase, at, size_t(c.block), again);
      EXPECT_TRUE(
          std::any_of(again.begin(), again.end(), [](float x) { return std::fabs(x) > 1e-3f; }))
          << "program " << c.programs[i];
    }
    const auto destroy = [&](int i) { amps[i].reset(); };
    std::jthread first(destroy, 0), second(destroy, 1);
  }
}

}  // namespace
