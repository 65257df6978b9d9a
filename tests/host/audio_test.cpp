// The device layer over a fake back end, the host's audio object over it, its settings file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "framework/scratch_folder.h"
#include "host/eva_host_audio.h"
#include "host/mp_audio.h"
#include "host/mp_audio_driver.h"
#include "plugin/eva_processor.h"
#include "plugin/sample_rate.h"
#include "plugin/vlvr_processor.h"
#include "support/allocation_counter.h"

namespace {

using host::HardwareSettings;
using host::kFirstDevice;
using State = host::evaHostAudio::State;

// A back end without a device: "Capture A/B", "Playback A/B", blocks run by hand or a thread.
class FakeAudioDriver : public host::MPAudioDriver {
 public:
  ~FakeAudioDriver() override { close(); }

  void runBlockWith(const std::vector<std::vector<float>>& deviceInputs) {
    for (size_t k = 0; k < inputChannels().size() && k < deviceInputs.size(); ++k)
      std::copy(deviceInputs[k].begin(), deviceInputs[k].end(), inputChannels()[k].buffer);
    runBlock();
  }
  void block() { runBlock(); }
  std::vector<float> deviceOutput(size_t k) const {
    const float* b = outputChannels()[k].buffer;
    return {b, b + getBufferSize()};
  }

  bool openSucceeds = true;
  int32_t deviceBufferSize = -1;  // >= 0: the size the device insists on
  int32_t threadBlocks = 0;       // run by start() on a thread of its own

 protected:
  bool openDevices() override {
    if (deviceBufferSize >= 0) bufferSize_ = deviceBufferSize;
    return openSucceeds;
  }
  void closeDevices() override {}
  bool startStreaming() override {
    thread_ = std::thread([this] {
      for (int32_t i = 0; i < threadBlocks; ++i)
        runBlock();
    });
    return true;
  }
  void stopStreaming() override {
    if (thread_.joinable()) thread_.join();
  }
  void enumerate() override {
    inputDevices_ = {{"Capture A", "Capture A"}, {"Capture B", "Capture B"}};
    outputDevices_ = {{"Playback A", "Playback A"}, {"Playback B", "Playback B"}};
  }

 private:
  std::thread thread_;
};

// Makes technology 0 ("DirectX") create FakeAudioDrivers while alive.
class FakeTechnology {
 public:
  FakeTechnology() : previous_(host::MPAudio::setDriverFactory(0, &make)) {}
  ~FakeTechnology() { host::MPAudio::setDriverFactory(0, previous_); }

  static FakeAudioDriver* last() { return last_; }

 private:
  static std::unique_ptr<host::MPAudioDriver> make() {
    auto driver = std::make_unique<FakeAudioDriver>();
    last_ = driver.get();
    return driver;
  }

