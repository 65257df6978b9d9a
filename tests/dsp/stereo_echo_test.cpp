#include "dsp/stereo_echo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "support/effect_probe.h"
#include "support/signals.h"

namespace {

using dsp::EffectEvent;
using dsp::TStereoEcho;

constexpr int kRate = 44100;
// Level 127: the echo's and the dry signal's share.
constexpr float kWet = 0.98676f;
constexpr float kDry = 0.01324f;
// Default FeedBack 40.
constexpr float kFeedback = 0.30625f;

enum Controller { kMode = 27, kFeedBack = 28, kSpeed = 29, kLevel = 115, kBandWidth = 112 };

struct Event {
  int frame;
  float value;
};

// An echo fed in the rack's blocks of 64 frames, out of place, collecting all it plays.
struct Rig {
  explicit Rig(int channels) : channels(channels) { fx.setFormat(channels, kRate); }

  uint32_t cc(int controller, int value) {
    return fx.processEvent(
        EffectEvent::controller(static_cast<uint8_t>(controller), static_cast<uint8_t>(value)));
  }

  void feed(const std::vector<float>& in) {
    const int frames = static_cast<int>(in.size()) / channels;
    std::vector<float> block(64 * channels);
    for (int pos = 0; pos < frames; pos += 64) {
      const int n = std::min(64, frames - pos);
      fx.process(block.data(), in.data() + pos * channels, n);
      out.insert(out.end(), block.begin(), block.begin() + n * channels);
    }
  }
  void silence(int frames) { feed(std::vector<float>(frames * channels, 0.0f)); }
  void impulse(float left, float right = 0.0f) {
    std::vector<float> frame{left, right};
    frame.resize(channels);
    feed(frame);
  }
  // Lets the gliding parameters arrive, then forgets what was played.
  void settle() {
    silence(8192);
    out.clear();
  }
  int frames() const { return static_cast<int>(out.size()) / channels; }

  // Every audible sample of one output channel.
  std::vector<Event> events(int channel) const {
    std::vector<Event> found;
    for (int i = 0; i < frames(); ++i) {
      const float v = out[i * channels + channel];
      if (std::fabs(v) > 1e-7f) found.push_back({i, v});
    }
    return found;
  }

  TStereoEcho fx{nullptr, dsp::kFlagObeyTempo};
  int channels;
  std::vector<float> out;
};

void expectEvents(const std::vector<Event>& actual, const std::vector<Event>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(actual[i].frame, expected[i].frame) << "event " << i;
    EXPECT_NEAR(actual[i].value, expected[i].value, 2e-5) << "event " << i;
  }
}

// Frame of the first sample after `from` whose magnitude exceeds `threshold`, or -1.
int firstAbove(const Rig& rig, int from, float threshold, int channel = 0) {
  for (int i = from; i < rig.frames(); ++i) {
    if (std::fabs(rig.out[i * rig.channels + channel]) > threshold) return i;
  }
  return -1;
}

TEST(StereoEcho, DelayFollowsSpeedAndTempo) {
  {
    // Stereo, tap 2 at d itself.
    Rig stereo(2);
    EXPECT_EQ(stereo.cc(kMode, 4), 3125u);  // int(value x 100000)
    EXPECT_EQ(stereo.cc(kLevel, 127), 99218u);
    EXPECT_EQ(stereo.cc(50, 3), dsp::kNotHandled);
    stereo.settle();
    stereo.impulse(1.0f, 0.5f);
    stereo.silence(12000);
    expectEvents(stereo.events(0), {{0, kDry}, {11760, kWet}});
    expectEvents(stereo.events(1), {{0, 0.5f * kDry}, {11760, 0.5f * kWet}});
  }
  {
    // Taps placed while the write position is 2 samples past a multiple of 4 round down,
    // lengthening the delay by those 2 samples.
    Rig mono(1);
    mono.cc(kLevel, 127);
    mono.settle();  // 8192 frames: the write position is a multiple of 4
    mono.feed({0.0f, 0.0f});
    mono.cc(kMode, 2);
    mono.impulse(1.0f);
    mono.silence(12000);
    EXPECT_EQ(firstAbove(mono, 3, 0.5f), 2 + 11762);
  }
  {
    // Speed 127 is limited to 120 sixtieths: one second at 120 beats per minute.
    Rig mono(1);
    mono.cc(kMode, 2);
    mono.cc(kSpeed, 127);
    mono.cc(kLevel, 127);
    mono.settle();
    mono.impulse(1.0f);
    mono.silence(45000);
    expectEvents(mono.events(0), {{0, kDry}, {44100, kWet}});
  }
  for (int channels : {1, 2}) {
    // At 2 beats per minute Speed 32 would ask for 705600 frames; the ring allows 196560
    // samples.
    SCOPED_TRACE("channels " + std::to_string(channels));
    Rig rig(channels);
    rig.cc(kMode, 4);
    rig.cc(kLevel, 127);
    rig.fx.processEvent(EffectEvent::tempo(0, 1));
    rig.settle();
    rig.impulse(1.0f);
    const int expected = 196560 / channels;
    rig.silence(expected + 100);
    expectEvents(rig.events(0), {{0, kDry}, {expected, kWet}});
  }
}

