// The window seam over SDL2: one window with an OpenGL 2.1 compatibility context.
#include <SDL2/SDL.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <iterator>
#include <vector>

#include "platform/plat_events_sdl.h"
#include "platform/plat_window.h"

namespace {

constexpr int kGlMajor = 2;
constexpr int kGlMinor = 1;
constexpr int kLatin1Max = 0xFF;
// The two-button box's answers, as its button ids.
constexpr int kConfirmNo = 0, kConfirmYes = 1;
// Drivers that show nothing: used only when SDL_VIDEODRIVER asks for them by name.
const char* const kInvisibleDrivers[] = {"offscreen", "dummy"};
// What the user does to the window: keys and text, the mouse, joysticks and game
// controllers, touches and gestures, the clipboard and dropped files. SDL numbers them
// in one run, after the program's and the window's own events.
constexpr Uint32 kFirstInputEvent = SDL_KEYDOWN, kLastInputEvent = SDL_DROPCOMPLETE;

bool driver_named_by_user(const char* driver)
{
	const char* want = std::getenv("SDL_VIDEODRIVER");
	return want && std::strstr(want, driver);
}

class sdl_window_backend final : public plat_window_backend {
public:
	bool screen_size(int& width, int& height, int& depth) override
	{
		if (!init_video()) return false;
		SDL_DisplayMode mode;
		if (SDL_GetDesktopDisplayMode(0, &mode) != 0) return false;
		width = mode.w;
		height = mode.h;
		depth = static_cast<int>(SDL_BITSPERPIXEL(mode.format));
		return true;
	}

