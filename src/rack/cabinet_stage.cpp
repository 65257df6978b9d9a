#include "rack/cabinet_stage.h"

#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <span>

#include "rack/peak_design.h"

namespace rack {
namespace {

struct Tap {
  float seconds;
  float gain;
};

constexpr Tap kModel1Taps[] = {
    {0.000136208851f, 1.0f}, {0.000295119185f, -0.15f}, {0.000476730987f, 0.3f},
    {0.000976163428f, 0.1f}, {0.00141884224f, 0.1f},    {0.00172531209f, 0.1f},
    {0.00208853581f, 0.1f},  {0.00238365494f, 0.15f},   {0.0030079456f, 0.1f},
    {0.0120317824f, 0.06f},
};

constexpr Tap kModel5Taps[] = {
    {9.0805901e-05f, 1.0f},    {0.000351872877f, 0.1f},  {0.000510783226f, 0.13f},
    {0.000749148719f, -0.15f}, {0.000828603865f, -0.1f}, {0.00106696936f, -0.14f},
    {0.0012031782f, 0.08f},    {0.00165720773f, 0.1f},   {0.0019296254f, 0.08f},
    {0.00233825203f, 0.1f},    {0.00488081714f, 0.06f},  {0.00997729879f, -0.08f},
};

constexpr Tap kModel6Taps[] = {
    {9.0805901e-05f, 1.0f},  {0.000113507376f, 0.2f}, {0.000987514155f, 0.1f},
    {0.00153234962f, 0.15f}, {0.00267877406f, 0.1f},  {0.00321225869f, 0.08f},
    {0.00322360964f, 0.08f}, {0.00464245165f, 0.09f}, {0.00548240636f, 0.06f},
};

// One tap more than the largest table, for option 1.
static_assert(std::size(kModel5Taps) + 1 <= Reflections::kMaxTaps);

constexpr float kOption2Weight = 1.2f;
constexpr float kOption3LowShelfCutDb = 2.5f;

}  // namespace

// A model's reflections and shelves and what its options change.
struct CabinetStage::Voicing {
  std::span<const Tap> taps;
  float option1Factor;  // applied to every tap after the direct sound
  Tap option1Tap;
  float option2HighShelfCutDb;
  float highShelfDb;
  float highShelfHz;
  float lowShelfDb;
  float lowShelfHz;
};

CabinetStage::CabinetStage() {
  setFormat(44100);
}

void CabinetStage::setFormat(int sampleRate) {
  sampleRate_ = sampleRate;
  for (dsp::BiquadFilter* f :
       {&cabLowPass_, &cabHighPass_, &cabLowPass2_, &cabNotch_, &cabShelves_, &cabPresence_})
    f->setFormat(1, sampleRate);
  cabFirstOrder_.setFormat(1, sampleRate);
  setModel(model_, option1_, option2_, option3_);
}

int CabinetStage::tapDelay(float seconds) const {
  // The clamp keeps the longest tap inside the ring above about 170 kHz.
  return std::clamp(static_cast<int>(static_cast<float>(sampleRate_) * seconds), 0,
                    Reflections::kMaxDelay);
}

const CabinetStage::Voicing& CabinetStage::designFilters(int model) {
  static constexpr Voicing kModel1{
      .taps = kModel1Taps,
      .option1Factor = 1.4f,
      .option1Tap = {0.00102156645f, -0.25f},
      .option2HighShelfCutDb = 8.0f,
      .highShelfDb = 0.0f,
      .highShelfHz = 1000.0f,
      .lowShelfDb = 0.0f,
      .lowShelfHz = 1000.0f,
  };
  static constexpr Voicing kModel5{
      .taps = kModel5Taps,
      .option1Factor = 1.4f,
      .option1Tap = {0.00102156645f, -0.4f},
      .option2HighShelfCutDb = 8.0f,
      .highShelfDb = 0.0f,
      .highShelfHz = 800.0f,
      .lowShelfDb = 0.0f,
      .lowShelfHz = 1000.0f,
  };
  static constexpr Voicing kModel6{
      .taps = kModel6Taps,
      .option1Factor = 1.7f,
      .option1Tap = {0.00116912602f, -0.3f},
      .option2HighShelfCutDb = 12.0f,
      .highShelfDb = 6.0f,
      .highShelfHz = 2600.0f,
      .lowShelfDb = 2.0f,
      .lowShelfHz = 200.0f,
  };
  switch (model) {
    case 5:  // mod closed 4x10
      cabHighPass_.setAnalog(0.6f, 0.0f, 0.0f, 0.6f, 327.218628f, 341428.656f);
      cabLowPass_.setAnalog(0.0f, 0.0f, 729912896.0f, 1.0f, 20667.9277f, 729912896.0f);
      cabLowPass2_.setAnalog(0.0f, 0.0f, 679876928.0f, 1.0f, 49541.4531f, 679876928.0f);
      cabFirstOrder_.setAnalog(1.0f, 1451.37292f, 1.0f, 691.130005f);
      designPeak(cabNotch_, -5.0f, 1310.0f, 0.8f);
      return kModel5;
    case 6:  // british 2x12
      cabFirstOrder_.setAnalog(1.0f, 0.0f, 1.0f, 628.3f);
      designPeak(cabLowPass2_, 7.0f, 150.0f, 0.9f);
      designPeak(cabHighPass_, -11.0f, 6400.0f, 1.2f);
      cabLowPass_.setAnalog(0.0f, 0.0f, 266858352.0f, 1.0f, 16335.8f, 266858352.0f);
      designPeak(cabNotch_, -11.5f, 1250.0f, 0.9f);
      return kModel6;
    default:  // open back 1x12 (model 1); model 2 and the unused numbers share its voicing
      cabHighPass_.setAnalog(1.0f, 0.0f, 0.0f, 1.0f, 1005.28f, 252646.98f);
      cabFirstOrder_.setAnalog(1.0f, 0.0f, 1.0f, 502.64f);
      cabLowPass_.setAnalog(0.0f, 0.0f, 379365248.0f, 1.0f, 19477.3f, 379365248.0f);
      designFirstOrder(cabLowPass2_, 0.0f, 19477.3f, 1.0f, 19477.3f);
      designPeak(cabNotch_, -2.5f, 1400.0f, 2.0f);
      return kModel1;
  }
}

void CabinetStage::setModel(int model, int option1, int option2, int option3) {
  model_ = model;
  option1_ = option1;
  option2_ = option2;
  option3_ = option3;
  const Voicing& v = designFilters(model);

  int delays[Reflections::kMaxTaps];
  float gains[Reflections::kMaxTaps];
  const int listed = static_cast<int>(v.taps.size());
  int count = listed;
  for (int k = 0; k < listed; ++k) {
    delays[k] = tapDelay(v.taps[k].seconds);
    gains[k] = v.taps[k].gain;
  }
  if (option1 != 0) {
    for (int k = 1; k < listed; ++k)
      gains[k] *= v.option1Factor;
    delays[count] = tapDelay(v.option1Tap.seconds);
    gains[count] = v.option1Tap.gain;
    ++count;
  }
  float highDb = v.highShelfDb;
  float lowDb = v.lowShelfDb;
  if (option2 != 0) {
    // At absurdly low rates the last listed tap could truncate to 0 samples.
    const float last = static_cast<float>(std::max(delays[listed - 1], 1));
    for (int k = 0; k < count; ++k)
      gains[k] *= static_cast<float>(delays[k]) / last + kOption2Weight;
    highDb -= v.option2HighShelfCutDb;
  }
  reflections_.setTaps(count, delays, gains);

  designPeak(cabPresence_, 5.0f, 1100.0f, 0.8f);
  if (option3 != 0) lowDb -= kOption3LowShelfCutDb;
  designShelves(cabShelves_, highDb, v.highShelfHz, lowDb, v.lowShelfHz);
}

void CabinetStage::reset() {
  for (dsp::BiquadFilter* f :
       {&cabLowPass_, &cabHighPass_, &cabLowPass2_, &cabNotch_, &cabShelves_, &cabPresence_})
    f->reset();
  cabFirstOrder_.reset();
  reflections_.clear();
}

void CabinetStage::process(float* out, const float* in, int frames) {
  if (model_ == kNoCabinet) {
    if (out != in) std::copy_n(in, frames, out);
    return;
  }
  // Every section may work in place, so the whole chain runs in the destination. The filters
  // are linear, so their order is free: the first-order section goes first and the biquads
  // run as one cascade.
  reflections_.process(out, in, frames);
  cabFirstOrder_.processBlock(out, out, frames);
  dsp::BiquadFilter* const cascade[] = {&cabLowPass_, &cabHighPass_, &cabLowPass2_,
                                        &cabNotch_,   &cabShelves_,  &cabPresence_};
  dsp::BiquadFilter::processCascade(cascade, option3_ != 0 ? 6 : 5, out, out, frames);
}

std::complex<double> CabinetStage::filterResponse(double hz) const {
  std::complex<double> h = cabLowPass_.response(hz) * cabHighPass_.response(hz) *
                           cabLowPass2_.response(hz) * cabFirstOrder_.response(hz) *
                           cabNotch_.response(hz) * cabShelves_.response(hz);
  if (option3_ != 0) h *= cabPresence_.response(hz);
  return h;
}

}  // namespace rack
