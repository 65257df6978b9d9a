#include "host/mp_audio_asio.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string_view>
#include <thread>

#include "framework/settings_folder.h"
#include "platform/asio_registry.h"

namespace host {

using namespace platform;

namespace {

// Generic drivers of other systems that only wrap the ordinary sound devices.
constexpr std::string_view kGenericDrivers[] = {"ASIO DirectX Full Duplex Driver",
                                                "ASIO Multimedia Driver"};

constexpr int32_t kSampleRates[] = {11025, 22050, 32000, 44100, 48000, 64000, 72000, 88200, 96000};

// A switch-free stretch this long means the driver thread has left its last block.
constexpr auto kQuietTime = std::chrono::milliseconds(500);
constexpr auto kLongestStop = std::chrono::seconds(10);
constexpr auto kStopPoll = std::chrono::milliseconds(2);

// Integer layouts: bytes per sample and full scale. The 32-bit containers (24-27) hold 16, 18,
// 20 or 24 significant bits in their low bits and are scaled by those.
struct IntegerLayout {
  size_t bytes;
  double fullScale;
};

bool integerLayout(int32_t type, IntegerLayout& layout) {
  switch (type) {
    case kInt16Lsb:
      layout = {2, 32767.0};
      return true;
    case kInt24Lsb:
      layout = {3, 8388607.0};
      return true;
    case kInt32Lsb:
      layout = {4, 2147483647.0};
      return true;
    case kInt32Lsb16:
      layout = {4, 32767.0};
      return true;
    case kInt32Lsb18:
      layout = {4, 131071.0};
      return true;
    case kInt32Lsb20:
      layout = {4, 524287.0};
      return true;
    case kInt32Lsb24:
      layout = {4, 8388607.0};
      return true;
    default:
      return false;
  }
}

// Bytes per sample of the types that are not converted, so that their output is silence.
size_t unconvertedBytes(int32_t type) {
  switch (type) {
    case kInt16Msb:
      return 2;
    case kInt24Msb:
      return 3;
    case kFloat64Msb:
    case kFloat64Lsb:
      return 8;
    case kInt32Msb:
    case kFloat32Msb:
    case kInt32Msb16:
    case kInt32Msb18:
    case kInt32Msb20:
    case kInt32Msb24:
      return 4;
    default:
      return 0;
  }
}

// Little-endian, sign-extended from the top byte.
int32_t readInteger(const uint8_t* p, size_t bytes) {
  uint32_t bits = 0;
  for (size_t i = 0; i < bytes; ++i)
    bits |= static_cast<uint32_t>(p[i]) << (8 * (4 - bytes + i));
  return static_cast<int32_t>(bits) >> (8 * (4 - bytes));
}

void writeInteger(uint8_t* p, size_t bytes, int32_t value) {
  for (size_t i = 0; i < bytes; ++i)
    p[i] = static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i));
}

// The device layer has clipped outputs already; NaN is the one value left that would not fit
// an integer, and it is sent as silence.
double limited(float sample) {
  if (sample >= 1.0f) return 1.0;
  if (sample <= -1.0f) return -1.0;
  return sample > -1.0f ? sample : 0.0;
}

}  // namespace

std::atomic<MPAudioAsio*> MPAudioAsio::current_{nullptr};

MPAudioAsio::MPAudioAsio()
    : drivers_(AsioRegistry::loadStandard(
          framework::SettingsFolder::file(AsioRegistry::kUserFileName))) {}

MPAudioAsio::~MPAudioAsio() {
  // The base destructor can no longer reach this back end's device operations.
  close();
}

void MPAudioAsio::convertInput(int32_t type, const void* in, float* out, int32_t frames) {
  const auto* bytes = static_cast<const uint8_t*>(in);
  IntegerLayout layout{};
  if (type == kFloat32Lsb) {
    std::memcpy(out, in, sizeof(float) * static_cast<size_t>(frames));
  } else if (integerLayout(type, layout)) {
    for (int32_t i = 0; i < frames; ++i) {
      out[i] = static_cast<float>(readInteger(bytes + i * layout.bytes, layout.bytes) /
                                  layout.fullScale);
    }
  }
}

void MPAudioAsio::convertOutput(int32_t type, const float* in, void* out, int32_t frames) {
  auto* bytes = static_cast<uint8_t*>(out);
  IntegerLayout layout{};
  if (type == kFloat32Lsb) {
    std::memcpy(out, in, sizeof(float) * static_cast<size_t>(frames));
  } else if (integerLayout(type, layout)) {
    for (int32_t i = 0; i < frames; ++i) {
      writeInteger(bytes + i * layout.bytes, layout.bytes,
                   static_cast<int32_t>(limited(in[i]) * layout.fullScale));
    }
  } else {
    std::memset(out, 0, unconvertedBytes(type) * static_cast<size_t>(frames));
  }
}

