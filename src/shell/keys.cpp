#include "shell/keys.h"

#include <atomic>
#include <cstdio>

#include "runtime/hl_globals.h"
#include "shell/cmnd.h"
#include "widgets/btn.h"

// Searched in order, first match wins.
const mac_mapping kMacMappings[kMacMappingsCount] = {
	{13, 13}, {9, 9}, {'.', 185}, {32, 32},
	{'a', 65}, {'b', 66}, {'c', 67}, {'d', 68}, {'e', 69}, {'f', 70}, {'g', 71}, {'h', 72}, {'i', 73},
	{'j', 74}, {'k', 75}, {'l', 76}, {'m', 77}, {'n', 78}, {'o', 79}, {'p', 80}, {'q', 81}, {'r', 82},
	{'s', 83}, {'t', 84}, {'u', 85}, {'v', 86}, {'w', 87}, {'x', 88}, {'y', 89}, {'z', 90},
	{']', 178}, {'[', 179}, {'\'', 180}, {';', 181}, {'\\', 182}, {',', 183}, {'/', 184}, {'.', 185},
	{'`', 186},
};

const unsigned char vtlm_Key_Map[vtlm_Key_Map_size] = {
	65, 83, 68, 70, 72, 71, 90, 88, 67, 86, 182, 66, 81, 87, 69, 82,          // 0..15
	89, 84, 49, 50, 51, 52, 54, 53, 176, 57, 55, 177, 56, 48, 178, 79,        // 16..31
	85, 179, 73, 80, 13, 76, 74, 180, 75, 181, 182, 183, 184, 78, 77, 185,    // 32..47
	9, 32, 186, 8, 187, 27, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                     // 48..63
	0, 110, 0, 106, 0, 107, 0, 12, 0, 0, 0, 111, 188, 0, 109, 0,              // 64..79
	0, 189, 96, 97, 98, 99, 100, 101, 102, 103, 0, 104, 105, 0, 0, 0,         // 80..95
	116, 117, 118, 114, 119, 120, 0, 122, 0, 0, 0, 0, 0, 121, 0, 123,         // 96..111
	0, 0, 0, 36, 33, 46, 115, 35, 113, 34, 112, 37, 39, 40, 38, 0,            // 112..127
};

