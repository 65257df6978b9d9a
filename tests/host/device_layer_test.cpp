#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "host/mp_audio.h"
#include "host_test_support.h"

namespace {

using host::kFirstDevice;
using host::kNoDevice;
using hosttest::FakeAudioDriver;

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
  std::vector<std::vector<float>> receivedInputs;
  std::vector<std::vector<float>> outputValues;
};

host::AudioDeviceConfig configFor(std::vector<int> inputChannels, std::vector<int> outputChannels,
                                  int32_t frames) {
  host::AudioDeviceConfig config;
  config.inputDevice = 0;
  config.outputDevice = 0;
  config.bufferSize = frames;
  for (size_t i = 0; i < inputChannels.size(); ++i)
    config.inputChannels[i] = {inputChannels[i] >= 0, inputChannels[i]};
  for (size_t i = 0; i < outputChannels.size(); ++i)
    config.outputChannels[i] = {outputChannels[i] >= 0, outputChannels[i]};
  return config;
}

TEST(DeviceLayer, InputsOnOneDeviceChannelGetTheSameSamples) {
  FakeAudioDriver driver;
  BlockRecorder owner;
  driver.setOwner(&owner);
  // Logical inputs 0 and 2 on device channel 1, logical 1 unused, logical 3 on channel 0.
  ASSERT_TRUE(driver.openConfig(configFor({1, -1, 1, 0}, {0, 1}, 4)));
  ASSERT_EQ(driver.inputChannels().size(), 2u);
  EXPECT_EQ(driver.logicalInputCount(), 4);
  EXPECT_EQ(driver.inputChannels()[0].extraLogical, std::vector<int32_t>{2});

  driver.runBlockWith({{0.1f, 0.2f, 0.3f, 0.4f}, {-1.0f, 0.0f, 1.0f, 0.5f}});
  const std::vector<float> shared = {0.1f, 0.2f, 0.3f, 0.4f};
  EXPECT_EQ(owner.receivedInputs[0], shared);
  EXPECT_EQ(owner.receivedInputs[2], shared);
  EXPECT_EQ(owner.receivedInputs[1], std::vector<float>(4, 0.0f)) << "an unused slot is silent";
  EXPECT_EQ(owner.receivedInputs[3], (std::vector<float>{-1.0f, 0.0f, 1.0f, 0.5f}));
  EXPECT_NE(owner.received[0], owner.received[2]) << "each logical channel has its own buffer";
  EXPECT_EQ(driver.getSamplePosition(), 4);
  driver.block();
  EXPECT_EQ(driver.getSamplePosition(), 8);
}

TEST(DeviceLayer, OutputsAreMixedAndClippedToExactlyFullScale) {
  constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
  constexpr float kInf = std::numeric_limits<float>::infinity();
  FakeAudioDriver driver;
  BlockRecorder owner;
  driver.setOwner(&owner);
  // Logical outputs 0 and 2 share device channel 0; logical 1 is alone on channel 1.
  ASSERT_TRUE(driver.openConfig(configFor({0}, {0, 1, 0}, 8)));
  ASSERT_EQ(driver.outputChannels().size(), 2u);
  owner.outputValues = {
      {0.6f, -0.6f, 0.25f, 2.0f, 0.0f, kNaN, 0.0f, -0.5f},
      {2.0f, -3.0f, 1.0f, -1.0f, 0.5f, kNaN, kInf, -kInf},
      {0.6f, -0.6f, 0.25f, 0.0f, kNaN, 0.0f, kInf, -kInf},
  };
  driver.block();
  EXPECT_EQ(driver.deviceOutput(0),
            (std::vector<float>{1.0f, -1.0f, 0.5f, 1.0f, 0.0f, 0.0f, 1.0f, -1.0f}));
  EXPECT_EQ(driver.deviceOutput(1),
            (std::vector<float>{1.0f, -1.0f, 1.0f, -1.0f, 0.5f, 0.0f, 1.0f, -1.0f}));

  // A second block mixes afresh: the device buffer of a shared channel holds no old sum.
  owner.outputValues = {std::vector<float>(8, 0.125f), std::vector<float>(8, 0.0f),
                        std::vector<float>(8, 0.25f)};
  driver.block();
  EXPECT_EQ(driver.deviceOutput(0), std::vector<float>(8, 0.375f));
}

TEST(DeviceLayer, DevicesAreFoundByExactName) {
  struct Case {
    const char* input;
    const char* output;
    int32_t inputDevice, outputDevice;
  };
  const Case cases[] = {
      {nullptr, "Playback B", kNoDevice, 1},  // playback only
      {"Unplugged", "Playback A", kFirstDevice, 0},
      {"Capture B", nullptr, 1, kNoDevice},  // capture only
      {"capture b", "Playback B ", kFirstDevice, kFirstDevice},
  };
  for (const Case& c : cases) {
    FakeAudioDriver driver;
    ASSERT_TRUE(driver.openByNames(c.input, c.output, 64, 0, -1, 0, 1, 44100)) << c.input;
    EXPECT_EQ(driver.config().inputDevice, c.inputDevice) << c.input;
    EXPECT_EQ(driver.config().outputDevice, c.outputDevice) << c.output;
    EXPECT_EQ(driver.logicalInputCount(), 1);
    EXPECT_FALSE(driver.config().inputChannels[1].enabled) << "-1 leaves the slot unused";
    EXPECT_EQ(driver.enumerations, 1);
  }
}

