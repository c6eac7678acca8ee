// Buttons, check boxes and the text field, frame by frame in a headless context, the way
// the frame loop drives them: keys are offered to last frame's ring, a mouse-down clears
// the focus, the ring is rebuilt, the screen draws.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "graphics/oglp.h"
#include "runtime/hl_globals.h"
#include "runtime/xtim.h"
#include "support/gl_world.h"
#include "widgets/btn.h"
#include "widgets/butn_core.h"
#include "widgets/ogle.h"

namespace {

int swaps = 0;
void count_swap() { ++swaps; }

// Key events as the keyboard layer hands them over: Mac characters, Windows-style
// virtual keys, flags.
constexpr int kDown = btn_key_down;
BTN_key letter(char c) { return {c, std::toupper(static_cast<unsigned char>(c)), kDown}; }
const BTN_key kTab{9, 9, kDown}, kShiftTab{9, 9, kDown | btn_key_shift};
const BTN_key kBackspaceKey{8, 8, kDown}, kDeleteKey{127, 46, kDown};
const BTN_key kLeft{28, 37, kDown}, kRight{29, 39, kDown}, kShiftLeft{28, 37, kDown | btn_key_shift};
const BTN_key kHome{1, 36, kDown}, kAltLeft{0, 37, kDown | btn_key_option}, kCtrlV{0, 86, kDown | btn_key_control};
const BTN_key kReturn{13, 13, kDown}, kEscape{27, 27, kDown};

struct frame_input {
	float mx = -1000, my = -1000;
	bool down = false;
	std::vector<BTN_key> keys;
};

class Widgets : public ::testing::Test {
protected:
	std::unique_ptr<GlTestContext> world = open_gl_world(800, 600);
	GlTestContext& gl = *world;
	ogl_swap_fn old_swap = nullptr;

	void SetUp() override
	{
		mnw.current_window = 0;
		mnw.menu_state = -1;
		mnw.dialog_x = mnw.dialog_y = 0;
		mnw.window_width = 800;
		mnw.window_height = 600;
		mnw.mouse_held = mnw.mouse_down = 0;
		focus_id = 0;
		BTN_begin_focus_ring();
		stls.mouse_help.clear();
		swaps = 0;
		old_swap = OGL_set_swap_hook(count_swap);
	}
	void TearDown() override { OGL_set_swap_hook(old_swap); }

	// One frame; returns what the ring said to each key.
	std::vector<int> frame(const frame_input& in, const std::function<void()>& draw)
	{
		mnw.mouse_x = in.mx;
		mnw.mouse_y = in.my;
		mnw.mouse_down = in.down;
		std::vector<int> consumed;
		for (const BTN_key& k : in.keys) consumed.push_back(BTN_dispatch_to_focus(k.character, k.vkey, k.flags));
		if (in.down) BTN_unfocus_any();
		BTN_begin_focus_ring();
		draw();
		++xtim.frame_count;
		mnw.mouse_down = 0;
		return consumed;
	}
	std::vector<int> keys(std::vector<BTN_key> k, const std::function<void()>& draw)
	{
		frame_input in;
		in.keys = std::move(k);
		return frame(in, draw);
	}
	void click(float x, float y, const std::function<void()>& draw)
	{
		frame_input in;
		in.mx = x;
		in.my = y;
		in.down = true;
		frame(in, draw);
	}
	void idle(const std::function<void()>& draw) { frame({}, draw); }
};

}  // namespace

