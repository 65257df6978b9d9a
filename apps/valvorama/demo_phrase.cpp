#include "demo_phrase.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// One plucked string (Karplus-Strong): a burst of noise circulating in a delay line one period
// long, softened by a two-point average on every pass. The noise comes from a fixed integer
// generator, so the phrase is the same on every run.
void pluck(std::vector<float>& out, int start, double hz, double seconds, float level,
           int sampleRate, uint32_t seed) {
  const double period = sampleRate / hz;
  const int length = std::max(2, static_cast<int>(period));
  const float frac = static_cast<float>(period - length);  // fractional delay, by allpass
  std::vector<float> line(length);
  for (float& x : line) {
    seed = seed * 1664525u + 1013904223u;
    x = static_cast<float>(seed >> 8) / 8388608.0f - 1.0f;
  }
  // A pick is not a noise burst: soften the excitation so the attack sounds like a string.
  for (int pass = 0; pass < 2; ++pass) {
    float previous = line.back();
    for (float& x : line) {
      const float y = 0.5f * (x + previous);
      previous = x;
      x = y;
    }
  }
  const float apCoefficient = (1.0f - frac) / (1.0f + frac);
  float apIn = 0.0f, apOut = 0.0f;
  const int frames = static_cast<int>(seconds * sampleRate);
  const float decay = 0.996f;
  int pos = 0;
  for (int i = 0; i < frames && start + i < static_cast<int>(out.size()); ++i) {
    const int next = (pos + 1) % length;
    const float averaged = decay * 0.5f * (line[pos] + line[next]);
    // First-order allpass tunes the fraction of a sample that the integer line misses.
    const float tuned = apCoefficient * (averaged - apOut) + apIn;
    apIn = averaged;
    apOut = tuned;
    line[pos] = tuned;
    // A short fade at the end keeps the release click-free.
    const float fade = std::min(1.0f, static_cast<float>(frames - i) / (0.02f * sampleRate));
    out[start + i] += level * fade * tuned;
    pos = next;
  }
}

double noteHz(int midi) {
  return 440.0 * std::pow(2.0, (midi - 69) / 12.0);
}

}  // namespace

std::vector<float> demoPhrase(int sampleRate) {
  const double beat = 60.0 / 100.0;  // 100 BPM
  std::vector<float> out(static_cast<size_t>(10.0 * sampleRate), 0.0f);
  uint32_t seed = 20261206u;
  auto at = [&](double beats) { return static_cast<int>(beats * beat * sampleRate); };

  // Bar 1-2: a riff on the low strings.
  const int riff[] = {40, 40, 43, 45, 40, 47, 45, 43};
  for (int i = 0; i < 8; ++i) {
    pluck(out, at(i * 0.5), noteHz(riff[i]), beat * 0.6, 0.5f, sampleRate, seed += 7919);
  }
  // Bars 2-4: strummed chords, E major, A major, D major, E major; 12 ms between strings.
  const int chords[4][6] = {{40, 47, 52, 56, 59, 64},
                            {45, 52, 57, 61, 64, 0},
                            {50, 57, 62, 66, 0, 0},
                            {40, 47, 52, 56, 59, 64}};
  for (int c = 0; c < 4; ++c) {
    const int start = at(4.0 + c * 2.0);
    for (int s = 0, k = 0; s < 6; ++s) {
      if (chords[c][s] == 0) continue;
      const int offset = static_cast<int>(0.012 * sampleRate * k++);
      pluck(out, start + offset, noteHz(chords[c][s]), beat * 2.2, 0.22f, sampleRate,
            seed += 104729);
    }
  }
  // A last high lick and a ringing open low E.
  const int lick[] = {64, 67, 69, 71, 69, 67};
  for (int i = 0; i < 6; ++i) {
    pluck(out, at(12.0 + i * 0.33), noteHz(lick[i]), beat * 0.5, 0.35f, sampleRate, seed += 31);
  }
  pluck(out, at(14.0), noteHz(40), 10.0 - 14.0 * beat, 0.5f, sampleRate, seed + 1);
  return out;
}