void MPAudioAsio::enumerate() {
  inputDevices_.clear();
  outputDevices_.clear();
  recordDrivers_.clear();
  for (int32_t id = 0; id < drivers_.count(); ++id) {
    char name[AsioDriverList::kMaxNameLength + 1];
    if (drivers_.getName(id, name, sizeof name) != kAsioOk) continue;
    if (std::find(std::begin(kGenericDrivers), std::end(kGenericDrivers), name) !=
        std::end(kGenericDrivers)) {
      continue;
    }
    AudioDeviceRecord record;
    record.name = name;
    record.id = std::to_string(id);
    inputDevices_.push_back(record);
    outputDevices_.push_back(record);
    recordDrivers_.push_back(id);
  }
}

int32_t MPAudioAsio::driverOf(int32_t device) const {
  if (device < 0 || device >= static_cast<int32_t>(recordDrivers_.size())) return -1;
  return recordDrivers_[static_cast<size_t>(device)];
}

bool MPAudioAsio::openDevices() {
  int32_t device = config_.outputDevice;
  if (device == kFirstDevice) device = 0;
  const int32_t id = driverOf(device);
  if (id < 0) return false;
  MPAudioAsio* none = nullptr;
  if (!current_.compare_exchange_strong(none, this)) return false;

  bufferInfos_ = {};
  sampleTypes_ = {};
  inputBuffers_ = outputBuffers_ = 0;
  callbacks_ = {&onBufferSwitch, &onSampleRateChanged, &onMessage, &onBufferSwitchTimeInfo};
  resetRequested_.store(false, std::memory_order_relaxed);
  std::strcpy(errorMessage_, "No ASIO Driver");

  if (drivers_.open(id, &driver_) != kAsioOk) {
    driver_ = nullptr;
    current_.store(nullptr);
    return false;
  }
  driverId_ = id;
  device_ = device;
  if (!driver_->init(nullptr)) {
    driver_->getErrorMessage(errorMessage_);
    errorMessage_[sizeof errorMessage_ - 1] = '\0';
    unloadDriver();
    return false;
  }
  std::strcpy(errorMessage_, "No ASIO Driver Error");

  int32_t minimum = 0, maximum = 0, preferred = 0, granularity = 0;
  const bool ready =
      driver_->getChannels(&driverInputs_, &driverOutputs_) == kAsioOk &&
      driver_->getBufferSize(&minimum, &maximum, &preferred, &granularity) == kAsioOk &&
      preferred > 0 && driver_->setSampleRate(config_.sampleRate) == kAsioOk;
  if (!ready) {
    unloadDriver();
    return false;
  }
  postOutput_ = driver_->outputReady() == kAsioOk;
  stopping_.store(false, std::memory_order_relaxed);
  // The driver's own size is used whatever was asked for.
  bufferSize_ = preferred;
  if (!createBuffers()) {
    unloadDriver();
    return false;
  }
  return true;
}

bool MPAudioAsio::createBuffers() {
  const auto& inputs = inputChannels();
  const auto& outputs = outputChannels();
  inputBuffers_ =
      std::min({driverInputs_, kMaxBuffersPerDirection, static_cast<int32_t>(inputs.size())});
  outputBuffers_ =
      std::min({driverOutputs_, kMaxBuffersPerDirection, static_cast<int32_t>(outputs.size())});
  const int32_t count = inputBuffers_ + outputBuffers_;
  for (int32_t i = 0; i < count; ++i) {
    const bool isInput = i < inputBuffers_;
    const auto& record =
        isInput ? inputs[static_cast<size_t>(i)] : outputs[static_cast<size_t>(i - inputBuffers_)];
    // Channel numbers come from the settings file: one the driver does not have fails the open.
    if (record.deviceChannel < 0 ||
        record.deviceChannel >= (isInput ? driverInputs_ : driverOutputs_)) {
      return false;
    }
    bufferInfos_[static_cast<size_t>(i)] = {isInput ? 1 : 0, record.deviceChannel, {}};
  }
  if (driver_->createBuffers(bufferInfos_.data(), count, bufferSize_, &callbacks_) != kAsioOk) {
    return false;
  }
  buffersCreated_ = true;
  for (int32_t i = 0; i < count; ++i) {
    AsioChannelInfo info;
    info.channel = bufferInfos_[static_cast<size_t>(i)].channelNumber;
    info.isInput = bufferInfos_[static_cast<size_t>(i)].isInput;
    if (driver_->getChannelInfo(&info) != kAsioOk) return false;
    sampleTypes_[static_cast<size_t>(i)] = info.type;
  }
  return driver_->getLatencies(&inputLatency_, &outputLatency_) == kAsioOk;
}

void MPAudioAsio::unloadDriver() {
  if (driver_) {
    if (buffersCreated_) driver_->disposeBuffers();
    drivers_.close(driverId_);
  }
  driver_ = nullptr;
  driverId_ = device_ = -1;
  inputBuffers_ = outputBuffers_ = 0;
  buffersCreated_ = false;
  MPAudioAsio* self = this;
  current_.compare_exchange_strong(self, nullptr);
}

void MPAudioAsio::closeDevices() {
  unloadDriver();
}

