#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "platform/plat_events_sdl.h"
#include "platform/plat_sysinfo.h"

namespace {

SDL_Event key_event(Uint32 type, SDL_Scancode sc, SDL_Keycode sym = 0, Uint16 mod = 0, Uint8 repeat = 0)
{
	SDL_Event e;
	std::memset(&e, 0, sizeof(e));
	e.type = type;
	e.key.type = type;
	e.key.keysym.scancode = sc;
	e.key.keysym.sym = sym;
	e.key.keysym.mod = mod;
	e.key.repeat = repeat;
	return e;
}

SDL_Event text_event(const char* utf8)
{
	SDL_Event e;
	std::memset(&e, 0, sizeof(e));
	e.type = SDL_TEXTINPUT;
	std::strncpy(e.text.text, utf8, sizeof(e.text.text) - 1);
	return e;
}

SDL_Event window_event(Uint8 what)
{
	SDL_Event e;
	std::memset(&e, 0, sizeof(e));
	e.type = SDL_WINDOWEVENT;
	e.window.event = what;
	return e;
}

struct translated {
	bool ok;
	plat_event ev;  // the first record
	bool took_next;
	std::vector<plat_event> all;
};

translated translate(const SDL_Event& e, const SDL_Event* next = nullptr, int kmod_now = 0)
{
	translated t{};
	t.ok = plat_translate_event(e, next, kmod_now, t.all, t.took_next);
	if (!t.all.empty()) t.ev = t.all.front();
	return t;
}

int mac_key_of(const plat_event& e) { return int((e.message >> 8) & 0xFF); }
int char_of(const plat_event& e) { return int(e.message & 0xFF); }

// The characters the records type, each checked to be a typed key-down with `modifiers`.
std::string typed(const translated& t, int modifiers = 0)
{
	std::string s;
	for (const plat_event& e : t.all) {
		EXPECT_EQ(e.what, plat_ev_key_down);
		EXPECT_TRUE(e.message & plat_key_typed_text);
		EXPECT_EQ(e.modifiers, modifiers);
		s += char(char_of(e));
	}
	return s;
}

}  // namespace

TEST(EventTables, KeyCodesFollowThePhysicalKey)
{
	struct row {
		SDL_Scancode sc;
		int mac;
	};
	const row rows[] = {{SDL_SCANCODE_RETURN, 36}, {SDL_SCANCODE_TAB, 48},   {SDL_SCANCODE_ESCAPE, 53},
	                    {SDL_SCANCODE_KP_ENTER, 76}, {SDL_SCANCODE_F1, 122}, {SDL_SCANCODE_LEFT, 123},
	                    {SDL_SCANCODE_RIGHT, 124}, {SDL_SCANCODE_DOWN, 125}, {SDL_SCANCODE_UP, 126},
	                    {SDL_SCANCODE_A, 0},        {SDL_SCANCODE_1, 18},    {SDL_SCANCODE_DELETE, 117},
	                    {SDL_SCANCODE_BACKSPACE, 51}, {SDL_SCANCODE_F13, plat_no_mac_key}};
	for (const auto& r : rows) EXPECT_EQ(plat_mac_key_code(r.sc), r.mac) << SDL_GetScancodeName(r.sc);
	// The table runs both ways for every key it names.
	for (int i = 0; i < kPlatMacKeyCodesCount; ++i) {
		const int mac = kPlatMacKeyCodes[i].mac_key;
		EXPECT_EQ(plat_mac_key_code(plat_scancode_of_mac_key(mac)), mac);
	}
}

