// Cost of the tuner's analysis per sample, fed as the rack feeds it: 64-sample blocks at
// 44.1 kHz of guitar-like signals (plucked open strings, one after the other) and of noise.
// The time per iteration is one block: ns per sample = time / 64.

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "tuner/chromatic_tuner.h"

namespace {

constexpr int kRate = 44100;
constexpr int kBlock = 64;

// Decaying harmonics, the upper ones dying faster, each note for half a second.
std::vector<float> notes(std::initializer_list<double> hzs) {
  const int each = kRate / 2;
  std::vector<float> v;
  for (double hz : hzs) {
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

// Guitar strings; bass strings whose periods are too long for the raw sums, so every frame
// also compares the frame with itself; noise, where every frame does so too.
std::vector<float> signal(int kind) {
  if (kind == 0) return notes({82.41, 110.0, 146.83, 196.0, 246.94, 329.63});
  if (kind == 1) return notes({41.2, 55.0});
  std::mt19937 rng(1);
  std::uniform_real_distribution<float> dist(-0.1f, 0.1f);
  std::vector<float> v(kRate * 3);
  for (float& x : v)
    x = dist(rng);
  return v;
}

void BM_TunerAnalyze(benchmark::State& state) {
  const std::vector<float> input = signal(static_cast<int>(state.range(0)));
  auto tuner = pseudoutils::createChromaticTuner(kRate);
  size_t pos = 0;
  for (auto _ : state) {
    bool found = false, voiced = false;
    float hz = 0.0f;
    int note = 0, cents = 0;
    tuner->analyze(input.data() + pos, kBlock, &found, &voiced, &hz, &note, &cents);
    benchmark::DoNotOptimize(note);
    benchmark::DoNotOptimize(cents);
    pos += kBlock;
    if (pos + kBlock > input.size()) pos = 0;
  }
  state.SetItemsProcessed(state.iterations() * kBlock);
  state.SetLabel(state.range(0) == 0 ? "guitar" : state.range(0) == 1 ? "bass" : "noise");
}
BENCHMARK(BM_TunerAnalyze)->Arg(0)->Arg(1)->Arg(2);

}  // namespace
