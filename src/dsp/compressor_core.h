#pragma once

namespace dsp {

// One channel of a feedback compressor. The detector models a resistor-capacitor peak detector
// (a fast and a slow branch, each a second-order filter in double precision) that listens to the
// core's own output through a shelving side-chain filter; the gain falls linearly with the
// detected level: gain = threshold x (1 - feedback x envelope), never below 0.01.
class CompressorCore {
 public:
  CompressorCore();

  void setAttack(double seconds);
  void setRelease(double seconds);
  void setThreshold(double dB);
  void setFeedback(double f);
  // Side-chain emphasis in dB: 0 is flat, lower values weigh high frequencies more.
  void setSidechain(double x);
  void setFormat(double sampleRate);
  void reset();

  // 1.0 at rest, falling as the detector charges; not limited like the gain itself.
  float gainReading() const;

  // Mono samples; out may equal in.
  void process(float* out, const float* in, int frames);

 private:
  struct Biquad {
    double b0 = 0, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;

    // Direct form I on one sample.
    double run(double x);
    // Makes `v` the newest input and output, as if the filter had settled there.
    void hold(double v);
  };

  void updateDetector();

  double sampleRate_ = 44100.0;
  // Circuit values of the detector.
  static constexpr double kAttackCap = 1.6e-6;
  static constexpr double kReleaseCap = 4.7e-6;
  static constexpr double kFixedRes = 20000.0;
  double attackRes_ = 20000.0;
  double releaseRes_ = 300000.0;

  double feedback_ = 1.0;
  double gainScale_ = 1.0;  // threshold x feedback
  double inverseFeedback_ = 1.0;
  double threshold_ = 1.0;

  Biquad fast_;  // through the fixed resistor
  Biquad slow_;  // through the release resistor
  double release1_ = 0.0;
  double release2_ = 0.0;
  double env1_ = 0.0;
  double env2_ = 0.0;

  double scX1_ = 0.0, scY1_ = 0.0;
  double scB0_ = 1.0, scB1_ = 0.0, scA1_ = 0.0;
};

}  // namespace dsp
