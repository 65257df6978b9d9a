#include "gui/drawable_text.h"

#include <cstdint>

namespace gui {

namespace {

// The length of the well-formed UTF-8 sequence at `at`, 0 when there is none.
size_t utf8Length(const std::string& text, size_t at) {
  const auto byte = [&](size_t i) { return i < text.size() ? uint8_t(text[i]) : 0; };
  const uint8_t lead = byte(at);
  size_t length = 0;
  uint8_t low = 0x80, high = 0xbf;  // the range of the second byte
  if (lead < 0x80) return 1;
  if (lead >= 0xc2 && lead <= 0xdf) length = 2;
  if (lead >= 0xe0 && lead <= 0xef) length = 3;
  if (lead >= 0xf0 && lead <= 0xf4) length = 4;
  if (lead == 0xe0) low = 0xa0;   // overlong
  if (lead == 0xed) high = 0x9f;  // surrogates
  if (lead == 0xf0) low = 0x90;   // overlong
  if (lead == 0xf4) high = 0x8f;  // beyond U+10FFFF
  if (length == 0 || byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if ((byte(at + i) & 0xc0) != 0x80) return 0;
  }
  return length;
}

}  // namespace

std::string drawableText(const std::string& text) {
  std::string out;
  for (size_t at = 0; at < text.size();) {
    if (const size_t length = utf8Length(text, at)) {
      out.append(text, at, length);
      at += length;
      continue;
    }
    const uint8_t latin1 = uint8_t(text[at++]);
    out.push_back(char(0xc0 | (latin1 >> 6)));
    out.push_back(char(0x80 | (latin1 & 0x3f)));
  }
  return out;
}

}  // namespace gui
