#pragma once

#include <cstdint>

#include "skin/canvas.h"
#include "skin/skin_style.h"

namespace skin {

struct Area {
  int x = 0, y = 0, width = 0, height = 0;
};

// Fills `area` of the canvas with a material: `colour` is its main colour, `second` the dark
// thread of tweed or the dark grain of wood. `seed` varies the pattern between surfaces.
void paintMaterial(Canvas& canvas, Area area, Material material, Rgb colour, Rgb second,
                   uint32_t seed);

// Light from above: a soft highlight at the top of `area` and a shadow towards its bottom.
void lightFromAbove(cairo_t* cr, Area area, double strength);

}  // namespace skin
