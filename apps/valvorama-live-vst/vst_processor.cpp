#include "vst_processor.h"

#include <cstring>
#include <mutex>
#include <thread>

#include "plugin/sample_rate.h"
#include "ui/eva_engine.h"
#include "vst_events.h"

namespace vstplugin {
namespace {

// Rates a host may ask for; anything else (0, NaN, a slip) keeps the rate in force.
constexpr float kLowestRate = 8000.0f;
constexpr float kHighestRate = 768000.0f;

}  // namespace

VstProcessor::VstProcessor(ui::evaEngine* engine)
    : plugin::vlvrProcessor(engine), uiEngine_(engine), midi_(*this) {}

VstProcessor::~VstProcessor() {
  withdrawWindowMidi();
}

void VstProcessor::setParameter(int32_t index, float normalised) {
  uiEngine_->makeCurrent();
  vlvrProcessor::setParameter(index, normalised);
}

float VstProcessor::getParameter(int32_t index) {
  uiEngine_->makeCurrent();
  return vlvrProcessor::getParameter(index);
}

void VstProcessor::process(float** inputs, float** outputs, int32_t frames) {
  uiEngine_->makeCurrent();
  vlvrProcessor::process(inputs, outputs, frames);
}

void VstProcessor::processReplacing(float** inputs, float** outputs, int32_t frames) {
  uiEngine_->makeCurrent();
  vlvrProcessor::processReplacing(inputs, outputs, frames);
}

intptr_t VstProcessor::dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                  float opt) {
  uiEngine_->makeCurrent();
  switch (opcode) {
    case plugin::effClose:
      closeInstance();
      return 0;
    case plugin::effEditOpen: {
      withdrawWindowMidi();  // opening again closes the window that is open
      const intptr_t opened = vlvrProcessor::dispatcher(opcode, index, value, ptr, opt);
      windowMidi_.store(windowMidiHandler());
      return opened;
    }
    case plugin::effEditClose:
      withdrawWindowMidi();
      vlvrProcessor::dispatcher(opcode, index, value, ptr, opt);
      midi_.loadMappings();  // as the window left them: it may have learned
      return 0;
    case plugin::effEditIdle:
      vlvrProcessor::dispatcher(opcode, index, value, ptr, opt);
      // The window is gone without effEditClose when the host destroyed its parent.
      if (windowMidi_.load() && !windowMidiHandler()) {
        withdrawWindowMidi();
        midi_.loadMappings();
      }
      return 0;
    default:
      return vlvrProcessor::dispatcher(opcode, index, value, ptr, opt);
  }
}

void VstProcessor::setSampleRate(float rate) {
  if (!(rate >= kLowestRate && rate <= kHighestRate)) return;
  vlvrProcessor::setSampleRate(rate);
  // Hosts change the rate while the plug-in is suspended, when the rack may be reformatted.
  setDspSampleRate(static_cast<int32_t>(rate));
}

void VstProcessor::setBlockSizeAndSampleRate(int32_t size, float rate) {
  setBlockSize(size);
  setSampleRate(rate);
}

void VstProcessor::createDsp() {
  plugin::setProcessSampleRate(getSampleRate());
  vlvrProcessor::createDsp();
}

void VstProcessor::setupPlug() {
  vlvrProcessor::setupPlug();
  canProcessReplacing();
}

intptr_t VstProcessor::canDo(const char* text) {
  return std::strcmp(text, "receiveVstEvents") == 0 || std::strcmp(text, "receiveVstMidiEvent") == 0
             ? 1
             : 0;
}

bool VstProcessor::canParameterBeAutomated(int32_t index) {
  return index >= 0 && index < numParams();
}

// Sequentially consistent on purpose: either the window's withdrawal is seen here, or the
// withdrawing thread sees this call in progress and waits for it.
intptr_t VstProcessor::processEvents(void* events) {
  uiEngine_->makeCurrent();
  const auto* list = static_cast<const VstEventList*>(events);
  if (!list) return 0;
  eventsInProgress_.fetch_add(1);
  plugin::MidiHandler* window = windowMidi_.load();
  plugin::MidiHandler& handler = window ? *window : midi_.handler();
  VstEvent* const* slots = list->events;
  for (int32_t i = 0; i < list->numEvents; ++i) {
    const VstEvent* event = slots[i];
    if (!event || event->type != kVstMidiType) continue;
    const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
    const uint8_t bytes[3] = {static_cast<uint8_t>(midi->midiData[0]),
                              static_cast<uint8_t>(midi->midiData[1]),
                              static_cast<uint8_t>(midi->midiData[2])};
    handler.onMidiMessage(bytes);
  }
  eventsInProgress_.fetch_sub(1);
  if (!window) midi_.takePending();
  return 1;
}

void VstProcessor::readSettings() {
  bank_.load(*this);
  midi_.loadMappings();
}

plugin::MidiHandler* VstProcessor::windowMidiHandler() {
  std::lock_guard lock(uiEngine_->userInterfaceMutex());  // the editor's timer may be at work
  return uiEngine_->midiHandler();
}

void VstProcessor::withdrawWindowMidi() {
  if (!windowMidi_.exchange(nullptr)) return;
  while (eventsInProgress_.load() != 0)
    std::this_thread::yield();
}

void VstProcessor::closeInstance() {
  withdrawWindowMidi();
  if (editor_) editor_->close();  // the window writes its files as it closes
  bank_.saveIfChanged(*this);
  delete this;
}

}  // namespace vstplugin
