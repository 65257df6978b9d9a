#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "support/allocation_counter.h"
#include "tuner_signals.h"

namespace {

using namespace pseudoutils;
using tunertest::kRate;
using tunertest::TunerRig;

TunerReading pitch(int note, int cents) {
  return nextReading(TunerReading{}, true, true, note, cents);
}

TEST(ChromaticTuner, NotesCentsAndNeedleTargets) {
  struct Case {
    float hz, reference;
    int note, cents, letter;
    bool sharp;
    int target;
  };
  const Case cases[] = {
      {440.0f, 440.0f, 0, 0, 0, false, 7},  {445.0f, 440.0f, 0, 19, 0, false, 10},
      {466.16f, 440.0f, 1, 0, 0, true, 7},  {220.0f, 440.0f, 0, 0, 0, false, 7},
      {207.65f, 440.0f, 11, 0, 6, true, 7}, {440.0f, 442.0f, 0, -7, 0, false, 6},
      {82.41f, 440.0f, 7, 0, 4, false, 7},  {436.0f, 440.0f, 0, -15, 0, false, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hz);
    const NoteDeviation n = nearestNote(c.hz, c.reference);
    EXPECT_EQ(n.note, c.note);
    EXPECT_EQ(n.cents, c.cents);
    TunerDisplay display;
    display.update(pitch(n.note, n.cents));
    EXPECT_EQ(display.note, c.letter + 1);
    EXPECT_EQ(display.sharp, c.sharp);
    EXPECT_EQ(display.segmentTarget, c.target);
  }

  // The same from steady tones; a reference that is not a positive number keeps the last.
  for (const Case& c : {cases[0], cases[2], cases[4], cases[5]}) {
    SCOPED_TRACE(c.hz);
    TunerRig rig;
    for (float reference : {c.reference, 0.0f, -440.0f, NAN, INFINITY})
      rig.tuner->setReference(reference);
    rig.feed(tunertest::sine(c.hz, kRate));
    int pitched = 0;
    for (const auto& e : rig.log) {
      if (e.seconds < 0.5 || !e.pitched()) continue;
      ++pitched;
      EXPECT_EQ(e.reading.letter, c.letter);
      EXPECT_EQ(e.reading.sharp, c.sharp);
      EXPECT_NEAR(e.reading.cents, c.cents, 1);
    }
    EXPECT_GT(pitched, 50);
  }
}

TEST(ChromaticTuner, ReadingsAndDisplay) {
  const int cents[] = {0, 2, -2, 3, -3, 9, 10, -16, -17, 44, 45, 50, -50};
  const int segment[] = {0, 0, 0, 1, -1, 1, 2, -2, -3, 6, 7, 7, -7};
  for (int i = 0; i < 13; ++i) {
    const TunerReading r = pitch(5, cents[i]);
    EXPECT_EQ(r.inTune, std::abs(cents[i]) <= 2) << cents[i];
    EXPECT_EQ(r.segment, segment[i]) << cents[i];
    EXPECT_EQ(r.cents, cents[i]);
  }

  // Without a pitch only the flags change; without a result only valid does.
  const TunerReading held = pitch(9, 12);
  TunerReading expected = held;
  expected.noPitch = true;
  EXPECT_EQ(nextReading(held, true, false, 0, 0), expected);
  expected = held;
  expected.valid = false;
  EXPECT_EQ(nextReading(held, false, true, 0, 0), expected);

  // The display limits the cents and ignores readings that are not valid.
  TunerDisplay display;
  TunerReading wild = pitch(3, -30);
  wild.cents = -75;
  display.update(wild);
  EXPECT_EQ(display.cents, -50);
  EXPECT_EQ(display.segmentTarget, 3);
  display.update(expected);
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
  for (int call = 0; call < 50; ++call)
    display.update(pitch(0, 20));
  EXPECT_EQ(display.segment, 10);
}

TEST(ChromaticTuner, ReadingIsPublishedWithoutTearing) {
  // The writer's readings have fields that agree with each other; a torn read would not.
  SharedTunerReading shared;
  shared.publish(pitch(0, 0));
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < 200000; ++i)
      shared.publish(pitch(i % 12, i % 101 - 50));
    done = true;
  });
  int torn = 0;
  while (!done) {
    const TunerReading r = shared.read();
    int note = 0;
    while (note < 11 && (noteName(note).letter != r.letter || noteName(note).sharp != r.sharp))
      ++note;
    torn += pitch(note, r.cents) != r;
  }
  writer.join();
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(shared.read(), pitch(199999 % 12, 199999 % 101 - 50));
}

TEST(ChromaticTuner, AnalysisAllocatesNothingPerBlock) {
  // Noise first, so that the detector also turns voiced and retunes its filter.
  std::vector<float> signal(kRate / 4, 0.0f);
  const auto note = tunertest::pluck(196.0, 1.0, {0.18, 0.22}, 3);
  signal.insert(signal.end(), note.begin(), note.end());
  tunertest::addNoise(signal, 0.01f, 4);
  TunerRig rig;
  rig.log.reserve(signal.size() / 64);
  SharedTunerReading shared;
  TunerDisplay display;
  testsupport::AllocationCounter counter;
  rig.tuner->setReference(441.0f);
  rig.feed(signal);
  for (const auto& e : rig.log) {
    shared.publish(e.reading);
    display.update(shared.read());
  }
  EXPECT_EQ(counter.count(), 0u);
  EXPECT_EQ(display.note, 7);  // G
}

}  // namespace