TEST(StereoEcho, ModesLayTheTapsOutAndPingPongExceptMode4) {
  const float w = kWet, f = kFeedback, f2 = kFeedback * kFeedback;
  struct Case {
    int mode;
    std::vector<Event> left, right;
  };
  // An impulse on the left, d = 11760 frames. A repeat that returns on the other side shows
  // that the feedback crosses between the channels.
  const std::vector<Case> cases = {
      {0,
       {{0, kDry}, {3920, w}, {7840, 0.5f * w}, {27440, w * f2}, {31360, 0.5f * w * f2}},
       {{19600, 0.5f * w * f}, {23520, w * f}}},
      {1, {{0, kDry}, {5880, w}, {29400, w * f2}}, {{23520, w * f}}},
      {2, {{0, kDry}, {11760, w}, {35280, w * f2}}, {{23520, w * f}}},
      // Tap 3 15 ms (661 samples) short of d, rounded down to 4 samples: 11430 frames.
      {3, {{0, kDry}, {11430, w}, {34950, w * f2}}, {{23520, w * f}}},
      {4, {{0, kDry}, {11760, w}, {23520, w * f}, {35280, w * f2}}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("mode " + std::to_string(c.mode));
    Rig rig(2);
    rig.cc(kMode, c.mode);
    rig.cc(kLevel, 127);
    rig.settle();
    rig.impulse(1.0f);
    rig.silence(36000);
    expectEvents(rig.events(0), c.left);
    expectEvents(rig.events(1), c.right);
  }

  // Modes without a layout pass the input unchanged and leave the ring alone, so nothing
  // returns once a real layout is chosen again.
  for (int mode : {5, 127}) {
    SCOPED_TRACE("mode " + std::to_string(mode));
    Rig rig(2);
    rig.cc(kLevel, 100);
    rig.settle();
    rig.cc(kMode, mode);
    const std::vector<float> in = testsupport::whiteNoise(2 * 3000, 1.0f, mode);
    rig.feed(in);
    EXPECT_EQ(rig.out, in);
    std::vector<float> inPlace = in;
    rig.fx.process(inPlace.data(), inPlace.data(), 3000);
    EXPECT_EQ(inPlace, in);
    rig.cc(kMode, 4);
    rig.out.clear();
    rig.silence(12000);
    EXPECT_TRUE(rig.events(0).empty());
    EXPECT_TRUE(rig.events(1).empty());
  }
}

TEST(StereoEcho, LevelSharesEchoAndDry) {
  {
    Rig rig(1);  // default Level 32
    rig.cc(kMode, 2);
    rig.impulse(1.0f);
    rig.silence(12000);
    expectEvents(rig.events(0), {{0, 1.0f - 0.094732f}, {11760, 0.094732f}});
  }
  {
    // Level 0 with repeats still circling in the ring: only the dry input is heard.
    Rig rig(2);
    rig.cc(kFeedBack, 127);
    rig.impulse(1.0f, -1.0f);
    rig.cc(kLevel, 0);
    rig.silence(8000);
    const std::vector<float> in = testsupport::whiteNoise(2 * 20000, 1.0f);
    rig.out.clear();
    rig.feed(in);
    for (size_t i = 0; i < in.size(); ++i)
      ASSERT_NEAR(rig.out[i], in[i], 1e-6f) << i;
  }
}

// Gain of the echo's output between two frames at `hz`, by direct Fourier sum.
double gainAt(const Rig& rig, int from, int to, double hz) {
  return std::abs(testsupport::dtft({rig.out.begin() + from, rig.out.begin() + to}, hz));
}

TEST(StereoEcho, BandWidthNarrowsTheRepeatsAround830Hz) {
  // Mono, tap 2 at d: the second repeat, from 2d on, is the band-pass' impulse response
  // scaled by the feedback and the level.
  constexpr int d = 11760;
  struct Band {
    double peakHz, peakGain, lowEdge, highEdge;  // edges 3 dB below the peak
  };
  std::vector<Band> bands;
  for (int bandWidth : {127, 64, 0}) {
    SCOPED_TRACE("bandwidth " + std::to_string(bandWidth));
    Rig rig(1);
    rig.cc(kMode, 2);
    rig.cc(kLevel, 127);
    rig.cc(kBandWidth, bandWidth);
    rig.settle();
    rig.impulse(1.0f);
    rig.silence(3 * d - 1);
    const double scale = kWet * kFeedback;
    if (bandWidth == 127) {
      expectEvents(rig.events(0), {{0, kDry}, {d, kWet}, {2 * d, kWet * kFeedback}});
      continue;
    }
    Band b{0, 0, 0, 0};
    for (double hz = 400; hz <= 1600; hz += 2) {
      const double g = gainAt(rig, 2 * d, 2 * d + 4096, hz) / scale;
      if (g > b.peakGain) b = {hz, g, 0, 0};
    }
    const double edge = b.peakGain / std::sqrt(2.0);
    for (double hz = b.peakHz; hz > 20 && b.lowEdge == 0; hz -= 2)
      if (gainAt(rig, 2 * d, 2 * d + 4096, hz) / scale < edge) b.lowEdge = hz;
    for (double hz = b.peakHz; hz < 20000 && b.highEdge == 0; hz += 10)
      if (gainAt(rig, 2 * d, 2 * d + 4096, hz) / scale < edge) b.highEdge = hz;
    EXPECT_NEAR(b.peakGain, 1.0, 0.01);
    EXPECT_NEAR(b.peakHz, 840, 20);
    bands.push_back(b);
  }
  ASSERT_EQ(bands.size(), 2u);
  // BandWidth 0 lies inside 64's band, on both sides.
  EXPECT_GT(bands[1].lowEdge, bands[0].lowEdge * 1.3);
  EXPECT_LT(bands[1].highEdge, bands[0].highEdge / 1.3);
  EXPECT_GT(bands[1].lowEdge, 250);
  EXPECT_LT(bands[1].highEdge, 2600);
}

TEST(StereoEcho, FullFeedbackStillDiesAway) {
  for (int bandWidth : {127, 0}) {
    SCOPED_TRACE("bandwidth " + std::to_string(bandWidth));
    Rig rig(1);
    rig.cc(kMode, 2);
    rig.cc(kSpeed, 0);  // one sixtieth of a beat: 367 frames, 368 once rounded to 4
    rig.cc(kFeedBack, 127);
    rig.cc(kLevel, 127);
    rig.cc(kBandWidth, bandWidth);
    rig.settle();
    rig.impulse(1.0f);
    rig.silence(368 * 400);
    // Energy of each repeat: the band-pass never gains, so each holds less than the one before.
    std::vector<double> energy;
    for (int start = 368; start + 368 <= rig.frames(); start += 368) {
      double e = 0.0;
      for (int i = start; i < start + 368; ++i)
        e += double(rig.out[i]) * rig.out[i];
      energy.push_back(e);
    }
    for (size_t i = 1; i < energy.size(); ++i)
      ASSERT_LT(energy[i], energy[i - 1]) << "repeat " << i;
    if (bandWidth == 127) {
      EXPECT_NEAR(rig.out[368], kWet, 1e-5);
      EXPECT_NEAR(std::sqrt(energy[1] / energy[0]), 0.97234, 1e-5);
    }
    EXPECT_LT(energy.back(), 1e-8 * energy.front());
  }
}

TEST(StereoEcho, ResetClearsTheRingOnlyWhenNotClean) {
  // Mono, mode 0: the echo returns 7840 frames after the impulse. An impulse is left in the
  // ring 1000 frames before a reset.
  Rig rig(1);
  rig.cc(kLevel, 127);
  rig.settle();
  const auto echoAfterReset = [&rig] {
    rig.out.clear();
    rig.impulse(1.0f);
    rig.silence(999);
    rig.fx.reset();
    rig.silence(8000);
    return rig.out[7840];
  };
  EXPECT_EQ(echoAfterReset(), 0.0f);          // the first reset clears
  EXPECT_NEAR(echoAfterReset(), kWet, 1e-5);  // the ring is clean: the second leaves it alone
  rig.fx.invalidate();
  EXPECT_EQ(echoAfterReset(), 0.0f);  // invalidated: cleared again
  EXPECT_NEAR(echoAfterReset(), kWet, 1e-5);
}

TEST(StereoEcho, LongerDelayDoesNotReplayWhatWasHeard) {
  // FeedBack 0, so the ring holds only the dry input. Impulse A at frame 0 is older than the
  // delay when Speed doubles; impulse B is younger and must survive.
  for (bool clean : {true, false}) {
    SCOPED_TRACE(clean ? "clean ring" : "stale ring");
    {
      // Mono mode 0 reads tap 2: 7840 frames, then 15680. Speed changes at frame 9000.
      Rig rig(1);
      rig.cc(kFeedBack, 0);
      rig.cc(kLevel, 127);
      rig.settle();
      if (clean) rig.fx.reset();
      rig.impulse(1.0f);
      rig.silence(7999);
      rig.impulse(0.5f);
      rig.silence(999);
      rig.cc(kSpeed, 64);
      rig.silence(16000);
      std::vector<Event> expected = {{0, kDry}, {7840, kWet}, {8000, 0.5f * kDry}};
      if (!clean) expected.push_back({15680, kWet});  // A again
      expected.push_back({8000 + 15680, 0.5f * kWet});
      expectEvents(rig.events(0), expected);
    }
    {
      // Stereo mode 0: taps at 3920, 7840 and 11760 frames, doubled at frame 12000.
      Rig rig(2);
      rig.cc(kFeedBack, 0);
      rig.cc(kLevel, 127);
      rig.settle();
      if (clean) rig.fx.reset();
      rig.impulse(1.0f, 1.0f);
      rig.silence(10999);
      rig.impulse(0.5f, 0.5f);
      rig.silence(999);
      rig.cc(kSpeed, 64);
      rig.silence(24000);
      std::vector<Event> left = {
          {0, kDry}, {3920, kWet}, {7840, 0.5f * kWet}, {11000, 0.5f * kDry}};
      std::vector<Event> right = {
          {0, kDry}, {7840, 0.5f * kWet}, {11000, 0.5f * kDry}, {11760, kWet}};
      if (!clean) left.push_back({15680, 0.5f * kWet});
      left.push_back({11000 + 7840, 0.5f * kWet});
      left.push_back({11000 + 15680, 0.25f * kWet});
      if (!clean) right.push_back({15680, 0.5f * kWet});
      if (!clean) right.push_back({23520, kWet});
      right.push_back({11000 + 15680, 0.25f * kWet});
      right.push_back({11000 + 23520, 0.5f * kWet});
      std::sort(left.begin(), left.end(), [](Event a, Event b) { return a.frame < b.frame; });
      expectEvents(rig.events(0), left);
      expectEvents(rig.events(1), right);
    }
  }
}

}  // namespace

