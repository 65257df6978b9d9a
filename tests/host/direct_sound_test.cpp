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

#include "host_test_support.h"
#include "support/allocation_counter.h"
#include "support/jack/jack_fixture.h"

namespace host {
namespace {

using hosttest::eventually;
using testsupport::JackServer;

constexpr int32_t kRate = 48000;
constexpr int32_t kBlock = 512;
constexpr int kCounterPeriod = 32767;
const char* const kLoop = JackServer::kLoopbackDeviceName;

// Device channel 0 counts frames, k / 32767 (a quarter step above, which the 16-bit truncation
// drops), so every frame that comes back says which frame it was; channel 1 is -1.0.
float counterSample(int64_t frame) {
  return (static_cast<float>(frame % kCounterPeriod) + 0.25f) / 32767.0f;
}

// The owner of the blocks: plays the test signal and keeps what came in, in storage made
// beforehand, on the streaming thread. Read only after stop().
class Recorder : public MPAudio {
 public:
  explicit Recorder(int64_t capacity) : in0(capacity), in1(capacity) {}

  void process(float* const* inputs, int32_t inputCount, float* const* outputs, int32_t outputCount,
               int32_t frames) override {
    const int32_t block = blocks_.load(std::memory_order_relaxed);
    if (block == 0) {
      thread = std::this_thread::get_id();
      allocations_.emplace();
    }
    oneThread = oneThread && thread == std::this_thread::get_id();
    frames_.store(frames, std::memory_order_relaxed);
    const int32_t counter = counterOnOutput1 ? 1 : 0;
    for (int32_t i = 0; i < frames; ++i) {
      if (counter < outputCount) outputs[counter][i] = counterSample(position_ + i);
      if (1 - counter < outputCount) outputs[1 - counter][i] = -1.0f;
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
    blocks_.store(block + 1, std::memory_order_relaxed);
  }

  int32_t blocks() const { return blocks_.load(std::memory_order_relaxed); }
  int32_t frames() const { return frames_.load(std::memory_order_relaxed); }
  bool full() const { return blocks() * int64_t{frames()} > static_cast<int64_t>(in0.size()); }

  bool counterOnOutput1 = false;
  std::vector<float> in0, in1;
  int64_t recorded = 0;
  std::thread::id thread;
  bool oneThread = true;
  std::optional<size_t> allocations;

 private:
  std::atomic<int32_t> blocks_{0}, frames_{0};
  int64_t position_ = 0;
  std::optional<testsupport::AllocationCounter> allocations_;
};

// What came back on a channel that carried the counter.
struct CounterCheck {
  int64_t arrived = 0;   // frames that carried a counter value
  int64_t wrong = 0;     // frames that carried something else
  int64_t followed = 0;  // frames that carried the value after the one before them
};

CounterCheck checkCounter(const std::vector<float>& channel, int64_t frames) {
  CounterCheck check;
  int64_t previous = -2;
  for (int64_t i = 0; i < frames; ++i) {
    const float value = channel[static_cast<size_t>(i)];
    if (value == 0.0f) continue;  // not there yet, or a gap the server filled with silence
    const auto k = static_cast<int64_t>(std::lround(value * 32767.0));
    if (k <= 0 || static_cast<float>(static_cast<double>(k) / 32767.0) != value) {
      ++check.wrong;
      continue;
    }
    ++check.arrived;
    check.followed += k == (previous + 1) % kCounterPeriod;
    previous = k;
  }
  return check;
}

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
  Recorder recorder(kBlock);
  driver.setOwner(&recorder);
  EXPECT_FALSE(driver.openByNames("default", "default", 0, 0, 1, 0, 1, kRate));
  EXPECT_FALSE(driver.isOpen());
  EXPECT_FALSE(driver.start());
}

// The streaming tests that the ThreadSanitizer run picks by name.
using DirectSoundConcurrency = testsupport::JackServerTest;

// Through the loopback device, with the device channels each slot names: one thread (not the
// caller's) runs the blocks, nothing on the way allocates, and without a capture buffer the
// inputs stay silent. Full duplex, the counter comes back sample-exact on the input wired to
// the device channel it left on, and -1.0 comes back as exactly -1.0 (it left as -32767).
TEST_F(DirectSoundConcurrency,
       StreamsBringTheSignalBackOnTheConfiguredChannelsAndEndWithTheServer) {
  MPAudioDirectSound listing;
  listing.enumerateDevices(true);
  int32_t index = -1;
  ASSERT_TRUE(listing.findDevice(kLoop, false, index));
  EXPECT_EQ(listing.getOutputDevices()[index].id, JackServer::kLoopbackPcm);
  EXPECT_EQ(listing.getOutputDevices()[index].channels, 2);
  const struct {
    const char *in, *out;
    int32_t asked, block, input1, input2, outputLeft, outputRight;
    int counterInput;  // the logical input the counter returns on; -1: one way
  } cases[] = {
      {nullptr, kLoop, 0, 512, 0, 1, 0, 1, -1},  // size 0: 512-frame halves
      {kLoop, nullptr, 256, 256, 0, 1, 0, 1, -1},
      {kLoop, kLoop, kBlock, kBlock, 1, 0, 0, 1, 1},  // inputs crossed: left arrives on input 2
      {kLoop, kLoop, kBlock, kBlock, 0, 1, 1, 0, 0},  // outputs crossed: output 2 feeds the left
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.in ? "in " : "") << (c.out ? "out " : "") << c.input1
                                    << c.input2 << c.outputLeft << c.outputRight);
    MPAudioDirectSound driver;
    Recorder recorder(kRate);
    recorder.counterOnOutput1 = c.outputLeft == 1;
    driver.setOwner(&recorder);
    ASSERT_TRUE(driver.openByNames(c.in, c.out, c.asked, c.input1, c.input2, c.outputLeft,
                                   c.outputRight, kRate));
    EXPECT_EQ(driver.getBufferSize(), c.block);
    ASSERT_TRUE(driver.start());
    EXPECT_TRUE(eventually([&] { return recorder.full(); }))
        << recorder.blocks() << " blocks, lost " << driver.deviceLost();
    driver.close();
    EXPECT_EQ(recorder.frames(), c.block);
    EXPECT_TRUE(recorder.oneThread);
    EXPECT_NE(recorder.thread, std::this_thread::get_id());
    EXPECT_EQ(driver.getSamplePosition(), int64_t{c.block} * recorder.blocks());
    ASSERT_TRUE(recorder.allocations.has_value());
    EXPECT_EQ(*recorder.allocations, 0u);
    if (c.counterInput < 0) {
      EXPECT_TRUE(c.in || std::all_of(recorder.in0.begin(), recorder.in0.end(),
                                      [](float v) { return v == 0.0f; }));
      continue;
    }
    const auto& counter = c.counterInput == 0 ? recorder.in0 : recorder.in1;
    const auto& full = c.counterInput == 0 ? recorder.in1 : recorder.in0;
    const CounterCheck check = checkCounter(counter, recorder.recorded);
    ASSERT_GT(check.arrived, kBlock) << "the signal did not come back";
    EXPECT_EQ(check.wrong, 0);
    // In order, but for what a busy machine costs: a period the server dropped or ran twice.
    EXPECT_GT(check.followed, check.arrived * 9 / 10);
    // The ring's first half is silent: the first block hears nothing.
    EXPECT_TRUE(
        std::all_of(counter.begin(), counter.begin() + kBlock, [](float v) { return v == 0.0f; }));
    const auto arrived = std::find_if(full.begin(), full.end(), [](float v) { return v != 0; });
    ASSERT_NE(arrived, full.end());
    EXPECT_EQ(*arrived, -1.0f);
    EXPECT_TRUE(std::all_of(arrived, full.begin() + recorder.recorded,
                            [](float v) { return v == -1.0f || v == 0.0f; }));
  }

  // A server that dies mid-stream ends streaming on its own; stop and close return.
  MPAudioDirectSound driver;
  Recorder recorder(kRate);
  driver.setOwner(&recorder);
  ASSERT_TRUE(driver.openByNames(kLoop, kLoop, kBlock, 0, 1, 0, 1, kRate));
  ASSERT_TRUE(driver.start());
  ASSERT_TRUE(eventually([&] { return recorder.blocks() >= 8; }));
  server_->kill();
  EXPECT_TRUE(eventually([&] { return !driver.isStreaming(); }));
  EXPECT_TRUE(driver.deviceLost());
  auto closing = std::async(std::launch::async, [&] { driver.close(); });
  ASSERT_EQ(closing.wait_for(std::chrono::seconds(20)), std::future_status::ready)
      << "stop or close hangs";
  EXPECT_FALSE(driver.isOpen());
}

}  // namespace
}  // namespace host
