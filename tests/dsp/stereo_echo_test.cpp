#include "dsp/stereo_echo.h"
#include "dsp_test_helpers.h"

namespace {

// Level 127: the echo's and the dry signal's share; default FeedBack 40.
constexpr float kWet = 0.98676f, kDry = 0.01324f, kFeedback = 0.30625f;

enum Controller { kMode = 27, kFeedBack = 28, kSpeed = 29, kLevel = 115, kBandWidth = 112 };

using Events = std::vector<std::pair<int, float>>;  // frame and value

// An echo fed in the rack's blocks of 64 frames, collecting all it plays.
struct Rig : testsupport::EffectRig<dsp::TStereoEcho> {
  explicit Rig(int channels, std::initializer_list<std::pair<int, int>> settings = {})
      : EffectRig(channels, 44100, dsp::kFlagObeyTempo) {
    for (auto [controller, value] : settings)
      cc(controller, value);
  }
  void play(const std::vector<float>& in) {
    const std::vector<float> played = feed(in);
    out.insert(out.end(), played.begin(), played.end());
  }
  void silence(int frames) { play(std::vector<float>(frames * channels, 0.0f)); }
  void impulse(float left, float right = 0.0f) {
    std::vector<float> frame{left, right};
    frame.resize(channels);
    play(frame);
  }
  void impulseThenSilence(int frames) {
    impulse(1.0f);
    silence(frames);
  }
  void settle() {
    EffectRig::settle(8192);
    out.clear();
  }
  // Every audible sample of one output channel, against the expected ones in time order.
  void expectEvents(int channel, const Events& expected) const {
    Events actual;
    for (size_t i = channel; i < out.size(); i += channels)
      if (std::fabs(out[i]) > 1e-7f) actual.push_back({int(i) / channels, out[i]});
    ASSERT_EQ(actual.size(), expected.size()) << "channel " << channel;
    for (size_t i = 0; i < expected.size(); ++i)
      EXPECT_TRUE(actual[i].first == expected[i].first &&
                  std::fabs(actual[i].second - expected[i].second) < 2e-5f)
          << "channel " << channel << ": " << actual[i].first << " " << actual[i].second
          << ", expected " << expected[i].first << " " << expected[i].second;
  }

