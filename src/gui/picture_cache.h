#pragma once

#include <cairo.h>

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "framework/resource_file.h"

namespace gui {

struct SurfaceRelease {
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceRelease>;

// The skin's pictures (kPictureType PNG bytes of a resource file), decoded once and kept for
// the panels that draw them. The resource file must outlive the cache.
class PictureCache {
 public:
  explicit PictureCache(const framework::ResourceFile& file) : file_(file) {}

  // Owned by the cache; null when the file has no such picture or its bytes are no PNG.
  cairo_surface_t* picture(uint32_t id);

 private:
  const framework::ResourceFile& file_;
  std::map<uint32_t, SurfacePtr> pictures_;  // a failed load is kept as null
};

// PNG bytes as an image surface; null when they do not decode.
SurfacePtr decodePng(const std::vector<uint8_t>& bytes);

}  // namespace gui
