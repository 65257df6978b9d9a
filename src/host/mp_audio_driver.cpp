#include "host/mp_audio_driver.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace host {
namespace {

constexpr int32_t kRates[] = {22050, 44100, 48000, 88200, 96000};
constexpr int kBufferSizeSteps = 10;  // 128 << 0 ... 128 << 9
constexpr int32_t kSmallestBufferSize = 128;

int32_t deviceIndex(MPAudioInterface& driver, const char* name, bool isInput) {
  if (!name) return kNoDevice;
  int32_t index = -1;
  return driver.findDevice(name, isInput, index) ? index : kFirstDevice;
}

}  // namespace

MPAudioDriver::MPAudioDriver() = default;

// A back end closes its devices in its own destructor: closeDevices() is gone by now.
MPAudioDriver::~MPAudioDriver() = default;

bool MPAudioDriver::openByNames(const char* inputName, const char* outputName, int32_t bufferSize,
                                int32_t input1, int32_t input2, int32_t outputLeft,
                                int32_t outputRight, int32_t sampleRate) {
  return open(deviceIndex(*this, inputName, true), deviceIndex(*this, outputName, false),
              bufferSize, input1, input2, outputLeft, outputRight, sampleRate);
}

bool MPAudioDriver::open(int32_t inputDevice, int32_t outputDevice, int32_t bufferSize,
                         int32_t input1, int32_t input2, int32_t outputLeft, int32_t outputRight,
                         int32_t sampleRate) {
  AudioDeviceConfig config;
  config.inputDevice = inputDevice;
  config.outputDevice = outputDevice;
  config.bufferSize = bufferSize;
  config.sampleRate = sampleRate;
  const auto slot = [](int32_t channel) { return AudioChannelSlot{channel != -1, channel}; };
  config.inputChannels[0] = slot(input1);
  config.inputChannels[1] = slot(input2);
  config.outputChannels[0] = slot(outputLeft);
  config.outputChannels[1] = slot(outputRight);
  return openConfig(config);
}

bool MPAudioDriver::openConfigByNames(const char* inputName, const char* outputName,
                                      AudioDeviceConfig config) {
  config.inputDevice = deviceIndex(*this, inputName, true);
  config.outputDevice = deviceIndex(*this, outputName, false);
  return openConfig(config);
}

bool MPAudioDriver::openConfig(const AudioDeviceConfig& config) {
  if (isOpen_) return false;
  // Checked before a back end sizes its buffers from it.
  if (config.bufferSize < 0 || config.bufferSize > kMaxBufferSize) return false;
  config_ = config;
  bufferSize_ = config.bufferSize;
  samplePosition_.store(0, std::memory_order_relaxed);
  enumerateDevices(false);
  buildRouting(config_.inputChannels, config_.inputChannelCount, inputs_, logicalInputs_,
               inputsShared_);
  buildRouting(config_.outputChannels, config_.outputChannelCount, outputs_, logicalOutputs_,
               outputsShared_);
  if (!openDevices()) {
    freeBuffers();
    return false;
  }
  if (bufferSize_ <= 0 || bufferSize_ > kMaxBufferSize || !allocateBuffers()) {
    closeDevices();
    freeBuffers();
    return false;
  }
  isOpen_ = true;
  return true;
}

void MPAudioDriver::buildRouting(const std::array<AudioChannelSlot, kMaxLogicalChannels>& slots,
                                 int32_t configuredCount, std::vector<DeviceChannel>& records,
                                 std::vector<float*>& logical, bool& shared) {
  records.clear();
  shared = false;
  int32_t count = std::clamp(configuredCount, 0, kMaxLogicalChannels);
  for (int32_t i = 0; i < kMaxLogicalChannels; ++i) {
    const AudioChannelSlot& slot = slots[i];
    // A negative channel number names no channel of any device.
    if (!slot.enabled || slot.deviceChannel < 0) continue;
    auto same = std::find_if(records.begin(), records.end(), [&](const DeviceChannel& r) {
      return r.deviceChannel == slot.deviceChannel;
    });
    if (same != records.end()) {
      same->extraLogical.push_back(i);
      shared = true;
    } else {
      records.push_back({slot.deviceChannel, i, {}, nullptr});
    }
    count = std::max(count, i + 1);
  }
  logical.assign(static_cast<size_t>(count), nullptr);
}

