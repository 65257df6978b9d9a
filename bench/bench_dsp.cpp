// Cost of the filter primitives per sample, in the block size the rack uses.

#include <benchmark/benchmark.h>

#include <vector>

#include "dsp/bilin_filter.h"
#include "dsp/biquad_filter.h"

namespace {

constexpr int kFrames = 64;

std::vector<float> testSignal(int samples) {
  std::vector<float> v(samples);
  for (int i = 0; i < samples; ++i)
    v[i] = ((i * 7919) % 200 - 100) / 100.0f;
  return v;
}

void BM_Biquad(benchmark::State& state) {
  const int channels = static_cast<int>(state.range(0));
  dsp::BiquadFilter f;
  f.setFormat(channels, 44100);
  f.reset();
  f.setLowpass(6283.0f, 0.7f);
  auto buf = testSignal(kFrames * channels);
  for (auto _ : state) {
    f.processBlock(buf.data(), buf.data(), kFrames);
    benchmark::DoNotOptimize(buf.data());
  }
  state.SetItemsProcessed(state.iterations() * kFrames * channels);
}
BENCHMARK(BM_Biquad)->Arg(1)->Arg(2);

void BM_Bilin(benchmark::State& state) {
  const int channels = static_cast<int>(state.range(0));
  dsp::BilinFilter f;
  f.setFormat(channels, 44100);
  f.reset();
  f.setHighpass(200.0f);
  auto buf = testSignal(kFrames * channels);
  for (auto _ : state) {
    f.processBlock(buf.data(), buf.data(), kFrames);
    benchmark::DoNotOptimize(buf.data());
  }
  state.SetItemsProcessed(state.iterations() * kFrames * channels);
}
BENCHMARK(BM_Bilin)->Arg(1)->Arg(2);

}  // namespace
