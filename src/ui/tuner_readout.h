#pragma once

#include <cstdint>
#include <optional>

namespace rack {
class VRmore;
}

namespace ui {

// What the front panel's tuner readout shows after one display tick.
struct TunerReadout {
  int16_t inTune = 0;
  int16_t needle = 0;  // 0..14, 7 in the centre
  int16_t note = 0;    // 0 blank, 1..7 A..G
  int16_t sharp = 0;
  // Deviation in cents, shown only in the mode that silences the signal.
  std::optional<int32_t> cents;
};

// One 40 ms tick of the rack's tuner display; nothing while the tuner is off.
std::optional<TunerReadout> readTuner(rack::VRmore& rack);

}  // namespace ui
