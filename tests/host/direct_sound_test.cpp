#include "host/mp_audio_direct_sound.h"

#include <alsa/asoundlib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <future>
#include <map>
#include <optional>
#include <thread>
#include <tuple>
#include <vector>

#include "host/mp_audio.h"
#include "host_test_support.h"
#include "platform/event_group.h"
#include "platform/pcm_loop_buffer.h"
#include "plugin/sample_rate.h"
#include "plugin/vlvr_processor.h"
#include "support/allocation_counter.h"
#include "support/jack/jack_fixture.h"

namespace host {
namespace {

using namespace std::chrono_literals;
using hosttest::eventually;
using testsupport::JackServer;
using testsupport::JackServerTest;

constexpr int32_t kRate = 48000;
constexpr int32_t kBlock = 512;
constexpr int kCounterPeriod = 32767;

// The test signal: device channel 0 counts frames, k / 32767 (a quarter step above, which the
// 16-bit truncation drops), so every frame that comes back says which frame it was; device
// channel 1 is full scale negative.
float counterSample(int64_t frame) {
  return (static_cast<float>(frame % kCounterPeriod) + 0.25f) / 32767.0f;
}

// The owner of the blocks: plays the test signal and keeps what came in, in storage made
// beforehand, on the streaming thread. Read only after stop().
class Recorder : public MPAudio {
 public:
  explicit Recorder(int64_t capacity) : in0_(capacity), in1_(capacity), processed_(capacity) {}

  // Runs `processor` over the inputs on the streaming thread and keeps its left output.
  void setProcessor(plugin::vlvrProcessor* processor) { processor_ = processor; }
  // Swaps the logical outputs, so the counter leaves on logical output 1.
  void setCounterOnOutput1(bool on) { counterOnOutput1_ = on; }

  void process(float* const* inputs, int32_t inputCount, float* const* outputs, int32_t outputCount,
               int32_t frames) override {
    const int32_t block = blocks_.load(std::memory_order_relaxed);
    if (block == 0) {
      thread_ = std::this_thread::get_id();
      allocations_.emplace();
    }
    oneThread_ = oneThread_ && thread_ == std::this_thread::get_id();
    frames_.store(frames, std::memory_order_relaxed);
    const int32_t counter = counterOnOutput1_ ? 1 : 0;
    for (int32_t i = 0; i < frames; ++i) {
      if (counter < outputCount) outputs[counter][i] = counterSample(position_ + i);
      if (1 - counter < outputCount) outputs[1 - counter][i] = -1.0f;
    }
    if (position_ + frames <= static_cast<int64_t>(in0_.size())) {
      if (inputCount > 0) std::copy(inputs[0], inputs[0] + frames, in0_.begin() + position_);
      if (inputCount > 1) std::copy(inputs[1], inputs[1] + frames, in1_.begin() + position_);
      if (processor_ && inputCount > 1) {
        float* in[2] = {inputs[0], inputs[1]};
        float* out[2] = {processed_.data() + position_, scratch_.data()};
        processor_->processReplacing(in, out, frames);
      }
      recorded_ = position_ + frames;
    } else if (allocations_) {
      blockAllocations_ = allocations_->count();
      allocations_.reset();
    }
    position_ += frames;
    blocks_.store(block + 1, std::memory_order_relaxed);
  }

  int32_t blocks() const { return blocks_.load(std::memory_order_relaxed); }
  bool full() const { return blocks() * int64_t{frames()} > static_cast<int64_t>(in0_.size()); }
  int32_t frames() const { return frames_.load(std::memory_order_relaxed); }
  bool oneThread() const { return oneThread_; }
  std::thread::id thread() const { return thread_; }
  std::optional<size_t> allocations() const { return blockAllocations_; }
  int64_t recorded() const { return recorded_; }
  const std::vector<float>& in0() const { return in0_; }
  const std::vector<float>& in1() const { return in1_; }
  const std::vector<float>& processed() const { return processed_; }

