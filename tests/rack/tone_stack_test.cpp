#include "rack/tone_stack.h"

#include "rack_signals.h"

namespace {

using Complex = std::complex<double>;

struct Circuit {
  double r1, c1, r2, c2, c3, rLow, rMid, rHigh = 0, gain = 1;
};

// The published component values and pot laws of each network.
Circuit circuitFor(int model, double low, double mid, double high) {
  const double ganged = low * 1e6 + (1 - mid) * 25e3;  // models 3 and 4
  Circuit c = model == 0   ? Circuit{100e3, 250e-12, 250e3, 100e-9, 33e-9, low * 250e3, mid * 10e3}
              : model == 1 ? Circuit{22e3, 1e-9, 50e3, 470e-9, 220e-9, low * 50e3, 470}
              : model == 3 ? Circuit{33e3, 470e-12, 250e3, 22e-9, 22e-9, ganged, mid * 25e3}
                           : Circuit{33e3, 250e-12, 220e3, 22e-9, 22e-9, ganged, mid * 25e3};
  c.gain = model == 0 ? 2.2 : model == 1 ? 2.4 : 1.0;
  c.rHigh = (1 - high) * c.r2;
  return c;
}

// Modified nodal analysis driven by 1 V at complex frequency s. Nodes: A behind the slope resistor,
// T behind the treble capacitor, C between treble and bass pots, B atop the middle pot. Each
// resistor has its own branch current, so 0 ohm pot sections need no special case.
Complex analogResponse(const Circuit& k, Complex s) {
  enum { vA, vT, vC, vB, iR1, iPot, iLow, iMid, kN };
  Complex m[kN][kN + 1] = {};
  const Complex y1 = s * k.c1, y2 = s * k.c2, y3 = s * k.c3;
  // Kirchhoff's current law at A, T, C, B.
  m[0][iR1] = 1.0, m[0][vA] = -y2 - y3, m[0][vC] = y2, m[0][vB] = y3;
  m[1][vT] = -y1, m[1][iPot] = -1.0, m[1][kN] = -y1;
  m[2][iPot] = 1.0, m[2][vA] = y2, m[2][vC] = -y2, m[2][iLow] = -1.0;
  m[3][iLow] = 1.0, m[3][vA] = y3, m[3][vB] = -y3, m[3][iMid] = -1.0;
  // Ohm's law for each resistor.
  m[4][vA] = 1.0, m[4][iR1] = k.r1, m[4][kN] = 1.0;
  m[5][vT] = 1.0, m[5][vC] = -1.0, m[5][iPot] = -k.r2;
  m[6][vC] = 1.0, m[6][vB] = -1.0, m[6][iLow] = -k.rLow;
  m[7][vB] = 1.0, m[7][iMid] = -k.rMid;

  for (int col = 0; col < kN; ++col) {
    int p = col;
    for (int r = col + 1; r < kN; ++r)
      if (std::abs(m[r][col]) > std::abs(m[p][col])) p = r;
    for (int j = 0; j <= kN; ++j)
      std::swap(m[p][j], m[col][j]);
    for (int r = col + 1; r < kN; ++r) {
      const Complex f = m[r][col] / m[col][col];
      for (int j = col; j <= kN; ++j)
        m[r][j] -= f * m[col][j];
    }
  }
  Complex v[kN];
  for (int r = kN - 1; r >= 0; --r) {
    Complex acc = m[r][kN];
    for (int j = r + 1; j < kN; ++j)
      acc -= m[r][j] * v[j];
    v[r] = acc / m[r][r];
  }
  return (v[vT] - k.rHigh * v[iPot]) * k.gain;
}

std::vector<float> impulseResponse(rack::ToneStack& ts, int length) {
  ts.reset();
  return racktest::run(ts, racktest::impulse(length));
}

Complex dft(const std::vector<float>& h, double w) {
  const Complex step = std::polar(1.0, -w);
  Complex z = 1.0, acc = 0.0;
  for (float v : h) {
    acc += double(v) * z;
    z *= step;
  }
  return acc;
}

TEST(ToneStack, ResponseMatchesTheAnalogNetworkAtBilinearFrequencies) {
  const double settings[][4] = {{44100, 0.5, 0.5, 0.5}, {44100, 0, 0, 0},   {44100, 1, 1, 1},
                                {44100, 1, 0, 0},       {44100, 0, 1, 1},   {44100, 0.2, 0.8, 0.3},
                                {44100, 0.9, 0.1, 0.7}, {44100, 0, 0.5, 1}, {96000, 0.5, 0.5, 0.5},
                                {22050, 1, 0, 1}};
  const int kLength = 1 << 15;
  for (int model : {0, 1, 3, 4}) {
    for (auto [rate, low, mid, high] : settings) {
      SCOPED_TRACE(testing::Message() << "model " << model << " rate " << rate << " knobs " << low
                                      << "/" << mid << "/" << high);
      rack::ToneStack ts;
      ts.setSampleRate(float(rate));
      ASSERT_TRUE(ts.setModel(model));
      ts.setKnobs(float(low), float(mid), float(high));
      const std::vector<float> h = impulseResponse(ts, kLength);
      const Circuit circuit = circuitFor(model, low, mid, high);
      ASSERT_LT(racktest::peak(h, kLength - 1000), 1e-7f) << "impulse response has not decayed";
      EXPECT_LT(std::abs(dft(h, 0.0)), 1e-4) << "no path conducts DC to the wiper";

      for (double hz = 30.0; hz <= 10000.0; hz *= 1.1) {
        const double w = 2.0 * std::numbers::pi * hz / rate;
        const Complex digital = dft(h, w);
        const Complex analog = analogResponse(circuit, Complex(0.0, 2.0 * rate * std::tan(w / 2)));
        if (std::abs(analog) < 1e-5) {
          // Model 0 with every knob at 0 shorts the output to ground.
          EXPECT_LT(std::abs(digital), 1e-5) << hz;
          continue;
        }
        EXPECT_NEAR(racktest::db(digital), racktest::db(analog), 0.01) << hz;
      }
    }
  }
}

// Samples go through in pairs and a call of odd length ends with a single step: any cut gives
// the same output up to double rounding, in place or not.
TEST(ToneStack, OddCallsMatchWholeBlocksAndModelChangesClearTheState) {
  const std::vector<float> noise = testsupport::whiteNoise(4096, 0.5f);
  rack::ToneStack whole, pieces;
  for (rack::ToneStack* ts : {&whole, &pieces}) {
    ASSERT_TRUE(ts->setModel(1));
    ts->setKnobs(0.3f, 0.7f, 0.9f);
  }
  std::vector<float> expected(noise.size()), got = noise;
  whole.process(expected.data(), noise.data(), static_cast<int>(noise.size()));
  for (int done = 0, n = 1; done < static_cast<int>(noise.size()); done += n, n = n % 9 + 2) {
    n = std::min(n, static_cast<int>(noise.size()) - done);
    pieces.process(got.data() + done, got.data() + done, n);
  }
  for (size_t i = 0; i < noise.size(); ++i)
    ASSERT_NEAR(got[i], expected[i], 1e-6f) << "sample " << i;

  // Another model starts from rest; the same model again or an unknown one keeps the ringing.
  const std::vector<float> silence(256);
  rack::ToneStack kept, reference, clamped, limits;
  for (rack::ToneStack* ts : {&kept, &reference}) {
    ASSERT_TRUE(ts->setModel(0));
    ts->setKnobs(0.2f, 0.7f, 0.9f);
    racktest::run(*ts, noise);
  }
  EXPECT_TRUE(kept.setModel(0));
  for (int m : {2, -1})
    EXPECT_FALSE(kept.setModel(m));
  EXPECT_EQ(kept.model(), 0);
  const std::vector<float> ringing = racktest::run(reference, silence);
  EXPECT_GT(std::fabs(ringing[0]), 1e-4f);
  EXPECT_EQ(racktest::run(kept, silence), ringing);
  EXPECT_TRUE(kept.setModel(1));
  EXPECT_EQ(racktest::peak(racktest::run(kept, silence)), 0.0f);

  clamped.setKnobs(-1.0f, 2.0f, std::nanf(""));
  limits.setKnobs(0.0f, 1.0f, 0.0f);
  clamped.setSampleRate(-48000.0f);
  EXPECT_EQ(impulseResponse(clamped, 4096), impulseResponse(limits, 4096));
}

}  // namespace
