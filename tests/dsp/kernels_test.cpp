#include "dsp/fast_clipper.h"
#include "dsp/level_detect.h"
#include "dsp/library.h"
#include "dsp/vector_kernels.h"
#include "dsp_test_helpers.h"

namespace {

using V = std::vector<float>;

TEST(Library, NoiseTableFromTheSeedIsTinyUniformNoiseAddedEvery512Samples) {
  dsp::library::setSeed(1);
  dsp::library::generateNoiseTable();
  const float* table = dsp::library::noiseTable();
  uint32_t x = 1;
  for (int i = 0; i < dsp::library::kNoiseTableSize; ++i) {
    x = x * 1103515245u + 12345u;
    ASSERT_FLOAT_EQ(table[i], float((double(x & 0x3FFFFFFF) / 536870912.0 - 1.0) * 1e-20)) << i;
  }
  // The shared seed goes on from where the table left it, and an earlier seed is kept.
  EXPECT_EQ(dsp::library::seed(), x);
  dsp::library::seedIfUnset(5);
  EXPECT_EQ(dsp::library::seed(), x);

  V buffer(1100, 0.0f);
  dsp::library::addDenormalNoise(buffer.data(), 1100);
  for (int i : {0, 511, 512, 1099})
    EXPECT_EQ(buffer[i], table[i % 512]) << i;
}

TEST(VectorKernels, RampsGrowAfterEveryFrame) {
  // Both channels of a frame share the frame's gain, which grows after every frame.
  V d(8, 1.0f);
  EXPECT_FLOAT_EQ(dsp::vec::applyRamp(d.data(), 4, 2, 0.5f, 0.25f), 1.5f);
  EXPECT_EQ(d, (V{0.5f, 0.5f, 0.75f, 0.75f, 1.0f, 1.0f, 1.25f, 1.25f}));
  V out(4, 1.0f);
  const V mono = {2.0f, 4.0f};
  dsp::vec::mixMonoToStereoRampGains(out.data(), mono.data(), 2, 1.0f, 1.0f, 0.5f, 0.25f);
  EXPECT_EQ(out, (V{2.0f, 1.5f, 5.0f, 3.0f}));
}

TEST(FastClipper, QuadraticKneesRiseMonotonicallyToTheirLimits) {
  dsp::FastClipper c;
  c.setFormat(1, 44100);
  const auto clip = [&c](float x) {
    c.processInPlace(&x, 1);
    return x;
  };
  // Knees from 0.5 up to the ceiling 1.0 reached at 1.5, and from -0.3 down to -0.8 at -1.3.
  c.setMode(7, 1.0f, -0.8f, 0.5f, -0.3f);
  const std::pair<float, float> knees[] = {{0.2f, 0.2f},   {0.5f, 0.5f},  {1.0f, 0.875f},
                                           {1.5f, 1.0f},   {7.0f, 1.0f},  {-0.3f, -0.3f},
                                           {-1.3f, -0.8f}, {-5.0f, -0.8f}};
  for (auto [x, y] : knees)
    EXPECT_FLOAT_EQ(clip(x), y) << x;
  for (float x = -2.0f; x <= 2.0f; x += 0.01f)
    ASSERT_GE(clip(x + 0.01f), clip(x)) << x;
}

TEST(LevelDetect, EnergyPerChannelAndTheLouderOne) {
  dsp::LevelDetect meter;
  meter.setFormat(2, 44100);
  meter.setMode(1);
  const V stereo = {0.1f, -0.9f, -0.3f, 0.2f};
  float left = -1, right = -1;
  EXPECT_FLOAT_EQ(meter.measure(stereo.data(), 2, &left, &right), std::sqrt(0.85f));
  EXPECT_FLOAT_EQ(left, std::sqrt(0.01f + 0.09f));
  EXPECT_FLOAT_EQ(right, std::sqrt(0.81f + 0.04f));
}

}  // namespace
