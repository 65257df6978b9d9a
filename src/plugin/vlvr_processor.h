#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>

#include "plugin/eva_processor.h"
#include "rack/vrmore.h"

namespace plugin {

// The product's processor: the 22 parameters of the descriptor table, 128 programs, and the
// audio frame that feeds host buffers of any length to the rack.
//
// Threads: processFrame (through process/processReplacing) runs on the audio thread;
// everything else on the control side. The rack is created by open() and destroyed by close(),
// which the host orders around the audio stream. The two counters may be read from any thread.
//
// Input samples that are not finite (NaN, infinities) enter the rack as silence: one would
// otherwise poison its filters and delays for the rest of the stream.
class vlvrProcessor : public evaProcessor {
 public:
  // The working buffers hold this many frames.
  static constexpr int32_t kWorkFrames = 8192;
  // The longest call the rack takes.
  static constexpr int32_t kMaxRackFrames = rack::Gorbel::kMaxFramesPerPiece;

  explicit vlvrProcessor(ProcessorEngine* engine = nullptr);
  ~vlvrProcessor() override;

  void process(float** inputs, float** outputs, int32_t frames) override;
  void processReplacing(float** inputs, float** outputs, int32_t frames) override;

  void parameterChanged(int32_t index, float plain) override;
  const char* getPlugVersion() override;
  const char* getSettingsVersion() override;
  void setupPlug() override;
  void createDsp() override;
  void destroyDsp() override;
  void initParameters() override;
  void setDspSampleRate(int32_t rate) override;

  // inputs: two channel pointers, the second may be null (mono input); outputs: two.
  // `accumulate` adds to the outputs instead of replacing them.
  virtual void processFrame(float* const* outputs, const float* const* inputs, int32_t frames,
                            bool accumulate);

  // Null while closed.
  rack::VRmore* rack() const { return rack_.get(); }

  // Since construction, whatever racks came and went: input samples (per channel) that were not
  // finite and went in as silence, and output blocks the rack replaced by silence because they
  // came out not finite.
  std::uint64_t nonFiniteInputSamples() const {
    return nonFiniteInputs_.load(std::memory_order_relaxed);
  }
  std::uint64_t silencedBlocks() const { return silencedBlocks_.load(std::memory_order_relaxed); }

  // The host buffer split: pieces of `length` frames, `count` of them, the last one longer by
  // `rest`.
  struct Split {
    int32_t length;
    int32_t count;
    int32_t rest;
  };
  static Split splitFrames(int32_t frames);
  // Calls piece(offset, frames) for every rack call a host buffer makes: the split above, each
  // piece then cut to what the rack and the working buffers take.
  template <class Piece>
  static void forEachPiece(int32_t frames, Piece&& piece);

 private:
  void processPiece(float* const* outputs, const float* const* inputs, int32_t offset,
                    int32_t frames, bool accumulate);
  void foldInputs(const float* in0, const float* in1, int32_t frames);
  void countSilencedBlocks();

  std::unique_ptr<rack::VRmore> rack_;
  std::unique_ptr<float[]> scratchOutputs_[2];
  std::unique_ptr<float[]> monoBuffer_;
  const float* rackInputs_[2] = {nullptr, nullptr};
  float* rackOutputs_[2] = {nullptr, nullptr};
  ProcessorEngine* plugEngine_ = nullptr;
  std::atomic<std::uint64_t> nonFiniteInputs_{0};
  std::atomic<std::uint64_t> silencedBlocks_{0};
  std::uint64_t rackSilenced_ = 0;  // the current rack's count already added (audio thread)
};

template <class Piece>
void vlvrProcessor::forEachPiece(int32_t frames, Piece&& piece) {
  static_assert(kMaxRackFrames <= kWorkFrames);
  const Split split = splitFrames(frames);
  int32_t offset = 0;
  for (int32_t p = 0; p < split.count; ++p) {
    const int32_t end = offset + split.length + (p == split.count - 1 ? split.rest : 0);
    while (offset < end) {
      const int32_t n = std::min(end - offset, kMaxRackFrames);
      piece(offset, n);
      offset += n;
    }
  }
}

}  // namespace plugin
