#pragma once

#include <string>

#include "ui/lcd_display.h"

// The LCD of a host without a window: each new display is one line on the standard output,
// "lcd: " then the number field and the text ("lcd: 002 PROGRAM 2", "lcd: --- WAIT VOLUME CC").
class ConsoleLcd : public ui::LcdDisplay {
 public:
  void showText(const std::string& number, const std::string& text) override;
};
