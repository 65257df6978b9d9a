#include "dsp/automated_effect.h"
#include "dsp_test_helpers.h"

namespace {

using dsp::EffectEvent;
using dsp::kNotHandled;

constexpr const char* kNames[] = {"Glide", "Jump", "Level"};
constexpr int32_t kDefaults[] = {0, 64, 127};
constexpr uint32_t kControllers[] = {20, 21, 22};
constexpr float kRates[] = {0.0002f, dsp::kJump, 0.0002f};
const dsp::EffectDescriptor kProbeDescriptor = {
    dsp::kEffectDescriptorSize, 9999, "Probe", 1, 2, 2, 3, kDefaults, kNames, kControllers, kRates};

// An effect that records what the object model does to it.
class ProbeEffect : public dsp::TAutomatedEffect, public dsp::EffectObserver {
 public:
  explicit ProbeEffect(uint32_t flags) : TAutomatedEffect(this, &kProbeDescriptor, flags) {}

  struct Chunk {
    int frames;
    float glide;
    const float *out, *in;
  };
  std::vector<Chunk> chunks;
  int changes = 0;
  std::vector<std::pair<uint32_t, float>> setCalls;
  std::vector<std::pair<int, float>> heard;  // by the owner: value and percent

  float current(int i) const { return parameter(i).current; }
  void run(int frames) {
    std::vector<float> buf(2 * frames, 0.0f);
    process(buf.data(), buf.data(), frames);
  }
  void parameterChanged(dsp::TAutomatedEffect* e, uint32_t c, int v, float p) override {
    EXPECT_EQ(e, this);
    EXPECT_EQ(c, setCalls.back().first);
    heard.emplace_back(v, p);
  }

 protected:
  void parametersChanged() override { ++changes; }
  uint32_t setParameter(uint32_t controller, float value) override {
    setCalls.emplace_back(controller, value);
    notifyParameter(static_cast<int>(controller - 20), value);
    return 7;
  }
  int processBlock(float* out, const float* in, int frames) override {
    chunks.push_back({frames, value(0), out, in});
    return frames;
  }
};

TEST(AutomatedEffect, ControllersReachTheirParametersScaledBy128) {
  ProbeEffect fx(0);
  EXPECT_EQ(fx.current(1), 0.5f);                // the descriptor's default
  EXPECT_EQ(fx.parameter(3).current, 22050.0f);  // the beat, at 120 BPM
  float frame[2] = {0, 0};
  EXPECT_EQ(fx.process(frame, frame, 0), 0);
  EXPECT_TRUE(fx.chunks.empty());
  // A jumping parameter moves at the next chunk, not before.
  EXPECT_EQ(fx.processEvent(EffectEvent::controller(21, 10)), 7u);
  EXPECT_EQ(fx.current(1), 0.5f);
  fx.run(1);
  EXPECT_EQ(fx.current(1), 10.0f / 128.0f);

  fx.processEvent(EffectEvent::controller(22, 64, 5));  // any MIDI channel
  EXPECT_EQ(fx.parameter(2).target, 0.5f);
  EXPECT_EQ(fx.setCalls.back(), std::make_pair(22u, 0.5f));
  EXPECT_EQ(fx.heard.back(), std::make_pair(64, 50.0f));
  EXPECT_EQ(fx.processEvent(EffectEvent::controller(99, 1)), kNotHandled);
  EffectEvent noteOn = EffectEvent::controller(20, 100);
  noteOn.status = 0x90;
  EXPECT_EQ(fx.processEvent(noteOn), kNotHandled);
  // The modulation wheel is no controller of this effect unless its flag says so.
  EXPECT_EQ(fx.processEvent(EffectEvent::controller(1, 100)), kNotHandled);
  EXPECT_EQ(fx.setCalls.size(), 2u);

  // A batch goes through in order; a count below 1 does nothing.
  const EffectEvent batch[] = {EffectEvent::controller(22, 1), EffectEvent::controller(22, 2)};
  EXPECT_EQ(fx.processEvents(batch, -1), 0u);
  EXPECT_EQ(fx.setCalls.size(), 2u);
  EXPECT_EQ(fx.processEvents(batch, 2), 0u);
  EXPECT_EQ(fx.parameter(2).target, 2.0f / 128.0f);

  ProbeEffect wheel(dsp::kFlagModWheelDrivesFirst);
  EXPECT_EQ(wheel.processEvent(EffectEvent::controller(1, 96)), 7u);
  EXPECT_EQ(wheel.parameter(0).target, 0.75f);
  EXPECT_EQ(wheel.setCalls, (std::vector<std::pair<uint32_t, float>>{{20u, 0.75f}}));
}

TEST(AutomatedEffect, BlocksAreCutIntoChunksWithAGlideBetween) {
  ProbeEffect fx(0);
  fx.processEvent(EffectEvent::controller(20, 64));
  std::vector<float> buf(2 * 300, 0.0f);
  EXPECT_EQ(fx.process(buf.data(), buf.data(), 300), 300);
  ASSERT_EQ(fx.chunks.size(), 3u);
  EXPECT_EQ(fx.chunks[2].frames, 44);
  EXPECT_FLOAT_EQ(fx.chunks[0].glide, 0.0256f);
  EXPECT_FLOAT_EQ(fx.chunks[1].glide, 0.0512f);
  EXPECT_FLOAT_EQ(fx.chunks[2].glide, 0.0512f + 44 * 0.0002f);
  EXPECT_EQ(fx.changes, 3);
  EXPECT_EQ(fx.chunks[1].out, buf.data() + 256);
  EXPECT_EQ(fx.chunks[2].in, buf.data() + 512);

  // A mono input feeding a stereo output advances each pointer by its own channel count.
  fx.chunks.clear();
  fx.setInputChannels(1);
  fx.process(buf.data(), buf.data(), 200);
  ASSERT_EQ(fx.chunks.size(), 2u);
  EXPECT_EQ(fx.chunks[1].out, buf.data() + 256);
  EXPECT_EQ(fx.chunks[1].in, buf.data() + 128);

  // Once a glide across the whole range has arrived, nothing changes any more.
  ProbeEffect fresh(0);
  fresh.processEvent(EffectEvent::controller(20, 127));
  fresh.run(40 * 128);
  EXPECT_EQ(fresh.current(0), fresh.parameter(0).target);
  const int before = fresh.changes;
  fresh.run(128);
  EXPECT_EQ(fresh.changes, before);
  EXPECT_EQ(fresh.parameter(0).changed, 0u);
}

TEST(AutomatedEffect, TempoMessageSetsSamplesPerBeatWhenObeyed) {
  ProbeEffect fx(dsp::kFlagObeyTempo);
  EXPECT_EQ(fx.processEvent(EffectEvent::tempo(0, 45)), kNotHandled);
  EXPECT_EQ(fx.tempo(), 90.0f);
  EXPECT_EQ(fx.parameter(3).current, 22050.0f) << "follows at the next chunk";
  fx.run(1);
  EXPECT_EQ(fx.parameter(3).current, 29400.0f);

  // A format change recomputes the beat at the current tempo.
  fx.processEvent(EffectEvent::tempo(0, 60));
  fx.setFormat(2, 48000);
  EXPECT_EQ(fx.parameter(3).current, 24000.0f);
  // A zero tempo would make the beat infinite: ignored.
  fx.processEvent(EffectEvent::tempo(0, 0));
  EXPECT_EQ(fx.tempo(), 120.0f);
}

}  // namespace
