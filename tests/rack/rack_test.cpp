#include "rack/finite_samples.h"
#include "rack/vrmore.h"
#include "rack_signals.h"

namespace {

using racktest::kRate;
using Settings = std::vector<std::pair<int, int>>;  // product id, value

std::unique_ptr<rack::VRmore> productRack(const Settings& settings = {}) {
  auto rack = std::make_unique<rack::VRmore>(float(kRate), 2);
  rack->initialize();
  for (auto [id, value] : settings)
    rack->setParameter(id, value);
  return rack;
}

const Settings kNeutral = {{59, 1}, {60, 1}, {61, 1}};  // stomp, amp and output bypassed

struct Stereo {
  std::vector<float> left, right;
  size_t allocations = 0;
};

// Plays a mono input in calls whose lengths cycle through `calls`.
Stereo play(rack::VRmore& rack, const std::vector<float>& in,
            const std::vector<int>& calls = {256}) {
  Stereo out{std::vector<float>(in.size()), std::vector<float>(in.size())};
  size_t pos = 0;
  for (size_t k = 0; pos < in.size(); ++k) {
    const int n = std::min<int>(calls[k % calls.size()], int(in.size() - pos));
    float* outs[2] = {out.left.data() + pos, out.right.data() + pos};
    const float* ins[2] = {in.data() + pos, in.data() + pos};
    testsupport::AllocationCounter counter;
    rack.process(outs, ins, n);
    out.allocations += counter.count();
    pos += n;
  }
  return out;
}

// A phrase of plucked notes at -30, -12 and 0 dBFS.
std::vector<float> guitarPhrase() {
  std::vector<float> phrase;
  for (float peak : {0.0316f, 0.25f, 1.0f}) {
    for (double hz : {82.41, 110.0, 146.83, 196.0, 246.94, 329.63}) {
      const std::vector<float> note = testsupport::pluckedNote(hz, 0.4, peak);
      phrase.insert(phrase.end(), note.begin(), note.end());
    }
  }
  return phrase;
}

TEST(RackEngine, DelaysTheInputByExactly64FramesWhateverTheCalls) {
  auto rack = productRack(kNeutral);
  float untouched = 5.0f, *outs[2] = {&untouched, &untouched};
  const float* ins[2] = {&untouched, &untouched};
  rack->process(outs, ins, 0);
  EXPECT_EQ(untouched, 5.0f);
  EXPECT_EQ(rack->blocksProcessed(), 0u);

  const std::vector<float> input = testsupport::whiteNoise(1000, 0.5f);
  const Stereo out = play(*rack, input, {1});
  for (int i = 0; i < 1000; ++i) {
    ASSERT_NEAR(out.left[i], i < 64 ? 0.0f : input[i - 64], 1e-18f) << i;  // anti-denormal
    ASSERT_EQ(out.right[i], out.left[i]) << i;
  }
  EXPECT_EQ(rack->blocksProcessed(), 16u) << "one block per 64 calls, the first at the first";
  rack = productRack(kNeutral);
  play(*rack, std::vector<float>(128, 0.1f), {100, 28});
  EXPECT_EQ(rack->blocksProcessed(), 2u) << "28 pending frames cover the second call";

  // The whole chain, output section included, is bit-identical under any split.
  const Settings chain = {{61, 0}, {54, 1}, {65, 2}, {9, 1}, {64, 1}, {19, 80}, {57, 1}, {46, 60}};
  const std::vector<float> noise = testsupport::whiteNoise(3 * kRate / 2, 0.3f);
  const Stereo reference = play(*productRack(chain), noise, {64});
  std::vector<int> lengths;
  for (int k = 0; k < 200; ++k)
    lengths.push_back(1 + k * 7919 % rack::Gorbel::kMaxFramesPerPiece);
  for (const auto& split : {std::vector<int>{1, 7, 300}, lengths, std::vector<int>{20000}}) {
    const Stereo got = play(*productRack(chain), noise, split);
    EXPECT_EQ(got.left, reference.left);
    EXPECT_EQ(got.right, reference.right);
  }
}

TEST(RackParameters, SelectorsGateLevelSwitchEdgesAndTheMutingTuner) {
  auto rack = productRack();
  // Amp choices; a cabinet choice waits for the speaker; wah mode pedal / off / automatic, rack 4
  // passing only while product 53 is on; values limited, unknown choices and ids ignored.
  const int steps[][4] = {{62, 1, 0, 3}, {62, 3, 0, 3}, {63, 1, 3, 8},      {64, 1, 3, 6},
                          {63, 0, 3, 1}, {65, 2, 4, 2}, {53, 0, 4, 0},      {4, 2, 4, 0},
                          {53, 1, 4, 2}, {70, 5, 9, 0}, {20, 300, 20, 127}, {-1, 5, 20, 127}};
  for (auto [id, value, rackId, expected] : steps) {
    rack->setParameter(id, value);
    EXPECT_EQ(rack->parameter(rackId), expected) << id << " = " << value;
  }
  // A switched level is kept while its switch is off and returns with it.
  rack->setParameter(57, 0);
  rack->setParameter(46, 90);
  EXPECT_EQ(rack->parameter(46), 0);
  EXPECT_EQ(rack->productParameter(46), 90);
  rack->setParameter(57, 1);
  EXPECT_EQ(rack->parameter(46), 90);

  // Gate level 64 -> -60 dB, 0 -> -200 dB.
  for (auto [gateLevel, level, open] :
       {std::tuple{64, 0.00105f, true}, {64, 0.00095f, false}, {0, 1e-9f, true}}) {
    auto gated = productRack({{8, gateLevel}});
    play(*gated, std::vector<float>(64 * 300, level));  // past the hold after a reset
    EXPECT_EQ(gated->getMeter(1) > 0.5, open) << gateLevel << " at " << level;
  }

  // A switch turned off and on, even between the same two blocks, restarts its stage from silence
  // (only that stage runs, so what rings is its tail); a plate level that stays positive keeps it.
  const struct {
    const char* name;
    Settings setup;
    int id, off, on;
    bool rings;
  } edges[] = {
      {"overdrive", {{60, 1}, {9, 1}, {10, 127}}, 9, 0, 1, false},
      {"plate level", {{60, 1}, {61, 0}, {57, 1}, {46, 100}, {44, 127}}, 46, 0, 80, false},
      {"plate level kept", {{60, 1}, {61, 0}, {57, 1}, {46, 100}, {44, 127}}, 46, 100, 80, true},
      {"wah", {{60, 1}, {65, 2}, {5, 100}}, 65, 1, 2, false},
  };
  const std::vector<float> note = testsupport::pluckedNote(110.0, 0.25, 0.8f);
  std::vector<float> in(note.size() / 64 * 64 + 128, 0.0f);  // whole blocks, then 128 silent
  std::copy_n(note.begin(), note.size() / 64 * 64, in.begin());
  for (const auto& e : edges) {
    for (bool blockBetween : {true, false}) {
      auto edged = productRack(e.setup);
      play(*edged, in);
      edged->setParameter(e.id, e.off);
      if (blockBetween) play(*edged, std::vector<float>(64));
      edged->setParameter(e.id, e.on);
      const Stereo out = play(*edged, std::vector<float>(64 * 64));
      const float tail = std::max(racktest::peak(out.left), racktest::peak(out.right));
      EXPECT_EQ(tail > 1e-5f, e.rings) << e.name << (blockBetween ? "" : ", edges folded");
      EXPECT_TRUE(e.rings || tail < 1e-7f) << e.name << ": " << tail;
    }
  }

  rack = productRack({{64, 1}});
  rack->setTunerMode(0);  // analyse and mute
  const std::vector<float> tone = racktest::sine(110.0, kRate);
  float loudest = 0;
  for (int pos = 0; pos + 64 <= kRate; pos += 64) {  // block by block, as the tick sees it
    const Stereo out = play(*rack, {tone.begin() + pos, tone.begin() + pos + 64});
    loudest = std::max({loudest, racktest::peak(out.left), racktest::peak(out.right)});
    rack->updateTunerDisplay();
  }
  EXPECT_LT(loudest, 1e-9f);
  const auto reading = rack->reading();
  EXPECT_TRUE(reading.letter == 0 && !reading.sharp && !reading.noPitch);  // A
  EXPECT_EQ(rack->tunerDisplay().note, 1);
}

TEST(RackRecovery, OnlyNaNAndInfinitiesAreReplacedAndABadBlockIsSilenced) {
  using limits = std::numeric_limits<float>;
  uint32_t count = 0;
  for (float x : {0.0f, -0.0f, -1.0f, limits::max(), -limits::max(), limits::denorm_min(),
                  -limits::min(), limits::quiet_NaN(), -limits::quiet_NaN(),
                  limits::signaling_NaN(), limits::infinity(), -limits::infinity()}) {
    const bool finite = std::isfinite(x);
    EXPECT_EQ(rack::finiteOrZero(x, count), finite ? x : 0.0f) << x;
    std::vector<float> block(64, 0.5f);
    block[63] = x;
    EXPECT_EQ(rack::allFinite(block.data(), 64), finite) << x;
  }
  EXPECT_EQ(count, 5u);

  // A bad sample straight into the rack poisons every stage after the gate; the block is silenced,
  // the stages cleared, and the notes come back. Amp 2's clipper once hid a NaN as its upper level.
  const std::vector<float> clean = guitarPhrase();
  const Settings playing = {{62, 2}, {64, 1}, {63, 1}, {9, 1}};
  auto cleanRack = productRack(playing);
  const std::vector<float> reference = play(*cleanRack, clean).left;
  EXPECT_EQ(cleanRack->silencedBlocks(), 0u);
  const float loudest = racktest::peak(reference);
  const int at = kRate / 4;
  for (float bad : {limits::quiet_NaN(), -limits::infinity()}) {
    SCOPED_TRACE(bad);
    std::vector<float> in = clean;
    in[at] = bad;
    auto rack = productRack(playing);
    const Stereo out = play(*rack, in);
    EXPECT_EQ(rack->silencedBlocks(), 1u);
    EXPECT_EQ(out.allocations, 0u);
    float late = 0;
    for (size_t i = 0; i < in.size(); ++i) {
      ASSERT_TRUE(std::isfinite(out.left[i])) << i;
      ASSERT_LE(std::fabs(out.left[i]), loudest) << i;
      if (i >= size_t(at + kRate / 4)) late = std::max(late, std::fabs(out.left[i] - reference[i]));
    }
    EXPECT_LT(late, 0.002f * loudest);
  }
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kSilenceSeconds = 3;  // same paths, shorter
#else
constexpr int kSilenceSeconds = 30;
#endif

// Every amp with every cabinet (-1: speaker off), driven hard, then silence: finite, bounded,
// no denormals left behind and no allocation on the audio path.
class ProductCombinations : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(ProductCombinations, FiniteBoundedDenormalFreeAndAllocationFree) {
  const auto [amp, cabinet] = GetParam();
  auto rack = productRack({{62, amp}, {64, cabinet >= 0}, {63, std::max(cabinet, 0)}});
  for (auto [id, value] : Settings{
           {65, 2}, {9, 1}, {10, 127}, {13, 127}, {20, 127}, {19, 127}, {54, 1}, {36, 100}, {8, 0}})
    rack->setParameter(id, value);
  std::vector<float> in = guitarPhrase();
  in.resize(in.size() + kSilenceSeconds * kRate, 0.0f);
  const Stereo out = play(*rack, in, {512});
  long bad = 0;
  for (const auto* channel : {&out.left, &out.right})
    bad += std::count_if(channel->begin(), channel->end(), [](float x) {
      return !std::isfinite(x) || std::fpclassify(x) == FP_SUBNORMAL;
    });
  EXPECT_EQ(bad, 0) << "samples not finite or subnormal";
  EXPECT_LT(racktest::peak(out.left), 4.0f);
  EXPECT_GT(racktest::peak(out.left), 0.01f) << "the amp makes a sound";
  EXPECT_EQ(out.allocations, 0u);
}

INSTANTIATE_TEST_SUITE_P(Rack, ProductCombinations,
                         ::testing::Combine(::testing::Values(0, 1, 2),
                                            ::testing::Values(-1, 0, 1, 2)));

// Knobs turned from another thread while audio runs: parameter words are atomic, changes land
// between blocks, and nothing tears.
TEST(RackConcurrency, ParametersChangeWhileAudioRuns) {
  auto rack = productRack({{64, 1}});
  std::atomic<bool> stop{false};
  std::thread control([&] {
    for (int i = 0; !stop.load(std::memory_order_relaxed); ++i) {
      const int v = (i * 37) % 128;
      for (int id : {13, 15, 16, 17, 18, 20, 10, 11, 12, 5, 19, 8, 46})
        rack->setParameter(id, v);
      // Selectors, and switches whose off edges the audio thread picks up.
      const Settings selectors = {{62, i % 3}, {63, (i / 3) % 3}, {65, i % 3},      {54, i % 2},
                                  {9, i % 2},  {61, 0},           {57, (i / 2) % 2}};
      for (auto [id, value] : selectors)
        rack->setParameter(id, value);
      rack->setTunerMode(i % 3);
      rack->getMeter(0);
      rack->getMeter(1);
      rack->updateTunerDisplay();
    }
  });
  const Stereo out = play(*rack, guitarPhrase());
  stop = true;
  control.join();
  for (float x : out.left)
    ASSERT_TRUE(std::isfinite(x));
}

}  // namespace
