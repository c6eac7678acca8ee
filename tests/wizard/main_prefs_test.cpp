// The preferences window through the real frame loop over a scripted window, drawn in a
// headless context: clicks on its boxes, the settings each frame leaves, and the file
// written when it closes.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "runtime/hl_exception.h"
#include "runtime/hl_globals.h"
#include "runtime/http.h"
#include "runtime/pref.h"
#include "shell/hl_mnw.h"
#include "support/gl_world.h"
#include "support/scripted_window.h"
#include "support/test_env.h"
#include "wizard/main_engine.h"
#include "wizard/main_prefs.h"
#include "wizard/main_screens.h"

using kx_test::ScriptedWindow;

namespace {

constexpr int kScreenW = 800, kScreenH = 600;
constexpr float kPrefsW = 600, kPrefsH = 380;

// What the test does at the end of a frame (the swap), by frame number.
std::map<int, std::function<void()>> g_at_swap;
int g_swaps = 0;

// The wizard's screen behind the window: one that shows nothing and finds no DVD.
int quiet_screen(int, wizard_screen&) { return 0; }

class Prefs : public ::testing::Test {
protected:
	kx_test::TempEnv env;
	std::unique_ptr<GlTestContext> world = open_gl_world(kScreenW, kScreenH);
	ScriptedWindow win{kScreenW, kScreenH, 60};
	ogl_swap_fn old_swap = nullptr;
	float ox = 0, oy = 0;

