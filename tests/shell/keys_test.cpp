#include <gtest/gtest.h>

#include <set>
#include <string>

#include "runtime/hl_globals.h"
#include "shell/cmnd.h"
#include "shell/keys.h"
#include "support/fake_draw_keys.h"

namespace {

// Mac key codes of the keys these tests press.
enum {
	mk_a = 0, mk_s = 1, mk_q = 12, mk_1 = 18, mk_return = 36, mk_period = 47, mk_tab = 48,
	mk_backspace = 51, mk_enter = 52, mk_escape = 53, mk_fn = 63, mk_kp_enter = 76,
	mk_f1 = 122, mk_fwd_delete = 117, mk_none = 0xFF,
};

long msg(int character, int key_code) { return character | (key_code << 8); }

// AZERTY: the key at Q's place types "a", A's place "q", the digit row symbols.
int french_layout(int mac_key)
{
	switch (mac_key) {
	case mk_q: return 'a';
	case mk_a: return 'q';
	case mk_1: return '&';
	case 46: return ',';  // M's place on a US board
	case mk_period: return ':';
	default: return keys_us_layout(mac_key);
	}
}

class Keys : public ::testing::Test {
protected:
	void SetUp() override
	{
		fake_keys::reset();
		keys_set_layout_hook(nullptr);
		saved_cmnd_ = cmnd;
		keys = keys_class{};
		mnw.wind_id = 0;
		mnw.last_char = 0;
		return_hit = escape_hit = delete_hit = 0;
	}
	void TearDown() override
	{
		keys_set_layout_hook(nullptr);
		keys = keys_class{};
		cmnd = saved_cmnd_;
		mnw.wind_id = 0;
		fake_keys::reset();
	}

	// The one event the focus ring was offered, as {character, vkey, flags}.
	std::vector<float> offered()
	{
		const auto c = fake_keys::calls("BTN_dispatch_to_focus");
		return c.size() == 1 ? c[0].args : std::vector<float>{};
	}

	int bind(int vkey, int flags, const std::string& path)
	{
		const int id = cmnd.add_cmd(path, "test");
		keys.bindings.push_back({vkey, flags, id, 0});
		return id;
	}

