// The pop-up list and the open and save dialog over the real frame procedure, driven by
// the scripted window (events keyed to frames, a frame budget instead of a hang).
#include <unistd.h>

#include <climits>
#include <string>

#include "runtime/rec_menu.h"
#include "shell/hl_mnw.h"
#include "support/scripted_window.h"
#include "support/test_env.h"
#include "widgets/widget_frames.h"

namespace {

constexpr int kMacReturn = 36, kMacEscape = 53, kMacBackspace = 51;

void swap_to_window() { plat_window().swap(); }

class Browser : public WidgetFrames {
protected:
	kx_test::TempEnv env;
	kx_test::ScriptedWindow win{800, 600, 60};
	std::string old_cwd;
	ogl_swap_fn old_swap = nullptr;
	float ox = 0, oy = 0;  // the dialog's origin

	void SetUp() override
	{
		WidgetFrames::SetUp();
		char buf[PATH_MAX];
		old_cwd = getcwd(buf, sizeof buf) ? buf : "";
		for (const char* f : {"sub/f.txt", "top.txt", "a/b/c.acf", "a/only.txt", "my-dir/aaa.txt",
		                      "my-dir/pipe|dir/y.txt"})
			kx_test::write_file(env.path(std::string("tree/") + f), "x");
		EXPECT_EQ(chdir(env.path("tree").c_str()), 0);
		menu.assign(menu_slot_count, menu_struct{});
		active_popup_code = select_popup_code = popup_menu_select = 0;
		mnw.ui_scale = 1;
		mnw.x_res_now = 800;
		mnw.y_res_now = 600;
		old_swap = OGL_set_swap_hook(swap_to_window);
		DIDIVI_window_origin(800, 600, 1, 561, 474, ox, oy);
	}
	void TearDown() override
	{
		OGL_set_swap_hook(old_swap);
		if (!old_cwd.empty()) {
			EXPECT_EQ(chdir(old_cwd.c_str()), 0);
		}
	}
	// A press at interface point (x, y) of the dialog.
	void press(int frame, float x, float y)
	{
		win.at_frame(frame, kx_test::ScriptedWindow::click(plat_ev_mouse_down, int(x + ox), int(600 - (y + oy))));
	}
	void key(int frame, int mac, int c) { win.at_frame(frame, kx_test::ScriptedWindow::key(plat_ev_key_down, mac, c)); }
	void type(int frame, const std::string& s)
	{
		for (char c : s) key(frame, 0, c);
	}
};

}  // namespace

TEST_F(Browser, EscapeCancelsAndKeepsThePathAndTheWindow)
{
	KX_REQUIRE_GL(gl);
	mnw.current_window = 0;
	std::string path = "a/b/c.acf";
	key(0, kMacEscape, 27);
	EXPECT_EQ(BTN_opensave(998, 3, &path), 0);
	EXPECT_EQ(path, "a/b/c.acf");
	EXPECT_EQ(mnw.current_window, 0);
	EXPECT_EQ(win.frame(), 1);
}

TEST_F(Browser, OpenWalksIntoAFolderAndPicksAFile)
{
	KX_REQUIRE_GL(gl);
	// The working folder: a, my-dir, sub, top.txt; the middle one (2, "sub") is selected.
	std::string path;
	key(0, kMacReturn, 13);  // into sub/
	key(1, kMacReturn, 13);  // its one file
	EXPECT_EQ(BTN_opensave(998, 0, &path), 1);
	EXPECT_EQ(path, "sub/f.txt");
}

TEST_F(Browser, AClickSelectsARowAndDeleteStaysInTheBase)
{
	KX_REQUIRE_GL(gl);
	std::string path;
	key(0, kMacBackspace, 8);  // in the base folder: nothing
	press(1, 50, 180 + 20);    // two rows above the middle one: "a"
	key(2, kMacReturn, 13);    // into a/: b, only.txt; the middle is only.txt
	key(3, kMacReturn, 13);
	EXPECT_EQ(BTN_opensave(998, 0, &path), 1);
	EXPECT_EQ(path, "a/only.txt");
}

