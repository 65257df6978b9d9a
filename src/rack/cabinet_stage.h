#pragma once

#include <complex>

#include "dsp/bilin_filter.h"
#include "dsp/biquad_filter.h"
#include "rack/reflections.h"

namespace rack {

// The amp section's speaker cabinet: early reflections followed by a fixed chain of low-order
// filters whose settings are the model's data. Models 1, 5 and 6 are the product's cabinets
// ("open back 1x12", "mod closed 4x10", "british 2x12"); model 8 is no cabinet at all. Every
// other number sounds as model 1: the product only meets them as the amp section's built-in
// model 2, between a format change and the re-send of the rack's parameters.
//
// Options (rack parameters 21 to 23, each on when not 0): 1 adds a tap and strengthens the
// reflections after the direct sound; 2 weights later reflections more and darkens the high
// shelf; 3 adds a presence peak at the end and lowers the low shelf.
class CabinetStage {
 public:
  static constexpr int kNoCabinet = 8;

  CabinetStage();

  // Sets every filter's format (one channel) and re-applies the current model and options.
  void setFormat(int sampleRate);
  // Recomputes filters, taps and shelves. Filter states and the reflection ring carry over.
  void setModel(int model, int option1, int option2, int option3);
  int model() const { return model_; }
  // Clears every filter and the reflection ring.
  void reset();
  // out may equal in; any frame count.
  void process(float* out, const float* in, int frames);

  // For tests and response displays: the taps in use, and the filter chain's response at a
  // frequency in hertz, reflections left out.
  const Reflections& reflections() const { return reflections_; }
  std::complex<double> filterResponse(double hz) const;

 private:
  struct Voicing;

  const Voicing& designFilters(int model);
  int tapDelay(float seconds) const;

  int sampleRate_ = 44100;
  int model_ = 2;
  int option1_ = 0, option2_ = 0, option3_ = 0;

  Reflections reflections_;
  // In processing order; model 6 uses the low- and high-pass slots for peaking sections.
  dsp::BiquadFilter cabLowPass_;
  dsp::BiquadFilter cabHighPass_;
  dsp::BiquadFilter cabLowPass2_;
  dsp::BilinFilter cabFirstOrder_;
  dsp::BiquadFilter cabNotch_;
  dsp::BiquadFilter cabShelves_;
  dsp::BiquadFilter cabPresence_;
};

}  // namespace rack