 private:
  std::vector<float> in0_;
  std::vector<float> in1_;
  std::vector<float> processed_;
  std::vector<float> scratch_ = std::vector<float>(65536);
  plugin::vlvrProcessor* processor_ = nullptr;
  bool counterOnOutput1_ = false;
  std::atomic<int32_t> blocks_{0};
  std::atomic<int32_t> frames_{0};
  int64_t position_ = 0;
  int64_t recorded_ = 0;
  std::thread::id thread_;
  bool oneThread_ = true;
  std::optional<testsupport::AllocationCounter> allocations_;
  std::optional<size_t> blockAllocations_;
};

// What came back on a channel that carried the counter.
struct CounterCheck {
  int64_t arrived = 0;   // frames that carried a counter value
  int64_t wrong = 0;     // frames that carried something else
  int64_t followed = 0;  // frames that carried the value after the one before them
  int64_t delay = -1;    // the most common distance between leaving and coming back
};

CounterCheck checkCounter(const std::vector<float>& channel, int64_t frames) {
  CounterCheck check;
  std::map<int64_t, int64_t> delays;
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
    ++delays[i - k];
  }
  int64_t most = 0;
  for (const auto& [delay, count] : delays) {
    if (count > most) std::tie(check.delay, most) = std::tie(delay, count);
  }
  return check;
}

// Streams until the recorder is full, then stops.
void stream(MPAudioDirectSound& driver, const Recorder& recorder) {
  ASSERT_TRUE(driver.start());
  EXPECT_TRUE(eventually([&] { return recorder.full(); }))
      << recorder.blocks() << " blocks, streaming " << driver.isStreaming() << ", lost "
      << driver.deviceLost() << ", " << driver.xrunCount() << " xruns";
  driver.stop();
}

TEST(DirectSoundConversion, SamplesTruncateTowardZeroOnAFullScaleOf32767) {
  const struct {
    float sample;
    int16_t expected;
  } cases[] = {{-1.0f, -32767},   {1.0f, 32767},  {0.5f, 16383}, {-0.5f, -16383},
               {0.99999f, 32766}, {-0.00003f, 0}, {2.0f, 32767}, {-7.0f, -32767}};
  for (const auto& c : cases)
    EXPECT_EQ(MPAudioDirectSound::toDeviceSample(c.sample), c.expected) << c.sample;

  const float left[] = {-1.0f, 0.25f};
  uint8_t frames[8];
  MPAudioDirectSound::floatsToFrames(left, nullptr, 2, frames);
  int16_t samples[4];
  std::memcpy(samples, frames, sizeof samples);
  EXPECT_EQ(samples[0], -32767);
  EXPECT_EQ(samples[1], 0);  // no right channel: silence
  EXPECT_EQ(samples[2], 8191);
  float back[2] = {9.0f, 9.0f};
  MPAudioDirectSound::framesToFloats(frames, 2, back, nullptr);
  EXPECT_EQ(back[0], -1.0f);
  EXPECT_EQ(back[1], static_cast<float>(8191 / 32767.0));
}

TEST(DirectSoundEvents, TheLowestSignalledEventIsTakenFirstAndOnlyOnce) {
  platform::EventGroup events(3);
  events.signal(2);
  events.signal(0);
  events.signal(0);
  EXPECT_EQ(events.wait(0ms), 0);
  EXPECT_EQ(events.wait(0ms), 2);
  EXPECT_EQ(events.wait(0ms), platform::EventGroup::kTimeout);
  events.signal(1);
  events.reset();
  EXPECT_EQ(events.wait(0ms), platform::EventGroup::kTimeout);
}

// Without a sound card the system's devices fail to open, and the driver stays usable.
TEST(DirectSoundWithoutCard, SystemDevicesFailCleanly) {
  int card = -1;
  if (snd_card_next(&card) == 0 && card >= 0) GTEST_SKIP() << "this machine has a sound card";
  platform::PcmLoopBuffer buffer(platform::PcmDirection::kPlayback);
  for (const char* name : {"hw:0", "default", "no_such_device"})
    EXPECT_FALSE(buffer.open(name, kRate, 4096)) << name;

  MPAudioDirectSound driver;
  Recorder recorder(kBlock);
  driver.setOwner(&recorder);
  for (const char* name : {"hw:0", "default"}) {
    EXPECT_FALSE(driver.openByNames(name, name, 0, 0, 1, 0, 1, kRate)) << name;
    EXPECT_FALSE(driver.isOpen());
    EXPECT_FALSE(driver.start());
  }
  driver.close();
}

class DirectSoundLoopback : public JackServerTest {
 protected:
  void SetUp() override {
    JackServerTest::SetUp();
    driver_.setOwner(&recorder_);
  }

