#include "audio_report.h"

#include <cstdio>

#include "console_log.h"

using host::evaHostAudio;

void reportAudio(const evaHostAudio& audio, evaHostAudio::State state) {
  const evaHostAudio::Status status = audio.status();
  const host::HardwareSettings& settings = audio.settings();
  switch (state) {
    case evaHostAudio::State::kRunning:
      std::printf("audio: %s, in \"%s\", out \"%s\", %g Hz, %d frames, latency %.1f ms\n",
                  status.technology.c_str(),
                  status.inputDevice.empty() ? "(none)" : status.inputDevice.c_str(),
                  status.outputDevice.empty() ? "(none)" : status.outputDevice.c_str(),
                  static_cast<double>(status.sampleRate), status.blockSize, status.latencyMs);
      std::fflush(stdout);
      break;
    case evaHostAudio::State::kNoTechnology:
      if (settings.audioTechnology.empty()) {
        problem("no audio technology selected: run valvorama devices / valvorama hardware");
      } else {
        problem(
            "audio technology \"%s\" is not available: run valvorama devices / valvorama "
            "hardware",
            settings.audioTechnology.c_str());
      }
      break;
    case evaHostAudio::State::kNoSampleRate:
      problem("no sample rate selected: set SelectedFrequencies with valvorama hardware");
      break;
    case evaHostAudio::State::kOpenFailed:
      problem("cannot open the audio devices (in \"%s\", out \"%s\", %s Hz, %s frames)",
              settings.curInDeviceName.c_str(), settings.curOuDeviceName.c_str(),
              settings.selectedFrequencies.c_str(), settings.selectedBufSize.c_str());
      break;
    case evaHostAudio::State::kStartFailed:
      problem("the audio device opened but did not start");
      break;
    case evaHostAudio::State::kStopped:
      break;
  }
}
