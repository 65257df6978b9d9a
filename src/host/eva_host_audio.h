#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "host/eva_mp_audio.h"
#include "host/eva_mp_midi.h"
#include "host/hardware_settings.h"

namespace plugin {
class evaProcessor;
class MidiHandler;
}  // namespace plugin

namespace host {

// The host's side of live audio: the hardware settings, the device they name, and the hand-over
// of every block to the processor's processReplacing through its plug-in record.
//
// create(), start(), stop() and destroy() belong to the user-interface thread; processBlock()
// runs on the device's streaming thread. The MIDI input joins these steps beside the audio
// device; its messages go to the MIDI handler on the MIDI back end's thread.
class evaHostAudio {
 public:
  enum class State {
    kStopped,
    kNoTechnology,  // no technology selected, or none of its driver
    kNoSampleRate,  // "SelectedFrequencies" is not a rate
    kOpenFailed,
    kStartFailed,
    kRunning,
  };

  // What start() did, for the user.
  struct Status {
    State state = State::kStopped;
    std::string technology;
    std::string inputDevice;   // empty: no capture
    std::string outputDevice;  // empty: no playback
    float sampleRate = 0.0f;
    int32_t blockSize = 0;
    // The blocks a sample waits in the device layer: one playback block, and in full duplex
    // the capture block ahead of it.
    double latencyMs = 0.0;
  };

  // The processor outlives this object. Its record's input count decides stereoInput.
  evaHostAudio(plugin::evaProcessor& processor, std::string settingsFolder);
  ~evaHostAudio();
  evaHostAudio(const evaHostAudio&) = delete;
  evaHostAudio& operator=(const evaHostAudio&) = delete;

  HardwareSettings& settings() { return settings_; }
  const HardwareSettings& settings() const { return settings_; }

  // Makes the audio object of the settings' technology and the MIDI object, and lists their
  // devices; the settings' sample rate becomes the process-wide rate.
  void create();
  // Opens the devices of the settings at their rate and block size and starts streaming, then
  // the MIDI input "CurMidiInName" (none: the host runs without MIDI). A device already running
  // is stopped first: the processor's rate changes only while no block runs.
  State start();
  void stop();
  // The host loop's check for a driver that asked to be reset: the device is closed and opened
  // again at what the driver offers now (its block size; its rate when the settings' rate is no
  // longer offered). True when there was a request; status() tells whether it runs again.
  bool serviceReset();
  void destroy();
  Status status() const;

  // The streaming thread's block: the processor gets input 1 only when it takes two inputs.
  void processBlock(float* in0, float* in1, float* out0, float* out1, int32_t frames);

  bool stereoInput() const { return stereoInput_.load(std::memory_order_relaxed); }
  void setStereoInput(bool stereo) { stereoInput_.store(stereo, std::memory_order_relaxed); }
  int32_t bufferFrames() const { return bufferFrames_; }
  // Null until create().
  evaMPAudio* audio() const { return audio_.get(); }
  evaMPMidi* midi() const { return midi_.get(); }

  // Where MIDI messages go; null drops them. A handler is replaced or removed only while MIDI
  // is stopped, or it must outlive the host: a message may be on its way to it.
  void setMidiHandler(plugin::MidiHandler* handler) {
    midiHandler_.store(handler, std::memory_order_release);
  }
  // Thread: the MIDI back end's. Acquire: the handler is seen whole with its pointer.
  plugin::MidiHandler* midiHandler() const { return midiHandler_.load(std::memory_order_acquire); }

 private:
  plugin::evaProcessor& processor_;
  HardwareSettings settings_;
  std::unique_ptr<evaMPAudio> audio_;
  std::unique_ptr<evaMPMidi> midi_;
  std::atomic<plugin::MidiHandler*> midiHandler_{nullptr};
  int32_t bufferFrames_ = 0;
  float sampleRate_ = 0.0f;
  State state_ = State::kStopped;
  std::atomic<bool> stereoInput_;
};

}  // namespace host
