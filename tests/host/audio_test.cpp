// The device layer over a fake back end (channel fan-out, mixing, opening, technologies) and
// the host's audio object that runs the processor on it.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "host/eva_host_audio.h"
#include "host/mp_audio.h"
#include "host_test_support.h"
#include "plugin/eva_processor.h"
#include "plugin/sample_rate.h"
#include "plugin/vlvr_processor.h"
#include "support/allocation_counter.h"

namespace {

using host::kFirstDevice;
using host::kNoDevice;
using hosttest::FakeAudioDriver;
using hosttest::FakeTechnology;
using State = host::evaHostAudio::State;

// The owner a driver reports to: copies what it receives and writes preset outputs.
class BlockRecorder : public host::MPAudio {
 public:
  void process(float* const* inputs, int32_t inputCount, float* const* outputs, int32_t outputCount,
               int32_t frames) override {
    received.assign(inputs, inputs + inputCount);
    receivedInputs.clear();
    for (int32_t c = 0; c < inputCount; ++c)
      receivedInputs.emplace_back(inputs[c], inputs[c] + frames);
    for (int32_t c = 0; c < outputCount && c < int32_t(outputValues.size()); ++c)
      std::copy(outputValues[c].begin(), outputValues[c].begin() + frames, outputs[c]);
  }
  std::vector<float*> received;
  std::vector<std::vector<float>> receivedInputs, outputValues;
};

// Device channels per logical slot; -1 leaves the slot unused.
host::AudioDeviceConfig configFor(std::vector<int> inputs, std::vector<int> outputs,
                                  int32_t frames) {
  host::AudioDeviceConfig config;
  config.inputDevice = config.outputDevice = 0;
  config.bufferSize = frames;
  for (size_t i = 0; i < inputs.size(); ++i)
    config.inputChannels[i] = {inputs[i] >= 0, inputs[i]};
  for (size_t i = 0; i < outputs.size(); ++i)
    config.outputChannels[i] = {outputs[i] >= 0, outputs[i]};
  return config;
}

// Logical inputs 0 and 2 on device channel 1, logical 1 unused, logical 3 on channel 0; logical
// outputs 0 and 2 share device channel 0, logical 1 is alone on channel 1.
TEST(DeviceLayer, InputsFanOutAndOutputsAreMixedAndClippedToExactlyFullScale) {
  constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
  constexpr float kInf = std::numeric_limits<float>::infinity();
  FakeAudioDriver driver;
  BlockRecorder owner;
  driver.setOwner(&owner);
  ASSERT_TRUE(driver.openConfig(configFor({1, -1, 1, 0}, {0, 1, 0}, 8)));
  ASSERT_EQ(driver.inputChannels().size(), 2u);
  ASSERT_EQ(driver.outputChannels().size(), 2u);
  EXPECT_EQ(driver.logicalInputCount(), 4);
  owner.outputValues = {
      {0.6f, -0.6f, 0.25f, 2.0f, 0.0f, kNaN, 0.0f, -0.5f},
      {2.0f, -3.0f, 1.0f, -1.0f, 0.5f, kNaN, kInf, -kInf},
      {0.6f, -0.6f, 0.25f, 0.0f, kNaN, 0.0f, kInf, -kInf},
  };
  // The device's buffers in the order of first use: channel 1, then 0.
  const std::vector<float> shared = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f};
  const std::vector<float> alone = {-1.0f, 0.0f, 1.0f, 0.5f, 0.1f, 0.2f, 0.3f, 0.4f};
  driver.runBlockWith({shared, alone});
  EXPECT_EQ(owner.receivedInputs[0], shared);
  EXPECT_EQ(owner.receivedInputs[2], shared);
  EXPECT_EQ(owner.receivedInputs[1], std::vector<float>(8, 0.0f)) << "an unused slot is silent";
  EXPECT_EQ(owner.receivedInputs[3], alone);
  EXPECT_NE(owner.received[0], owner.received[2]) << "each logical channel has its own buffer";
  EXPECT_EQ(driver.deviceOutput(0),
            (std::vector<float>{1.0f, -1.0f, 0.5f, 1.0f, 0.0f, 0.0f, 1.0f, -1.0f}));
  EXPECT_EQ(driver.deviceOutput(1),
            (std::vector<float>{1.0f, -1.0f, 1.0f, -1.0f, 0.5f, 0.0f, 1.0f, -1.0f}));

