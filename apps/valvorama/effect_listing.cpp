#include "effect_listing.h"

#include "dsp/effect_catalogue.h"

void printEffectCatalogue(std::FILE* out) {
  const auto entries = dsp::catalogue();
  int built = 0;
  for (const auto& e : entries)
    built += e.create ? 1 : 0;
  std::fprintf(out, "Effect catalogue: %zu entries, %d available in this build\n\n", entries.size(),
               built);

  for (const auto& e : entries) {
    const dsp::EffectDescriptor& d = *e.descriptor;
    std::fprintf(out, "%5u  %-18s \"%s\"  %u in / %u out  %s%s\n", e.number, e.className, d.name,
                 d.inputChannels, d.outputChannels, e.create ? "available" : "not built",
                 e.passesFlags ? ", takes tempo/mod-wheel flags" : "");
    std::fprintf(out, "       %-3s %-16s %8s %7s  %s\n", "#", "parameter", "default", "cc",
                 "glide");
    for (uint32_t i = 0; i < d.parameterCount; ++i) {
      char glide[32];
      if (d.rampRates[i] > 0.0f) {
        std::snprintf(glide, sizeof glide, "%g per frame", d.rampRates[i]);
      } else {
        std::snprintf(glide, sizeof glide, "jumps");
      }
      std::fprintf(out, "       %-3u %-16s %8d %7u  %s\n", i, d.names[i], d.defaults[i],
                   d.controllers[i], glide);
    }
    std::fputc('\n', out);
  }
}
