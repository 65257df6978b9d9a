#include "skin/skin_book.h"

#include <algorithm>
#include <tuple>

namespace skin {

bool SkinBook::writeTo(framework::ResourceFile& file) const {
  std::vector<std::tuple<uint32_t, uint32_t, std::vector<uint8_t>>> entries;
  for (const auto& [id, png] : pictures_) {
    if (png.empty()) return false;
    entries.emplace_back(gui::kPictureType, id, png);
  }
  for (const auto& [id, panel] : panels_)
    entries.emplace_back(gui::kPanelType, id, gui::serializePanel(panel));
  // Each write rewrites the whole file: the large pictures go last so they are written once.
  std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
    return std::get<2>(a).size() < std::get<2>(b).size();
  });
  for (const auto& [type, id, bytes] : entries) {
    if (!file.write(type, id, bytes)) return false;
  }
  return true;
}

}  // namespace skin
