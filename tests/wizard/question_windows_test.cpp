// The engine's two questions as windows, driven through the real frame loop over a
// scripted window, drawn in a headless context.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/engine_globals.h"
#include "engine/install.h"
#include "graphics/oglp.h"
#include "runtime/hl_exception.h"
#include "runtime/hl_globals.h"
#include "shell/hl_mnw.h"
#include "support/gl_world.h"
#include "support/scripted_window.h"
#include "wizard/question_windows.h"

using kx_test::ScriptedWindow;

namespace {

constexpr int kMacReturn = 36;

class Questions : public ::testing::Test {
protected:
	std::unique_ptr<GlTestContext> world = open_gl_world(800, 600);
	ScriptedWindow win{800, 600, 60};
	ogl_swap_fn old_swap = nullptr;

	void SetUp() override
	{
		old_select = ENG_set_select_alert_hook(nullptr);
		old_abort = ENG_set_abort_alert_hook(nullptr);
		if (!world->ok()) GTEST_SKIP() << "no headless OpenGL: " << world->why();
		THREAD_init();
		mnw.x_res_now = 800;
		mnw.y_res_now = 600;
		mnw.ui_scale = 1.0f;
		mnw.menu_state = -1;
		quit_requested = 0;
		old_swap = OGL_set_swap_hook([] { plat_window().swap(); });
		DIDIVI_reset_frame_loop();
		DIDIVI_startwind(wind_main, 0);
		install_question_windows();
	}
	void TearDown() override
	{
		// The windows ask in a frame loop of their own: a later test that asks no one
		// must not find them still answering.
		ENG_set_select_alert_hook(old_select);
		ENG_set_abort_alert_hook(old_abort);
		OGL_set_swap_hook(old_swap);
		quit_requested = 0;
	}
	select_alert_fn old_select = nullptr;
	abort_alert_fn old_abort = nullptr;
	// A click at an interface point of a dialog whose origin is (ox, oy), in the next frame
	// after `after` more frames.
	void click_at(float ox, float oy, float x, float y, int after = 0)
	{
		const int px = int(ox + x), py = int(600 - (oy + y));
		win.at_frame(win.frame() + after, ScriptedWindow::click(plat_ev_mouse_down, px, py));
		win.at_frame(win.frame() + after + 1, ScriptedWindow::click(plat_ev_mouse_up, px, py));
	}
};

// Window 996 sits at (50, 227) and 997 at (50, 197) on an 800 by 600 screen.
constexpr float k996x = 50, k996y = 227, k997x = 50, k997y = 197;

}  // namespace

TEST_F(Questions, TheModifiedFileQuestionAnswersWithItsFiveButtons)
{
	struct row {
		float x, y;
		int result;
	} rows[] = {{96, 53, 1}, {96, 28, 2}, {308, 53, 4}, {308, 28, 5}, {584, 28, 3}};
	for (int gone : {0, 1}) {
		for (const row& r : rows) {
			click_at(k996x, k996y, r.x, r.y);
			EXPECT_EQ(select_alert("Resources/x.txt", gone), r.result) << r.result << " gone " << gone;
			EXPECT_EQ(mnw.current_window, wind_main);
		}
	}
}

std::vector<std::string> g_drawn;
void record_text(int, float, float, const std::string& text, int) { g_drawn.push_back(text); }

// A file named in UTF-8 (é, ü and a Japanese letter) is drawn in the font's letters.
TEST_F(Questions, TheModifiedFileQuestionDrawsThePathInTheFontsLetters)
{
	g_drawn.clear();
	const ogl_text_observer_fn old = OGL_set_text_observer(record_text);
	click_at(k996x, k996y, 96, 28);
	EXPECT_EQ(select_alert("Resources/caf\xC3\xA9 \xC3\xBC\xE3\x81\x82.txt", 0), 2);
	OGL_set_text_observer(old);
	EXPECT_NE(std::find(g_drawn.begin(), g_drawn.end(), "Resources/caf\xE9 ??.txt"), g_drawn.end());
}

TEST_F(Questions, TheTwoButtonQuestionStaysOpenUntilABoxIsClicked)
{
	click_at(k997x, k997y, 96, 56);
	EXPECT_EQ(abort_alert("Message", "One", "first", "Two", "second"), 1);
	EXPECT_EQ(mnw.current_window, wind_main);

	// Return and a click in its top corners leave it open; its second button answers.
	win.at_frame(win.frame(), ScriptedWindow::key(plat_ev_key_down, kMacReturn, 13));
	click_at(k997x, k997y, 5, 201, 2);
	click_at(k997x, k997y, 695, 201, 4);
	click_at(k997x, k997y, 96, 31, 6);
	EXPECT_EQ(abort_alert("Message", "One", "first", "Two", "second"), 0);
	EXPECT_GE(win.frame(), 6);
}

