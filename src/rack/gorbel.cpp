#include "rack/gorbel.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "dsp/effect_catalogue.h"
#include "dsp/library.h"
#include "rack/finite_samples.h"

namespace rack {
namespace {

constexpr uint32_t kEcho = 1204, kChorus = 1211, kFlanger = 1210, kPlate = 1220, kWah = 1227;

// Rack parameter ids with a meaning of their own in the block engine or the table.
enum RackId {
  kPreampModel = 0,
  kToneStackModel = 1,
  kPowerModel = 2,
  kCabinetModel = 3,
  kWahMode = 4,
  kWahPosition = 5,
  kTremoloSpeed = 6,
  kTremoloDepth = 7,
  kGateLevel = 8,
  kOverdriveOn = 9,
  kDrive = 10,
  kOverdriveTone = 11,
  kOverdriveLevel = 12,
  kPreampGain = 13,
  kPreampSwitch = 14,
  kLow = 15,
  kMid = 16,
  kHigh = 17,
  kPresence = 18,
  kSpringReverb = 19,
  kVolume = 20,
  kCabinetOption1 = 21,
  kCabinetOption3 = 23,
  kEqBand0Gain = 24,
  kEqBand2Width = 32,
  kTrim = 33,
  kStompFeedback = 34,
  kStompTime = 35,
  kStompLevel = 36,
  kChorusDepth = 37,
  kChorusSpeed = 38,
  kChorusLevel = 39,
  kFlangerSpeed = 40,
  kFlangerDepth = 41,
  kFlangerFeedback = 42,
  kFlangerLevel = 43,
  kPlateTime = 44,
  kPlateDensity = 45,
  kPlateLevel = 46,
  kEchoMode = 47,
  kEchoFeedback = 48,
  kEchoSpeed = 49,
  kEchoLevel = 50,
  kOutputLevel = 51,
  kEqOn = 52,
  kTunerMode = 53,
  kTunerReference = 54,
};

// Defaults the rack gives itself at construction, ids 0 to 53.
constexpr int kDefaults[54] = {3,  0,  2,  5,  0,  0,  0,   0,  64, 0,  64, 64, 64, 64,
                               0,  64, 64, 64, 0,  0,  112, 0,  0,  0,  64, 64, 20, 64,
                               64, 20, 64, 64, 20, 64, 64,  64, 0,  64, 64, 0,  64, 64,
                               64, 0,  64, 64, 0,  0,  64,  64, 0,  64, 1,  0};

// -15 dB at 0, 0 dB at 64, +14.77 dB at 127.
float levelGain(float fraction) {
  return std::pow(10.0f, ((2.0f * fraction - 1.0f) * 15.0f) / 20.0f);
}

void copy(float* to, const float* from, int samples) {
  std::copy_n(from, samples, to);
}

constexpr uint64_t bit(int id) {
  return uint64_t{1} << id;
}

// The switches whose off-to-on edge restarts a stage, and what counts as off for each.
constexpr uint64_t kEdgeSwitches = bit(kOverdriveOn) | bit(kPlateLevel) | bit(kWahMode);

bool isOff(int id, int value) {
  return id == kWahMode ? value != 1 && value != 2 : value == 0;
}

}  // namespace

Gorbel::Gorbel(float sampleRate, int channels) {
  dsp::library::seedIfUnset(1);
  dsp::library::initialize();
  amp_ = std::make_unique<AmpSimulator>();
  stompEcho_ = dsp::createEffect(kEcho, 0);
  chorus_ = dsp::createEffect(kChorus, 0);
  flanger_ = dsp::createEffect(kFlanger, 0);
  reverb_ = dsp::createEffect(kPlate, 0);
  echo_ = dsp::createEffect(kEcho, 0);
  tuner_ = pseudoutils::createChromaticTuner(static_cast<int>(sampleRate));
  wah_ = dsp::createEffect(kWah, 0);

  channels_ = std::clamp(channels, 1, 2);
  setFormat(sampleRate, channels, -1);
  for (int band = 0; band < 3; ++band)
    designBand(band, 0.5f, 0.5f, 0.5f);
  for (int id = 0; id < 54; ++id)
    setParameter(id, kDefaults[id]);
  applyPendingParameters();
  wahControl(0, 0.0f);
}

Gorbel::~Gorbel() = default;

void Gorbel::setFormat(float sampleRate, int channels, int /*blockSize*/) {
  channels_ = std::clamp(channels, 1, 2);
  sampleRate_ = sampleRate;
  const int rate = static_cast<int>(sampleRate);
  amp_->setFormat(1, rate);
  for (auto* fx : {wah_.get(), stompEcho_.get(), chorus_.get(), flanger_.get()}) {
    fx->setFormat(1, rate);
  }
  reverb_->setFormat(2, rate);
  echo_->setFormat(2, rate);
  gate_.setFormat(1, rate);
  for (auto& band : eqBands_)
    band.setFormat(1, rate);
  // Fixed settings of the two echoes and the plate.
  sendController(*stompEcho_, 27, 0);
  sendController(*echo_, 27, 0);
  sendController(*stompEcho_, 112, 80);
  sendController(*echo_, 112, 72);
  sendController(*reverb_, 90, 64);
  sendController(*reverb_, 103, 0);
  if (tuner_) tuner_->setSampleRate(rate);
}

void Gorbel::reset() {
  amp_->reset();
  for (auto* fx :
       {wah_.get(), stompEcho_.get(), chorus_.get(), flanger_.get(), reverb_.get(), echo_.get()}) {
    fx->reset();
  }
  gate_.reset();
  for (auto& band : eqBands_)
    band.reset();
  inputPeak_.store(0.001f, std::memory_order_relaxed);
}

double Gorbel::setParameter(int id, int value) {
  if (id < 0 || id >= kParameterCount) return 0.0;
  intParams_[id].store(value, std::memory_order_relaxed);
  // Remembered until the next block, which then applies the off before a later on.
  if ((kEdgeSwitches & bit(id)) != 0 && isOff(id, value)) {
    switchedOff_.fetch_or(bit(id), std::memory_order_relaxed);
  }
  changed_.fetch_or(bit(id), std::memory_order_release);
  return 0.0;
}

int Gorbel::parameter(int id) const {
  return id >= 0 && id < kParameterCount ? intParams_[id].load(std::memory_order_relaxed) : 0;
}

double Gorbel::getMeter(int index) {
  if (index == 0) {
    const float peak = inputPeak_.exchange(0.001f, std::memory_order_relaxed);
    return 20.0 * std::log10(static_cast<double>(peak));
  }
  if (index == 1) return gate_.getGain();
  return 0.0;
}

void Gorbel::setBypassFlags(const int* flags) {
  preBypass_.store(flags[0], std::memory_order_relaxed);
  ampBypass_.store(flags[1], std::memory_order_relaxed);
  postBypass_.store(flags[2], std::memory_order_relaxed);
}

void Gorbel::sendController(dsp::TAutomatedEffect& effect, int controller, int value) {
  effect.processEvent(
      dsp::EffectEvent::controller(static_cast<uint8_t>(controller), static_cast<uint8_t>(value)));
}

void Gorbel::applyPendingParameters() {
  const uint64_t switchedOff = switchedOff_.exchange(0, std::memory_order_relaxed);
  uint64_t changed = changed_.exchange(0, std::memory_order_acquire) | switchedOff;
  while (changed) {
    const int id = std::countr_zero(changed);
    changed &= changed - 1;
    const int value = intParams_[id].load(std::memory_order_relaxed);
    // Off and on again since the last block: the off still restarts the stage.
    if ((switchedOff & bit(id)) != 0 && !isOff(id, value)) applyParameter(id, 0);
    applyParameter(id, value);
  }
}

void Gorbel::applyParameter(int id, int value) {
  // A plate reverb switched on starts from silence.
  if (id == kPlateLevel && applied_[id] == 0 && value >= 1) reverb_->reset();
  applied_[id] = value;
  const float f = fraction(id);
  AmpSimulator& amp = *amp_;
  switch (id) {
    case kPreampModel:
      amp.setPreampModel(value);
      break;
    case kToneStackModel:
      amp.setToneStackModel(value);
      break;
    case kPowerModel:
      amp.setPowerStageModel(value);
      break;
    case kCabinetModel:
      amp.setCabinetModel(value);
      break;
    case kWahMode:
    case kWahPosition:
      wahControl(applied_[kWahMode], fraction(kWahPosition));
      break;
    case kTremoloSpeed:
    case kTremoloDepth:
      amp.setTremolo(fraction(kTremoloSpeed), fraction(kTremoloDepth));
      break;
    case kGateLevel:
      // Below the first step the gate stays open for anything above 1e-10.
      gate_.setThresholdDb(f < 0.0001f ? -200.0f : f * 40.0f - 80.0f);
      break;
    case kOverdriveOn:
      amp.setOverdriveOn(value);
      break;
    case kDrive:
      amp.setDrive(f);
      break;
    case kOverdriveTone:
    case kOverdriveLevel:
      amp.setOverdriveToneLevel(fraction(kOverdriveTone), fraction(kOverdriveLevel));
      break;
    case kPreampGain:
    case kPreampSwitch:
    case kVolume:
      amp.setPreamp(amp.preampModel(), fraction(kPreampGain), applied_[kPreampSwitch],
                    fraction(kVolume));
      break;
    case kLow:
    case kMid:
    case kHigh:
    case kPresence:
      amp.setToneStack(amp.toneStackModel(), fraction(kLow), fraction(kMid), fraction(kHigh),
                       fraction(kPresence));
      break;
    case kSpringReverb:
      amp.setSpringReverb(f);
      break;
    case kCabinetOption1:
    case kCabinetOption1 + 1:
    case kCabinetOption3:
      amp.setCabinetOptions(applied_[kCabinetOption1], applied_[kCabinetOption1 + 1],
                            applied_[kCabinetOption3]);
      amp.setCabinetModel(amp.cabinetModel());
      break;
    case kTrim:
      trimGain_ = levelGain(f);
      break;
    case kStompFeedback:
      sendController(*stompEcho_, 28, value);
      break;
    case kStompTime:
      sendController(*stompEcho_, 29, value);
      break;
    case kStompLevel:
      sendController(*stompEcho_, 115, value);
      break;
    case kChorusDepth:
      sendController(*chorus_, 84, value);
      break;
    case kChorusSpeed:
      sendController(*chorus_, 85, value);
      break;
    case kChorusLevel:
      sendController(*chorus_, 86, value);
      break;
    case kFlangerSpeed:
      sendController(*flanger_, 81, value);
      break;
    case kFlangerDepth:
      sendController(*flanger_, 82, value);
      break;
    case kFlangerFeedback:
      sendController(*flanger_, 83, value);
      break;
    case kFlangerLevel:
      sendController(*flanger_, 106, value);
      break;
    case kPlateTime:
      sendController(*reverb_, 89, value);
      break;
    case kPlateDensity:
      sendController(*reverb_, 102, value);
      break;
    case kPlateLevel:
      sendController(*reverb_, 104, value);
      break;
    case kEchoMode:
      sendController(*echo_, 27, value);
      break;
    case kEchoFeedback:
      sendController(*echo_, 28, value);
      break;
    case kEchoSpeed:
      sendController(*echo_, 29, value);
      break;
    case kEchoLevel:
      sendController(*echo_, 115, value);
      break;
    case kOutputLevel:
      outputGain_ = levelGain(f);
      break;
    case kTunerMode:
      if (value >= 0 && value <= 2) {
        tunerOn_ = value >= 1;
        tunerMute_ = value == 2;
      }
      break;
    case kTunerReference:
      if (tuner_) tuner_->setReference(static_cast<float>(value));
      break;
    default:
      if (id >= kEqBand0Gain && id <= kEqBand2Width) {
        const int band = (id - kEqBand0Gain) / 3;
        const int first = kEqBand0Gain + 3 * band;
        designBand(band, fraction(first), fraction(first + 1), fraction(first + 2));
      }
      break;  // 52 (equaliser on) is read by the block engine; ids above 54 are only stored
  }
}

void Gorbel::wahControl(int mode, float position) {
  if (mode == 1 || mode == 2) {
    if (!wahOn_) wah_->reset();
    sendController(*wah_, 110, static_cast<int>(position * 127.0f));
    sendController(*wah_, 113, mode == 1 ? 0 : 127);
    wahOn_ = true;
  } else {
    wahOn_ = false;
  }
}

// A peaking band: gain +-18 dB, centre 50 Hz to 16.3 kHz, Q 0.2 to 8.
void Gorbel::designBand(int band, float gain, float frequency, float width) {
  const float db = (gain - 0.5f) * 36.0f;
  const float hz = 50.0f * std::pow(2.0f, frequency * 8.41f);
  const float w = std::tan(hz * 3.14f / sampleRate_) * sampleRate_ / 3.14f * 6.283f;
  const float q = 0.2f * std::pow(10.0f, width * 1.6f);
  const float r = 1.0f / q;
  const float a = std::pow(10.0f, db / 20.0f);
  eqBands_[band].setAnalog(1.0f, a * r * w, w * w, 1.0f, r * w, w * w);
}

void Gorbel::process(float* const* outputs, const float* const* inputs, int frames,
                     pseudoutils::SharedTunerReading& reading) {
  float* pieceOutputs[2];
  for (int done = 0; done < frames; done += kMaxFramesPerPiece) {
    const int n = std::min(kMaxFramesPerPiece, frames - done);
    for (int c = 0; c < channels_; ++c)
      pieceOutputs[c] = outputs[c] + done;
    processPiece(pieceOutputs, inputs[0] + done, n, reading);
  }
}

void Gorbel::processPiece(float* const* outputs, const float* input, int frames,
                          pseudoutils::SharedTunerReading& reading) {
  float peak = 0.0f;
  for (int i = 0; i < frames; ++i)
    peak = std::max(peak, std::fabs(input[i]));
  if (peak > inputPeak_.load(std::memory_order_relaxed)) {
    inputPeak_.store(peak, std::memory_order_relaxed);
  }

  copy(inputFifo_ + inputFill_, input, frames);
  inputFill_ += frames;

  // First what is left of the last block.
  int done = 0;
  if (pending_ > 0) {
    const int n = std::min(pending_, frames);
    for (int c = 0; c < channels_; ++c)
      copy(outputs[c], tail_[c] + kBlock - pending_, n);
    done = pending_;
  }
  int consumed = 0;
  while (done < frames) {
    processBlock(inputFifo_ + consumed, reading);
    if (!allFinite(tail_[0], kBlock) || !allFinite(tail_[1], kBlock)) recover();
    const int n = std::min(kBlock, frames - done);
    for (int c = 0; c < channels_; ++c)
      copy(outputs[c] + done, tail_[c], n);
    consumed += kBlock;
    done += kBlock;
  }
  pending_ = done - frames;
  std::copy(inputFifo_ + consumed, inputFifo_ + inputFill_, inputFifo_);
  inputFill_ -= consumed;
}

void Gorbel::processBlock(float* block, pseudoutils::SharedTunerReading& reading) {
  blocks_.fetch_add(1, std::memory_order_relaxed);
  applyPendingParameters();
  const int preBypass = preBypass_.load(std::memory_order_relaxed);
  amp_->setBypassFlags(preBypass, ampBypass_.load(std::memory_order_relaxed));

  tunerTap(block, reading);
  if (tunerMute_) std::fill_n(block, kBlock, 0.0f);

  if (preBypass == 0) {
    dsp::library::addDenormalNoise(block, kBlock);
    gate_.process(block, kBlock);
    if (wahOn_) {
      wah_->process(workA_, block, kBlock);
    } else {
      copy(workA_, block, kBlock);
    }
    stompEcho_->process(workB_, workA_, kBlock);  // always runs: its level decides
    if (applied_[kChorusLevel] > 0) {
      chorus_->process(workA_, workB_, kBlock);
    } else {
      copy(workA_, workB_, kBlock);
    }
    if (applied_[kFlangerLevel] > 0) {
      flanger_->process(workB_, workA_, kBlock);
    } else {
      copy(workB_, workA_, kBlock);
    }
  } else {
    copy(workB_, block, kBlock);
  }

  amp_->process(workA_, workB_, kBlock);

  if (postBypass_.load(std::memory_order_relaxed) != 0) {
    copy(tail_[0], workA_, kBlock);
    copy(tail_[1], workA_, kBlock);
    return;
  }
  if (applied_[kEqOn] != 0) {
    dsp::BiquadFilter* const bands[] = {&eqBands_[0], &eqBands_[1], &eqBands_[2]};
    dsp::BiquadFilter::processCascade(bands, 3, workB_, workA_, kBlock);
  } else {
    copy(workB_, workA_, kBlock);
  }
  const float level = trimGain_ * outputGain_;
  for (int i = 0; i < kBlock; ++i) {
    workA_[2 * i] = workA_[2 * i + 1] = workB_[i] * level;
  }
  if (applied_[kPlateLevel] > 0) {
    reverb_->process(workB_, workA_, kBlock);
  } else {
    copy(workB_, workA_, 2 * kBlock);
  }
  echo_->process(workA_, workB_, kBlock);
  for (int i = 0; i < kBlock; ++i) {
    tail_[0][i] = workA_[2 * i];
    tail_[1][i] = workA_[2 * i + 1];
  }
}

// The block went out of range somewhere in the chain, and whatever produced it keeps its state
// poisoned: silence the block and clear every stage it went through.
void Gorbel::recover() {
  silenced_.fetch_add(1, std::memory_order_relaxed);
  for (auto& channel : tail_)
    std::fill(std::begin(channel), std::end(channel), 0.0f);
  std::fill(std::begin(workA_), std::end(workA_), 0.0f);
  std::fill(std::begin(workB_), std::end(workB_), 0.0f);
  gate_.reset();
  for (auto* fx :
       {wah_.get(), stompEcho_.get(), chorus_.get(), flanger_.get(), reverb_.get(), echo_.get()}) {
    fx->invalidate();  // or a reset could take the state for clean and keep it
    fx->reset();
  }
  amp_->recover();
  for (auto& band : eqBands_)
    band.reset();
}

void Gorbel::tunerTap(const float* block, pseudoutils::SharedTunerReading& reading) {
  bool found = false, voiced = false;
  float frequency = 0.0f;
  int note = 0, cents = 0;
  if (tunerOn_ && tuner_) {
    tuner_->analyze(block, kBlock, &found, &voiced, &frequency, &note, &cents);
  }
  reading.publish(pseudoutils::nextReading(reading.read(), found, voiced, note, cents));
}

}  // namespace rack
