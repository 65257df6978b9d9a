// The device layer's own cost per block, without a device: 16-bit frames in, routing and fan-out
// of the inputs, the owner's call (a copy), mix and clip of the outputs, 16-bit frames out; as
// the DirectSound back end does it for every half. "per_frame" is the cost of one stereo frame.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "host/mp_audio.h"
#include "host/mp_audio_direct_sound.h"
#include "host/mp_audio_driver.h"

namespace {

// The owner: the processor's place, passing input 1 to every output a little too loud, so the
// clip has work to do.
class PassThrough : public host::MPAudio {
 public:
  void process(float* const* inputs, int32_t inputCount, float* const* outputs, int32_t outputCount,
               int32_t frames) override {
    for (int32_t o = 0; o < outputCount; ++o) {
      for (int32_t i = 0; i < frames; ++i)
        outputs[o][i] = 1.5f * inputs[inputCount > 1 ? 1 : 0][i];
    }
  }
};

// A back end with no device: one half through the layer per call.
class HalfDriver : public host::MPAudioDriver {
 public:
  void half(const uint8_t* captured, uint8_t* played) {
    const auto& in = inputChannels();
    const auto& out = outputChannels();
    host::MPAudioDirectSound::framesToFloats(captured, bufferSize_, in[0].buffer, nullptr);
    runBlock();
    host::MPAudioDirectSound::floatsToFrames(out[0].buffer, out[1].buffer, bufferSize_, played);
  }

 protected:
  bool openDevices() override { return true; }
  void closeDevices() override {}
  bool startStreaming() override { return true; }
  void stopStreaming() override {}
  void enumerate() override {}
};

void BM_DeviceLayerHalf(benchmark::State& state) {
  const auto frames = static_cast<int32_t>(state.range(0));
  PassThrough owner;
  HalfDriver driver;
  driver.setOwner(&owner);
  // Both logical inputs on the left device channel (a fan-out); three outputs, two of them
  // mixed on the right device channel.
  host::AudioDeviceConfig config;
  config.inputDevice = config.outputDevice = 0;
  config.bufferSize = frames;
  config.inputChannels[0] = {true, 0};
  config.inputChannels[1] = {true, 0};
  config.outputChannels[0] = {true, 0};
  config.outputChannels[1] = {true, 1};
  config.outputChannels[2] = {true, 1};
  if (!driver.openConfig(config)) {
    state.SkipWithError("open failed");
    return;
  }
  std::vector<uint8_t> captured(static_cast<size_t>(frames) * 4), played(captured.size());
  for (size_t i = 0; i < captured.size(); ++i)
    captured[i] = static_cast<uint8_t>(i * 37);
  for (auto _ : state) {
    driver.half(captured.data(), played.data());
    benchmark::DoNotOptimize(played.data());
  }
  state.counters["per_frame"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * frames,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_DeviceLayerHalf)->Arg(64)->Arg(128)->Arg(512);

}  // namespace
