#include "dsp/library.h"

#include <algorithm>
#include <atomic>
#include <mutex>

namespace dsp::library {
namespace {

// Relaxed atomics: the seed is stepped from whichever thread runs a random LFO, and a torn
// update would only change which random numbers come out.
std::atomic<uint32_t> gSeed{0};
std::atomic<bool> gSeedSet{false};
float gNoise[kNoiseTableSize];

}  // namespace

void seedIfUnset(uint32_t seed) {
  if (!gSeedSet.exchange(true, std::memory_order_relaxed)) {
    gSeed.store(seed, std::memory_order_relaxed);
  }
}

void setSeed(uint32_t seed) {
  gSeedSet.store(true, std::memory_order_relaxed);
  gSeed.store(seed, std::memory_order_relaxed);
}

uint32_t seed() {
  return gSeed.load(std::memory_order_relaxed);
}

uint32_t nextRandom() {
  const uint32_t next = gSeed.load(std::memory_order_relaxed) * 1103515245u + 12345u;
  gSeed.store(next, std::memory_order_relaxed);
  return next;
}

void initialize() {
  static std::once_flag once;
  std::call_once(once, generateNoiseTable);
}

void generateNoiseTable() {
  for (float& value : gNoise) {
    const uint32_t x = nextRandom();
    value = static_cast<float>((double(x & 0x3FFFFFFFu) / 536870912.0 - 1.0) * 1e-20);
  }
}

const float* noiseTable() {
  return gNoise;
}

void addDenormalNoise(float* buffer, int samples) {
  for (int pos = 0; pos < samples; pos += kNoiseTableSize) {
    const int n = std::min(kNoiseTableSize, samples - pos);
    for (int i = 0; i < n; ++i)
      buffer[pos + i] += gNoise[i];
  }
}

}  // namespace dsp::library
