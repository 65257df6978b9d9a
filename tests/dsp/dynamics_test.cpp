#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "dsp/fast_clipper.h"
#include "dsp/level_detect.h"

namespace {

float clip(const dsp::FastClipper& c, float x) {
  c.processInPlace(&x, 1);
  return x;
}

TEST(FastClipper, QuadraticKneesMeetLineAndCeilingSmoothly) {
  dsp::FastClipper c;
  c.setFormat(1, 44100);
  c.setMode(7, 1.0f, -0.8f, 0.5f, -0.3f);
  EXPECT_FLOAT_EQ(clip(c, 0.5f), 0.5f);
  EXPECT_FLOAT_EQ(clip(c, 1.0f), 0.875f);
  EXPECT_FLOAT_EQ(clip(c, 1.5f), 1.0f);
  EXPECT_FLOAT_EQ(clip(c, 7.0f), 1.0f);
  EXPECT_FLOAT_EQ(clip(c, 0.2f), 0.2f);
  // Slopes: 1 where the knee leaves the line, 0 where it meets the ceiling.
  const float h = 1e-3f;
  EXPECT_NEAR((clip(c, 0.5f + h) - clip(c, 0.5f)) / h, 1.0f, 2e-3);
  EXPECT_NEAR((clip(c, 1.5f) - clip(c, 1.5f - h)) / h, 0.0f, 2e-3);
  // The lower knee mirrors it: from -0.3 down to the floor -0.8 reached at -1.3.
  EXPECT_FLOAT_EQ(clip(c, -0.3f), -0.3f);
  EXPECT_FLOAT_EQ(clip(c, -1.3f), -0.8f);
  EXPECT_FLOAT_EQ(clip(c, -5.0f), -0.8f);
  EXPECT_NEAR((clip(c, -0.3f) - clip(c, -0.3f - h)) / h, 1.0f, 2e-3);
  // Monotonic through both knees.
  float last = clip(c, -2.0f);
  for (float x = -2.0f; x <= 2.0f; x += 0.01f) {
    EXPECT_GE(clip(c, x), last);
    last = clip(c, x);
  }
}

TEST(FastClipper, HardClipModesAndPassThroughModes) {
  dsp::FastClipper c;
  c.setFormat(2, 44100);
  c.setMode(0, 0.5f);
  std::vector<float> frame = {0.7f, -0.7f};
  c.processInPlace(frame.data(), 1);
  EXPECT_EQ(frame, (std::vector<float>{0.5f, -0.5f}));
  frame = {0.4f, -0.4f};
  c.processInPlace(frame.data(), 1);
  EXPECT_EQ(frame, (std::vector<float>{0.4f, -0.4f}));

  c.setMode(1, 0.3f, -0.6f);
  frame = {0.9f, -0.9f};
  c.processInPlace(frame.data(), 1);
  EXPECT_EQ(frame, (std::vector<float>{0.3f, -0.6f}));

  for (int mode : {2, 3, 6}) {
    c.setMode(mode, 0.1f, 0.1f, 0.1f, 0.1f);
    EXPECT_EQ(c.mode(), mode);
    frame = {0.9f, -0.9f};
    c.processInPlace(frame.data(), 1);
    EXPECT_EQ(frame, (std::vector<float>{0.9f, -0.9f})) << "mode " << mode;
  }
}

TEST(LevelDetect, PeakAndEnergyPerChannel) {
  dsp::LevelDetect meter;
  meter.setFormat(1, 44100);
  meter.setMode(1);
  const std::vector<float> fourHalves = {0.5f, 0.5f, 0.5f, 0.5f};
  float left = -1, right = -1;
  EXPECT_FLOAT_EQ(meter.measure(fourHalves.data(), 4, &left, &right), 1.0f);
  EXPECT_FLOAT_EQ(left, 1.0f);
  EXPECT_FLOAT_EQ(right, 1.0f);

  meter.setFormat(2, 44100);
  const std::vector<float> stereo = {0.1f, -0.9f, -0.3f, 0.2f};
  meter.setMode(0);
  EXPECT_FLOAT_EQ(meter.measure(stereo.data(), 2, &left, &right), 0.9f);
  EXPECT_FLOAT_EQ(left, 0.3f);
  EXPECT_FLOAT_EQ(right, 0.9f);

  meter.setMode(1);
  meter.measure(stereo.data(), 2, &left, &right);
  EXPECT_FLOAT_EQ(left, std::sqrt(0.01f + 0.09f));
  EXPECT_FLOAT_EQ(right, std::sqrt(0.81f + 0.04f));

  meter.setMode(5);
  EXPECT_EQ(meter.measure(stereo.data(), 2, &left, &right), 0.0f);
  EXPECT_EQ(left, 0.0f);
  EXPECT_EQ(right, 0.0f);
}

}  // namespace