	cmnd_class saved_cmnd_;
};

struct raw_case {
	const char* what;
	long kind;
	int character;
	int key_code;
	long mods;
	int want_char, want_vkey, want_flags;
	int want_return, want_escape, want_delete;
};

const raw_case kRawCases[] = {
	{"Command+S", key_raw_down, 's', mk_s, key_mod_command, 0, 83, 8, 0, 0, 0},
	{"Shift+A down", key_raw_down, 'A', mk_a, key_mod_shift, 'A', 65, 9, 0, 0, 0},
	{"Shift+A repeat", key_raw_repeat, 'A', mk_a, key_mod_shift, 'A', 65, 1, 0, 0, 0},
	{"a up", key_raw_up, 'a', mk_a, 0, 'a', 65, 16, 0, 0, 0},
	{"Option+Control+e", key_raw_down, 0xE9, 14, key_mod_option | key_mod_control, 0, 69, 14, 0, 0, 0},
	// What the layout typed as text stays, whichever modifier helped; Command still wins.
	{"AltGr+Q typed '@'", key_raw_down, '@' | int(key_msg_typed_text), mk_q, key_mod_option, '@', 81, 10, 0, 0, 0},
	{"Command+S typed 's'", key_raw_down, 's' | int(key_msg_typed_text), mk_s, key_mod_command, 0, 83, 8, 0, 0, 0},
	{"Caps Lock adds nothing", key_raw_down, 'a', mk_a, 0x400, 'a', 65, 8, 0, 0, 0},
	{"period", key_raw_down, '.', mk_period, 0, '.', 185, 8, 0, 0, 0},
	{"forward Delete", key_raw_down, 127, mk_fwd_delete, 0, 127, 46, 8, 0, 0, 1},
	{"Backspace", key_raw_down, 8, mk_backspace, 0, 8, 8, 8, 0, 0, 1},
	{"Return", key_raw_down, 13, mk_return, 0, 13, 13, 8, 1, 0, 0},
	{"Enter of key code 52", key_raw_down, 3, mk_enter, 0, 3, 187, 8, 1, 0, 0},
	{"keypad Enter", key_raw_down, 3, mk_kp_enter, 0, 3, 188, 8, 0, 0, 0},
	{"Escape", key_raw_down, 27, mk_escape, 0, 27, 27, 8, 0, 1, 0},
	{"Tab", key_raw_down, 9, mk_tab, 0, 9, 9, 8, 0, 0, 0},
	{"F1 by position", key_raw_down, 16, mk_f1, 0, 16, 112, 8, 0, 0, 0},
	{"up of Return raises nothing", key_raw_up, 13, mk_return, 0, 13, 13, 16, 0, 0, 0},
	{"key without Mac code", key_raw_down, 16, mk_none, 0, 16, 0, 8, 0, 0, 0},
};

TEST_F(Keys, RawEventsGiveCharacterVirtualKeyFlagsAndHitFlags)
{
	for (const raw_case& c : kRawCases) {
		SCOPED_TRACE(c.what);
		fake_keys::reset();
		return_hit = escape_hit = delete_hit = 0;
		keys.handle_key_raw(c.kind, msg(c.character, c.key_code), c.mods);
		EXPECT_EQ(offered(), (std::vector<float>{float(c.want_char), float(c.want_vkey), float(c.want_flags)}));
		EXPECT_EQ(return_hit, c.want_return);
		EXPECT_EQ(escape_hit, c.want_escape);
		EXPECT_EQ(delete_hit, c.want_delete);
		EXPECT_EQ(keys.last_vkey, c.want_vkey);
		EXPECT_EQ(keys.last_flags, c.want_flags & key_flag_modifiers);
	}
}

TEST_F(Keys, AnEventWithNothingInItNeverReachesTheFocusRing)
{
	keys.handle_key_raw(key_raw_repeat, msg(0, mk_none), 0);
	keys.handle_key_raw(key_raw_repeat, msg(0, mk_fn), 0x400);
	EXPECT_TRUE(fake_keys::calls("BTN_dispatch_to_focus").empty());
	// A key-down or key-up of the same key still reaches it.
	keys.handle_key_raw(key_raw_down, msg(0, mk_fn), 0);
	keys.handle_key_raw(key_raw_up, msg(0, mk_fn), 0);
	EXPECT_EQ(fake_keys::calls("BTN_dispatch_to_focus").size(), 2u);
}

int types_nothing(int) { return 0; }
int types_a_everywhere(int) { return 'a'; }

TEST_F(Keys, KeyCodesPastTheTableHaveNoVirtualKey)
{
	for (keys_layout_fn layout : {types_nothing, types_a_everywhere}) {
		keys_set_layout_hook(layout);
		for (int code = vtlm_Key_Map_size; code <= 0xFF; ++code) {
			fake_keys::reset();
			keys.handle_key_raw(key_raw_down, msg(0, code), 0);
			EXPECT_EQ(offered().at(1), 0) << "key code " << code;
		}
	}
}

TEST_F(Keys, LettersFollowTheLayoutAndDigitsTheKeyPosition)
{
	keys_set_layout_hook(french_layout);
	const struct {
		int key_code, character, vkey;
	} cases[] = {{mk_q, 'a', 65}, {mk_a, 'q', 81}, {mk_1, '&', 49}, {46, ',', 183}, {mk_period, ':', 185}};
	for (const auto& c : cases) {
		fake_keys::reset();
		keys.handle_key_raw(key_raw_down, msg(c.character, c.key_code), 0);
		EXPECT_EQ(offered().at(1), c.vkey) << "key code " << c.key_code;
	}
	// The US layout again: the key at Q's place is Q.
	keys_set_layout_hook(nullptr);
	fake_keys::reset();
	keys.handle_key_raw(key_raw_down, msg('q', mk_q), 0);
	EXPECT_EQ(offered().at(1), 81);
}

TEST_F(Keys, AKeyTheFocusRingTakesGoesNoFurther)
{
	const int id = bind(vk_return, 0, "test/return");
	fake_keys::focus_takes = [](int, int, int) { return 1; };
	keys.handle_key_raw(key_raw_down, msg(13, mk_return), 0);
	keys.handle_key_raw(key_raw_down, msg(27, mk_escape), 0);
	keys.handle_key_raw(key_raw_down, msg('x', 7), 0);
	EXPECT_EQ(return_hit + escape_hit + delete_hit, 0);
	EXPECT_EQ(mnw.last_char, 0);
	EXPECT_EQ(keys.last_vkey, 0);
	EXPECT_EQ(cmnd.press_counts[id], 0);
}

TEST_F(Keys, ReturnClosesASimpleDialogAndRunsNoBinding)
{
	const int id = bind(vk_return, 0, "test/return");
	for (int w : {1, 2, 992, 993, 997}) {
		SCOPED_TRACE(w);
		fake_keys::reset();
		return_hit = 0;
		mnw.wind_id = w;
		keys.handle_key_raw(key_raw_down, msg(13, mk_return), 0);
		const auto clicks = fake_keys::calls("DIDIVI_handleclick");
		ASSERT_EQ(clicks.size(), 1u);
		EXPECT_EQ(clicks[0].args[0], 1);
		EXPECT_EQ(cmnd.press_counts[id], 0);
		EXPECT_EQ(mnw.last_char, 0);
	}
	// In the full window Return raises the flag and runs the bindings of 13.
	fake_keys::reset();
	return_hit = 0;
	mnw.wind_id = 0;
	keys.handle_key_raw(key_raw_down, msg(13, mk_return), 0);
	EXPECT_TRUE(fake_keys::calls("DIDIVI_handleclick").empty());
	EXPECT_EQ(return_hit, 1);
	EXPECT_EQ(cmnd.press_counts[id], 1);
	EXPECT_EQ(mnw.last_char, 13);
}

TEST_F(Keys, AReturnEarlierInTheFrameSendsTheNextKeyToTheClickHandler)
{
	mnw.wind_id = 2;
	return_hit = 1;
	keys.handle_key_raw(key_raw_down, msg('a', mk_a), 0);
	EXPECT_EQ(fake_keys::calls("DIDIVI_handleclick").size(), 1u);
	EXPECT_EQ(keys.last_vkey, 0);
}

TEST_F(Keys, TheKeyWindowTakesKeysWithoutRunningBindings)
{
	const int id = bind(65, key_flag_shift, "test/a");
	mnw.wind_id = 999;
	keys.handle_key_raw(key_raw_down, msg('A', mk_a), key_mod_shift);
	EXPECT_EQ(keys.last_vkey, 65);
	EXPECT_EQ(keys.last_flags, key_flag_shift);
	EXPECT_EQ(mnw.last_char, 'A');
	EXPECT_EQ(cmnd.press_counts[id], 0);
	EXPECT_EQ(keys.bindings[0].held, 0);
}

TEST_F(Keys, BindingsPressOnDownReleaseOnAnyUpAndRepeatWhileHeld)
{
	const int shift_a = bind(65, key_flag_shift, "test/shift_a");
	const int plain_a = bind(65, 0, "test/a");
	keys.handle_key_raw(key_raw_down, msg('A', mk_a), key_mod_shift);
	EXPECT_EQ(cmnd.press_counts[shift_a], 1);
	EXPECT_EQ(cmnd.press_counts[plain_a], 0);
	EXPECT_EQ(keys.bindings[0].held, 1);
	EXPECT_EQ(keys.key_bound_to(65, key_flag_shift), shift_a);
	EXPECT_EQ(keys.key_bound_to(66, 0), 0);

	// Auto-repeat neither presses nor releases; the frame's repeat keeps it going.
	keys.handle_key_raw(key_raw_repeat, msg('A', mk_a), key_mod_shift);
	keys.run_repeat_keys();
	EXPECT_EQ(cmnd.press_counts[shift_a], 1);
	EXPECT_EQ(keys.bindings[0].held, 1);

	// Shift let go first: the key-up still releases what the key-down pressed.
	keys.handle_key_raw(key_raw_up, msg('a', mk_a), 0);
	EXPECT_EQ(cmnd.press_counts[shift_a], 0);
	EXPECT_EQ(cmnd.press_counts[plain_a], 0);
	EXPECT_EQ(keys.bindings[0].held, 0);

	// handle_key runs bindings without the window test.
	mnw.wind_id = 999;
	keys.handle_key(0, 65, key_flag_down);
	EXPECT_EQ(cmnd.press_counts[plain_a], 1);
}

TEST_F(Keys, ABindingToAnUnknownCommandCountsNothing)
{
	keys.bindings.push_back({65, 0, 4711, 0});
	keys.bindings.push_back({65, 0, -3, 0});
	keys.handle_key_raw(key_raw_down, msg('a', mk_a), 0);
	keys.run_repeat_keys();
	keys.handle_key_raw(key_raw_up, msg('a', mk_a), 0);
	cmnd.single_press(cmnd.count());
	EXPECT_EQ(cmnd.press_counts, saved_cmnd_.press_counts);
}

TEST_F(Keys, LoadingLeavesTheOneDefaultBindingAndSavingWritesNothing)
{
	bind(65, 0, "test/a");
	bind(66, 1, "test/b");
	keys.keys_io(0);
	ASSERT_EQ(keys.bindings.size(), 1u);
	EXPECT_EQ(keys.bindings[0].vkey, 0);
	EXPECT_EQ(keys.bindings[0].flags, 0);
	EXPECT_EQ(keys.bindings[0].cmnd_id, cmnd.get_cmnd_by_name("sim/-none-/-none-"));
	EXPECT_EQ(cmnd.paths[keys.bindings[0].cmnd_id], "sim/-none-/-none-");
	keys.keys_io(1);
	EXPECT_EQ(keys.bindings.size(), 1u);
	keys = keys_class{};
	keys.keys_io(0);
	EXPECT_EQ(keys.bindings.size(), 1u);
}

TEST_F(Keys, Conversions)
{
	EXPECT_EQ(keys.vkey_to_str(8), "Backspace");
	EXPECT_EQ(keys.vkey_to_str(188), "Numpad-Enter");
	EXPECT_EQ(keys.vkey_to_str(999), "<none>");
	EXPECT_EQ(keys.vkey_to_str(0), "<none>");
	EXPECT_EQ(keys.vkey_to_code(13), "VTLM_VK_RETURN");
	EXPECT_EQ(keys.vkey_to_code(999), "999");
	EXPECT_EQ(keys.flag_to_str(5), "SHIFT+CTRL");
	EXPECT_EQ(keys.flag_to_str(7), "SHIFT+ALT+CTRL");
	EXPECT_EQ(keys.flag_to_str(0), "<none>");
	EXPECT_EQ(keys.flag_to_code(6), "vtlm_OptionAltFlag+vtlm_ControlFlag");
	EXPECT_EQ(keys.flag_to_code(0), "0");
	EXPECT_EQ(keys.str_to_vkey("numpad-enter"), 188);
	EXPECT_EQ(keys.str_to_vkey("PAGEUP"), 33);
	EXPECT_EQ(keys.str_to_vkey("Numpad"), 0);
	EXPECT_EQ(keys.str_to_flag("shift+alt"), 0);
	EXPECT_EQ(keys.str_to_flag("CTRL+SHIFT"), 5);

	int vkey = -1, flags = -1;
	EXPECT_EQ(keys.ascii_to_vkey('{', vkey, flags), 1);
	EXPECT_EQ(vkey, 179);
	EXPECT_EQ(flags, 1);
	EXPECT_EQ(keys.ascii_to_vkey('!', vkey, flags), 1);
	EXPECT_EQ(vkey, 49);
	EXPECT_EQ(flags, 1);
	EXPECT_EQ(keys.ascii_to_vkey('a', vkey, flags), 1);
	EXPECT_EQ(vkey, 65);
	EXPECT_EQ(flags, 0);
	EXPECT_EQ(keys.ascii_to_vkey(200, vkey, flags), 0);
	EXPECT_EQ(vkey, 0);
	EXPECT_EQ(flags, 0);

	const int a = bind(65, key_flag_shift, "test/a");
	const int ret = bind(13, 0, "test/return");
	EXPECT_EQ(keys.get_key_for_cmnd(a), "SHIFT-a");
	EXPECT_EQ(keys.get_key_for_cmnd(ret), "return");
	EXPECT_EQ(keys.get_key_for_cmnd(4711), "");
}

// The tables are checked against each other rather than restated.
TEST_F(Keys, TablesAgree)
{
	std::set<int> named;
	int rows = 0;
	for (const key_name_row* r = kKeyNameTable; r->code_name; ++r, ++rows) {
		EXPECT_TRUE(named.insert(r->vkey).second) << "vkey named twice: " << r->vkey;
		EXPECT_EQ(std::string(r->code_name).rfind("VTLM_VK_", 0), 0u) << r->code_name;
		// Display names read back to their own key.
		EXPECT_EQ(keys.str_to_vkey(r->display_name), r->vkey) << r->display_name;
	}
	EXPECT_EQ(kKeyNameTable[rows].vkey, 0);
	EXPECT_EQ(kKeyNameTable[rows].display_name, nullptr);

	for (int k = 0; k < vtlm_Key_Map_size; ++k)
		if (vtlm_Key_Map[k]) {
			EXPECT_TRUE(named.count(vtlm_Key_Map[k])) << "key code " << k;
		}
	for (const mac_mapping& m : kMacMappings) EXPECT_TRUE(named.count(m.vkey)) << m.layout_char;

	// Every printable character once, in code order after the control keys.
	int next_printable = ' ';
	for (const ascii_translation* r = kAsciiTranslations; r->ascii; ++r) {
		EXPECT_TRUE(named.count(r->vkey)) << "ascii " << r->ascii;
		if (r->ascii >= ' ') {
			EXPECT_EQ(r->ascii, next_printable++);
		}
	}
	EXPECT_EQ(next_printable, 127);

	// On the built-in US layout each unshifted character's key is the key the raw path
	// finds for it: both tables describe the same keyboard.
	for (int k = 0; k < vtlm_Key_Map_size; ++k) {
		const int c = keys_us_layout(k);
		if (c < ' ' || c > '~') continue;
		int vkey = 0, flags = 0;
		ASSERT_EQ(keys.ascii_to_vkey(c, vkey, flags), 1);
		EXPECT_EQ(flags, 0) << char(c);
		EXPECT_EQ(vkey, vtlm_Key_Map[k]) << char(c);
	}
}

}  // namespace

