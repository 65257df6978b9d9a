#include "tuner/tuner_reading.h"

#include <algorithm>
#include <cstdlib>

namespace pseudoutils {
namespace {

constexpr NoteName kNotes[12] = {{0, false}, {0, true},  {1, false}, {2, false},
                                 {2, true},  {3, false}, {3, true},  {4, false},
                                 {5, false}, {5, true},  {6, false}, {6, true}};

// Shared by every display so that all needles step together.
std::atomic<std::uint64_t> gDisplayCalls{0};

constexpr std::uint64_t kValid = 1;
constexpr std::uint64_t kNoPitch = 2;
constexpr std::uint64_t kInTune = 4;
constexpr std::uint64_t kSharp = 8;

}  // namespace

NoteName noteName(int semitone) {
  const int index = ((semitone % 12) + 12) % 12;
  return kNotes[index];
}

TunerReading nextReading(const TunerReading& previous, bool found, bool voiced, int note,
                         int cents) {
  TunerReading next = previous;
  next.valid = found;
  if (!found) return next;
  next.noPitch = !voiced;
  if (!voiced) return next;
  const NoteName name = noteName(note);
  next.letter = name.letter;
  next.sharp = name.sharp;
  next.inTune = std::abs(cents) <= 2;
  if (next.inTune) {
    next.segment = 0;
  } else {
    const int steps = (std::abs(cents) + 4) / 7;
    next.segment = cents < 0 ? -steps : steps;
  }
  next.cents = cents;
  return next;
}

std::uint64_t SharedTunerReading::pack(const TunerReading& r) {
  std::uint64_t word = (r.valid ? kValid : 0u) | (r.noPitch ? kNoPitch : 0u) |
                       (r.inTune ? kInTune : 0u) | (r.sharp ? kSharp : 0u);
  word |= std::uint64_t(std::uint8_t(r.letter)) << 8;
  word |= std::uint64_t(std::uint8_t(std::int8_t(r.segment))) << 16;
  word |= std::uint64_t(std::uint32_t(r.cents)) << 32;
  return word;
}

TunerReading SharedTunerReading::unpack(std::uint64_t word) {
  TunerReading r;
  r.valid = word & kValid;
  r.noPitch = word & kNoPitch;
  r.inTune = word & kInTune;
  r.sharp = word & kSharp;
  r.letter = std::uint8_t(word >> 8);
  r.segment = std::int8_t(std::uint8_t(word >> 16));
  r.cents = std::int32_t(std::uint32_t(word >> 32));
  return r;
}

void TunerDisplay::update(const TunerReading& reading) {
  if (reading.valid) {
    note = reading.letter + 1;
    sharp = reading.sharp;
    segmentTarget = std::clamp(reading.segment + 7, 0, 14);
    inTune = reading.inTune;
    cents = std::clamp(reading.cents, -50, 50);
  }
  const std::uint64_t calls = gDisplayCalls.fetch_add(1, std::memory_order_relaxed) + 1;
  if (calls % 5 == 0 && segment != segmentTarget) segment += segment < segmentTarget ? 1 : -1;
}

}  // namespace pseudoutils
