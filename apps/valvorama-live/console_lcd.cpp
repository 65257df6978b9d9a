#include "console_lcd.h"

#include <cstdio>

void ConsoleLcd::showText(const std::string& number, const std::string& text) {
  std::printf("lcd: %s %s\n", number.c_str(), text.c_str());
  std::fflush(stdout);  // read by a player, or by a program, while we run
}
