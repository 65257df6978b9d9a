#pragma once

#include <algorithm>
#include <cstdint>

namespace gui {

// An area of a panel or window in pixels.
struct Rect {
  int32_t x = 0, y = 0, width = 0, height = 0;

  bool empty() const { return width <= 0 || height <= 0; }
  bool contains(int32_t px, int32_t py) const {
    return px >= x && py >= y && px < x + width && py < y + height;
  }
  bool intersects(const Rect& other) const {
    return !empty() && !other.empty() && x < other.x + other.width && other.x < x + width &&
           y < other.y + other.height && other.y < y + height;
  }
  // The smallest area holding both.
  Rect united(const Rect& other) const {
    if (empty()) return other;
    if (other.empty()) return *this;
    const int32_t left = std::min(x, other.x), top = std::min(y, other.y);
    const int32_t right = std::max(x + width, other.x + other.width);
    const int32_t bottom = std::max(y + height, other.y + other.height);
    return {left, top, right - left, bottom - top};
  }
  bool operator==(const Rect&) const = default;
};

}  // namespace gui
