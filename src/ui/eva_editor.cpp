#include "ui/eva_editor.h"

#include <string>

#include "plugin/eva_processor.h"
#include "ui/eva_engine.h"
#include "ui/eva_window.h"

namespace ui {

evaEditor::evaEditor() = default;

evaEditor::~evaEditor() {
  close();
}

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
  if (open_) close();
  engine_->makeCurrent();
  engine_->setHasWindow(true);
  parent_ = parent;
  engine_->attachToHost(parent);
  openWindow(parent);
  open_ = true;
  return 1;
}

void evaEditor::openWindow(void* parent) {
  if (!parent || !processor_) return;
  std::string error;
  if (!engine_->display() && !engine_->openDisplay(nullptr, error)) return;
  std::unique_ptr<evaWindow> window = engine_->createWindow();
  if (!window) return;
  const plugin::ERect size = engine_->editorSize();
  if (!window->openInside(reinterpret_cast<uintptr_t>(parent), 0, 0, size.right - size.left,
                          size.bottom - size.top)) {
    return;
  }
  window_ = std::move(window);
  window_->openWindow();
}

void evaEditor::close() {
  if (!open_) return;
  if (window_) {
    window_->close();  // its last words write the files
    window_.reset();
  }
  engine_->detachFromHost();
  engine_->setHasWindow(false);
  parent_ = nullptr;
  open_ = false;
}

void evaEditor::idle() {
  if (!engine_) return;
  engine_->makeCurrent();
  engine_->processEvents(0);
  if (updatePending_) update();
}

void evaEditor::update() {
  updatePending_ = false;
  if (window_) window_->invalidate();
}

void evaEditor::postUpdate() {
  updatePending_ = true;
}

void evaEditor::parameterDisplayChanged(int32_t index, float value) {
  if (window_) window_->updateControlForParameter(index, value);
}

}  // namespace ui
