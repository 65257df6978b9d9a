#pragma once

#include <cstdint>

#include "skin/skin_book.h"

namespace skin {

inline constexpr uint32_t kAboutPanelId = 11;

// The about screen (panel 11): six meters that the window animates, the scrolling credits in a
// frame that follows the skin, and the version texts.
void addAboutPanel(SkinBook& book);

}  // namespace skin
