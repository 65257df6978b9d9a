// The front panel's rules that need no display: value conversions, naming targets, the tuner
// reference text.

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "ui/control_conversion.h"
#include "ui/program_name_edit.h"
#include "ui/tuner_reference.h"

namespace {

TEST(FrontPanelRules, ControlAndParameterValuesConvertByTheRowsRangeAndList) {
  const struct {
    int row;
    float plain;
    int control;
  } toControl[] = {
      {13, 127.0f, 128}, {13, 64.0f, 64}, {13, 10.0f, 10}, {13, 0.0f, 0},  // 0..127 knob
      {8, 1.0f, 1},      {2, 2.0f, 2},    {19, 3.0f, 3},   {20, 2.9f, 2},  // as they stand
      {13, NAN, 0},      {22, 50.0f, 0},  {-1, 50.0f, 0},                  // nothing to show
  };
  for (const auto& c : toControl)
    EXPECT_EQ(ui::paramToControl(c.row, c.plain), c.control) << c.row << " " << c.plain;

  const struct {
    int row, control;
    float plain;
  } toParam[] = {
      {13, 60, 127.0f * 60 / 128},
      {13, 128, 127.0f},
      {13, 0, 0.0f},  // 0..128 onto 0..127
      {2, 1, 1.0f},
      {19, 2, 2.0f},
      {20, 0, 0.0f},  // list entries' values
      {19, 7, 2.0f},
      {2, -3, 0.0f},  // never off the list
      {8, 1, 1.0f},
      {21, 0, 0.0f},
      {22, 5, 0.0f},
  };
  for (const auto& c : toParam)
    EXPECT_FLOAT_EQ(ui::controlToParam(c.row, c.control), c.plain) << c.row << " " << c.control;
}

TEST(FrontPanelRules, NamingNeverTargetsTheFirst32Programs) {
  const struct {
    int program;
    std::vector<int> steps;
    std::vector<int> targets;  // after each step
  } cases[] = {
      {0, {}, {}},                         // begins on 33
      {127, {1, -1, -1}, {32, 127, 126}},  // 128 up gives 33, 33 down gives 128
      {40, {-1, 0, 1, 1}, {39, 39, 40, 41}},
      {31, {-1}, {62}},  // begun on 32: 64, then 63
      {126, {1, 1, 1}, {127, 32, 33}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.program);
    ui::ProgramNameEdit edit;
    edit.begin(c.program, "x");
    EXPECT_EQ(edit.target(), c.program < 32 ? c.program + 32 : c.program);
    for (size_t i = 0; i < c.steps.size(); ++i) {
      edit.step(c.steps[i]);
      EXPECT_EQ(edit.target(), c.targets[i]) << "step " << i;
    }
  }

  // A long name is cut to 20 before the cursor; nothing more can be typed, but deleted.
  ui::ProgramNameEdit edit;
  edit.begin(3, "a very long program name");
  EXPECT_EQ(edit.text(), "A VERY LONG PROGRAM _");
  EXPECT_EQ(edit.type('x'), ui::ProgramNameEdit::Typed::kIgnored);
  EXPECT_EQ(edit.type(8), ui::ProgramNameEdit::Typed::kChanged);
  EXPECT_EQ(edit.name(), "A VERY LONG PROGRAM");
  for (int key : {127, 128, 31, 0x263a})  // Delete, control codes, beyond ASCII
    EXPECT_EQ(edit.type(key), ui::ProgramNameEdit::Typed::kIgnored) << key;
  edit.begin(3, "");
  EXPECT_EQ(edit.type(8), ui::ProgramNameEdit::Typed::kChanged);
  EXPECT_EQ(edit.text(), "_");
  EXPECT_EQ(edit.type(13), ui::ProgramNameEdit::Typed::kCommit);
}

TEST(FrontPanelRules, TunerReferenceTextBothWays) {
  const struct {
    float hz;
    const char* text;
  } shown[] = {{440.0f, "440.0"}, {441.7f, "441.7"}, {12345.67f, "12345.7"}, {1.0e9f, "1000000"}};
  for (const auto& s : shown)
    EXPECT_EQ(ui::tunerReferenceText(s.hz), s.text);

  const struct {
    const char* typed;
    std::optional<float> hz;
  } typed[] = {{"441,7", 441.7f}, {"441.7.2", 441.7f},   {"1,2,3", 1.2f},    {" 442", 442.0f},
               {"440Hz", 440.0f}, {"abc", std::nullopt}, {"", std::nullopt}, {",5", 0.5f}};
  for (const auto& t : typed)
    EXPECT_EQ(ui::parseTunerReference(t.typed), t.hz) << t.typed;
}

}  // namespace
