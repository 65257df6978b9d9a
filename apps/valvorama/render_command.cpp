// valvorama render: re-amps a sound file through a program.

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli_error.h"
#include "commands.h"
#include "demo_phrase.h"
#include "framework/settings_folder.h"
#include "full_scale.h"
#include "render.h"
#include "same_file.h"
#include "sound_file.h"

namespace {

constexpr int kDemoRate = 44100;

}  // namespace

int runRender(Arguments& args) {
  std::string programText = "1", bank, tailText = "2", value, config;
  std::vector<std::string> sets, positional;
  bool keepLatency = false, demo = false;
  while (!args.empty()) {
    if (args.takeValue("--program", programText) || args.takeValue("--bank", bank) ||
        args.takeValue("--tail", tailText)) {
    } else if (args.takeValue("--config", config)) {
      framework::SettingsFolder::setOverride(config);
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
  refuseSameFile(output, session.loadBank(bank), "the program bank");
  RenderInput input;
  int sampleRate = kDemoRate;
  std::unique_ptr<SoundFileReader> reader;
  std::vector<float> phrase;
  if (demo) {
    phrase = demoPhrase(kDemoRate);
    input = monoInput(phrase);
  } else {
    refuseSameFile(output, positional[0], "the input file");
    reader = std::make_unique<SoundFileReader>(positional[0]);
    sampleRate = reader->sampleRate();
    input.channels = reader->channels();
    input.expectedFrames = reader->frames();
    input.read = [&reader](float* into, long frames) { return reader->read(into, frames); };
  }
  session.start(sampleRate, program - 1);
  for (const auto& s : sets)
    session.set(s);

  SoundFileWriter writer(output, sampleRate, 2);
  const RenderResult out = render(
      session, input, static_cast<long>(tail * sampleRate), keepLatency,
      [&writer](const float* stereo, long frames) { writer.write(stereo, frames); }, true);
  writer.commit();

  const double duration = double(out.frames) / sampleRate;
  std::printf(
      "%s: in peak %s dBFS rms %s dBFS, out peak %s dBFS rms %s dBFS, %.2f s, %.0fx real "
      "time\n",
      output.c_str(), dbText(out.input.peakDb).c_str(), dbText(out.input.rmsDb).c_str(),
      dbText(out.output.peakDb).c_str(), dbText(out.output.rmsDb).c_str(), duration,
      out.seconds > 0 ? duration / out.seconds : 0.0);
  reportNonFinite(session.processor().nonFiniteInputSamples(),
                  session.processor().silencedBlocks());
  return 0;
}
