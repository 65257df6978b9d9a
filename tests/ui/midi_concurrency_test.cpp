#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>
#include <vector>

#include "ui_test_support.h"

namespace {

using ui::vlvrMidiControl;

// The MIDI thread stores knob values and preset steps while the audio thread runs the rack and
// the user-interface thread takes the steps, starts learns and reads the mappings. Run under
// ThreadSanitizer, this proves they share nothing but atomic words.
TEST(MidiControlConcurrency, MidiThreadAgainstTheAudioThreadAndTheIdleTick) {
  uitest::MidiRig rig(true);
  rig.midi.startLearn(vlvrMidiControl::kLearnPresetUp);
  rig.send(0xB0, 64, 127);
  rig.midi.idle();

  std::atomic<bool> midiDone{false}, audioDone{false};
  std::latch start(3);  // the three loops start together, so that they overlap
  std::thread audio([&] {
    start.arrive_and_wait();
    std::vector<float> in(256, 0.01f), out0(256), out1(256);
    float* inputs[2] = {in.data(), in.data()};
    float* outputs[2] = {out0.data(), out1.data()};
    while (!audioDone.load(std::memory_order_relaxed))
      rig.processor->processReplacing(inputs, outputs, 256);
  });
  std::thread midi([&] {
    start.arrive_and_wait();
    for (int i = 0; i < 3000; ++i) {
      rig.send(0xB0, uint8_t(11 + i % 30), uint8_t(i % 128));
      rig.send(0xB0, 64, i % 100 == 0 ? 127 : 0);
    }
    midiDone.store(true, std::memory_order_relaxed);
  });

  start.arrive_and_wait();
  int32_t mapped = 0;
  for (int pass = 0; pass < 1000 || !midiDone.load(std::memory_order_relaxed); ++pass) {
    rig.midi.idle();
    if (pass % 50 == 0) rig.midi.startLearn(vlvrMidiControl::kLearnVolume);
    mapped += rig.midi.controller(11 + pass % 30);
  }
  midi.join();
  rig.midi.idle();
  audioDone.store(true, std::memory_order_relaxed);
  audio.join();

  EXPECT_GE(rig.processor->getProgram(), 0);
  EXPECT_LT(rig.processor->getProgram(), 128);
  EXPECT_GT(mapped, 0);
  for (int row = 0; row < rig.processor->parameters().count(); ++row) {
    const auto& p = rig.processor->parameters()[row];
    EXPECT_GE(p.current(), p.minimum);
    EXPECT_LE(p.current(), p.maximum);
  }
}

}  // namespace
