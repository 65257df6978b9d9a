// The skin in the application's resource file, as the window addresses it.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "framework/resource_file.h"
#include "gui/epi_alpha_panel.h"
#include "gui/epi_picture.h"
#include "gui/panel_resource.h"
#include "plugin/parameter_descriptor.h"

namespace {

using gui::ControlKind;

constexpr uint32_t kFrontPanel = 10, kAboutPanel = 11;
constexpr int kSkins = 8;

gui::PanelResource panelOf(const framework::ResourceFile& file, uint32_t id) {
  const auto bytes = file.read(gui::kPanelType, id);
  const auto parsed = bytes ? gui::parsePanel(*bytes) : std::nullopt;
  EXPECT_TRUE(parsed.has_value()) << "panel " << id;
  return parsed.value_or(gui::PanelResource{});
}

// Reads the resource file the build wrote.
TEST(SkinResources, PanelsLoadAndHoldEveryControlTheWindowAddressesWithoutOverlaps) {
  framework::ResourceFile file;
  ASSERT_TRUE(file.open(VALVORAMA_LIVE_RESOURCES));
  gui::PictureCache pictures(file);
  struct Expected {
    uint32_t panel;
    int number;
    ControlKind kind;
    int minFrames, maxFrames;
  };
  constexpr int kMany = 4096;
  std::vector<Expected> expected = {
      {kFrontPanel, 0, ControlKind::kImageSelector, kSkins, kSkins},  // one frame per skin
      {kFrontPanel, 10, ControlKind::kRotary, 3, 3},                  // tuner switch
      {kFrontPanel, 59, ControlKind::kLedMeter, 1, 2},
      {kAboutPanel, 0, ControlKind::kImageSelector, kSkins, kSkins},
      {kAboutPanel, 7, ControlKind::kScrollingText, 1, 1},
  };
  for (int lamp : {4, 5, 6, 7, 9, 14, 35})
    expected.push_back({kFrontPanel, lamp, ControlKind::kImageSelector, 2, 2});
  for (int button : {50, 53, 54, 55, 57, 64})
    expected.push_back({kFrontPanel, button, ControlKind::kButton, 2, 2});
  for (int text : {60, 61, 63, 65})
    expected.push_back({kFrontPanel, text, ControlKind::kText, 1, 1});
  // Parameter controls: list knobs reach 120 (list 3: 2), knobs show 0..128, on/off switch.
  for (const auto& row : plugin::kParameterDescriptors) {
    if (row.listNumber != 0) {
      expected.push_back({kFrontPanel, row.controlId, ControlKind::kListKnob,
                          row.listNumber == 3 ? 3 : 121, kMany});
    } else {
      const bool knob = row.maximum > 1;
      expected.push_back({kFrontPanel, row.controlId,
                          knob ? ControlKind::kRotary : ControlKind::kCheckButton, knob ? 129 : 2,
                          knob ? 129 : 2});
    }
  }
  const gui::PanelResource panels[] = {panelOf(file, kFrontPanel), panelOf(file, kAboutPanel)};
  for (const auto& e : expected) {
    SCOPED_TRACE("panel " + std::to_string(e.panel) + " control " + std::to_string(e.number));
    const auto& controls = panels[e.panel - kFrontPanel].controls;
    const auto found = std::find_if(controls.begin(), controls.end(),
                                    [&](const auto& c) { return c.number == e.number; });
    ASSERT_NE(found, controls.end());
    EXPECT_EQ(found->kind, e.kind);
    EXPECT_TRUE(found->frames >= e.minFrames && found->frames <= e.maxFrames) << found->frames;
    const bool front = e.panel == kFrontPanel;
    EXPECT_TRUE(!front || e.number != 59 || found->ledCount == 4) << "input level steps 0..3";
    // The window scrolls the credits up by as much as 480 pixels: the picture goes that far.
    const bool credits = e.panel == kAboutPanel && e.number == 7;
    EXPECT_TRUE(!credits || gui::pictureSize(file, found->picture)->height >= found->height + 480);
  }

  // Both load with their controls inside; no two front controls the pointer works overlap.
  for (uint32_t id : {kFrontPanel, kAboutPanel}) {
    SCOPED_TRACE("panel " + std::to_string(id));
    gui::epiAlphaPanel built;
    ASSERT_TRUE(built.load(file, id, pictures));  // every picture present and tall enough
    const auto& resource = panels[id - kFrontPanel];
    const gui::Rect whole{0, 0, resource.width, resource.height};
    std::vector<gui::Rect> taken;
    for (const auto& c : resource.controls) {
      SCOPED_TRACE("control " + std::to_string(c.number));
      const gui::Rect area = built.control(c.number)->bounds();
      EXPECT_TRUE(whole.contains(area.x, area.y) &&
                  whole.contains(area.x + area.width - 1, area.y + area.height - 1));
      const bool pressable = c.kind == ControlKind::kRotary || c.kind == ControlKind::kListKnob ||
                             c.kind == ControlKind::kButton || c.kind == ControlKind::kCheckButton;
      if (id != kFrontPanel || !pressable) continue;
      for (const auto& other : taken)
        EXPECT_FALSE(area.intersects(other));
      taken.push_back(area);
    }
  }
}

}  // namespace
