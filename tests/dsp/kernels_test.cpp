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
  // x = x * 1103515245 + 12345 with 32-bit wrap-around.
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

TEST(VectorKernels, RampsSplitsBlendsAndIntegerConversions) {
  // Both channels of a frame share the frame's gain, which grows after every frame.
  V d(8, 1.0f);
  EXPECT_FLOAT_EQ(dsp::vec::applyRamp(d.data(), 4, 2, 0.5f, 0.25f), 1.5f);
  EXPECT_EQ(d, (V{0.5f, 0.5f, 0.75f, 0.75f, 1.0f, 1.0f, 1.25f, 1.25f}));
  V out(4, 1.0f);
  const V mono = {2.0f, 4.0f};
  dsp::vec::mixMonoToStereoRampGains(out.data(), mono.data(), 2, 1.0f, 1.0f, 0.5f, 0.25f);
  EXPECT_EQ(out, (V{2.0f, 1.5f, 5.0f, 3.0f}));

  const V stereo = {1.0f, 2.0f, 3.0f, 4.0f};
  V left(2, 0.0f), right(2, 10.0f);
  dsp::vec::splitStereo(left.data(), right.data(), stereo.data(), 2, 2.0f, 0.5f);
  EXPECT_EQ(left, (V{2.0f, 6.0f}));
  EXPECT_EQ(right, (V{1.0f, 2.0f}));
  dsp::vec::mixSplitStereo(left.data(), right.data(), stereo.data(), 2, 1.0f, 1.0f);
  EXPECT_EQ(left, (V{3.0f, 9.0f}));
  V b = {0.0f, 1.0f};
  const V a = {1.0f, 0.0f};
  dsp::vec::blend(b.data(), a.data(), 2, 0.25f);
  EXPECT_EQ(b, (V{0.25f, 0.75f}));

  const std::vector<int16_t> pcm = {-32768, 16384};
  V f(2);
  dsp::vec::fromInt16(f.data(), pcm.data(), 2);
  EXPECT_EQ(f, (V{-1.0f, 0.5f}));
  V acc = {16384.7f, -100.0f};
  dsp::vec::weightedSumInt16(acc.data(), pcm.data(), 2, 1.0f, 2.0f);
  EXPECT_EQ(acc, (V{1.0f - 1.0f, -200.0f / 32768.0f + 0.5f}));
  V r = {0.0f, 1.0f, 3.0f};
  dsp::vec::reciprocalOfOnePlus(r.data(), 3);
  EXPECT_EQ(r, (V{1.0f, 0.5f, 0.25f}));
}

TEST(FastClipper, QuadraticKneesHardClipsAndPassThroughModes) {
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

  c.setFormat(2, 44100);
  struct Case {
    int mode;
    float p1, p2;
    V in, out;
  };
  for (const Case& k : {Case{0, 0.5f, 0.0f, {0.7f, -0.7f}, {0.5f, -0.5f}},
                        Case{0, 0.5f, 0.0f, {0.4f, -0.4f}, {0.4f, -0.4f}},
                        Case{1, 0.3f, -0.6f, {0.9f, -0.9f}, {0.3f, -0.6f}},
                        Case{2, 0.1f, 0.1f, {0.9f, -0.9f}, {0.9f, -0.9f}}}) {
    c.setMode(k.mode, k.p1, k.p2, 0.1f, 0.1f);
    V frame = k.in;
    c.processInPlace(frame.data(), 1);
    EXPECT_EQ(frame, k.out) << "mode " << k.mode;
  }
}

TEST(LevelDetect, PeakAndEnergyPerChannel) {
  dsp::LevelDetect meter;
  meter.setFormat(2, 44100);
  const V stereo = {0.1f, -0.9f, -0.3f, 0.2f};
  float left = -1, right = -1;
  struct Case {
    int mode;
    float result, left, right;
  };
  for (const Case& k :
       {Case{0, 0.9f, 0.3f, 0.9f},
        Case{1, std::sqrt(0.85f), std::sqrt(0.01f + 0.09f), std::sqrt(0.81f + 0.04f)},
        Case{5, 0.0f, 0.0f, 0.0f}}) {
    meter.setMode(k.mode);
    EXPECT_FLOAT_EQ(meter.measure(stereo.data(), 2, &left, &right), k.result) << k.mode;
    EXPECT_FLOAT_EQ(left, k.left) << k.mode;
    EXPECT_FLOAT_EQ(right, k.right) << k.mode;
  }
}

}  // namespace
