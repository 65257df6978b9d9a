#pragma once

#include <atomic>
#include <cstdint>

#include "rack/gorbel.h"
#include "tuner/tuner_reading.h"

namespace rack {

// The product's rack: a second parameter numbering (product ids 0 to 69) with on/off switches
// and model selectors that it translates into rack parameters, the tuner mode and the tuner
// readout.
class VRmore : public Gorbel {
 public:
  static constexpr int kProductParameterCount = 70;

  VRmore(float sampleRate, int channels);

  // Resets the rack and sets the product's start-up switches (output section bypassed, chorus
  // and flanger off, pedal wah, cabinet on).
  void initialize();
  // The product-level setter: the value is limited to 0..127; ids outside 0..69 are ignored.
  double setParameter(int id, int value);
  int productParameter(int id) const;

  // The window's three-position tuner switch: 0 analyse and mute, 1 off, 2 analyse.
  void setTunerMode(uint32_t mode);
  bool tunerModeOn() const { return tunerModeOn_.load(std::memory_order_relaxed); }
  bool tunerModeMute() const { return tunerModeMute_.load(std::memory_order_relaxed); }
  // The window's 40 ms tick.
  void updateTunerDisplay();
  const pseudoutils::TunerDisplay& tunerDisplay() const { return display_; }
  pseudoutils::TunerReading reading() const { return reading_.read(); }

  void process(float* const* outputs, const float* const* inputs, int frames) {
    Gorbel::process(outputs, inputs, frames, reading_);
  }

 private:
  void setRack(int id, int value) { Gorbel::setParameter(id, value); }
  int stored(int id) const { return productParams_[id].load(std::memory_order_relaxed); }
  void applyCabinet(int choice);

  std::atomic<int> productParams_[kProductParameterCount] = {};
  std::atomic<bool> tunerModeOn_{false};
  std::atomic<bool> tunerModeMute_{false};
  pseudoutils::TunerDisplay display_;  // user-interface thread only
  pseudoutils::SharedTunerReading reading_;
};

}  // namespace rack