TEST_F(Questions, ClosingTheProgramsWindowAnswersCancel)
{
	win.at_frame(win.frame(), ScriptedWindow::of_kind(plat_ev_high_level));
	EXPECT_EQ(abort_alert("Message", "One", "first", "Two", "second"), 3);
	EXPECT_EQ(mnw.current_window, wind_main);
	quit_requested = 0;
	win.at_frame(win.frame(), ScriptedWindow::of_kind(plat_ev_high_level));
	EXPECT_EQ(select_alert("Resources/x.txt", 0), 3);
}

// Every different line drawn while it is set: where, how wide, what.
struct drawn_line {
	float x, y;
	int width;
	std::string text;
	bool operator==(const drawn_line&) const = default;
};
std::vector<drawn_line> g_lines;
void record_line(int, float x, float y, const std::string& text, int)
{
	const drawn_line l{x, y, ui_text_width(text), text};
	if (std::find(g_lines.begin(), g_lines.end(), l) == g_lines.end()) g_lines.push_back(l);
}
// Lines of the question drawn over each other, each pair as one text.
std::vector<std::string> overdrawn()
{
	std::vector<std::string> over;
	for (size_t i = 0; i < g_lines.size(); ++i)
		for (size_t k = i + 1; k < g_lines.size(); ++k) {
			const drawn_line &a = g_lines[i], &b = g_lines[k];
			if (a.x < b.x + float(b.width) && b.x < a.x + float(a.width) && std::abs(a.y - b.y) < ui_line_height)
				over.push_back(a.text + " | " + b.text);
		}
	return over;
}

// A copy in a deep folder: the changed file's path keeps to its line, and the message
// of the two-button question to its room above the buttons, each path giving way in its
// middle with its start and end kept; nothing is drawn over anything else.
TEST_F(Questions, ALongPathKeepsToItsRoomInBothQuestions)
{
	const std::string saved_dest = dest_dir_path, saved_dvd = dvd_path;
	std::string deep = "/media/pilot/Kestrix Drive";
	while (deep.size() < 390) deep += "/folder with a long name";
	dest_dir_path = deep + "/Kestrix 9/";
	dvd_path = "/media/pilot/" + std::string(120, 'd') + "/";

	g_lines.clear();
	const ogl_text_observer_fn old = OGL_set_text_observer(record_line);
	click_at(k996x, k996y, 96, 28, 1);
	EXPECT_EQ(select_alert(dest_dir_path + "Resources/settings.txt", 0), 2);
	const std::vector<drawn_line> asked = g_lines;
	EXPECT_EQ(overdrawn(), std::vector<std::string>{});
	int path_lines = 0;
	for (const drawn_line& l : asked)
		if (l.text.starts_with("/media/pilot/")) {
			++path_lines;
			EXPECT_TRUE(l.text.ends_with("/Kestrix 9/Resources/settings.txt")) << l.text;
			EXPECT_NE(l.text.find("..."), std::string::npos) << l.text;
		}
	EXPECT_EQ(path_lines, 1);

	// A message of more rows than the window has above its buttons, from a copy and a
	// disc both deep: their paths give way, never the words between them.
	while (deep.size() < 600) deep += "/folder with a long name";
	dest_dir_path = deep + "/Kestrix 9/";
	dvd_path = "/media/pilot/" + std::string(590, 'd') + "/";
	g_lines.clear();
	const std::string message = "I was unable to unzip the file " + dvd_path + "Kestrix 9/Resources/settings.zip" +
	                            " to the folder " + dest_dir_path + "Resources/.";
	click_at(k997x, k997y, 96, 56, 1);
	EXPECT_EQ(abort_alert(message, "One", "first", "Two", "second"), 1);
	OGL_set_text_observer(old);
	EXPECT_EQ(overdrawn(), std::vector<std::string>{});
	std::string shown;
	for (const drawn_line& l : g_lines)
		if (l.text != "One" && l.text != "Two" && l.text != "first" && l.text != "second") shown += l.text;
	EXPECT_TRUE(shown.starts_with("I was unable to unzip the file /media/pilot/")) << shown;
	EXPECT_TRUE(shown.ends_with("/Kestrix 9/Resources/.")) << shown;
	EXPECT_NE(shown.find("settings.zip to the folder /media/pilot/Kestrix Drive/"), std::string::npos) << shown;
	EXPECT_NE(shown.find("..."), std::string::npos) << shown;

	dest_dir_path = saved_dest;
	dvd_path = saved_dvd;
}
