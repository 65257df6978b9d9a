#pragma once

#include <mutex>

namespace rack {

// The passive bass/middle/treble network of a guitar amp, solved sample by sample as a linear
// circuit. The capacitors are integrated with the trapezoidal rule, so the result is the
// bilinear transform of the analog network.
//
// Unknowns: u0 current through the slope resistor r1; u1, u2, u3 currents through c1, c2, c3;
// u4 current through the bass pot section; u5 current through the middle pot section; u6, u7,
// u8 the voltages across c1, c2, c3 divided by r1. The output is the treble wiper's voltage.
//
// Models 0, 1, 3 and 4 exist; 3 is the built-in one.
class ToneStack {
 public:
  ToneStack();

  // Rebuilds the network at the new rate; the solution is kept. Non-positive rates are ignored.
  void setSampleRate(float rate);
  // A different model rebuilds with knobs 0.5, 0.5, 0.5 and zeroes the solution; the same
  // model does nothing; an unknown model returns false and changes nothing.
  bool setModel(int model);
  // Knob positions 0..1 (clamped).
  void setKnobs(float low, float mid, float high);
  void reset();
  // out may equal in.
  void process(float* out, const float* in, int frames);

  int model() const { return model_; }

 private:
  static constexpr int kSize = 9;

  void loadModel(int model);
  void rebuild();
  bool invert();

  float sampleRate_ = 44100.0f;
  double r1_ = 0, c1_ = 0, r2_ = 0, c2_ = 0, c3_ = 0;
  double rLow_ = 0, rMid_ = 0, rHigh_ = 0;
  double k1_ = 0, k2_ = 0, k3_ = 0;
  double matrix_[kSize][kSize] = {};
  // A sample's right-hand side is zero but for four entries: the input (row 3) and the three
  // capacitor histories b6, b7, b8 (rows 6-8), and those histories are themselves sums of the
  // solution. So the solve folds down to a three-value recursion: history_ holds b6, b7, b8 for
  // the next sample; next_[r] maps (input, b6, b7, b8) to the next history r; output_ maps
  // them to the current through the output path, r1 u6 + rHigh u1.
  double next_[3][4] = {};
  double output_[4] = {};
  // The same for two samples at once, mapping (second input, first input, b6, b7, b8) to the
  // history after both and to the second sample's drop; the pair then waits on the previous
  // one through a single product.
  double pairNext_[3][5] = {};
  double pairOutput_[5] = {};
  double history_[3] = {};
  int model_ = -1;
  float low_ = 0.5f, mid_ = 0.5f, high_ = 0.5f;
  float outputGain_ = 1.0f;
  std::mutex lock_;
};

}  // namespace rack
