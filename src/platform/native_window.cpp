#include "platform/native_window.h"

#include <vector>

#include "framework/safe_file.h"

namespace platform {
namespace {

cairo_status_t append(void* closure, const unsigned char* data, unsigned int length) {
  auto* bytes = static_cast<std::vector<uint8_t>*>(closure);
  bytes->insert(bytes->end(), data, data + length);
  return CAIRO_STATUS_SUCCESS;
}

}  // namespace

// Encoded in memory first, so that a failed encoding never replaces an earlier picture.
bool NativeWindow::writePng(const std::string& path) {
  std::vector<uint8_t> bytes;
  if (cairo_surface_write_to_png_stream(backBuffer(), &append, &bytes) != CAIRO_STATUS_SUCCESS)
    return false;
  return framework::writeFileAtomically(path, bytes);
}

}  // namespace platform
