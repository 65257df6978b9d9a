// Every catalogue effect in the rack's block size (64 frames), mono and stereo. The counter
// "per_sample" is the cost of one output sample.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "dsp/effect_catalogue.h"
#include "dsp/library.h"

namespace {

constexpr int kFrames = 64;
constexpr int kRate = 44100;

void runEffect(benchmark::State& state, uint32_t number, int channels) {
  auto fx = dsp::createEffect(number, 0);
  fx->setFormat(channels, kRate);
  fx->reset();
  std::vector<float> in(kFrames * fx->inputChannels()), out(kFrames * fx->outputChannels());
  uint32_t seed = 1;
  for (float& x : in) {
    seed = seed * 1103515245u + 12345u;
    x = static_cast<float>(seed >> 8) / 16777216.0f - 0.5f;
  }
  for (auto _ : state) {
    fx->process(out.data(), in.data(), kFrames);
    benchmark::DoNotOptimize(out.data());
  }
  const double samples = double(state.iterations()) * kFrames * fx->outputChannels();
  // Seconds per output sample, printed with its SI prefix (for example "6.0n").
  state.counters["per_sample"] =
      benchmark::Counter(samples, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

const bool kRegistered = [] {
  dsp::library::setSeed(1);
  dsp::library::initialize();
  for (const auto& e : dsp::catalogue()) {
    if (!e.create) continue;
    for (int channels : {1, 2}) {
      const std::string name = std::string(e.className) + (channels == 1 ? "/mono" : "/stereo");
      benchmark::RegisterBenchmark(name.c_str(), runEffect, e.number, channels);
    }
  }
  return true;
}();

}  // namespace
