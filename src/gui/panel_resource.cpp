#include "gui/panel_resource.h"

#include <bit>
#include <cmath>
#include <set>

namespace gui {

// Byte form (all integers 32-bit little-endian, the font size as the 64-bit pattern of the
// double):
//   version (1), panel width, panel height, control count, then each control:
//   number, kind, x, y, width, height, picture, frames, ledCount, ledPitch, fontSize (8 bytes),
//   textColour, align, text length, text bytes, property count, then (code, a, b) per property.
// The last control ends the data. Every field is range-checked on reading, so a panel that
// parses can be built without further checks of its numbers.
namespace {

constexpr uint32_t kVersion = 1;
constexpr int32_t kMaxSide = 16384;   // panel and control sizes, positions
constexpr int32_t kMaxFrames = 4096;  // frames of one strip
constexpr int32_t kMaxLeds = 256;
constexpr double kMaxFontSize = 1000.0;
constexpr uint32_t kMaxText = 4096;
constexpr uint32_t kMaxProperties = 64;
constexpr size_t kControlFixedBytes = 14 * 4 + 8;  // a control with no text and no property
constexpr size_t kPropertyBytes = 12;

class Writer {
 public:
  void word(uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
      bytes_.push_back(uint8_t(value >> shift));
  }
  void integer(int32_t value) { word(static_cast<uint32_t>(value)); }
  void real(double value) {
    const auto bits = std::bit_cast<uint64_t>(value);
    word(uint32_t(bits));
    word(uint32_t(bits >> 32));
  }
  void text(const std::string& value) {
    word(static_cast<uint32_t>(value.size()));
    bytes_.insert(bytes_.end(), value.begin(), value.end());
  }
  std::vector<uint8_t> take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
};

// Every read checks the bytes left; after the first failure all reads fail.
class Reader {
 public:
  explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  size_t left() const { return bytes_.size() - position_; }
  bool word(uint32_t& value) {
    if (left() < 4) return false;
    value = 0;
    for (int i = 0; i < 4; ++i)
      value |= uint32_t(bytes_[position_ + i]) << (8 * i);
    position_ += 4;
    return true;
  }
  bool integer(int32_t& value, int32_t minimum, int32_t maximum) {
    uint32_t raw = 0;
    if (!word(raw)) return false;
    value = static_cast<int32_t>(raw);
    return value >= minimum && value <= maximum;
  }
  bool real(double& value, double minimum, double maximum) {
    uint32_t low = 0, high = 0;
    if (!word(low) || !word(high)) return false;
    value = std::bit_cast<double>((uint64_t(high) << 32) | low);
    return std::isfinite(value) && value >= minimum && value <= maximum;
  }
  bool text(std::string& value, uint32_t maximum) {
    uint32_t size = 0;
    if (!word(size) || size > maximum || size > left()) return false;
    value.assign(bytes_.begin() + static_cast<std::ptrdiff_t>(position_),
                 bytes_.begin() + static_cast<std::ptrdiff_t>(position_ + size));
    position_ += size;
    return true;
  }

 private:
  std::span<const uint8_t> bytes_;
  size_t position_ = 0;
};

bool readControl(Reader& in, ControlResource& control) {
  int32_t kind = 0;
  uint32_t propertyCount = 0;
  if (!in.integer(control.number, 0, INT32_MAX) ||
      !in.integer(kind, int32_t(ControlKind::kImageSelector),
                  int32_t(ControlKind::kScrollingText)) ||
      !in.integer(control.x, -kMaxSide, kMaxSide) || !in.integer(control.y, -kMaxSide, kMaxSide) ||
      !in.integer(control.width, 0, kMaxSide) || !in.integer(control.height, 0, kMaxSide) ||
      !in.word(control.picture) || !in.integer(control.frames, 1, kMaxFrames) ||
      !in.integer(control.ledCount, 0, kMaxLeds) || !in.integer(control.ledPitch, 0, kMaxSide) ||
      !in.real(control.fontSize, 0.0, kMaxFontSize) || !in.word(control.textColour) ||
      !in.integer(control.align, 0, 2) || !in.text(control.text, kMaxText) ||
      !in.word(propertyCount) || propertyCount > kMaxProperties ||
      propertyCount > in.left() / kPropertyBytes) {
    return false;
  }
  control.kind = static_cast<ControlKind>(kind);
  control.properties.resize(propertyCount);
  for (auto& property : control.properties) {
    if (!in.word(property.code) || !in.integer(property.a, INT32_MIN, INT32_MAX) ||
        !in.integer(property.b, INT32_MIN, INT32_MAX)) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::vector<uint8_t> serializePanel(const PanelResource& panel) {
  Writer out;
  out.word(kVersion);
  out.integer(panel.width);
  out.integer(panel.height);
  out.word(static_cast<uint32_t>(panel.controls.size()));
  for (const auto& control : panel.controls) {
    out.integer(control.number);
    out.integer(static_cast<int32_t>(control.kind));
    out.integer(control.x);
    out.integer(control.y);
    out.integer(control.width);
    out.integer(control.height);
    out.word(control.picture);
    out.integer(control.frames);
    out.integer(control.ledCount);
    out.integer(control.ledPitch);
    out.real(control.fontSize);
    out.word(control.textColour);
    out.integer(control.align);
    out.text(control.text);
    out.word(static_cast<uint32_t>(control.properties.size()));
    for (const auto& property : control.properties) {
      out.word(property.code);
      out.integer(property.a);
      out.integer(property.b);
    }
  }
  return out.take();
}

std::optional<PanelResource> parsePanel(std::span<const uint8_t> bytes) {
  Reader in(bytes);
  uint32_t version = 0, count = 0;
  PanelResource panel;
  if (!in.word(version) || version != kVersion || !in.integer(panel.width, 1, kMaxSide) ||
      !in.integer(panel.height, 1, kMaxSide) || !in.word(count) ||
      count > in.left() / kControlFixedBytes) {
    return std::nullopt;
  }
  panel.controls.resize(count);
  std::set<int32_t> numbers;
  for (auto& control : panel.controls) {
    // Controls are addressed by number, so two alike would make one unreachable.
    if (!readControl(in, control) || !numbers.insert(control.number).second) return std::nullopt;
  }
  if (in.left() != 0) return std::nullopt;
  return panel;
}

}  // namespace gui