namespace {

// The key-assignment window, frame by frame, with the widgets answering from a script.
class KeysWind : public Keys {
protected:
	void SetUp() override
	{
		Keys::SetUp();
		mnw.wind_dx = 1024;
		mnw.wind_dy = 768;
		mnw.key_event = 0;
		mnw.open_menu = -1;
		frame();  // no rows: whatever an earlier test selected is let go
	}
	void TearDown() override
	{
		keys.bindings.clear();
		frame();
		Keys::TearDown();
	}
	// One frame of the window; `click` names the one widget label that is clicked.
	void frame(const std::string& click = "")
	{
		fake_keys::reset();
		fake_keys::clicks = [click](const fake_keys::call& c) { return !click.empty() && c.text == click; };
		keys.keys_wind(0);
		fake_keys::clicks = nullptr;
		mnw.key_event = 0;
	}
	std::vector<std::string> labels(const std::string& fn)
	{
		std::vector<std::string> out;
		for (const auto& c : fake_keys::calls(fn)) out.push_back(c.text);
		return out;
	}
	// The list rows, with the pressed look of the selected one marked by "*".
	std::vector<std::string> rows()
	{
		std::vector<std::string> out;
		for (const auto& c : fake_keys::calls("BTN_action"))
			if (c.text != "Add New Key Assignment") out.push_back(c.text + (c.args[3] ? "*" : ""));
		return out;
	}
};

TEST_F(KeysWind, TheNextKeyGoesToTheSelectedRowAndLeavesEveryOtherRow)
{
	const int shift_a = bind(65, key_flag_shift, "test/keys/shift_a");
	bind(66, 0, "test/keys/b");
	frame();
	EXPECT_EQ(rows(), (std::vector<std::string>{"SHIFT-A", "B"}));
	EXPECT_EQ(labels("OGL_string").at(0),
	          "Select the key you'd like to program from the list on the left of this screen and hit any key you "
	          "like! Then select the group above and the item at right to assign some funtion to that keypress!");
	EXPECT_TRUE(labels("BTN_bool").empty());  // no row selected, no browser

	frame("B");
	frame();
	EXPECT_EQ(rows(), (std::vector<std::string>{"SHIFT-A", "B*"}));

	// Shift+A typed in the window: row 1 takes it, row 0 loses it.
	mnw.wind_id = 999;
	keys.handle_key_raw(key_raw_down, msg('A', mk_a), key_mod_shift);
	mnw.key_event = 1;
	frame();
	frame();
	EXPECT_EQ(rows(), (std::vector<std::string>{"<none>", "SHIFT-A*"}));
	EXPECT_EQ(cmnd.press_counts[shift_a], 0);

	// A second click on the selected row lets it go; keys then change nothing.
	frame("SHIFT-A");
	keys.handle_key_raw(key_raw_down, msg('c', 8), 0);
	mnw.key_event = 1;
	frame();
	EXPECT_EQ(rows(), (std::vector<std::string>{"<none>", "SHIFT-A"}));
}

TEST_F(KeysWind, TheBrowserWalksTheCommandPathsAndAssignsALeaf)
{
	const int target = cmnd.add_cmd("test/view/forward", "Look ahead");
	const int plugin = cmnd.add_cmd("plug/thing", "a plug-in's own");
	bind(65, 0, "test/view/back");
	frame("A");
	// The browser opens on the row's own command.
	EXPECT_EQ(labels("BTN_bool"), (std::vector<std::string>{"plug/", "sim/", "test/", "|-custom cmnds from plugins",
	                                                         "view/", "back", "forward"}));
	frame("forward");
	EXPECT_EQ(keys.bindings[0].cmnd_id, target);

	frame("sim/");
	frame("-none-/");
	frame("-none-");
	EXPECT_EQ(keys.bindings[0].cmnd_id, 0);

	frame("|-custom cmnds from plugins");
	frame();
	// Every command added while running, by its whole path; the built-in one is not.
	const auto shown = labels("BTN_bool");
	ASSERT_GE(shown.size(), 3u);
	EXPECT_EQ(std::vector<std::string>(shown.end() - 3, shown.end()),
	          (std::vector<std::string>{"test/view/forward", "plug/thing", "test/view/back"}));
	frame("plug/thing");
	EXPECT_EQ(keys.bindings[0].cmnd_id, plugin);
}

TEST_F(KeysWind, AddingARowScrollsToTheEnd)
{
	for (int n = 0; n < 40; ++n) keys.bindings.push_back({0, 0, 0, 0});
	frame();
	EXPECT_EQ(rows().size(), 34u);
	frame("Add New Key Assignment");
	EXPECT_EQ(keys.bindings.size(), 41u);
	EXPECT_EQ(keys.bindings.back().cmnd_id, cmnd.get_cmnd_by_name("sim/operation/none"));
	frame();
	EXPECT_EQ(rows().size(), 34u);
	const auto slider = fake_keys::calls("BTN_vert_slider");
	ASSERT_EQ(slider.size(), 1u);
	EXPECT_EQ(slider[0].args[5], 41 - 34);  // the last position
	EXPECT_EQ(slider[0].args[6], 41 - 34);  // where it stands
}

}  // namespace
