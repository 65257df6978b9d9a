#pragma once

namespace ui {

// Program selection for the MIDI handling: the main window, or the headless host's stepper.
//
// Called on the user-interface thread only.
class ProgramChanger {
 public:
  virtual ~ProgramChanger() = default;
  // Steps the current program by -1, 0 or +1 and shows it (the main window's changeProgram). A
  // step of 0 selects the current program again and restores the program display.
  virtual void changeProgram(int step) = 0;
  // Selects program `program` (0-based) and shows it, as choosing it from the menus does.
  virtual void selectProgram(int program) = 0;
};

}  // namespace ui
