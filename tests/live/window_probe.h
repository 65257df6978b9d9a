#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

struct _XDisplay;

namespace livetest {

// Another program's windows seen from the test's own X connection, as a window manager or a
// screen reader sees them: found by title, their child windows, where they are and their pixels.
class WindowProbe {
 public:
  struct Area {
    int32_t x = 0, y = 0, width = 0, height = 0;
  };

  explicit WindowProbe(_XDisplay* display) : display_(display) {}

  // The top-level window of that title once it is on screen; 0 when none is within `limit`.
  uint64_t waitForTopLevel(const std::string& title, std::chrono::milliseconds limit) const;
  // The child windows on screen, bottom first.
  std::vector<uint64_t> children(uint64_t window) const;
  // Waits until `window` has at least `count` children on screen; false after `limit`.
  bool waitForChildren(uint64_t window, size_t count, std::chrono::milliseconds limit) const;
  // Where it is inside its parent.
  Area area(uint64_t window) const;
  // The pixels of an area of the window, 0xRRGGBB, row by row.
  std::vector<uint32_t> pixels(uint64_t window, const Area& area) const;
  // What a window manager's close button sends.
  void askToClose(uint64_t window) const;

 private:
  _XDisplay* display_;
};

}  // namespace livetest
