// 60 s of the demo phrase through the product processor with every stage engaged, as
// `valvorama render` runs it. "x_realtime" is seconds of audio per second of processing.

#include <benchmark/benchmark.h>

#include <utility>
#include <vector>

#include "demo_phrase.h"
#include "processor_session.h"

namespace {

constexpr int kRate = 44100;
constexpr int kChunk = 1024;

void BM_RenderDemoEverythingOn(benchmark::State& state) {
  const std::vector<float> phrase = demoPhrase(kRate);
  std::vector<float> input;
  while (input.size() < size_t(60 * kRate)) input.insert(input.end(), phrase.begin(), phrase.end());
  input.resize(60 * kRate);
  std::vector<float> left(kChunk), right(kChunk);
  for (auto _ : state) {
    state.PauseTiming();
    ProcessorSession session;
    session.start(kRate, 0);
    // Gate, automatic wah, stomp delay, overdrive, the lead amp, cabinet, spring reverb.
    for (auto [row, value] : {std::pair{0, 64}, {2, 2}, {9, 1}, {12, 60}, {8, 1}, {5, 90},
                              {20, 1}, {19, 1}, {21, 1}, {4, 100}}) {
      session.setPlain(row, float(value));
    }
    state.ResumeTiming();
    for (size_t pos = 0; pos + kChunk <= input.size(); pos += kChunk) {
      session.process(input.data() + pos, nullptr, left.data(), right.data(), kChunk);
    }
    benchmark::DoNotOptimize(left.data());
  }
  state.counters["x_realtime"] = benchmark::Counter(
      60.0 * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RenderDemoEverythingOn)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
