#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "host/mp_audio_asio.h"

namespace {

using host::MPAudioAsio;
using namespace platform;

int64_t readLittleEndian(const uint8_t* p, size_t bytes) {
  uint64_t bits = 0;
  for (size_t i = 0; i < bytes; ++i)
    bits |= uint64_t{p[i]} << (8 * i);
  const uint64_t sign = uint64_t{1} << (8 * bytes - 1);
  return static_cast<int64_t>(bits ^ sign) - static_cast<int64_t>(sign);
}

TEST(AsioConversion, TwentyFourBitInputIsSignExtended) {
  const uint8_t bytes[] = {0x00, 0x00, 0x80, 0xff, 0xff, 0x7f, 0x01, 0x00, 0x00};
  float out[3];
  MPAudioAsio::convertInput(kInt24Lsb, bytes, out, 3);
  EXPECT_EQ(out[0], static_cast<float>(-8388608 / 8388607.0));
  EXPECT_EQ(out[1], 1.0f);
  EXPECT_EQ(out[2], static_cast<float>(1 / 8388607.0));
}

// Output clips, truncates toward zero and writes silence for NaN; input comes back within one
// step of the type. 24-27 are scaled by their significant bits.
TEST(AsioConversion, IntegerTypesRoundTripAtFullScaleAndSmallValues) {
  const struct {
    int32_t type;
    size_t bytes;
    double fullScale;
  } types[] = {
      {kInt16Lsb, 2, 32767.0},     {kInt24Lsb, 3, 8388607.0},  {kInt32Lsb, 4, 2147483647.0},
      {kInt32Lsb16, 4, 32767.0},   {kInt32Lsb18, 4, 131071.0}, {kInt32Lsb20, 4, 524287.0},
      {kInt32Lsb24, 4, 8388607.0},
  };
  const float samples[] = {1.0f,   -1.0f, 0.5f,
                           -0.25f, 1e-3f, -1e-4f,
                           0.0f,   -1.5f, std::numeric_limits<float>::quiet_NaN()};
  constexpr int32_t n = sizeof samples / sizeof samples[0];
  for (const auto& t : types) {
    SCOPED_TRACE(t.type);
    std::vector<uint8_t> device(t.bytes * n + 1, 0xee);
    MPAudioAsio::convertOutput(t.type, samples, device.data(), n);
    EXPECT_EQ(device.back(), 0xee) << "wrote past the block";
    float back[n];
    MPAudioAsio::convertInput(t.type, device.data(), back, n);
    for (int32_t i = 0; i < n; ++i) {
      const double clipped = samples[i] == samples[i] ? std::clamp(samples[i], -1.0f, 1.0f) : 0;
      const int64_t written = readLittleEndian(&device[i * t.bytes], t.bytes);
      EXPECT_EQ(written, static_cast<int64_t>(clipped * t.fullScale)) << samples[i];
      EXPECT_NEAR(back[i], clipped, 1.0 / t.fullScale + 1e-7) << samples[i];
    }
    EXPECT_EQ(back[0], 1.0f);
    EXPECT_EQ(back[1], -1.0f);
  }
  float device[n];
  MPAudioAsio::convertOutput(kFloat32Lsb, samples, device, n);
  EXPECT_EQ(std::memcmp(device, samples, sizeof device), 0) << "float is copied as it is";
}

TEST(AsioConversion, BigEndianAndDoubleTypesAreSilent) {
  const struct {
    int32_t type;
    size_t bytes;
  } silent[] = {{kInt16Msb, 2},   {kInt24Msb, 3},   {kInt32Msb, 4},   {kFloat32Msb, 4},
                {kFloat64Msb, 8}, {kInt32Msb16, 4}, {kInt32Msb18, 4}, {kInt32Msb20, 4},
                {kInt32Msb24, 4}, {kFloat64Lsb, 8}};
  const float samples[4] = {0.5f, -0.5f, 1.0f, -1.0f};
  for (const auto& s : silent) {
    SCOPED_TRACE(s.type);
    std::vector<uint8_t> device(s.bytes * 4 + 1, 0x5a);
    MPAudioAsio::convertOutput(s.type, samples, device.data(), 4);
    device.back() ^= 0x5a;  // zero unless the block overran
    EXPECT_EQ(device, std::vector<uint8_t>(s.bytes * 4 + 1, 0));
    float in[4] = {7, 7, 7, 7};
    MPAudioAsio::convertInput(s.type, device.data(), in, 4);
    EXPECT_EQ(in[0], 7.0f);  // left as it was: the input buffer stays silent
  }
}

}  // namespace
