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

namespace {

using vsttest::VstInstance;

constexpr size_t kRackLatency = 64;

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
// takes their average), in blocks of `block` frames; then what the render does to the output.
class HostRun {
 public:
  HostRun(VstInstance& instance, const std::vector<float>& input, size_t block)
      : instance_(instance), input_(input), block_(block) {
    input_.resize(input.size() + kRackLatency, 0.0f);
  }

  // Runs blocks until `frames` input frames (of the lengthened input) have gone through.
  void runTo(size_t frames) {
    std::vector<float> in(block_), outL(block_), outR(block_);
    while (done_ < std::min(frames, input_.size())) {
      const size_t n = std::min(block_, input_.size() - done_);
      std::copy_n(input_.begin() + long(done_), n, in.begin());
      instance_.processReplacing(in.data(), in.data(), outL.data(), outR.data(), int32_t(n));
      for (size_t i = done_ < kRackLatency ? kRackLatency - done_ : 0; i < n; ++i) {
        output_.push_back(clipToFullScale(outL[i]));
        output_.push_back(clipToFullScale(outR[i]));
      }
      done_ += n;
    }
  }
  const std::vector<float>& output() const { return output_; }
  bool audible() const {
    return std::any_of(output_.begin(), output_.end(),
                       [](float x) { return std::fabs(x) > 1e-3f; });
  }

 private:
  VstInstance& instance_;
  std::vector<float> input_;
  size_t block_;
  size_t done_ = 0;
  std::vector<float> output_;
};

// Two instances with their own programs, made and destroyed on threads of their own as hosts
// may do, run block by block in turn: each plays exactly the offline render of its program;
// suspended and resumed, it goes on playing.
TEST(PluginProcessing, InstancesInHostBlocksEqualTheOfflineRender) {
  vsttest::PrivateSettings settings;
  ASSERT_TRUE(vsttest::writeVariedBank(settings.bank()));
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

    HostRun runs[2] = {{*amps[0], phrase, size_t(c.block)}, {*amps[1], phrase, size_t(c.block)}};
    for (size_t frames = 0; frames < phrase.size() + 2 * kRackLatency; frames += size_t(c.block))
      for (HostRun& run : runs)
        run.runTo(frames + size_t(c.block));
    EXPECT_NE(runs[0].output(), runs[1].output());
    for (int i = 0; i < 2; ++i) {
      const std::vector<float> expected = offlineRender(phrase, c.rate, c.programs[i]);
      EXPECT_TRUE(runs[i].output() == expected) << "program " << c.programs[i];
      amps[i]->dispatch(vstabi::kMainsChanged, 0, 0);
      amps[i]->dispatch(vstabi::kMainsChanged, 0, 1);
      HostRun again(*amps[i], std::vector<float>(phrase.begin(), phrase.begin() + c.rate),
                    size_t(c.block));
      again.runTo(size_t(c.rate));
      EXPECT_TRUE(again.audible()) << "program " << c.programs[i];
    }
    const auto destroy = [&](int i) { amps[i].reset(); };
    std::jthread first(destroy, 0), second(destroy, 1);
  }
}

}  // namespace
