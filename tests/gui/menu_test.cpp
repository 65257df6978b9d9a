#include <gtest/gtest.h>

#include "gui/epi_menu.h"
#include "gui/epi_menu_bar.h"
#include "panel_test_support.h"
#include "window_test_support.h"

namespace {

using gui::epiMenu;
using gui::epiMenuBar;
using gui::Rect;
using platform::InputEvent;
using testsupport::RecordingWindow;

// The host window's menus: the about command (no title), "File", the programs in four
// submenus of 32, "Settings" with a separator as item 3.
void addHostMenus(epiMenuBar& bar) {
  bar.addMenu(0, "")->addItem("About");
  bar.addMenu(1, "File")->addItem("Quit");
  epiMenu* programs = bar.addMenu(2, "Programs");
  const char* const banks[] = {"1..32", "33..64", "65..96", "97..128"};
  for (int32_t bank = 0; bank < 4; ++bank) {
    epiMenu* submenu = programs->addSubmenu(4 + bank, banks[bank]);
    for (int32_t i = 1; i <= 32; ++i)
      submenu->addItem("Program " + std::to_string(bank * 32 + i));
  }
  epiMenu* settings = bar.addMenu(3, "Settings");
  for (const char* text : {"Audio setup...", "Tuner setup...", "", "Learn Preset Up CC/PC...",
                           "Learn Preset Down CC/PC...", "Learn Volume CC...", "Learn Wah CC..."}) {
    if (*text)
      settings->addItem(text);
    else
      settings->addSeparator();
  }
}

TEST(Menu, CommandsByGroupAndItemAndItemsAddedWhileOpen) {
  epiMenuBar bar;
  addHostMenus(bar);
  const struct {
    int32_t group, item;
    const char* text;
    int32_t command;
  } cases[] = {
      {0, 1, "About", 40001},
      {3, 7, "Learn Wah CC...", 40307},
      {7, 32, "Program 128", 40732},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const epiMenu* menu = bar.menu(c.group);
    EXPECT_EQ(menu->item(c.item)->text, c.text);
    EXPECT_EQ(menu->commandOf(c.item), c.command);
    EXPECT_EQ(epiMenu::groupOf(c.command), c.group);
    EXPECT_EQ(epiMenu::itemOf(c.command), c.item);
  }
  EXPECT_TRUE(bar.menu(3)->item(3)->separator);
  EXPECT_EQ(bar.menu(3)->item(8), nullptr);
  EXPECT_EQ(bar.addMenu(3, "Again"), nullptr) << "a group is one menu";

  epiMenu full(9, "Full");
  for (int32_t i = 1; i <= 99; ++i)
    ASSERT_EQ(full.addItem("x"), i);
  EXPECT_EQ(full.addItem("one too many"), 0) << "item 100 would be the next group's item 0";

  // Offline: the bar driven with an event handed in.
  epiMenu& settings = *bar.menu(3);
  ASSERT_TRUE(settings.check(2, true));
  EXPECT_FALSE(settings.check(9, true));
  const Rect title = bar.titleArea(3);
  bar.handle(
      {.type = InputEvent::Type::kButtonPress, .x = title.x + 1, .y = title.y + 1, .button = 1},
      500, 400);
  ASSERT_TRUE(bar.tracking());

  // An item added while it is open waits for the next layout; drawing keeps to the current one.
  EXPECT_FALSE(settings.rename(0, "none"));
  settings.addItem("Reset mappings");
  EXPECT_TRUE(bar.itemArea(3, 8).empty());
  const auto& popup = bar.popups().front();
  testsupport::drawn(popup.area.width, popup.area.height, [&](cairo_t* cr) {
    bar.drawPopup(cr, popup);
    EXPECT_EQ(cairo_status(cr), CAIRO_STATUS_SUCCESS);
  });
  bar.relayout();
  EXPECT_GT(bar.itemArea(3, 8).y, bar.itemArea(3, 7).y);
}

class MenuTest : public testsupport::WindowTest {};

TEST_F(MenuTest, ClickingAnItemRunsItsCommand) {
  RecordingWindow window(engine_, framework::fourCC("hosw"));
  addHostMenus(window.menuBar());
  ASSERT_TRUE(window.enableMenuItem(3, 6, false));
  ASSERT_TRUE(window.openTopLevel(480, 320, "menus"));
  ASSERT_TRUE(onScreen(window));
  epiMenuBar& bar = window.menuBar();
  const auto openMenu = [&](int32_t group) {
    click(window, bar.titleArea(group));
    return passUntil([&] { return bar.tracking() && engine_.menuWindow() == &window; });
  };
  const auto ranCommand = [&](int32_t command) {
    const bool ran = passUntil([&] { return !window.commands.empty(); });
    const bool right = ran && window.commands == std::vector<int32_t>{command};
    window.commands.clear();
    return right;
  };

  SCOPED_TRACE("click a title, click an item");
  ASSERT_TRUE(openMenu(3));
  click(window, bar.itemArea(3, 2));
  EXPECT_TRUE(ranCommand(40302));
  EXPECT_FALSE(bar.tracking());
  EXPECT_EQ(engine_.menuWindow(), nullptr);

  SCOPED_TRACE("a submenu opens under the pointer");
  ASSERT_TRUE(openMenu(2));
  const Rect bank = bar.itemArea(2, 2);
  input_->moveTo(window.nativeHandle(), bank.x + bank.width / 2, bank.y + bank.height / 2);
  ASSERT_TRUE(passUntil([&] { return bar.popups().size() == 2; }));
  click(window, bar.itemArea(5, 5));
  EXPECT_TRUE(ranCommand(40505));

  SCOPED_TRACE("separators and disabled items choose nothing; a click outside closes");
  ASSERT_TRUE(openMenu(3));
  click(window, bar.itemArea(3, 3));
  click(window, bar.itemArea(3, 6));
  settle();
  EXPECT_TRUE(bar.tracking());
  click(window, 400, 300);
  ASSERT_TRUE(passUntil([&] { return !bar.tracking(); }));
  EXPECT_TRUE(window.commands.empty());
}

}  // namespace
