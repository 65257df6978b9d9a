// The skin in the application's resource file: written the same on every build, every control
// the window addresses present with the frames it needs, and eight skins that look different
// when the framework draws them.

#include <cairo.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "framework/resource_file.h"
#include "gui/epi_alpha_control_text.h"
#include "gui/epi_alpha_panel.h"
#include "gui/epi_picture.h"
#include "gui/panel_resource.h"
#include "gui/picture_cache.h"
#include "plugin/parameter_descriptor.h"

namespace {

namespace fs = std::filesystem;
using gui::ControlKind;

constexpr uint32_t kFrontPanel = 10, kAboutPanel = 11;
constexpr int kSkins = 8;

std::vector<char> slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Reads the resource file the build wrote; its pictures are decoded once for all renders.
class SkinResources : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    opened_ = file_.open(VALVORAMA_LIVE_RESOURCES);
    pictures_ = std::make_unique<gui::PictureCache>(file_);
  }
  static void TearDownTestSuite() {
    pictures_.reset();
    gui::releaseFontCaches();
  }

  void SetUp() override { ASSERT_TRUE(opened_); }

  static gui::PanelResource panel(uint32_t id) {
    const auto bytes = file_.read(gui::kPanelType, id);
    const auto parsed = bytes ? gui::parsePanel(*bytes) : std::nullopt;
    EXPECT_TRUE(parsed.has_value()) << "panel " << id;
    return parsed.value_or(gui::PanelResource{});
  }

  // The panel drawn by the framework with these control values.
  static std::vector<uint8_t> render(uint32_t id, const std::vector<std::pair<int, int>>& values) {
    gui::epiAlphaPanel panel;
    EXPECT_TRUE(panel.load(file_, id, *pictures_));
    panel.setActive(false);  // values taken at once
    for (const auto& [number, value] : values)
      EXPECT_TRUE(panel.setValue(number, int16_t(value)));
    panel.setActive(true);
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, panel.width(), panel.height());
    cairo_t* cr = cairo_create(surface);
    panel.draw(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    std::vector<uint8_t> pixels(
        data, data + size_t(cairo_image_surface_get_stride(surface)) * size_t(panel.height()));
    cairo_surface_destroy(surface);
    return pixels;
  }

  static inline bool opened_ = false;
  static inline framework::ResourceFile file_;
  static inline std::unique_ptr<gui::PictureCache> pictures_;
};

// The share of pixels that differ between two renders of one panel.
double differingShare(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  size_t differing = 0;
  for (size_t i = 0; i + 4 <= a.size() && i + 4 <= b.size(); i += 4)
    differing += !std::equal(a.begin() + ptrdiff_t(i), a.begin() + ptrdiff_t(i + 4),
                             b.begin() + ptrdiff_t(i));
  return a.empty() ? 0.0 : double(differing) / double(a.size() / 4);
}

struct Expected {
  int number;
  ControlKind kind;
  int minFrames, maxFrames;
};

void expectControls(const gui::PanelResource& panel, const std::vector<Expected>& expected) {
  for (const auto& e : expected) {
    SCOPED_TRACE("control " + std::to_string(e.number));
    const auto found = std::find_if(panel.controls.begin(), panel.controls.end(),
                                    [&](const auto& c) { return c.number == e.number; });
    ASSERT_NE(found, panel.controls.end());
    EXPECT_EQ(found->kind, e.kind);
    EXPECT_GE(found->frames, e.minFrames);
    EXPECT_LE(found->frames, e.maxFrames);
  }
}

// A second run of the generator writes the very file the build wrote.
TEST_F(SkinResources, EveryBuildWritesTheSameBytes) {
  const fs::path folder =
      fs::temp_directory_path() / ("valvorama_skin_" + std::to_string(::getpid()));
  fs::create_directories(folder);
  const fs::path again = folder / "ValvoramaLive.xrs";
  const std::string command = "'" MAKE_RESOURCES_BINARY "' '" + again.string() + "'";
  const int status = std::system(command.c_str());
  const auto bytes = slurp(again);
  fs::remove_all(folder);
  ASSERT_EQ(status, 0);
  EXPECT_GT(bytes.size(), 100000u);
  EXPECT_TRUE(bytes == slurp(VALVORAMA_LIVE_RESOURCES));
}