TEST(EventTables, KeyDownTakesTheFollowingTextAsLatin1)
{
	const SDL_Event down = key_event(SDL_KEYDOWN, SDL_SCANCODE_E, SDLK_e);
	const SDL_Event e_acute = text_event("\xC3\xA9");  // é
	translated t = translate(down, &e_acute);
	ASSERT_TRUE(t.ok);
	EXPECT_TRUE(t.took_next);
	EXPECT_EQ(t.ev.what, plat_ev_key_down);
	EXPECT_EQ(char_of(t.ev), 0xE9);
	EXPECT_EQ(mac_key_of(t.ev), 14);
	EXPECT_TRUE(t.ev.message & plat_key_typed_text);
	// AltGr is Option, and the '@' it typed is marked as typed text all the same.
	const SDL_Event at = text_event("@");
	t = translate(key_event(SDL_KEYDOWN, SDL_SCANCODE_Q, SDLK_q, KMOD_RALT), &at);
	EXPECT_EQ(char_of(t.ev), '@');
	EXPECT_EQ(t.ev.modifiers, plat_mod_option);
	EXPECT_TRUE(t.ev.message & plat_key_typed_text);

	const SDL_Event euro = text_event("\xE2\x82\xAC");  // U+20AC is past Latin-1
	t = translate(down, &euro);
	EXPECT_TRUE(t.took_next);
	EXPECT_EQ(char_of(t.ev), 0);
	EXPECT_FALSE(t.ev.message & plat_key_typed_text);
	const SDL_Event cyrillic = text_event("\xD0\x96");  // U+0416, two bytes but past 0xFF
	EXPECT_EQ(char_of(translate(down, &cyrillic).ev), 0);

	// A key-down followed by something else keeps the next event and has no text.
	const SDL_Event other = window_event(SDL_WINDOWEVENT_EXPOSED);
	t = translate(down, &other);
	EXPECT_FALSE(t.took_next);
	EXPECT_EQ(char_of(t.ev), 0);
	EXPECT_FALSE(t.ev.message & plat_key_typed_text);
}

TEST(EventTables, EveryCharacterOfACommitIsTypedInTurn)
{
	// A commit on its own: one key-down per character, by a key with no Mac code.
	translated t = translate(text_event("^~a"));
	ASSERT_TRUE(t.ok);
	EXPECT_EQ(typed(t), "^~a");
	for (const plat_event& e : t.all) EXPECT_EQ(mac_key_of(e), plat_no_mac_key);
	EXPECT_EQ(typed(translate(text_event("\xC3\xA9~"))), "\xE9~");  // "é~" in UTF-8
	// What Latin-1 cannot hold is skipped, not the rest: U+20AC, U+0416, U+1F600.
	EXPECT_EQ(typed(translate(text_event("a\xE2\x82\xAC" "b\xD0\x96" "c\xF0\x9F\x98\x80" "d"))), "abcd");
	EXPECT_FALSE(translate(text_event("\xE2\x82\xAC")).ok);
	// Every character carries the modifiers held now, so Command turns each one off.
	EXPECT_EQ(typed(translate(text_event("xy"), nullptr, KMOD_LGUI), plat_mod_command), "xy");

	// A dead key that does not combine: the key types the first character, the rest follow.
	const SDL_Event caret_b = text_event("^b");
	t = translate(key_event(SDL_KEYDOWN, SDL_SCANCODE_B, SDLK_b), &caret_b);
	EXPECT_TRUE(t.took_next);
	ASSERT_EQ(t.all.size(), 2u);
	EXPECT_EQ(char_of(t.all[0]), '^');
	EXPECT_EQ(mac_key_of(t.all[0]), 11);
	EXPECT_EQ(typed(t), "^b");
	EXPECT_EQ(mac_key_of(t.all[1]), plat_no_mac_key);
}

TEST(EventTables, KeysThatTypeNoTextCarryMacCharacters)
{
	struct row {
		SDL_Scancode sc;
		int ch;
	};
	const row rows[] = {{SDL_SCANCODE_RETURN, 13}, {SDL_SCANCODE_KP_ENTER, 3}, {SDL_SCANCODE_TAB, 9},
	                    {SDL_SCANCODE_BACKSPACE, 8}, {SDL_SCANCODE_ESCAPE, 27}, {SDL_SCANCODE_DELETE, 127},
	                    {SDL_SCANCODE_LEFT, 28},    {SDL_SCANCODE_RIGHT, 29},  {SDL_SCANCODE_UP, 30},
	                    {SDL_SCANCODE_DOWN, 31},    {SDL_SCANCODE_HOME, 1},    {SDL_SCANCODE_END, 4},
	                    {SDL_SCANCODE_PAGEUP, 11},  {SDL_SCANCODE_PAGEDOWN, 12}, {SDL_SCANCODE_HELP, 5},
	                    {SDL_SCANCODE_F1, 16},      {SDL_SCANCODE_F12, 16}};
	for (const auto& r : rows) {
		const translated t = translate(key_event(SDL_KEYDOWN, r.sc));
		ASSERT_TRUE(t.ok);
		EXPECT_EQ(char_of(t.ev), r.ch) << SDL_GetScancodeName(r.sc);
	}
}

