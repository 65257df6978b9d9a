#pragma once

#include <cstdint>

namespace ui {

// Values between a descriptor row's front-panel control and its parameter. A 0..127 knob runs
// 0..128 on the panel (the parameter's maximum shows as 128); list knobs hold the entry number
// of their choice list; switches and the other small ranges hold the plain value.
// Rows outside the descriptor table give 0.
int32_t paramToControl(int32_t row, float plain);
float controlToParam(int32_t row, int32_t value);

}  // namespace ui
