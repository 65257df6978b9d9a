#include "gui/panel_resource.h"

#include <gtest/gtest.h>

#include <limits>

#include "framework/scratch_folder.h"
#include "gui/epi_picture.h"
#include "panel_test_support.h"

namespace {

using testsupport::Bytes;

// Panel 10's first control starts after the 16-byte header; its fields are 4 bytes apart
// (the font size takes 8).
enum Offset : size_t {
  kVersionAt = 0,
  kCountAt = 12,
  kNumberAt = 16,
  kKindAt = 20,
  kControlWidthAt = 32,
  kFramesAt = 44,
  kLedCountAt = 48,
  kFontAt = 56,
  kTextLengthAt = 72,
};

void putWord(Bytes& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes[at + i] = uint8_t(value >> (8 * i));
}

TEST(PanelResource, RoundTripKeepsEveryField) {
  gui::PanelResource panel = testsupport::testPanel();
  panel.controls[11].text = "Version 1.0.3";
  panel.controls[11].align = 2;
  panel.controls[11].fontSize = 12.5;
  panel.controls[0].properties.push_back({framework::fourCC("roSp"), -3, 0x7fffffff});
  const Bytes bytes = gui::serializePanel(panel);
  const auto parsed = gui::parsePanel(bytes);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(gui::serializePanel(*parsed), bytes);
  const auto& text = parsed->controls[11];
  EXPECT_EQ(text.text, "Version 1.0.3");
  EXPECT_EQ(text.fontSize, 12.5);
  EXPECT_EQ(parsed->controls[0].properties.back().b, 0x7fffffff);
}

TEST(PanelResource, MalformedBytesAreRefused) {
  const Bytes good = gui::serializePanel(testsupport::testPanel());
  ASSERT_TRUE(gui::parsePanel(good));
  for (size_t size = 0; size < good.size(); ++size)
    ASSERT_FALSE(gui::parsePanel(std::span(good.data(), size))) << size << " bytes";
  Bytes longer = good;
  longer.push_back(0);
  EXPECT_FALSE(gui::parsePanel(longer));

  const uint64_t nan = std::bit_cast<uint64_t>(std::numeric_limits<double>::quiet_NaN());
  // Each field refused past its limit and, where it stands alone, accepted at it.
  constexpr uint32_t kNone = 0xdeadbeef;
  const struct {
    const char* what;
    size_t at;
    uint32_t value, limit;
  } cases[] = {
      {"version", kVersionAt, 2, 1},
      {"a control count beyond the bytes", kCountAt, 0x10000000, kNone},
      {"negative control number", kNumberAt, 0xffffffff, 1000},
      {"two controls numbered alike", kNumberAt, 17, kNone},
      {"unknown kind", kKindAt, 12, 11},
      {"negative width", kControlWidthAt, 0xfffffffe, 16384},
      {"no frames", kFramesAt, 0, 4096},
      {"too many LEDs", kLedCountAt, 257, 256},
      {"a font size that is not a number", kFontAt + 4, uint32_t(nan >> 32), kNone},
      {"text longer than the bytes", kTextLengthAt, 0xfffffff0, kNone},
  };
  for (const auto& c : cases) {
    Bytes bad = good;
    if (c.at == kFontAt + 4) putWord(bad, kFontAt, uint32_t(nan));
    putWord(bad, c.at, c.value);
    EXPECT_FALSE(gui::parsePanel(bad)) << c.what;
    if (c.limit == kNone) continue;
    putWord(bad, c.at, c.limit);
    EXPECT_TRUE(gui::parsePanel(bad)) << c.what;
  }
}

Bytes pngOf(int32_t width, int32_t height) {
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  Bytes png = testsupport::pngBytes(image);
  cairo_surface_destroy(image);
  return png;
}

TEST(WindowPicture, ABrokenOrMissingPictureFailsCleanly) {
  testsupport::ScratchFolder folder;
  framework::ResourceFile file;
  ASSERT_TRUE(file.open(folder.path("ValvoramaLive.xrs")));
  ASSERT_TRUE(file.write(gui::kPictureType, gui::kMainPictureId, pngOf(40, 30)));
  ASSERT_TRUE(file.write(gui::kPictureType, 12, Bytes{0x89, 'P', 'N', 'G', 0}));
  EXPECT_EQ(gui::pictureSize(file, gui::kMainPictureId), (gui::PictureSize{40, 30}));
  EXPECT_EQ(gui::loadPicture(file, 12), nullptr) << "bytes that are no PNG";
  EXPECT_EQ(gui::loadPicture(file, 13), nullptr) << "no such picture";
  EXPECT_EQ(gui::pictureSize(file, 13), std::nullopt);
}

}  // namespace
