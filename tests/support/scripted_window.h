#pragma once
// A scripted window for tests: events keyed to frame numbers (a frame ends with each
// buffer swap), a screen of a chosen size, recorded waits, cursor changes, windows
// opened and system boxes shown, and a frame budget that fails the test instead of
// letting a modal loop run forever. Installs itself as the window backend while it
// lives.
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/plat_events_sdl.h"
#include "platform/plat_window.h"

namespace kx_test {

// Thrown when a test runs more frames than its budget.
struct FrameBudgetExceeded : std::runtime_error {
	FrameBudgetExceeded() : std::runtime_error("frame budget exceeded") {}
};

class ScriptedWindow final : public plat_window_backend {
public:
	ScriptedWindow(int screen_w = 1024, int screen_h = 768, int budget = 200);
	~ScriptedWindow() override;
	ScriptedWindow(const ScriptedWindow&) = delete;
	ScriptedWindow& operator=(const ScriptedWindow&) = delete;

	// Delivers the event in the event pump of the frame that ends with swap `frame` + 1.
	void at_frame(int frame, const plat_event& e) { script_[frame].push_back(e); }
	int frame() const { return swaps_; }
	void set_budget(int frames) { budget_ = frames; }

	// Delivers SDL events in that frame as the SDL window reads its queue: each one
	// translated with the event behind it (every record it gives, in order), a text event
	// its key-down took dropped. kmod is SDL's modifier state while they are read.
	void at_frame_sdl(int frame, const std::vector<SDL_Event>& queue, int kmod = 0);

	// Event makers.
	static plat_event key(int what, int mac_key, int character, int modifiers = 0);
	static SDL_Event sdl_key(Uint32 type, SDL_Scancode sc, SDL_Keycode sym = 0);
	static SDL_Event sdl_text(const char* utf8);
	static plat_event click(int what, int x, int y);
	static plat_event of_kind(int what, long message = 0, int modifiers = 0);

	// What the window was asked.
	std::vector<int> waits;                    // timeout of every wait
	std::vector<plat_window_spec> opened;      // every window asked for, in order
	std::vector<std::string> boxes;            // text1 + "|" + text2 of each system box
	std::vector<bool> cursor_changes;          // every show/hide of the cursor
	int closed = 0;
	int flushes = 0;

	// What it answers.
	int screen_w, screen_h, screen_depth = 24;
	bool has_display = true;
	bool box_shows = true;
	std::function<bool(const plat_window_spec&)> accept_window = [](const plat_window_spec&) { return true; };
	int pointer_x = 0, pointer_y = 0;
	int held_modifiers = 0;
	std::function<int(int)> layout = [](int) { return 0; };
	std::map<plat_gl_attr, int> attributes = {{plat_gl_rgba, 1},       {plat_gl_doublebuffer, 1},
	                                          {plat_gl_red_size, 8},   {plat_gl_green_size, 8},
	                                          {plat_gl_blue_size, 8},  {plat_gl_alpha_size, 8},
	                                          {plat_gl_depth_size, 24}};
	std::function<void*(const char*)> proc = [](const char*) -> void* { return nullptr; };

	bool screen_size(int& width, int& height, int& depth) override;
	bool open_window(const plat_window_spec& spec) override;
	void close_window() override;
	bool window_rect(int& left, int& top, int& width, int& height, bool& decorated) override;
	bool gl_attribute(plat_gl_attr which, int& value) override;
	void* gl_proc(const char* name) override { return proc(name); }
	void swap() override;
	bool wait_event(plat_event& out, int timeout_ms) override;
	void flush_events() override { ++flushes; }
	void pointer(int& x, int& y) override
	{
		x = pointer_x;
		y = pointer_y;
	}
	int modifiers() override { return held_modifiers; }
	int key_layout(int mac_key) override { return layout(mac_key); }
	void show_cursor(bool shown) override { cursor_changes.push_back(shown); }
	bool message_box(const std::string& title, const std::string& text1, const std::string& text2) override;
	// Records text + "|" + yes + "|" + no in `boxes` and answers `confirm_answer` (-1
	// when boxes do not show).
	int confirm_box(const std::string& title, const std::string& text, const std::string& yes,
	                const std::string& no) override;
	int confirm_answer = 1;

private:
	std::map<int, std::vector<plat_event>> script_;
	int swaps_ = 0;
	int budget_;
	int waits_this_frame_ = 0;
	bool open_ = false;
	plat_window_spec current_;
	plat_window_backend* previous_;
};

}  // namespace kx_test
