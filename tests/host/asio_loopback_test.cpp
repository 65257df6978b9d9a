// The "Asio" back end with the loopback test driver: a real driver thread calling the buffer
// switch, what the host writes coming back on its inputs one switch later.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <cmath>

#include "host/eva_host_audio.h"
#include "host/mp_audio_asio.h"
#include "host_test_support.h"
#include "plugin/eva_processor.h"
#include "plugin/sample_rate.h"

namespace {

using host::kFirstDevice;
using host::MPAudioAsio;
using namespace platform;

float pattern(int64_t block, int32_t frame) {
  return static_cast<float>((block * 7 + frame) % 200 - 100) / 128.0f;
}

// Writes a pattern per block and compares what comes back with the previous block's.
class LoopbackProbe : public MPAudioAsio {
 public:
  LoopbackProbe() { setOwner(this); }
  ~LoopbackProbe() override { close(); }

  void process(float* const* inputs, int32_t inputCount, float* const* outputs, int32_t outputCount,
               int32_t frames) override {
    const int64_t block = blocks.load(std::memory_order_relaxed);
    for (int32_t i = 0; i < frames; ++i) {
      if (block > 0 && inputCount == 2) {
        worstError = std::max({worstError, std::fabs(inputs[0][i] - pattern(block - 1, i)),
                               std::fabs(inputs[1][i] + pattern(block - 1, i))});
      }
      outputs[0][i] = pattern(block, i);
      if (outputCount == 2) outputs[1][i] = -pattern(block, i);
    }
    blocks.store(block + 1, std::memory_order_relaxed);
  }

  std::atomic<int64_t> blocks{0};
  float worstError = 0.0f;  // read once the driver thread has stopped
};

class AsioConcurrency : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const char* name : {"LOOPBACK_SAMPLE_TYPE", "LOOPBACK_PREFERRED_SIZE",
                             "LOOPBACK_RESET_AFTER", "LOOPBACK_INIT_ERROR", "LOOPBACK_RATE"})
      ::unsetenv(name);
    plugin::setProcessSampleRate(44100.0f);
  }
  hosttest::AsioTestRegistry registry_;
};

TEST_F(AsioConcurrency, OnlyTheGenericDriversGiveEmptyListsAndNoOpen) {
  registry_.addDriver("dx", "ASIO DirectX Full Duplex Driver");
  registry_.addDriver("mme", "ASIO Multimedia Driver");
  LoopbackProbe asio;
  asio.enumerateDevices(false);
  EXPECT_TRUE(asio.getInputDevices().empty());
  EXPECT_TRUE(asio.getOutputDevices().empty());
  EXPECT_FALSE(asio.open(kFirstDevice, kFirstDevice, 1024, 0, 1, 0, 1, 48000));
  const char* mme = "ASIO Multimedia Driver";
  EXPECT_FALSE(asio.openByNames(mme, mme, 1024, 0, 1, 0, 1, 48000));
}

TEST_F(AsioConcurrency, BlocksFlowAtTheDriversSizeInEverySampleType) {
  registry_.addDriver("loop", "Loopback");
  const struct {
    int32_t type;
    float tolerance;
  } types[] = {{kFloat32Lsb, 0.0f}, {kInt16Lsb, 1e-4f},   {kInt24Lsb, 1e-6f},
               {kInt32Lsb, 1e-6f},  {kInt32Lsb16, 1e-4f}, {kInt32Lsb24, 1e-6f}};
  for (const auto& t : types) {
    SCOPED_TRACE(t.type);
    ::setenv("LOOPBACK_SAMPLE_TYPE", std::to_string(t.type).c_str(), 1);
    LoopbackProbe asio;
    // 1024 asked, 256 preferred by the driver.
    ASSERT_TRUE(asio.open(kFirstDevice, kFirstDevice, 1024, 0, 1, 0, 1, 48000));
    EXPECT_EQ(asio.getOutputDevices().size(), 1u);
    EXPECT_EQ(asio.getBufferSize(), 256);
    EXPECT_EQ(asio.outputLatency(), 256);
    ASSERT_TRUE(asio.start());
    ASSERT_TRUE(hosttest::eventually([&] { return asio.blocks.load() >= 12; }));
    asio.stop();
    EXPECT_GE(asio.getSamplePosition(), 12 * 256);
    EXPECT_EQ(asio.getSamplePosition() % 256, 0);
    EXPECT_LE(asio.worstError, t.tolerance);
  }
}