bool MPAudioDriver::allocateBuffers() {
  const auto buffer = [this]() -> float* {
    storage_.emplace_back(new (std::nothrow) float[static_cast<size_t>(bufferSize_)]());
    return storage_.back().get();
  };
  try {
    for (auto* logical : {&logicalInputs_, &logicalOutputs_}) {
      for (float*& channel : *logical) {
        channel = buffer();
        if (!channel) return false;
      }
    }
    for (DeviceChannel& record : inputs_)
      record.buffer = logicalInputs_[record.firstLogical];
    for (DeviceChannel& record : outputs_) {
      // A device channel carrying several logical outputs gets their sum in a buffer of its own.
      record.buffer = record.extraLogical.empty() ? logicalOutputs_[record.firstLogical] : buffer();
      if (!record.buffer) return false;
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

// The routing goes with the buffers it points into; the next open builds both again.
void MPAudioDriver::freeBuffers() {
  inputs_.clear();
  outputs_.clear();
  logicalInputs_.clear();
  logicalOutputs_.clear();
  storage_.clear();
}

void MPAudioDriver::close() {
  if (!isOpen_) return;
  stop();
  closeDevices();
  freeBuffers();
  isOpen_ = false;
}

bool MPAudioDriver::start() {
  if (isOpen_ && !isRunning_) isRunning_ = startStreaming();
  return isRunning_;
}

void MPAudioDriver::stop() {
  if (!isRunning_) return;
  stopStreaming();
  isRunning_ = false;
}

void MPAudioDriver::runBlock() {
  const size_t bytes = sizeof(float) * static_cast<size_t>(bufferSize_);
  for (const DeviceChannel& record : inputs_) {
    for (int32_t extra : record.extraLogical)
      std::memcpy(logicalInputs_[extra], record.buffer, bytes);
  }

  if (owner_) {
    owner_->process(logicalInputs_.data(), logicalInputCount(), logicalOutputs_.data(),
                    logicalOutputCount(), bufferSize_);
  }
  samplePosition_.fetch_add(bufferSize_, std::memory_order_relaxed);

  for (const DeviceChannel& record : outputs_) {
    float* out = record.buffer;
    const float* first = logicalOutputs_[record.firstLogical];
    if (out != first) std::memcpy(out, first, bytes);
    for (int32_t extra : record.extraLogical) {
      const float* add = logicalOutputs_[extra];
      for (int32_t i = 0; i < bufferSize_; ++i)
        out[i] += add[i];
    }
    for (int32_t i = 0; i < bufferSize_; ++i) {
      float v = out[i] > 1.0f ? 1.0f : out[i];
      v = v < -1.0f ? -1.0f : v;
      // NaN passes both comparisons; a device gets silence for it, never an undefined sample.
      out[i] = v == v ? v : 0.0f;
    }
  }
}

void MPAudioDriver::enumerateDevices(bool force) {
  if (devicesEnumerated_ && !force) return;
  enumerate();
  devicesEnumerated_ = true;
}

const AudioDeviceList& MPAudioDriver::getOutputDevices() {
  return outputDevices_;
}

const AudioDeviceList& MPAudioDriver::getInputDevices() {
  return inputDevices_;
}

bool MPAudioDriver::findDevice(const char* name, bool isInput, int32_t& index) {
  index = -1;
  if (!name) return false;
  enumerateDevices(false);
  const AudioDeviceList& list = isInput ? inputDevices_ : outputDevices_;
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i].name == name) {
      index = static_cast<int32_t>(i);
      return true;
    }
  }
  return false;
}

bool MPAudioDriver::getCapabilities(int32_t device, bool isInput, AudioCapabilities& caps) {
  (void)device, (void)isInput;
  caps.bufferSizes.clear();
  for (int i = 0; i < kBufferSizeSteps; ++i)
    caps.bufferSizes.push_back(kSmallestBufferSize << i);
  caps.channelNames = {"Left", "Right"};
  caps.sampleRates.assign(std::begin(kRates), std::end(kRates));
  caps.hasControlPanel = false;
  return true;
}

bool MPAudioDriver::showControlPanel(int32_t device, bool isInput) {
  (void)device, (void)isInput;
  return false;
}

}  // namespace host
