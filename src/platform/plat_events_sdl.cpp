#include "platform/plat_events_sdl.h"

#include <iterator>

// Mac key codes by physical position (US layout names); the keys a PC keyboard has
// and a Mac keyboard lacks take their nearest Mac key (Insert is Help).
const plat_key_code_row kPlatMacKeyCodes[] = {
	{SDL_SCANCODE_A, 0},
	{SDL_SCANCODE_S, 1},
	{SDL_SCANCODE_D, 2},
	{SDL_SCANCODE_F, 3},
	{SDL_SCANCODE_H, 4},
	{SDL_SCANCODE_G, 5},
	{SDL_SCANCODE_Z, 6},
	{SDL_SCANCODE_X, 7},
	{SDL_SCANCODE_C, 8},
	{SDL_SCANCODE_V, 9},
	{SDL_SCANCODE_NONUSBACKSLASH, 10},
	{SDL_SCANCODE_B, 11},
	{SDL_SCANCODE_Q, 12},
	{SDL_SCANCODE_W, 13},
	{SDL_SCANCODE_E, 14},
	{SDL_SCANCODE_R, 15},
	{SDL_SCANCODE_Y, 16},
	{SDL_SCANCODE_T, 17},
	{SDL_SCANCODE_1, 18},
	{SDL_SCANCODE_2, 19},
	{SDL_SCANCODE_3, 20},
	{SDL_SCANCODE_4, 21},
	{SDL_SCANCODE_6, 22},
	{SDL_SCANCODE_5, 23},
	{SDL_SCANCODE_EQUALS, 24},
	{SDL_SCANCODE_9, 25},
	{SDL_SCANCODE_7, 26},
	{SDL_SCANCODE_MINUS, 27},
	{SDL_SCANCODE_8, 28},
	{SDL_SCANCODE_0, 29},
	{SDL_SCANCODE_RIGHTBRACKET, 30},
	{SDL_SCANCODE_O, 31},
	{SDL_SCANCODE_U, 32},
	{SDL_SCANCODE_LEFTBRACKET, 33},
	{SDL_SCANCODE_I, 34},
	{SDL_SCANCODE_P, 35},
	{SDL_SCANCODE_RETURN, 36},
	{SDL_SCANCODE_RETURN2, 52},  // the Mac's Enter beside the space bar, rare on a PC
	{SDL_SCANCODE_L, 37},
	{SDL_SCANCODE_J, 38},
	{SDL_SCANCODE_APOSTROPHE, 39},
	{SDL_SCANCODE_K, 40},
	{SDL_SCANCODE_SEMICOLON, 41},
	{SDL_SCANCODE_BACKSLASH, 42},
	{SDL_SCANCODE_COMMA, 43},
	{SDL_SCANCODE_SLASH, 44},
	{SDL_SCANCODE_N, 45},
	{SDL_SCANCODE_M, 46},
	{SDL_SCANCODE_PERIOD, 47},
	{SDL_SCANCODE_TAB, 48},
	{SDL_SCANCODE_SPACE, 49},
	{SDL_SCANCODE_GRAVE, 50},
	{SDL_SCANCODE_BACKSPACE, 51},
	{SDL_SCANCODE_ESCAPE, 53},
	{SDL_SCANCODE_RGUI, 54},
	{SDL_SCANCODE_LGUI, 55},
	{SDL_SCANCODE_LSHIFT, 56},
	{SDL_SCANCODE_CAPSLOCK, 57},
	{SDL_SCANCODE_LALT, 58},
	{SDL_SCANCODE_LCTRL, 59},
	{SDL_SCANCODE_RSHIFT, 60},
	{SDL_SCANCODE_RALT, 61},
	{SDL_SCANCODE_RCTRL, 62},
	{SDL_SCANCODE_KP_PERIOD, 65},
	{SDL_SCANCODE_KP_MULTIPLY, 67},
	{SDL_SCANCODE_KP_PLUS, 69},
	{SDL_SCANCODE_NUMLOCKCLEAR, 71},
	{SDL_SCANCODE_KP_DIVIDE, 75},
	{SDL_SCANCODE_KP_ENTER, 76},
	{SDL_SCANCODE_KP_MINUS, 78},
	{SDL_SCANCODE_KP_EQUALS, 81},
	{SDL_SCANCODE_KP_0, 82},
	{SDL_SCANCODE_KP_1, 83},
	{SDL_SCANCODE_KP_2, 84},
	{SDL_SCANCODE_KP_3, 85},
	{SDL_SCANCODE_KP_4, 86},
	{SDL_SCANCODE_KP_5, 87},
	{SDL_SCANCODE_KP_6, 88},
	{SDL_SCANCODE_KP_7, 89},
	{SDL_SCANCODE_KP_8, 91},
	{SDL_SCANCODE_KP_9, 92},
	{SDL_SCANCODE_F5, 96},
	{SDL_SCANCODE_F6, 97},
	{SDL_SCANCODE_F7, 98},
	{SDL_SCANCODE_F3, 99},
	{SDL_SCANCODE_F8, 100},
	{SDL_SCANCODE_F9, 101},
	{SDL_SCANCODE_F11, 103},
	{SDL_SCANCODE_F10, 109},
	{SDL_SCANCODE_F12, 111},
	{SDL_SCANCODE_INSERT, 114},
	{SDL_SCANCODE_HELP, 114},
	{SDL_SCANCODE_HOME, 115},
	{SDL_SCANCODE_PAGEUP, 116},
	{SDL_SCANCODE_DELETE, 117},
	{SDL_SCANCODE_F4, 118},
	{SDL_SCANCODE_END, 119},
	{SDL_SCANCODE_F2, 120},
	{SDL_SCANCODE_PAGEDOWN, 121},
	{SDL_SCANCODE_F1, 122},
	{SDL_SCANCODE_LEFT, 123},
	{SDL_SCANCODE_RIGHT, 124},
	{SDL_SCANCODE_DOWN, 125},
	{SDL_SCANCODE_UP, 126},
};
const int kPlatMacKeyCodesCount = static_cast<int>(std::size(kPlatMacKeyCodes));