TEST_F(Browser, DeleteClimbsOneFolder)
{
	KX_REQUIRE_GL(gl);
	std::string path = "a/b/c.acf";
	key(0, kMacBackspace, 8);  // up to a/
	key(1, kMacReturn, 13);
	EXPECT_EQ(BTN_opensave(998, 0, &path), 1);
	EXPECT_EQ(path, "a/only.txt");
}

TEST_F(Browser, SaveAppendsTheTypesExtensionOnReturn)
{
	KX_REQUIRE_GL(gl);
	std::string path;
	// From frame 1: the first pass of a fresh frame loop starts its window, which drops
	// the focus the field took when first drawn.
	type(1, "flight.si");
	key(2, kMacBackspace, 8);  // the name field takes Backspace: no climbing
	type(3, "it");
	key(4, kMacReturn, 13);
	EXPECT_EQ(BTN_opensave(999, 9, &path), 1);
	EXPECT_EQ(path, "Output/situations/flight.SIT");

	// A double-click on a file in the save dialog does nothing; an empty name saves nothing.
	path = "top.txt";
	key(win.frame(), kMacReturn, 13);
	key(win.frame() + 1, kMacEscape, 27);
	EXPECT_EQ(BTN_opensave(999, 0, &path), 0);
	EXPECT_EQ(path, "top.txt");
}

TEST_F(Browser, TextAnInputMethodCommitsAfterTheKeysIsTypedIntoTheName)
{
	KX_REQUIRE_GL(gl);
	using W = kx_test::ScriptedWindow;
	std::string path;
	// A dead circumflex types nothing of its own; the input method commits "^" after the
	// key-up. A letter's text may come after its key-up too.
	win.at_frame_sdl(1, {W::sdl_key(SDL_KEYDOWN, SDL_SCANCODE_GRAVE), W::sdl_key(SDL_KEYUP, SDL_SCANCODE_GRAVE),
	                     W::sdl_text("^")});
	win.at_frame_sdl(2, {W::sdl_key(SDL_KEYDOWN, SDL_SCANCODE_A, SDLK_a), W::sdl_key(SDL_KEYUP, SDL_SCANCODE_A, SDLK_a),
	                     W::sdl_text("a")});
	// Command held turns such text off; a letter outside printable ASCII is not the field's.
	win.at_frame_sdl(3, {W::sdl_text("x")}, KMOD_LGUI);
	win.at_frame_sdl(3, {W::sdl_text("\xC3\xAA"), W::sdl_text("~")});
	// A commit of several characters is typed whole, each under the same rule; what
	// Latin-1 cannot hold (U+20AC) is skipped, not the rest.
	win.at_frame_sdl(3, {W::sdl_text("^~a"), W::sdl_text("\xC3\xA9~"), W::sdl_text("x\xE2\x82\xACy")});
	key(4, kMacReturn, 13);
	key(5, kMacEscape, 27);  // an empty name saves nothing: the dialog would stay
	EXPECT_EQ(BTN_opensave(999, 0, &path), 1);
	EXPECT_EQ(path, "^a~^~a~xy");
}

TEST_F(Browser, FolderLevelsArePickedFromThePopUpEvenWithDashesAndBars)
{
	KX_REQUIRE_GL(gl);
	std::string path = "my-dir/pipe|dir/y.txt";
	// Levels: the base folder, "my dir", "pipe dir" (selected, on the widget).
	press(0, 150, 437);        // opens the list
	press(1, 150, 434 + 12 + 3);  // the item above the selected one: "my dir"
	key(2, kMacReturn, 13);    // my-dir/: aaa.txt, pipe|dir; the old selection 0 is aaa.txt
	EXPECT_EQ(BTN_opensave(998, 0, &path), 1);
	EXPECT_EQ(path, "my-dir/aaa.txt");
	EXPECT_EQ(active_popup_code, 0);
}

