#pragma once

#include <cstdint>
#include <string>

namespace ui {

// The front panel's LCD as program stepping and MIDI learn use it: a three-character field
// (item 60: the program number, or "---" while a learn waits) and a text field (item 61: the
// program's name or a message). The window draws it; the headless host prints it.
//
// Called on the user-interface thread only.
class LcdDisplay {
 public:
  virtual ~LcdDisplay() = default;

  virtual void showText(const std::string& number, const std::string& text) = 0;

  // Program `program` (0-based) shown from 001, its name in upper case.
  void showProgram(int32_t program, const char* name);
};

}  // namespace ui
