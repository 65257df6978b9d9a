#pragma once

#include "dsp/biquad_filter.h"
#include "rack/clipper.h"

namespace rack {

// What a preamp model sets besides its voicing filters.
struct PreampVoice {
  float gain = 1.0f;            // linear gain before the preamp clipper
  bool toneStackFirst = false;  // the tone stack sits before the gain and clipper
  bool halfVolumeLaw = false;   // the volume pot is part of the voicing, so the master halves
};

// Designs the three voicing filters of preamp model 0, 1, 3 or 5 from its circuit values for
// the gain and volume knobs (fractions 0..1). Returns false, touching nothing, for any other
// model.
bool designPreamp(int model, float gain, float volume, dsp::BiquadFilter& voicing1,
                  dsp::BiquadFilter& voicing2, dsp::BiquadFilter& voicing3, PreampVoice& voice);

// Sets the clipper of preamp model 0, 1, 3 or 5; false for any other model.
bool configurePreampClipper(int model, Clipper& clipper);

}  // namespace rack
