#pragma once
// Frames the way the frame loop runs them, for widget tests in a headless context: keys
// offered to last frame's ring, a mouse-down clears the focus, the ring is rebuilt, the
// screen draws, the frame counter moves on.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "graphics/colr.h"
#include "graphics/oglp.h"
#include "runtime/hl_globals.h"
#include "runtime/xtim.h"
#include "support/gl_world.h"
#include "widgets/btn.h"
#include "widgets/butn_core.h"

constexpr int kKeyDown = btn_key_down;
inline BTN_key key_char(char c) { return {c, 0, kKeyDown}; }
inline BTN_key key_vk(int vk) { return {0, vk, kKeyDown}; }
enum { vk_left = 37, vk_up = 38, vk_right = 39, vk_down = 40 };

struct frame_input {
	float mx = -1000, my = -1000;
	bool down = false, held = false, repeat = false, tick = false, double_click = false;
	int wheel = 0;
	std::vector<BTN_key> keys;
};

class WidgetFrames : public ::testing::Test {
protected:
	std::unique_ptr<GlTestContext> world = open_gl_world(800, 600);
	GlTestContext& gl = *world;

	void SetUp() override
	{
		colr.set_lites_for_interface();  // as start-up does: the palette at full light
		OGL_setstate_forget();           // a new context: GL state is its defaults
		mnw.current_window = 0;
		mnw.menu_state = -1;
		mnw.dialog_x = mnw.dialog_y = 0;
		mnw.window_width = 800;
		mnw.window_height = 600;
		mnw.mouse_held = mnw.mouse_down = mnw.mouse_repeat = mnw.double_click = 0;
		mnw.mouse_wheel = 0;
		focus_id = 0;
		BTN_begin_focus_ring();
		stls.mouse_help.clear();
		for (int& g : slider_grabbed) g = 0;
	}

	void frame(const frame_input& in, const std::function<void()>& draw)
	{
		mnw.mouse_x = in.mx;
		mnw.mouse_y = in.my;
		mnw.mouse_down = in.down;
		mnw.mouse_held = in.held || in.down;
		mnw.mouse_repeat = in.repeat;
		mnw.double_click = in.double_click;
		mnw.mouse_wheel = in.wheel;
		xtim.real_interval[5] = in.tick;
		for (const BTN_key& k : in.keys) BTN_dispatch_to_focus(k.character, k.vkey, k.flags);
		if (in.down) BTN_unfocus_any();
		BTN_begin_focus_ring();
		mnw.pointer_shape = 0;
		draw();
		++xtim.frame_count;
		mnw.mouse_down = 0;
	}
	void click(float x, float y, const std::function<void()>& draw)
	{
		frame_input in;
		in.mx = x;
		in.my = y;
		in.down = true;
		frame(in, draw);
	}
	void keys(std::vector<BTN_key> k, const std::function<void()>& draw)
	{
		frame_input in;
		in.keys = std::move(k);
		frame(in, draw);
	}
	void idle(const std::function<void()>& draw) { frame({}, draw); }
};
