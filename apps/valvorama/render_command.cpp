// valvorama render: re-amps a sound file through a program.

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli_error.h"
#include "commands.h"
#include "demo_phrase.h"
#include "render.h"

namespace {

constexpr int kDemoRate = 44100;

void refuseSameFile(const std::string& input, const std::string& output) {
  std::error_code ec;
  if (std::filesystem::equivalent(input, output, ec)) {
    throw CliError("OUTPUT '" + output + "' is the input file; choose another name");
  }
}

}  // namespace

std::string dbText(double db) {
  char text[32];
  if (std::isinf(db)) return "-inf";
  std::snprintf(text, sizeof text, "%.1f", db);
  return text;
}

int runRender(Arguments& args) {
  std::string programText = "1", bank, tailText = "2", value;
  std::vector<std::string> sets, positional;
  bool keepLatency = false, demo = false;
  while (!args.empty()) {
    if (args.takeValue("--program", programText) || args.takeValue("--bank", bank) ||
        args.takeValue("--tail", tailText)) {
    } else if (args.takeValue("--set", value)) {
      sets.push_back(value);
    } else if (args.take("--keep-latency")) {
      keepLatency = true;
    } else if (args.take("--demo")) {
      demo = true;
    } else {
      positional.push_back(args.positional("INPUT OUTPUT"));
    }
  }
  if (positional.size() != (demo ? 1u : 2u)) {
    throw CliError(demo ? "usage: valvorama render [options] --demo OUTPUT"
                        : "usage: valvorama render [options] INPUT OUTPUT");
  }
  const int program = parseInteger(programText, 1, 128, "--program");
  const double tail = parseNumber(tailText, 0.0, 600.0, "--tail");
  const std::string output = positional.back();

  // Everything the user could get wrong is checked before any output exists.
  ProcessorSession session;
  session.loadBank(bank);
  Audio input;
  if (demo) {
    input.sampleRate = kDemoRate;
    input.channels = 1;
    input.samples = demoPhrase(kDemoRate);
  } else {
    refuseSameFile(positional[0], output);
    input = readSoundFile(positional[0]);
  }
  session.start(input.sampleRate, program - 1);
  for (const auto& s : sets)
    session.set(s);

  SoundFileWriter writer(output, input.sampleRate, 2);
  const Rendered out = render(session, input, tail, keepLatency, true);
  writeStereo(writer, out);

  std::vector<float> mono(input.frames());
  for (long i = 0; i < input.frames(); ++i)
    mono[i] = input.samples[i * input.channels];
  const Levels in = measure(mono), outL = measure(out.left);
  const double duration = double(out.left.size()) / input.sampleRate;
  std::printf(
      "%s: in peak %s dBFS rms %s dBFS, out peak %s dBFS rms %s dBFS, %.2f s, %.0fx real "
      "time\n",
      output.c_str(), dbText(in.peakDb).c_str(), dbText(in.rmsDb).c_str(),
      dbText(outL.peakDb).c_str(), dbText(outL.rmsDb).c_str(), duration,
      out.seconds > 0 ? duration / out.seconds : 0.0);
  return 0;
}
