#include "tuner/chromatic_tuner.h"

#include <atomic>
#include <cmath>

#include "tuner/acf_pitch_detector.h"
#include "tuner/pitch_detector.h"

namespace pseudoutils {
namespace {

class CChromaticTuner final : public IChromaticTuner {
 public:
  explicit CChromaticTuner(int rate)
      : sampleRate_(static_cast<float>(rate)), detector_(createPitchDetector(sampleRate_)) {
    detector_->setRange(40.0f, 800.0f);
    detector_->setThreshold(0.5f);
    reset();
  }

  void release() override { delete this; }

  void reset() override { detector_->reset(); }

  void analyze(const float* samples, int count, bool* found, bool* voiced, float* frequency,
               int* note, int* cents) override {
    bool gotFound = false;
    bool gotVoiced = false;
    float hz = 0.0f;
    detector_->detect(samples, count, &gotFound, &gotVoiced, &hz);
    if (found) *found = gotFound;
    if (voiced) *voiced = gotVoiced;
    if (!gotFound) return;
    if (frequency) *frequency = hz;
    if (!gotVoiced) return;
    const NoteDeviation nearest = nearestNote(hz, reference_.load(std::memory_order_relaxed));
    if (note) *note = nearest.note;
    if (cents) *cents = nearest.cents;
  }

  void setReference(float hz) override {
    if (hz > 0.0f && std::isfinite(hz)) reference_.store(hz, std::memory_order_relaxed);
  }

  void setSampleRate(int rate) override {
    const float r = static_cast<float>(rate);
    if (!isUsableRange(r, 40.0f, 800.0f)) return;
    sampleRate_ = r;
    detector_->setSampleRate(r);
  }

 private:
  // Set from the control side while the audio thread analyses.
  std::atomic<float> reference_{440.0f};
  float sampleRate_;
  Owned<IPitchDetector> detector_;
};

}  // namespace

NoteDeviation nearestNote(float hz, float referenceHz) {
  const float semitones = 12.0f * std::log(hz / referenceHz) / std::log(2.0f);
  if (!std::isfinite(semitones)) return {0, 0};
  const int nearest = static_cast<int>(semitones >= 0.0f ? semitones + 0.5f : semitones - 0.5f);
  const int cents = static_cast<int>((semitones - static_cast<float>(nearest)) * 100.0f);
  int note = nearest % 12;
  if (note < 0) note += 12;
  return {note, cents};
}

Owned<IChromaticTuner> createChromaticTuner(int sampleRate) {
  if (!isUsableRange(static_cast<float>(sampleRate), 40.0f, 900.0f)) return nullptr;
  return Owned<IChromaticTuner>(new CChromaticTuner(sampleRate));
}

}  // namespace pseudoutils
