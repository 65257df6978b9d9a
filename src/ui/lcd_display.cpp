#include "ui/lcd_display.h"

#include <cctype>
#include <cstdio>

namespace ui {

void LcdDisplay::showProgram(int32_t program, const char* name) {
  char number[16];
  std::snprintf(number, sizeof number, "%03d", program + 1);
  std::string upper = name ? name : "";
  for (char& c : upper)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  showText(number, upper);
}

}  // namespace ui