TEST_F(Widgets, PushButtonsHitInclusiveEdgesAndShowThePressOnce)
{
	KX_REQUIRE_GL(gl);
	int hits = 0;
	auto button = [&] { hits += BTN_action(100, 100, 0, 0, 1, "", "-"); };
	click(110.5f, 110, button);  // width 21: the right edge and the top count
	EXPECT_EQ(hits, 1);
	EXPECT_EQ(swaps, 1);  // the pressed look is swapped on screen once, before the 1
	click(110.6f, 100, button);
	click(100, 110.1f, button);
	click(89.4f, 100, button);
	EXPECT_EQ(hits, 1);
	mnw.menu_state = 1519;  // an open pop-up list takes every click
	click(100, 100, button);
	EXPECT_EQ(hits, 1);
	mnw.menu_state = -1;
	// Held down already, or without feedback: a click still counts, nothing is swapped.
	click(100, 100, [&] { hits += BTN_action(100, 100, 0, 1, 1, "", "-") + BTN_action(300, 100, 50, 0, 0, "", ""); });
	EXPECT_EQ(hits, 2);
	EXPECT_EQ(swaps, 1);
	// An automatic width follows the whole label.
	click(100 + (21 + 6 * 3) / 2.0f, 100, [&] { hits += BTN_action(100, 100, -1, 0, 1, "eee", "-"); });
	EXPECT_EQ(hits, 3);
}

TEST_F(Widgets, CheckBoxesFlipTheirValueAndRadioGroupsKeepOneOn)
{
	KX_REQUIRE_GL(gl);
	int value = 5;  // any non-zero value shows the mark
	click(108, 112, [&] { BTN_bool(100, 100, &value, "|Check{?", 0); });
	EXPECT_EQ(value, 0);
	EXPECT_EQ(stls.mouse_help, "");
	stls.mouse_help = "stale";
	frame_input over;
	over.mx = 100;
	over.my = 96;
	frame(over, [&] { BTN_bool(100, 100, &value, "|Check", 0); });  // help copied even empty
	EXPECT_EQ(stls.mouse_help, "");
	frame(over, [&] { BTN_bool(100, 100, &value, "|Check{?Tick to agree", 0); });
	EXPECT_EQ(stls.mouse_help, "Tick to agree");
	click(108.1f, 100, [&] { BTN_bool(100, 100, &value, "", 0); });
	EXPECT_EQ(value, 0);

	int choice = 0;
	auto group = [&] {
		for (int i = 0; i < 3; ++i) BTN_is_int(100, 300 - 25 * i, &choice, i, "");
	};
	click(100, 275, group);
	EXPECT_EQ(choice, 1);
	click(100, 275, group);  // the selected one stays selected
	EXPECT_EQ(choice, 1);
	click(100, 250, group);
	EXPECT_EQ(choice, 2);

	bool b = false;
	char c = 7;
	unsigned char u = 0;
	click(100, 100, [&] { BTN_xbol(100, 100, &b, ""); });
	click(100, 100, [&] { BTN_xchr(100, 100, &c, ""); });
	click(100, 100, [&] { BTN_xbyt(100, 100, &u, ""); });
	EXPECT_TRUE(b);
	EXPECT_EQ(c, 0);
	EXPECT_EQ(u, 1);
}

TEST_F(Widgets, TheFieldTakesFocusByClickOrTabAndEditsItsString)
{
	KX_REQUIRE_GL(gl);
	std::string name = "Kestrix";
	int edits = 0;
	auto field = [&] { edits += BTN_enterstring(100, 200, &name, 256, "Name:", 200, 0); };
	idle(field);
	// Tab into the field selects all of it; typing replaces the selection a frame later.
	EXPECT_EQ(keys({kTab}, field), std::vector<int>{1});
	EXPECT_EQ(focus_id, BTN_position_id(100, 200));
	keys({letter('a')}, field);
	EXPECT_EQ(name, "a");
	EXPECT_EQ(edits, 1);
	keys({letter('b'), letter('c'), kBackspaceKey}, field);
	EXPECT_EQ(name, "ab");
	// Return and Escape are not the field's: they go on to the keyboard layer.
	EXPECT_EQ(keys({kReturn, kEscape}, field), (std::vector<int>{0, 0}));

	// A click places the caret instead of selecting: over a character, after it.
	click(100 + 3, 203, field);  // over the 'a'
	keys({letter('Z')}, field);
	EXPECT_EQ(name, "aZb");

	// A field at a fraction of a unit away is the same field.
	keys({letter('q')}, [&] { edits += BTN_enterstring(100.7f, 200.2f, &name, 256, "Name:", 200, 0); });
	EXPECT_EQ(name, "aZqb");
}

