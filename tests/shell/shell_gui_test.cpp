// The real window: SDL in this process on an X server of the test's own, and the
// installer itself under its own Xvfb. Never the developer's display.
#include <SDL2/SDL.h>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <GL/gl.h>

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "graphics/ogl_draw.h"
#include "graphics/oglp.h"
#include "platform/plat_window.h"
#include "runtime/cmdline.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_exception.h"
#include "runtime/hl_globals.h"
#include "runtime/io_utils.h"
#include "runtime/rec_glext.h"
#include "runtime/xtim.h"
#include "shell/hl_init.h"
#include "shell/hl_mnw.h"
#include "support/fakes/fakes.h"
#include "support/scripted_window.h"
#include "support/test_env.h"
#include "support/xvfb_server.h"

using namespace kx_test;

namespace {

const char* const kTitle = "Kestrix DVD Installer";
constexpr int kProductSeconds = 40;
constexpr int kCloseSeconds = 10;
constexpr int kFindSeconds = 25;
constexpr Uint32 kQueuePollMs = 10;
constexpr Uint32 kMillisecondsPerSecond = 1000;

class RealWindow : public ::testing::Test {
protected:
	void SetUp() override
	{
		setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
		unsetenv("WAYLAND_DISPLAY");
		unsetenv("SDL_VIDEODRIVER");
		char buf[PATH_MAX];
		cwd_ = getcwd(buf, sizeof(buf)) ? buf : "";
		kx_fake::reset();
		mnw = mnw_struct{};
		menu.assign(menu_slot_count, menu_struct{});
		cmdline = UTL_cmdline{};
		glExt = OGL_extensions{};
		app_done = quit_requested = 0;
		DIDIVI_reset_init_state();
		stls.ui_str[stls_alert_button] = "OK";
	}
	void TearDown() override
	{
		OGL_set_swap_hook(nullptr);
		plat_sdl_shutdown();
		THREAD_shutdown();
		DIDIVI_set_alert_presenter(nullptr);
		DIDIVI_set_alert_forwarder(nullptr);
		DIDIVI_set_finishup(nullptr);
		xtim_set_pulse_hook(nullptr);
		xtim_set_unfocus_hook(nullptr);
		opensave_set_cmd_lister(nullptr);
		xer.close();
		if (!cwd_.empty() && chdir(cwd_.c_str()) != 0) ADD_FAILURE();
	}
	// The server outlives SDL's connection to it: the fixture ends SDL first.
	XvfbServer& server(int w, int h)
	{
		x_ = std::make_unique<XvfbServer>(w, h);
		return *x_;
	}
	void start_on(XvfbServer& x)
	{
		ASSERT_TRUE(x.ok()) << x.why();
		x.use_in_process();
		kx_fake::fire_button("Accept", 0);  // the language chooser
		const char* argv[] = {"kestrix-installer"};
		DIDIVI_init(1, argv);
		// From here on every frame counts against the fakes' frame budget.
		OGL_set_swap_hook(counted_swap);
	}
	static void counted_swap()
	{
		kx_fake::end_frame();
		plat_window().swap();
	}
	std::string log() { return read_file(env.path("home/Desktop/Kestrix Installer Log.txt")); }