  // A second block mixes afresh: the device buffer of a shared channel holds no old sum.
  owner.outputValues = {std::vector<float>(8, 0.125f), std::vector<float>(8, 0.0f),
                        std::vector<float>(8, 0.25f)};
  driver.block();
  EXPECT_EQ(driver.deviceOutput(0), std::vector<float>(8, 0.375f));
  EXPECT_EQ(driver.getSamplePosition(), 16);
}

TEST(DeviceLayer, DevicesAreFoundByExactName) {
  const struct {
    const char *input, *output;
    int32_t inputDevice, outputDevice;
  } cases[] = {
      {nullptr, "Playback B", kNoDevice, 1},
      {"Unplugged", "Playback A", kFirstDevice, 0},
      {"Capture B", nullptr, 1, kNoDevice},
      {"capture b", "Playback B ", kFirstDevice, kFirstDevice},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input ? c.input : "no input");
    FakeAudioDriver driver;
    ASSERT_TRUE(driver.openByNames(c.input, c.output, 64, 0, -1, 0, 1, 44100));
    EXPECT_EQ(driver.config().inputDevice, c.inputDevice);
    EXPECT_EQ(driver.config().outputDevice, c.outputDevice);
    EXPECT_EQ(driver.logicalInputCount(), 1) << "-1 leaves the slot unused";
    EXPECT_EQ(driver.enumerations, 1);
  }
}

TEST(DeviceLayer, OpenIsRefusedWhenOpenOrUnusableAndFailuresLeaveItClosed) {
  FakeAudioDriver driver;
  ASSERT_TRUE(driver.open(1, 0, 64, 1, 0, 0, 1, 48000));
  EXPECT_FALSE(driver.openConfig(configFor({0}, {0}, 128)));
  EXPECT_FALSE(driver.openByNames("Capture A", "Playback A", 128, 0, -1, 0, 1, 44100));
  EXPECT_EQ(driver.openings, 1);
  EXPECT_EQ(driver.getBufferSize(), 64);
  EXPECT_EQ(driver.config().sampleRate, 48000);

  FakeAudioDriver refusing;
  refusing.openSucceeds = false;
  EXPECT_FALSE(refusing.open(0, 0, 64, 0, -1, 0, 1, 44100));
  EXPECT_FALSE(refusing.isOpen());
  EXPECT_FALSE(refusing.start());
  EXPECT_EQ(refusing.logicalInputCount(), 0);
  for (int32_t frames : {-1, host::kMaxBufferSize + 1}) {
    FakeAudioDriver tooBig;
    EXPECT_FALSE(tooBig.open(0, 0, frames, 0, -1, 0, 1, 44100)) << frames;
    EXPECT_EQ(tooBig.openings, 0) << "refused before the device is asked";
  }
  FakeAudioDriver sizeless;
  sizeless.deviceBufferSize = 0;
  EXPECT_FALSE(sizeless.open(0, 0, 0, 0, -1, 0, 1, 44100)) << "a device that gives no size";

  FakeAudioDriver ownSize;
  ownSize.deviceBufferSize = 192;
  ASSERT_TRUE(ownSize.open(0, 0, 0, 0, -1, 0, 1, 44100));
  EXPECT_EQ(ownSize.getBufferSize(), 192);
  EXPECT_TRUE(ownSize.start());
  ownSize.close();
  EXPECT_FALSE(ownSize.isRunning());
  EXPECT_TRUE(ownSize.open(0, 0, 64, 0, -1, 0, 1, 44100)) << "opens again after a close";
}

