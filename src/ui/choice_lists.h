#pragma once

#include <cstdint>

namespace ui {

// The front panel's lists of named choices. A descriptor row's list number (counted from 1)
// selects one; a list knob holding it stores the entry's value and shows the frame of its
// strip that the entry's position names. The names only document the choices: the skin's
// pictures carry the labels.
struct ChoiceEntry {
  int16_t value;
  int16_t position;
  const char* name;
};

struct ChoiceList {
  static constexpr int32_t kMaxEntries = 16;
  int32_t count;
  ChoiceEntry entries[kMaxEntries];
};

inline constexpr int32_t kChoiceListCount = 4;

// List `number` (1..4); null for any other number.
const ChoiceList* choiceList(int32_t number);

}  // namespace ui
