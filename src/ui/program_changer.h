#pragma once

namespace ui {

// Steps the current program by -1, 0 or +1 and shows it: the main window's changeProgram. A
// step of 0 selects the current program again and restores the program display.
//
// Called on the user-interface thread only.
class ProgramChanger {
 public:
  virtual ~ProgramChanger() = default;
  virtual void changeProgram(int step) = 0;
};

}  // namespace ui
