// live_demo OUT.wav: the live half of `make demo`. On the running JACK server (JACK_DEFAULT_SERVER)
// it waits for valvorama-live's ports, takes the amp's input from its physical port, plays a
// click and then the built-in DI phrase into it, records the amp's two outputs into OUT.wav
// until the phrase is over or the amp leaves, and prints the xruns the server counted and the
// round-trip latency: the physical ports' latencies plus the click's measured way through the
// amp. Fails (status 1, one line why) when the amp does not appear, stays silent or loses the
// click.

#include <jack/jack.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "cli_error.h"
#include "demo_jack_client.h"
#include "demo_phrase.h"
#include "sound_file.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kAmpIn = "Valvorama Live:in_1";
constexpr const char* kAmpOut[] = {"Valvorama Live:out_1", "Valvorama Live:out_2"};
constexpr auto kAmpWait = 20s;
constexpr double kClickAt = 0.25, kPhraseAt = 0.75;  // seconds into what is played
constexpr double kClickSeconds = 0.01, kTailSeconds = 0.5;
// The click's echo is looked for this long after it went in.
constexpr double kClickWindowSeconds = 0.4;

int fail(const std::string& why) {
  std::fprintf(stderr, "live_demo: %s\n", why.c_str());
  return 1;
}

// A 10 ms burst of 1 kHz, loud enough to open the gate at once, then the phrase.
std::vector<float> demoSignal(int rate) {
  const std::vector<float> phrase = demoPhrase(rate);
  std::vector<float> signal(size_t(kPhraseAt * rate) + phrase.size(), 0.0f);
  const auto click = size_t(kClickAt * rate);
  for (size_t i = 0; i < size_t(kClickSeconds * rate); ++i)
    signal[click + i] = 0.5f * float(std::sin(2.0 * M_PI * 1000.0 * double(i) / rate));
  std::copy(phrase.begin(), phrase.end(), signal.begin() + long(kPhraseAt * rate));
  return signal;
}

bool ampThere(jack_client_t* client) {
  return jack_port_by_name(client, kAmpIn) && jack_port_by_name(client, kAmpOut[0]) &&
         jack_port_by_name(client, kAmpOut[1]);
}

bool joined(jack_client_t* client, const std::string& from, const std::string& to) {
  const int result = jack_connect(client, from.c_str(), to.c_str());
  return result == 0 || result == EEXIST;
}

// The amp joined its input to a physical port; the demo takes its place. The amp's ports exist
// a moment before its client is active and takes connections.
bool connectAround(const DemoJackClient& player, const DemoJackClient& recorder) {
  jack_client_t* client = player.client();
  if (!joined(client, player.outputName(0), kAmpIn) ||
      !joined(client, kAmpOut[0], recorder.inputName(0)) ||
      !joined(client, kAmpOut[1], recorder.inputName(1)))
    return false;
  if (const char** sources =
          jack_port_get_all_connections(client, jack_port_by_name(client, kAmpIn))) {
    for (const char** source = sources; *source; ++source)
      if (player.outputName(0) != *source) jack_disconnect(client, *source, kAmpIn);
    jack_free(sources);
  }
  return true;
}

// The worst latency of the first physical port in that direction; 0 when there is none.
jack_nframes_t physicalLatency(jack_client_t* client, unsigned long flags,
                               jack_latency_callback_mode_t mode) {
  const char** ports =
      jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | flags);
  jack_latency_range_t range{};
  if (ports && ports[0])
    jack_port_get_latency_range(jack_port_by_name(client, ports[0]), mode, &range);
  if (ports) jack_free(ports);
  return range.max;
}

// The first sample of `from`..`to` that reaches a fifth of the loudest one there; -1 for silence.
long onset(const std::vector<float>& x, size_t from, size_t to) {
  to = std::min(to, x.size());
  float peak = 0.0f;
  for (size_t i = from; i < to; ++i)
    peak = std::max(peak, std::fabs(x[i]));
  if (peak < 1e-3f) return -1;
  for (size_t i = from; i < to; ++i)
    if (std::fabs(x[i]) >= 0.2f * peak) return long(i);
  return -1;
}

