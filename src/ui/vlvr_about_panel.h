#pragma once

#include <cstdint>

#include "framework/resource_file.h"
#include "gui/picture_cache.h"
#include "ui/eva_panel.h"

namespace ui {

// The about screen (panel resource 11), shown in the front panel's place: six needles that
// glide slowly, the credits the window scrolls, the version and its date.
class vlvrAboutPanel : public evaPanel {
 public:
  static constexpr uint32_t kResourceId = 11;
  enum Control : int32_t {
    kSkin = 0,
    kCredits = 7,
    kFrame = 8,
    kNote = 9,
    kVersion = 10,
    kDate = 11
  };

  using evaPanel::evaPanel;

  // Loads the panel, then gives each needle its glide time and sets the texts.
  bool open(const framework::ResourceFile& file, gui::PictureCache& pictures);
};

}  // namespace ui
