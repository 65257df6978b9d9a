#include "host/mp_audio_direct_sound.h"

#include <alsa/asoundlib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <future>
#include <optional>
#include <thread>
#include <vector>

#include "host/mp_audio.h"
#include "support/allocation_counter.h"
#include "support/eventually.h"
#include "support/jack/jack_fixture.h"

namespace host {
namespace {

using testsupport::eventually;

constexpr int32_t kRate = 48000, kBlock = 512;
constexpr int kCounterPeriod = 32767;
const char* const kLoop = testsupport::JackServer::kLoopbackDeviceName;

// Channel 0 counts frames, k / 32767 and a quarter step the 16-bit truncation drops; 1 is -1.0.
float counterSample(int64_t frame) {
  return (static_cast<float>(frame % kCounterPeriod) + 0.25f) / 32767.0f;
}

// Plays the test signal and keeps what came in, in storage made beforehand; read after stop().
class Recorder : public MPAudio {
 public:
  explicit Recorder(int64_t capacity) : in0(capacity), in1(capacity) {}

  void process(float* const* inputs, int32_t inputCount, float* const* outputs, int32_t outputCount,
               int32_t frames) override {
    const int32_t block = blocks.load(std::memory_order_relaxed);
    if (block == 0) {
      thread = std::this_thread::get_id();
      allocations_.emplace();
    }
    oneThread = oneThread && thread == std::this_thread::get_id();
    for (int32_t i = 0; i < frames; ++i) {
      if (outputCount > 0) outputs[0][i] = counterSample(position_ + i);
      if (outputCount > 1) outputs[1][i] = -1.0f;
    }
    if (position_ + frames <= static_cast<int64_t>(in0.size())) {
      if (inputCount > 0) std::copy(inputs[0], inputs[0] + frames, in0.begin() + position_);
      if (inputCount > 1) std::copy(inputs[1], inputs[1] + frames, in1.begin() + position_);
      recorded = position_ + frames;
    } else if (allocations_) {
      allocations = allocations_->count();
      allocations_.reset();
    }
    position_ += frames;
    blocks.store(block + 1, std::memory_order_relaxed);
  }

  bool full() const { return blocks.load() * int64_t{kBlock} > static_cast<int64_t>(in0.size()); }

  std::atomic<int32_t> blocks{0};
  std::vector<float> in0, in1;
  int64_t recorded = 0;
  std::thread::id thread;
  bool oneThread = true;
  std::optional<size_t> allocations;

 private:
  int64_t position_ = 0;
  std::optional<testsupport::AllocationCounter> allocations_;
};

TEST(DirectSoundConversion, SamplesTruncateTowardZeroOnAFullScaleOf32767) {
  const struct {
    float sample;
    int16_t expected;
  } cases[] = {{-1.0f, -32767}, {0.5f, 16383}, {0.99999f, 32766}, {-0.00003f, 0}, {-7.0f, -32767}};
  for (const auto& c : cases)
    EXPECT_EQ(MPAudioDirectSound::toDeviceSample(c.sample), c.expected) << c.sample;
  const float left[] = {0.25f};
  int16_t frame[2] = {9, 9};
  MPAudioDirectSound::floatsToFrames(left, nullptr, 1, reinterpret_cast<uint8_t*>(frame));
  EXPECT_EQ(frame[0], 8191);
  EXPECT_EQ(frame[1], 0) << "no right channel: silence";
}

// Without a sound card the system's devices fail to open, and the driver stays usable.
TEST(DirectSoundWithoutCard, SystemDevicesFailCleanly) {
  int card = -1;
  if (snd_card_next(&card) == 0 && card >= 0) GTEST_SKIP() << "this machine has a sound card";
  MPAudioDirectSound driver;
  EXPECT_FALSE(driver.openByNames("default", "default", 0, 0, 1, 0, 1, kRate));
  EXPECT_FALSE(driver.start());
}

// The streaming test that the ThreadSanitizer run picks by name.
using DirectSoundConcurrency = testsupport::JackServerTest;

// Full duplex through the loopback device, inputs crossed: the left channel's counter comes back
// sample-exact on input 2, -1.0 (sent as -32767) as exactly -1.0; a dying server ends streaming.
TEST_F(DirectSoundConcurrency,
       StreamsBringTheSignalBackOnTheConfiguredChannelsAndEndWithTheServer) {
  {
    MPAudioDirectSound driver;
    Recorder recorder(kRate);
    driver.setOwner(&recorder);
    ASSERT_TRUE(driver.openByNames(kLoop, kLoop, 0, 1, 0, 0, 1, kRate));
    EXPECT_EQ(driver.getBufferSize(), kBlock) << "size 0: the device's halves";
    ASSERT_TRUE(driver.start());
    EXPECT_TRUE(eventually([&] { return recorder.full(); }))
        << recorder.blocks << " blocks, lost " << driver.deviceLost();
    driver.close();
    EXPECT_TRUE(recorder.oneThread);
    EXPECT_NE(recorder.thread, std::this_thread::get_id());
    EXPECT_EQ(recorder.allocations, std::optional<size_t>(0));

    // The ring's first half is silent; then the counter comes in order but for a busy machine's
    // dropped or repeated period.
    const auto silent = [](float v) { return v == 0.0f; };
    const std::vector<float>& counter = recorder.in1;
    EXPECT_TRUE(std::all_of(counter.begin(), counter.begin() + kBlock, silent));
    int64_t arrived = 0, followed = 0, previous = -2;
    for (int64_t i = 0; i < recorder.recorded; ++i) {
      if (silent(counter[i])) continue;  // not there yet, or a gap the server filled
      const int64_t k = std::lround(counter[i] * 32767.0);
      ASSERT_TRUE(k > 0 && float(double(k) / 32767.0) == counter[i]) << i << ": " << counter[i];
      ++arrived;
      followed += k == (previous + 1) % kCounterPeriod;
      previous = k;
    }
    ASSERT_GT(arrived, kBlock) << "the signal did not come back";
    EXPECT_GT(followed, arrived * 9 / 10);
    const auto full = recorder.in0.begin(), end = full + recorder.recorded;
    EXPECT_GT(std::count(full, end, -1.0f), kBlock);
    EXPECT_TRUE(std::all_of(full, end, [](float v) { return v == -1.0f || v == 0.0f; }));
  }

  MPAudioDirectSound driver;
  Recorder recorder(kRate);
  driver.setOwner(&recorder);
  ASSERT_TRUE(driver.openByNames(kLoop, kLoop, kBlock, 0, 1, 0, 1, kRate));
  ASSERT_TRUE(driver.start());
  ASSERT_TRUE(eventually([&] { return recorder.blocks >= 8; }));
  server_->kill();
  EXPECT_TRUE(eventually([&] { return !driver.isStreaming(); }));
  EXPECT_TRUE(driver.deviceLost());
  auto closing = std::async(std::launch::async, [&] { driver.close(); });
  ASSERT_EQ(closing.wait_for(std::chrono::seconds(20)), std::future_status::ready)
      << "stop or close hangs";
}

}  // namespace
}  // namespace host