	void SetUp() override
	{
		if (!world->ok()) GTEST_SKIP() << "no headless OpenGL: " << world->why();
		THREAD_init();
		mnw.x_res_now = kScreenW;
		mnw.y_res_now = kScreenH;
		mnw.ui_scale = 1.0f;
		mnw.menu_state = -1;
		quit_requested = 0;
		g_at_swap.clear();
		g_swaps = 0;
		old_swap = OGL_set_swap_hook([] {
			plat_window().swap();
			auto it = g_at_swap.find(g_swaps++);
			if (it != g_at_swap.end()) it->second();
		});
		g_wizard = quiet_screen;
		wizard_reset_engine();
		DIDIVI_reset_frame_loop();
		DIDIVI_startwind(wind_main, 0);
		DIDIVI_window_origin(kScreenW, kScreenH, 1.0f, kPrefsW, kPrefsH, ox, oy);
	}
	void TearDown() override
	{
		OGL_set_swap_hook(old_swap);
		g_wizard = dvd_start;
		wizard_reset_engine();
		quit_requested = 0;
		stg.stream_count = 0;
		http.proxy_host.clear();
		http.proxy_port.clear();
		http.proxy_port_int = 0;
	}
	// A click at a point of the window, pressed in frame `frame` and released in the next.
	void click_at(float x, float y, int frame)
	{
		const int px = int(ox + x), py = int(kScreenH - (oy + y));
		win.at_frame(frame, ScriptedWindow::click(plat_ev_mouse_down, px, py));
		win.at_frame(frame + 1, ScriptedWindow::click(plat_ev_mouse_up, px, py));
	}
};

// The value a preferences file holds for `key`, or "(none)".
std::string value_of(const std::string& file, const std::string& key)
{
	for (size_t at = file.find(key); at != std::string::npos; at = file.find(key, at + 1)) {
		if (at > 0 && file[at - 1] != '\n') continue;
		size_t v = at + key.size();
		if (v >= file.size() || (file[v] != ' ' && file[v] != '\t')) continue;
		while (v < file.size() && (file[v] == ' ' || file[v] == '\t')) ++v;
		const size_t end = file.find_first_of("\r\n", v);
		return file.substr(v, end == std::string::npos ? std::string::npos : end - v);
	}
	return "(none)";
}

constexpr float kStreamBoxX = 30, kStreamBoxY = 152;
constexpr int kPlatformListId = 1024 * 310 + 200;
constexpr float kCloseX = 5, kCloseY = kPrefsH - 5;

TEST_F(Prefs, TheStreamBoxThePortAndTheFileWrittenOnClose)
{
	stg.stream_count = 0;
	stg.target_os = 3;
	http.proxy_host = "proxy.example";
	http.proxy_port = "3128";
	http.proxy_port_int = 3128;
	std::map<int, int> counts;
	std::map<int, int> ports;
	for (int f = 0; f < 12; ++f)
		g_at_swap[f] = [f, &counts, &ports] {
			counts[f] = stg.stream_count;
			ports[f] = http.proxy_port_int;
		};
	click_at(kStreamBoxX, kStreamBoxY, 1);
	// A count beyond the field's range is brought back within 1 to 4.
	g_at_swap[3] = [&] {
		counts[3] = stg.stream_count;
		stg.stream_count = 9;
	};
	click_at(kStreamBoxX, kStreamBoxY, 5);
	// An emptied port keeps the number; a typed one sets it.
	g_at_swap[7] = [&] {
		ports[7] = http.proxy_port_int;
		http.proxy_port.clear();
	};
	g_at_swap[9] = [&] {
		ports[9] = http.proxy_port_int;
		http.proxy_port = "8080";
	};
	// An item chosen from the platform list (as the pop-up menu answers it).
	g_at_swap[10] = [&] {
		ports[10] = http.proxy_port_int;
		select_popup_code = kPlatformListId;
		popup_menu_select = 1;
	};
	click_at(kCloseX, kCloseY, 11);
	handle_prefs();

	// A press scripted for frame n is handled in the frame that ends with swap n + 1.
	EXPECT_EQ(counts[1], 0);
	EXPECT_EQ(counts[2], 1) << "ticking while automatic starts at one stream";
	EXPECT_EQ(counts[3], 1) << "and the tick stays";
	EXPECT_EQ(counts[4], 4);
	EXPECT_EQ(counts[6], 0) << "unticking is automatic again";
	EXPECT_EQ(ports[8], 3128);
	EXPECT_EQ(ports[10], 8080);
	EXPECT_EQ(stg.target_os, 2) << "the list's second item is Windows";
	EXPECT_EQ(mnw.wind_id, wind_main);

	const std::string file = kx_test::read_file(pref_file_path(11));
	EXPECT_EQ(value_of(file, "_stream_count"), "0") << file;
	EXPECT_EQ(value_of(file, "_proxy_host"), "proxy.example") << file;
	EXPECT_EQ(value_of(file, "_proxy_port"), "8080") << file;
	EXPECT_EQ(value_of(file, "_proxy_port_int"), "8080") << file;
}

// The window starts from what the file holds, so closing it stores the user's changes
// and not the stored values read back over them.
TEST_F(Prefs, TheWindowOpensOnTheStoredSettingsAndClosingKeepsItsChanges)
{
	const std::string path = pref_file_path(11);
	kx_test::write_file(path, "I\n9002 version\n_stream_count 2\n_proxy_host stored.example\n_proxy_port 3128\n"
	                          "_proxy_port_int 3128\n");
	stg.stream_count = 0;
	int shown = -1;
	g_at_swap[0] = [&] { shown = stg.stream_count; };
	click_at(kStreamBoxX, kStreamBoxY, 1);  // unticked: automatic
	g_at_swap[2] = [&] { http.proxy_port = "8080"; };
	click_at(kCloseX, kCloseY, 3);
	handle_prefs();

	EXPECT_EQ(shown, 2) << "the stored count is shown";
	const std::string file = kx_test::read_file(path);
	EXPECT_EQ(value_of(file, "_stream_count"), "0") << file;
	EXPECT_EQ(value_of(file, "_proxy_host"), "stored.example") << file;
	EXPECT_EQ(value_of(file, "_proxy_port"), "8080") << file;
	EXPECT_EQ(value_of(file, "_proxy_port_int"), "8080") << file;
}

// Each item of the platform list sets its platform, counted from 1; a manual count below
// the range is brought up to one stream.
TEST_F(Prefs, ThePlatformListAndTheCountsLowerBound)
{
	std::map<int, int> platforms;
	int count = 0;
	stg.target_os = 2;
	for (int item = 0; item < 3; ++item) {
		g_at_swap[2 * item] = [item] {
			select_popup_code = kPlatformListId;
			popup_menu_select = item;
		};
		g_at_swap[2 * item + 1] = [item, &platforms] { platforms[item] = stg.target_os; };
	}
	g_at_swap[6] = [] { stg.stream_count = -3; };
	g_at_swap[7] = [&] { count = stg.stream_count; };
	click_at(kCloseX, kCloseY, 8);
	handle_prefs();
	EXPECT_EQ(platforms[0], 1) << "Macintosh";
	EXPECT_EQ(platforms[1], 2) << "Windows";
	EXPECT_EQ(platforms[2], 3) << "Linux";
	EXPECT_EQ(count, 1);
}

}  // namespace