namespace {

// Characters of the keys that type no text, as the Mac's keyboard gives them.
struct key_char_row {
	SDL_Scancode scancode;
	int character;
};
constexpr int kFunctionKeyChar = 16;
const key_char_row kKeyChars[] = {
	{SDL_SCANCODE_RETURN, 13},  {SDL_SCANCODE_KP_ENTER, 3}, {SDL_SCANCODE_TAB, 9},
	{SDL_SCANCODE_BACKSPACE, 8}, {SDL_SCANCODE_ESCAPE, 27},  {SDL_SCANCODE_DELETE, 127},
	{SDL_SCANCODE_LEFT, 28},     {SDL_SCANCODE_RIGHT, 29},   {SDL_SCANCODE_UP, 30},
	{SDL_SCANCODE_DOWN, 31},     {SDL_SCANCODE_HOME, 1},     {SDL_SCANCODE_END, 4},
	{SDL_SCANCODE_PAGEUP, 11},   {SDL_SCANCODE_PAGEDOWN, 12}, {SDL_SCANCODE_HELP, 5},
	{SDL_SCANCODE_INSERT, 5},
};

struct mod_row {
	int kmod;
	int mac;
};
const mod_row kModifiers[] = {
	{KMOD_GUI, plat_mod_command}, {KMOD_SHIFT, plat_mod_shift},     {KMOD_CAPS, plat_mod_caps_lock},
	{KMOD_ALT, plat_mod_option},  {KMOD_CTRL, plat_mod_control},
};

const SDL_Scancode kModifierKeys[] = {
	SDL_SCANCODE_LCTRL, SDL_SCANCODE_RCTRL, SDL_SCANCODE_LSHIFT, SDL_SCANCODE_RSHIFT, SDL_SCANCODE_LALT,
	SDL_SCANCODE_RALT,  SDL_SCANCODE_LGUI,  SDL_SCANCODE_RGUI,   SDL_SCANCODE_CAPSLOCK, SDL_SCANCODE_MODE,
};

constexpr int kLatin1Max = 0xFF;
constexpr int kMessageKeyShift = 8;

}  // namespace

int plat_mac_key_code(SDL_Scancode sc)
{
	for (const auto& r : kPlatMacKeyCodes)
		if (r.scancode == sc) return r.mac_key;
	return plat_no_mac_key;
}

SDL_Scancode plat_scancode_of_mac_key(int mac_key)
{
	for (const auto& r : kPlatMacKeyCodes)
		if (r.mac_key == mac_key) return r.scancode;
	return SDL_SCANCODE_UNKNOWN;
}

int plat_mac_char_of_key(SDL_Scancode sc)
{
	for (const auto& r : kKeyChars)
		if (r.scancode == sc) return r.character;
	if ((sc >= SDL_SCANCODE_F1 && sc <= SDL_SCANCODE_F12) || (sc >= SDL_SCANCODE_F13 && sc <= SDL_SCANCODE_F24))
		return kFunctionKeyChar;
	return 0;
}

int plat_mac_modifiers(int kmod)
{
	int bits = 0;
	for (const auto& r : kModifiers)
		if (kmod & r.kmod) bits |= r.mac;
	return bits;
}

bool plat_is_modifier_key(SDL_Scancode sc)
{
	for (SDL_Scancode m : kModifierKeys)
		if (m == sc) return true;
	return false;
}

int plat_latin1_of_utf8(const char* text)
{
	const auto* s = reinterpret_cast<const unsigned char*>(text);
	if (!s || !s[0]) return 0;
	if (s[0] < 0x80) return s[0];
	// Two-byte forms reach U+07FF; only U+0080..U+00FF (lead bytes C2 and C3) fit.
	if ((s[0] == 0xC2 || s[0] == 0xC3) && (s[1] & 0xC0) == 0x80) return ((s[0] & 0x1F) << 6) | (s[1] & 0x3F);
	return 0;
}