	TempEnv env;
	std::string cwd_;
	std::unique_ptr<XvfbServer> x_;
};

SDL_Event click_at(Uint32 type, int x, int y)
{
	SDL_Event e{};
	e.type = type;
	e.button.button = SDL_BUTTON_LEFT;
	e.button.x = x;
	e.button.y = y;
	return e;
}

// Whether a button release has reached SDL's queue, looked for (bounded) without taking
// anything off it.
bool release_waiting()
{
	const Uint32 until = SDL_GetTicks() + Uint32(kCloseSeconds) * kMillisecondsPerSecond;
	while (!SDL_TICKS_PASSED(SDL_GetTicks(), until)) {
		SDL_PumpEvents();
		SDL_Event e;
		if (SDL_PeepEvents(&e, 1, SDL_PEEKEVENT, SDL_MOUSEBUTTONUP, SDL_MOUSEBUTTONUP) == 1) return true;
		SDL_Delay(kQueuePollMs);
	}
	return false;
}

uint32_t g_read_before_swap = 0;
int g_read_x = 10, g_read_y = 10;
void read_then_swap()
{
	unsigned char p[4] = {0, 0, 0, 0};
	glReadPixels(g_read_x, g_read_y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
	g_read_before_swap = p[0] | (p[1] << 8) | (p[2] << 16);
	plat_window().swap();
}

}  // namespace

TEST_F(RealWindow, LargeScreenGetsADecoratedWindowBelowTheTop)
{
	XvfbServer& x = server(1024, 768);
	start_on(x);
	int left = -1, top = -1, w = 0, h = 0;
	bool decorated = false;
	ASSERT_TRUE(plat_window().window_rect(left, top, w, h, decorated));
	EXPECT_EQ(left, 0);
	EXPECT_EQ(top, 40);
	EXPECT_EQ(w, 800);
	EXPECT_EQ(h, 600);
	EXPECT_TRUE(decorated);
	const unsigned long xw = find_window(x.display(), kTitle, kFindSeconds);
	ASSERT_NE(xw, 0u);
	int gx = 0, gy = 0, gw = 0, gh = 0;
	ASSERT_TRUE(window_geometry(x.display(), xw, gx, gy, gw, gh));
	EXPECT_EQ(gw, 800);
	EXPECT_EQ(gh, 600);

	const std::string l = log();
	EXPECT_NE(l.find("AGL_DOUBLEBUFFER : 1\n"), std::string::npos);
	EXPECT_NE(l.find("OpenGL Version   : "), std::string::npos);
	EXPECT_NE(l.find("OpenGL Render    : "), std::string::npos);
	EXPECT_EQ(glExt.multitex_avail, 1);

	// Pushed events: a click in the close corner of window 2, then the close button.
	DIDIVI_startwind(wind_prefs, 0);
	const int px = int(mnw.dialog_x) + 10;
	const int py = mnw.y_res_now - int(mnw.dialog_y + mnw.wind_dy) + 5;
	SDL_Event down = click_at(SDL_MOUSEBUTTONDOWN, px, py);
	SDL_PushEvent(&down);
	DIDIVI_event_proc();
	EXPECT_EQ(mnw.wind_id, wind_main);
	SDL_Event quit{};
	quit.type = SDL_QUIT;
	SDL_PushEvent(&quit);
	DIDIVI_event_proc();
	EXPECT_EQ(quit_requested, 1);

	// What the frame drew is in the back buffer until the swap.
	kx_fake::on_app_update = [] {
		glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
		glClear(GL_COLOR_BUFFER_BIT);
	};
	g_read_x = g_read_y = 10;
	OGL_set_swap_hook(read_then_swap);
	DIDIVI_event_proc();
	EXPECT_EQ(g_read_before_swap, 0x0000FFu);
}

TEST_F(RealWindow, WhatTheFrameDrawsIsOnTheWindowWhereItWasDrawn)
{
	XvfbServer& x = server(1024, 768);
	start_on(x);
	// The frame loop starts window 0 on its first pass; the drawing of that frame and of
	// every later one goes through the projection the window start set up.
	constexpr int kWhite = 49, kRectX = 300, kRectY = 200, kRectSide = 40;
	kx_fake::on_app_update = [] {
		glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
		glClear(GL_COLOR_BUFFER_BIT);
		OGL_setstate(fog_fals, 0, lit_fals, al_none, deR_fals, deW_fals);
		OGL_fillrect(kWhite, 1.0f, kRectX, kRectY, kRectSide, kRectSide);
	};
	OGL_set_swap_hook(read_then_swap);
	// Interface units are the window's pixels, y upwards from the lower left.
	g_read_x = kRectX + kRectSide / 2;
	g_read_y = kRectY + kRectSide / 2;
	DIDIVI_event_proc();
	EXPECT_EQ(g_read_before_swap, 0xFFFFFFu);
	g_read_x = kRectX + 2 * kRectSide;
	DIDIVI_event_proc();
	EXPECT_EQ(g_read_before_swap, 0u);
}

TEST_F(RealWindow, ScreenOfTheWindowsSizeGetsABorderlessOne)
{
	XvfbServer& x = server(800, 600);
	start_on(x);
	int left = -1, top = -1, w = 0, h = 0;
	bool decorated = true;
	ASSERT_TRUE(plat_window().window_rect(left, top, w, h, decorated));
	EXPECT_EQ(left, 0);
	EXPECT_EQ(top, 0);
	EXPECT_EQ(w, 800);
	EXPECT_EQ(h, 600);
	EXPECT_FALSE(decorated);
}

TEST_F(RealWindow, PushedKeysArriveWithTheirText)
{
	XvfbServer& x = server(1024, 768);
	start_on(x);
	kx_fake::reset();
	SDL_Event down{};
	down.type = SDL_KEYDOWN;
	down.key.keysym.scancode = SDL_SCANCODE_E;
	down.key.keysym.sym = SDLK_e;
	SDL_Event text{};
	text.type = SDL_TEXTINPUT;
	std::strcpy(text.text.text, "\xC3\xA9");  // é
	SDL_Event shift{};
	shift.type = SDL_KEYDOWN;
	shift.key.keysym.scancode = SDL_SCANCODE_LSHIFT;
	SDL_Event up = down;
	up.type = SDL_KEYUP;
	for (SDL_Event* e : {&down, &text, &shift, &up}) SDL_PushEvent(e);
	DIDIVI_event_proc();
	const auto keys_seen = kx_fake::calls_of("BTN_dispatch_to_focus");
	ASSERT_EQ(keys_seen.size(), 2u);  // Shift alone is no event
	EXPECT_EQ(keys_seen[0].num[0], 0xE9);  // the text that followed the key
	EXPECT_EQ(keys_seen[0].num[2], 8);     // key down
	EXPECT_EQ(keys_seen[1].num[2], 16);    // key up
	EXPECT_EQ(mnw.key_held, 0);
	EXPECT_EQ(mnw.key_event, 1);

	// An input method's commit of several characters: each one arrives, in order.
	kx_fake::reset();
	std::strcpy(text.text.text, "^~a");
	SDL_PushEvent(&text);
	DIDIVI_event_proc();
	std::string typed;
	for (const auto& k : kx_fake::calls_of("BTN_dispatch_to_focus")) typed += char(k.num[0]);
	EXPECT_EQ(typed, "^~a");
}

// While the desktop's eject is waited for, clicks and keys go; the close button's quit
// stays for the frame loop.
TEST_F(RealWindow, WaitingOnTheDesktopDropsInputButKeepsAQuit)
{
	XvfbServer& x = server(1024, 768);
	start_on(x);
	plat_window().flush_events();
	SDL_Event key{};
	key.type = SDL_KEYDOWN;
	key.key.keysym.scancode = SDL_SCANCODE_A;
	SDL_Event text{};
	text.type = SDL_TEXTINPUT;
	std::strcpy(text.text.text, "ab");
	SDL_Event click{};
	click.type = SDL_MOUSEBUTTONDOWN;
	click.button.button = SDL_BUTTON_LEFT;
	SDL_Event quit{};
	quit.type = SDL_QUIT;
	for (SDL_Event* e : {&key, &text, &click, &quit}) SDL_PushEvent(e);
	plat_window().drop_input_events();
	plat_event ev;
	ASSERT_TRUE(plat_window().wait_event(ev, 0));
	EXPECT_EQ(ev.what, plat_ev_high_level);
	EXPECT_FALSE(plat_window().wait_event(ev, 0));
}

TEST_F(RealWindow, AClickWaitingWithTheWindowsFocusIsNotDropped)
{
	XvfbServer& x = server(1024, 768);
	start_on(x);
	const unsigned long w = find_window(x.display(), kTitle, kFindSeconds);
	ASSERT_NE(w, 0u);
	// The window takes the focus and is clicked while this program is busy elsewhere (no
	// frame runs): the next frame finds both waiting, and the click must count.
	const std::string id = std::to_string(w);
	const std::vector<std::string> display = {"DISPLAY=" + x.display()};
	ASSERT_EQ(run_program({"xdotool", "windowfocus", "--sync", id}, display, kCloseSeconds).status, 0);
	ASSERT_EQ(run_program({"xdotool", "mousemove", "--window", id, "400", "300"}, display, kCloseSeconds).status, 0);
	ASSERT_EQ(run_program({"xdotool", "click", "--window", id, "1"}, display, kCloseSeconds).status, 0);
	// The one frame must find the whole click waiting: xdotool is done once the server
	// has it, not once it has reached this program.
	ASSERT_TRUE(release_waiting());
	DIDIVI_event_proc();
	EXPECT_EQ(mnw.mouse_down, 1);
	EXPECT_FLOAT_EQ(mnw.mouse_x, 400.0f);
	EXPECT_FLOAT_EQ(mnw.mouse_y, 300.0f);
}

#ifdef KX_INSTALLER
namespace {
std::vector<std::string> sandbox(const TempEnv& env, const std::string& display)
{
	// A runtime folder of its own, so the desktop libraries probing for a session find
	// an empty one instead of complaining on standard error.
	::mkdir(env.path("run").c_str(), 0700);
	return {"XDG_RUNTIME_DIR=" + env.path("run"),
	        "DISPLAY=" + display,
	        "WAYLAND_DISPLAY=",
	        "SDL_VIDEODRIVER=",
	        "HOME=" + env.path("home"),
	        "XDG_CONFIG_HOME=" + env.path("home/.config"),
	        "XDG_DESKTOP_DIR=" + env.path("home/Desktop"),
	        "TMPDIR=" + env.path("tmp"),
	        "LIBGL_ALWAYS_SOFTWARE=1"};
}
}  // namespace

TEST(Installer, OpensItsWindowAndEndsWhenClosed)
{
	TempEnv env;
	XvfbServer x(1024, 768);
	ASSERT_TRUE(x.ok()) << x.why();
	const std::string out = env.path("out.txt"), err = env.path("err.txt");
	const int pid = start_program({KX_INSTALLER}, sandbox(env, x.display()), kProductSeconds, out, err);
	ASSERT_GT(pid, 0);
	const unsigned long w = find_window(x.display(), kTitle, kFindSeconds);
	ASSERT_NE(w, 0u) << read_file(err);
	EXPECT_EQ(read_file(env.path("home/Desktop/Kestrix Installer Log.txt"))
	              .rfind("Installer log.txt for Kestrix DVD Installer 2.01r1", 0),
	          0u);
	// The language chooser is up; the close button answers it, then ends the program.
	ASSERT_TRUE(send_delete_window(x.display(), w));
	EXPECT_EQ(wait_program(pid, kCloseSeconds), 0) << read_file(err);
}

// A window that closes while the test looks at it must not end the test process.
TEST(XHarness, AskingAboutAWindowThatHasGoneFailsSoftly)
{
	constexpr unsigned long kNoSuchWindow = 0x1fffff;
	XvfbServer x(320, 240);
	ASSERT_TRUE(x.ok()) << x.why();
	int left = 0, top = 0, width = 0, height = 0;
	EXPECT_FALSE(window_geometry(x.display(), kNoSuchWindow, left, top, width, height));
	send_delete_window(x.display(), kNoSuchWindow);
	EXPECT_EQ(find_window(x.display(), kTitle, 1), 0u);
}

TEST(Installer, WithoutADisplayItSaysSoAndFails)
{
	TempEnv env;
	const RunResult r = run_program({KX_INSTALLER}, sandbox(env, ""), kProductSeconds);
	EXPECT_EQ(r.status, 1);
	EXPECT_EQ(r.err.rfind("I could not set up the graphics for Kestrix!", 0), 0u) << r.err;
}
#endif

TEST_F(RealWindow, AnUnansweredBoxFailsOnItsFrameBudget)
{
	XvfbServer& x = server(1024, 768);
	start_on(x);
	kx_fake::frame_budget = kx_fake::frame() + 3;
	bool stopped = false;
	EXPECT_NONFATAL_FAILURE(
		{
			try {
				__DIDIVI_alert(0, "Nobody", "answers", "this", "box", t_alert, "gui_test", 1);
			} catch (const FrameBudgetExceeded&) {
				stopped = true;
			}
		},
		"frames drawn");
	EXPECT_TRUE(stopped);
}
