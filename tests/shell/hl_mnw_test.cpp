#include <algorithm>

#include <gtest/gtest-spi.h>

#include "graphics/tman.h"
#include "shell_fixture.h"

using namespace kx_test;

namespace {

// A window 0 of 800 by 600 without start-up.
class FrameLoop : public ShellTest {
protected:
	void SetUp() override
	{
		ShellTest::SetUp();
		THREAD_init();
		mnw.x_res_now = 800;
		mnw.y_res_now = 600;
		mnw.ui_scale = 1.0f;
		mnw.wind_id = -1;
		win.pointer_x = 400;  // away from every box the tests place
		win.pointer_y = 300;
	}
	// Screen pixels of an interface point of the current window.
	int px(float x) const { return int(x + mnw.dialog_x); }
	int py(float y) const { return int(mnw.y_res_now - (y + mnw.dialog_y)); }
	void frame() { DIDIVI_event_proc(); }
	AlertRecorder alerts;
};

void set_box(int16_t& x1, int16_t& y1, int16_t& x2, int16_t& y2, int a, int b, int c, int d)
{
	x1 = int16_t(a);
	y1 = int16_t(b);
	x2 = int16_t(c);
	y2 = int16_t(d);
}

}  // namespace

TEST(WindowRules, DialogOrigins)
{
	float x = 0, y = 0;
	DIDIVI_window_origin(1600, 600, 1.0f, 420, 250, x, y);  // left half of a wide screen
	EXPECT_EQ(x, 190);
	EXPECT_EQ(y, 175);
	DIDIVI_window_origin(800, 600, 1.0f, 700, 146, x, y);
	EXPECT_EQ(x, 50);
	EXPECT_EQ(y, 227);
	DIDIVI_window_origin(800, 600, 1.0f, 700, 206, x, y);
	EXPECT_EQ(x, 50);
	EXPECT_EQ(y, 197);
	DIDIVI_window_origin(800, 600, 1.0f, 800, 600, x, y);
	EXPECT_EQ(x, 0);
	EXPECT_EQ(y, 0);
	DIDIVI_window_origin(300, 200, 1.0f, 420, 250, x, y);  // never negative
	EXPECT_EQ(x, 0);
	EXPECT_EQ(y, 0);
}

TEST(WindowRules, HoverHelpHeights)
{
	EXPECT_EQ(DIDIVI_help_height(120), 60);
	EXPECT_EQ(DIDIVI_help_height(250), 70);
	EXPECT_EQ(DIDIVI_help_height(3000), 300);
}

TEST_F(FrameLoop, OneFrameInOrder)
{
	frame();
	EXPECT_EQ(mnw.wind_id, 0);
	const auto n = kx_fake::names();
	std::vector<std::string> order;
	for (const auto& name : n)
		if (name == "BTN_begin_focus_ring" || name == "APP_update")
			order.push_back(name);
	EXPECT_EQ(order,
	          (std::vector<std::string>{"BTN_begin_focus_ring", "APP_update"}));
	EXPECT_EQ(kx_fake::calls().back().name, "APP_update");  // hover help, menus, then the swap
	EXPECT_EQ(win.frame(), 1);
	EXPECT_EQ(xtim.first_frame, 0);
	ASSERT_FALSE(win.waits.empty());
	EXPECT_EQ(win.waits.back(), 17);

	// A fixed dialog skips the application and waits longer while it is the alert box.
	DIDIVI_startwind(wind_alert, 0);
	kx_fake::reset();
	frame();
	EXPECT_TRUE(kx_fake::calls_of("APP_update").empty());
	EXPECT_EQ(win.frame(), 2);
	EXPECT_EQ(win.waits.back(), 167);
}

TEST_F(FrameLoop, EventsReachTheirHandlers)
{
	win.at_frame(0, ScriptedWindow::key(plat_ev_key_down, 36, 13));
	win.at_frame(0, ScriptedWindow::of_kind(plat_ev_wheel));
	plat_event wheel = ScriptedWindow::of_kind(plat_ev_wheel);
	wheel.wheel = 3;
	win.at_frame(0, wheel);
	win.at_frame(1, ScriptedWindow::key(plat_ev_key_up, 36, 13));
	win.at_frame(1, ScriptedWindow::of_kind(plat_ev_high_level));
	frame();
	// The key layer turns Return's key code 36 into character 13, virtual key 13, key down.
	const auto keys_seen = kx_fake::calls_of("BTN_dispatch_to_focus");
	ASSERT_EQ(keys_seen.size(), 1u);
	EXPECT_EQ(keys_seen[0].num, (std::vector<double>{13, 13, 8}));
	EXPECT_EQ(mnw.key_event, 1);
	EXPECT_EQ(mnw.key_held, 1);
	EXPECT_EQ(mnw.wheel, 3);
	frame();
	EXPECT_EQ(mnw.key_held, 0);
	EXPECT_EQ(mnw.key_event, 0);
	EXPECT_EQ(quit_requested, 1);
}

