#include "framework/four_cc.h"

#include <cstdio>

namespace framework {

std::string fourCCName(uint32_t code) {
  std::string name;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const unsigned char c = static_cast<unsigned char>(code >> shift);
    if (c >= 0x20 && c < 0x7F) {
      name += static_cast<char>(c);
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      name += escaped;
    }
  }
  return name;
}

}  // namespace framework
