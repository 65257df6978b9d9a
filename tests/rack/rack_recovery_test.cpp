// A block that comes out of the chain not finite is replaced by silence and the stages are
// cleared, so the rack recovers by itself instead of playing NaN (or a stuck level) for good.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "rack/finite_samples.h"
#include "rack/vrmore.h"
#include "support/allocation_counter.h"
#include "support/signals.h"

namespace {

constexpr int kRate = 44100;

// Three plucked notes, the first at the start.
std::vector<float> notes() {
  std::vector<float> v;
  for (double hz : {110.0, 146.83, 196.0}) {
    const std::vector<float> note = testsupport::pluckedNote(hz, 0.5, 0.5f);
    v.insert(v.end(), note.begin(), note.end());
  }
  return v;
}

// The product rack with amp choice `amp`, cabinet and overdrive on.
std::unique_ptr<rack::VRmore> playingRack(int amp) {
  auto rack = std::make_unique<rack::VRmore>(float(kRate), 2);
  rack->initialize();
  for (auto [id, value] : {std::pair{62, amp}, {64, 1}, {63, 1}, {9, 1}})
    rack->setParameter(id, value);
  return rack;
}

// The left output, in calls of 256 frames.
void render(rack::VRmore& rack, const std::vector<float>& in, std::vector<float>& left) {
  std::vector<float> right(in.size());
  for (size_t pos = 0; pos < in.size(); pos += 256) {
    const int n = int(std::min<size_t>(256, in.size() - pos));
    const float* ins[1] = {in.data() + pos};
    float* outs[2] = {left.data() + pos, right.data() + pos};
    testsupport::AllocationCounter allocations;
    rack.process(outs, ins, n);
    ASSERT_EQ(allocations.count(), 0u);
  }
}

// One bad sample straight into the rack (the processor never lets one through): the gate hands
// it on and every stage after it is poisoned. Amp 2 runs the clipper type that used to turn a
// NaN into its upper level, which hid the poisoned preamp behind a finite output.
TEST(RackRecovery, ABadBlockIsSilencedAndTheSoundComesBack) {
  const std::vector<float> clean = notes();
  const int at = kRate / 4;
  for (int amp : {0, 2}) {
    std::vector<float> reference(clean.size());
    auto cleanRack = playingRack(amp);
    render(*cleanRack, clean, reference);
    EXPECT_EQ(cleanRack->silencedBlocks(), 0u);
    float peak = 0;
    for (float x : reference)
      peak = std::max(peak, std::fabs(x));
    for (float bad :
         {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
          -std::numeric_limits<float>::infinity()}) {
      SCOPED_TRACE("amp " + std::to_string(amp) + " sample " + std::to_string(bad));
      std::vector<float> in = clean, out(clean.size());
      in[at] = bad;
      auto rack = playingRack(amp);
      render(*rack, in, out);
      EXPECT_EQ(rack->silencedBlocks(), 1u);
      float late = 0;
      for (size_t i = 0; i < out.size(); ++i) {
        ASSERT_TRUE(std::isfinite(out[i])) << i;
        ASSERT_LE(std::fabs(out[i]), peak) << i;
        // A quarter of a second on, the notes sound as they would have.
        if (i >= size_t(at + kRate / 4)) late = std::max(late, std::fabs(out[i] - reference[i]));
      }
      EXPECT_LT(late, 0.002f * peak);
    }
  }
}

TEST(FiniteSamples, OnlyNaNAndInfinitiesAreReplaced) {
  using limits = std::numeric_limits<float>;
  const float kept[] = {
      0.0f,          -0.0f, 1.0f, -1.0f, limits::max(), -limits::max(), limits::denorm_min(),
      -limits::min()};
  const float replaced[] = {limits::quiet_NaN(), -limits::quiet_NaN(), limits::signaling_NaN(),
                            limits::infinity(), -limits::infinity()};
  uint32_t count = 0;
  for (float x : kept) {
    EXPECT_EQ(rack::finiteOrZero(x, count), x);
    EXPECT_TRUE(rack::allFinite(&x, 1)) << x;
  }
  EXPECT_EQ(count, 0u);
  for (float x : replaced) {
    EXPECT_EQ(rack::finiteOrZero(x, count), 0.0f);
    std::vector<float> block(64, 0.5f);
    block[63] = x;
    EXPECT_FALSE(rack::allFinite(block.data(), 64)) << x;
    EXPECT_TRUE(rack::allFinite(block.data(), 63));
  }
  EXPECT_EQ(count, 5u);
}

}  // namespace