bool MPAudioAsio::startStreaming() {
  stopping_.store(false, std::memory_order_relaxed);
  return driver_ && driver_->start() == kAsioOk;
}

void MPAudioAsio::stopStreaming() {
  stopping_.store(true, std::memory_order_relaxed);
  if (driver_) driver_->stop();
  using Clock = std::chrono::steady_clock;
  const auto begin = Clock::now();
  auto lastSwitch = begin;
  uint32_t seen = switchCount_.load(std::memory_order_relaxed);
  for (auto now = begin; now - lastSwitch < kQuietTime && now - begin < kLongestStop;
       now = Clock::now()) {
    std::this_thread::sleep_for(kStopPoll);
    const uint32_t count = switchCount_.load(std::memory_order_relaxed);
    if (count != seen) {
      seen = count;
      lastSwitch = Clock::now();
    }
  }
}

void MPAudioAsio::bufferSwitch(int32_t half) {
  switchCount_.fetch_add(1, std::memory_order_relaxed);
  if (stopping_.load(std::memory_order_relaxed) || (half != 0 && half != 1)) return;
  const auto& inputs = inputChannels();
  for (int32_t i = 0; i < inputBuffers_; ++i) {
    const AsioBufferInfo& info = bufferInfos_[static_cast<size_t>(i)];
    convertInput(sampleTypes_[static_cast<size_t>(i)], info.buffers[half],
                 inputs[static_cast<size_t>(i)].buffer, bufferSize_);
  }
  runBlock();
  const auto& outputs = outputChannels();
  for (int32_t j = 0; j < outputBuffers_; ++j) {
    const size_t slot = static_cast<size_t>(inputBuffers_ + j);
    convertOutput(sampleTypes_[slot], outputs[static_cast<size_t>(j)].buffer,
                  bufferInfos_[slot].buffers[half], bufferSize_);
  }
  if (postOutput_) driver_->outputReady();
}

int32_t MPAudioAsio::message(int32_t selector, int32_t value) {
  switch (selector) {
    case kSelectorSupported:
      return (value == kResetRequest || value == kEngineVersion || value == kResyncRequest) ? 1 : 0;
    case kEngineVersion:
      return 2;  // the version of the host side of the interface
    case kResetRequest:
      // Streaming stops here; the host sees the request and reopens the driver.
      stopping_.store(true, std::memory_order_relaxed);
      resetRequested_.store(true, std::memory_order_relaxed);
      return 1;
    case kResyncRequest:
    case kLatenciesChanged:
    case kSupportsTimeInfo:
      return 1;
    default:
      return 0;
  }
}

void MPAudioAsio::onBufferSwitch(int32_t half, int32_t) {
  if (MPAudioAsio* self = current_.load(std::memory_order_relaxed)) self->bufferSwitch(half);
}

void MPAudioAsio::onSampleRateChanged(double) {}

int32_t MPAudioAsio::onMessage(int32_t selector, int32_t value, void*, double*) {
  MPAudioAsio* self = current_.load(std::memory_order_relaxed);
  return self ? self->message(selector, value) : 0;
}

AsioTimeInfo* MPAudioAsio::onBufferSwitchTimeInfo(AsioTimeInfo*, int32_t half, int32_t) {
  onBufferSwitch(half, 1);
  return nullptr;
}

bool MPAudioAsio::withDriver(int32_t device, const std::function<bool(AsioDriver&)>& query) {
  if (driver_) return device == device_ && query(*driver_);
  const int32_t id = driverOf(device);
  AsioDriver* driver = nullptr;
  if (id < 0 || drivers_.open(id, &driver) != kAsioOk) return false;
  const bool answered = driver->init(nullptr) && query(*driver);
  drivers_.close(id);
  return answered;
}

bool MPAudioAsio::getCapabilities(int32_t device, bool isInput, AudioCapabilities& caps) {
  caps = {};
  return withDriver(device, [&](AsioDriver& driver) {
    int32_t inputs = 0, outputs = 0, minimum = 0, maximum = 0, preferred = 0, granularity = 0;
    if (driver.getChannels(&inputs, &outputs) != kAsioOk ||
        driver.getBufferSize(&minimum, &maximum, &preferred, &granularity) != kAsioOk) {
      return false;
    }
    caps.bufferSizes = {preferred};
    for (int32_t channel = 0; channel < (isInput ? inputs : outputs); ++channel) {
      AsioChannelInfo info;
      info.channel = channel;
      info.isInput = isInput ? 1 : 0;
      if (driver.getChannelInfo(&info) != kAsioOk) return false;
      info.name[sizeof info.name - 1] = '\0';
      caps.channelNames.emplace_back(info.name);
    }
    for (const int32_t rate : kSampleRates) {
      if (driver.canSampleRate(rate) == kAsioOk) caps.sampleRates.push_back(rate);
    }
    caps.hasControlPanel = true;
    return true;
  });
}

bool MPAudioAsio::showControlPanel(int32_t device, bool) {
  return withDriver(device, [](AsioDriver& driver) { return driver.controlPanel() == kAsioOk; });
}

}  // namespace host
