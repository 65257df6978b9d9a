#include "ui/eva_editor.h"

#include "plugin/eva_processor.h"
#include "ui/eva_engine.h"

namespace ui {

void evaEditor::setProcessor(plugin::evaProcessor* processor) {
  processor_ = processor;
  effect_ = processor;
}

intptr_t evaEditor::getRect(plugin::ERect** rect) {
  if (!rect) return 0;
  *rect = nullptr;
  if (!engine_) return 0;
  engine_->makeCurrent();
  // Per editor rather than shared, so two plug-in instances never write one record.
  rect_ = engine_->editorSize();
  *rect = &rect_;
  return 1;
}

intptr_t evaEditor::open(void* parent) {
  if (!engine_) return 0;
  engine_->makeCurrent();
  engine_->setHasWindow(true);
  parent_ = parent;
  engine_->attachToHost(parent);
  // The main window joins here once windows exist; the editor is open without one until then.
  open_ = true;
  return 1;
}

void evaEditor::close() {
  if (!open_) return;
  engine_->detachFromHost();
  engine_->setHasWindow(false);
  parent_ = nullptr;
  open_ = false;
}

void evaEditor::idle() {
  if (!engine_) return;
  engine_->makeCurrent();
  engine_->processEvents();
  if (updatePending_) update();
}

void evaEditor::update() {
  updatePending_ = false;
}

void evaEditor::postUpdate() {
  updatePending_ = true;
}

void evaEditor::parameterDisplayChanged(int32_t, float) {
  // The main window's control follows the value; with no window there is nothing to move.
}

}  // namespace ui