const key_name_row kKeyNameTable[] = {
	{8, "VTLM_VK_BACK", "Backspace"},
	{9, "VTLM_VK_TAB", "Tab"},
	{12, "VTLM_VK_CLEAR", "Clear"},
	{13, "VTLM_VK_RETURN", "Return"},
	{27, "VTLM_VK_ESCAPE", "Escape"},
	{32, "VTLM_VK_SPACE", "Space"},
	{33, "VTLM_VK_PRIOR", "PageUp"},
	{34, "VTLM_VK_NEXT", "PageDown"},
	{35, "VTLM_VK_END", "End"},
	{36, "VTLM_VK_HOME", "Home"},
	{37, "VTLM_VK_LEFT", "Left"},
	{38, "VTLM_VK_UP", "Up"},
	{39, "VTLM_VK_RIGHT", "Right"},
	{40, "VTLM_VK_DOWN", "Down"},
	{41, "VTLM_VK_SELECT", "Select"},
	{42, "VTLM_VK_PRINT", "Print"},
	{43, "VTLM_VK_EXECUTE", "Execute"},
	{44, "VTLM_VK_SNAPSHOT", "Snapshot"},
	{45, "VTLM_VK_INSERT", "Insert"},
	{46, "VTLM_VK_DELETE", "Delete"},
	{47, "VTLM_VK_HELP", "Help"},
	{48, "VTLM_VK_0", "0"},
	{49, "VTLM_VK_1", "1"},
	{50, "VTLM_VK_2", "2"},
	{51, "VTLM_VK_3", "3"},
	{52, "VTLM_VK_4", "4"},
	{53, "VTLM_VK_5", "5"},
	{54, "VTLM_VK_6", "6"},
	{55, "VTLM_VK_7", "7"},
	{56, "VTLM_VK_8", "8"},
	{57, "VTLM_VK_9", "9"},
	{65, "VTLM_VK_A", "A"},
	{66, "VTLM_VK_B", "B"},
	{67, "VTLM_VK_C", "C"},
	{68, "VTLM_VK_D", "D"},
	{69, "VTLM_VK_E", "E"},
	{70, "VTLM_VK_F", "F"},
	{71, "VTLM_VK_G", "G"},
	{72, "VTLM_VK_H", "H"},
	{73, "VTLM_VK_I", "I"},
	{74, "VTLM_VK_J", "J"},
	{75, "VTLM_VK_K", "K"},
	{76, "VTLM_VK_L", "L"},
	{77, "VTLM_VK_M", "M"},
	{78, "VTLM_VK_N", "N"},
	{79, "VTLM_VK_O", "O"},
	{80, "VTLM_VK_P", "P"},
	{81, "VTLM_VK_Q", "Q"},
	{82, "VTLM_VK_R", "R"},
	{83, "VTLM_VK_S", "S"},
	{84, "VTLM_VK_T", "T"},
	{85, "VTLM_VK_U", "U"},
	{86, "VTLM_VK_V", "V"},
	{87, "VTLM_VK_W", "W"},
	{88, "VTLM_VK_X", "X"},
	{89, "VTLM_VK_Y", "Y"},
	{90, "VTLM_VK_Z", "Z"},
	{96, "VTLM_VK_NUMPAD0", "Numpad-0"},
	{97, "VTLM_VK_NUMPAD1", "Numpad-1"},
	{98, "VTLM_VK_NUMPAD2", "Numpad-2"},
	{99, "VTLM_VK_NUMPAD3", "Numpad-3"},
	{100, "VTLM_VK_NUMPAD4", "Numpad-4"},
	{101, "VTLM_VK_NUMPAD5", "Numpad-5"},
	{102, "VTLM_VK_NUMPAD6", "Numpad-6"},
	{103, "VTLM_VK_NUMPAD7", "Numpad-7"},
	{104, "VTLM_VK_NUMPAD8", "Numpad-8"},
	{105, "VTLM_VK_NUMPAD9", "Numpad-9"},
	{106, "VTLM_VK_MULTIPLY", "Numpad-*"},
	{107, "VTLM_VK_ADD", "Numpad-+"},
	{109, "VTLM_VK_SUBTRACT", "Numpad--"},
	{110, "VTLM_VK_DECIMAL", "Numpad-."},
	{111, "VTLM_VK_DIVIDE", "Numpad-/"},
	{112, "VTLM_VK_F1", "F1"},
	{113, "VTLM_VK_F2", "F2"},
	{114, "VTLM_VK_F3", "F3"},
	{115, "VTLM_VK_F4", "F4"},
	{116, "VTLM_VK_F5", "F5"},
	{117, "VTLM_VK_F6", "F6"},
	{118, "VTLM_VK_F7", "F7"},
	{119, "VTLM_VK_F8", "F8"},
	{120, "VTLM_VK_F9", "F9"},
	{121, "VTLM_VK_F10", "F10"},
	{122, "VTLM_VK_F11", "F11"},
	{123, "VTLM_VK_F12", "F12"},
	{124, "VTLM_VK_F13", "F13"},
	{125, "VTLM_VK_F14", "F14"},
	{126, "VTLM_VK_F15", "F15"},
	{127, "VTLM_VK_F16", "F16"},
	{128, "VTLM_VK_F17", "F17"},
	{129, "VTLM_VK_F18", "F18"},
	{130, "VTLM_VK_F19", "F19"},
	{131, "VTLM_VK_F20", "F20"},
	{132, "VTLM_VK_F21", "F21"},
	{133, "VTLM_VK_F22", "F22"},
	{134, "VTLM_VK_F23", "F23"},
	{135, "VTLM_VK_F24", "F24"},
	{176, "VTLM_VK_EQUAL", "="},
	{177, "VTLM_VK_MINUS", "-"},
	{178, "VTLM_VK_RBRACE", "]"},
	{179, "VTLM_VK_LBRACE", "["},
	{180, "VTLM_VK_QUOTE", "'"},
	{181, "VTLM_VK_SEMICOLON", ";"},
	{182, "VTLM_VK_BACKSLASH", "\\"},
	{183, "VTLM_VK_COMMA", ","},
	{184, "VTLM_VK_SLASH", "/"},
	{185, "VTLM_VK_PERIOD", "."},
	{186, "VTLM_VK_BACKQUOTE", "`"},
	{187, "VTLM_VK_ENTER", "Enter"},
	{188, "VTLM_VK_NUMPAD_ENT", "Numpad-Enter"},
	{189, "VTLM_VK_NUMPAD_EQ", "Numpad-="},
	{0, nullptr, nullptr},
};

