#include "rack/clipper.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

float shape(const rack::Clipper& c, float x) {
  c.process(&x, 1);
  return x;
}

float slope(const rack::Clipper& c, float x) {
  const float h = 1e-3f;
  return (shape(c, x + h) - shape(c, x - h)) / (2 * h);
}

void expectMonotonic(const rack::Clipper& c) {
  float last = shape(c, -5.0f);
  for (float x = -5.0f; x <= 5.0f; x += 0.005f) {
    ASSERT_GE(shape(c, x), last - 1e-6f) << "at " << x;  // float rounding at the knee ends
    last = shape(c, x);
  }
}

TEST(Clipper, QuadraticKneesOfThePreampAndPowerStages) {
  rack::Clipper c;
  c.setFormat(1);
  c.configure(7, 1.0f, -1.0f, 0.9f, -0.8f);  // power model 0
  EXPECT_FLOAT_EQ(shape(c, 0.5f), 0.5f);
  EXPECT_FLOAT_EQ(shape(c, 0.9f), 0.9f);
  EXPECT_NEAR(slope(c, 0.9f + 2e-3f), 1.0f, 0.02f);
  EXPECT_FLOAT_EQ(shape(c, 1.1f), 1.0f);  // 2a - c
  EXPECT_NEAR(slope(c, 1.1f - 2e-3f), 0.0f, 0.02f);
  EXPECT_FLOAT_EQ(shape(c, 3.0f), 1.0f);
  EXPECT_FLOAT_EQ(shape(c, -0.8f), -0.8f);
  EXPECT_FLOAT_EQ(shape(c, -1.2f), -1.0f);  // 2b - d
  EXPECT_FLOAT_EQ(shape(c, -9.0f), -1.0f);
  EXPECT_NEAR(shape(c, -1.0f), -0.95f, 1e-6f);  // halfway down the lower knee
  expectMonotonic(c);
}

TEST(Clipper, SineKneesReachTheirLimitsAtAQuarterPeriod) {
  rack::Clipper c;
  c.setFormat(1);
  c.configure(8, 1.3f, -1.2f, 1.1f, -1.0f);  // preamp model 1
  EXPECT_FLOAT_EQ(shape(c, 1.1f), 1.1f);
  EXPECT_FLOAT_EQ(shape(c, -1.0f), -1.0f);
  const float upperEnd = 0.2f * 1.5707964f + 1.1f;
  EXPECT_NEAR(shape(c, upperEnd - 1e-4f), 1.3f, 1e-5f);
  EXPECT_FLOAT_EQ(shape(c, upperEnd), 1.3f);
  EXPECT_NEAR(shape(c, 1.2f), 0.2 * std::sin(0.5) + 1.1, 1e-6);
  EXPECT_NEAR(slope(c, 1.1f + 2e-3f), 1.0f, 0.02f);
  EXPECT_NEAR(slope(c, upperEnd - 2e-3f), 0.0f, 0.02f);
  EXPECT_NEAR(shape(c, -1.1f), -0.2 * std::sin(0.5) - 1.0, 1e-6);
  EXPECT_FLOAT_EQ(shape(c, -4.0f), -1.2f);
  expectMonotonic(c);
}

TEST(Clipper, HardRationalAndNeutralTypes) {
  rack::Clipper c;
  c.setFormat(2);
  c.configure(1, 0.5f, -0.3f, 0.0f, 0.0f);
  float frame[2] = {0.9f, -0.9f};
  c.process(frame, 1);
  EXPECT_EQ(frame[0], 0.5f);
  EXPECT_EQ(frame[1], -0.3f);

  c.setFormat(1);
  c.configure(11, 1.0f, -1.0f, 0.5f, -0.5f);
  EXPECT_FLOAT_EQ(shape(c, 0.5f), 0.5f);
  EXPECT_NEAR(slope(c, 0.5f + 2e-3f), 1.0f, 0.01f);
  EXPECT_LT(shape(c, 100.0f), 1.0f);
  EXPECT_GT(shape(c, 100.0f), 0.99f);
  expectMonotonic(c);

  for (int type : {0, 9, 10}) {
    c.configure(type, 0.1f, -0.1f, 0.05f, -0.05f);
    EXPECT_EQ(shape(c, 3.0f), 3.0f) << "type " << type;
  }
}

}  // namespace
