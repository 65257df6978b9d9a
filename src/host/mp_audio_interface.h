#pragma once

#include <cstdint>

#include "host/audio_device_config.h"

namespace host {

// The audio device interface: open, close, start, stop, device lists, capabilities, and the
// block callback a device calls once per block on its streaming thread. Open, start, stop and
// close belong to the user-interface thread; stop returns only after the streaming thread has
// finished its current block.
class MPAudioInterface {
 public:
  virtual ~MPAudioInterface() = default;

  // A null name gives kNoDevice, a name not in the list kFirstDevice; a channel of -1 leaves
  // its slot disabled.
  virtual bool openByNames(const char* inputName, const char* outputName, int32_t bufferSize,
                           int32_t input1, int32_t input2, int32_t outputLeft,
                           int32_t outputRight, int32_t sampleRate) = 0;
  virtual bool open(int32_t inputDevice, int32_t outputDevice, int32_t bufferSize,
                    int32_t input1, int32_t input2, int32_t outputLeft, int32_t outputRight,
                    int32_t sampleRate) = 0;
  virtual bool openConfig(const AudioDeviceConfig& config) = 0;
  virtual bool openConfigByNames(const char* inputName, const char* outputName,
                                 AudioDeviceConfig config) = 0;
  virtual void close() = 0;
  virtual bool start() = 0;
  virtual void stop() = 0;
  virtual bool isRunning() const = 0;
  virtual bool isOpen() const = 0;
  virtual int64_t getSamplePosition() const = 0;
  virtual int32_t getBufferSize() const = 0;
  virtual void enumerateDevices(bool force) = 0;
  virtual const AudioDeviceList& getOutputDevices() = 0;
  virtual const AudioDeviceList& getInputDevices() = 0;
  // Exact, case-sensitive; index of the first match, or -1 and false.
  virtual bool findDevice(const char* name, bool isInput, int32_t& index) = 0;
  virtual bool getCapabilities(int32_t device, bool isInput, AudioCapabilities& caps) = 0;
  virtual bool hasControlPanel() = 0;
  virtual bool showControlPanel(int32_t device, bool isInput) = 0;
  // The device asked to be closed and opened again (its block size or rate changed) and no
  // longer streams until then.
  virtual bool resetRequested() const { return false; }
  // The block callback: logical channel buffers of `frames` floats.
  virtual void process(float* const* inputs, int32_t inputCount, float* const* outputs,
                       int32_t outputCount, int32_t frames) {
    (void)inputs, (void)inputCount, (void)outputs, (void)outputCount, (void)frames;
  }
};

}  // namespace host