	bool open_window(const plat_window_spec& spec) override
	{
		close_window();
		if (!init_video()) return false;
		SDL_GL_ResetAttributes();
		SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, kGlMajor);
		SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, kGlMinor);
		SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
		SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
		SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, spec.depth_bits);
		SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, spec.samples > 0 ? 1 : 0);
		SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, spec.samples);
		Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
		if (!spec.decorated) flags |= SDL_WINDOW_BORDERLESS;
		window_ = SDL_CreateWindow(spec.title.c_str(), spec.left, spec.top, spec.width, spec.height, flags);
		if (!window_) return false;
		context_ = SDL_GL_CreateContext(window_);
		if (!context_ || SDL_GL_MakeCurrent(window_, context_) != 0) {
			close_window();
			return false;
		}
		SDL_GL_SetSwapInterval(0);
		SDL_ShowWindow(window_);
		SDL_SetWindowPosition(window_, spec.left, spec.top);
		return true;
	}

	void close_window() override
	{
		if (context_) SDL_GL_DeleteContext(context_);
		if (window_) SDL_DestroyWindow(window_);
		context_ = nullptr;
		window_ = nullptr;
	}

	bool window_rect(int& left, int& top, int& width, int& height, bool& decorated) override
	{
		if (!window_) return false;
		SDL_GetWindowPosition(window_, &left, &top);
		SDL_GetWindowSize(window_, &width, &height);
		decorated = !(SDL_GetWindowFlags(window_) & SDL_WINDOW_BORDERLESS);
		return true;
	}

	bool gl_attribute(plat_gl_attr which, int& value) override
	{
		if (!context_) return false;
		switch (which) {
		case plat_gl_rgba:
			value = 1;  // SDL gives only RGBA formats
			return true;
		case plat_gl_doublebuffer:
			return SDL_GL_GetAttribute(SDL_GL_DOUBLEBUFFER, &value) == 0;
		case plat_gl_red_size:
			return SDL_GL_GetAttribute(SDL_GL_RED_SIZE, &value) == 0;
		case plat_gl_green_size:
			return SDL_GL_GetAttribute(SDL_GL_GREEN_SIZE, &value) == 0;
		case plat_gl_blue_size:
			return SDL_GL_GetAttribute(SDL_GL_BLUE_SIZE, &value) == 0;
		case plat_gl_alpha_size:
			return SDL_GL_GetAttribute(SDL_GL_ALPHA_SIZE, &value) == 0;
		case plat_gl_depth_size:
			return SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &value) == 0;
		}
		return false;
	}

	void* gl_proc(const char* name) override { return video_ ? SDL_GL_GetProcAddress(name) : nullptr; }

	void swap() override
	{
		if (window_) SDL_GL_SwapWindow(window_);
	}

	bool wait_event(plat_event& out, int timeout_ms) override
	{
		if (!video_) return false;
		if (!pending_.empty()) {
			out = pending_.front();
			pending_.pop_front();
			return true;
		}
		const Uint32 deadline = SDL_GetTicks() + static_cast<Uint32>(timeout_ms > 0 ? timeout_ms : 0);
		for (;;) {
			const Uint32 now = SDL_GetTicks();
			const int left = SDL_TICKS_PASSED(now, deadline) ? 0 : static_cast<int>(deadline - now);
			SDL_Event ev;
			if (!SDL_WaitEventTimeout(&ev, left)) return false;
			SDL_Event next;
			const bool has_next = SDL_PeepEvents(&next, 1, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1;
			bool took_next = false;
			std::vector<plat_event> records;
			const bool gave = plat_translate_event(ev, has_next ? &next : nullptr, SDL_GetModState(), records, took_next);
			if (took_next) SDL_PeepEvents(&next, 1, SDL_GETEVENT, SDL_TEXTINPUT, SDL_TEXTINPUT);
			if (gave) {
				// The characters of a commit after the first wait for the next calls.
				out = records.front();
				pending_.insert(pending_.end(), records.begin() + 1, records.end());
				return true;
			}
		}
	}

	void drop_input_events() override
	{
		// Only typed characters wait here.
		pending_.clear();
		if (!video_) return;
		SDL_PumpEvents();
		SDL_FlushEvents(kFirstInputEvent, kLastInputEvent);
	}

	void flush_events() override
	{
		pending_.clear();
		if (!video_) return;
		SDL_PumpEvents();
		SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
	}

	void pointer(int& x, int& y) override
	{
		x = y = 0;
		if (!video_) return;
		SDL_PumpEvents();
		SDL_GetMouseState(&x, &y);
	}

	int modifiers() override { return video_ ? plat_mac_modifiers(SDL_GetModState()) : 0; }

	int key_layout(int mac_key) override
	{
		const SDL_Scancode sc = plat_scancode_of_mac_key(mac_key);
		if (sc == SDL_SCANCODE_UNKNOWN || !video_) return 0;
		const SDL_Keycode k = SDL_GetKeyFromScancode(sc);
		return k > 0 && k <= kLatin1Max ? static_cast<int>(k) : 0;
	}

	void show_cursor(bool shown) override
	{
		if (video_) SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE);
	}

	bool message_box(const std::string& title, const std::string& text1, const std::string& text2) override
	{
		// Without a display SDL would still try a helper program that cannot show anything.
		if (!init_video()) return false;
		const std::string text = text1 + "\n\n" + text2;
		return SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title.c_str(), text.c_str(), window_) == 0;
	}

	int confirm_box(const std::string& title, const std::string& text, const std::string& yes,
	                const std::string& no) override
	{
		if (!init_video()) return -1;
		const SDL_MessageBoxButtonData buttons[] = {
		    {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, kConfirmNo, no.c_str()},
		    {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, kConfirmYes, yes.c_str()},
		};
		const SDL_MessageBoxData box = {SDL_MESSAGEBOX_WARNING, window_, title.c_str(), text.c_str(),
		                                int(std::size(buttons)), buttons, nullptr};
		int pressed = kConfirmNo;
		if (SDL_ShowMessageBox(&box, &pressed) != 0) return -1;
		return pressed == kConfirmYes ? kConfirmYes : kConfirmNo;
	}

	void shutdown()
	{
		close_window();
		if (video_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
		video_ = tried_ = false;
	}

private:
	bool init_video()
	{
		if (video_) return true;
		if (tried_) return false;
		tried_ = true;
		// A test's `timeout` must be able to stop us; SDL would otherwise turn SIGTERM
		// and SIGINT into a quit event that a hung loop never reads.
		SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
		SDL_SetHint(SDL_HINT_VIDEO_HIGHDPI_DISABLED, "1");
		// A click that SDL reads together with the window's focus event would be taken for
		// the click that focused it and dropped; a frame that takes a while (start-up, a
		// checksum pass) would lose every such click made meanwhile.
		SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
		if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
		const char* driver = SDL_GetCurrentVideoDriver();
		for (const char* invisible : kInvisibleDrivers) {
			if (driver && std::strcmp(driver, invisible) == 0 && !driver_named_by_user(invisible)) {
				SDL_QuitSubSystem(SDL_INIT_VIDEO);
				return false;
			}
		}
		video_ = true;
		return true;
	}

	bool tried_ = false;
	bool video_ = false;
	std::deque<plat_event> pending_;  // records translated, not yet handed out
	SDL_Window* window_ = nullptr;
	SDL_GLContext context_ = nullptr;
};

}  // namespace

namespace {
sdl_window_backend& the_backend()
{
	static sdl_window_backend backend;
	return backend;
}
}  // namespace

plat_window_backend& plat_sdl_window_backend() { return the_backend(); }

void plat_sdl_shutdown() { the_backend().shutdown(); }
