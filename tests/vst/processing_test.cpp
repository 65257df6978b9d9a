#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

#include "demo_phrase.h"
#include "full_scale.h"
#include "processor_session.h"
#include "render.h"
#include "vst/vst_host.h"
#include "vst/vst_test_support.h"

namespace {

using vsttest::VstInstance;
using vsttest::VstLibrary;

constexpr int kRackLatency = 64;

// `valvorama render` of `input` through `program` at `rate`: the rack's latency removed, the
// output clipped to full scale, interleaved stereo.
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

// The same through the plug-in as a host drives it: the input on both channels (the processor
// takes their average), blocks of `block` frames; then what the render does to the output.
class HostRun {
 public:
  HostRun(VstInstance& instance, const std::vector<float>& input, int block)
      : instance_(instance), input_(input), block_(block) {
    input_.resize(input.size() + kRackLatency, 0.0f);
  }

  // Runs blocks until `frames` input frames (of the lengthened input) have gone through.
  void runTo(size_t frames) {
    std::vector<float> inL(block_), inR(block_), outL(block_), outR(block_);
    while (done_ < std::min(frames, input_.size())) {
      const size_t n = std::min<size_t>(block_, input_.size() - done_);
      std::copy_n(input_.begin() + static_cast<long>(done_), n, inL.begin());
      std::copy_n(input_.begin() + static_cast<long>(done_), n, inR.begin());
      instance_.processReplacing(inL.data(), inR.data(), outL.data(), outR.data(),
                                 static_cast<int32_t>(n));
      for (size_t i = 0; i < n; ++i) {
        if (done_ + i < kRackLatency) continue;
        output_.push_back(clipToFullScale(outL[i]));
        output_.push_back(clipToFullScale(outR[i]));
      }
      done_ += n;
    }
  }
  void runAll() { runTo(input_.size()); }
  const std::vector<float>& output() const { return output_; }

 private:
  VstInstance& instance_;
  std::vector<float> input_;
  int block_;
  size_t done_ = 0;
  std::vector<float> output_;
};

// Index of the first sample that differs, or -1.
long firstDifference(const std::vector<float>& a, const std::vector<float>& b) {
  if (a.size() != b.size()) return static_cast<long>(std::min(a.size(), b.size()));
  const auto at = std::mismatch(a.begin(), a.end(), b.begin());
  return at.first == a.end() ? -1 : static_cast<long>(at.first - a.begin());
}

bool audible(const std::vector<float>& samples) {
  return std::any_of(samples.begin(), samples.end(), [](float x) { return std::fabs(x) > 1e-3f; });
}

class PluginProcessing : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(settings_.ready());
    ASSERT_TRUE(vsttest::writeVariedBank(settings_.bank()));
  }
  vsttest::PrivateSettings settings_;
};

TEST_F(PluginProcessing, TheDemoPhraseInHostBlocksEqualsTheOfflineRender) {
  struct Case {
    int rate, block, program;
  };
  for (const Case c : {Case{44100, 256, 0}, Case{44100, 1000, 6}, Case{48000, 256, 3}}) {
    SCOPED_TRACE(testing::Message()
                 << c.rate << " Hz, blocks of " << c.block << ", program " << c.program);
    const std::vector<float> phrase = demoPhrase(c.rate);
    const std::vector<float> expected = offlineRender(phrase, c.rate, c.program);
    ASSERT_TRUE(audible(expected));

    VstLibrary library;
    ASSERT_TRUE(library.loaded()) << library.error();
    {
      VstInstance instance(library);
      ASSERT_NE(instance.effect(), nullptr);
      instance.start(static_cast<float>(c.rate), c.block);
      instance.dispatch(vstabi::kSetProgram, 0, c.program);
      HostRun run(instance, phrase, c.block);
      run.runAll();
      EXPECT_EQ(firstDifference(run.output(), expected), -1);

      // Suspended and resumed, it goes on playing.
      instance.dispatch(vstabi::kMainsChanged, 0, 0);
      instance.dispatch(vstabi::kMainsChanged, 0, 1);
      HostRun again(instance, std::vector<float>(phrase.begin(), phrase.begin() + c.rate), c.block);
      again.runAll();
      EXPECT_TRUE(audible(again.output()));
      instance.close();
    }
    library.unload();
  }
}

TEST_F(PluginProcessing, TwoInstancesPlayTheirOwnProgramsBlockByBlock) {
  constexpr int kRate = 44100;
  constexpr int kBlock = 512;
  std::vector<float> phrase = demoPhrase(kRate);
  phrase.resize(3 * kRate);
  const int programs[2] = {1, 9};

  VstLibrary library;
  ASSERT_TRUE(library.loaded()) << library.error();
  std::vector<std::unique_ptr<VstInstance>> instances;
  std::vector<std::unique_ptr<HostRun>> runs;
  for (int program : programs) {
    instances.push_back(std::make_unique<VstInstance>(library));
    ASSERT_NE(instances.back()->effect(), nullptr);
    instances.back()->start(kRate, kBlock);
    instances.back()->dispatch(vstabi::kSetProgram, 0, program);
    runs.push_back(std::make_unique<HostRun>(*instances.back(), phrase, kBlock));
  }
  for (size_t frames = kBlock; frames < phrase.size() + 2 * kBlock; frames += kBlock) {
    for (auto& run : runs)
      run->runTo(frames);
  }
  EXPECT_NE(runs[0]->output(), runs[1]->output());
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(firstDifference(runs[i]->output(), offlineRender(phrase, kRate, programs[i])), -1)
        << "program " << programs[i];
  }
}

// Hosts make and destroy instances on whatever thread they like, several at once.
TEST_F(PluginProcessing, InstancesMadeAndDestroyedOnOtherThreads) {
  constexpr int kInstances = 3;
  VstLibrary library;
  ASSERT_TRUE(library.loaded()) << library.error();
  std::vector<std::unique_ptr<VstInstance>> instances(kInstances);
  {
    std::vector<std::thread> makers;
    for (auto& instance : instances) {
      makers.emplace_back([&library, &instance] {
        instance = std::make_unique<VstInstance>(library);
        if (instance->effect()) instance->start(44100.0f, 256);
      });
    }
    for (auto& maker : makers)
      maker.join();
  }
  std::vector<float> phrase = demoPhrase(44100);
  phrase.resize(44100);
  for (auto& instance : instances) {
    ASSERT_NE(instance->effect(), nullptr);
    HostRun run(*instance, phrase, 256);
    run.runAll();
    EXPECT_TRUE(audible(run.output()));
  }
  std::vector<std::thread> closers;
  for (auto& instance : instances)
    closers.emplace_back([&instance] { instance.reset(); });
  for (auto& closer : closers)
    closer.join();
}

}  // namespace
