// valvorama tune: the product's tuner over a file, as the rack runs it.

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "cli_error.h"
#include "commands.h"
#include "sound_file.h"
#include "tuner/chromatic_tuner.h"
#include "tuner/tuner_reading.h"

namespace {

constexpr int kBlock = 64;

// "A#", "E" or "-" for no pitch, and the cents or "-".
std::string describe(const pseudoutils::TunerReading& r) {
  if (r.noPitch) return "- -";
  static const char kLetters[] = "ABCDEFG";
  std::string text(1, kLetters[r.letter]);
  if (r.sharp) text += '#';
  return text + " " + std::to_string(r.cents);
}

}  // namespace

int runTune(Arguments& args) {
  std::string reference = "440";
  std::vector<std::string> positional;
  while (!args.empty()) {
    if (!args.takeValue("--reference", reference)) positional.push_back(args.positional("INPUT"));
  }
  if (positional.size() != 1) throw CliError("usage: valvorama tune INPUT [--reference HZ]");
  const std::string& input = positional[0];
  const float referenceHz =
      static_cast<float>(parseNumber(reference, 100.0, 1000.0, "--reference"));

  SoundFileReader reader(input);
  auto tuner = pseudoutils::createChromaticTuner(reader.sampleRate());
  if (!tuner) throw CliError("cannot tune '" + input + "': unsupported sample rate");
  tuner->setReference(referenceHz);

  const int channels = reader.channels();
  std::vector<float> frames(kBlock * channels);
  float block[kBlock];
  pseudoutils::TunerReading reading;
  std::string shown;
  for (long start = 0; reader.read(frames.data(), kBlock) == kBlock; start += kBlock) {
    for (int i = 0; i < kBlock; ++i) {
      const float x = frames[i * channels];
      block[i] = std::isfinite(x) ? x : 0.0f;  // as the processor takes it
    }
    bool found = false, voiced = false;
    float frequency = 0.0f;
    int note = 0, cents = 0;
    tuner->analyze(block, kBlock, &found, &voiced, &frequency, &note, &cents);
    reading = pseudoutils::nextReading(reading, found, voiced, note, cents);
    if (!reading.valid) continue;
    const std::string now = describe(reading);
    if (now != shown) {
      std::printf("%.3f %s\n", double(start + kBlock) / reader.sampleRate(), now.c_str());
      shown = now;
    }
  }
  return 0;
}
