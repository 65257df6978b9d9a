#include "rack/amp_simulator.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <thread>

#include "dsp/effect_catalogue.h"
#include "dsp/library.h"
#include "rack/preamp_models.h"

namespace rack {
namespace {

constexpr uint32_t kTremoloNumber = 1205;
constexpr uint8_t kTremoloDepthController = 30;
constexpr uint8_t kTremoloSpeedController = 31;

struct PowerModel {
  float inputDb, outputDb, attack, release;
  int clipType;
  float a, b, c, d;
};

constexpr PowerModel kPowerModels[] = {
    {-3.0f, 1.0f, 0.04f, 0.1f, 7, 1.0f, -1.0f, 0.9f, -0.8f},
    {6.0f, 0.0f, 0.02f, 0.03f, 7, 0.7f, -0.7f, 0.6f, -0.65f},
    {3.0f, 0.0f, 0.05f, 0.1f, 8, 1.0f, -1.0f, 0.4f, -0.35f},
    {10.0f, 0.0f, 0.015f, 0.04f, 8, 0.7f, -0.7f, 0.25f, -0.2f},
};

void copy(float* to, const float* from, int frames) {
  std::copy_n(from, frames, to);
}

void scale(float* buffer, int frames, float gain) {
  for (int i = 0; i < frames; ++i)
    buffer[i] *= gain;
}

}  // namespace

AmpSimulator::AmpSimulator() : tremolo_(dsp::createEffect(kTremoloNumber, 0)) {
  odClipper_.setFormat(2);
  preampClipper_.setFormat(2);
  powerClipper_.setFormat(2);
  setFormat(1, 44100);
  setCabinetOptions(0, 0, 0);
  setCabinetModel(2);
  setTremolo(0.0f, 0.0f);
  setOverdriveOn(0);
  setDrive(0.5f);
  setOverdriveToneLevel(0.5f, 0.5f);
  setPreamp(preampModel_, 0.2f, 0, 0.8f);
  setToneStack(toneStackModel(), 0.5f, 0.5f, 0.5f, 0.0f);
}

void AmpSimulator::setFormat(int channels, int sampleRate) {
  sampleRate_ = static_cast<float>(sampleRate);
  tremolo_->setFormat(channels, sampleRate);
  for (dsp::BiquadFilter* f :
       {&odPreFilter_, &odPostFilter_, &voicing1_, &voicing2_, &voicing3_, &presenceFilter_}) {
    f->setFormat(channels, sampleRate);
  }
  for (Clipper* c : {&odClipper_, &preampClipper_, &powerClipper_})
    c->setFormat(channels);
  toneStack_.setSampleRate(sampleRate_);
  sag_.setFormat(channels, sampleRate);
  springReverb_.setFormat(channels, sampleRate);
  cabinet_.setFormat(sampleRate);
  // Back to the built-in models, redesigned at the new rate; the owner re-sends the rest.
  setDrive(drive_);
  setOverdriveToneLevel(overdriveTone_, overdriveLevel_);
  setPreampModel(0);
  setToneStackModel(3);
  setPowerStageModel(0);
  setCabinetModel(2);
}

void AmpSimulator::reset() {
  if (overdriveOn_) {
    odPreFilter_.reset();
    odPostFilter_.reset();
  }
  clearStages();
  presenceFilter_.reset();
  toneStack_.reset();
  initialized_ = true;
}

void AmpSimulator::recover() {
  odPreFilter_.reset();
  odPostFilter_.reset();
  clearStages();
  if (!toneStackBusy_.test_and_set(std::memory_order_acquire)) {
    toneStack_.reset();
    presenceFilter_.reset();
    toneStackBusy_.clear(std::memory_order_release);
  }
}

// Every stage but the overdrive filters and the tone stack with its presence filter.
void AmpSimulator::clearStages() {
  std::fill(std::begin(scratchA_), std::end(scratchA_), 0.0f);
  std::fill(std::begin(scratchB_), std::end(scratchB_), 0.0f);
  cabinet_.reset();
  tremolo_->reset();
  for (dsp::BiquadFilter* f : {&voicing1_, &voicing2_, &voicing3_})
    f->reset();
  sag_.reset();
  springReverb_.reset();
}

int AmpSimulator::process(float* destination, const float* source, int frames) {
  assert(frames >= 0 && frames <= kMaxFrames);
  float* a = scratchA_;
  float* b = scratchB_;

  copy(b, source, frames);
  dsp::library::addDenormalNoise(b, frames);
  if (stompBypass_) {
    copy(a, b, frames);
  } else {
    dsp::library::addDenormalNoise(b, frames);
    if (tremoloDepth_ != 0.0f) {
      tremolo_->process(a, b, frames);
    } else {
      copy(a, b, frames);
    }
    if (overdriveOn_) {
      odPreFilter_.processBlock(b, a, frames);
      odClipper_.process(b, frames);
      odPostFilter_.processBlock(a, b, frames);
    }
  }
  if (ampBypass_) {
    copy(destination, a, frames);
    return frames;
  }

  dsp::BiquadFilter* const voicing[] = {&voicing1_, &voicing2_, &voicing3_};
  dsp::BiquadFilter::processCascade(voicing, 3, b, a, frames);
  if (toneStackFirst_) runToneStack(a, b, frames);
  scale(b, frames, preampGain_);
  preampClipper_.process(b, frames);
  if (!toneStackFirst_) runToneStack(a, b, frames);

  // The spring reverb always runs so its tail is continuous when the send comes up.
  springReverb_.process(a, b, frames);
  for (int i = 0; i < frames; ++i)
    b[i] += a[i] * reverbSend_;
  scale(b, frames, volumeGain_);

  sag_.process(a, b, frames);
  powerClipper_.process(a, frames);
  cabinet_.process(destination, a, frames);
  return frames;
}

// Tone stack and presence, from and back into b. Skipped for this block when another thread
// holds the stage for a recompute: the audio thread never waits.
void AmpSimulator::runToneStack(float* a, float* b, int frames) {
  if (toneStackBusy_.test_and_set(std::memory_order_acquire)) return;
  toneStack_.process(a, b, frames);
  presenceFilter_.processBlock(b, a, frames);
  toneStackBusy_.clear(std::memory_order_release);
}

void AmpSimulator::setPreampModel(int model) {
  if (!configurePreampClipper(model, preampClipper_)) {
    // A model this amp does not have only drops the half volume law.
    halfVolumeLaw_ = false;
    updateVolumeGain();
    return;
  }
  preampModel_ = model;
  setPreamp(model, gain_, preampSwitch_, volume_);
}

void AmpSimulator::setPreamp(int model, float gain, int preampSwitch, float volume) {
  gain_ = gain;
  preampSwitch_ = preampSwitch;
  volume_ = volume;
  PreampVoice voice;
  if (designPreamp(model, gain, volume, voicing1_, voicing2_, voicing3_, voice)) {
    preampGain_ = voice.gain;
    toneStackFirst_ = voice.toneStackFirst;
    halfVolumeLaw_ = voice.halfVolumeLaw;
  } else {
    halfVolumeLaw_ = false;
  }
  updateVolumeGain();
}

// Master volume: -32 dB to -8 dB, or -20 dB to -8 dB for models whose circuit already holds
// the volume control.
void AmpSimulator::updateVolumeGain() {
  float db = volume_ * 24.0f - 24.0f;
  if (halfVolumeLaw_) db /= 2.0f;
  db -= 8.0f;
  volumeGain_ = std::pow(10.0f, db / 20.0f);
}

void AmpSimulator::setToneStackModel(int model) {
  holdToneStack();
  applyToneStack(model, low_, mid_, high_, presence_);
  releaseToneStack();
}

void AmpSimulator::setToneStack(int model, float low, float mid, float high, float presence) {
  holdToneStack();
  applyToneStack(model, low, mid, high, presence);
  releaseToneStack();
}

// Waits while the audio thread is inside the tone stack, then keeps it out until released.
void AmpSimulator::holdToneStack() {
  while (toneStackBusy_.test_and_set(std::memory_order_acquire))
    std::this_thread::yield();
}

void AmpSimulator::releaseToneStack() {
  toneStackBusy_.clear(std::memory_order_release);
}

void AmpSimulator::applyToneStack(int model, float low, float mid, float high, float presence) {
  if (!toneStack_.setModel(model)) return;
  toneStackModel_.store(model, std::memory_order_relaxed);
  low_ = low;
  mid_ = mid;
  high_ = high;
  presence_ = presence;
  toneStack_.setKnobs(low, mid, high);
  // A peak of 0 to +9.9 dB at 2.8 kHz, Q 0.3.
  const float p = std::pow(10.0f, presence * 10.0f / 20.0f);
  presenceFilter_.setAnalog(1.0f, p * 3.3333333f * 17592.92f, 309510816.0f, 1.0f, 58643.066f,
                            309510816.0f);
}

void AmpSimulator::setPowerStageModel(int model) {
  if (model < 0 || model >= static_cast<int>(std::size(kPowerModels))) return;
  powerStageModel_ = model;
  const PowerModel& m = kPowerModels[model];
  sag_.setInputGainDb(m.inputDb);
  sag_.setOutputGainDb(m.outputDb);
  sag_.setAttackTime(m.attack);
  sag_.setReleaseTime(m.release);
  powerClipper_.configure(m.clipType, m.a, m.b, m.c, m.d);
}

void AmpSimulator::setCabinetModel(int model) {
  cabinet_.setModel(model, cabinetOptions_[0], cabinetOptions_[1], cabinetOptions_[2]);
}

void AmpSimulator::setCabinetOptions(int option1, int option2, int option3) {
  cabinetOptions_[0] = option1;
  cabinetOptions_[1] = option2;
  cabinetOptions_[2] = option3;
}

void AmpSimulator::setTremolo(float speed, float depth) {
  tremolo_->processEvent(dsp::EffectEvent::controller(
      kTremoloSpeedController, static_cast<uint8_t>(static_cast<int>(speed * 127.0f))));
  tremolo_->processEvent(dsp::EffectEvent::controller(
      kTremoloDepthController, static_cast<uint8_t>(static_cast<int>(depth * 127.0f))));
  tremoloDepth_ = depth;
}

void AmpSimulator::setOverdriveOn(int on) {
  // Switching off forgets the filters' state, so switching on again starts from silence.
  if (overdriveOn_ && initialized_ && on == 0) {
    odPreFilter_.reset();
    odPostFilter_.reset();
  }
  overdriveOn_ = on;
}

// A second-order high-pass near 120 Hz whose gain rises from 1 to about 19 with the drive.
void AmpSimulator::setDrive(float drive) {
  drive_ = drive;
  const float g = 1.0f + drive * 100000.0f / ((1.0f - drive) * 100000.0f + 4700.0f);
  odPreFilter_.setAnalog(g, 0.0f, 0.0f, 1.0f, 1130.94f, 568455.6875f);
  odClipper_.configure(8, 1.0f, -1.0f, 0.4f, -0.4f);
}

// Zeros at 100 Hz and 2 kHz; the tone knob moves two poles from 300 Hz up to about 3 kHz,
// with the level trimmed by 9 dB x tone^2 to keep the loudness.
void AmpSimulator::setOverdriveToneLevel(float tone, float level) {
  overdriveTone_ = tone;
  overdriveLevel_ = level;
  const float t = tone * tone;
  const float db = level * 30.0f - 15.0f - 9.0f * t;
  const float a = std::pow(10.0f, db / 20.0f);
  const float twoPi300 = 2.0f * 3.1415927f * 300.0f;
  const float w1 = twoPi300 * std::pow(9.0f, t);
  const float w2 = twoPi300 * std::pow(10.0f, t);
  const float g = a * w1 * w2 / 1e9f;
  const float d = 0.0078956839f;
  odPostFilter_.setAnalog(g, g * 13194.689f, g * 7895683.5f, d, d * (w1 + w2), d * w1 * w2);
}

void AmpSimulator::setSpringReverb(float amount) {
  reverbSend_ = amount == 0.0f ? 0.0f : 0.9f * std::pow(10.0f, 1.5f * amount - 2.0f);
}

void AmpSimulator::setBypassFlags(int stompBypass, int ampBypass) {
  stompBypass_ = stompBypass;
  ampBypass_ = ampBypass;
}

}  // namespace rack
