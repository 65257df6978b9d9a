#pragma once

#include <cstring>

namespace dsp {

// A recursive filter of order 1 or 2 run kSamples (4 or 8) samples per step. Each output of a
// step is written directly in the filter's state before the step and the step's inputs, so one
// step waits on the previous one through a single multiply-add instead of kSamples chained
// ones, and the outputs are computed side by side in vectors of four. Same filter as the
// difference equation y = b0 x + b1 x1 (+ b2 x2) - a1 y1 (- a2 y2), up to float rounding.
//
// Eight samples per step suit a filter on its own, whose speed is the wait from step to step;
// four suit filters stepped together in a cascade, whose speed is the arithmetic.
template <int kOrder, int kSamples>
class SteppedIir {
 public:
  static_assert(kOrder == 1 || kOrder == 2);
  static_assert(kSamples == 4 || kSamples == 8);
  static constexpr int kGroups = kSamples / 4;
  using Vec = float __attribute__((vector_size(16)));
  struct Block {
    Vec group[kGroups];
  };

  // b has kOrder + 1 entries, a has kOrder (a1, a2). Derived in double, stored as float.
  void design(const float* b, const float* a) {
    // An input at step position j adds the impulse response shifted by j.
    double impulse[kSamples];
    respond(b, a, 0, -1, -1, impulse);
    for (int j = 0; j < kSamples; ++j) {
      for (int k = 0; k < kSamples; ++k)
        inputs_[j].group[k / 4][k % 4] = k >= j ? static_cast<float>(impulse[k - j]) : 0.0f;
    }
    // The past values enter as the latest one and the difference of the last two: a
    // low-frequency filter's responses to x1 and x2 (or y1 and y2) are large and nearly
    // opposite, so as a sum and a difference they lose far less to float rounding.
    double response[kOrder][kSamples];
    for (int m = 0; m < kOrder; ++m)
      respond(b, a, -1, m, -1, response[m]);
    toPast(response, pastInputs_);
    for (int m = 0; m < kOrder; ++m)
      respond(b, a, -1, -1, m, response[m]);
    toPast(response, pastOutputs_);
  }

  // The last inputs and outputs, each spread over all four lanes: x1/y1 the latest, x2/y2
  // the ones before (order 2 only).
  struct Lanes {
    Vec x1, x2, y1, y2;
  };

  static Lanes load(const float* x, const float* y) {
    Lanes s{};
    s.x1 = spread(x[0]);
    s.y1 = spread(y[0]);
    if constexpr (kOrder == 2) {
      s.x2 = spread(x[1]);
      s.y2 = spread(y[1]);
    }
    return s;
  }

  static void store(const Lanes& s, float* x, float* y) {
    x[0] = s.x1[0];
    y[0] = s.y1[0];
    if constexpr (kOrder == 2) {
      x[1] = s.x2[0];
      y[1] = s.y2[0];
    }
  }

  // kSamples outputs from kSamples inputs.
  Block step(const Block& in, Lanes& s) const {
    Vec spreads[kSamples];
    for (int g = 0; g < kGroups; ++g) {
      spreads[4 * g] = lane<0>(in.group[g]);
      spreads[4 * g + 1] = lane<1>(in.group[g]);
      spreads[4 * g + 2] = lane<2>(in.group[g]);
      spreads[4 * g + 3] = lane<3>(in.group[g]);
    }
    Block out;
    for (int g = 0; g < kGroups; ++g) {
      // Two running sums for the inputs, so the additions do not queue behind one another.
      Vec even = pastInputs_[0].group[g] * s.x1;
      Vec odd = inputs_[0].group[g] * spreads[0];
      if constexpr (kOrder == 2) even += pastInputs_[1].group[g] * (s.x1 - s.x2);
      for (int j = 1; j < 4 * g + 4; ++j) {
        if (j % 2 == 0) {
          odd += inputs_[j].group[g] * spreads[j];
        } else {
          even += inputs_[j].group[g] * spreads[j];
        }
      }
      // The terms in the previous outputs come last, so everything else is ready when they
      // arrive.
      const Vec sum = (even + odd) + pastOutputs_[0].group[g] * s.y1;
      if constexpr (kOrder == 2) {
        out.group[g] = sum + pastOutputs_[1].group[g] * (s.y1 - s.y2);
      } else {
        out.group[g] = sum;
      }
    }
    const Vec& lastIn = in.group[kGroups - 1];
    const Vec& lastOut = out.group[kGroups - 1];
    s.x1 = lane<3>(lastIn);
    s.y1 = lane<3>(lastOut);
    if constexpr (kOrder == 2) {
      s.x2 = lane<2>(lastIn);
      s.y2 = lane<2>(lastOut);
    }
    return out;
  }

  // x and y hold the last inputs and outputs as scalars, latest first. Runs whole steps and
  // returns how many frames it took; the caller finishes the rest sample by sample.
  int run(float* out, const float* in, int frames, float* x, float* y) const {
    Lanes s = load(x, y);
    int i = 0;
    for (; i + kSamples <= frames; i += kSamples) {
      Block block;
      std::memcpy(&block, in + i, sizeof block);
      block = step(block, s);
      std::memcpy(out + i, &block, sizeof block);
    }
    store(s, x, y);
    return i;
  }

  static Vec spread(float v) { return Vec{v, v, v, v}; }

 private:
  template <int kLane>
  static Vec lane(Vec v) {
    return __builtin_shufflevector(v, v, kLane, kLane, kLane, kLane);
  }

  // kSamples outputs of the difference equation from a unit input at position `input`, or a
  // unit past input or output (1 = the latest, as x1/y1); -1 leaves that one out.
  static void respond(const float* b, const float* a, int input, int pastX, int pastY,
                      double* response) {
    double xs[kSamples + kOrder] = {}, ys[kSamples + kOrder] = {};
    if (pastX >= 0) xs[kOrder - 1 - pastX] = 1.0;
    if (pastY >= 0) ys[kOrder - 1 - pastY] = 1.0;
    if (input >= 0) xs[kOrder + input] = 1.0;
    for (int k = 0; k < kSamples; ++k) {
      const int n = k + kOrder;
      double v = 0.0;
      for (int t = 0; t <= kOrder; ++t)
        v += double(b[t]) * xs[n - t];
      for (int t = 1; t <= kOrder; ++t)
        v -= double(a[t - 1]) * ys[n - t];
      ys[n] = v;
      response[k] = v;
    }
  }

  // c1 x1 + c2 x2 = (c1 + c2) x1 - c2 (x1 - x2)
  static void toPast(const double (&response)[kOrder][kSamples], Block (&past)[kOrder]) {
    for (int k = 0; k < kSamples; ++k) {
      float& latest = past[0].group[k / 4][k % 4];
      if constexpr (kOrder == 2) {
        latest = static_cast<float>(response[0][k] + response[1][k]);
        past[1].group[k / 4][k % 4] = static_cast<float>(-response[1][k]);
      } else {
        latest = static_cast<float>(response[0][k]);
      }
    }
  }

  Block inputs_[kSamples] = {};
  Block pastInputs_[kOrder] = {};
  Block pastOutputs_[kOrder] = {};
};

}  // namespace dsp
