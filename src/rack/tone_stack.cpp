#include "rack/tone_stack.h"

#include <cmath>
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
  for (double& u : solution_)
    u = 0.0;
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
  for (double& u : solution_)
    u = 0.0;
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
  for (int i = 0; i < kSize; ++i) {
    for (int j = 0; j < kSize; ++j)
      inverse_[i][j] = inv[i][j];
    columns_[0][i] = inv[i][3];
    columns_[1][i] = inv[i][6];
    columns_[2][i] = inv[i][7];
    columns_[3][i] = inv[i][8];
  }
  return true;
}

void ToneStack::process(float* out, const float* in, int frames) {
  std::lock_guard<std::mutex> guard(lock_);
  double u[kSize];
  for (int j = 0; j < kSize; ++j)
    u[j] = solution_[j];
  const double invR1 = 1.0 / r1_;
  const double r1 = r1_, rHigh = rHigh_;
  const double k1 = k1_, k2 = k2_, k3 = k3_;
  const float gain = outputGain_;
  for (int i = 0; i < frames; ++i) {
    const float x = in[i];
    const double b3 = double(x) * invR1;
    const double b6 = k1 * u[1] + u[6];
    const double b7 = k2 * u[2] + u[7];
    const double b8 = k3 * u[3] + u[8];
    for (int j = 0; j < kSize; ++j)
      u[j] = columns_[0][j] * b3 + columns_[1][j] * b6 + columns_[2][j] * b7 + columns_[3][j] * b8;
    out[i] = (x - static_cast<float>(r1 * u[6]) - static_cast<float>(rHigh * u[1])) * gain;
  }
  for (int j = 0; j < kSize; ++j)
    solution_[j] = std::fabs(u[j]) < kFlushThreshold ? 0.0 : u[j];
}

}  // namespace rack
