// valvorama effect / effects: any catalogue effect over a file, and the catalogue itself.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli_error.h"
#include "commands.h"
#include "dsp/effect_catalogue.h"
#include "dsp/library.h"
#include "effect_listing.h"
#include "full_scale.h"
#include "same_file.h"
#include "sound_file.h"

namespace {

constexpr int kBlock = 64;

}  // namespace

int runEffects(Arguments& args) {
  args.finish();
  printEffectCatalogue(stdout);
  return 0;
}

int runEffect(Arguments& args) {
  std::vector<std::pair<int, int>> controllers;
  std::optional<std::string> tempoText;
  std::string tailText = "2", value;
  std::vector<std::string> positional;
  while (!args.empty()) {
    if (args.takeValue("--cc", value)) {
      const auto eq = value.find('=');
      if (eq == std::string::npos)
        throw CliError("--cc takes CONTROLLER=VALUE, not '" + value + "'");
      controllers.emplace_back(parseInteger(value.substr(0, eq), 0, 127, "--cc controller"),
                               parseInteger(value.substr(eq + 1), 0, 127, "--cc value"));
    } else if (args.takeValue("--tempo", value)) {
      tempoText = value;
    } else if (args.takeValue("--tail", tailText)) {
    } else {
      positional.push_back(args.positional("NUMBER INPUT OUTPUT"));
    }
  }
  if (positional.size() != 3) throw CliError("usage: valvorama effect NUMBER INPUT OUTPUT");
  const int number = parseInteger(positional[0], 0, 1 << 30, "NUMBER");
  const std::string& input = positional[1];
  const std::string& output = positional[2];
  const double tail = parseNumber(tailText, 0.0, 600.0, "--tail");
  const double bpm = tempoText ? parseNumber(*tempoText, 1.0, 255.98, "--tempo") : 0.0;
  refuseSameFile(output, input, "the input file");

  dsp::library::seedIfUnset(1);
  dsp::library::initialize();
  auto effect = dsp::createEffect(static_cast<uint32_t>(number), dsp::kFlagObeyTempo);
  if (!effect) {
    throw CliError("no effect " + positional[0] + " in this build (see 'valvorama effects')");
  }
  SoundFileReader reader(input);
  // Prepared as the rack prepares its effects: format, reset, tempo, controllers.
  effect->setFormat(2, reader.sampleRate());
  effect->reset();
  if (tempoText) {
    const int whole = static_cast<int>(bpm / 2.0);
    const int fraction = static_cast<int>((bpm / 2.0 - whole) * 128.0);
    effect->processEvent(
        dsp::EffectEvent::tempo(static_cast<uint8_t>(fraction), static_cast<uint8_t>(whole)));
  }
  for (auto [cc, v] : controllers) {
    if (effect->processEvent(dsp::EffectEvent::controller(uint8_t(cc), uint8_t(v))) ==
        dsp::kNotHandled) {
      throw CliError("effect " + positional[0] + " has no controller " + std::to_string(cc));
    }
  }

  const int fileCh = reader.channels();
  const int inCh = effect->inputChannels();
  const int outCh = effect->outputChannels();
  std::vector<float> file(kBlock * fileCh), in(kBlock * inCh), out(kBlock * outCh),
      stereo(kBlock * 2);
  SoundFileWriter writer(output, reader.sampleRate(), 2);
  // The processor's rules: non-finite input is silence, and a block that comes out non-finite
  // is silenced and the effect cleared, so it recovers.
  uint64_t nonFiniteInput = 0, silencedBlocks = 0;
  long tailLeft = static_cast<long>(tail * reader.sampleRate());
  bool inputEnded = false;
  for (;;) {
    const long got = inputEnded ? 0 : reader.read(file.data(), kBlock);
    inputEnded = inputEnded || got < kBlock;
    const int n = static_cast<int>(got + std::min<long>(kBlock - got, tailLeft));
    if (n == 0) break;
    tailLeft -= n - got;
    for (long k = 0; k < got * fileCh; ++k) {
      if (std::isfinite(file[k])) continue;
      file[k] = 0.0f;
      ++nonFiniteInput;
    }
    for (int i = 0; i < n; ++i) {
      for (int c = 0; c < inCh; ++c) {
        const int source = std::min(c, fileCh - 1);  // a mono file feeds both sides
        in[i * inCh + c] = i < got ? file[i * fileCh + source] : 0.0f;
      }
    }
    effect->process(out.data(), in.data(), n);
    if (!std::all_of(out.begin(), out.begin() + n * outCh,
                     [](float x) { return std::isfinite(x); })) {
      ++silencedBlocks;
      std::fill(out.begin(), out.end(), 0.0f);
      effect->invalidate();
      effect->reset();
    }
    for (int i = 0; i < n; ++i) {
      for (int c = 0; c < 2; ++c)
        stereo[i * 2 + c] = clipToFullScale(out[i * outCh + std::min(c, outCh - 1)]);
    }
    writer.write(stereo.data(), n);
  }
  writer.commit();
  reportNonFinite(nonFiniteInput, silencedBlocks);
  return 0;
}
