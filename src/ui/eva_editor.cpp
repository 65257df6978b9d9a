#include "ui/eva_editor.h"

#include <mutex>
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
  std::lock_guard lock(engine_->userInterfaceMutex());
  engine_->makeCurrent();
  // Per editor rather than shared, so two plug-in instances never write one record.
  rect_ = engine_->editorSize();
  *rect = &rect_;
  return 1;
}

intptr_t evaEditor::open(void* parent) {
  if (!engine_) return 0;
  std::lock_guard lock(engine_->userInterfaceMutex());
  if (open_) close();
  engine_->makeCurrent();
  engine_->setHasWindow(true);
  parent_ = parent;
  engine_->attachToHost(parent);
  openWindow(parent);
  open_ = true;
  if (window_ && engine_->inPluginHost()) {
    if (!timer_) {
      timer_ = std::make_unique<EditorIdleTimer>(engine_->userInterfaceMutex(), [this] { pass(); });
    }
    timer_->hostPassed();  // the host's idle calls get their chance first
    timer_->start();
  }
  return 1;
}

void evaEditor::openWindow(void* parent) {
  if (!parent || !processor_) return;
  std::string error;
  if (!engine_->display()) {
    if (!engine_->openDisplay(nullptr, error)) return;
    ownsDisplay_ = true;
  }
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
  std::lock_guard lock(engine_->userInterfaceMutex());
  if (timer_) timer_->stop();
  if (window_) {
    window_->close();  // its last words write the files
    window_.reset();
  }
  // The connection this editor opened goes with it, and whatever else was shown on it.
  if (ownsDisplay_) engine_->closeDisplay();
  ownsDisplay_ = false;
  engine_->detachFromHost();
  engine_->setHasWindow(false);
  parent_ = nullptr;
  open_ = false;
}

void evaEditor::idle() {
  if (!engine_) return;
  if (timer_) timer_->hostPassed();
  // The editor's timer is making a pass right now: this call has nothing left to do.
  std::unique_lock lock(engine_->userInterfaceMutex(), std::try_to_lock);
  if (lock) pass();
}

void evaEditor::pass() {
  engine_->makeCurrent();
  engine_->processEvents(0);
  if (updatePending_.load(std::memory_order_relaxed)) update();
}

void evaEditor::update() {
  updatePending_.store(false, std::memory_order_relaxed);
  if (!engine_) return;
  std::lock_guard lock(engine_->userInterfaceMutex());
  if (window_) window_->invalidate();
}

void evaEditor::postUpdate() {
  updatePending_.store(true, std::memory_order_relaxed);
}

void evaEditor::parameterDisplayChanged(int32_t index, float value) {
  if (!engine_) return;
  std::lock_guard lock(engine_->userInterfaceMutex());
  if (window_) window_->updateControlForParameter(index, value);
}

}  // namespace ui
