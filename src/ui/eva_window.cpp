#include "ui/eva_window.h"

#include "plugin/eva_processor.h"
#include "ui/eva_editor.h"
#include "ui/eva_engine.h"
#include "ui/eva_panel.h"

namespace ui {

evaWindow::evaWindow(evaEngine& engine, const WindowClocks& clocks)
    : epiWindow(engine, kIdentifier),
      application_(engine),
      editor_(engine.editor()),
      processor_(*engine.processor()),
      clocks_(clocks) {}

evaWindow::~evaWindow() {
  close();
}

void evaWindow::openWindow() {
  for (int32_t number = 0; number < kMaxPanels; ++number) {
    std::unique_ptr<evaPanel> panel = createPanel(number);
    if (!panel) break;
    addPanel(std::move(panel));
  }
}

std::unique_ptr<evaPanel> evaWindow::createPanel(int32_t) {
  return nullptr;
}

void evaWindow::updateControlForParameter(int32_t, float) {}

void evaWindow::setParameterFromPanel(int32_t index, float plain) {
  processor_.setParameterAutomated(index, plain);
}

void evaWindow::updateChangedParameters(bool force) {
  if (!force && !processor_.anyParameterChanged()) return;
  // Cleared before the walk: a value stored meanwhile sets it again for the next refresh.
  processor_.clearAnyParameterChanged();
  plugin::evaProcessorParameters& parameters = processor_.parameters();
  for (int32_t i = 0; i < parameters.count(); ++i) {
    if (!force && !parameters[i].isChanged()) continue;
    parameters[i].clearChanged();
    updateControlForParameter(i, parameters[i].current());
  }
}

void evaWindow::idle() {
  updateChangedParameters(false);
}

void evaWindow::noteControl(int32_t panel, int32_t control) {
  lastPanel_ = panel;
  lastControl_ = control;
}

bool evaWindow::held(int32_t panel, int32_t control) const {
  if (!pointerHeld_ || panel != heldPanel_) return false;
  const gui::epiAlphaPanel* shown = this->panel(panel);
  const gui::epiAlphaControl* target = shown ? shown->control(control) : nullptr;
  // The pressable controls of a panel do not overlap, so the one under the press is held.
  return target && target->visible() && target->bounds().contains(pressX_, pressY_);
}

bool evaWindow::pointerInput(const platform::InputEvent& event) {
  using Type = platform::InputEvent::Type;
  if (event.button == 1 && event.type == Type::kButtonPress) {
    pointerHeld_ = true;
    heldPanel_ = -1;
    for (int32_t i = 0; i < panelCount(); ++i) {
      if (panel(i)->active()) heldPanel_ = i;
    }
    pressX_ = event.x;
    pressY_ = event.y - contentTop();
  } else if (event.button == 1 && event.type == Type::kButtonRelease) {
    pointerHeld_ = false;
  }
  return epiWindow::pointerInput(event);
}

}  // namespace ui
