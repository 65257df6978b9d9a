#pragma once

#include <atomic>
#include <cstdint>

#include "instance_bank.h"
#include "instance_midi.h"
#include "plugin/vlvr_processor.h"

namespace ui {
class evaEngine;
}

namespace vstplugin {

// The amp's processor as a host's plug-in. Unlike the stand-alone's it says it can replace
// (hosts refuse or fall back to the accumulating call without the flag), says its parameters
// can be automated, takes MIDI events from the host, reads the stand-alone's program bank when it
// is made and writes it back when the host closes it, and deletes itself on effClose, as a
// plug-in's owner expects.
//
// Each entry point makes this instance's engine current first: several instances share the
// process.
//
// MIDI goes to the open window's handling when there is one, else to the instance's own. The
// window's handler is published to the events' thread (the host's audio thread) through an
// atomic; closing the window first withdraws it and waits for a call in progress to leave it.
class VstProcessor : public plugin::vlvrProcessor {
 public:
  explicit VstProcessor(ui::evaEngine* engine);
  ~VstProcessor() override;

  void setParameter(int32_t index, float normalised) override;
  float getParameter(int32_t index) override;
  void process(float** inputs, float** outputs, int32_t frames) override;
  void processReplacing(float** inputs, float** outputs, int32_t frames) override;
  intptr_t dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) override;
  // The host's rate is the rack's: the stand-alone's racks take the process's rate, which no
  // host sets for a plug-in. (Instances of one process opening at different rates at the same
  // moment could still cross; hosts run all their plug-ins at one rate.)
  void setSampleRate(float rate) override;
  void setBlockSizeAndSampleRate(int32_t size, float rate) override;
  void createDsp() override;
  void setupPlug() override;
  intptr_t canDo(const char* text) override;
  // Every parameter: a host asks before it offers one for automation.
  bool canParameterBeAutomated(int32_t index) override;
  intptr_t processEvents(void* events) override;

  // The settings folder's bank and mappings, once the engine is initialised.
  void readSettings();

 private:
  plugin::MidiHandler* windowMidiHandler();
  void withdrawWindowMidi();
  // effClose: the editor's files, the bank, then the instance itself. Nothing may touch this
  // object afterwards.
  void closeInstance();

  ui::evaEngine* uiEngine_;
  InstanceMidi midi_;
  InstanceBank bank_;
  std::atomic<plugin::MidiHandler*> windowMidi_{nullptr};
  std::atomic<int> eventsInProgress_{0};
};

}  // namespace vstplugin