namespace {

constexpr unsigned char kUtf8Continuation = 0xC0, kUtf8ContinuationBits = 0x80;

// Where the UTF-8 character at `s` ends: past its lead byte and the continuation bytes
// after it (a broken sequence ends at the next lead byte).
const char* after_utf8_char(const char* s)
{
	++s;
	while ((static_cast<unsigned char>(*s) & kUtf8Continuation) == kUtf8ContinuationBits) ++s;
	return s;
}

// One character of text, typed by a key the Mac keyboard has no code for.
plat_event typed_char(int character, int modifiers)
{
	plat_event e;
	e.what = plat_ev_key_down;
	e.modifiers = modifiers;
	e.message = character | (long(plat_no_mac_key) << kMessageKeyShift) | plat_key_typed_text;
	return e;
}

// The characters of text from `from` on, each typed on its own.
void type_text(const char* from, int modifiers, std::vector<plat_event>& out)
{
	for (const char* c = from; *c; c = after_utf8_char(c))
		if (const int character = plat_latin1_of_utf8(c)) out.push_back(typed_char(character, modifiers));
}

bool translate_key(const SDL_KeyboardEvent& k, const SDL_Event* next, std::vector<plat_event>& out, bool& took_next)
{
	const SDL_Scancode sc = k.keysym.scancode;
	if (plat_is_modifier_key(sc)) return false;
	const bool down = k.type == SDL_KEYDOWN;
	plat_event e;
	e.what = down ? (k.repeat ? plat_ev_auto_key : plat_ev_key_down) : plat_ev_key_up;
	e.modifiers = plat_mac_modifiers(k.keysym.mod);
	int character = plat_mac_char_of_key(sc);
	long typed = 0;
	const char* rest = nullptr;
	if (down && next && next->type == SDL_TEXTINPUT) {
		character = plat_latin1_of_utf8(next->text.text);
		if (character) typed = plat_key_typed_text;
		if (next->text.text[0]) rest = after_utf8_char(next->text.text);
		took_next = true;
	} else if (!down && !character && k.keysym.sym >= ' ' && k.keysym.sym < 0x7F) {
		// A key-up has no text of its own: the key's unshifted character.
		character = k.keysym.sym;
	}
	e.message = (character & kLatin1Max) | (long(plat_mac_key_code(sc) & kLatin1Max) << kMessageKeyShift) | typed;
	out.push_back(e);
	// The rest of a commit of several characters (a dead key that does not combine gives
	// its own and the next one's) is typed after the key, with the key's modifiers.
	if (rest) type_text(rest, e.modifiers, out);
	return true;
}

// Text with no key-down before it: an input method commits dead-key and compose text
// after the key events, or instead of them. It is typed like a key's text, by a key the
// Mac keyboard has no code for, with the modifiers held now (Command still turns it off).
bool translate_lone_text(const SDL_TextInputEvent& t, int kmod_now, std::vector<plat_event>& out)
{
	const size_t before = out.size();
	type_text(t.text, plat_mac_modifiers(kmod_now), out);
	return out.size() > before;
}

// The events that give one record each and carry no text.
bool translate_other(const SDL_Event& ev, plat_event& out)
{
	switch (ev.type) {
	case SDL_MOUSEBUTTONDOWN:
	case SDL_MOUSEBUTTONUP:
		if (ev.button.button != SDL_BUTTON_LEFT) return false;
		out.what = ev.type == SDL_MOUSEBUTTONDOWN ? plat_ev_mouse_down : plat_ev_mouse_up;
		out.x = ev.button.x;
		out.y = ev.button.y;
		return true;
	case SDL_MOUSEWHEEL: {
		int steps = ev.wheel.x + ev.wheel.y;
		if (ev.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) steps = -steps;
		if (!steps) return false;
		out.what = plat_ev_wheel;
		out.wheel = steps;
		return true;
	}
	case SDL_QUIT:
		out.what = plat_ev_high_level;
		return true;
	case SDL_WINDOWEVENT:
		switch (ev.window.event) {
		case SDL_WINDOWEVENT_EXPOSED:
			out.what = plat_ev_update;
			return true;
		case SDL_WINDOWEVENT_FOCUS_GAINED:
			out.what = plat_ev_activate;
			out.modifiers = plat_mod_active;
			return true;
		case SDL_WINDOWEVENT_FOCUS_LOST:
			out.what = plat_ev_os;
			out.message = plat_os_suspend_message;
			return true;
		default:
			return false;
		}
	default:
		return false;
	}
}

}  // namespace

bool plat_translate_event(const SDL_Event& ev, const SDL_Event* next, int kmod_now, std::vector<plat_event>& out,
                          bool& took_next)
{
	took_next = false;
	if (ev.type == SDL_KEYDOWN || ev.type == SDL_KEYUP) return translate_key(ev.key, next, out, took_next);
	if (ev.type == SDL_TEXTINPUT) return translate_lone_text(ev.text, kmod_now, out);
	plat_event e;
	if (!translate_other(ev, e)) return false;
	out.push_back(e);
	return true;
}