TEST_F(FrameLoop, OperatingSystemEventEndsThePump)
{
	win.at_frame(0, ScriptedWindow::of_kind(plat_ev_os, plat_os_suspend_message));
	win.at_frame(0, ScriptedWindow::key(plat_ev_key_down, 0, 'a'));
	frame();
	EXPECT_TRUE(kx_fake::calls_of("BTN_dispatch_to_focus").empty());
	frame();
	EXPECT_TRUE(kx_fake::calls_of("BTN_dispatch_to_focus").empty());  // the rest stays in its frame's queue
}

TEST_F(FrameLoop, CloseCornersOfPrefsButNotOfTheAlertBox)
{
	mnw.wind_id = 0;
	frame();
	DIDIVI_startwind(wind_prefs, 0);
	EXPECT_EQ(mnw.dialog_x, 100);
	EXPECT_EQ(mnw.dialog_y, 110);
	win.pointer_x = 400;  // the pointer has moved on; the press counts where it was
	win.pointer_y = 300;
	win.at_frame(win.frame(), ScriptedWindow::click(plat_ev_mouse_down, px(10), py(370)));
	frame();
	EXPECT_EQ(mnw.wind_id, 0);
	EXPECT_EQ(kx_fake::calls_of("BTN_zap_boxes").size(), 1u);

	DIDIVI_startwind(wind_prefs, 0);
	win.at_frame(win.frame(), ScriptedWindow::click(plat_ev_mouse_down, px(590), py(375)));
	frame();
	EXPECT_EQ(mnw.wind_id, 0);

	for (int id : {wind_alert, wind_modified_file, wind_two_button}) {
		DIDIVI_startwind(id, 0);
		const int f = win.frame();
		win.at_frame(f, ScriptedWindow::click(plat_ev_mouse_down, px(5), py(mnw.wind_dy - 5)));
		frame();
		EXPECT_EQ(mnw.wind_id, id);
	}
	EXPECT_EQ(kx_fake::calls_of("BTN_zap_boxes").size(), 2u);
	// Return does not close the questions either.
	DIDIVI_startwind(wind_two_button, 0);
	DIDIVI_handleclick(1);
	EXPECT_EQ(mnw.wind_id, wind_two_button);
}

TEST_F(FrameLoop, MenuTitlesOpenAndClose)
{
	frame();
	set_box(menu[3].x1, menu[3].y1, menu[3].x2, menu[3].y2, 0, 582, 60, 600);
	set_box(menu[4].x1, menu[4].y1, menu[4].x2, menu[4].y2, 60, 582, 120, 600);
	menu[3].title = "File";
	menu[4].title = "Edit";
	item_struct item;
	item.text = "Open";
	item.code = 42;
	set_box(item.x1, item.y1, item.x2, item.y2, 0, 560, 180, 572);
	menu[3].items.push_back(item);
	item.text = "-";
	set_box(item.x1, item.y1, item.x2, item.y2, 0, 558, 180, 560);
	menu[3].items.push_back(item);

	win.at_frame(win.frame(), ScriptedWindow::click(plat_ev_mouse_down, 30, 10));
	frame();
	EXPECT_EQ(mnw.open_menu, 3);
	EXPECT_EQ(mnw.mouse_down, 0);  // the menu took the click
	win.at_frame(win.frame(), ScriptedWindow::click(plat_ev_mouse_down, 90, 10));
	frame();
	EXPECT_EQ(mnw.open_menu, 4);
	win.at_frame(win.frame(), ScriptedWindow::click(plat_ev_mouse_down, 90, 10));
	frame();
	EXPECT_EQ(mnw.open_menu, -1);  // a second click on its own title closes it

	// An item fires the application's menu hook; a separator never does.
	mnw.open_menu = 3;
	win.at_frame(win.frame(), ScriptedWindow::click(plat_ev_mouse_down, 50, 600 - 559));
	frame();
	EXPECT_TRUE(kx_fake::calls_of("APP_handlemenu").empty());
	EXPECT_EQ(mnw.open_menu, -1);
	mnw.open_menu = 3;
	win.at_frame(win.frame(), ScriptedWindow::click(plat_ev_mouse_down, 50, 600 - 565));
	frame();
	ASSERT_EQ(kx_fake::calls_of("APP_handlemenu").size(), 1u);
	EXPECT_EQ(kx_fake::calls_of("APP_handlemenu")[0].num[0], 42);
}

TEST_F(FrameLoop, EmptySlotsZeroBoxIsNeverHit)
{
	frame();
	// The mouse at the window's lower left corner is inside every empty slot's 0,0,0,0.
	win.at_frame(win.frame(), ScriptedWindow::click(plat_ev_mouse_down, 0, 600));
	frame();
	EXPECT_EQ(mnw.open_menu, -1);
	EXPECT_EQ(mnw.mouse_down, 1);  // the click is left for the widgets
}

