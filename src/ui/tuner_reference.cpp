#include "ui/tuner_reference.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace ui {

std::string tunerReferenceText(float hz) {
  char text[64];
  std::snprintf(text, sizeof text, "%03.1f", static_cast<double>(hz));
  return std::string(text).substr(0, 7);
}

std::optional<float> parseTunerReference(std::string text) {
  std::replace(text.begin(), text.end(), ',', '.');
  const size_t first = text.find('.');
  if (first != std::string::npos) {
    const size_t second = text.find('.', first + 1);
    if (second != std::string::npos) text.resize(second);
  }
  const char* start = text.c_str();
  char* end = nullptr;
  const float value = std::strtof(start, &end);
  if (end == start) return std::nullopt;
  return value;
}

}  // namespace ui
