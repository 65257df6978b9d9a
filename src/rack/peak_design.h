#pragma once

namespace dsp {
class BiquadFilter;
}

namespace rack {

// Filter designs shared by the amp section and its cabinets, written into a BiquadFilter whose
// format is already set. Frequencies are in hertz.

// Peaking section H(s) = (s^2 + A (w/Q) s + w^2) / (s^2 + (w/Q) s + w^2) with w = 6.283 f and
// A = 10^(G/20): G dB at f, unity far from it.
void designPeak(dsp::BiquadFilter& filter, float gainDb, float hz, float q);

// A first-order prototype (num1 s + num0) / (den1 s + den0) in a second-order section. The
// section's second pole and zero are left at the origin: the bilinear mapping of a first-order
// prototype written as a degenerate biquad would put a pole on z = -1, which float rounding
// can push just outside the unit circle.
void designFirstOrder(dsp::BiquadFilter& filter, float num1, float num0, float den1, float den0);

// A high shelf (highDb at and above highHz) and a low shelf (lowDb below lowHz) in one section.
// Each shelf spans a factor 2^(|G| / 6) in frequency. The gain is lowDb at 0 Hz; at high
// frequencies it is about highDb, the low shelf's turnover having cancelled its own gain.
void designShelves(dsp::BiquadFilter& filter, float highDb, float highHz, float lowDb, float lowHz);

}  // namespace rack
