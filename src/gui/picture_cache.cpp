#include "gui/picture_cache.h"

#include <cstring>

#include "gui/panel_resource.h"

namespace gui {

namespace {

struct PngSource {
  const std::vector<uint8_t>* bytes;
  size_t position;
};

cairo_status_t readPng(void* closure, unsigned char* data, unsigned int length) {
  auto* source = static_cast<PngSource*>(closure);
  if (source->bytes->size() - source->position < length) return CAIRO_STATUS_READ_ERROR;
  std::memcpy(data, source->bytes->data() + source->position, length);
  source->position += length;
  return CAIRO_STATUS_SUCCESS;
}

}  // namespace

SurfacePtr decodePng(const std::vector<uint8_t>& bytes) {
  PngSource source{&bytes, 0};
  SurfacePtr surface(cairo_image_surface_create_from_png_stream(readPng, &source));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
  return surface;
}

cairo_surface_t* PictureCache::picture(uint32_t id) {
  if (const auto it = pictures_.find(id); it != pictures_.end()) return it->second.get();
  SurfacePtr surface;
  if (const auto bytes = file_.read(kPictureType, id)) surface = decodePng(*bytes);
  return pictures_.emplace(id, std::move(surface)).first->second.get();
}

}  // namespace gui