TEST_F(FrameLoop, PopupListChoice)
{
	frame();
	menu_struct& p = menu[menu_popup_slot];
	for (int i = 0; i < 3; ++i) {
		item_struct it;
		it.text = i == 1 ? "=shown only" : "choice";
		set_box(it.x1, it.y1, it.x2, it.y2, 100, 300 - 12 * i, 200, 312 - 12 * i);
		p.items.push_back(it);
	}
	mnw.open_menu = menu_popup_slot;
	active_popup_code = 77;
	win.at_frame(win.frame(), ScriptedWindow::click(plat_ev_mouse_down, 150, 600 - 294));  // the "=" item
	frame();
	EXPECT_EQ(active_popup_code, 77);
	EXPECT_EQ(mnw.open_menu, -1);

	mnw.open_menu = menu_popup_slot;
	win.at_frame(win.frame(), ScriptedWindow::click(plat_ev_mouse_down, 150, 600 - 282));
	frame();
	EXPECT_EQ(popup_menu_select, 2);
	EXPECT_EQ(select_popup_code, 77);
	EXPECT_EQ(active_popup_code, 0);
	EXPECT_EQ(mnw.open_menu, -1);
	EXPECT_EQ(mnw.mouse_down, 0);
}

TEST_F(FrameLoop, HoverHelpPanel)
{
	frame();
	mnw.mouse_move_time = -100;
	mnw.mouse_x = 500;
	mnw.mouse_y = 200;
	stls.mouse_help = std::string(120, 'x');
	mouse_help_per_wind(0);
	auto panels = kx_fake::calls_of("BTN_frame2");
	ASSERT_EQ(panels.size(), 1u);
	EXPECT_EQ(panels[0].num[0], 14);
	EXPECT_EQ(panels[0].num[4], 60 + 20);
	EXPECT_EQ(panels[0].num[1], 500 - 415 - 10);
	EXPECT_TRUE(stls.mouse_help.empty());

	stls.mouse_help = std::string(3000, 'x');
	mnw.mouse_y = 400;
	mouse_help_per_wind(0);
	panels = kx_fake::calls_of("BTN_frame2");
	ASSERT_EQ(panels.size(), 2u);
	EXPECT_EQ(panels[1].num[4], 300 + 20);
	// Kept below the window's top: bottom at most 600 - 20 - 300.
	EXPECT_EQ(panels[1].num[2], 600 - 20 - 300 - 10);
}

TEST_F(FrameLoop, TextureFailuresAreReportedOnceOnWindowZero)
{
	frame();
	tman.scene_load_fail = 1;
	tman.instl_load_fail = 1;
	frame();
	frame();
	const auto a = alerts.alerts();
	ASSERT_EQ(a.size(), 2u);
	EXPECT_EQ(a[0].line1, "Some scenery textures could not be loaded.");
	EXPECT_EQ(a[0].line, 1566);
	EXPECT_EQ(a[1].line, 1568);
	EXPECT_EQ(a[1].line3, "Please see the log.txt file for a detailed list of missing files.");
	tman.scene_load_fail = tman.instl_load_fail = 0;
}

TEST_F(FrameLoop, LoopingTestFailsOnItsFrameBudget)
{
	win.set_budget(5);
	const auto run_forever = [this] {
		try {
			for (;;) frame();
		} catch (const FrameBudgetExceeded&) {
			return true;
		}
	};
	bool stopped = false;
	EXPECT_NONFATAL_FAILURE(stopped = run_forever(), "more than 5 frames");
	EXPECT_TRUE(stopped);
}

TEST_F(FrameLoop, CursorHidesAfterTenQuietSecondsOnWindowZeroOnly)
{
	frame();
	mnw.mouse_move_time = xtim.elapsed - 11;
	frame();
	ASSERT_FALSE(win.cursor_changes.empty());
	EXPECT_FALSE(win.cursor_changes.back());
	const size_t changes = win.cursor_changes.size();
	frame();
	EXPECT_EQ(win.cursor_changes.size(), changes);  // hidden once, not every frame
	DIDIVI_startwind(wind_alert, 0);
	frame();
	EXPECT_TRUE(win.cursor_changes.back());  // dialogs always show the arrow
}

namespace {
int g_offers = 0;
int recording() { return ++g_offers; }  // a recorder that takes every frame
}  // namespace

TEST_F(FrameLoop, ARecordingRecorderTakesTheSwap)
{
	g_offers = 0;
	frame_recorder_fn old = DIDIVI_set_frame_recorder(recording);
	frame();
	DIDIVI_set_frame_recorder(old);
	EXPECT_EQ(g_offers, 1);
	EXPECT_EQ(win.frame(), 0);  // the recorder swapped, not the frame loop
	frame();
	EXPECT_EQ(win.frame(), 1);
}
