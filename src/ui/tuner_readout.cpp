#include "ui/tuner_readout.h"

#include "rack/vrmore.h"

namespace ui {

std::optional<TunerReadout> readTuner(rack::VRmore& rack) {
  if (!rack.tunerModeOn()) return std::nullopt;
  rack.updateTunerDisplay();
  const pseudoutils::TunerDisplay& display = rack.tunerDisplay();
  TunerReadout readout;
  readout.inTune = display.inTune ? 1 : 0;
  readout.needle = static_cast<int16_t>(display.segment);
  readout.note = static_cast<int16_t>(display.note);
  readout.sharp = static_cast<int16_t>(display.sharp);
  if (rack.tunerModeMute()) readout.cents = display.cents;
  return readout;
}

}  // namespace ui
