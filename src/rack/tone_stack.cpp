#include "rack/tone_stack.h"

#include <cmath>
#include <tuple>
#include <utility>

namespace rack {
namespace {

// Far below anything audible, far above the double denormal range: a silent input lets the
// capacitor states decay to exact zeros instead of into slow denormal arithmetic.
constexpr double kFlushThreshold = 1e-30;

float clampKnob(float v) {
  if (!(v >= 0.0f)) return 0.0f;  // also catches NaN
  return v > 1.0f ? 1.0f : v;
}

bool knownModel(int model) {
  return model == 0 || model == 1 || model == 3 || model == 4;
}

}  // namespace

ToneStack::ToneStack() {
  setModel(3);
}

void ToneStack::setSampleRate(float rate) {
  if (!(rate > 0.0f)) return;
  std::lock_guard<std::mutex> guard(lock_);
  sampleRate_ = rate;
  rebuild();
}

bool ToneStack::setModel(int model) {
  if (!knownModel(model)) return false;
  std::lock_guard<std::mutex> guard(lock_);
  if (model == model_) return true;
  loadModel(model);
  low_ = mid_ = high_ = 0.5f;
  rebuild();
  for (double& h : history_)
    h = 0.0;
  return true;
}

void ToneStack::setKnobs(float low, float mid, float high) {
  std::lock_guard<std::mutex> guard(lock_);
  low_ = clampKnob(low);
  mid_ = clampKnob(mid);
  high_ = clampKnob(high);
  rebuild();
}

void ToneStack::reset() {
  std::lock_guard<std::mutex> guard(lock_);
  for (double& h : history_)
    h = 0.0;
}

void ToneStack::loadModel(int model) {
  model_ = model;
  switch (model) {
    case 0:
      r1_ = 100e3, c1_ = 250e-12, r2_ = 250e3, c2_ = 100e-9, c3_ = 33e-9;
      outputGain_ = 2.2f;
      break;
    case 1:
      r1_ = 22e3, c1_ = 1e-9, r2_ = 50e3, c2_ = 470e-9, c3_ = 220e-9;
      outputGain_ = 2.4f;
      break;
    case 3:
      r1_ = 33e3, c1_ = 470e-12, r2_ = 250e3, c2_ = 22e-9, c3_ = 22e-9;
      outputGain_ = 1.0f;
      break;
    case 4:
      r1_ = 33e3, c1_ = 250e-12, r2_ = 220e3, c2_ = 22e-9, c3_ = 22e-9;
      outputGain_ = 1.0f;
      break;
    default:
      break;
  }
}

void ToneStack::rebuild() {
  const double low = low_, mid = mid_, high = high_;
  switch (model_) {
    case 0:
      rLow_ = low * 250e3;
      rMid_ = mid * 10e3;
      break;
    case 1:
      rLow_ = low * 50e3;
      rMid_ = 470.0;
      break;
    default:  // 3 and 4: the middle pot's unused part sits in series with the bass pot
      rLow_ = low * 1e6 + (1.0 - mid) * 25e3;
      rMid_ = mid * 25e3;
      break;
  }
  rHigh_ = (1.0 - high) * r2_;

  const double twoRate = 2.0 * double(sampleRate_);
  k1_ = 1.0 / (twoRate * c1_ * r1_);
  k2_ = 1.0 / (twoRate * c2_ * r1_);
  k3_ = 1.0 / (twoRate * c3_ * r1_);

  auto& m = matrix_;
  for (auto& row : m)
    for (double& v : row)
      v = 0.0;
  // Currents meeting at the three inner nodes.
  m[0][0] = 1, m[0][2] = -1, m[0][3] = -1;
  m[1][1] = -1, m[1][2] = -1, m[1][4] = 1;
  m[2][3] = -1, m[2][4] = -1, m[2][5] = 1;
  // Voltages around the three loops.
  m[3][0] = 1, m[3][5] = rMid_ / r1_, m[3][8] = 1;
  m[4][0] = 1, m[4][1] = -r2_ / r1_, m[4][6] = -1, m[4][7] = 1;
  m[5][4] = rLow_ / r1_, m[5][7] = 1, m[5][8] = -1;
  // Trapezoidal rule for the capacitors.
  m[6][1] = -k1_, m[6][6] = 1;
  m[7][2] = -k2_, m[7][7] = 1;
  m[8][3] = -k3_, m[8][8] = 1;

  invert();
}

// Gauss-Jordan elimination with partial pivoting. On failure the previous inverse stays.
bool ToneStack::invert() {
  double a[kSize][kSize];
  double inv[kSize][kSize];
  for (int i = 0; i < kSize; ++i) {
    for (int j = 0; j < kSize; ++j) {
      a[i][j] = matrix_[i][j];
      inv[i][j] = i == j ? 1.0 : 0.0;
    }
  }
  for (int col = 0; col < kSize; ++col) {
    int pivot = col;
    for (int row = col + 1; row < kSize; ++row)
      if (std::fabs(a[row][col]) > std::fabs(a[pivot][col])) pivot = row;
    const double p = a[pivot][col];
    if (p == 0.0 || !std::isfinite(p)) return false;
    if (pivot != col) {
      std::swap(a[pivot], a[col]);
      std::swap(inv[pivot], inv[col]);
    }
    const double scale = 1.0 / p;
    for (int j = 0; j < kSize; ++j) {
      a[col][j] *= scale;
      inv[col][j] *= scale;
    }
    for (int row = 0; row < kSize; ++row) {
      if (row == col) continue;
      const double f = a[row][col];
      if (f == 0.0) continue;
      for (int j = 0; j < kSize; ++j) {
        a[row][j] -= f * a[col][j];
        inv[row][j] -= f * inv[col][j];
      }
    }
  }
  for (int i = 0; i < kSize; ++i) {
    for (int j = 0; j < kSize; ++j) {
      if (!std::isfinite(inv[i][j])) return false;
    }
  }
  // The inverse's columns for the input and the three histories; the input enters as x / r1.
  const int rhs[4] = {3, 6, 7, 8};
  const double ks[3] = {k1_, k2_, k3_};
  for (int c = 0; c < 4; ++c) {
    const double scale = c == 0 ? 1.0 / r1_ : 1.0;
    for (int r = 0; r < 3; ++r) {
      // b6 = k1 u1 + u6, b7 = k2 u2 + u7, b8 = k3 u3 + u8
      next_[r][c] = (ks[r] * inv[1 + r][rhs[c]] + inv[6 + r][rhs[c]]) * scale;
    }
    output_[c] = (r1_ * inv[6][rhs[c]] + rHigh_ * inv[1][rhs[c]]) * scale;
  }
  // Two steps: the first sample's history fed through next_ and output_ once more.
  for (int r = 0; r < 3; ++r) {
    pairNext_[r][0] = next_[r][0];
    for (int c = 0; c < 4; ++c) {
      double sum = 0.0;
      for (int j = 0; j < 3; ++j)
        sum += next_[r][1 + j] * next_[j][c];
      pairNext_[r][1 + c] = sum;
    }
  }
  pairOutput_[0] = output_[0];
  for (int c = 0; c < 4; ++c) {
    double sum = 0.0;
    for (int j = 0; j < 3; ++j)
      sum += output_[1 + j] * next_[j][c];
    pairOutput_[1 + c] = sum;
  }
  return true;
}

void ToneStack::process(float* out, const float* in, int frames) {
  std::lock_guard<std::mutex> guard(lock_);
  double h6 = history_[0], h7 = history_[1], h8 = history_[2];
  const float gain = outputGain_;
  // The history's products are summed last, each pair of them on its own.
  const auto single = [&](const double(&c)[4], double x) {
    return (c[0] * x + c[1] * h6) + (c[2] * h7 + c[3] * h8);
  };
  const auto pair = [&](const double(&c)[5], double first, double second) {
    return ((c[0] * second + c[1] * first) + c[4] * h8) + (c[2] * h6 + c[3] * h7);
  };
  int i = 0;
  for (; i + 2 <= frames; i += 2) {
    const float x = in[i], second = in[i + 1];
    const double drop = single(output_, x);
    const double drop2 = pair(pairOutput_, x, second);
    std::tie(h6, h7, h8) = std::tuple{pair(pairNext_[0], x, second), pair(pairNext_[1], x, second),
                                      pair(pairNext_[2], x, second)};
    out[i] = (x - static_cast<float>(drop)) * gain;
    out[i + 1] = (second - static_cast<float>(drop2)) * gain;
  }
  if (i < frames) {
    const float x = in[i];
    const double drop = single(output_, x);
    std::tie(h6, h7, h8) =
        std::tuple{single(next_[0], x), single(next_[1], x), single(next_[2], x)};
    out[i] = (x - static_cast<float>(drop)) * gain;
  }
  history_[0] = std::fabs(h6) < kFlushThreshold ? 0.0 : h6;
  history_[1] = std::fabs(h7) < kFlushThreshold ? 0.0 : h7;
  history_[2] = std::fabs(h8) < kFlushThreshold ? 0.0 : h8;
}

}  // namespace rack
