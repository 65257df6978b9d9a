#pragma once

#include <atomic>
#include <cstdint>

namespace pseudoutils {

// The latest tuner result, rewritten after every analysed block.
struct TunerReading {
  bool valid = false;    // the tuner reported a result for the block; nothing else is new if not
  bool noPitch = false;  // the result had no voiced pitch; the fields below keep their values
  bool inTune = false;   // |cents| <= 2
  bool sharp = false;
  int letter = 0;   // 0 = A .. 6 = G
  int segment = 0;  // needle position from the centre, -7..+7
  int cents = 0;

  bool operator==(const TunerReading&) const = default;
};

struct NoteName {
  int letter;  // 0 = A .. 6 = G
  bool sharp;
};

// Semitones counted from A (0 = A .. 11 = G sharp).
NoteName noteName(int semitone);

// The reading after one block, from what the tuner's analyze() reported for it. A block that
// was not analysed (tuner off) counts as found = false.
TunerReading nextReading(const TunerReading& previous, bool found, bool voiced, int note,
                         int cents);

// The reading as one word, so the audio thread can publish it and the window read it without a
// lock or a torn record.
class SharedTunerReading {
 public:
  void publish(const TunerReading& reading) {
    word_.store(pack(reading), std::memory_order_relaxed);
  }
  TunerReading read() const { return unpack(word_.load(std::memory_order_relaxed)); }

 private:
  static std::uint64_t pack(const TunerReading& reading);
  static TunerReading unpack(std::uint64_t word);

  std::atomic<std::uint64_t> word_{0};
  static_assert(std::atomic<std::uint64_t>::is_always_lock_free);
};

// What the window shows, advanced once per display tick (40 ms) on the user-interface thread.
struct TunerDisplay {
  int note = 0;  // letter + 1 (1..7), 0 blank
  int sharp = 0;
  int segmentTarget = 0;  // 0..14, 7 in tune
  int segment = 0;        // the needle shown, following the target one step at a time
  bool inTune = false;
  int cents = 0;  // -50..+50

  // Takes a valid reading, then moves the needle one step towards its target on every fifth
  // call counted across all displays of the process (one step per 200 ms at the tick rate).
  void update(const TunerReading& reading);
};

}  // namespace pseudoutils
