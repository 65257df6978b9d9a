#pragma once

#include "plugin/eva_processor_programs.h"

namespace plugin {
class evaProcessor;
}

namespace vstplugin {

// A plug-in instance's program bank, the stand-alone's file in the settings folder: read when
// the instance is made, written back when it closes if its programs changed or there is no bank
// yet. A bank that is there but cannot be read is left alone: the built-in programs written
// over it would lose the player's.
class InstanceBank {
 public:
  void load(plugin::evaProcessor& processor);
  // False only when a needed write failed. The write is atomic and takes the file's lock, so
  // instances closing at once leave one whole bank.
  bool saveIfChanged(plugin::evaProcessor& processor) const;

 private:
  plugin::evaProcessorPrograms loaded_;
  bool unreadable_ = false;
};

}  // namespace vstplugin
