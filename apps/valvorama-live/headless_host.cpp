#include "headless_host.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "audio_report.h"
#include "audio_watch.h"
#include "console_lcd.h"
#include "console_log.h"
#include "framework/safe_file.h"
#include "framework/settings_folder.h"
#include "host/eva_host_audio.h"
#include "plugin/vlvr_processor.h"
#include "stop_signal.h"
#include "ui/program_stepper.h"
#include "ui/vlvr_engine.h"
#include "ui/vlvr_midi_control.h"
#include "ui/vlvr_preferences.h"

namespace {

using framework::SettingsFolder;
using host::evaHostAudio;

// How often the loop wakes while it waits for a stop signal: the window's idle tick, which
// takes the program steps of the preset keys, so a step follows its pedal at once.
constexpr std::chrono::milliseconds kLoopPeriod{20};

bool hasRack(plugin::evaProcessor* processor) {
  const auto* amp = dynamic_cast<plugin::vlvrProcessor*>(processor);
  return amp && amp->rack();
}

bool samePrograms(const plugin::evaProcessorPrograms& a, const plugin::evaProcessorPrograms& b) {
  if (a.count() != b.count()) return false;
  for (int i = 0; i < a.count(); ++i) {
    if (std::memcmp(&a[i], &b[i], sizeof(plugin::evaProcessorProgram)) != 0) return false;
  }
  return true;
}

std::string bankPath(const plugin::evaProcessor& processor) {
  return SettingsFolder::file(processor.bankFileName());
}

// The window's refresh of the controls that follow changed parameters, as trace lines.
void traceChangedParameters(plugin::evaProcessor& processor) {
  if (!tracing() || !processor.anyParameterChanged()) return;
  processor.clearAnyParameterChanged();
  plugin::evaProcessorParameters& parameters = processor.parameters();
  for (int i = 0; i < parameters.count(); ++i) {
    if (!parameters[i].isChanged()) continue;
    parameters[i].clearChanged();
    trace("set %s to %d", parameters[i].name, plugin::truncatePlain(parameters[i].current()));
  }
}

// What the main window writes when it closes, before the program bank. False after telling the
// user what could not be written.
bool saveWindowFiles(ui::vlvrMidiControl& midi, const ui::vlvrPreferences& preferences,
                     plugin::evaProcessor& processor) {
  const std::string mappings = SettingsFolder::file(ui::vlvrMidiControl::kMappingsFileName);
  const std::string prefs = SettingsFolder::file(ui::vlvrPreferences::kFileName);
  SettingsFolder::create();  // a folder that cannot be made shows as the writes failing
  bool ok = true;
  if (!midi.saveMappings(mappings)) {
    problem("cannot write the MIDI mappings %s", mappings.c_str());
    ok = false;
  }
  if (!preferences.save(prefs, processor.getProgram())) {
    problem("cannot write the preferences %s", prefs.c_str());
    ok = false;
  }
  trace("window files written ok=%d", ok);
  return ok;
}

// The host window's audio step, without a window: the host audio object reads the hardware
// settings, creates the device and starts it.
void startAudio(evaHostAudio& audio) {
  host::HardwareSettings& settings = audio.settings();
  if (!settings.read() && !framework::fileIsMissing(settings.path())) {
    problem("cannot read %s: no audio until it is fixed", settings.path().c_str());
  }
  audio.create();
  const evaHostAudio::State state = audio.start();
  trace("audio started state=%d", static_cast<int>(state));
  reportAudio(audio, state);
}

}  // namespace

int runHeadlessHost(int learn) {
  StopSignal stop;  // first, so every thread started below leaves the signals to this one

  ui::evaEngine* engine = ui::createEngine();
  if (!engine) {
    std::fputs("Create engine failed !\n", stderr);
    return 1;
  }
  engine->setHostCallback(nullptr);
  engine->setStandAlone(true);
  if (!engine->init()) {
    std::fputs("Failed !\n", stderr);
    problem("cannot read the resource file %s (or its update file %s)",
            engine->resourcePath().c_str(), engine->updatePath().c_str());
    delete engine;
    return 1;
  }
  trace("engine initialised");

  plugin::evaProcessor* processor = engine->processor();
  processor->open();
  trace("processor open rack=%d", hasRack(processor));
  // A bank that is there but cannot be read (another version, damaged, not ours to read) stays
  // as it is: writing the built-in programs over it at stop would lose the player's programs.
  std::error_code noBank;
  const bool bankThere = std::filesystem::exists(bankPath(*processor), noBank);
  const bool keepBank = !processor->loadProgramBankFile(bankPath(*processor)) && bankThere;
  // Nothing here stores programs, so the bank is written back only when they changed (or when
  // there was none): a bank imported while the amp plays is not reverted at stop.
  const plugin::evaProcessorPrograms loadedPrograms = processor->programs();
  if (keepBank) {
    problem(
        "cannot read the program bank %s: playing the built-in programs, the file is left "
        "as it is",
        bankPath(*processor).c_str());
  }

  auto audio = std::make_unique<evaHostAudio>(*processor, SettingsFolder::path());
  startAudio(*audio);

  // What the main window does when it opens: the preferences, then the mappings; from then on
  // MIDI messages reach the MIDI handling.
  ConsoleLcd lcd;
  ui::ProgramStepper programs(*processor, lcd);
  ui::vlvrMidiControl midi(*processor, programs, lcd);
  ui::vlvrPreferences preferences;
  preferences.load(SettingsFolder::file(ui::vlvrPreferences::kFileName));
  preferences.apply(*processor);
  midi.loadMappings(SettingsFolder::file(ui::vlvrMidiControl::kMappingsFileName));
  trace("window files read program=%d reference=%d", processor->getProgram(),
        preferences.tunerHz());
  audio->setMidiHandler(&midi);  // outlives the device: audio goes first below
  if (learn != 0) midi.startLearn(learn);

  AudioWatch watch(*audio);
  while (!stop.wait(kLoopPeriod)) {
    engine->processEvents();
    midi.idle();
    traceChangedParameters(*processor);
    // A driver whose period or rate changed asked to be opened again.
    if (audio->serviceReset()) reportAudio(*audio, audio->status().state);
    switch (watch.check(std::chrono::steady_clock::now())) {
      case AudioWatch::Event::kFlowing:
        trace("audio flowing");
        break;
      case AudioWatch::Event::kStalled:
        problem("audio stopped after %lld frames: the device went away or stopped answering",
                static_cast<long long>(watch.frames()));
        break;
      case AudioWatch::Event::kNone:
        break;
    }
  }
  trace("stop signal %d", stop.received());

  // The main window's close writes its files before anything stops.
  int status = saveWindowFiles(midi, preferences, *processor) ? 0 : 1;
  if (keepBank) {
    trace("bank kept");
  } else if (bankThere && samePrograms(loadedPrograms, processor->programs())) {
    trace("bank unchanged");
  } else if (!SettingsFolder::create() || !processor->saveProgramBankFile(bankPath(*processor))) {
    problem("cannot write the program bank %s", bankPath(*processor).c_str());
    status = 1;
  } else {
    trace("bank written");
  }

  // The device stops before the processor deletes its rack.
  audio->stop();
  trace("audio stopped running=%d frames=%lld", audio->audio() && audio->audio()->isRunning(),
        static_cast<long long>(audio->audio() ? audio->audio()->getSamplePosition() : 0));
  audio.reset();
  trace("audio deleted");
  processor->close();
  trace("processor closed rack=%d", hasRack(processor));
  delete processor;  // deletes the engine too
  trace("processor deleted engine=%d", ui::evaEngine::current() != nullptr);
  return status;
}
