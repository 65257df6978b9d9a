// Parses arbitrary bytes as a panel resource; an accepted panel must write back to exactly the
// bytes it came from, with every field inside the limits a panel is built on.
#include <cmath>
#include <cstdint>
#include <set>
#include <span>
#include <vector>

#include "fuzz_check.h"
#include "gui/panel_resource.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto panel = gui::parsePanel(std::span(data, size));
  if (!panel) return 0;
  FUZZ_CHECK(gui::serializePanel(*panel) == std::vector<uint8_t>(data, data + size));
  FUZZ_CHECK(panel->width > 0 && panel->height > 0);
  std::set<int32_t> numbers;
  for (const auto& control : panel->controls) {
    FUZZ_CHECK(numbers.insert(control.number).second);
    FUZZ_CHECK(control.width >= 0 && control.height >= 0 && control.frames >= 1);
    FUZZ_CHECK(control.ledCount >= 0 && control.ledPitch >= 0);
    FUZZ_CHECK(std::isfinite(control.fontSize) && control.align >= 0 && control.align <= 2);
    FUZZ_CHECK(control.kind >= gui::ControlKind::kImageSelector &&
               control.kind <= gui::ControlKind::kScrollingText);
  }
  return 0;
}