TEST_F(Widgets, FieldKeysThatAreNotEditsAreDroppedAndDeleteGoesForward)
{
	KX_REQUIRE_GL(gl);
	std::string s = "abcd";
	auto field = [&] { BTN_enterstring(100, 200, &s, 256, "", 200, 0); };
	click(100 + 6 + 4, 203, field);  // over the 'b': caret after "ab"
	keys({kDeleteKey}, field);
	EXPECT_EQ(s, "abd");
	keys({kAltLeft, kHome, kCtrlV, letter('X')}, field);  // only the letter arrives
	EXPECT_EQ(s, "abXd");
	keys({BTN_key{0xE9, 0, kDown}}, field);  // not printable in the C locale: never queued
	EXPECT_EQ(s, "abXd");
	keys({kShiftLeft, kShiftLeft, letter('Q')}, field);
	EXPECT_EQ(s, "aQd");
	// The caller shortens the string: the selection is clamped before the next key.
	s = "a";
	keys({kRight, BTN_key{'!', '1', kDown | btn_key_shift}}, field);
	EXPECT_EQ(s, "a!");
	keys({kLeft, kLeft, kLeft, letter('>')}, field);
	EXPECT_EQ(s, ">a!");
	// AltGr arrives as Option: the '@' it typed goes in, an Option+Backspace does not.
	keys({BTN_key{'@', 'Q', kDown | btn_key_option}, BTN_key{8, 8, kDown | btn_key_option}}, field);
	EXPECT_EQ(s, ">@a!");
}

TEST_F(Widgets, KeysForAFieldThatLostTheFocusNeverEditAnotherString)
{
	KX_REQUIRE_GL(gl);
	std::string first = "one", second = "two";
	auto both = [&] {
		BTN_enterstring(100, 200, &first, 256, "", 200, 0);
		BTN_enterstring(100, 150, &second, 256, "", 200, 0);
	};
	idle(both);
	keys({kTab}, both);
	keys({kTab}, both);  // the second field
	// A letter and Shift-Tab in one frame: the letter was queued for the second field, and
	// the first field, drawn first, already holds the engine when the second drains it.
	keys({letter('x'), kShiftTab}, both);
	idle(both);
	EXPECT_EQ(first, "one");
	EXPECT_EQ(second, "two");
	EXPECT_EQ(focus_id, BTN_position_id(100, 200));
}

TEST_F(Widgets, LongTextIsCutToItsLimitAfterBeingShownOnce)
{
	KX_REQUIRE_GL(gl);
	std::string s;
	int r = 0;
	auto field = [&] { r = BTN_enterstring(100, 200, &s, 3, "", 200, 1); };
	idle(field);  // take_focus with no focus anywhere
	EXPECT_EQ(focus_id, BTN_position_id(100, 200));
	keys({letter('a'), letter('b'), letter('c'), letter('d')}, field);
	EXPECT_EQ(s, "abc");
	EXPECT_EQ(r, 1);

	// 256 wide letters stay on one line far past the field's width.
	std::string wide;
	auto wide_field = [&] { BTN_enterstring(100, 200, &wide, 256, "", 340, 0); };
	idle(wide_field);
	keys({kTab}, wide_field);
	std::vector<BTN_key> ws(60, letter('W'));
	for (int i = 0; i < 5; ++i) keys(ws, wide_field);
	EXPECT_EQ(wide.size(), 256u);
	EXPECT_EQ(BTN_field_engine()->line_starts.size(), 1u);

	// The character-array form: never more than 499 characters go back.
	char buf[500];
	std::memset(buf, 0, sizeof buf);
	auto arr = [&] { BTN_enterstring(100, 100, buf, 600, "", 200, 0); };
	idle(arr);
	keys({kTab}, arr);
	for (int i = 0; i < 9; ++i) keys(std::vector<BTN_key>(60, letter('z')), arr);
	EXPECT_EQ(std::strlen(buf), 499u);
	char small[500] = "abc";
	auto arr2 = [&] { BTN_enterstring(100, 50, small, 500, "", 200, 0); };
	idle(arr2);
	keys({kTab, letter('k')}, arr2);
	keys({}, arr2);
	EXPECT_STREQ(small, "k");
}
