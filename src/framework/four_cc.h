#pragma once

#include <cstdint>
#include <string>

namespace framework {

// A four-character code: four ASCII letters packed into 32 bits so that the bytes, read
// big-endian, spell the code ('prog', 'TEXT', ...). Used as file tags, message codes and
// resource types.
constexpr uint32_t fourCC(const char (&code)[5]) {
  return (uint32_t(uint8_t(code[0])) << 24) | (uint32_t(uint8_t(code[1])) << 16) |
         (uint32_t(uint8_t(code[2])) << 8) | uint32_t(uint8_t(code[3]));
}

// The code as text for messages and listings; bytes that are not printable ASCII come out as
// "\xNN" so a foreign tag read from a damaged file stays readable.
std::string fourCCName(uint32_t code);

}  // namespace framework
