#pragma once

#include <cstdint>

#include "plugin/aeff_editor.h"
#include "plugin/aeffect.h"

namespace plugin {
class evaProcessor;
}

namespace ui {

class evaEngine;

// The processor's editor: the object a host (or the stand-alone host window) opens to show
// the main window. The engine owns it; the processor only points to it.
//
// Until the window system arrives it opens without a window: it remembers its parent, and
// update and parameter notifications have nothing to draw. Keys are left to the host (the
// base answers "not handled").
class evaEditor : public plugin::AEffEditor {
 public:
  evaEditor() = default;

  intptr_t getRect(plugin::ERect** rect) override;
  intptr_t open(void* parent) override;
  void close() override;
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
  bool updatePending() const { return updatePending_; }

 private:
  evaEngine* engine_ = nullptr;
  plugin::evaProcessor* processor_ = nullptr;
  void* parent_ = nullptr;
  bool open_ = false;
  bool updatePending_ = false;
  plugin::ERect rect_{};
};

}  // namespace ui
