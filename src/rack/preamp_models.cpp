#include "rack/preamp_models.h"

#include <cmath>

namespace rack {
namespace {

// Model 0: the volume control is a 50k pot inside the circuit.
void designModel0(float v, dsp::BiquadFilter& v1, dsp::BiquadFilter& v2, dsp::BiquadFilter& v3) {
  const float ra = (1.0f - v) * 50000.0f;
  const float rb = v * 50000.0f;
  const float p = ra * 6800.0f * 2.2e-9f;
  const float q = ra * 220000.0f * 1e-10f + 0.1496f;
  const float r = ra * 1.496e9f * 1e-10f * 2.2e-9f;
  v1.setAnalog(r, ra * 220000.0f * 2.2e-9f + q + p, ra + 226800.0f, r, q + p, ra + 6800.0f);
  v2.setAnalog(0.4f, 0.0f, 0.0f, 1.0f, 588.84277f, 171957.84f);  // 66 Hz high-pass at 0.4
  v3.setCoefficients(rb / (rb + 2200.0f), 0.0f, 0.0f, 0.0f, 0.0f);
}

// Model 1: a 500k volume pot limited to 3..97 % of its travel, 470p and 100p caps, 68k.
void designModel1(float v, dsp::BiquadFilter& v1, dsp::BiquadFilter& v2, dsp::BiquadFilter& v3) {
  const float p = v * 0.94f + 0.03f;
  const float ra = (1.0f - p) * 500000.0f;
  const float rb = p * 500000.0f;
  v1.setAnalog(ra * rb * 4.7e-20f, rb * 4.7e-10f, 0.0f, ra * (rb + 68000.0f) * 4.7e-10f * 1e-10f,
               (rb + 68000.0f) * 4.7e-10f + ra * 1e-10f + ra * 4.7e-10f, 1.0f);
  v2.setCoefficients(1.0f, 0.0f, 0.0f, 0.0f, 0.0f);
  v3.setAnalog(1.0f, 0.0f, 0.0f, 1.0f, 446.093f, 98690.22f);  // 50 Hz high-pass
}

// Model 3: a 1M gain pot with a square-law taper, 470p and 1n caps.
float designModel3(float g, dsp::BiquadFilter& v1, dsp::BiquadFilter& v2, dsp::BiquadFilter& v3) {
  const float p = g * g * 0.6f + 0.3f;
  const float ra = (1.0f - p) * 1e6f;
  const float rb = p * 1e6f;
  const float s = ra + 470000.0f + rb;
  const float rc = ra * 470000.0f;
  v1.setAnalog(s * 470000.0f * ra * 4.7e-10f * 1e-9f, (ra * 1e-9f + 0.0002209f) * s, s,
               rb * rc * 4.7e-10f * 1e-9f,
               ra * rb * 1e-9f + rb * 470000.0f * 4.7e-10f + rc * 1e-9f + rc * 4.7e-10f, s);
  v2.setAnalog(1.0f, 188.49f, 0.0f, 1.0f, 1055.544f, 202117.58f);
  v3.setAnalog(2.2841059e-6f, 0.01034f, 0.0f, 2.2841059e-6f, 0.0209009f, 1.0f);
  return p * 120.0f * rb / s;
}

// Model 5: a 100k gain pot with the taper g^0.7 after a fixed 2 kHz boost.
void designModel5(float g, dsp::BiquadFilter& v1, dsp::BiquadFilter& v2, dsp::BiquadFilter& v3) {
  const float t = std::pow(g, 0.7f);
  const float r1 = t * 100000.0f;
  const float r2 = (1.0f - t) * 100000.0f + 3300.0f;
  v1.setAnalog(1.0f, 228072.89f, 157904352.0f, 1.0f, 41467.8f, 157904352.0f);
  v2.setAnalog(0.04418f, 0.0f, 0.0f, r2 * 4.7e-7f, r2 * 0.000194898661f + 1.0f, 414.678f);
  const float k = r1 * 3300.0f * 4.7e-10f * 4.7e-7f;
  v3.setAnalog(k, r1 * 4.7e-10f + 0.001551f + r1 * 4.7e-7f, 1.0f, k, r1 * 4.7e-10f + 0.001551f,
               1.0f);
}

}  // namespace

bool designPreamp(int model, float gain, float volume, dsp::BiquadFilter& voicing1,
                  dsp::BiquadFilter& voicing2, dsp::BiquadFilter& voicing3, PreampVoice& voice) {
  switch (model) {
    case 0:
      designModel0(volume, voicing1, voicing2, voicing3);
      voice = {0.8f, false, true};
      return true;
    case 1:
      // The gain knob does nothing in this model.
      designModel1(volume, voicing1, voicing2, voicing3);
      voice = {10.0f, true, true};
      return true;
    case 3:
      voice = {designModel3(gain, voicing1, voicing2, voicing3), false, false};
      return true;
    case 5:
      designModel5(gain, voicing1, voicing2, voicing3);
      voice = {1.5f, false, false};
      return true;
    default:
      return false;
  }
}

bool configurePreampClipper(int model, Clipper& clipper) {
  switch (model) {
    case 0:
      clipper.configure(7, 1.2f, -1.2f, 0.8f, -0.8f);
      return true;
    case 1:
      clipper.configure(8, 1.3f, -1.2f, 1.1f, -1.0f);
      return true;
    case 3:
      clipper.configure(8, 1.2f, -1.2f, 0.96f, -0.96f);
      return true;
    case 5:
      clipper.configure(7, 1.0f, -1.0f, 0.8f, -0.8f);
      return true;
    default:
      return false;
  }
}

}  // namespace rack
