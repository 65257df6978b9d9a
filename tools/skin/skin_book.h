#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "framework/resource_file.h"
#include "gui/panel_resource.h"

namespace skin {

// The skin as it goes into the application's resource file: pictures (PNG bytes) and panel
// layouts, each under its resource number.
class SkinBook {
 public:
  void addPicture(uint32_t id, std::vector<uint8_t> png) { pictures_[id] = std::move(png); }
  void addPanel(uint32_t id, gui::PanelResource panel) { panels_[id] = std::move(panel); }
  const std::map<uint32_t, std::vector<uint8_t>>& pictures() const { return pictures_; }
  const std::map<uint32_t, gui::PanelResource>& panels() const { return panels_; }

  // False when a picture failed to encode or the file refused a write.
  bool writeTo(framework::ResourceFile& file) const;

 private:
  std::map<uint32_t, std::vector<uint8_t>> pictures_;
  std::map<uint32_t, gui::PanelResource> panels_;
};

}  // namespace skin
