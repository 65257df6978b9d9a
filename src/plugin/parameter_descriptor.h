#pragma once

#include <cstdint>

namespace plugin {

// One row of the product's parameter table: the processor parameter of that index, the rack
// parameter it drives, its front-panel control, range, default, display format, the list of
// named choices it selects (0 for a plain knob) and its name.
struct ParameterDescriptor {
  int16_t rackParameterId;
  int16_t panel;
  int16_t controlId;
  int16_t minimum;
  int16_t maximum;
  int16_t defaultValue;
  const char* format;
  int16_t listNumber;
  const char* name;
};

constexpr int kParameterCount = 22;
extern const ParameterDescriptor kParameterDescriptors[kParameterCount];

}  // namespace plugin
