#include "gui/epi_picture.h"

#include "gui/panel_resource.h"

namespace gui {

SurfacePtr loadPicture(const framework::ResourceFile& file, uint32_t id) {
  const auto bytes = file.read(kPictureType, id);
  return bytes ? decodePng(*bytes) : nullptr;
}

std::optional<PictureSize> pictureSize(const framework::ResourceFile& file, uint32_t id) {
  const SurfacePtr picture = loadPicture(file, id);
  if (!picture) return std::nullopt;
  return PictureSize{cairo_image_surface_get_width(picture.get()),
                     cairo_image_surface_get_height(picture.get())};
}

}  // namespace gui
