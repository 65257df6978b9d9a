#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "dsp/effect_descriptor.h"

namespace dsp {

class TAutomatedEffect;

// Status an effect answers to an event or controller it does not handle.
inline constexpr uint32_t kNotHandled = 0x80000002u;

// Flag bits given to an effect at creation.
inline constexpr uint32_t kFlagObeyTempo = 1u << 0;
inline constexpr uint32_t kFlagModWheelDrivesFirst = 1u << 1;

// Receives an effect's parameter notifications (for a panel that follows the effect).
class EffectObserver {
 public:
  virtual ~EffectObserver() = default;
  virtual void parameterChanged(TAutomatedEffect* effect, uint32_t controller, int value,
                                float percent) = 0;
};

// Root of every object that takes events.
class TMIDIObject {
 public:
  virtual ~TMIDIObject() = default;
  virtual uint32_t processEvent(const EffectEvent& /*event*/) { return 0; }
  virtual uint32_t processEvents(const EffectEvent* /*events*/, int /*count*/) { return 0; }
};

// An effect whose parameters glide towards targets set by controller messages. Audio goes
// through process(), which advances the glides once per chunk of at most 128 frames and hands
// each chunk to the concrete class's processBlock(). process() and processEvent() share the
// effect's lock, so a controller never lands inside a chunk.
class TAutomatedEffect : public TMIDIObject {
 public:
  static constexpr int kMaxChunk = 128;

  TAutomatedEffect(EffectObserver* owner, const EffectDescriptor* descriptor, uint32_t flags);
  ~TAutomatedEffect() override = default;

  TAutomatedEffect(const TAutomatedEffect&) = delete;
  TAutomatedEffect& operator=(const TAutomatedEffect&) = delete;

  uint32_t processEvent(const EffectEvent& event) override;
  uint32_t processEvents(const EffectEvent* events, int count) override;

  // Interleaved frames in and out, out may equal in. Returns frames.
  int process(float* out, const float* in, int frames);

  virtual void setFormat(int channels, int sampleRate);
  virtual void setInputChannels(int channels);
  virtual void reset() {}
  // Declares the audio state stale so that the next reset() really clears it.
  virtual void invalidate() {}
  virtual float getMeter(int /*index*/) const { return 0.0f; }

  const EffectDescriptor* getDescriptor() const { return descriptor_; }

  float sampleRate() const { return sampleRate_; }
  float tempo() const { return tempo_; }
  int inputChannels() const { return inputChannels_; }
  int outputChannels() const { return outputChannels_; }
  int parameterCount() const { return parameterCount_; }
  uint32_t flags() const { return flags_; }
  // Index parameterCount() is the tempo record, whose values are samples per beat.
  const ParameterRecord& parameter(int index) const { return parameters_[index]; }

 protected:
  // Called once per chunk when any record (the tempo included) moved.
  virtual void parametersChanged() {}
  // Reacts to a new target of the parameter driven by `controller`, for what cannot wait
  // for the glide. By default it tells the owner and answers int(value x 100000), the value
  // in thousandths of a percent; kNotHandled for a controller the effect does not own.
  virtual uint32_t setParameter(uint32_t controller, float value);
  // At most kMaxChunk frames.
  virtual int processBlock(float* /*out*/, const float* /*in*/, int /*frames*/) { return 0; }

  float value(int index) const { return parameters_[index].current; }
  bool changed(int index) const { return parameters_[index].changed != 0; }
  float samplesPerBeat() const { return parameters_[parameterCount_].current; }
  // Marks every record changed; a format change calls this before parametersChanged().
  void markAllChanged();
  // Tells the owner, if any, about parameter `index`'s new normalised value.
  void notifyParameter(int index, float value);
  // The lock process() and processEvent() hold. A reset() that may run while another thread
  // processes takes it; it is already held inside parametersChanged() and processBlock().
  std::mutex& effectLock() { return lock_; }

 private:
  void advanceGlides(int frames);

  EffectObserver* owner_;
  const EffectDescriptor* descriptor_;
  float sampleRate_ = 44100.0f;
  float tempo_ = 120.0f;
  int outputChannels_ = 2;
  int inputChannels_ = 2;
  int parameterCount_ = 0;
  std::unique_ptr<ParameterRecord[]> parameters_;
  std::mutex lock_;
  uint32_t flags_;
};

}  // namespace dsp
