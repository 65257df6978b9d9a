// Cost of the tuner's analysis per sample, fed as the rack feeds it: 64-sample blocks at
// 44.1 kHz of a guitar-like signal (plucked open strings, one after the other). The time per
// iteration is one block: ns per sample = time / 64.

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "tuner/chromatic_tuner.h"

namespace {

constexpr int kRate = 44100;
constexpr int kBlock = 64;

// Each string for half a second: decaying harmonics, the upper ones dying faster.
std::vector<float> guitar() {
  const double strings[] = {82.41, 110.0, 146.83, 196.0, 246.94, 329.63};
  const int each = kRate / 2;
  std::vector<float> v;
  for (double hz : strings) {
    for (int i = 0; i < each; ++i) {
      double x = 0.0;
      for (int k = 1; k <= 8; ++k)
        x += std::sin(2.0 * std::numbers::pi * k * hz * i / kRate) *
             std::exp(-k * 3.0 * i / kRate) / k;
      v.push_back(static_cast<float>(0.2 * x));
    }
  }
  return v;
}

void BM_TunerAnalyze(benchmark::State& state) {
  const std::vector<float> signal = guitar();
  auto tuner = pseudoutils::createChromaticTuner(kRate);
  size_t pos = 0;
  for (auto _ : state) {
    bool found = false, voiced = false;
    float hz = 0.0f;
    int note = 0, cents = 0;
    tuner->analyze(signal.data() + pos, kBlock, &found, &voiced, &hz, &note, &cents);
    benchmark::DoNotOptimize(note);
    benchmark::DoNotOptimize(cents);
    pos += kBlock;
    if (pos + kBlock > signal.size()) pos = 0;
  }
  state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_TunerAnalyze);

}  // namespace
