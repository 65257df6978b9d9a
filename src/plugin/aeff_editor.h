#pragma once

#include <cstdint>

#include "plugin/aeffect.h"

namespace plugin {

class AudioEffect;

// The editor hook of a plug-in: the window side attaches one to its processor. Not owned by the
// processor; whoever attaches it detaches it before destroying it.
class AEffEditor {
 public:
  explicit AEffEditor(AudioEffect* effect = nullptr) : effect_(effect) {}
  virtual ~AEffEditor() = default;

  virtual intptr_t getRect(ERect** rect) {
    if (rect) *rect = nullptr;
    return 0;
  }
  virtual intptr_t open(void* parent) {
    (void)parent;
    return 0;
  }
  virtual void close() {}
  virtual void idle() {}
  virtual void update() {}
  virtual void postUpdate() {}
  // Answers for the editor key opcodes; 0 is "not handled" to a host.
  virtual intptr_t onKeyDown(int32_t character, int32_t virtualKey, int32_t modifiers) {
    (void)character, (void)virtualKey, (void)modifiers;
    return 0;
  }
  virtual intptr_t onKeyUp(int32_t character, int32_t virtualKey, int32_t modifiers) {
    (void)character, (void)virtualKey, (void)modifiers;
    return 0;
  }

 protected:
  AudioEffect* effect_;
};

}  // namespace plugin
