#include "ui/control_conversion.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "plugin/parameter_descriptor.h"
#include "ui/choice_lists.h"

namespace ui {
namespace {

const plugin::ParameterDescriptor* rowOf(int32_t row) {
  return row >= 0 && row < plugin::kParameterCount ? &plugin::kParameterDescriptors[row] : nullptr;
}

// Toward zero; a value that is not a number shows as 0, one beyond the range at its end.
int32_t truncated(double value) {
  if (std::isnan(value)) return 0;
  constexpr double kLow = std::numeric_limits<int32_t>::min();
  constexpr double kHigh = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(std::clamp(value, kLow, kHigh));
}

}  // namespace

int32_t paramToControl(int32_t row, float plain) {
  const plugin::ParameterDescriptor* d = rowOf(row);
  if (!d) return 0;
  if (d->listNumber == 0 && d->maximum > 1) {
    return truncated((double(plain) - d->minimum) / (d->maximum - d->minimum) * 128.0);
  }
  return truncated(plain);
}

float controlToParam(int32_t row, int32_t value) {
  const plugin::ParameterDescriptor* d = rowOf(row);
  if (!d) return 0.0f;
  if (const ChoiceList* list = choiceList(d->listNumber)) {
    // A knob never leaves its list; the clamp keeps a stray value inside it too.
    return list->entries[std::clamp(value, 0, list->count - 1)].value;
  }
  if (d->maximum < 2) return static_cast<float>(value);
  return static_cast<float>(d->minimum + (d->maximum - d->minimum) * value / 128.0);
}

}  // namespace ui