// The control keys first, then every printable character in code order with the key
// that types it on a US layout.
const ascii_translation kAsciiTranslations[] = {
	{13, 13, 0}, {27, 27, 0}, {9, 9, 0}, {8, 8, 0},
	{28, 37, 0}, {29, 39, 0}, {30, 38, 0}, {31, 40, 0},
	{' ', 32, 0}, {'!', 49, 1}, {'"', 180, 1}, {'#', 51, 1}, {'$', 52, 1}, {'%', 53, 1},
	{'&', 55, 1}, {'\'', 180, 0}, {'(', 57, 1}, {')', 48, 1}, {'*', 56, 1}, {'+', 176, 1},
	{',', 183, 0}, {'-', 177, 0}, {'.', 185, 0}, {'/', 184, 0},
	{'0', 48, 0}, {'1', 49, 0}, {'2', 50, 0}, {'3', 51, 0}, {'4', 52, 0},
	{'5', 53, 0}, {'6', 54, 0}, {'7', 55, 0}, {'8', 56, 0}, {'9', 57, 0},
	{':', 181, 1}, {';', 181, 0}, {'<', 183, 1}, {'=', 176, 0}, {'>', 185, 1}, {'?', 184, 1},
	{'@', 50, 1},
	{'A', 65, 1}, {'B', 66, 1}, {'C', 67, 1}, {'D', 68, 1}, {'E', 69, 1}, {'F', 70, 1}, {'G', 71, 1},
	{'H', 72, 1}, {'I', 73, 1}, {'J', 74, 1}, {'K', 75, 1}, {'L', 76, 1}, {'M', 77, 1}, {'N', 78, 1},
	{'O', 79, 1}, {'P', 80, 1}, {'Q', 81, 1}, {'R', 82, 1}, {'S', 83, 1}, {'T', 84, 1}, {'U', 85, 1},
	{'V', 86, 1}, {'W', 87, 1}, {'X', 88, 1}, {'Y', 89, 1}, {'Z', 90, 1},
	{'[', 179, 0}, {'\\', 182, 0}, {']', 178, 0}, {'^', 54, 1}, {'_', 177, 1}, {'`', 186, 0},
	{'a', 65, 0}, {'b', 66, 0}, {'c', 67, 0}, {'d', 68, 0}, {'e', 69, 0}, {'f', 70, 0}, {'g', 71, 0},
	{'h', 72, 0}, {'i', 73, 0}, {'j', 74, 0}, {'k', 75, 0}, {'l', 76, 0}, {'m', 77, 0}, {'n', 78, 0},
	{'o', 79, 0}, {'p', 80, 0}, {'q', 81, 0}, {'r', 82, 0}, {'s', 83, 0}, {'t', 84, 0}, {'u', 85, 0},
	{'v', 86, 0}, {'w', 87, 0}, {'x', 88, 0}, {'y', 89, 0}, {'z', 90, 0},
	{'{', 179, 1}, {'|', 182, 1}, {'}', 178, 1}, {'~', 186, 1},
	{0, 0, 0},
};

keys_class keys;

