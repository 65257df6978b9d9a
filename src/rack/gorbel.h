#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "dsp/automated_effect.h"
#include "dsp/biquad_filter.h"
#include "rack/amp_simulator.h"
#include "rack/noise_gate.h"
#include "tuner/chromatic_tuner.h"
#include "tuner/tuner_reading.h"

namespace rack {

// The guitar rack: a mono input through tuner tap, gate, wah, stomp delay, chorus, flanger and
// the amp section, then an output section (equaliser, trim and level, stereo split, plate
// reverb, echo). Audio runs in blocks of exactly 64 frames with 64 frames of latency, whatever
// the caller's buffer length. It is driven by 64 integer rack parameters.
//
// Threads: process() runs on the audio thread. setParameter(), setBypassFlags() and getMeter()
// may be called from any other thread at any time: parameter values are atomic words, and the
// audio thread applies the ones that changed at the start of the next block, so a stage never
// sees a half-made change. A switch turned off and on again before that block still restarts
// the stage the off edge restarts (overdrive, plate reverb, wah). setFormat() and reset() are
// for when audio is stopped.
//
// The input must be finite (the processor sees to it). Should a block still leave the chain
// not finite, it is replaced by silence and every stage is cleared, so the rack recovers by
// itself; silencedBlocks() counts these blocks.
class Gorbel {
 public:
  static constexpr int kBlock = 64;
  static constexpr int kParameterCount = 64;
  // The input queue holds 4096 samples and may start a call with 64 queued.
  static constexpr int kMaxFramesPerPiece = 4032;

  Gorbel(float sampleRate, int channels);
  virtual ~Gorbel();
  Gorbel(const Gorbel&) = delete;
  Gorbel& operator=(const Gorbel&) = delete;

  virtual void setFormat(float sampleRate, int channels, int blockSize);
  // outputs: `channels` buffers; inputs: the first buffer is read. Any frame count; calls
  // longer than kMaxFramesPerPiece are cut into pieces.
  void process(float* const* outputs, const float* const* inputs, int frames,
               pseudoutils::SharedTunerReading& reading);
  // Ids 0..63; values are not range-limited (id 54 carries a pitch in hertz).
  double setParameter(int id, int value);
  int parameter(int id) const;
  void reset();
  // 0: input peak in dB since the last read (floor -60 dB); 1: the gate's gain; else 0.
  double getMeter(int index);
  // Three words: stomp section, amp section and output section bypass.
  void setBypassFlags(const int* flags);

  float sampleRate() const { return sampleRate_; }
  int channels() const { return channels_; }
  // 64-frame blocks processed since construction.
  uint64_t blocksProcessed() const { return blocks_.load(std::memory_order_relaxed); }
  // Blocks replaced by silence because they came out not finite, since construction.
  uint64_t silencedBlocks() const { return silenced_.load(std::memory_order_relaxed); }
  const AmpSimulator& amp() const { return *amp_; }

 private:
  void processPiece(float* const* outputs, const float* input, int frames,
                    pseudoutils::SharedTunerReading& reading);
  void processBlock(float* block, pseudoutils::SharedTunerReading& reading);
  void tunerTap(const float* block, pseudoutils::SharedTunerReading& reading);
  void recover();
  void applyPendingParameters();
  void applyParameter(int id, int value);
  void wahControl(int mode, float position);
  void designBand(int band, float gain, float frequency, float width);
  float fraction(int id) const { return static_cast<float>(applied_[id]) / 128.0f; }
  void sendController(dsp::TAutomatedEffect& effect, int controller, int value);

  // Shared with the control side.
  std::atomic<int> intParams_[kParameterCount] = {};
  std::atomic<uint64_t> changed_{0};      // one bit per parameter id waiting to be applied
  std::atomic<uint64_t> switchedOff_{0};  // one bit per switch set off since the last block
  std::atomic<float> inputPeak_{0.001f};
  std::atomic<int> preBypass_{0}, ampBypass_{0}, postBypass_{0};
  std::atomic<uint64_t> blocks_{0};
  std::atomic<uint64_t> silenced_{0};

  // Audio side.
  int applied_[kParameterCount] = {};
  std::unique_ptr<AmpSimulator> amp_;
  std::unique_ptr<dsp::TAutomatedEffect> stompEcho_, chorus_, flanger_, reverb_, echo_, wah_;
  NoiseGate gate_;
  dsp::BiquadFilter eqBands_[3];
  pseudoutils::Owned<pseudoutils::IChromaticTuner> tuner_;
  int channels_ = 2;
  float sampleRate_ = 44100.0f;
  int inputFill_ = kBlock;
  int pending_ = 0;
  alignas(16) float inputFifo_[4096] = {};
  alignas(16) float tail_[2][kBlock] = {};
  alignas(16) float workA_[2 * kBlock] = {};
  alignas(16) float workB_[2 * kBlock] = {};
  float trimGain_ = 1.0f;
  float outputGain_ = 1.0f;
  bool tunerOn_ = false;
  bool tunerMute_ = false;
  bool wahOn_ = false;
};

}  // namespace rack
