#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "dsp/automated_effect.h"

namespace dsp {

// One numbered entry of the effect library.
struct CatalogueEntry {
  using Create = TAutomatedEffect* (*)(EffectObserver* owner, uint32_t flags);

  uint32_t number;
  const char* className;
  const EffectDescriptor* descriptor;
  bool passesFlags;  // whether the caller's flags reach the effect (else it gets 0)
  Create create;     // null while the effect is not part of this build
};

// Every catalogue entry in number order.
std::span<const CatalogueEntry> catalogue();

// The entry with exactly this number, or null.
const CatalogueEntry* findCatalogueEntry(uint32_t number);

// A new effect for a catalogue number, or null for an unknown or unbuilt number (or when the
// heap is exhausted). The caller calls setFormat before processing.
std::unique_ptr<TAutomatedEffect> createEffect(EffectObserver* owner, uint32_t number,
                                               uint32_t flags);
std::unique_ptr<TAutomatedEffect> createEffect(uint32_t number, uint32_t flags);

}  // namespace dsp
