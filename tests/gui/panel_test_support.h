#pragma once

#include <cairo.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "framework/four_cc.h"
#include "framework/resource_file.h"
#include "gui/epi_alpha_panel.h"
#include "gui/panel_resource.h"
#include "gui/timer_clock.h"
#include "platform/native_window.h"

namespace testsupport {

using Bytes = std::vector<uint8_t>;

struct ManualClock : gui::TimerClock {
  uint64_t now() const override { return ms; }
  uint64_t ms = 0;
};

using Image = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;

inline Image drawn(int32_t width, int32_t height, const std::function<void(cairo_t*)>& draw) {
  Image image(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height),
              cairo_surface_destroy);
  cairo_t* cr = cairo_create(image.get());
  draw(cr);
  cairo_destroy(cr);
  cairo_surface_flush(image.get());
  return image;
}

inline uint32_t pixelAt(cairo_surface_t* image, int32_t x, int32_t y) {
  const auto* row = cairo_image_surface_get_data(image) + y * cairo_image_surface_get_stride(image);
  return reinterpret_cast<const uint32_t*>(row)[x];
}

inline Bytes pngBytes(cairo_surface_t* image) {
  Bytes png;
  cairo_surface_write_to_png_stream(
      image,
      [](void* closure, const unsigned char* data, unsigned int length) {
        auto* out = static_cast<Bytes*>(closure);
        out->insert(out->end(), data, data + length);
        return CAIRO_STATUS_SUCCESS;
      },
      &png);
  return png;
}

// Strips whose frame f has red f & 0xff, green f >> 8 and a marker blue: a pixel names its frame.
class TestSkin {
 public:
  static constexpr uint8_t kMarker = 0x5a;

  void addStrip(uint32_t id, int32_t width, int32_t height, int32_t frames) {
    const Image strip = drawn(width, height * frames, [&](cairo_t* cr) {
      for (int32_t f = 0; f < frames; ++f) {
        cairo_set_source_rgb(cr, (f & 0xff) / 255.0, (f >> 8) / 255.0, kMarker / 255.0);
        cairo_rectangle(cr, 0, f * height, width, height);
        cairo_fill(cr);
      }
    });
    entries_[{gui::kPictureType, id}] = pngBytes(strip.get());
  }
  void addEntry(uint32_t type, uint32_t id, Bytes bytes) { entries_[{type, id}] = bytes; }

  bool fill(framework::ResourceFile& file) const {
    Bytes image = {'X', 'R', 'S', 'C'};
    const auto word = [&](uint32_t value) {
      for (int shift = 0; shift < 32; shift += 8)
        image.push_back(uint8_t(value >> shift));
    };
    word(1);
    word(static_cast<uint32_t>(entries_.size()));
    for (const auto& [key, bytes] : entries_) {
      word(key.first);
      word(key.second);
      word(static_cast<uint32_t>(bytes.size()));
      image.insert(image.end(), bytes.begin(), bytes.end());
    }
    return file.parse(image);
  }

 private:
  std::map<std::pair<uint32_t, uint32_t>, Bytes> entries_;
};

inline platform::InputEvent mouse(platform::InputEvent::Type type, int32_t x, int32_t y,
                                  uint32_t modifiers = 0) {
  const bool motion = type == platform::InputEvent::Type::kMotion;
  return {.type = type, .x = x, .y = y, .button = motion ? 0 : 1, .modifiers = modifiers};
}

// Pictures and a panel with one control of each kind the tests drive (see testPanel).
enum TestPicture : uint32_t { kKnob = 1, kSwitch, kListStrip, kLamp, kCredits };

inline TestSkin testSkin() {
  TestSkin skin;
  skin.addStrip(kKnob, 4, 4, 129);
  skin.addStrip(kSwitch, 4, 4, 3);
  skin.addStrip(kListStrip, 4, 4, 128);
  skin.addStrip(kLamp, 4, 4, 2);
  skin.addStrip(kCredits, 4, 1, 40);  // row r is "frame" r
  return skin;
}

inline gui::PanelResource testPanel() {
  using framework::fourCC;
  using K = gui::ControlKind;
  const auto control = [](int32_t number, K kind, int32_t x, int32_t y, uint32_t picture,
                          int32_t frames) {
    gui::ControlResource c;
    c.number = number;
    c.kind = kind;
    c.x = x;
    c.y = y;
    c.width = c.height = 4;
    c.picture = picture;
    c.frames = frames;
    return c;
  };
  gui::PanelResource panel;
  panel.width = panel.height = 100;
  panel.controls = {
      control(16, K::kRotary, 10, 10, kKnob, 129),
      control(17, K::kRotary, 20, 10, kKnob, 129),
      control(18, K::kRotary, 30, 10, kKnob, 129),
      control(10, K::kRotary, 40, 10, kSwitch, 3),
      control(8, K::kListKnob, 50, 10, kListStrip, 128),
      control(59, K::kLedMeter, 10, 40, kLamp, 2),
      control(50, K::kButton, 20, 40, kLamp, 2),
      control(11, K::kCheckButton, 30, 40, kLamp, 2),
      control(14, K::kImageSelector, 40, 40, kLamp, 2),
      control(7, K::kScrollingText, 50, 40, kCredits, 1),
      control(62, K::kSegmentMeter, 10, 88, kLamp, 2),
      control(60, K::kText, 10, 70, 0, 1),
  };
  auto& c = panel.controls;
  c[1].properties = {{fourCC("roMx"), 0, 1000}, {fourCC("roSt"), 10, 1}};
  c[2].properties = {{fourCC("clDf"), 64, 0}};
  c[3].properties = {{fourCC("roDi"), 10, 0}};
  c[5].ledCount = 4;
  c[5].ledPitch = 6;
  c[10].ledCount = 3;
  c[10].ledPitch = 5;
  return panel;
}

// The test panel on a manual clock, built and active. It logs what the panel reports, in order:
// 'p' a press, 'c' a change, with the control number.
using Log = std::vector<std::pair<char, int32_t>>;
struct TestRig : gui::epiAlphaPanel::Listener {
  TestRig() : panel(clock) {
    testSkin().fill(file);
    panel.build(testPanel(), pictures);
    panel.setListener(this);
  }
  void controlPressed(gui::epiAlphaPanel&, int32_t n) override { log.push_back({'p', n}); }
  void valueChanged(gui::epiAlphaPanel&, int32_t n) override { log.push_back({'c', n}); }
  // Takes a value at once, as the panel does while inactive.
  void setAtOnce(int32_t number, int16_t value) {
    panel.setActive(false);
    panel.setValue(number, value);
    panel.setActive(true);
  }
  // The frame drawn at (x, y), -1 where no strip was drawn.
  int32_t frameOf(int32_t x, int32_t y) {
    const Image image = drawn(panel.width(), panel.height(), [&](cairo_t* cr) { panel.draw(cr); });
    const uint32_t argb = pixelAt(image.get(), x, y);
    if ((argb & 0xff) != TestSkin::kMarker) return -1;
    return int32_t((argb >> 16) & 0xff) | int32_t((argb >> 8) & 0xff) << 8;
  }

  ManualClock clock;
  framework::ResourceFile file;
  gui::PictureCache pictures{file};
  gui::epiAlphaPanel panel;
  Log log;
};

}  // namespace testsupport
