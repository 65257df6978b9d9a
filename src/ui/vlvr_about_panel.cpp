#include "ui/vlvr_about_panel.h"

#include "gui/epi_alpha_control_rotary.h"

namespace ui {
namespace {

// Glide times of needles 1..6 in milliseconds: each takes its own time to reach a new value.
constexpr int32_t kNeedleGlideMs[] = {3000, 5000, 2000, 8000, 5000, 4000};

}  // namespace

bool vlvrAboutPanel::open(const framework::ResourceFile& file, gui::PictureCache& pictures) {
  const bool loaded = load(file, kResourceId, pictures);
  for (int32_t needle = 1; needle <= 6; ++needle)
    setProperty(needle, gui::kPropertyGlide, kNeedleGlideMs[needle - 1]);
  setText(kNote, "");
  setText(kDate, "14-09-2004");
  setText(kVersion, "Version 1.0.3");
  return loaded;
}

}  // namespace ui
