#include "dsp/slicer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "support/effect_probe.h"
#include "support/signals.h"

namespace {

using dsp::EffectEvent;
using dsp::TSlicer;

constexpr int kRate = 44100;
constexpr int kStep = 2756;  // an eighth of a beat at 120 BPM

enum Controller { kPattern = 75, kDepth = 76, kEnvelope = 77, kTrigger = 114 };

struct Rig : testsupport::EffectRig<TSlicer> {
  explicit Rig(int channels = 1) : EffectRig(channels, kRate, dsp::kFlagObeyTempo) {}
  // Depth and Envelope glide: give them time, then start the pattern from its beginning.
  void settle() {
    EffectRig::settle(8192);
    fx.reset();
  }
  // The gain curve, seen through a constant input of 1.
  std::vector<float> gains(int frames) { return feed(std::vector<float>(frames, 1.0f)); }
};

// A fast envelope and fully closed gaps make the pattern plain in the gain curve.
void sharpen(Rig& rig, int pattern) {
  rig.cc(kPattern, pattern);
  rig.cc(kDepth, 127);
  rig.cc(kEnvelope, 0);
  rig.settle();
}

std::vector<float> sharpGains(int pattern, int frames) {
  Rig rig;
  sharpen(rig, pattern);
  return rig.gains(frames);
}

// Frames at which the gain crosses one half upwards (+1) or downwards (-1).
std::vector<int> crossings(const std::vector<float>& g, int direction) {
  std::vector<int> at;
  for (size_t i = 1; i < g.size(); ++i) {
    if (direction > 0 && g[i - 1] < 0.5f && g[i] >= 0.5f) at.push_back(int(i));
    if (direction < 0 && g[i - 1] >= 0.5f && g[i] < 0.5f) at.push_back(int(i));
  }
  return at;
}

TEST(Slicer, PatternValuesAbove49SelectTheLastPattern) {
  const int whole = 64 * kStep;
  const std::vector<float> last = sharpGains(49, whole);
  for (int value : {50, 64, 100, 127}) {
    EXPECT_EQ(sharpGains(value, whole), last) << "value " << value;
  }
  EXPECT_NE(sharpGains(48, whole), last);
}

TEST(Slicer, StepsLastAnEighthOfABeat) {
  Rig rig;
  sharpen(rig, 0);  // open and closed steps alternate
  const std::vector<float> g = rig.gains(16 * kStep);
  const std::vector<int> down = crossings(g, -1);
  const std::vector<int> up = crossings(g, +1);
  ASSERT_EQ(down.size(), 8u);
  ASSERT_GE(up.size(), 8u);
  for (size_t i = 1; i < down.size(); ++i)
    EXPECT_EQ(down[i] - down[i - 1], 2 * kStep);
  // The first rise is the fade-in from the reset smoother; the next follows one step after the
  // first fall.
  EXPECT_EQ(up[1] - down[0], kStep);

  // At 60 BPM every step lasts twice as long.
  rig.fx.processEvent(EffectEvent::tempo(0, 30));
  rig.feed(std::vector<float>(64, 0.0f));
  rig.fx.reset();
  const std::vector<int> slow = crossings(rig.gains(8 * 2 * kStep), -1);
  ASSERT_GE(slow.size(), 3u);
  EXPECT_EQ(slow[2] - slow[1], 2 * 5512);
}

TEST(Slicer, DepthSetsTheFloorOfClosedSteps) {
  // Depth 0: the gaps stay at full level; once the smoother is up, the signal passes untouched,
  // in place and on both channels.
  Rig open(2);
  open.cc(kDepth, 0);
  open.cc(kEnvelope, 0);
  open.settle();
  std::vector<float> buffer = testsupport::whiteNoise(2 * 64 * 345, 0.5f);
  const std::vector<float> in = buffer;
  for (int pos = 0; pos < 64 * 345; pos += 64)
    open.fx.process(buffer.data() + 2 * pos, buffer.data() + 2 * pos, 64);
  for (size_t i = 2 * 200; i < in.size(); ++i)
    ASSERT_NEAR(buffer[i], in[i], 1e-6f) << i;

  // Depth 64: closed steps settle at 0.1; Depth 127 closes them.
  for (auto [depth, floor] : {std::pair{64, 0.1f}, std::pair{127, 0.0f}}) {
    Rig rig;
    rig.cc(kPattern, 0);
    rig.cc(kDepth, depth);
    rig.cc(kEnvelope, 0);
    rig.settle();
    const std::vector<float> g = rig.gains(4 * kStep);
    EXPECT_NEAR(g[kStep - 1], 1.0f, 1e-5f);
    EXPECT_NEAR(g[2 * kStep - 1], floor, 1e-5f) << "depth " << depth;
    EXPECT_NEAR(g[3 * kStep - 1], 1.0f, 1e-5f);
  }
}

TEST(Slicer, TriggerRestartsThePatternOnTheSameGrid) {
  // Pattern 3 is four steps open, four closed; step 5 is closed.
  Rig plain, triggered;
  sharpen(plain, 3);
  sharpen(triggered, 3);
  const int mid = 5 * kStep + kStep / 2;
  plain.gains(mid);
  triggered.gains(mid);
  triggered.cc(kTrigger, 0);
  const std::vector<float> a = plain.gains(8 * kStep);
  const std::vector<float> b = triggered.gains(8 * kStep);
  EXPECT_LT(a[kStep / 4], 1e-5f);
  // Back at step 0 (open) at once, on the old grid: the restarted steps 0 to 3 close one step
  // after the untouched pattern's steps 5 to 7 open again.
  EXPECT_GT(b[kStep / 4], 0.9999f);
  const std::vector<int> down = crossings(b, -1);
  const std::vector<int> up = crossings(a, +1);
  ASSERT_FALSE(down.empty());
  ASSERT_FALSE(up.empty());
  EXPECT_EQ(down[0] - up[0], kStep);
}

}  // namespace