TEST(DeviceLayer, OpeningAnOpenDriverChangesNothing) {
  FakeAudioDriver driver;
  ASSERT_TRUE(driver.open(1, 0, 64, 1, 0, 0, 1, 48000));
  const float* buffer = driver.inputChannels()[0].buffer;
  EXPECT_FALSE(driver.openConfig(configFor({0}, {0}, 128)));
  EXPECT_FALSE(driver.openByNames("Capture A", "Playback A", 128, 0, -1, 0, 1, 44100));
  EXPECT_EQ(driver.openings, 1);
  EXPECT_EQ(driver.getBufferSize(), 64);
  EXPECT_EQ(driver.config().inputDevice, 1);
  EXPECT_EQ(driver.config().sampleRate, 48000);
  EXPECT_EQ(driver.inputChannels()[0].buffer, buffer);
  EXPECT_TRUE(driver.isOpen());
}

TEST(DeviceLayer, FailedOpensLeaveTheDriverClosed) {
  FakeAudioDriver refusing;
  refusing.openSucceeds = false;
  EXPECT_FALSE(refusing.open(0, 0, 64, 0, -1, 0, 1, 44100));
  EXPECT_FALSE(refusing.isOpen());
  EXPECT_FALSE(refusing.start());
  EXPECT_EQ(refusing.logicalInputCount(), 0);

  for (int32_t frames : {-1, host::kMaxBufferSize + 1}) {
    FakeAudioDriver driver;
    EXPECT_FALSE(driver.open(0, 0, frames, 0, -1, 0, 1, 44100)) << frames;
    EXPECT_EQ(driver.openings, 0) << "refused before the device is asked";
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

TEST(DeviceLayer, TechnologiesSelectedByExactName) {
  hosttest::FakeTechnology directX(0), asio(1);
  struct Case {
    const char* name;
    bool hasDriver;
    int32_t technology;
  };
  const Case cases[] = {
      {"DirectX", true, 0},   {"Asio", true, 1}, {"directx", false, -1},
      {"DIRECTX", false, -1}, {"", false, -1},   {nullptr, false, -1},
  };
  for (const Case& c : cases) {
    host::MPAudio audio;
    ASSERT_TRUE(audio.selectTechnologyByName("DirectX"));
    EXPECT_EQ(audio.selectTechnologyByName(c.name), c.hasDriver) << (c.name ? c.name : "null");
    EXPECT_EQ(audio.technology(), c.technology) << (c.name ? c.name : "null");
    EXPECT_EQ(audio.driver() != nullptr, c.hasDriver);
    if (c.hasDriver) continue;
    // No driver: every operation answers false, 0 or nothing.
    int32_t index = 5;
    host::AudioCapabilities caps;
    caps.sampleRates = {1};
    EXPECT_FALSE(audio.openByNames("Capture A", "Playback A", 64, 0, -1, 0, 1, 44100));
    EXPECT_FALSE(audio.start());
    EXPECT_FALSE(audio.findDevice("Capture A", true, index));
    EXPECT_EQ(index, -1);
    EXPECT_FALSE(audio.getCapabilities(0, false, caps));
    EXPECT_TRUE(caps.sampleRates.empty());
    EXPECT_EQ(audio.getBufferSize(), 0);
    EXPECT_TRUE(audio.getInputDevices().empty());
  }

  std::string name;
  EXPECT_EQ(host::MPAudio::getTechnologyCount(), 2);
  EXPECT_TRUE(host::MPAudio::getTechnologyName(1, name));
  EXPECT_EQ(name, "Asio");
  EXPECT_FALSE(host::MPAudio::getTechnologyName(2, name));
  EXPECT_FALSE(host::MPAudio::getTechnologyName(-1, name));
  EXPECT_EQ(name, "Asio");
}

TEST(DeviceLayer, ChangingTechnologyClosesTheRunningDriver) {
  hosttest::FakeTechnology fake;
  host::MPAudio audio;
  std::vector<std::string> log;
  ASSERT_TRUE(audio.selectTechnology(0));
  hosttest::FakeTechnology::last()->log = &log;
  ASSERT_TRUE(audio.openByNames("Capture A", "Playback A", 64, 0, -1, 0, 1, 44100));
  ASSERT_TRUE(audio.start());
  audio.stop();
  ASSERT_TRUE(audio.start());
  EXPECT_TRUE(audio.isRunning());
  ASSERT_TRUE(audio.selectTechnology(0));
  EXPECT_EQ(log, (std::vector<std::string>{"stop", "stop", "close"}));
  EXPECT_FALSE(audio.isOpen());
}

TEST(DeviceLayer, BaseCapabilities) {
  FakeAudioDriver driver;
  host::AudioCapabilities caps;
  ASSERT_TRUE(driver.getCapabilities(0, true, caps));
  EXPECT_EQ(caps.bufferSizes,
            (std::vector<int32_t>{128, 256, 512, 1024, 2048, 4096, 8192, 16384, 32768, 65536}));
  EXPECT_EQ(caps.channelNames, (std::vector<std::string>{"Left", "Right"}));
  EXPECT_EQ(caps.sampleRates, (std::vector<int32_t>{22050, 44100, 48000, 88200, 96000}));
  EXPECT_FALSE(caps.hasControlPanel);
  EXPECT_FALSE(driver.hasControlPanel());
  EXPECT_FALSE(driver.showControlPanel(0, false));
}

}  // namespace
