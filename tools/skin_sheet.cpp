// skin_sheet RESOURCES OUTPUT [SKIN]: draws the front panel of the application's resource file
// with the framework's own panel, as the window shows it after opening on the first program:
// all eight skins side by side at half size, or one skin at full size when SKIN (0..7) is
// given. Needs no display.

#include <cairo.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "framework/resource_file.h"
#include "gui/epi_alpha_control_knob.h"
#include "gui/epi_alpha_control_text.h"
#include "gui/epi_alpha_panel.h"
#include "gui/picture_cache.h"
#include "plugin/parameter_descriptor.h"

namespace {

constexpr uint32_t kFrontPanel = 10;
constexpr int kSkins = 8;
constexpr int kColumns = 2, kGap = 12;
constexpr double kSheetScale = 0.5;

// (value, position) of the choice lists the list knobs hold, by list number.
struct Entry {
  int value, position;
};
const Entry kAmpAndCabinetList[] = {{0, 8}, {1, 64}, {2, 120}};
const Entry kWahModeList[] = {{0, 0}, {1, 1}, {2, 2}};

// Every knob at its parameter's default and the LCD on program 1, the way the window opens.
void showOpeningState(gui::epiAlphaPanel& panel, int skin) {
  for (const auto& row : plugin::kParameterDescriptors) {
    const int number = row.controlId;
    if (row.listNumber != 0) {
      const auto& list = row.listNumber == 3 ? kWahModeList : kAmpAndCabinetList;
      panel.listCommand(number, gui::kListCount, 3);
      for (const auto& entry : list) {
        panel.listCommand(number, gui::kListValue, entry.value);
        panel.listCommand(number, gui::kListPosition, entry.position);
      }
      panel.setValue(number, int16_t(row.defaultValue));
    } else if (row.maximum > 1) {
      panel.setValue(
          number, int16_t((row.defaultValue - row.minimum) * 128.0 / (row.maximum - row.minimum)));
    } else {
      panel.setValue(number, int16_t(row.defaultValue));
    }
  }
  panel.setValue(0, int16_t(skin));
  panel.setValue(10, 1);   // tuner off
  panel.setValue(48, 20);  // needle off its scale
  panel.setValue(59, 1);
  panel.setText(60, "001");
  panel.setText(61, "PROGRAM 1");
  panel.hide(63);
  panel.hide(64);
  panel.hide(65);
}

// The panel in `skin`, drawn into a new image surface of its size; null on failure.
cairo_surface_t* drawPanel(const framework::ResourceFile& file, gui::PictureCache& pictures,
                           int skin) {
  gui::epiAlphaPanel panel;
  if (!panel.load(file, kFrontPanel, pictures)) return nullptr;
  panel.setActive(false);  // values are taken at once, without gliding
  showOpeningState(panel, skin);
  panel.setActive(true);
  cairo_surface_t* surface =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, panel.width(), panel.height());
  cairo_t* cr = cairo_create(surface);
  panel.draw(cr);
  cairo_destroy(cr);
  return surface;
}

bool writeSheet(const framework::ResourceFile& file, gui::PictureCache& pictures,
                const std::string& output) {
  cairo_surface_t* sheet = nullptr;
  cairo_t* cr = nullptr;
  bool ok = true;
  for (int skin = 0; skin < kSkins && ok; ++skin) {
    cairo_surface_t* panel = drawPanel(file, pictures, skin);
    if (!panel) {
      ok = false;
      break;
    }
    const int w = int(cairo_image_surface_get_width(panel) * kSheetScale);
    const int h = int(cairo_image_surface_get_height(panel) * kSheetScale);
    if (!sheet) {
      const int rows = (kSkins + kColumns - 1) / kColumns;
      sheet = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kColumns * (w + kGap) + kGap,
                                         rows * (h + kGap) + kGap);
      cr = cairo_create(sheet);
      cairo_set_source_rgb(cr, 0.12, 0.12, 0.13);
      cairo_paint(cr);
    }
    cairo_save(cr);
    cairo_translate(cr, kGap + (skin % kColumns) * (w + kGap),
                    kGap + (skin / kColumns) * (h + kGap));
    cairo_scale(cr, kSheetScale, kSheetScale);
    cairo_set_source_surface(cr, panel, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BEST);
    cairo_paint(cr);
    cairo_restore(cr);
    cairo_surface_destroy(panel);
  }
  if (ok) ok = cairo_surface_write_to_png(sheet, output.c_str()) == CAIRO_STATUS_SUCCESS;
  if (cr) cairo_destroy(cr);
  if (sheet) cairo_surface_destroy(sheet);
  return ok;
}

bool writeOne(const framework::ResourceFile& file, gui::PictureCache& pictures, int skin,
              const std::string& output) {
  cairo_surface_t* panel = drawPanel(file, pictures, skin);
  if (!panel) return false;
  const bool ok = cairo_surface_write_to_png(panel, output.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(panel);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fputs("usage: skin_sheet RESOURCES OUTPUT [SKIN]\n", stderr);
    return 2;
  }
  int skin = -1;
  if (argc == 4) {
    char* end = nullptr;
    skin = int(std::strtol(argv[3], &end, 10));
    if (*end != '\0' || skin < 0 || skin >= kSkins) {
      std::fprintf(stderr, "skin_sheet: no skin %s (0..%d)\n", argv[3], kSkins - 1);
      return 2;
    }
  }
  framework::ResourceFile file;
  if (!file.open(argv[1]) || !file.contains(gui::kPanelType, kFrontPanel)) {
    std::fprintf(stderr, "skin_sheet: %s holds no front panel\n", argv[1]);
    return 1;
  }
  bool ok = false;
  {
    gui::PictureCache pictures(file);
    ok = skin < 0 ? writeSheet(file, pictures, argv[2]) : writeOne(file, pictures, skin, argv[2]);
  }
  gui::releaseFontCaches();
  if (!ok) {
    std::fprintf(stderr, "skin_sheet: cannot draw the front panel into %s\n", argv[2]);
    return 1;
  }
  return 0;
}
