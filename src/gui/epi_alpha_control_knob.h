#pragma once

#include <vector>

#include "gui/epi_alpha_control_rotary.h"

namespace gui {

// List commands of a list knob.
inline constexpr int32_t kListCount = 5002;     // the list gets `count` entries
inline constexpr int32_t kListPosition = 5003;  // position of the entry being filled; next one
inline constexpr int32_t kListValue = 5004;     // value of the entry being filled

// A rotary that holds a choice list: its value is the entry number and it shows the frame of
// the selected entry's `position`. The entry follows the pointer at 20 pixels per entry
// (whatever `roDi` says); with a default set, Ctrl held at the press makes the first move
// select the default entry and ends the gesture. Until it has a list it is a plain rotary.
class epiAlphaControl_knob : public epiAlphaControl_rotary {
 public:
  static constexpr int32_t kPixelsPerEntry = 20;
  static constexpr int32_t kMaxEntries = 16;

  struct Entry {
    int16_t value = 0;     // the parameter value it stands for
    int16_t position = 0;  // the frame of the strip shown for it
  };

  using epiAlphaControl_rotary::epiAlphaControl_rotary;

  bool listCommand(int32_t command, int32_t argument) override;
  const std::vector<Entry>& entries() const { return entries_; }

 protected:
  int32_t minimum() const override;
  int32_t maximum() const override;
  int32_t positionOf(int32_t value) const override;
  int32_t frameAt(int32_t position) const override;
  int32_t dragValue(int32_t dy) const override;
  uint32_t defaultModifier() const override;

 private:
  std::vector<Entry> entries_;
  size_t filling_ = 0;
};

}  // namespace gui
