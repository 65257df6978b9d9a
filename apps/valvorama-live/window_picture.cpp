#include "window_picture.h"

#include <cairo.h>

#include "gui/epi_window.h"

bool writeWindowPicture(gui::epiWindow& host, gui::epiWindow* editor, const std::string& path) {
  if (!host.isOpen()) return false;
  host.invalidate();
  host.refresh();
  if (editor && editor->isOpen()) {
    editor->invalidate();
    editor->refresh();
    // The host's own pixels there are hidden under the frame on screen: nothing is lost.
    cairo_t* cr = cairo_create(host.native()->backBuffer());
    cairo_set_source_surface(cr, editor->native()->backBuffer(), 0, host.contentTop());
    cairo_paint(cr);
    cairo_destroy(cr);
  }
  return host.native()->writePng(path);
}