  inline static FakeAudioDriver* last_ = nullptr;
  host::MPAudio::DriverFactory previous_;
};

// The owner a driver reports to: copies what it receives and writes preset outputs.
struct BlockRecorder : host::MPAudio {
  void process(float* const* inputs, int32_t inputCount, float* const* outputs, int32_t outputCount,
               int32_t frames) override {
    receivedInputs.clear();
    for (int32_t c = 0; c < inputCount; ++c)
      receivedInputs.emplace_back(inputs[c], inputs[c] + frames);
    for (int32_t c = 0; c < outputCount && c < int32_t(outputValues.size()); ++c)
      std::copy(outputValues[c].begin(), outputValues[c].begin() + frames, outputs[c]);
  }
  std::vector<std::vector<float>> receivedInputs, outputValues;
};

// Logical inputs 0 and 2 on device channel 1, logical 1 unused, logical 3 on channel 0; logical
// outputs 0 and 2 share device channel 0, logical 1 is alone on channel 1.
TEST(DeviceLayer, InputsFanOutAndOutputsAreMixedAndClippedToExactlyFullScale) {
  constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
  constexpr float kInf = std::numeric_limits<float>::infinity();
  FakeAudioDriver driver;
  BlockRecorder owner;
  driver.setOwner(&owner);
  host::AudioDeviceConfig config;
  config.inputDevice = config.outputDevice = 0;
  config.bufferSize = 8;
  config.inputChannels[0] = config.inputChannels[2] = {true, 1};
  config.inputChannels[3] = {true, 0};
  config.outputChannels[0] = config.outputChannels[2] = {true, 0};
  config.outputChannels[1] = {true, 1};
  ASSERT_TRUE(driver.openConfig(config));
  owner.outputValues = {
      {0.6f, -0.6f, 0.25f, 2.0f, 0.0f, kNaN, 0.0f, -0.5f},
      {2.0f, -3.0f, 1.0f, -1.0f, 0.5f, kNaN, kInf, -kInf},
      {0.6f, -0.6f, 0.25f, 0.0f, kNaN, 0.0f, kInf, -kInf},
  };
  const std::vector<float> shared = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f};
  const std::vector<float> alone = {-1.0f, 0.0f, 1.0f, 0.5f, 0.1f, 0.2f, 0.3f, 0.4f};
  driver.runBlockWith({shared, alone});
  EXPECT_EQ(owner.receivedInputs[0], shared);
  EXPECT_EQ(owner.receivedInputs[2], shared);
  EXPECT_EQ(owner.receivedInputs[1], std::vector<float>(8, 0.0f)) << "an unused slot is silent";
  EXPECT_EQ(owner.receivedInputs[3], alone);
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

// Exact names, else the first device; refusals leave a driver closed; a technology change closes.
TEST(DeviceLayer, OpeningByNameRefusalsAndTechnologyChange) {
  const struct {
    const char *input, *output;
    int32_t inputDevice, outputDevice;
  } cases[] = {
      {nullptr, "Playback B", host::kNoDevice, 1},
      {"capture b", "Playback B ", kFirstDevice, kFirstDevice},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.output);
    FakeAudioDriver driver;
    ASSERT_TRUE(driver.openByNames(c.input, c.output, 64, 0, -1, 0, 1, 44100));
    EXPECT_EQ(driver.config().inputDevice, c.inputDevice);
    EXPECT_EQ(driver.config().outputDevice, c.outputDevice);
    EXPECT_EQ(driver.logicalInputCount(), 1) << "-1 leaves the slot unused";
    EXPECT_FALSE(driver.openByNames("Capture A", "Playback A", 128, 0, -1, 0, 1, 44100));
    EXPECT_EQ(driver.getBufferSize(), 64);
    driver.close();
    EXPECT_TRUE(driver.open(0, 0, 128, 0, -1, 0, 1, 44100)) << "opens again after a close";
  }

  FakeAudioDriver refusing;
  EXPECT_FALSE(refusing.open(0, 0, host::kMaxBufferSize + 1, 0, -1, 0, 1, 44100));
  refusing.deviceBufferSize = 0;
  EXPECT_FALSE(refusing.open(0, 0, 0, 0, -1, 0, 1, 44100)) << "a device that gives no size";
  refusing.openSucceeds = false;
  EXPECT_FALSE(refusing.open(0, 0, 64, 0, -1, 0, 1, 44100));
  EXPECT_FALSE(refusing.start());
  std::string name;
  EXPECT_FALSE(host::MPAudio::getTechnologyName(2, name));

  FakeTechnology directX;
  host::MPAudio audio;
  ASSERT_TRUE(audio.selectTechnology(0));
  ASSERT_TRUE(audio.openByNames("Capture A", "Playback A", 64, 0, -1, 0, 1, 44100));
  ASSERT_TRUE(audio.start());
  ASSERT_TRUE(audio.selectTechnology(0));
  EXPECT_FALSE(audio.isOpen());
}

// Records what the host hands over and answers with fixed outputs.
struct ProbeProcessor : plugin::evaProcessor {
  ProbeProcessor() { setNumInputs(2); }
  void processReplacing(float** inputs, float** outputs, int32_t frames) override {
    in0 = inputs[0], in1 = inputs[1];
    for (int32_t i = 0; i < frames; ++i) {
      outputs[0][i] = 3.0f * inputs[0][i];
      outputs[1][i] = -0.5f;
    }
  }
  void setDspSampleRate(int32_t rate) override { dspRate = rate; }
  void applyAllParameters() override { ++applied; }

  float *in0 = nullptr, *in1 = nullptr;
  int32_t dspRate = 0, applied = 0;
};

class HostAudio : public ::testing::Test {
 protected:
  void TearDown() override { plugin::setProcessSampleRate(44100.0f); }
  FakeTechnology fake_;
};

// A MIDI input too: where there is no MIDI system (build machines) the host runs without it.
void useDevices(HardwareSettings& s) {
  s.curMidiInName = "Default";
  s.audioTechnology = "DirectX";
  s.selectedFrequencies = "48000";
  s.curInDeviceName = "Capture B";
  s.curOuDeviceName = "Playback A";
  s.selectedBufSize = "64";
}

