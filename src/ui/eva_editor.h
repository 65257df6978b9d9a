#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "plugin/aeff_editor.h"
#include "plugin/aeffect.h"
#include "ui/editor_idle_timer.h"

namespace plugin {
class evaProcessor;
}

namespace ui {

class evaEngine;
class evaWindow;

// The processor's editor: the object a host (or the stand-alone host window) opens to show the
// main window inside a window of its own. The engine owns it; the processor only points to it.
//
// open() takes the host's X11 window id cast to a pointer. Without a display, or with a parent
// that is null or refuses a child, the editor is open without a window: update and parameter
// notifications then have nothing to draw. Keys are left to the host (the base answers "not
// handled").
//
// Inside a plug-in host the editor opens the engine's display connection itself and closes it
// again with the window, so a closed editor holds no X resources. Its entry points hold the
// engine's user-interface lock; idle() only tries it, so the host's thread never waits for the
// editor's own timer, which makes the passes while the host leaves its idle calls out. The audio
// thread never comes here.
class evaEditor : public plugin::AEffEditor {
 public:
  evaEditor();
  ~evaEditor() override;

  intptr_t getRect(plugin::ERect** rect) override;
  intptr_t open(void* parent) override;
  void close() override;
  // The host's idle: the pass, unless the editor's timer is making one.
  void idle() override;
  void update() override;
  void postUpdate() override;
  virtual void parameterDisplayChanged(int32_t index, float value);

  void setEngine(evaEngine* engine) { engine_ = engine; }
  void setProcessor(plugin::evaProcessor* processor);
  evaEngine* engine() const { return engine_; }
  plugin::evaProcessor* processor() const { return processor_; }
  bool isOpen() const { return open_; }
  void* parent() const { return parent_; }
  bool updatePending() const { return updatePending_.load(std::memory_order_relaxed); }
  // The main window while the editor is open with one; null otherwise.
  evaWindow* window() const { return window_.get(); }

 private:
  void openWindow(void* parent);
  // One pass of the engine's event processing that never waits, then the update asked for;
  // the user-interface lock held.
  void pass();

  evaEngine* engine_ = nullptr;
  plugin::evaProcessor* processor_ = nullptr;
  void* parent_ = nullptr;
  bool open_ = false;
  // Posted from any thread (a host's automation).
  std::atomic<bool> updatePending_{false};
  bool ownsDisplay_ = false;
  plugin::ERect rect_{};
  std::unique_ptr<evaWindow> window_;
  std::unique_ptr<EditorIdleTimer> timer_;
};

}  // namespace ui