TEST_F(SkinResources, FrontPanelHoldsEveryControlTheWindowAddresses) {
  constexpr int kMany = 4096;
  std::vector<Expected> expected = {
      {0, ControlKind::kImageSelector, kSkins, kSkins},  // one frame per skin
      {10, ControlKind::kRotary, 3, 3},                  // tuner switch
      {34, ControlKind::kImageSelector, 8, 8},           // blank, then A..G
      {48, ControlKind::kImageSelector, 21, kMany},      // 0..14, parked at 20
      {59, ControlKind::kLedMeter, 1, 2},
  };
  for (int lamp : {4, 5, 6, 7, 9, 14, 35})
    expected.push_back({lamp, ControlKind::kImageSelector, 2, 2});
  for (int button : {50, 53, 54, 55, 57, 64})
    expected.push_back({button, ControlKind::kButton, 2, 2});
  for (int text : {60, 61, 63, 65})
    expected.push_back({text, ControlKind::kText, 1, 1});
  // The descriptor rows' controls: list knobs must reach position 120 (lists 1 and 2) or 2
  // (list 3); 0..127 knobs show the control values 0..128 one frame each; on/off rows switch.
  for (const auto& row : plugin::kParameterDescriptors) {
    if (row.listNumber != 0) {
      expected.push_back(
          {row.controlId, ControlKind::kListKnob, row.listNumber == 3 ? 3 : 121, kMany});
    } else if (row.maximum > 1) {
      expected.push_back({row.controlId, ControlKind::kRotary, 129, 129});
    } else {
      expected.push_back({row.controlId, ControlKind::kCheckButton, 2, 2});
    }
  }
  const auto front = panel(kFrontPanel);
  expectControls(front, expected);
  for (const auto& c : front.controls) {
    EXPECT_TRUE(c.number != 59 || c.ledCount == 4) << "input level steps 0..3";
    EXPECT_TRUE(c.number != 65 || c.text == ".") << c.text;
  }
}

TEST_F(SkinResources, AboutPanelHoldsItsNeedlesCreditsAndTexts) {
  std::vector<Expected> expected = {{0, ControlKind::kImageSelector, kSkins, kSkins},
                                    {8, ControlKind::kImageSelector, kSkins, kSkins},
                                    {7, ControlKind::kScrollingText, 1, 1}};
  for (int text : {9, 10, 11})
    expected.push_back({text, ControlKind::kText, 1, 1});
  for (int needle = 1; needle <= 6; ++needle)
    expected.push_back({needle, ControlKind::kMeter, 64, 64});  // random values 0..63
  const auto about = panel(kAboutPanel);
  expectControls(about, expected);
  // The window scrolls the credits up by as much as 480 pixels: the picture goes that far.
  for (const auto& c : about.controls) {
    if (c.number != 7) continue;
    const auto png = file_.read(gui::kPictureType, c.picture);
    ASSERT_TRUE(png);
    const auto credits = gui::decodePng(*png);
    ASSERT_TRUE(credits);
    EXPECT_GE(cairo_image_surface_get_height(credits.get()), c.height + 480);
  }
}

TEST_F(SkinResources, PanelsLoadAndTheirControlsSitInsideWithoutOverlapping) {
  for (uint32_t id : {kFrontPanel, kAboutPanel}) {
    SCOPED_TRACE("panel " + std::to_string(id));
    gui::epiAlphaPanel built;
    ASSERT_TRUE(built.load(file_, id, *pictures_));  // every picture present and tall enough
    const auto resource = panel(id);
    std::vector<gui::Rect> taken;  // what the pointer can press or turn
    for (const auto& c : resource.controls) {
      SCOPED_TRACE("control " + std::to_string(c.number));
      const gui::Rect area = built.control(c.number)->bounds();
      EXPECT_GE(area.x, 0);
      EXPECT_GE(area.y, 0);
      EXPECT_LE(area.x + area.width, resource.width);
      EXPECT_LE(area.y + area.height, resource.height);
      const bool pressable = c.kind == ControlKind::kRotary || c.kind == ControlKind::kListKnob ||
                             c.kind == ControlKind::kButton || c.kind == ControlKind::kCheckButton;
      if (id != kFrontPanel || !pressable) continue;
      for (const auto& other : taken)
        EXPECT_FALSE(area.intersects(other));
      taken.push_back(area);
    }
  }
}

TEST_F(SkinResources, MainPictureIsTheFrontPanelsSize) {
  const auto front = panel(kFrontPanel);
  EXPECT_EQ(gui::pictureSize(file_, gui::kMainPictureId),
            (gui::PictureSize{front.width, front.height}));
  EXPECT_EQ(panel(kAboutPanel).width, front.width);  // shown in its place
  EXPECT_EQ(panel(kAboutPanel).height, front.height);
}

TEST_F(SkinResources, EightSkinsLookDifferent) {
  std::vector<std::vector<uint8_t>> front, about;
  for (int skin = 0; skin < kSkins; ++skin) {
    front.push_back(render(kFrontPanel, {{0, skin}}));
    about.push_back(render(kAboutPanel, {{0, skin}, {8, skin}}));
  }
  for (int a = 0; a < kSkins; ++a) {
    for (int b = a + 1; b < kSkins; ++b) {
      // Colour and material change most of the face, not a detail of it.
      SCOPED_TRACE("skins " + std::to_string(a) + " and " + std::to_string(b));
      EXPECT_GT(differingShare(front[size_t(a)], front[size_t(b)]), 0.5);
      EXPECT_GT(differingShare(about[size_t(a)], about[size_t(b)]), 0.5);
    }
  }
}

}  // namespace
