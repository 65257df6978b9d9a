// valvorama demo: the built-in phrase through the three amps, with levels and a picture.

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli_error.h"
#include "commands.h"
#include "demo_phrase.h"
#include "levels_plot.h"
#include "render.h"
#include "sound_file.h"

namespace {

constexpr int kRate = 44100;
constexpr int kAmpModelRow = 20;
constexpr int kCabinetRow = 19;
constexpr int kSpeakerRow = 21;

struct Voice {
  const char* name;
  int amp;
  int cabinet;
};

constexpr Voice kVoices[] = {{"clean", 0, 0}, {"lead", 1, 1}, {"crunch", 2, 2}};

}  // namespace

int runDemo(Arguments& args) {
  const std::string dir = args.empty() ? "demo" : args.positional("DIR");
  args.finish();
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) throw CliError("cannot create '" + dir + "': " + ec.message());

  const std::vector<float> phrase = demoPhrase(kRate);
  const Levels in = measure(phrase);
  std::printf("DI phrase: %.1f s, peak %s dBFS, rms %s dBFS\n\n", double(phrase.size()) / kRate,
              dbText(in.peakDb).c_str(), dbText(in.rmsDb).c_str());
  std::printf("%-8s %-24s %10s %10s %10s\n", "program", "file", "peak dBFS", "rms dBFS",
              "x realtime");

  std::vector<PlotTrack> tracks;
  for (const Voice& v : kVoices) {
    ProcessorSession session;
    session.start(kRate, 0);
    session.setPlain(kAmpModelRow, float(v.amp));
    session.setPlain(kCabinetRow, float(v.cabinet));
    session.setPlain(kSpeakerRow, 1.0f);

    const std::string file = dir + "/" + v.name + ".wav";
    SoundFileWriter writer(file, kRate, 2);
    std::vector<float> left;
    const RenderResult out = render(
        session, monoInput(phrase), 2 * kRate, false,
        [&](const float* stereo, long frames) {
          writer.write(stereo, frames);
          for (long i = 0; i < frames; ++i)
            left.push_back(stereo[2 * i]);
        },
        true);
    writer.commit();

    const double seconds = double(out.frames) / kRate;
    std::printf("%-8s %-24s %10s %10s %10.0f\n", v.name, file.c_str(),
                dbText(out.output.peakDb).c_str(), dbText(out.output.rmsDb).c_str(),
                out.seconds > 0 ? seconds / out.seconds : 0.0);
    std::vector<float> input = phrase;
    input.resize(left.size(), 0.0f);
    tracks.push_back({std::string(v.name) + " (amp " + std::to_string(v.amp) + ", cabinet " +
                          std::to_string(v.cabinet) + ")",
                      std::move(input), std::move(left), kRate});
  }
  const std::string picture = dir + "/levels.png";
  writeLevelsPlot(picture, tracks);
  std::printf("\nlevels and spectra: %s\n", picture.c_str());
  return 0;
}
