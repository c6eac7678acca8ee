#pragma once
// The key layer as the frame loop and start-up call it.

class keys_class {
public:
	// One raw key event: kind 3 down, 4 up, 5 auto-repeat; message bits 0..7 the
	// character, 8..15 the Mac key code; Mac modifier bits.
	void handle_key_raw(long kind, long message, long modifiers);
	// Once per frame: repeats the commands of held keys.
	void run_repeat_keys();
	// 0 loads the bindings, 1 saves them.
	void keys_io(int save);
};

extern keys_class keys;

// The character the physical key of a Mac key code types without modifiers; start-up
// installs the window's keyboard layout here.
void keys_set_layout_hook(int (*layout)(int mac_key));
