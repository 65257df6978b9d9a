#pragma once

#include <cstdio>

// Prints the effect catalogue: number, class, display name, channels, whether the effect is
// part of this build, and every parameter with its default, controller and glide.
void printEffectCatalogue(std::FILE* out);
