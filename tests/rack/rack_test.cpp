#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "rack/vrmore.h"
#include "support/signals.h"

namespace {

constexpr int kRate = 44100;

// A stereo host buffer pair.
struct Buffers {
  explicit Buffers(int frames) : left(frames), right(frames) {}
  std::vector<float> left, right;
  float* outs[2] = {nullptr, nullptr};
  float* const* outputs() {
    outs[0] = left.data();
    outs[1] = right.data();
    return outs;
  }
};

void run(rack::VRmore& rack, const float* input, float* left, float* right, int frames) {
  float* outs[2] = {left, right};
  const float* ins[2] = {input, input};
  rack.process(outs, ins, frames);
}

// Runs a signal through the rack in calls whose lengths come from `lengths` (cycled).
std::vector<float> runSplit(rack::VRmore& rack, const std::vector<float>& input,
                            const std::vector<int>& lengths, std::vector<float>* right = nullptr) {
  std::vector<float> left(input.size()), r(input.size());
  size_t pos = 0;
  for (size_t k = 0; pos < input.size(); ++k) {
    const int n = std::min<int>(lengths[k % lengths.size()], int(input.size() - pos));
    run(rack, input.data() + pos, left.data() + pos, r.data() + pos, n);
    pos += n;
  }
  if (right) *right = r;
  return left;
}

// The product's start: initialize, then a program's values.
std::unique_ptr<rack::VRmore> productRack() {
  auto rack = std::make_unique<rack::VRmore>(float(kRate), 2);
  rack->initialize();
  return rack;
}

// Every stage out of the way: stomp, amp and output sections bypassed.
std::unique_ptr<rack::VRmore> neutralRack() {
  auto rack = productRack();
  for (int id : {59, 60, 61})
    rack->setParameter(id, 1);
  return rack;
}

TEST(RackEngine, DelaysTheInputByExactly64Frames) {
  auto rack = neutralRack();
  const std::vector<float> input = testsupport::whiteNoise(1000, 0.5f);
  std::vector<float> right;
  const std::vector<float> out = runSplit(*rack, input, {1}, &right);
  for (int i = 0; i < 1000; ++i) {
    const float expected = i < 64 ? 0.0f : input[i - 64];
    ASSERT_NEAR(out[i], expected, 1e-18f) << i;  // plus the anti-denormal noise
    ASSERT_EQ(right[i], out[i]) << i;
  }
  // One block per 64 one-frame calls, the first one at the first call.
  EXPECT_EQ(rack->blocksProcessed(), (1000u + 63u) / 64u);
}

TEST(RackEngine, BlocksFollowTheCallsAndPendingFrames) {
  auto rack = neutralRack();
  float dummy = 7.0f;
  float left = 5.0f, right = 5.0f;
  run(*rack, &dummy, &left, &right, 0);
  EXPECT_EQ(left, 5.0f) << "0 frames write nothing";
  EXPECT_EQ(rack->blocksProcessed(), 0u);

  const std::vector<float> input = testsupport::whiteNoise(128, 0.5f);
  std::vector<float> l(128), r(128);
  run(*rack, input.data(), l.data(), r.data(), 100);
  EXPECT_EQ(rack->blocksProcessed(), 2u);
  run(*rack, input.data() + 100, l.data() + 100, r.data() + 100, 28);
  EXPECT_EQ(rack->blocksProcessed(), 2u) << "28 pending frames cover the second call";
  for (int i = 64; i < 128; ++i)
    EXPECT_NEAR(l[i], input[i - 64], 1e-18f);
}

TEST(RackEngine, AnySplitOfTheInputGivesBitIdenticalOutput) {
  // The whole product chain, with the output section running too.
  auto configure = [](rack::VRmore& rack) {
    rack.setParameter(61, 0);
    rack.setParameter(54, 1);   // stomp delay on
    rack.setParameter(65, 2);   // automatic wah
    rack.setParameter(9, 1);    // overdrive
    rack.setParameter(64, 1);   // cabinet on
    rack.setParameter(19, 80);  // spring reverb
    rack.setParameter(57, 1);   // plate reverb switch
    rack.setParameter(46, 60);
  };
  const std::vector<float> input = testsupport::whiteNoise(3 * kRate / 2, 0.3f);
  auto reference = productRack();
  configure(*reference);
  std::vector<float> refRight;
  const std::vector<float> refLeft = runSplit(*reference, input, {64}, &refRight);

  std::mt19937 rng(3);
  std::uniform_int_distribution<int> length(1, rack::Gorbel::kMaxFramesPerPiece);
  std::vector<int> lengths(200);
  for (int& n : lengths)
    n = length(rng);
  for (const auto& split : {std::vector<int>{1, 7, 300}, lengths, std::vector<int>{20000}}) {
    auto rack = productRack();
    configure(*rack);
    std::vector<float> right;
    EXPECT_EQ(runSplit(*rack, input, split, &right), refLeft);
    EXPECT_EQ(right, refRight);
  }
}

TEST(RackParameters, ProductSwitchesAndSelectorsReachTheRack) {
  auto rack = productRack();
  // The start-up state: output section bypassed, pedal wah, no cabinet, amp choice 0.
  EXPECT_EQ(rack->parameter(0), 1);
  EXPECT_EQ(rack->parameter(1), 0);
  EXPECT_EQ(rack->parameter(2), 2);
  EXPECT_EQ(rack->parameter(3), 8);
  EXPECT_EQ(rack->parameter(4), 0) << "the wah mode arrives with the program";

  // Amp choices 1 and 2; out of range changes nothing.
  rack->setParameter(62, 1);
  EXPECT_EQ((std::vector{rack->parameter(0), rack->parameter(1), rack->parameter(2)}),
            (std::vector{3, 4, 2}));
  rack->setParameter(62, 2);
  EXPECT_EQ((std::vector{rack->parameter(0), rack->parameter(1), rack->parameter(2)}),
            (std::vector{5, 1, 0}));
  rack->setParameter(62, 3);
  EXPECT_EQ(rack->parameter(0), 5);

  // Cabinet choice is stored while the speaker is off and applied when it comes on.
  rack->setParameter(63, 1);
  EXPECT_EQ(rack->parameter(3), 8);
  rack->setParameter(64, 1);
  EXPECT_EQ(rack->parameter(3), 6);
  rack->setParameter(63, 2);
  EXPECT_EQ(rack->parameter(3), 5);
  rack->setParameter(63, 0);
  EXPECT_EQ(rack->parameter(3), 1);
  rack->setParameter(63, 3);
  EXPECT_EQ(rack->parameter(3), 1);

  // Wah mode: pedal, off, automatic; product 4 passes only while product 53 is on.
  rack->setParameter(65, 2);
  EXPECT_EQ(rack->parameter(4), 2);
  rack->setParameter(65, 1);
  EXPECT_EQ(rack->parameter(4), 0);
  rack->setParameter(65, 7);
  EXPECT_EQ(rack->parameter(4), 0);
  rack->setParameter(53, 0);
  rack->setParameter(4, 2);
  EXPECT_EQ(rack->parameter(4), 0);
  rack->setParameter(53, 1);
  EXPECT_EQ(rack->parameter(4), 2);

  // A switched level is kept while its switch is off and returns with it.
  const int levels[] = {36, 39, 43, 46, 50};
  for (int k = 0; k < 5; ++k) {
    const int level = levels[k], sw = 54 + k;
    rack->setParameter(sw, 0);
    rack->setParameter(level, 90);
    EXPECT_EQ(rack->parameter(level), 0) << level;
    rack->setParameter(sw, 1);
    EXPECT_EQ(rack->parameter(level), 90) << level;
    rack->setParameter(sw, 0);
    EXPECT_EQ(rack->parameter(level), 0) << level;
    EXPECT_EQ(rack->productParameter(level), 90);
  }
  // Values are limited; unknown ids are ignored.
  rack->setParameter(20, 300);
  EXPECT_EQ(rack->parameter(20), 127);
  rack->setParameter(9, -4);
  EXPECT_EQ(rack->parameter(9), 0);
  rack->setParameter(70, 5);
  rack->setParameter(-1, 5);
}

// Whether the gate is open after a steady input at `level`.
bool gateOpensFor(int gateLevel, float level) {
  auto rack = productRack();
  rack->setParameter(8, gateLevel);
  // Past the hold that follows a reset, then long enough for the release.
  const std::vector<float> input(64 * 300, level);
  std::vector<float> l(input.size()), r(input.size());
  run(*rack, input.data(), l.data(), r.data(), int(input.size()));
  return rack->getMeter(1) > 0.5;
}

TEST(RackParameters, GateLevelSetsTheThreshold) {
  // 64 -> -60 dB, 127 -> -40.3125 dB, 0 -> -200 dB.
  EXPECT_TRUE(gateOpensFor(64, 0.00105f));
  EXPECT_FALSE(gateOpensFor(64, 0.00095f));
  const float t127 = std::pow(10.0f, -40.3125f / 20.0f);
  EXPECT_TRUE(gateOpensFor(127, t127 * 1.01f));
  EXPECT_FALSE(gateOpensFor(127, t127 * 0.99f));
  EXPECT_TRUE(gateOpensFor(0, 1e-9f));
}

// Output-section energy in a window after an impulse, with the plate level set as given.
TEST(RackParameters, PlateSwitchedOnStartsFromSilence) {
  auto rack = productRack();
  rack->setParameter(61, 0);  // output section on
  rack->setParameter(57, 1);
  rack->setParameter(46, 100);
  rack->setParameter(44, 127);  // long tail
  std::vector<float> impulse(kRate / 2, 0.0f), l(impulse.size()), r(impulse.size());
  impulse[0] = 1.0f;
  run(*rack, impulse.data(), l.data(), r.data(), int(impulse.size()));
  const std::vector<float> silence(4096, 0.0f);
  auto tailEnergy = [&] {
    std::vector<float> a(4096), b(4096);
    run(*rack, silence.data(), a.data(), b.data(), 4096);
    double e = 0;
    for (float x : a)
      e += double(x) * x;
    return e;
  };
  const double ringing = tailEnergy();
  EXPECT_GT(ringing, 1e-8);
  rack->setParameter(46, 80);  // positive to positive keeps the tail
  EXPECT_GT(tailEnergy(), ringing * 0.3);
  rack->setParameter(46, 0);
  tailEnergy();
  rack->setParameter(46, 80);  // off to on clears it
  EXPECT_LT(tailEnergy(), 1e-20);
}

// A switch turned off and on again between two blocks restarts its stage as it does with a
// block in between: overdrive filters, plate and wah start from silence. Only that stage runs
// (amp section bypassed behind the overdrive and wah), so what rings after the edge is its tail.
TEST(RackParameters, SwitchEdgesFoldedIntoOneBlockStillRestart) {
  struct Edge {
    const char* name;
    std::vector<std::pair<int, int>> setup;
    int id, off, on;  // product parameter
  };
  const Edge edges[] = {
      {"overdrive", {{60, 1}, {9, 1}, {10, 127}}, 9, 0, 1},
      {"plate", {{60, 1}, {61, 0}, {57, 1}, {46, 100}, {44, 127}}, 57, 0, 1},
      {"wah", {{60, 1}, {65, 2}, {5, 100}}, 65, 1, 2},
  };
  const std::vector<float> note = testsupport::pluckedNote(110.0, 0.25, 0.8f);
  std::vector<float> in(note.size() / 64 * 64 + 128, 0.0f);  // whole blocks, then 128 silent
  std::copy_n(note.begin(), note.size() / 64 * 64, in.begin());
  const std::vector<float> silence(64 * 64, 0.0f);
  for (const Edge& e : edges) {
    auto tailAfterEdge = [&](bool blockBetween) {
      auto rack = productRack();
      for (auto [id, value] : e.setup)
        rack->setParameter(id, value);
      std::vector<float> l(in.size()), r(in.size());
      run(*rack, in.data(), l.data(), r.data(), int(in.size()));
      rack->setParameter(e.id, e.off);
      if (blockBetween) run(*rack, silence.data(), l.data(), r.data(), 64);
      rack->setParameter(e.id, e.on);
      std::vector<float> a(silence.size()), b(silence.size());
      run(*rack, silence.data(), a.data(), b.data(), int(silence.size()));
      double energy = 0;
      for (size_t i = 0; i < a.size(); ++i)
        energy += double(a[i]) * a[i] + double(b[i]) * b[i];
      return energy;
    };
    const double between = tailAfterEdge(true), folded = tailAfterEdge(false);
    EXPECT_LT(between, 1e-12) << e.name;
    EXPECT_LT(folded, 1e-12) << e.name;
  }
}

TEST(RackParameters, TunerModeMutesWhileTheReadingUpdates) {
  auto rack = productRack();
  rack->setParameter(64, 1);
  rack->setTunerMode(0);  // analyse and mute
  EXPECT_TRUE(rack->tunerModeOn());
  EXPECT_TRUE(rack->tunerModeMute());
  std::vector<float> sine(kRate), l(kRate), r(kRate);
  for (int i = 0; i < kRate; ++i)
    sine[i] = 0.5f * std::sin(2 * std::numbers::pi * 110.0 * i / kRate);
  // Block by block, as the window's tick would see it.
  float loudest = 0;
  int validBlocks = 0;
  for (int pos = 0; pos + 64 <= kRate; pos += 64) {
    run(*rack, sine.data() + pos, l.data() + pos, r.data() + pos, 64);
    if (pos >= 64) loudest = std::max({loudest, std::fabs(l[pos]), std::fabs(r[pos])});
    const auto reading = rack->reading();
    // Until it has seen 20 periods after a reset the detector reads high; judge it after that.
    if (pos > kRate / 4 && reading.valid && !reading.noPitch) {
      ++validBlocks;
      EXPECT_EQ(reading.letter, 0);  // A
      EXPECT_FALSE(reading.sharp);
    }
    rack->updateTunerDisplay();
  }
  EXPECT_LT(loudest, 1e-9f);
  EXPECT_GT(validBlocks, 20);
  EXPECT_EQ(rack->tunerDisplay().note, 1);

  // Position 2 analyses with the sound passing; position 1 stops the analysis.
  rack->setTunerMode(2);
  run(*rack, sine.data(), l.data(), r.data(), kRate);
  float loud = 0;
  for (float x : l)
    loud = std::max(loud, std::fabs(x));
  EXPECT_GT(loud, 0.01f);
  rack->setTunerMode(1);
  EXPECT_FALSE(rack->tunerModeOn());
  run(*rack, sine.data(), l.data(), r.data(), 64);
  EXPECT_FALSE(rack->reading().valid);
}

TEST(RackParameters, InputMeterFallsToItsFloor) {
  auto rack = productRack();
  std::vector<float> in(256, 0.5f), l(256), r(256);
  run(*rack, in.data(), l.data(), r.data(), 256);
  EXPECT_NEAR(rack->getMeter(0), 20 * std::log10(0.5), 1e-6);
  EXPECT_NEAR(rack->getMeter(0), -60.0, 1e-6);
  std::fill(in.begin(), in.end(), 0.0f);
  run(*rack, in.data(), l.data(), r.data(), 256);
  EXPECT_NEAR(rack->getMeter(0), -60.0, 1e-6);
  EXPECT_EQ(rack->getMeter(7), 0.0);
}

}  // namespace