// Only the open device answers while one is open; one instance at a time; failures leave none.
TEST_F(AsioConcurrency, CapabilitiesComeFromTheDriverAndOneInstanceIsOpen) {
  registry_.addDriver("loop", "Loopback");
  registry_.addDriver("other", "Second");
  ::setenv("LOOPBACK_PREFERRED_SIZE", "96", 1);
  LoopbackProbe first, second;
  first.enumerateDevices(false);
  host::AudioCapabilities in, out;
  ASSERT_TRUE(first.getCapabilities(0, true, in));
  ASSERT_TRUE(first.getCapabilities(0, false, out));
  EXPECT_EQ(in.bufferSizes, std::vector<int32_t>{96});
  EXPECT_EQ(in.channelNames, (std::vector<std::string>{"Loop In 1", "Loop In 2"}));
  EXPECT_EQ(out.channelNames, (std::vector<std::string>{"Loop Out 1", "Loop Out 2"}));
  EXPECT_EQ(out.sampleRates, (std::vector<int32_t>{44100, 48000}));
  EXPECT_TRUE(out.hasControlPanel);
  EXPECT_TRUE(first.showControlPanel(0, false));
  EXPECT_FALSE(first.getCapabilities(2, false, out));

  ::setenv("LOOPBACK_INIT_ERROR", "no hardware", 1);
  EXPECT_FALSE(first.open(0, 0, 96, 0, 1, 0, 1, 48000));
  EXPECT_STREQ(first.errorMessage(), "no hardware");
  ::unsetenv("LOOPBACK_INIT_ERROR");
  EXPECT_FALSE(first.open(0, 0, 96, 0, 1, 0, 1, 22050)) << "a rate the driver refuses";
  EXPECT_FALSE(first.open(0, 0, 96, 0, 1, 0, 5, 48000)) << "a channel the driver lacks";
  EXPECT_FALSE(first.open(2, 2, 96, 0, 1, 0, 1, 48000)) << "no such device";
  ASSERT_TRUE(first.open(0, 0, 96, 0, 1, 0, 1, 44100));
  EXPECT_STREQ(first.errorMessage(), "No ASIO Driver Error");
  EXPECT_TRUE(first.getCapabilities(0, false, out));
  EXPECT_FALSE(first.getCapabilities(1, false, out));
  EXPECT_FALSE(first.showControlPanel(1, false));
  EXPECT_FALSE(second.open(0, 0, 96, 0, 1, 0, 1, 48000));
  first.close();
  EXPECT_TRUE(second.open(0, 0, 96, 0, 1, 0, 1, 48000));
}

// A processor that only counts frames.
class CountingProcessor : public plugin::evaProcessor {
 public:
  void processReplacing(float**, float**, int32_t frames) override {
    frames_.fetch_add(frames, std::memory_order_relaxed);
  }
  int64_t frames() const { return frames_.load(std::memory_order_relaxed); }

 private:
  std::atomic<int64_t> frames_{0};
};

TEST_F(AsioConcurrency, TheHostRunsAtTheDriversSizeAndReopensOnAResetRequest) {
  registry_.addDriver("loop", "Loopback");
  ::setenv("LOOPBACK_RESET_AFTER", "10", 1);
  CountingProcessor processor;
  host::evaHostAudio audio(processor, "");
  host::HardwareSettings& settings = audio.settings();
  settings.audioTechnology = "Asio";
  settings.curInDeviceName = settings.curOuDeviceName = "Loopback";
  settings.selectedFrequencies = "48000";
  settings.selectedBufSize = "1024";
  audio.create();
  ASSERT_EQ(audio.start(), host::evaHostAudio::State::kRunning);
  EXPECT_EQ(audio.bufferFrames(), 256);
  EXPECT_EQ(settings.selectedBufSize, "256");
  EXPECT_FALSE(audio.serviceReset());

  // After the request no block reaches the processor until the host reopens the driver.
  ASSERT_TRUE(hosttest::eventually([&] { return audio.audio()->resetRequested(); }));
  const int64_t frames = processor.frames();
  EXPECT_EQ(frames, 10 * 256);
  ::unsetenv("LOOPBACK_RESET_AFTER");
  // The driver's size and rate changed: the host follows both.
  ::setenv("LOOPBACK_PREFERRED_SIZE", "128", 1);
  ::setenv("LOOPBACK_RATE", "44100", 1);
  EXPECT_TRUE(audio.serviceReset());
  EXPECT_EQ(audio.status().state, host::evaHostAudio::State::kRunning);
  EXPECT_FALSE(audio.audio()->resetRequested());
  EXPECT_EQ(audio.bufferFrames(), 128);
  EXPECT_EQ(settings.selectedBufSize, "128");
  EXPECT_EQ(settings.selectedFrequencies, "44100");
  EXPECT_EQ(plugin::processSampleRate(), 44100.0f);
  ASSERT_TRUE(hosttest::eventually([&] { return processor.frames() >= frames + 10 * 128; }));
}

}  // namespace
