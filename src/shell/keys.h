#pragma once
// The key layer. The event pump hands every raw key event (down, up, auto-repeat) to
// `keys`, which turns it into the framework's key event: the typed character, a
// Windows-style virtual key and the key flags. Letters and punctuation follow the labels
// of the user's keyboard layout, every other key its position. The event goes first to
// the widget focus ring, then raises the per-frame Return, Escape and Delete flags, and
// last runs the key bindings, which press and release commands of the registry.
#include <string>
#include <vector>

// Key flags: modifier bits, then the event kind (a key-down carries key_flag_down, a
// key-up key_flag_up, an auto-repeat neither).
enum {
	key_flag_shift = 1,
	key_flag_option = 2,
	key_flag_control = 4,
	key_flag_modifiers = key_flag_shift | key_flag_option | key_flag_control,
	key_flag_down = 8,
	key_flag_up = 16,
};

// Raw event kinds and modifier bits as the window seam delivers them.
enum { key_raw_down = 3, key_raw_up = 4, key_raw_repeat = 5 };
// Beside the character of a raw key message: the layout typed it as text.
constexpr long key_msg_typed_text = 0x10000L;
enum {
	key_mod_command = 0x100,
	key_mod_shift = 0x200,
	key_mod_option = 0x800,
	key_mod_control = 0x1000,
};

// Virtual keys the layer itself acts on.
enum {
	vk_back = 8,
	vk_tab = 9,
	vk_return = 13,
	vk_escape = 27,
	vk_delete = 46,
	vk_enter = 187,
	vk_numpad_enter = 188,
};

// A layout character and the virtual key of the key that types it.
struct mac_mapping {
	int layout_char;
	int vkey;
};
constexpr int kMacMappingsCount = 39;
extern const mac_mapping kMacMappings[kMacMappingsCount];

// Mac hardware key code 0..127 to virtual key (0 none).
constexpr int vtlm_Key_Map_size = 128;
extern const unsigned char vtlm_Key_Map[vtlm_Key_Map_size];

// Every virtual key with its code name and the name shown to the user; ends with an
// all-zero row.
struct key_name_row {
	int vkey;
	const char* code_name;
	const char* display_name;
};
extern const key_name_row kKeyNameTable[];

// A character of a US layout and the key (and Shift) that types it; ends with a row of
// ASCII 0.
struct ascii_translation {
	int ascii;
	int vkey;
	int shift;
};
extern const ascii_translation kAsciiTranslations[];

// The character the physical key (Mac key code 0..127) types without modifiers, 0 when
// it types none. Start-up installs the window seam's layout call; null restores the
// built-in US layout.
using keys_layout_fn = int (*)(int mac_key);
void keys_set_layout_hook(keys_layout_fn fn);
// The built-in US layout.
int keys_us_layout(int mac_key);

struct key_binding {
	int vkey = 0;
	int flags = 0;    // modifier bits only
	int cmnd_id = 0;  // command of the registry
	int held = 0;     // pressed its command and not yet released it
};

class keys_class {
public:
	int last_vkey = 0;   // virtual key of the last key event
	int last_flags = 0;  // modifier bits of the last key event
	std::vector<key_binding> bindings;

	// kind: key_raw_down, _up or _repeat. message: bits 0..7 the character, bits 8..15
	// the Mac key code, and key_msg_typed_text. modifiers: key_mod_ bits.
	void handle_key_raw(long kind, long message, long modifiers);
	void execute_key_cmnd(int vkey, int flags);
	void run_repeat_keys();
	// 0 loads the bindings (the one default binding), 1 saves them (nothing is kept).
	void keys_io(int save);

	std::string vkey_to_str(int vkey);
	std::string vkey_to_code(int vkey);
	std::string flag_to_str(int flags);
	std::string flag_to_code(int flags);
	int str_to_vkey(std::string name);
	int str_to_flag(std::string text);
	int ascii_to_vkey(int ascii, int& vkey, int& flags);
	int key_bound_to(int vkey, int flags);
	std::string get_key_for_cmnd(int cmnd_id);
	void handle_key(int character, int vkey, int flags);

	// The key-assignment window; nothing in the installer opens it.
	void keys_wind(int);
	void debug();
};

extern keys_class keys;

// From the frame loop, which defines them: the per-frame hit flags the screens read,
// and its click handler, which Return calls to close a simple dialog.
extern int return_hit;
extern int escape_hit;
extern int delete_hit;
void DIDIVI_handleclick(int forced);
