#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "dsp/library.h"
#include "dsp/vector_kernels.h"

namespace {

TEST(Library, NoiseTableFromSeedOneIsTinyUniformNoise) {
  dsp::library::setSeed(1);
  dsp::library::generateNoiseTable();
  const float* table = dsp::library::noiseTable();

  // Recompute the generator here: x = x * 1103515245 + 12345 with 32-bit wrap-around.
  uint64_t x = 1;
  for (int i = 0; i < dsp::library::kNoiseTableSize; ++i) {
    x = (x * 1103515245ull + 12345ull) & 0xFFFFFFFFull;
    const double expected = (double(x & 0x3FFFFFFF) / 536870912.0 - 1.0) * 1e-20;
    ASSERT_FLOAT_EQ(table[i], static_cast<float>(expected)) << "value " << i;
    ASSERT_GE(table[i], -1e-20f);
    ASSERT_LT(table[i], 1e-20f);
    ASSERT_TRUE(std::isnormal(table[i]) || table[i] == 0.0f);
  }
  EXPECT_NEAR(table[0], -9.4452e-21f, 1e-24f);
  // The shared seed went on from where the table left it.
  EXPECT_EQ(dsp::library::seed(), static_cast<uint32_t>(x));
}

TEST(Library, SeedIfUnsetKeepsAnEarlierSeed) {
  dsp::library::setSeed(77);
  dsp::library::seedIfUnset(1);
  EXPECT_EQ(dsp::library::seed(), 77u);
}

TEST(Library, NoiseAddRestartsTheTableEvery512Samples) {
  dsp::library::setSeed(1);
  dsp::library::generateNoiseTable();
  std::vector<float> buffer(1100, 0.0f);
  dsp::library::addDenormalNoise(buffer.data(), static_cast<int>(buffer.size()));
  const float* table = dsp::library::noiseTable();
  EXPECT_EQ(buffer[0], table[0]);
  EXPECT_EQ(buffer[511], table[511]);
  EXPECT_EQ(buffer[512], table[0]);
  EXPECT_EQ(buffer[1099], table[1099 - 1024]);
}

TEST(VectorKernels, RampsGrowAfterEveryFrame) {
  // Stereo ramp in place: both channels of a frame share the frame's gain.
  std::vector<float> d(8, 1.0f);
  const float end = dsp::vec::applyRamp(d.data(), 4, 2, 0.5f, 0.25f);
  EXPECT_EQ(d, (std::vector<float>{0.5f, 0.5f, 0.75f, 0.75f, 1.0f, 1.0f, 1.25f, 1.25f}));
  EXPECT_FLOAT_EQ(end, 1.5f);

  // Mono source into both stereo channels with a ramp and a pan.
  std::vector<float> out(4, 1.0f);
  const std::vector<float> mono = {2.0f, 4.0f};
  dsp::vec::mixMonoToStereoRampGains(out.data(), mono.data(), 2, 1.0f, 1.0f, 0.5f, 0.25f);
  EXPECT_EQ(out, (std::vector<float>{2.0f, 1.5f, 5.0f, 3.0f}));
}

TEST(VectorKernels, SplitBlendAndIntegerConversions) {
  const std::vector<float> stereo = {1.0f, 2.0f, 3.0f, 4.0f};
  std::vector<float> left(2, 0.0f), right(2, 10.0f);
  dsp::vec::splitStereo(left.data(), right.data(), stereo.data(), 2, 2.0f, 0.5f);
  EXPECT_EQ(left, (std::vector<float>{2.0f, 6.0f}));
  EXPECT_EQ(right, (std::vector<float>{1.0f, 2.0f}));
  dsp::vec::mixSplitStereo(left.data(), right.data(), stereo.data(), 2, 1.0f, 1.0f);
  EXPECT_EQ(left, (std::vector<float>{3.0f, 9.0f}));

  std::vector<float> d = {0.0f, 1.0f};
  const std::vector<float> s = {1.0f, 0.0f};
  dsp::vec::blend(d.data(), s.data(), 2, 0.25f);
  EXPECT_EQ(d, (std::vector<float>{0.25f, 0.75f}));

  const std::vector<int16_t> pcm = {-32768, 16384};
  std::vector<float> f(2);
  dsp::vec::fromInt16(f.data(), pcm.data(), 2);
  EXPECT_EQ(f, (std::vector<float>{-1.0f, 0.5f}));
  std::vector<float> acc = {16384.7f, -100.0f};
  dsp::vec::weightedSumInt16(acc.data(), pcm.data(), 2, 1.0f, 2.0f);
  EXPECT_EQ(acc, (std::vector<float>{1.0f - 1.0f, -200.0f / 32768.0f + 0.5f}));

  std::vector<float> x = {0.0f, 1.0f, 3.0f};
  dsp::vec::reciprocalOfOnePlus(x.data(), 3);
  EXPECT_EQ(x, (std::vector<float>{1.0f, 0.5f, 0.25f}));
}

}  // namespace
