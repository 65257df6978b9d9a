#pragma once

#include <cstdint>

#include "skin/skin_book.h"

namespace skin {

inline constexpr uint32_t kFrontPanelId = 10;

// The amplifier's front panel (panel 10): its layout, the eight skins as the frames of control
// 0's background, the controls' pictures, and the main picture (gui::kMainPictureId), which
// sizes the editor to the front panel.
void addFrontPanel(SkinBook& book);

}  // namespace skin
