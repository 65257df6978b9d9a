// valvorama tune: the product's tuner over a file, as the rack runs it.

#include <cstdio>
#include <string>

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
  std::string input;
  while (!args.empty()) {
    if (args.takeValue("--reference", reference)) continue;
    input = args.positional("INPUT");
    args.finish();
  }
  if (input.empty()) throw CliError("missing INPUT (try 'valvorama tune --help')");
  const float referenceHz =
      static_cast<float>(parseNumber(reference, 100.0, 1000.0, "--reference"));

  const Audio audio = readSoundFile(input);
  auto tuner = pseudoutils::createChromaticTuner(audio.sampleRate);
  if (!tuner) throw CliError("cannot tune '" + input + "': unsupported sample rate");
  tuner->setReference(referenceHz);

  float block[kBlock];
  pseudoutils::TunerReading reading;
  std::string shown;
  for (long start = 0; start + kBlock <= audio.frames(); start += kBlock) {
    for (int i = 0; i < kBlock; ++i)
      block[i] = audio.samples[(start + i) * audio.channels];
    bool found = false, voiced = false;
    float frequency = 0.0f;
    int note = 0, cents = 0;
    tuner->analyze(block, kBlock, &found, &voiced, &frequency, &note, &cents);
    reading = pseudoutils::nextReading(reading, found, voiced, note, cents);
    if (!reading.valid) continue;
    const std::string now = describe(reading);
    if (now != shown) {
      std::printf("%.3f %s\n", double(start + kBlock) / audio.sampleRate, now.c_str());
      shown = now;
    }
  }
  return 0;
}
