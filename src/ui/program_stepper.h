#pragma once

#include "ui/lcd_display.h"
#include "ui/program_changer.h"

namespace plugin {
class evaProcessor;
}

namespace ui {

// Program selection without a window: the processor's program moves round the 128 programs
// (128 up gives 1, 1 down gives 128) or is set directly, and the LCD shows the new one.
class ProgramStepper : public ProgramChanger {
 public:
  static constexpr int kProgramCount = 128;

  ProgramStepper(plugin::evaProcessor& processor, LcdDisplay& lcd)
      : processor_(processor), lcd_(&lcd) {}
  // Without an LCD nothing is shown, and a step neither allocates nor waits: a plug-in takes
  // its steps on the host's audio thread.
  explicit ProgramStepper(plugin::evaProcessor& processor) : processor_(processor) {}

  void changeProgram(int step) override;
  void selectProgram(int program) override;

 private:
  plugin::evaProcessor& processor_;
  LcdDisplay* lcd_ = nullptr;
};

}  // namespace ui
