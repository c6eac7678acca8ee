#pragma once
// SDL2 events into the shell's event records: pure tables and functions, no SDL state
// read, so every rule can be tested without a window.
#include <SDL2/SDL.h>

#include <vector>

#include "platform/plat_window.h"

// Mac key code of a key that has none (F13 and above, media keys).
constexpr int plat_no_mac_key = 0xFF;

struct plat_key_code_row {
	SDL_Scancode scancode;
	int mac_key;
};
// Every physical key that has a Mac key code.
extern const plat_key_code_row kPlatMacKeyCodes[];
extern const int kPlatMacKeyCodesCount;

// The Mac key code of a physical key, plat_no_mac_key when it has none.
int plat_mac_key_code(SDL_Scancode sc);
// The physical key of a Mac key code, SDL_SCANCODE_UNKNOWN when none.
SDL_Scancode plat_scancode_of_mac_key(int mac_key);
// The character a key that types no text carries (Return 13, arrows 28..31...), else 0.
int plat_mac_char_of_key(SDL_Scancode sc);
// The event record's modifier bits of SDL's modifier state. Super is Command.
int plat_mac_modifiers(int kmod);
// A key that only modifies others gives no event of its own.
bool plat_is_modifier_key(SDL_Scancode sc);
// The first character of UTF-8 text when it is in ISO 8859-1 (at most 0xFF), else 0.
int plat_latin1_of_utf8(const char* text);

// Translates one SDL event into the records it gives, added to `out` in order. `next`
// is the event queued after it, or null: a key-down takes its character from a text
// event that follows it, and then sets took_next so the caller drops that text event.
// A text event met on its own is a key-down typing a character, with SDL's modifier
// state `kmod_now`. An input method may commit several characters at once: each is
// one more key-down of its own, in order (after the key's, when a key took the text);
// characters outside Latin-1 are skipped. False when the event gives no record.
bool plat_translate_event(const SDL_Event& ev, const SDL_Event* next, int kmod_now, std::vector<plat_event>& out,
                          bool& took_next);
