#include "dsp/wahwah.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "dsp/effect_catalogue.h"

namespace {

using dsp::EffectEvent;
constexpr int kRate = 44100;
constexpr int kBlock = 64;  // the rack's block

// The digital frequency (Hz) onto which the bilinear transform maps an analog w (rad/s).
double mappedHz(double w) {
  return std::atan(w / (2.0 * kRate)) * kRate / std::numbers::pi;
}

std::unique_ptr<dsp::TWahwah> makeWah(int wah, int autoAmount) {
  auto fx = std::make_unique<dsp::TWahwah>(nullptr, 0);
  fx->setFormat(1, kRate);
  fx->reset();
  fx->processEvent(EffectEvent::controller(110, static_cast<uint8_t>(wah)));
  fx->processEvent(EffectEvent::controller(113, static_cast<uint8_t>(autoAmount)));
  // Let the glides arrive.
  std::vector<float> silence(kBlock, 0.0f);
  for (int i = 0; i < 200; ++i)
    fx->process(silence.data(), silence.data(), kBlock);
  return fx;
}

// Gain of a steady sine through the wah as it stands.
double sineGain(dsp::TWahwah& fx, double hz) {
  std::vector<float> block(kBlock);
  double peak = 0.0;
  for (int b = 0, n = 0; b < 400; ++b) {
    for (float& x : block)
      x = 0.001f * static_cast<float>(std::sin(2 * std::numbers::pi * hz * n++ / kRate));
    fx.process(block.data(), block.data(), kBlock);
    if (b > 300) {
      for (float y : block)
        peak = std::max(peak, std::fabs(double(y)) / 0.001);
    }
  }
  return peak;
}

TEST(Wahwah, PedalPositionSetsCentreAndGain) {
  for (int wah : {0, 32, 64, 127}) {
    auto fx = makeWah(wah, 0);
    const double position = wah / 128.0;
    EXPECT_FLOAT_EQ(fx->position(), static_cast<float>(position));
    const double w = 1884.9 * std::pow(2.0, 2.3 * position);
    const double gain = 6.0 * position + 8.5;
    const double centre = mappedHz(w);
    // The response peaks at the mapped centre with the position's gain...
    EXPECT_NEAR(std::abs(fx->response(centre)), gain, 0.01 * gain) << "Wah " << wah;
    EXPECT_LT(std::abs(fx->response(centre * 0.97)), std::abs(fx->response(centre)));
    EXPECT_LT(std::abs(fx->response(centre * 1.03)), std::abs(fx->response(centre)));
    // ...and a sine there comes out that much louder.
    EXPECT_NEAR(sineGain(*fx, centre), gain, 0.02 * gain) << "Wah " << wah;
  }
  // The sweep: 300 Hz at the heel.
  EXPECT_NEAR(mappedHz(1884.9), 299.8, 0.5);
}

TEST(Wahwah, LoudPlayingWithAutoOpensTheWahToTheTop) {
  auto fx = makeWah(0, 127);
  std::vector<float> block(kBlock);
  for (int b = 0, n = 0; b < 50; ++b) {
    for (float& x : block)
      x = std::sin(2.0f * 3.14159f * 2000.0f * n++ / kRate);
    fx->process(block.data(), block.data(), kBlock);
  }
  EXPECT_EQ(fx->position(), 1.0f);
  const double top = mappedHz(1884.9 * std::pow(2.0, 2.3));
  EXPECT_NEAR(std::abs(fx->response(top)), 14.5, 0.15);

  // In silence the envelope dies by 0.99 per call, once the detector's own tail is gone.
  const std::vector<float> silence(kBlock, 0.0f);
  std::vector<float> out(kBlock);
  for (int b = 0; b < 5; ++b)
    fx->process(out.data(), silence.data(), kBlock);
  for (int b = 0; b < 20; ++b) {
    const float before = fx->envelope();
    fx->process(out.data(), silence.data(), kBlock);
    EXPECT_NEAR(fx->envelope() / before, 0.99f, 1e-4f);
  }
  // Reset forgets the envelope: the next block sits at the pedal position alone.
  fx->reset();
  fx->process(out.data(), silence.data(), kBlock);
  EXPECT_EQ(fx->envelope(), 0.0f);
  EXPECT_EQ(fx->position(), 0.0f);
}

TEST(Wahwah, AnswersOnlyItsOwnControllers) {
  auto fx = dsp::createEffect(1227, 0);
  ASSERT_NE(fx, nullptr);
  EXPECT_EQ(fx->parameter(0).current, 0.1875f);
  EXPECT_EQ(fx->parameter(1).current, 0.0f);
  EXPECT_EQ(fx->processEvent(EffectEvent::controller(111, 100)), dsp::kNotHandled);
  EXPECT_EQ(fx->processEvent(EffectEvent::controller(112, 100)), dsp::kNotHandled);
  EXPECT_EQ(fx->parameter(0).target, 0.1875f);
  EXPECT_EQ(fx->parameter(1).target, 0.0f);
  EXPECT_EQ(fx->processEvent(EffectEvent::controller(110, 64)), 50000u);
  EXPECT_EQ(fx->processEvent(EffectEvent::controller(113, 127)), 99218u);
}

}  // namespace
