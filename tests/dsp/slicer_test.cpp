#include "dsp/slicer.h"
#include "dsp_test_helpers.h"

namespace {

constexpr int kStep = 2756;  // an eighth of a beat at 120 BPM
enum Controller { kPattern = 75, kDepth = 76, kEnvelope = 77, kTrigger = 114 };

// By default a fast envelope and fully closed gaps make the pattern plain in the gain curve.
struct Rig : testsupport::EffectRig<dsp::TSlicer> {
  explicit Rig(int pattern, int depth = 127) : EffectRig(1, 44100, dsp::kFlagObeyTempo) {
    cc(kPattern, pattern);
    cc(kDepth, depth);
    cc(kEnvelope, 0);
    settle();
  }
  // Depth and Envelope glide: give them time, then start the pattern from its beginning.
  void settle() {
    EffectRig::settle(8192);
    fx.reset();
  }
  std::vector<float> gains(int frames) { return feed(std::vector<float>(frames, 1.0f)); }
};

// Frames at which the gain crosses one half upwards (+1) or downwards (-1).
std::vector<int> crossings(const std::vector<float>& g, int direction) {
  std::vector<int> at;
  for (size_t i = 1; i < g.size(); ++i)
    if ((g[i - 1] < 0.5f) != (g[i] < 0.5f) && (g[i] >= 0.5f) == (direction > 0))
      at.push_back(int(i));
  return at;
}

TEST(Slicer, PatternValuesAbove49SelectTheLastPattern) {
  const std::vector<float> last = Rig(49).gains(64 * kStep);
  for (int value : {50, 127})
    EXPECT_EQ(Rig(value).gains(64 * kStep), last) << "value " << value;
  EXPECT_NE(Rig(48).gains(64 * kStep), last);
}

TEST(Slicer, StepsLastAnEighthOfABeat) {
  Rig rig(0);  // open and closed steps alternate
  const std::vector<float> g = rig.gains(16 * kStep);
  const std::vector<int> down = crossings(g, -1), up = crossings(g, +1);
  ASSERT_EQ(down.size(), 8u);
  ASSERT_GE(up.size(), 8u);
  for (size_t i = 1; i < down.size(); ++i)
    EXPECT_EQ(down[i] - down[i - 1], 2 * kStep);
  // The first rise is the smoother's fade-in; the next follows one step after the first fall.
  EXPECT_EQ(up[1] - down[0], kStep);
}

TEST(Slicer, DepthSetsTheFloorOfClosedSteps) {
  // Depth 64: closed steps settle at 0.1; Depth 127 closes them.
  for (auto [depth, floor] : {std::pair{64, 0.1f}, {127, 0.0f}}) {
    const std::vector<float> g = Rig(0, depth).gains(4 * kStep);
    EXPECT_NEAR(g[kStep - 1], 1.0f, 1e-5f);
    EXPECT_NEAR(g[2 * kStep - 1], floor, 1e-5f) << "depth " << depth;
    EXPECT_NEAR(g[3 * kStep - 1], 1.0f, 1e-5f);
  }
}

TEST(Slicer, TriggerRestartsThePatternOnTheSameGrid) {
  // Pattern 3 is four steps open, four closed; step 5 is closed.
  Rig plain(3), triggered(3);
  plain.gains(5 * kStep + kStep / 2);
  triggered.gains(5 * kStep + kStep / 2);
  triggered.cc(kTrigger, 0);
  const std::vector<float> a = plain.gains(8 * kStep), b = triggered.gains(8 * kStep);
  // Back at step 0 (open) at once, on the old grid.
  EXPECT_LT(a[kStep / 4], 1e-5f);
  EXPECT_GT(b[kStep / 4], 0.9999f);
  const std::vector<int> down = crossings(b, -1), up = crossings(a, +1);
  ASSERT_TRUE(!down.empty() && !up.empty());
  EXPECT_EQ(down[0] - up[0], kStep);
}

}  // namespace
