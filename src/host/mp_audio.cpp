#include "host/mp_audio.h"

#include <cstring>

#include "host/mp_audio_asio.h"
#include "host/mp_audio_direct_sound.h"

namespace host {
namespace {

const AudioDeviceList kNoDevices;

struct Technology {
  const char* name;
  MPAudio::DriverFactory factory;
};

std::unique_ptr<MPAudioDriver> makeDirectSound() {
  return std::make_unique<MPAudioDirectSound>();
}

Technology gTechnologies[MPAudio::kTechnologyCount] = {
    {"DirectX", &makeDirectSound},
    {"Asio", [] { return std::unique_ptr<MPAudioDriver>(std::make_unique<MPAudioAsio>()); }},
};

bool inTable(int32_t index) {
  return index >= 0 && index < MPAudio::kTechnologyCount;
}

}  // namespace

MPAudio::MPAudio() = default;

MPAudio::~MPAudio() {
  releaseDriver();
}

bool MPAudio::getTechnologyName(int32_t index, std::string& name) {
  if (!inTable(index)) return false;
  name = gTechnologies[index].name;
  return true;
}

MPAudio::DriverFactory MPAudio::setDriverFactory(int32_t index, DriverFactory factory) {
  if (!inTable(index)) return nullptr;
  DriverFactory previous = gTechnologies[index].factory;
  gTechnologies[index].factory = factory;
  return previous;
}

void MPAudio::releaseDriver() {
  if (driver_) driver_->close();
  driver_.reset();
  technology_ = -1;
}

bool MPAudio::selectTechnology(int32_t index) {
  releaseDriver();
  if (inTable(index)) {
    technology_ = index;
    if (gTechnologies[index].factory) driver_ = gTechnologies[index].factory();
    if (driver_) driver_->setOwner(this);
  }
  return driver_ != nullptr;
}

bool MPAudio::selectTechnologyByName(const char* name) {
  int32_t index = -1;
  for (int32_t i = 0; name && i < kTechnologyCount && index < 0; ++i) {
    if (std::strcmp(name, gTechnologies[i].name) == 0) index = i;
  }
  return selectTechnology(index);
}

bool MPAudio::openByNames(const char* inputName, const char* outputName, int32_t bufferSize,
                          int32_t input1, int32_t input2, int32_t outputLeft, int32_t outputRight,
                          int32_t sampleRate) {
  return driver_ && driver_->openByNames(inputName, outputName, bufferSize, input1, input2,
                                         outputLeft, outputRight, sampleRate);
}

bool MPAudio::open(int32_t inputDevice, int32_t outputDevice, int32_t bufferSize, int32_t input1,
                   int32_t input2, int32_t outputLeft, int32_t outputRight, int32_t sampleRate) {
  return driver_ && driver_->open(inputDevice, outputDevice, bufferSize, input1, input2, outputLeft,
                                  outputRight, sampleRate);
}

bool MPAudio::openConfig(const AudioDeviceConfig& config) {
  return driver_ && driver_->openConfig(config);
}

bool MPAudio::openConfigByNames(const char* inputName, const char* outputName,
                                AudioDeviceConfig config) {
  return driver_ && driver_->openConfigByNames(inputName, outputName, config);
}

void MPAudio::close() {
  if (driver_) driver_->close();
}

bool MPAudio::start() {
  return driver_ && driver_->start();
}

void MPAudio::stop() {
  if (driver_) driver_->stop();
}

bool MPAudio::isRunning() const {
  return driver_ && driver_->isRunning();
}

bool MPAudio::isOpen() const {
  return driver_ && driver_->isOpen();
}

int64_t MPAudio::getSamplePosition() const {
  return driver_ ? driver_->getSamplePosition() : 0;
}

int32_t MPAudio::getBufferSize() const {
  return driver_ ? driver_->getBufferSize() : 0;
}

void MPAudio::enumerateDevices(bool force) {
  if (driver_) driver_->enumerateDevices(force);
}

const AudioDeviceList& MPAudio::getOutputDevices() {
  return driver_ ? driver_->getOutputDevices() : kNoDevices;
}

const AudioDeviceList& MPAudio::getInputDevices() {
  return driver_ ? driver_->getInputDevices() : kNoDevices;
}

bool MPAudio::findDevice(const char* name, bool isInput, int32_t& index) {
  index = -1;
  return driver_ && driver_->findDevice(name, isInput, index);
}

bool MPAudio::getCapabilities(int32_t device, bool isInput, AudioCapabilities& caps) {
  if (driver_) return driver_->getCapabilities(device, isInput, caps);
  caps = AudioCapabilities{};
  return false;
}

bool MPAudio::hasControlPanel() {
  return driver_ && driver_->hasControlPanel();
}

bool MPAudio::showControlPanel(int32_t device, bool isInput) {
  return driver_ && driver_->showControlPanel(device, isInput);
}

bool MPAudio::resetRequested() const {
  return driver_ && driver_->resetRequested();
}

}  // namespace host
