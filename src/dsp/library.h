#pragma once

#include <cstdint>

// Library-wide state of the effect library: the random seed shared by the anti-denormal noise
// table and the random LFOs, and the noise table itself.
namespace dsp::library {

inline constexpr int kNoiseTableSize = 512;

// Sets the seed only if nobody has set it yet (the rack seeds 1 before initialising).
void seedIfUnset(uint32_t seed);
void setSeed(uint32_t seed);
uint32_t seed();

// Steps the shared seed x = x * 1103515245 + 12345 (32-bit wrap-around) and returns it.
uint32_t nextRandom();

// The library's one-time initialisation: generates the noise table on the first call only, so
// every rack of the process shares one table.
void initialize();

// Generates the 512 noise values from the current seed (advancing it): uniform in
// [-1e-20, 1e-20), far below hearing and far above the denormal range.
void generateNoiseTable();

const float* noiseTable();

// Adds the noise table to buffer, restarting at the table's start every 512 samples.
void addDenormalNoise(float* buffer, int samples);

}  // namespace dsp::library
