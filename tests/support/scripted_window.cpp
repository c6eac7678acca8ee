#include "support/scripted_window.h"

#include <gtest/gtest.h>

#include <cstring>

namespace kx_test {

namespace {
// A loop that pumps without ever ending a frame is as stuck as one that never stops.
constexpr int kWaitsPerFrameLimit = 10000;

}  // namespace

ScriptedWindow::ScriptedWindow(int w, int h, int budget) : screen_w(w), screen_h(h), budget_(budget)
{
	previous_ = plat_set_window_backend(this);
}

ScriptedWindow::~ScriptedWindow()
{
	plat_set_window_backend(previous_);
}

plat_event ScriptedWindow::key(int what, int mac_key, int character, int modifiers)
{
	plat_event e;
	e.what = what;
	e.message = (character & 0xFF) | (long(mac_key & 0xFF) << 8);
	e.modifiers = modifiers;
	return e;
}

SDL_Event ScriptedWindow::sdl_key(Uint32 type, SDL_Scancode sc, SDL_Keycode sym)
{
	SDL_Event e;
	std::memset(&e, 0, sizeof(e));
	e.type = type;
	e.key.keysym.scancode = sc;
	e.key.keysym.sym = sym;
	return e;
}

SDL_Event ScriptedWindow::sdl_text(const char* utf8)
{
	SDL_Event e;
	std::memset(&e, 0, sizeof(e));
	e.type = SDL_TEXTINPUT;
	std::strncpy(e.text.text, utf8, sizeof(e.text.text) - 1);
	return e;
}

void ScriptedWindow::at_frame_sdl(int frame, const std::vector<SDL_Event>& queue, int kmod)
{
	for (size_t i = 0; i < queue.size(); ++i) {
		std::vector<plat_event> records;
		bool took_next = false;
		const SDL_Event* next = i + 1 < queue.size() ? &queue[i + 1] : nullptr;
		plat_translate_event(queue[i], next, kmod, records, took_next);
		for (const plat_event& e : records) at_frame(frame, e);
		if (took_next) ++i;
	}
}

plat_event ScriptedWindow::click(int what, int x, int y)
{
	plat_event e;
	e.what = what;
	e.x = x;
	e.y = y;
	return e;
}

plat_event ScriptedWindow::of_kind(int what, long message, int modifiers)
{
	plat_event e;
	e.what = what;
	e.message = message;
	e.modifiers = modifiers;
	return e;
}

bool ScriptedWindow::screen_size(int& width, int& height, int& depth)
{
	if (!has_display) return false;
	width = screen_w;
	height = screen_h;
	depth = screen_depth;
	return true;
}

bool ScriptedWindow::open_window(const plat_window_spec& spec)
{
	opened.push_back(spec);
	if (!has_display || !accept_window(spec)) return false;
	open_ = true;
	current_ = spec;
	return true;
}

void ScriptedWindow::close_window()
{
	if (open_) ++closed;
	open_ = false;
}

bool ScriptedWindow::window_rect(int& left, int& top, int& width, int& height, bool& decorated)
{
	if (!open_) return false;
	left = current_.left;
	top = current_.top;
	width = current_.width;
	height = current_.height;
	decorated = current_.decorated;
	return true;
}

bool ScriptedWindow::gl_attribute(plat_gl_attr which, int& value)
{
	auto it = attributes.find(which);
	if (!open_ || it == attributes.end()) return false;
	value = it->second;
	return true;
}

void ScriptedWindow::swap()
{
	++swaps_;
	waits_this_frame_ = 0;
	if (swaps_ > budget_) {
		ADD_FAILURE() << "more than " << budget_ << " frames";
		throw FrameBudgetExceeded();
	}
}

bool ScriptedWindow::wait_event(plat_event& out, int timeout_ms)
{
	waits.push_back(timeout_ms);
	if (++waits_this_frame_ > kWaitsPerFrameLimit) {
		ADD_FAILURE() << "the event pump never ends its frame";
		throw FrameBudgetExceeded();
	}
	auto it = script_.find(swaps_);
	if (it == script_.end() || it->second.empty()) return false;
	out = it->second.front();
	it->second.erase(it->second.begin());
	return true;
}

bool ScriptedWindow::message_box(const std::string&, const std::string& text1, const std::string& text2)
{
	if (!box_shows) return false;
	boxes.push_back(text1 + "|" + text2);
	return true;
}

int ScriptedWindow::confirm_box(const std::string&, const std::string& text, const std::string& yes,
                                const std::string& no)
{
	if (!box_shows) return -1;
	boxes.push_back(text + "|" + yes + "|" + no);
	return confirm_answer;
}

}  // namespace kx_test
