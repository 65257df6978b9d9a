#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "skin/canvas.h"

namespace skin {

// The pictures of the controls, each a vertical strip of equal frames as the panels show them
// (frame n below frame n - 1), returned as PNG bytes. They do not change with the skin: every
// control is drawn to sit well on all eight.

// The pointer angle of frame `frame` of a knob strip, in degrees clockwise from straight up:
// the 300-degree sweep of a potentiometer spread over the frames.
double knobAngle(int frame, int frames);

// Black knob with a knurled skirt, a turned aluminium cap and a white pointer line.
std::vector<uint8_t> knobStrip(int size, int frames);
// Cream "chicken head" pointer knob, one frame per angle in `angles` (degrees).
std::vector<uint8_t> pointerKnobStrip(int size, const std::vector<double>& angles);
// Chrome bat-handle toggle switch: frame 0 down (off), frame 1 up (on).
std::vector<uint8_t> toggleStrip(int width, int height);
// Jewel pilot lamp: frame 0 dark, frame 1 lit in `glow`.
std::vector<uint8_t> lampStrip(int size, Rgb glow);
// Rectangular LED: frame 0 dark, frame 1 lit.
std::vector<uint8_t> ledStrip(int width, int height, Rgb glow);
// Tuner note: frame 0 blank, frames 1..7 the letters A..G.
std::vector<uint8_t> noteStrip(int width, int height);
// Tuner sharp sign: frame 0 dark, frame 1 lit.
std::vector<uint8_t> sharpStrip(int width, int height);
// Tuner needle: a row of `segments` bars, frame n lighting bar n (the middle one green);
// frames from `segments` on light none (off the scale).
std::vector<uint8_t> needleStrip(int segments, int pitch, int height, int frames);

enum class ButtonFace { kText, kLeftArrow, kRightArrow };
// Push button: frame 0 up, frame 1 pressed.
std::vector<uint8_t> buttonStrip(int width, int height, ButtonFace face, const std::string& label);
// Moving-coil meter with a paper scale, one frame per needle position.
std::vector<uint8_t> vuMeterStrip(int width, int height, int frames);

}  // namespace skin
