#pragma once

#include <cmath>
#include <cstdint>

namespace skin {

// Lattice noise from an integer hash: the same numbers on every machine and every build, so
// the textures come out bit for bit alike.
inline double hashNoise(int32_t x, int32_t y, uint32_t seed) {
  uint32_t h = seed * 0x9e3779b9u ^ uint32_t(x) * 0x85ebca6bu ^ uint32_t(y) * 0xc2b2ae35u;
  h ^= h >> 16;
  h *= 0x7feb352du;
  h ^= h >> 15;
  h *= 0x846ca68bu;
  h ^= h >> 16;
  return (h & 0xffffffu) / double(0x1000000);
}

// Smooth value noise in [0, 1), one lattice cell per unit.
inline double valueNoise(double x, double y, uint32_t seed) {
  const double fx = std::floor(x), fy = std::floor(y);
  const auto ix = int32_t(fx), iy = int32_t(fy);
  const double tx = x - fx, ty = y - fy;
  const double sx = tx * tx * (3.0 - 2.0 * tx), sy = ty * ty * (3.0 - 2.0 * ty);
  const double top =
      hashNoise(ix, iy, seed) + (hashNoise(ix + 1, iy, seed) - hashNoise(ix, iy, seed)) * sx;
  const double bottom = hashNoise(ix, iy + 1, seed) +
                        (hashNoise(ix + 1, iy + 1, seed) - hashNoise(ix, iy + 1, seed)) * sx;
  return top + (bottom - top) * sy;
}

}  // namespace skin