namespace {

// What each key of the main block types on a US layout without modifiers (0: none).
// Keypad keys type nothing here, as the window seam reports them, so they keep their
// own virtual keys by position.
constexpr int kUsLayout[vtlm_Key_Map_size] = {
	'a', 's', 'd', 'f', 'h', 'g', 'z', 'x', 'c', 'v', 0, 'b', 'q', 'w', 'e', 'r',               // 0..15
	'y', 't', '1', '2', '3', '4', '6', '5', '=', '9', '7', '-', '8', '0', ']', 'o',             // 16..31
	'u', '[', 'i', 'p', 13, 'l', 'j', '\'', 'k', ';', '\\', ',', '/', 'n', 'm', '.',            // 32..47
	9, ' ', '`', 8, 3, 27,                                                                        // 48..53
};

std::atomic<keys_layout_fn> g_layout{nullptr};

// Command turns the typed character off, so its shortcuts stay shortcuts. Option and
// Control do too, unless the layout typed the character as text with their help
// (AltGr, which arrives as Option, types '@' and '{' on European keyboards).
constexpr long kCharSuppressingMods = key_mod_command | key_mod_option | key_mod_control;
constexpr long kTypedTextSuppressingMods = key_mod_command;
constexpr long kByteMask = 0xFF;
constexpr int kKeyCodeShift = 8;
constexpr int kLayoutKeyMask = 0x7F;

int layout_char(int key_code)
{
	const keys_layout_fn fn = g_layout.load();
	return (fn ? fn : keys_us_layout)(key_code & kLayoutKeyMask);
}

int vkey_for(int key_code)
{
	// Key codes past the table (the seam gives 0xFF to keys a Mac keyboard lacks) are
	// no key of the layout and have no virtual key.
	if (key_code < 0 || key_code >= vtlm_Key_Map_size) return 0;
	const int c = layout_char(key_code);
	for (const mac_mapping& m : kMacMappings)
		if (m.layout_char == c) return m.vkey;
	return vtlm_Key_Map[key_code];
}

bool is_return(int vkey) { return vkey == vk_return || vkey == vk_enter; }

// Return on any window but the full one goes to the click handler, which closes the
// simple dialogs and leaves the others alone.
constexpr int kMainWindow = 0;
// The key-assignment window: keys typed there are being assigned, not run.
constexpr int kKeyAssignWindow = 999;

const key_name_row* name_row(int vkey)
{
	for (const key_name_row* r = kKeyNameTable; r->code_name; ++r)
		if (r->vkey == vkey) return r;
	return nullptr;
}

struct flag_name {
	int bit;
	const char* str;
	const char* code;
};
constexpr flag_name kFlagNames[] = {
	{key_flag_shift, "SHIFT", "vtlm_ShiftFlag"},
	{key_flag_option, "ALT", "vtlm_OptionAltFlag"},
	{key_flag_control, "CTRL", "vtlm_ControlFlag"},
};

std::string join_flags(int flags, const char* flag_name::*which, const char* none)
{
	std::string out;
	for (const flag_name& f : kFlagNames) {
		if (!(flags & f.bit)) continue;
		if (!out.empty()) out += "+";
		out += f.*which;
	}
	return out.empty() ? none : out;
}

}  // namespace

void keys_set_layout_hook(keys_layout_fn fn) { g_layout.store(fn); }

int keys_us_layout(int mac_key)
{
	if (mac_key < 0 || mac_key >= vtlm_Key_Map_size) return 0;
	return kUsLayout[mac_key];
}

void keys_class::handle_key_raw(long kind, long message, long modifiers)
{
	int flags = 0;
	if (modifiers & key_mod_shift) flags |= key_flag_shift;
	if (modifiers & key_mod_control) flags |= key_flag_control;
	if (modifiers & key_mod_option) flags |= key_flag_option;
	if (kind == key_raw_down) flags |= key_flag_down;
	if (kind == key_raw_up) flags |= key_flag_up;

	const long suppressing = (message & key_msg_typed_text) ? kTypedTextSuppressingMods : kCharSuppressingMods;
	const int character = (modifiers & suppressing) ? 0 : static_cast<int>(message & kByteMask);
	const int key_code = static_cast<int>((message >> kKeyCodeShift) & kByteMask);
	const int vkey = vkey_for(key_code);

	if (flags == 0 && character == 0 && vkey == 0) return;
	if (BTN_dispatch_to_focus(character, vkey, flags)) return;

	if (!(flags & key_flag_up)) {
		if (is_return(vkey)) return_hit = 1;
		if (vkey == vk_escape) escape_hit = 1;
		if (vkey == vk_delete || vkey == vk_back) delete_hit = 1;
		if (mnw.wind_id != kMainWindow && return_hit) {
			DIDIVI_handleclick(1);
			return;
		}
		if (character != 0) mnw.last_char = character;
	}

	last_vkey = vkey;
	last_flags = flags & key_flag_modifiers;
	if (mnw.wind_id == kKeyAssignWindow) return;
	if (vkey != 0) execute_key_cmnd(vkey, flags);
}

