#include "tuner_signals.h"

namespace {

using namespace pseudoutils;
using tunertest::kRate;
using tunertest::TunerRig;

TunerReading pitch(int note, int cents) {
  return nextReading(TunerReading{}, true, true, note, cents);
}

TEST(ChromaticTuner, NotesCentsSharedReadingsAndTheDisplay) {
  const std::tuple<float, float, int, int, int, bool, int> cases[] = {
      {440.0f, 440.0f, 0, 0, 0, false, 7},  {445.0f, 440.0f, 0, 19, 0, false, 10},
      {466.16f, 440.0f, 1, 0, 0, true, 7},  {207.65f, 440.0f, 11, 0, 6, true, 7},
      {440.0f, 442.0f, 0, -7, 0, false, 6}, {436.0f, 440.0f, 0, -15, 0, false, 5}};
  for (const auto& [hz, reference, note, cents, letter, sharp, target] : cases) {
    SCOPED_TRACE(hz);
    const NoteDeviation n = nearestNote(hz, reference);
    EXPECT_EQ(std::pair(n.note, n.cents), std::pair(note, cents));
    TunerDisplay display;
    display.update(pitch(n.note, n.cents));
    EXPECT_EQ(std::tuple(display.note, display.sharp, display.segmentTarget),
              std::tuple(letter + 1, sharp, target));
  }

  // A steady tone through the tuner; a reference that is not a positive number keeps the last.
  TunerRig rig;
  for (float r : {442.0f, 0.0f, NAN, INFINITY})
    rig.tuner->setReference(r);
  rig.feed(tunertest::sine(440.0, kRate));
  const TunerReading last = rig.log.back().reading;  // the fields of the last result
  EXPECT_TRUE(last.letter == 0 && !last.sharp && !last.noPitch);
  EXPECT_NEAR(last.cents, -7, 1);

  const int segments[][2] = {{0, 0},    {2, 0},    {-2, 0}, {3, 1},  {-3, -1}, {9, 1},   {10, 2},
                             {-16, -2}, {-17, -3}, {44, 6}, {45, 7}, {50, 7},  {-50, -7}};
  for (auto [cents, segment] : segments) {
    const TunerReading r = pitch(5, cents);
    EXPECT_EQ(r.inTune, std::abs(cents) <= 2) << cents;
    EXPECT_EQ(r.segment, segment) << cents;
  }

  // Without a pitch only the flags change; without a result only valid does. The shared reading is
  // one word that carries every field, so a reader never sees half of a reading.
  const TunerReading held = pitch(9, 12);
  TunerReading noPitch = held, noResult = held;
  noPitch.noPitch = true;
  noResult.valid = false;
  EXPECT_EQ(nextReading(held, true, false, 0, 0), noPitch);
  EXPECT_EQ(nextReading(held, false, true, 0, 0), noResult);
  SharedTunerReading shared;
  for (const TunerReading& r : {noPitch, noResult}) {
    shared.publish(r);
    EXPECT_EQ(shared.read(), r);
  }
  for (int note = 0; note < 12; ++note) {
    for (int cents = -70; cents <= 70; ++cents) {
      shared.publish(pitch(note, cents));
      ASSERT_EQ(shared.read(), pitch(note, cents)) << note << ", " << cents;
    }
  }

  // The display limits the cents and ignores readings that are not valid.
  TunerDisplay display;
  TunerReading wild = pitch(3, -30);
  wild.cents = -75;
  display.update(wild);
  EXPECT_EQ(display.cents, -50);
  EXPECT_EQ(display.segmentTarget, 3);
  display.update(noResult);
  EXPECT_EQ(display.note, 3);  // C
  EXPECT_EQ(display.cents, -50);

  // The needle takes one step per five calls, counted across all displays.
  display.update(pitch(0, 20));  // target 10
  TunerDisplay other;
  int steps = 0;
  for (int call = 0; call < 10; ++call) {
    const int a = display.segment, b = other.segment;
    display.update(pitch(0, 20));
    other.update(pitch(0, 50));  // target 14
    steps += display.segment - a + other.segment - b;
  }
  EXPECT_EQ(steps, 4);
}

}  // namespace
