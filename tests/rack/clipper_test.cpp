#include "rack/clipper.h"

#include "rack_signals.h"

namespace {

float shape(const rack::Clipper& c, float x) {
  c.process(&x, 1);
  return x;
}

// The described curves, one sample at a time.
float quadraticReference(float x, float a, float b, float c, float d) {
  const float upperEnd = 2.0f * a - c, lowerEnd = 2.0f * b - d;
  const float cU2 = -0.25f / (a - c), cU1 = -2.0f * upperEnd * cU2, cU0 = c * c * cU2;
  const float cL2 = -0.25f / (b - d), cL1 = -2.0f * lowerEnd * cL2, cL0 = d * d * cL2;
  if (x < lowerEnd) return b;
  if (x < d) return (cL2 * x + cL1) * x + cL0;
  if (x < c) return x;
  if (x < upperEnd) return (cU2 * x + cU1) * x + cU0;
  return a;
}

float sineReference(float x, float a, float b, float c, float d) {
  const float upperEnd = (a - c) * 1.5707964f + c, lowerEnd = (b - d) * 1.5707964f + d;
  if (x > c) {
    if (x >= upperEnd) return a;
    const double span = double(a) - c;
    return static_cast<float>(span * std::sin((x - c) / span) + c);
  }
  if (x < d) {
    if (x <= lowerEnd) return b;
    const double span = double(b) - d;
    return static_cast<float>(span * std::sin((x - d) / span) + d);
  }
  return x;
}

// Whole blocks (of any length, so with a short last group) give the described curve for every
// sample, wherever it falls in its group: on the line, in a knee, on a level, on a boundary.
TEST(Clipper, CurvesSampleBySampleAndTheHardRationalAndNeutralTypes) {
  const float a = 1.3f, b = -1.2f, c = 1.1f, d = -1.0f;  // preamp model 1
  std::vector<float> sweep;
  for (float x = -3.0f; x <= 3.0f; x += 0.0037f)
    sweep.push_back(x);
  sweep.insert(sweep.end(), {a, b, c, d, 2 * a - c, 2 * b - d, (a - c) * 1.5707964f + c,
                             (b - d) * 1.5707964f + d, 0.0f, std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity()});
  rack::Clipper c7, c8;
  for (auto [clipper, type] : {std::pair{&c7, 7}, {&c8, 8}}) {
    clipper->setFormat(1);
    clipper->configure(type, a, b, c, d);
  }
  for (size_t length : {sweep.size(), sweep.size() - 1, sweep.size() - 2, size_t{3}}) {
    std::vector<float> quadratic(sweep.begin(), sweep.begin() + length), sine = quadratic;
    c7.process(quadratic.data(), static_cast<int>(length));
    c8.process(sine.data(), static_cast<int>(length));
    for (size_t i = 0; i < length; ++i) {
      const float x = sweep[i];
      ASSERT_EQ(quadratic[i], quadraticReference(x, a, b, c, d)) << "type 7 at " << x;
      const float expected = sineReference(x, a, b, c, d);
      ASSERT_NEAR(sine[i], expected, std::fabs(expected) * 1.2e-7f) << "type 8 at " << x;
    }
  }
  // Not a number passes on, so the rack's check at the end of the block sees it.
  EXPECT_TRUE(std::isnan(shape(c7, NAN)));
  EXPECT_TRUE(std::isnan(shape(c8, NAN)));

  c7.setFormat(2);
  c7.configure(1, 0.5f, -0.3f, 0.0f, 0.0f);
  float frame[2] = {0.9f, -0.9f};  // per channel of a stereo frame
  c7.process(frame, 1);
  EXPECT_EQ(frame[0], 0.5f);
  EXPECT_EQ(frame[1], -0.3f);

  c7.setFormat(1);
  c7.configure(0, 0.1f, -0.1f, 0.05f, -0.05f);  // type 0 passes everything
  EXPECT_EQ(shape(c7, 3.0f), 3.0f);
}

}  // namespace