void keys_class::handle_key(int, int vkey, int flags)
{
	if (vkey != 0) execute_key_cmnd(vkey, flags);
}

void keys_class::execute_key_cmnd(int vkey, int flags)
{
	for (key_binding& b : bindings) {
		if (b.vkey != vkey) continue;
		if (b.flags == (flags & key_flag_modifiers) && (flags & key_flag_down)) {
			cmnd.press_one(b.cmnd_id);
			b.held = 1;
		}
		if (b.held && (flags & key_flag_up)) {
			cmnd.release_one(b.cmnd_id);
			b.held = 0;
		}
	}
}

void keys_class::run_repeat_keys()
{
	for (const key_binding& b : bindings)
		if (b.held) cmnd.press_always(b.cmnd_id);
}

void keys_class::keys_io(int save)
{
	// Bindings live in memory only: there is nothing to write.
	if (save) return;
	bindings.resize(1);
	bindings[0].vkey = default_commands[0].default_vkey;
	bindings[0].flags = default_commands[0].default_flags;
	bindings[0].cmnd_id = cmnd.get_cmnd_by_name(default_commands[0].path);
}

std::string keys_class::vkey_to_str(int vkey)
{
	const key_name_row* r = name_row(vkey);
	return r ? r->display_name : "<none>";
}

std::string keys_class::vkey_to_code(int vkey)
{
	if (const key_name_row* r = name_row(vkey)) return r->code_name;
	char buf[16];
	std::snprintf(buf, sizeof buf, "%d", vkey);
	return buf;
}

std::string keys_class::flag_to_str(int flags) { return join_flags(flags, &flag_name::str, "<none>"); }

std::string keys_class::flag_to_code(int flags) { return join_flags(flags, &flag_name::code, "0"); }

int keys_class::str_to_vkey(std::string name)
{
	auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
	for (const key_name_row* r = kKeyNameTable; r->code_name; ++r) {
		const std::string shown = r->display_name;
		if (shown.size() != name.size()) continue;
		bool same = true;
		for (size_t i = 0; i < shown.size() && same; ++i) same = lower(shown[i]) == lower(name[i]);
		if (same) return r->vkey;
	}
	return 0;
}

int keys_class::str_to_flag(std::string text)
{
	int flags = 0;
	for (const flag_name& f : kFlagNames)
		if (text.find(f.str) != std::string::npos) flags |= f.bit;
	return flags;
}

int keys_class::ascii_to_vkey(int ascii, int& vkey, int& flags)
{
	vkey = 0;
	flags = 0;
	for (const ascii_translation* r = kAsciiTranslations; r->ascii; ++r) {
		if (r->ascii != ascii) continue;
		vkey = r->vkey;
		flags = r->shift;
		return 1;
	}
	return 0;
}

int keys_class::key_bound_to(int vkey, int flags)
{
	for (const key_binding& b : bindings)
		if (b.vkey == vkey && b.flags == flags) return b.cmnd_id;
	return 0;
}

std::string keys_class::get_key_for_cmnd(int cmnd_id)
{
	for (const key_binding& b : bindings) {
		if (b.cmnd_id != cmnd_id) continue;
		std::string name = vkey_to_str(b.vkey);
		if (!name.empty() && name[0] >= 'A' && name[0] <= 'Z') name[0] = static_cast<char>(name[0] - 'A' + 'a');
		return b.flags ? flag_to_str(b.flags) + "-" + name : name;
	}
	return "";
}

void keys_class::debug() {}