// Without a usable technology, rate or device nothing opens, yet the parameters are applied.
TEST_F(HostAudio, StartOpensTheNamedDevicesAndFeedsTheProcessor) {
  ProbeProcessor processor;
  host::evaHostAudio audio(processor, "");
  HardwareSettings& settings = audio.settings();
  useDevices(settings);
  const struct {
    const char *technology, *rate;
    bool opens;
    State state;
  } failures[] = {{"directx", "48000", true, State::kNoTechnology},
                  {"DirectX", "12", true, State::kNoSampleRate},
                  {"DirectX", "48000", false, State::kOpenFailed}};
  for (const auto& f : failures) {
    settings.audioTechnology = f.technology;
    settings.selectedFrequencies = f.rate;
    audio.create();
    if (audio.audio()->driver()) FakeTechnology::last()->openSucceeds = f.opens;
    EXPECT_EQ(audio.start(), f.state) << f.technology << " " << f.rate;
    EXPECT_FALSE(audio.audio()->isOpen());
  }
  EXPECT_EQ(processor.applied, 3);

  settings.selectedBufSize = "0";
  settings.curInChannelIndex = 1;
  audio.create();
  EXPECT_EQ(plugin::processSampleRate(), 48000.0f);
  FakeAudioDriver* driver = FakeTechnology::last();
  driver->deviceBufferSize = 256;
  ASSERT_EQ(audio.start(), State::kRunning);
  EXPECT_EQ(processor.dspRate, 48000);
  EXPECT_EQ(settings.selectedBufSize, "256") << "the size really used";
  EXPECT_EQ(driver->config().inputDevice, 1);
  EXPECT_EQ(driver->config().inputChannels[0].deviceChannel, 1);

  std::vector<float> ramp(256);
  for (size_t i = 0; i < ramp.size(); ++i)
    ramp[i] = float(i) / 512.0f;
  driver->runBlockWith({ramp});
  EXPECT_EQ(std::vector<float>(processor.in0, processor.in0 + 256), ramp);
  EXPECT_EQ(processor.in1, processor.in0) << "one device input stands in for both";
  EXPECT_EQ(driver->deviceOutput(0)[100], 3.0f * 100.0f / 512.0f);
  EXPECT_EQ(driver->deviceOutput(1), std::vector<float>(256, -0.5f));
  audio.stop();
  EXPECT_FALSE(driver->isOpen());
}

// Parameter changes while the device's thread runs blocks; the whole block path allocates nothing.
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

TEST(HardwareSettings, DefaultsWriteReadBackAndRefusedValues) {
  testsupport::ScratchFolder folder;
  std::ofstream(folder.path(HardwareSettings::kFileName)) << "AudioTechnology:\"Asio\"\r\n";
  HardwareSettings settings(folder.path(""));
  ASSERT_TRUE(settings.read());

  HardwareSettings missing(folder.path("never made"));
  EXPECT_FALSE(missing.read());
  EXPECT_EQ(missing.sampleRate(), 0.0f) << "no rate until one is chosen";
  EXPECT_FALSE(missing.write()) << "the folder is made by its owner";

  // Written in table order, the keys the file lacked at their defaults, and read back.
  settings.curInDeviceName = "USB Audio: hw:1,0";
  settings.selectedFrequencies = "48000";
  ASSERT_TRUE(settings.write());
  const auto bytes = testsupport::readBytes(settings.path());
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_TRUE(text.starts_with("CurInDeviceName:\"USB Audio: hw:1,0\"\r\nCurOuDeviceName:"));
  EXPECT_TRUE(
      text.ends_with("\"Right\"\r\nCurInChannelIndex:0\r\nCurOuChannelLeftIndex:0\r\n"
                     "CurOuChannelRightIndex:1\r\n"))
      << text;
  HardwareSettings back(folder.path(""));
  ASSERT_TRUE(back.read());
  EXPECT_EQ(back.curInDeviceName, settings.curInDeviceName);
  EXPECT_EQ(back.selectedFrequencies, "48000");

  // Setting by key refuses what the file or the devices cannot take.
  const struct {
    const char* key;
    std::string value;
    bool accepted;
  } cases[] = {
      {"SelectedBufSize", "65537", false},
      {"curindevicename", "hw:CARD=USB,DEV=0", true},
      {"CurOuDeviceName", "say \"hi\"", false},
      {"CurMidiInName", "two\nlines", false},
      {"CurInChannelName", std::string(512, 'x'), false},
      {"Volume", "3", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.key << "=" << c.value);
    HardwareSettings fresh;
    std::string before, after;
    const bool known = fresh.get(c.key, before);
    EXPECT_EQ(fresh.set(c.key, c.value).empty(), c.accepted);
    EXPECT_EQ(fresh.get(c.key, after), known);
    EXPECT_EQ(after, c.accepted ? c.value : before);
  }
}

}  // namespace
