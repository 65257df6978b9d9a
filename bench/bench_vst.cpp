// The plug-in's processReplacing through the loaded valvorama-live.so, as a host calls it,
// against the rack alone with the same settings, in host blocks of 64, 256 and 1024 frames at
// 44.1 kHz. The difference is what the processor's frame adds (folding the two inputs into the
// rack's one, cutting the host's block, the entry point); "per_sample" is the cost of one frame.

#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <vector>

#include "bench_signals.h"
#include "plugin/sample_rate.h"
#include "plugin/vlvr_processor.h"
#include "vst/vst_host.h"

namespace {

using benchsignals::guitar;
using benchsignals::kRate;
using benchsignals::perFrame;

// The settings both sides play: the processor's built-in defaults, which the plug-in gets as
// the host's parameter values.
std::unique_ptr<plugin::vlvrProcessor> referenceProcessor() {
  plugin::setProcessSampleRate(kRate);
  auto processor = std::make_unique<plugin::vlvrProcessor>();
  processor->initialize();
  processor->open();
  return processor;
}

void BM_RackAlone(benchmark::State& state) {
  const int frames = static_cast<int>(state.range(0));
  auto processor = referenceProcessor();
  rack::VRmore& rack = *processor->rack();
  const auto& in = guitar();
  std::vector<float> outL(frames), outR(frames);
  float* outputs[2] = {outL.data(), outR.data()};
  size_t pos = 0;
  for (auto _ : state) {
    const float* inputs[2] = {in.data() + pos, nullptr};
    rack.process(outputs, inputs, frames);
    benchmark::DoNotOptimize(outL.data());
    pos = (pos + frames) % (in.size() - frames);
  }
  perFrame(state, frames);
}
BENCHMARK(BM_RackAlone)->Arg(64)->Arg(256)->Arg(1024);

// Kept out of the user's settings: the instance reads and writes its bank there.
class PrivateConfig {
 public:
  PrivateConfig() {
    std::string pattern = (std::filesystem::temp_directory_path() / "valvo-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data())) folder_ = pattern;
    ::setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
  }
  ~PrivateConfig() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

 private:
  std::string folder_;
};

void BM_PluginProcessReplacing(benchmark::State& state) {
  const int frames = static_cast<int>(state.range(0));
  PrivateConfig config;
  vsttest::VstLibrary library;
  if (!library.loaded()) {
    state.SkipWithError(library.error().c_str());
    return;
  }
  auto instance = std::make_unique<vsttest::VstInstance>(library);
  if (!instance->effect()) {
    state.SkipWithError("VSTPluginMain failed");
    return;
  }
  instance->start(kRate, frames);
  const auto reference = referenceProcessor();
  for (int32_t i = 0; i < 22; ++i)
    instance->setParameter(i, reference->getParameter(i));

  // The host's two inputs carry the same signal, so the rack gets what it gets alone.
  std::vector<float> in = guitar();
  std::vector<float> outL(frames), outR(frames);
  size_t pos = 0;
  for (auto _ : state) {
    float* input = in.data() + pos;
    instance->processReplacing(input, input, outL.data(), outR.data(), frames);
    benchmark::DoNotOptimize(outL.data());
    pos = (pos + frames) % (in.size() - frames);
  }
  perFrame(state, frames);
  instance.reset();
}
BENCHMARK(BM_PluginProcessReplacing)->Arg(64)->Arg(256)->Arg(1024);

}  // namespace