  std::vector<float> out;
};

TEST(StereoEcho, DelayFollowsSpeedAndTempo) {
  struct Case {
    int channels, mode, speed, tempo;
    int lead;   // frames played after settling, before the mode is chosen
    int delay;  // of tap 2
  };
  const Case cases[] = {
      {2, 4, -1, -1, 0, 11760},
      // Taps placed 2 samples past a multiple of 4 round down: 2 samples longer.
      {1, 2, -1, -1, 2, 11762},
      // Speed 127 is limited to 120 sixtieths: one second at 120 beats per minute.
      {1, 2, 127, -1, 0, 44100},
      // At 2 BPM Speed 32 asks for 705600 frames; the ring allows 196560 samples.
      {1, 4, -1, 1, 0, 196560},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("delay " + std::to_string(c.delay) + ", channels " + std::to_string(c.channels));
    Rig rig(c.channels, {{kLevel, 127}});
    if (c.speed >= 0) rig.cc(kSpeed, c.speed);
    if (c.tempo >= 0) rig.fx.processEvent(dsp::EffectEvent::tempo(0, uint8_t(c.tempo)));
    rig.settle();
    rig.silence(c.lead);
    rig.cc(kMode, c.mode);
    rig.impulse(1.0f, 0.5f);
    rig.silence(c.delay + 100);
    rig.expectEvents(0, {{c.lead, kDry}, {c.lead + c.delay, kWet}});
    if (c.channels == 2)
      rig.expectEvents(1, {{c.lead, 0.5f * kDry}, {c.lead + c.delay, 0.5f * kWet}});
  }
}

TEST(StereoEcho, ModesLayTheTapsOutAndPingPongExceptMode4) {
  // A left impulse, d = 11760 frames: but in mode 4 the feedback crosses to the other side.
  const float w = kWet, f = kFeedback, f2 = kFeedback * kFeedback;
  const auto heard = [](int mode, const Events& left, const Events& right) {
    SCOPED_TRACE("mode " + std::to_string(mode));
    Rig rig(2, {{kMode, mode}, {kLevel, 127}});
    rig.settle();
    rig.impulseThenSilence(36000);
    rig.expectEvents(0, left);
    rig.expectEvents(1, right);
  };
  heard(0, {{0, kDry}, {3920, w}, {7840, 0.5f * w}, {27440, w * f2}, {31360, 0.5f * w * f2}},
        {{19600, 0.5f * w * f}, {23520, w * f}});
  // Tap 3 is 15 ms (661 samples) short of d, rounded down to 4 samples: 11430 frames.
  for (auto [mode, tap] : {std::pair{1, 5880}, {2, 11760}, {3, 11430}})
    heard(mode, {{0, kDry}, {tap, w}, {tap + 23520, w * f2}}, {{23520, w * f}});
  heard(4, {{0, kDry}, {11760, w}, {23520, w * f}, {35280, w * f2}}, {});

  // A mode without a layout passes the input unchanged.
  Rig rig(2, {{kLevel, 100}, {kMode, 5}});
  rig.settle();
  const std::vector<float> in = testsupport::whiteNoise(2 * 3000, 1.0f);
  rig.play(in);
  EXPECT_EQ(rig.out, in);
}

TEST(StereoEcho, LevelSharesEchoAndDry) {
  Rig rig(1, {{kMode, 2}});  // default Level 32
  rig.impulseThenSilence(12000);
  rig.expectEvents(0, {{0, 1.0f - 0.094732f}, {11760, 0.094732f}});

  // Level 0 with repeats still circling in the ring: only the dry input is heard.
  Rig circling(2, {{kFeedBack, 127}});
  circling.impulse(1.0f, -1.0f);
  circling.cc(kLevel, 0);
  circling.settle();
  const std::vector<float> in = testsupport::whiteNoise(2 * 20000, 1.0f);
  circling.play(in);
  for (size_t i = 0; i < in.size(); ++i)
    ASSERT_NEAR(circling.out[i], in[i], 1e-6f) << i;
}

TEST(StereoEcho, BandWidthNarrowsTheRepeatsAround830Hz) {
  // Mono, tap 2 at d: the repeat from 2d on is the band-pass' scaled impulse response.
  constexpr int d = 11760;
  const auto response = [](int bandWidth) {
    Rig rig(1, {{kMode, 2}, {kLevel, 127}, {kBandWidth, bandWidth}});
    rig.settle();
    rig.impulseThenSilence(3 * d - 1);
    const std::vector<float> repeat(rig.out.begin() + 2 * d, rig.out.begin() + 2 * d + 4096);
    return [repeat](double hz) {
      return std::abs(testsupport::dtft(repeat, hz)) / (kWet * kFeedback);
    };
  };
  const auto wide = response(64), narrow = response(0);
  for (const auto& gain : {wide, narrow})
    EXPECT_NEAR(gain(840.0), 1.0, 0.01);
  // BandWidth 0 has its 3 dB edges inside 250 .. 2600 Hz, 64 outside, on both sides.
  for (double hz : {250.0, 2600.0}) {
    EXPECT_LT(narrow(hz), std::sqrt(0.5)) << hz;
    EXPECT_GT(wide(hz), std::sqrt(0.5)) << hz;
  }
}

TEST(StereoEcho, FullFeedbackStillDiesAway) {
  // Speed 0 is one sixtieth of a beat: 367 frames, 368 once rounded to 4.
  Rig rig(1, {{kMode, 2}, {kSpeed, 0}, {kFeedBack, 127}, {kLevel, 127}, {kBandWidth, 0}});
  rig.settle();
  rig.impulseThenSilence(368 * 400);
  // Energy of each repeat: the band-pass never gains, so each holds less than the one before.
  std::vector<double> energy;
  for (size_t start = 368; start + 368 <= rig.out.size(); start += 368)
    energy.push_back(std::inner_product(rig.out.begin() + start, rig.out.begin() + start + 368,
                                        rig.out.begin() + start, 0.0));
  for (size_t i = 1; i < energy.size(); ++i)
    ASSERT_LT(energy[i], energy[i - 1]) << "repeat " << i;
  EXPECT_LT(energy.back(), 1e-8 * energy.front());
}

TEST(StereoEcho, ResetClearsTheRingOnlyWhenNotClean) {
  // Mono, mode 0: the echo returns 7840 frames after an impulse made 1000 before the reset.
  Rig rig(1, {{kLevel, 127}});
  rig.settle();
  const auto echoAfterReset = [&rig] {
    rig.out.clear();
    rig.impulseThenSilence(999);
    rig.fx.reset();
    rig.silence(8000);
    return rig.out[7840];
  };
  EXPECT_EQ(echoAfterReset(), 0.0f);          // the first reset clears
  EXPECT_NEAR(echoAfterReset(), kWet, 1e-5);  // the ring is clean: the second leaves it alone
  rig.fx.invalidate();
  EXPECT_EQ(echoAfterReset(), 0.0f);
  EXPECT_NEAR(echoAfterReset(), kWet, 1e-5);
}

}  // namespace
