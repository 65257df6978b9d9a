#include "dsp/effect_catalogue.h"

#include <algorithm>
#include <new>

#include "dsp/am_modulator.h"
#include "dsp/chorus.h"
#include "dsp/chorus_rand.h"
#include "dsp/distorsion.h"
#include "dsp/effect_descriptors.h"
#include "dsp/eqm.h"
#include "dsp/flanger.h"
#include "dsp/fm_modulator.h"
#include "dsp/hall_reverb.h"
#include "dsp/leslie.h"
#include "dsp/multiband_limiter.h"
#include "dsp/panner.h"
#include "dsp/plate_reverb.h"
#include "dsp/resonant_cutoff.h"
#include "dsp/room_reverb.h"
#include "dsp/slicer.h"
#include "dsp/stereo_compressor.h"
#include "dsp/stereo_echo.h"
#include "dsp/tremolo.h"
#include "dsp/wahwah.h"

namespace dsp {
namespace {

// An effect joins the build by naming its constructor here: `create<TWahwah>` in place of the
// null in its row. Nothing else needs to change.
template <class Effect>
TAutomatedEffect* create(EffectObserver* owner, uint32_t flags) {
  return new (std::nothrow) Effect(owner, flags);
}

namespace d = descriptors;

constexpr bool kFlags = true;
constexpr bool kNoFlags = false;

const CatalogueEntry kCatalogue[] = {
    {101, "EQm", &d::kEQm, kNoFlags, create<EQm>},
    {102, "StereoCompressor", &d::kStereoCompressor, kNoFlags, create<StereoCompressor>},
    {103, "MultibandLimiter", &d::kMultibandLimiter, kNoFlags, create<MultibandLimiter>},
    {1201, "TChannelEffect", &d::kChannelEffect, kNoFlags, nullptr},
    {1202, "TDistorsion", &d::kDistorsion, kNoFlags, create<TDistorsion>},
    {1203, "TResonantCutoff", &d::kResonantCutoff, kFlags, create<TResonantCutoff>},
    {1204, "TStereoEcho", &d::kStereoEcho, kFlags, create<TStereoEcho>},
    {1205, "TTremolo", &d::kTremolo, kFlags, create<TTremolo>},
    {1206, "TPanner", &d::kPanner, kFlags, create<TPanner>},
    {1207, "TVinilyzer", &d::kVinilyzer, kNoFlags, nullptr},
    {1208, "TSlicer", &d::kSlicer, kFlags, create<TSlicer>},
    {1209, "TLoFi", &d::kLoFi, kNoFlags, nullptr},
    {1210, "TFlanger", &d::kFlanger, kFlags, create<TFlanger>},
    {1211, "TChorus", &d::kStereoChorus, kNoFlags, create<TChorus>},
    {1212, "TAmModulator", &d::kAmModulator, kNoFlags, create<TAmModulator>},
    {1213, "TFmModulator", &d::kFmModulator, kNoFlags, create<TFmModulator>},
    {1220, "TPlateReverb", &d::kPlateReverb, kNoFlags, create<TPlateReverb>},
    {1221, "THallReverb", &d::kHallReverb, kNoFlags, create<THallReverb>},
    {1223, "TChannelEffect2", &d::kChannelEffect2, kNoFlags, nullptr},
    {1224, "TChorusRand", &d::kStereoChorus, kNoFlags, create<TChorusRand>},
    {1225, "TRoomReverb", &d::kRoomReverb, kNoFlags, create<TRoomReverb>},
    {1226, "TLeslie", &d::kLeslie, kFlags, create<TLeslie>},
    {1227, "TWahwah", &d::kWahwah, kFlags, create<TWahwah>},
};

}  // namespace

std::span<const CatalogueEntry> catalogue() {
  return kCatalogue;
}

const CatalogueEntry* findCatalogueEntry(uint32_t number) {
  const auto* end = std::end(kCatalogue);
  const auto* it = std::find_if(std::begin(kCatalogue), end,
                                [number](const CatalogueEntry& e) { return e.number == number; });
  return it == end ? nullptr : it;
}

std::unique_ptr<TAutomatedEffect> createEffect(EffectObserver* owner, uint32_t number,
                                               uint32_t flags) {
  const CatalogueEntry* entry = findCatalogueEntry(number);
  if (!entry || !entry->create) return nullptr;
  return std::unique_ptr<TAutomatedEffect>(entry->create(owner, entry->passesFlags ? flags : 0));
}

std::unique_ptr<TAutomatedEffect> createEffect(uint32_t number, uint32_t flags) {
  return createEffect(nullptr, number, flags);
}

}  // namespace dsp