// The mono path filters its feedback a stretch at a time when the delay is longer than the
// call, and sample by sample otherwise: block length, in place or not, and the ring's wrap
// change the float rounding only.
TEST(StereoEcho, MonoRepeatsDoNotDependOnBlockingOrPlace) {
  constexpr int kFrames = 3 * TStereoEcho::kRingFrames / 2;  // the ring wraps once
  const std::vector<float> in = testsupport::whiteNoise(kFrames, 0.5f, 5);
  const auto render = [&](int block, bool inPlace) {
    TStereoEcho fx{nullptr, dsp::kFlagObeyTempo};
    fx.setFormat(1, kRate);
    for (auto [controller, value] :
         {std::pair{kMode, 2}, {kFeedBack, 120}, {kSpeed, 20}, {kLevel, 100}, {kBandWidth, 40}}) {
      fx.processEvent(
          EffectEvent::controller(static_cast<uint8_t>(controller), static_cast<uint8_t>(value)));
    }
    // Parameters glide per call: let them arrive the same way for every rendering.
    std::vector<float> out(kFrames), scratch(std::max(block, 64));
    for (int i = 0; i < 8192; i += 64)
      fx.process(scratch.data(), std::vector<float>(64, 0.0f).data(), 64);
    for (int pos = 0; pos < kFrames; pos += block) {
      const int n = std::min(block, kFrames - pos);
      if (inPlace) {
        std::copy_n(in.begin() + pos, n, scratch.begin());
        fx.process(scratch.data(), scratch.data(), n);
        std::copy_n(scratch.begin(), n, out.begin() + pos);
      } else {
        fx.process(out.data() + pos, in.data() + pos, n);
      }
    }
    return out;
  };
  const std::vector<float> reference = render(64, false);
  float loudest = 0.0f;
  for (float y : reference)
    loudest = std::max(loudest, std::fabs(y));
  EXPECT_GT(loudest, 0.5f);
  for (auto [block, inPlace] : {std::pair{64, true}, {37, true}, {1, false}, {20000, false}}) {
    const std::vector<float> out = render(block, inPlace);
    float worst = 0.0f;
    for (int i = 0; i < kFrames; ++i)
      worst = std::max(worst, std::fabs(out[i] - reference[i]));
    EXPECT_LT(worst, 1e-4f) << "blocks of " << block << (inPlace ? ", in place" : "");
  }
}
