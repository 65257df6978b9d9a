#include "host/eva_host_audio.h"

#include <algorithm>
#include <utility>

#include "plugin/eva_processor.h"
#include "plugin/sample_rate.h"

namespace host {
namespace {

// The name a back end gives the device an open selected: -2 and an index beyond the list both
// mean the first device, which is the system's default.
std::string deviceName(const AudioDeviceList& list, int32_t device) {
  if (device == kNoDevice || list.empty()) return {};
  if (device >= 0 && device < static_cast<int32_t>(list.size())) return list[device].name;
  return list.front().name;
}

}  // namespace

evaHostAudio::evaHostAudio(plugin::evaProcessor& processor, std::string settingsFolder)
    : processor_(processor),
      settings_(std::move(settingsFolder)),
      stereoInput_(processor.getAeffect()->numInputs == 2) {}

evaHostAudio::~evaHostAudio() {
  destroy();
}

void evaHostAudio::create() {
  destroy();
  audio_ = std::make_unique<evaMPAudio>();
  audio_->selectTechnologyByName(settings_.audioTechnology.c_str());
  audio_->setHost(this);
  audio_->enumerateDevices(false);
  midi_ = std::make_unique<evaMPMidi>(this);
  midi_->enumerateDevices(false);
  if (const float rate = settings_.sampleRate(); rate > 0.0f) plugin::setProcessSampleRate(rate);
}

evaHostAudio::State evaHostAudio::start() {
  stop();
  const int32_t blockSize = settings_.bufferSize();
  sampleRate_ = settings_.sampleRate();
  // A rate of 0 would rebuild every filter of the rack at 0 Hz: the rack keeps its rate.
  if (sampleRate_ > 0.0f) {
    plugin::setProcessSampleRate(sampleRate_);
    processor_.setDspSampleRate(static_cast<int32_t>(sampleRate_));
  }
  processor_.applyAllParameters();

  if (!audio_ || !audio_->driver()) {
    state_ = State::kNoTechnology;
  } else if (sampleRate_ <= 0.0f) {
    state_ = State::kNoSampleRate;
  } else if (!audio_->openByNames(
                 settings_.curInDeviceName.c_str(), settings_.curOuDeviceName.c_str(), blockSize,
                 settings_.curInChannelIndex, -1, settings_.curOuChannelLeftIndex,
                 settings_.curOuChannelRightIndex, static_cast<int32_t>(sampleRate_))) {
    state_ = State::kOpenFailed;
  } else {
    bufferFrames_ = audio_->getBufferSize();
    // The settings show the size really used.
    settings_.selectedBufSize = std::to_string(bufferFrames_);
    state_ = audio_->start() ? State::kRunning : State::kStartFailed;
  }
  if (midi_) midi_->openByNames(settings_.curMidiInName.c_str(), nullptr);
  return state_;
}

void evaHostAudio::stop() {
  if (audio_) {
    audio_->stop();
    audio_->close();
  }
  if (midi_) midi_->close();
  state_ = State::kStopped;
}

bool evaHostAudio::serviceReset() {
  if (!audio_ || !audio_->resetRequested()) return false;
  stop();
  int32_t device = 0;
  audio_->findDevice(settings_.curOuDeviceName.c_str(), false, device);
  AudioCapabilities caps;
  const auto rate = static_cast<int32_t>(settings_.sampleRate());
  if (audio_->getCapabilities(std::max(device, 0), false, caps) && !caps.sampleRates.empty() &&
      std::find(caps.sampleRates.begin(), caps.sampleRates.end(), rate) == caps.sampleRates.end()) {
    settings_.selectedFrequencies = std::to_string(caps.sampleRates.front());
  }
  start();
  return true;
}

void evaHostAudio::destroy() {
  stop();
  audio_.reset();
  midi_.reset();
}

evaHostAudio::Status evaHostAudio::status() const {
  Status status;
  status.state = state_;
  if (audio_) MPAudio::getTechnologyName(audio_->technology(), status.technology);
  const MPAudioDriver* driver = audio_ ? audio_->driver() : nullptr;
  if (!driver || !driver->isOpen()) return status;

  const AudioDeviceConfig& config = driver->config();
  status.inputDevice = deviceName(audio_->getInputDevices(), config.inputDevice);
  status.outputDevice = deviceName(audio_->getOutputDevices(), config.outputDevice);
  status.sampleRate = sampleRate_;
  status.blockSize = bufferFrames_;
  const bool fullDuplex = !status.inputDevice.empty() && !status.outputDevice.empty();
  status.latencyMs = (fullDuplex ? 2.0 : 1.0) * bufferFrames_ * 1000.0 / sampleRate_;
  return status;
}

void evaHostAudio::processBlock(float* in0, float* in1, float* out0, float* out1, int32_t frames) {
  float* inputs[2] = {in0, stereoInput() ? in1 : nullptr};
  float* outputs[2] = {out0, out1};
  plugin::AEffect* effect = processor_.getAeffect();
  if (effect->processReplacing) effect->processReplacing(effect, inputs, outputs, frames);
}

}  // namespace host
