#pragma once
// The window seam: everything the shell asks of the desktop for its one OpenGL window
// goes through one small interface. The product uses the SDL2 implementation
// (plat_window_sdl.cpp); tests install a scripted one. Events arrive already translated
// into the event records the shell's dispatcher reads: Mac event kinds, Mac key codes,
// typed characters in ISO 8859-1 and Mac modifier bits.
#include <string>

// Event kinds, as the event record numbers them.
enum plat_event_kind {
	plat_ev_null = 0,
	plat_ev_mouse_down = 1,
	plat_ev_mouse_up = 2,
	plat_ev_key_down = 3,
	plat_ev_key_up = 4,
	plat_ev_auto_key = 5,
	plat_ev_update = 6,
	plat_ev_activate = 8,
	plat_ev_os = 15,          // the application went to the background
	plat_ev_high_level = 23,  // the window's close button: the user asks to quit
	plat_ev_wheel = 100,      // not an event record: the window callback's wheel event
};

// Modifier bits of an event record.
enum plat_modifier_bits {
	plat_mod_active = 0x0001,  // activate: the window became active
	plat_mod_command = 0x0100,
	plat_mod_shift = 0x0200,
	plat_mod_caps_lock = 0x0400,
	plat_mod_option = 0x0800,
	plat_mod_control = 0x1000,
};

// The message of an operating-system event that sends the application to the back.
constexpr long plat_os_suspend_message = 0x01000000L;
// Keys: set beside the character when the user's layout typed it as text (AltGr+Q is
// '@' on a German keyboard), so that a modifier that helped to type it does not turn
// it off.
constexpr long plat_key_typed_text = 0x10000L;

struct plat_event {
	int what = plat_ev_null;
	long message = 0;   // keys: typed character in bits 0..7, Mac key code in bits 8..15,
	                    // plat_key_typed_text
	int modifiers = 0;  // plat_modifier_bits
	int x = 0, y = 0;   // mouse events: window pixels from the top left corner
	int wheel = 0;      // plat_ev_wheel: steps, positive away from the user
};

// What the window to open looks like.
struct plat_window_spec {
	std::string title;
	int left = 0, top = 0;  // screen pixels
	int width = 0, height = 0;
	bool decorated = true;  // title bar and borders; else a plain borderless window
	int samples = 0;        // multisample count, 0 for none
	int depth_bits = 32;    // depth buffer bits
};

// Attributes of the pixel format in use.
enum plat_gl_attr {
	plat_gl_rgba,
	plat_gl_doublebuffer,
	plat_gl_red_size,
	plat_gl_green_size,
	plat_gl_blue_size,
	plat_gl_alpha_size,
	plat_gl_depth_size,
};

class plat_window_backend {
public:
	virtual ~plat_window_backend() = default;

	// The main screen's size and pixel depth; false when there is no display to use.
	virtual bool screen_size(int& width, int& height, int& depth) = 0;
	// Opens the window with an OpenGL 2.1 compatibility context made current, swap
	// interval 0. False leaves nothing open.
	virtual bool open_window(const plat_window_spec& spec) = 0;
	virtual void close_window() = 0;
	// Where the window is and whether it carries a frame (screen pixels).
	virtual bool window_rect(int& left, int& top, int& width, int& height, bool& decorated) = 0;
	virtual bool gl_attribute(plat_gl_attr which, int& value) = 0;
	virtual void* gl_proc(const char* name) = 0;
	virtual void swap() = 0;

	// The next event, waiting at most timeout_ms for one; false when none came.
	virtual bool wait_event(plat_event& out, int timeout_ms) = 0;
	// Drops every pending event.
	virtual void flush_events() = 0;
	// Drops what the user typed or clicked and keeps the rest (a request to quit, the
	// window's own events) for the frame loop. A backend that cannot tell them apart
	// drops everything.
	virtual void drop_input_events() { flush_events(); }
	// Pointer position in window pixels from the top left corner.
	virtual void pointer(int& x, int& y) = 0;
	// The modifier bits held now.
	virtual int modifiers() = 0;
	// The character the physical key of this Mac key code types without modifiers on
	// the user's keyboard layout, 0 when none.
	virtual int key_layout(int mac_key) = 0;
	virtual void show_cursor(bool shown) = 0;
	// A stop alert with two texts (UTF-8); false when no box could be shown.
	virtual bool message_box(const std::string& title, const std::string& text1, const std::string& text2) = 0;
	// A caution box with a default button `yes` and a cancel button `no` (UTF-8): 1 for
	// yes, 0 for no or a box closed another way, -1 when no box could be shown.
	virtual int confirm_box(const std::string& /*title*/, const std::string& /*text*/, const std::string& /*yes*/,
	                        const std::string& /*no*/)
	{
		return -1;
	}
};

// The backend in use: the SDL2 one unless another was installed.
plat_window_backend& plat_window();
// Installs a backend (null restores SDL2's); returns the one installed before.
plat_window_backend* plat_set_window_backend(plat_window_backend* b);
plat_window_backend& plat_sdl_window_backend();
// Closes SDL's window and video so that the next use starts afresh (on another display).
void plat_sdl_shutdown();

// OpenGL entry points by name: the window's context by default; tests point it at a
// headless context's lookup.
using plat_gl_proc_fn = void* (*)(const char* name);
plat_gl_proc_fn plat_set_gl_proc_hook(plat_gl_proc_fn f);
void* plat_gl_proc(const char* name);