  MPAudioDirectSound driver_;
  Recorder recorder_{kRate};  // one second
};

// The streaming tests that the ThreadSanitizer run picks by name.
using DirectSoundConcurrency = DirectSoundLoopback;

TEST_F(DirectSoundLoopback, TheLoopbackDeviceIsListedBothWays) {
  driver_.enumerateDevices(true);
  int32_t index = -1;
  ASSERT_TRUE(driver_.findDevice(JackServer::kLoopbackDeviceName, true, index));
  EXPECT_EQ(driver_.getInputDevices()[index].id, JackServer::kLoopbackPcm);
  EXPECT_EQ(driver_.getInputDevices()[index].channels, 2);
  ASSERT_TRUE(driver_.findDevice(JackServer::kLoopbackDeviceName, false, index));
  EXPECT_EQ(driver_.getOutputDevices()[index].id, JackServer::kLoopbackPcm);
  EXPECT_LE(driver_.getOutputDevices()[index].minRate, kRate);
  EXPECT_GE(driver_.getOutputDevices()[index].maxRate, kRate);
}

TEST_F(DirectSoundLoopback, BufferSizeZeroOpens512FrameHalves) {
  const char* loop = JackServer::kLoopbackDeviceName;
  ASSERT_TRUE(driver_.openByNames(loop, loop, 0, 0, 1, 0, 1, kRate));
  EXPECT_EQ(driver_.getBufferSize(), 512);
  EXPECT_EQ(driver_.bufferBytes(), 4096);
  EXPECT_EQ(driver_.halfBytes(), 2048);
  ASSERT_TRUE(driver_.start());
  EXPECT_TRUE(eventually([&] { return recorder_.blocks() >= 4; }));
  driver_.close();
  EXPECT_EQ(recorder_.frames(), 512);
  EXPECT_EQ(driver_.getSamplePosition(), int64_t{512} * recorder_.blocks());
  EXPECT_FALSE(driver_.isStreaming());
}

// One-way streams: one thread (not the caller's) runs the blocks; with no capture buffer the
// inputs stay silent.
TEST_F(DirectSoundLoopback, OneWayStreamsRunOnOneStreamingThread) {
  const char* loop = JackServer::kLoopbackDeviceName;
  const struct {
    const char *in, *out;
    int32_t block;
  } cases[] = {{nullptr, loop, kBlock}, {loop, nullptr, 256}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.block);
    MPAudioDirectSound driver;
    Recorder recorder(kRate);
    driver.setOwner(&recorder);
    ASSERT_TRUE(driver.openByNames(c.in, c.out, c.block, 0, 1, 0, 1, kRate));
    stream(driver, recorder);
    driver.close();
    EXPECT_EQ(recorder.frames(), c.block);
    EXPECT_TRUE(recorder.oneThread());
    EXPECT_NE(recorder.thread(), std::this_thread::get_id());
    EXPECT_GE(driver.getSamplePosition(), kRate);
    const auto& in = recorder.in0();
    EXPECT_TRUE(c.in || std::all_of(in.begin(), in.end(), [](float v) { return v == 0.0f; }));
  }
}

