// make_resources OUTPUT: writes the application's resource file. Text resource 101 holds the
// parameters' default values as the processor reads them back; they are taken from the
// processor's own parameter table so the two never disagree. The skin follows: the front and
// about panels' layouts and pictures. The output depends on nothing but the sources (and the
// cairo, pixman and font packages of the build machine), so every build writes the same bytes.

#include <cstdio>
#include <filesystem>

#include "framework/epi_text.h"
#include "framework/four_cc.h"
#include "framework/resource_file.h"
#include "gui/epi_alpha_control_text.h"
#include "plugin/vlvr_processor.h"
#include "skin/about_panel.h"
#include "skin/front_panel.h"
#include "skin/skin_book.h"

namespace {

constexpr uint32_t kDefaultsId = 101;

epiTextSettings defaultValues() {
  plugin::vlvrProcessor processor;  // no engine: the table's own defaults
  processor.initialize();
  epiTextSettings text;
  const plugin::evaProcessorParameters& parameters = processor.parameters();
  for (int j = 0; j < parameters.count(); ++j)
    text.setLong(parameters[j].key, plugin::truncatePlain(parameters[j].defaultValue));
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: make_resources OUTPUT\n", stderr);
    return 2;
  }
  const std::string output = argv[1];
  // Every write rewrites the whole container; starting from nothing keeps entries of an
  // earlier build from lingering.
  std::error_code ignored;
  std::filesystem::remove(output, ignored);

  skin::SkinBook skin;
  skin::addFrontPanel(skin);
  skin::addAboutPanel(skin);
  gui::releaseFontCaches();  // the drawing is done

  framework::ResourceFile resources;
  epiTextSettings defaults = defaultValues();
  if (!resources.open(output) ||
      !defaults.saveResource(&resources, framework::fourCC("TEXT"), kDefaultsId) ||
      !skin.writeTo(resources)) {
    std::fprintf(stderr, "make_resources: cannot write %s\n", output.c_str());
    return 1;
  }
  return 0;
}
