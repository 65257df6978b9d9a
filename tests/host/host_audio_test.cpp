#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "host/eva_host_audio.h"
#include "host_test_support.h"
#include "plugin/eva_processor.h"
#include "plugin/sample_rate.h"
#include "plugin/vlvr_processor.h"
#include "support/allocation_counter.h"

namespace {

using hosttest::FakeAudioDriver;
using hosttest::FakeTechnology;
using State = host::evaHostAudio::State;

// Records what the host hands over and answers with fixed outputs.
class ProbeProcessor : public plugin::evaProcessor {
 public:
  explicit ProbeProcessor(int32_t inputs) { setNumInputs(inputs); }
  void processReplacing(float** inputs, float** outputs, int32_t frames) override {
    in0 = inputs[0], in1 = inputs[1], out0 = outputs[0], out1 = outputs[1];
    this->frames = frames;
    for (int32_t i = 0; i < frames; ++i) {
      outputs[0][i] = 3.0f * inputs[0][i];
      outputs[1][i] = -0.5f;
    }
  }
  void setDspSampleRate(int32_t rate) override { dspRate = rate; }
  void applyAllParameters() override { ++applied; }

  float *in0 = nullptr, *in1 = nullptr, *out0 = nullptr, *out1 = nullptr;
  int32_t frames = 0, dspRate = 0, applied = 0;
};

// The process-wide rate is shared by every test of the program.
class HostAudio : public ::testing::Test {
 protected:
  void TearDown() override { plugin::setProcessSampleRate(44100.0f); }
  FakeTechnology fake_;
};

void useDevices(host::HardwareSettings& s) {
  s.audioTechnology = "DirectX";
  s.selectedFrequencies = "48000";
  s.curInDeviceName = "Capture B";
  s.curOuDeviceName = "Playback A";
  s.selectedBufSize = "64";
}

TEST_F(HostAudio, StartOpensTheNamedDevicesAndFeedsTheProcessor) {
  ProbeProcessor processor(2);
  host::evaHostAudio audio(processor, "");
  useDevices(audio.settings());
  audio.settings().selectedBufSize = "0";
  audio.settings().curInChannelIndex = 1;
  audio.create();
  EXPECT_EQ(plugin::processSampleRate(), 48000.0f);
  FakeAudioDriver* driver = FakeTechnology::last();
  ASSERT_NE(driver, nullptr);
  driver->deviceBufferSize = 256;

  ASSERT_EQ(audio.start(), State::kRunning);
  EXPECT_EQ(processor.dspRate, 48000);
  EXPECT_EQ(processor.applied, 1);
  EXPECT_EQ(audio.settings().selectedBufSize, "256") << "the size really used";
  EXPECT_EQ(driver->config().inputDevice, 1);
  EXPECT_EQ(driver->config().outputDevice, 0);
  EXPECT_EQ(driver->config().inputChannels[0].deviceChannel, 1);
  EXPECT_FALSE(driver->config().inputChannels[1].enabled);

  std::vector<float> ramp(256);
  for (size_t i = 0; i < ramp.size(); ++i)
    ramp[i] = float(i) / 512.0f;
  driver->runBlockWith({ramp});
  EXPECT_EQ(processor.frames, 256);
  EXPECT_EQ(std::vector<float>(processor.in0, processor.in0 + 256), ramp);
  EXPECT_EQ(processor.in1, processor.in0) << "one device input stands in for both";
  EXPECT_NE(processor.out0, processor.out1);
  EXPECT_EQ(driver->deviceOutput(0)[100], 3.0f * 100.0f / 512.0f);
  EXPECT_EQ(driver->deviceOutput(0)[255], 1.0f) << "clipped";
  EXPECT_EQ(driver->deviceOutput(1), std::vector<float>(256, -0.5f));

  EXPECT_EQ(audio.status().inputDevice, "Capture B");
  EXPECT_NEAR(audio.status().latencyMs, 2 * 256 * 1000.0 / 48000.0, 1e-9);
  audio.stop();
  EXPECT_FALSE(driver->isOpen());
  EXPECT_EQ(audio.status().state, State::kStopped);

  ProbeProcessor mono(1);
  host::evaHostAudio monoAudio(mono, "");
  EXPECT_FALSE(monoAudio.stereoInput());
  useDevices(monoAudio.settings());
  monoAudio.create();
  ASSERT_EQ(monoAudio.start(), State::kRunning);
  FakeTechnology::last()->block();
  EXPECT_NE(mono.in0, nullptr);
  EXPECT_EQ(mono.in1, nullptr) << "a mono processor gets no second input";
}

TEST_F(HostAudio, WithoutUsableSettingsNothingIsOpened) {
  const struct {
    const char *technology, *rate;
    bool deviceOpens;
    State state;
    int32_t dspRate;  // 0: not set
  } cases[] = {
      {"", "", true, State::kNoTechnology, 0},  // no settings file
      {"directx", "48000", true, State::kNoTechnology, 48000},
      {"DirectX", "", true, State::kNoSampleRate, 0},
      {"DirectX", "12", true, State::kNoSampleRate, 0},
      {"DirectX", "44100", false, State::kOpenFailed, 44100},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.technology << " " << c.rate);
    ProbeProcessor processor(2);
    host::evaHostAudio audio(processor, "");
    audio.settings().audioTechnology = c.technology;
    audio.settings().selectedFrequencies = c.rate;
    audio.create();
    if (audio.audio()->driver()) FakeTechnology::last()->openSucceeds = c.deviceOpens;
    EXPECT_EQ(audio.start(), c.state);
    EXPECT_FALSE(audio.audio()->isOpen());
    EXPECT_EQ(audio.settings().selectedBufSize, "512") << "untouched without a device";
    EXPECT_EQ(processor.applied, 1);
    EXPECT_EQ(processor.dspRate, c.dspRate);
    EXPECT_EQ(plugin::processSampleRate(), c.dspRate ? float(c.dspRate) : 44100.0f);
    plugin::setProcessSampleRate(44100.0f);
  }
}

