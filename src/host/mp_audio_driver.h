#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "host/mp_audio_interface.h"

namespace host {

// The common base of the audio back ends: the open configuration, channel routing, the
// per-block buffers, fan-out of shared inputs, and the mix and clip of the outputs.
//
// A back end implements the five device operations below. On its streaming thread it fills the
// input device-channel buffers with `bufferSize()` float frames, calls runBlock(), then converts
// the output device-channel buffers (mixed and clipped to [-1, 1]) to the device's format.
class MPAudioDriver : public MPAudioInterface {
 public:
  // One distinct device channel used by a direction, and the logical channels on it.
  struct DeviceChannel {
    int32_t deviceChannel = 0;
    int32_t firstLogical = 0;
    std::vector<int32_t> extraLogical;
    float* buffer = nullptr;  // bufferSize() frames
  };

  MPAudioDriver();
  ~MPAudioDriver() override;

  bool openByNames(const char* inputName, const char* outputName, int32_t bufferSize,
                   int32_t input1, int32_t input2, int32_t outputLeft, int32_t outputRight,
                   int32_t sampleRate) override;
  bool open(int32_t inputDevice, int32_t outputDevice, int32_t bufferSize, int32_t input1,
            int32_t input2, int32_t outputLeft, int32_t outputRight,
            int32_t sampleRate) override;
  bool openConfig(const AudioDeviceConfig& config) override;
  bool openConfigByNames(const char* inputName, const char* outputName,
                         AudioDeviceConfig config) override;
  void close() override;
  bool start() override;
  void stop() override;
  bool isRunning() const override { return isRunning_; }
  bool isOpen() const override { return isOpen_; }
  int64_t getSamplePosition() const override {
    return samplePosition_.load(std::memory_order_relaxed);
  }
  int32_t getBufferSize() const override { return bufferSize_; }
  void enumerateDevices(bool force) override;
  const AudioDeviceList& getOutputDevices() override;
  const AudioDeviceList& getInputDevices() override;
  bool findDevice(const char* name, bool isInput, int32_t& index) override;
  // The base answer: 128 to 65536 frames, "Left"/"Right", 22050 to 96000 Hz, no panel.
  bool getCapabilities(int32_t device, bool isInput, AudioCapabilities& caps) override;
  bool hasControlPanel() override { return false; }
  bool showControlPanel(int32_t device, bool isInput) override;

  void setOwner(MPAudioInterface* owner) { owner_ = owner; }

  const AudioDeviceConfig& config() const { return config_; }
  const std::vector<DeviceChannel>& inputChannels() const { return inputs_; }
  const std::vector<DeviceChannel>& outputChannels() const { return outputs_; }
  int32_t logicalInputCount() const { return static_cast<int32_t>(logicalInputs_.size()); }
  int32_t logicalOutputCount() const { return static_cast<int32_t>(logicalOutputs_.size()); }

 protected:
  // The back end's device operations. openDevices may change bufferSize_ (a driver's own size).
  virtual bool openDevices() = 0;
  virtual void closeDevices() = 0;
  virtual bool startStreaming() = 0;
  virtual void stopStreaming() = 0;
  virtual void enumerate() = 0;

  // One block on the streaming thread: fan-out, owner's process, position, mix and clip.
  void runBlock();

  AudioDeviceConfig config_;
  int32_t bufferSize_ = 0;
  AudioDeviceList inputDevices_;
  AudioDeviceList outputDevices_;

 private:
  void buildRouting(const std::array<AudioChannelSlot, kMaxLogicalChannels>& slots,
                    int32_t configuredCount, std::vector<DeviceChannel>& records,
                    std::vector<float*>& logical, bool& shared);
  bool allocateBuffers();
  void freeBuffers();

  bool isOpen_ = false;
  bool isRunning_ = false;
  bool devicesEnumerated_ = false;
  bool inputsShared_ = false;
  bool outputsShared_ = false;
  std::vector<DeviceChannel> inputs_;
  std::vector<DeviceChannel> outputs_;
  std::vector<float*> logicalInputs_;
  std::vector<float*> logicalOutputs_;
  std::vector<std::unique_ptr<float[]>> storage_;
  std::atomic<int64_t> samplePosition_{0};
  MPAudioInterface* owner_ = nullptr;
};

}  // namespace host