TEST(EventTables, RepeatModifiersAndModifierKeys)
{
	translated t = translate(key_event(SDL_KEYDOWN, SDL_SCANCODE_A, SDLK_a, 0, 1));
	EXPECT_EQ(t.ev.what, plat_ev_auto_key);
	t = translate(key_event(SDL_KEYUP, SDL_SCANCODE_A, SDLK_a));
	EXPECT_EQ(t.ev.what, plat_ev_key_up);
	EXPECT_EQ(char_of(t.ev), 'a');

	EXPECT_EQ(translate(key_event(SDL_KEYDOWN, SDL_SCANCODE_A, SDLK_a, KMOD_CAPS)).ev.modifiers, 0x400);
	EXPECT_EQ(plat_mac_modifiers(KMOD_LGUI), plat_mod_command);
	EXPECT_EQ(plat_mac_modifiers(KMOD_RSHIFT | KMOD_LALT | KMOD_RCTRL),
	          plat_mod_shift | plat_mod_option | plat_mod_control);

	// A modifier on its own gives no event.
	for (SDL_Scancode m : {SDL_SCANCODE_LSHIFT, SDL_SCANCODE_RCTRL, SDL_SCANCODE_LALT, SDL_SCANCODE_LGUI,
	                       SDL_SCANCODE_CAPSLOCK})
		EXPECT_FALSE(translate(key_event(SDL_KEYDOWN, m)).ok) << SDL_GetScancodeName(m);
}

TEST(EventTables, MouseWheelWindowAndQuit)
{
	SDL_Event e;
	std::memset(&e, 0, sizeof(e));
	e.type = SDL_MOUSEBUTTONDOWN;
	e.button.button = SDL_BUTTON_LEFT;
	e.button.x = 120;
	e.button.y = 45;
	translated t = translate(e);
	EXPECT_EQ(t.ev.what, plat_ev_mouse_down);
	EXPECT_EQ(t.ev.x, 120);
	EXPECT_EQ(t.ev.y, 45);
	e.type = SDL_MOUSEBUTTONUP;
	EXPECT_EQ(translate(e).ev.what, plat_ev_mouse_up);

	std::memset(&e, 0, sizeof(e));
	e.type = SDL_MOUSEWHEEL;
	e.wheel.y = 2;
	EXPECT_EQ(translate(e).ev.wheel, 2);
	e.wheel.direction = SDL_MOUSEWHEEL_FLIPPED;
	EXPECT_EQ(translate(e).ev.wheel, -2);
	EXPECT_EQ(translate(e).ev.what, plat_ev_wheel);

	std::memset(&e, 0, sizeof(e));
	e.type = SDL_QUIT;
	EXPECT_EQ(translate(e).ev.what, 23);
	EXPECT_EQ(translate(window_event(SDL_WINDOWEVENT_EXPOSED)).ev.what, 6);
	t = translate(window_event(SDL_WINDOWEVENT_FOCUS_GAINED));
	EXPECT_EQ(t.ev.what, 8);
	EXPECT_EQ(t.ev.modifiers & plat_mod_active, plat_mod_active);
	EXPECT_EQ(translate(window_event(SDL_WINDOWEVENT_FOCUS_LOST)).ev.what, 15);
	EXPECT_FALSE(translate(window_event(SDL_WINDOWEVENT_MOVED)).ok);
	std::memset(&e, 0, sizeof(e));
	e.type = SDL_MOUSEMOTION;
	EXPECT_FALSE(translate(e).ok);
}

TEST(SysInfo, ProcessorClockFromCpuinfo)
{
	EXPECT_EQ(plat_cpu_mhz_of("processor\t: 0\nmodel name\t: X\ncpu MHz\t\t: 2995.196\n"), 2995);
	EXPECT_EQ(plat_cpu_mhz_of("processor\t: 0\n"), -1);
	EXPECT_EQ(plat_cpu_mhz_of("cpu MHz\t\t: junk\ncpu MHz : 800.0\n"), 800);
	EXPECT_GT(plat_ram_mb(), 0);
	EXPECT_FALSE(plat_os_release().empty());
}