TEST_F(Browser, BadArgumentsAreQuittingAlerts)
{
	KX_REQUIRE_GL(gl);
	kx_test::AlertRecorder rec;
	std::string path;
	EXPECT_THROW(BTN_opensave(997, 0, &path), kx_test::AlertExit);
	EXPECT_THROW(BTN_opensave(998, 22, &path), kx_test::AlertExit);
	ASSERT_EQ(rec.alerts().size(), 2u);
	EXPECT_EQ(rec.alerts()[0].line1, "Bad open_save arg to BTN_opensave!");
	EXPECT_EQ(rec.alerts()[1].line1, "Bad file_type arg to BTN_opensave!");
}

namespace {
class PopUp : public WidgetFrames {
protected:
	void SetUp() override
	{
		WidgetFrames::SetUp();
		menu.assign(menu_slot_count, menu_struct{});
		active_popup_code = select_popup_code = popup_menu_select = 0;
		mnw.res_y = 600;
	}
};
}  // namespace

TEST_F(PopUp, AClickOpensSlot1519AndTheShellsPickIsCollected)
{
	KX_REQUIRE_GL(gl);
	int sel = 5, r = -1;
	auto list = [&] { r = BTN_textlist(400, 300, &sel, "Alpha-Beta-Gamma", ""); };
	idle(list);
	EXPECT_EQ(sel, 2);  // clamped
	click(400, 302, list);
	EXPECT_EQ(r, 0);
	EXPECT_EQ(mnw.menu_state, menu_popup_slot);
	const menu_struct& m = menu[menu_popup_slot];
	ASSERT_EQ(m.items.size(), 3u);
	EXPECT_EQ(m.items[2].y1, 297);
	EXPECT_EQ(m.items[2].y2, 309);
	EXPECT_EQ(m.items[0].text, "Alpha");
	EXPECT_EQ(m.items[0].y1, 321);

	// The shell's click handler on item 1.
	mnw.mouse_x = 400;
	mnw.mouse_y = 315;
	DIDIVI_handleclick(0);
	EXPECT_EQ(select_popup_code, int(1024 * 300 + 400));
	EXPECT_EQ(mnw.menu_state, -1);
	idle(list);
	EXPECT_EQ(r, 1);
	EXPECT_EQ(sel, 1);
	EXPECT_EQ(select_popup_code, 0);
}

TEST_F(PopUp, BarsAndTooManyItemsQuitAndALowListIsNudged)
{
	KX_REQUIRE_GL(gl);
	int sel = 0;
	{
		kx_test::AlertRecorder rec;
		EXPECT_THROW(idle([&] { BTN_textlist(400, 300, &sel, "a|b", "lab"); }), kx_test::AlertExit);
		EXPECT_THROW(idle([&] { BTN_textlist(400, 300, &sel, std::string(300, '-'), ""); }), kx_test::AlertExit);
		ASSERT_EQ(rec.alerts().size(), 2u);
		EXPECT_EQ(rec.alerts()[0].line1, "Found | char in text string!");
		EXPECT_EQ(rec.alerts()[0].line2, "a|b");
		EXPECT_EQ(rec.alerts()[0].line4, "lab");
		EXPECT_EQ(rec.alerts()[1].line1, "BTN_text_list overflow!");
	}
	// Ten items at y 50 with the first selected: the last runs below 0.
	std::string items = "0-1-2-3-4-5-6-7-8-9";
	sel = 0;
	auto low = [&] { BTN_textlist(400, 50, &sel, items, ""); };
	click(400, 52, low);
	EXPECT_EQ(sel, 1);
	idle(low);
	EXPECT_EQ(sel, 2);
	for (int i = 0; i < 10; ++i) idle(low);
	EXPECT_EQ(sel, 6);  // item 9 starts at 50 - 12 * (9 - 6) - 3 = 11; with 5 it would be -1
}