TEST(DeviceLayer, TechnologiesSelectedByExactNameAndChangingOneClosesTheDriver) {
  FakeTechnology directX(0), asio(1);
  const struct {
    const char* name;
    int32_t technology;  // -1: none, and no driver
  } cases[] = {{"DirectX", 0}, {"Asio", 1}, {"directx", -1}, {"", -1}, {nullptr, -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name ? c.name : "null");
    host::MPAudio audio;
    ASSERT_TRUE(audio.selectTechnologyByName("DirectX"));
    EXPECT_EQ(audio.selectTechnologyByName(c.name), c.technology >= 0);
    EXPECT_EQ(audio.technology(), c.technology);
    EXPECT_EQ(audio.driver() != nullptr, c.technology >= 0);
    int32_t index = 5;
    EXPECT_EQ(audio.findDevice("Capture A", true, index), c.technology >= 0);
    EXPECT_EQ(audio.openByNames("Capture A", "Playback A", 64, 0, -1, 0, 1, 44100),
              c.technology >= 0);
    EXPECT_EQ(index, c.technology >= 0 ? 0 : -1);
  }
  std::string name;
  EXPECT_EQ(host::MPAudio::getTechnologyCount(), 2);
  EXPECT_TRUE(host::MPAudio::getTechnologyName(1, name));
  EXPECT_EQ(name, "Asio");
  EXPECT_FALSE(host::MPAudio::getTechnologyName(2, name));
  EXPECT_FALSE(host::MPAudio::getTechnologyName(-1, name));

  // Choosing a technology again closes the running driver.
  host::MPAudio audio;
  std::vector<std::string> log;
  ASSERT_TRUE(audio.selectTechnology(0));
  FakeTechnology::last()->log = &log;
  ASSERT_TRUE(audio.openByNames("Capture A", "Playback A", 64, 0, -1, 0, 1, 44100));
  ASSERT_TRUE(audio.start());
  audio.stop();
  ASSERT_TRUE(audio.start());
  ASSERT_TRUE(audio.selectTechnology(0));
  EXPECT_EQ(log, (std::vector<std::string>{"stop", "stop", "close"}));
  EXPECT_FALSE(audio.isOpen());
}

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

// Parameter changes from the control thread while the device's thread runs blocks; then the
// whole block path (fan-out, the host's hand-over, the processor and its rack, mix and clip)
// allocates nothing.
TEST_F(HostAudio, ConcurrencyParameterChangesWhileBlocksRunAndBlocksAllocateNothing) {
  plugin::vlvrProcessor processor;
  processor.initialize();
  processor.open();
  host::evaHostAudio audio(processor, "");
  useDevices(audio.settings());
  audio.settings().curOuChannelRightIndex = 0;  // both outputs mixed on one channel
  audio.create();
  FakeAudioDriver& driver = *FakeTechnology::last();
  driver.threadBlocks = 300;
  ASSERT_EQ(audio.start(), State::kRunning);
  for (int step = 0; step < 3000; ++step)
    processor.setParameterPlain(step % 22, float(step % 4));
  audio.stop();  // waits for the device's thread
  EXPECT_EQ(driver.getSamplePosition(), 300 * 64);
  EXPECT_EQ(processor.silencedBlocks(), 0u);

  driver.threadBlocks = 0;
  ASSERT_EQ(audio.start(), State::kRunning);
  std::vector<float> noise(64);
  for (size_t i = 0; i < noise.size(); ++i)
    noise[i] = std::sin(float(i)) * 0.5f;
  driver.runBlockWith({noise});
  testsupport::AllocationCounter counter;
  for (int b = 0; b < 50; ++b)
    driver.block();
  EXPECT_EQ(counter.count(), 0u);
}

}  // namespace
