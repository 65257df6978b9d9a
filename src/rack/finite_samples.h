#pragma once

#include <bit>
#include <cstdint>

namespace rack {

// Samples that are not finite (NaN, infinities) have every exponent bit set. Testing the bits is
// one comparison per sample, like a float comparison, but loops of it vectorise: a float
// comparison that feeds a select is kept as a branch because it may trap.
inline constexpr uint32_t kExponentBits = 0x7f800000u;

// x when it is finite, else 0; `nonFinite` counts the samples replaced.
inline float finiteOrZero(float x, uint32_t& nonFinite) {
  const uint32_t bits = std::bit_cast<uint32_t>(x);
  const uint32_t bad = (bits & kExponentBits) == kExponentBits;
  nonFinite += bad;
  return std::bit_cast<float>(bits & (bad - 1u));
}

inline bool allFinite(const float* samples, int count) {
  uint32_t bad = 0;
  for (int i = 0; i < count; ++i)
    bad |= (std::bit_cast<uint32_t>(samples[i]) & kExponentBits) == kExponentBits;
  return bad == 0;
}

}  // namespace rack