// Full duplex through the loopback, with the device channels each slot names: the counter comes
// back sample-exact on the input wired to the device channel it left on, -1.0 comes back as
// exactly -1.0 (it left as -32767), and nothing on the way allocates.
TEST_F(DirectSoundConcurrency, FullDuplexBringsTheSignalBackOnTheConfiguredChannels) {
  const struct {
    int32_t input1, input2, outputLeft, outputRight;
    bool counterOnOutput1;
    int counterInput;  // the logical input the counter returns on
  } cases[] = {
      {0, 1, 0, 1, false, 0},  // as wired
      {1, 0, 0, 1, false, 1},  // inputs crossed: the left samples arrive on input 2
      {0, 1, 1, 0, true, 0},   // outputs crossed: logical output 2 feeds the left channel
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "inputs " << c.input1 << "," << c.input2 << " outputs "
                                    << c.outputLeft << "," << c.outputRight);
    MPAudioDirectSound driver;
    Recorder recorder(kRate);
    recorder.setCounterOnOutput1(c.counterOnOutput1);
    driver.setOwner(&recorder);
    const char* loop = JackServer::kLoopbackDeviceName;
    ASSERT_TRUE(driver.openByNames(loop, loop, kBlock, c.input1, c.input2, c.outputLeft,
                                   c.outputRight, kRate));
    stream(driver, recorder);
    driver.close();

    const auto& counter = c.counterInput == 0 ? recorder.in0() : recorder.in1();
    const auto& full = c.counterInput == 0 ? recorder.in1() : recorder.in0();
    const CounterCheck check = checkCounter(counter, recorder.recorded());
    ASSERT_GT(check.arrived, kBlock) << "the signal did not come back";
    EXPECT_EQ(check.wrong, 0);
    // In order, but for what a busy machine costs: a period the server dropped or ran twice.
    EXPECT_GT(check.followed, check.arrived * 9 / 10);
    // The ring's first half is silent: the first block hears nothing.
    EXPECT_TRUE(
        std::all_of(counter.begin(), counter.begin() + kBlock, [](float v) { return v == 0.0f; }));
    const auto arrived = std::find_if(full.begin(), full.end(), [](float v) { return v != 0; });
    ASSERT_NE(arrived, full.end());
    EXPECT_TRUE(std::all_of(arrived, full.begin() + recorder.recorded(),
                            [](float v) { return v == -1.0f || v == 0.0f; }));
    EXPECT_EQ(*arrived, -1.0f);
    ASSERT_TRUE(recorder.allocations().has_value());
    EXPECT_EQ(*recorder.allocations(), 0u);
  }
}

// The processor run live on the streaming thread gives what it gives offline on the same
// samples; the round trip is recorded as a test property.
TEST_F(DirectSoundConcurrency, LiveProcessingMatchesAnOfflineRenderAndTheRoundTripIsReported) {
  plugin::setProcessSampleRate(static_cast<float>(kRate));
  plugin::vlvrProcessor live;
  live.initialize();
  live.open();
  recorder_.setProcessor(&live);
  const char* loop = JackServer::kLoopbackDeviceName;
  ASSERT_TRUE(driver_.openByNames(loop, loop, kBlock, 0, 1, 0, 1, kRate));
  stream(driver_, recorder_);
  driver_.close();
  live.close();

  plugin::vlvrProcessor offline;
  offline.initialize();
  offline.open();
  std::vector<float> in0 = recorder_.in0(), in1 = recorder_.in1();
  std::vector<float> out(static_cast<size_t>(recorder_.recorded())), scratch(kBlock);
  for (int64_t at = 0; at < recorder_.recorded(); at += kBlock) {
    float* in[2] = {in0.data() + at, in1.data() + at};
    float* outs[2] = {out.data() + at, scratch.data()};
    offline.processReplacing(in, outs, kBlock);
  }
  offline.close();
  EXPECT_TRUE(std::equal(out.begin(), out.end(), recorder_.processed().begin()));
  EXPECT_TRUE(std::any_of(out.begin(), out.end(), [](float v) { return v != 0.0f; }));

  const CounterCheck check = checkCounter(recorder_.in0(), recorder_.recorded());
  ASSERT_GE(check.delay, 0);
  RecordProperty("round_trip_frames", static_cast<int>(check.delay));
}

// A server that dies mid-stream ends streaming on its own; stop and close return.
TEST_F(DirectSoundConcurrency, AServerThatDiesEndsStreaming) {
  const char* loop = JackServer::kLoopbackDeviceName;
  ASSERT_TRUE(driver_.openByNames(loop, loop, kBlock, 0, 1, 0, 1, kRate));
  ASSERT_TRUE(driver_.start());
  ASSERT_TRUE(eventually([&] { return recorder_.blocks() >= 8; }));
  server_->kill();
  EXPECT_TRUE(eventually([&] { return !driver_.isStreaming(); }));
  EXPECT_TRUE(driver_.deviceLost());
  auto closing = std::async(std::launch::async, [&] {
    driver_.stop();
    driver_.close();
  });
  ASSERT_EQ(closing.wait_for(20s), std::future_status::ready) << "stop or close hangs";
  EXPECT_FALSE(driver_.isOpen());
}

}  // namespace
}  // namespace host
