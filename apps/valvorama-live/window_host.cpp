#include "window_host.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "audio_report.h"
#include "console_log.h"
#include "framework/settings_folder.h"
#include "gui/epi_message_box.h"
#include "keyboard_shortcuts.h"
#include "plugin/vlvr_processor.h"
#include "stop_signal.h"
#include "ui/vlvr_engine.h"
#include "ui/vlvr_preferences.h"

namespace {

using framework::SettingsFolder;

// How long a pass of the warning box's loop waits for input.
constexpr int32_t kBoxWaitMs = 20;

bool hasRack(plugin::evaProcessor* processor) {
  const auto* amp = dynamic_cast<plugin::vlvrProcessor*>(processor);
  return amp && amp->rack();
}

bool exists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(path, ignored);
}

// For the tests only: VALVORAMA_LIVE_FAIL=engine makes creating the engine fail, =init its
// initialisation, so the start-up failures can be seen without breaking the installation.
bool failureAsked(const char* step) {
  const char* fail = std::getenv("VALVORAMA_LIVE_FAIL");
  return fail && std::string(fail) == step;
}

// The start-up failure in the warning box, until the player closes it or a stop signal comes;
// also on stderr for a terminal. Without a display the box's text goes to stderr alone.
void showStartFailure(gui::epiEngineClass& engine, StopSignal& stop, const char* text) {
  std::fprintf(stderr, "%s\n", text);
  std::string noDisplay;
  if (!engine.openDisplay(nullptr, noDisplay)) return;
  if (!gui::epiMessageBox::show(engine, text)) return;
  trace("message box shown");
  while (engine.findWindow(gui::epiMessageBox::kIdentifier) &&
         !stop.wait(std::chrono::milliseconds(0))) {
    if (!engine.processEvents(kBoxWaitMs)) break;
  }
  trace("message box closed");
}

int64_t framesPlayed(const LiveHostWindow& window) {
  const host::evaHostAudio* audio = window.hostAudio();
  return audio && audio->audio() ? audio->audio()->getSamplePosition() : 0;
}

}  // namespace

int runWindowHost(const std::optional<LiveHostWindow::Screenshot>& screenshot) {
  StopSignal stop;  // first, so every thread started below leaves the signals to this one

  ui::evaEngine* engine = failureAsked("engine") ? nullptr : ui::createEngine();
  if (!engine) {
    gui::epiEngineClass boxOnly;  // the box needs an application of its own
    showStartFailure(boxOnly, stop, "Create engine failed !");
    return 1;
  }
  trace("engine created");
  engine->setHostCallback(nullptr);
  engine->setStandAlone(true);
  if (failureAsked("init") || !engine->init()) {
    if (!failureAsked("init")) {
      problem("cannot read the resource file %s (or its update file %s)",
              engine->resourcePath().c_str(), engine->updatePath().c_str());
    }
    showStartFailure(*engine, stop, "Failed !");
    delete engine;
    return 1;
  }
  trace("engine initialised");

  plugin::evaProcessor* processor = engine->processor();
  processor->open();
  trace("processor open rack=%d", hasRack(processor));
  const std::string bank = SettingsFolder::file(processor->bankFileName());
  trace("bank loaded=%d", processor->loadProgramBankFile(bank));

  int status = 0;
  std::string error;
  std::unique_ptr<LiveHostWindow> hostWindow;
  if (!engine->openDisplay(nullptr, error)) {
    problem("%s", error.c_str());
    status = 2;
  } else {
    trace("display open");
    hostWindow = std::make_unique<LiveHostWindow>(*engine, *processor, SettingsFolder::path(), stop,
                                                  screenshot);
    hostWindow->setMidiHandlerSource([engine] { return engine->midiHandler(); });
    engine->setKeyboardHook(keyboardShortcuts(*hostWindow));
    if (!hostWindow->create()) {
      problem("cannot open the window");
      status = 1;
    } else {
      const host::evaHostAudio* audio = hostWindow->hostAudio();
      const auto state = audio ? audio->status().state : host::evaHostAudio::State::kStopped;
      trace("host window created audio=%d", static_cast<int>(state));
      if (state == host::evaHostAudio::State::kRunning) reportAudio(*audio, state);
      engine->run();
      trace("loop ended");
    }
    const long long frames = framesPlayed(*hostWindow);
    hostWindow->stopAudio();
    trace("audio stopped frames=%lld", frames);
  }
  // The device has stopped: the rack can go.
  processor->close();
  trace("processor closed rack=%d", hasRack(processor));
  if (hostWindow) {
    hostWindow->close();  // the editor's window writes its files first
    trace("host window closed preferences=%d bank=%d",
          exists(SettingsFolder::file(ui::vlvrPreferences::kFileName)), exists(bank));
    if (hostWindow->screenshotFailed()) status = 1;
    engine->setKeyboardHook({});
    hostWindow.reset();
  }
  engine->closeAllWindows();
  trace("windows closed");
  delete processor;  // deletes the engine too
  trace("processor deleted engine=%d", ui::evaEngine::current() != nullptr);
  return status;
}