// The whole block path: fan-out, the host's hand-over, the processor and its rack, mix and clip.
TEST_F(HostAudio, BlocksAllocateNothing) {
  plugin::vlvrProcessor processor;
  processor.initialize();
  processor.open();
  host::evaHostAudio audio(processor, "");
  useDevices(audio.settings());
  audio.settings().curOuChannelRightIndex = 0;  // both outputs mixed on one channel
  audio.create();
  ASSERT_EQ(audio.start(), State::kRunning);
  std::vector<float> noise(64);
  for (size_t i = 0; i < noise.size(); ++i)
    noise[i] = std::sin(float(i)) * 0.5f;
  FakeTechnology::last()->runBlockWith({noise});
  testsupport::AllocationCounter counter;
  for (int b = 0; b < 50; ++b)
    FakeTechnology::last()->block();
  EXPECT_EQ(counter.count(), 0u);
}

// Parameter changes from the control thread while the device's thread runs blocks.
TEST_F(HostAudio, ConcurrencyParameterChangesWhileBlocksRun) {
  plugin::vlvrProcessor processor;
  processor.initialize();
  processor.open();
  host::evaHostAudio audio(processor, "");
  useDevices(audio.settings());
  audio.create();
  FakeTechnology::last()->threadBlocks = 300;
  ASSERT_EQ(audio.start(), State::kRunning);
  for (int step = 0; step < 3000; ++step)
    processor.setParameterPlain(step % 22, float(step % 4));
  audio.stop();  // waits for the device's thread
  EXPECT_EQ(audio.audio()->getSamplePosition(), 300 * 64);
  EXPECT_EQ(processor.silencedBlocks(), 0u);
}

}  // namespace
