#pragma once

#include <cstdint>
#include <string>

#include "skin/canvas.h"
#include "skin/material.h"
#include "skin/skin_style.h"

namespace skin {

// Pieces of a panel face shared by the front and the about panel.

// The whole canvas in the skin's covering, lit from above, with piping round the edge.
void drawCovering(Canvas& canvas, const SkinStyle& style, uint32_t seed);
// The control plate: inset into the covering, with its own piping and four screws.
void drawPlate(Canvas& canvas, Area area, const SkinStyle& style, uint32_t seed);
void drawScrew(cairo_t* cr, double x, double y, double angle);
// "Valvorama Live" with its baseline at (x, y); `size` is the height of the capitals' font.
void drawLogo(cairo_t* cr, const SkinStyle& style, double x, double y, double size);
// A black display bezel with a dark glass window inset by `inset`.
void drawDisplay(cairo_t* cr, Area bezel, double inset, Rgb glass);
// Spaced capitals, centred on x.
void drawLabel(cairo_t* cr, const std::string& text, double x, double y, Rgb ink, Face face,
               double size, double spacing);

}  // namespace skin