double dbfs(double level) {
  return 20.0 * std::log10(std::max(level, 1e-9));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '-') {
    std::fputs("usage: live_demo OUT.wav  (valvorama-live running on the JACK server)\n", stderr);
    return 2;
  }
  const std::string outPath = argv[1];

  // The server's rate is known only once a client joins: a first one asks.
  DemoJackClient player("valvorama-demo-player", 1, 0, 0);
  if (!player.ok()) return fail(player.error());
  jack_client_t* client = player.client();
  const int rate = int(jack_get_sample_rate(client));
  const std::vector<float> signal = demoSignal(rate);
  DemoJackClient recorder("valvorama-demo-recorder", 0, 2,
                          signal.size() + size_t(kTailSeconds * rate));
  if (!recorder.ok()) return fail(recorder.error());

  const auto deadline = std::chrono::steady_clock::now() + kAmpWait;
  while (!ampThere(client) || !connectAround(player, recorder)) {
    if (std::chrono::steady_clock::now() > deadline)
      return fail("cannot connect to valvorama-live's ports on the JACK server within 20 s");
    std::this_thread::sleep_for(20ms);
  }

  recorder.record();
  player.play(signal);
  const size_t wanted = signal.size() + size_t(kTailSeconds * rate);
  bool ampLeft = false;
  while (recorder.recorded() < wanted) {
    if (!ampThere(client)) {
      ampLeft = true;
      break;
    }
    std::this_thread::sleep_for(10ms);
  }
  recorder.stopRecording();
  const size_t frames = recorder.recorded();
  const int xruns = recorder.xruns();

  // The click: where it went in and where it came out, both in the server's frame time.
  const int64_t clickIn = player.startFrame() + int64_t(kClickAt * rate);
  const int64_t from = clickIn - recorder.startFrame();
  const std::vector<float>& left = recorder.recording(0);
  const long clickOut =
      from < 0 ? -1 : onset(left, size_t(from), size_t(from) + size_t(kClickWindowSeconds * rate));
  if (clickOut < 0) return fail("the click did not come back out of the amp");
  const int64_t throughAmp = recorder.startFrame() + clickOut - clickIn;

  double peak = 0.0, energy = 0.0;
  std::vector<float> stereo(2 * frames);
  for (size_t i = 0; i < frames; ++i) {
    for (int c = 0; c < 2; ++c) {
      const float x = recorder.recording(c)[i];
      stereo[2 * i + size_t(c)] = x;
      peak = std::max(peak, double(std::fabs(x)));
      energy += double(x) * x;
    }
  }
  const double rms = frames ? std::sqrt(energy / double(2 * frames)) : 0.0;
  if (rms < 1e-4) return fail("the amp played nothing");
  try {
    SoundFileWriter writer(outPath, rate, 2);
    writer.write(stereo.data(), long(frames));
    writer.commit();
  } catch (const CliError& e) {
    return fail(e.what());
  }

  const jack_nframes_t capture = physicalLatency(client, JackPortIsOutput, JackCaptureLatency);
  const jack_nframes_t playback = physicalLatency(client, JackPortIsInput, JackPlaybackLatency);
  const int64_t roundTrip = int64_t(capture) + throughAmp + int64_t(playback);
  const auto ms = [rate](int64_t f) { return 1000.0 * double(f) / rate; };
  std::printf("live: %.1f s through valvorama-live on JACK (%d Hz, %u frames a period)%s -> %s\n",
              double(frames) / rate, rate, unsigned(jack_get_buffer_size(client)),
              ampLeft ? " until it quit" : "", outPath.c_str());
  std::printf("live: output peak %.1f dBFS, RMS %.1f dBFS\n", dbfs(peak), dbfs(rms));
  std::printf("live: xruns: %d\n", xruns);
  std::printf(
      "live: round-trip latency %lld frames (%.1f ms): capture %u + through the amp %lld "
      "(measured with a click) + playback %u\n",
      static_cast<long long>(roundTrip), ms(roundTrip), capture, static_cast<long long>(throughAmp),
      playback);
  return 0;
}
