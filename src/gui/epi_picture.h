#pragma once

#include <cstdint>
#include <optional>

#include "framework/resource_file.h"
#include "gui/picture_cache.h"

namespace gui {

// The application's main picture: its size is the editor's.
inline constexpr uint32_t kMainPictureId = 10;

struct PictureSize {
  int32_t width = 0, height = 0;
  bool operator==(const PictureSize&) const = default;
};

// Picture `id` (kPictureType) of the resource file, the update file's before the application
// file's. Null when neither has it or its bytes are no PNG.
SurfacePtr loadPicture(const framework::ResourceFile& file, uint32_t id);
std::optional<PictureSize> pictureSize(const framework::ResourceFile& file, uint32_t id);

}  // namespace gui
