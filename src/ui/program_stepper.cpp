#include "ui/program_stepper.h"

#include "plugin/eva_processor.h"

namespace ui {

void ProgramStepper::changeProgram(int step) {
  const int program =
      ((processor_.getProgram() + step) % kProgramCount + kProgramCount) % kProgramCount;
  processor_.setProgram(program);
  if (lcd_) lcd_->showProgram(program, processor_.programName(program));
}

void ProgramStepper::selectProgram(int program) {
  if (program < 0 || program >= kProgramCount) return;
  processor_.setProgram(program);
  if (lcd_) lcd_->showProgram(program, processor_.programName(program));
}

}  // namespace ui
