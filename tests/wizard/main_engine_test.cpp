#include "wizard/main_engine.h"

#include <algorithm>
#include <limits>

#include "runtime/hl_trace.h"
#include "wizard/main_screens.h"
#include "wizard_fixture.h"

using kx_test::ScopedEnvVar;
using kx_test::TempEnv;

namespace {
// Scripted screens: each records its calls and fills the record from a script.
struct script {
	screen_fn back = nullptr;
	screen_fn next = nullptr;
	int result = 0;
	std::vector<std::string> choices;
	std::vector<screen_fn> targets;
	void (*cancel)() = nullptr;
	std::vector<int> firsts;  // the first-frame flag of every call
};
script g_a, g_b, g_c;

int fill(script& sc, int first, wizard_screen& s)
{
	sc.firsts.push_back(first);
	s.back_screen = sc.back;
	s.next_screen = sc.next;
	s.choice_labels = sc.choices;
	s.choice_targets = sc.targets;
	s.on_cancel = sc.cancel;
	return sc.result;
}
int screen_a(int first, wizard_screen& s) { return fill(g_a, first, s); }
int screen_b(int first, wizard_screen& s) { return fill(g_b, first, s); }
int screen_c(int first, wizard_screen& s) { return fill(g_c, first, s); }

int g_cancels = 0;
void count_cancel()
{
	++g_cancels;
	EXPECT_EQ(app_done, 0);  // the hook runs before the program is told to end
}

// One frame of the engine with the given clicks; false when no screen was current.
bool frame(const wizard_clicks& clicks = {})
{
	wizard_screen s;
	int result = 0;
	if (!wizard_begin_frame(s, result)) return false;
	wizard_end_frame(s, result, clicks);
	return true;
}

class EngineRules : public ::testing::Test {
protected:
	EngineRules()
	{
		g_a = g_b = g_c = script{};
		g_cancels = 0;
		app_done = 0;
		wizard_reset_engine();
		g_wizard = screen_a;
	}
	~EngineRules() override
	{
		app_done = 0;
		wizard_reset_engine();
		g_wizard = dvd_start;
	}
};
}  // namespace

TEST(EngineLayout, ProgressWidths)
{
	EXPECT_FLOAT_EQ(wizard_progress_width(0.0f), 20.8f);
	EXPECT_FLOAT_EQ(wizard_progress_width(0.5f), 270.4f);
	EXPECT_FLOAT_EQ(wizard_progress_width(1.0f), 520.0f);
	EXPECT_FLOAT_EQ(wizard_progress_width(1.5f), 520.0f);
	EXPECT_LT(wizard_progress_width(-1.0f), 0.0f);
	EXPECT_LT(wizard_progress_width(std::numeric_limits<float>::quiet_NaN()), 0.0f);
	// The fill always starts at the outline's left edge.
	EXPECT_FLOAT_EQ(wizard_progress_left + wizard_progress_width(0.5f), 510.4f);
}

TEST(EngineLayout, ButtonRowsHitsAndPlaces)
{
	EXPECT_EQ(interface_rect_row(46, 22, 1, 0, 0), 46);
	EXPECT_EQ(interface_rect_row(46, 22, 1, 1, 1), 23);
	EXPECT_EQ(interface_rect_row(46, 22, 1, 1, 0), 0);
	EXPECT_EQ(interface_rect_row(46, 22, 0, 1, 0), 46);  // a disabled button does not light up
	EXPECT_TRUE(interface_rect_inside(560, 12, 89, 22, 560, 12));
	EXPECT_TRUE(interface_rect_inside(560, 12, 89, 22, 649, 34));
	EXPECT_FALSE(interface_rect_inside(560, 12, 89, 22, 649.5f, 20));
	EXPECT_FLOAT_EQ(wizard_choice_y(0), 350);
	EXPECT_FLOAT_EQ(wizard_choice_y(3), 275);
	EXPECT_FLOAT_EQ(wizard_server_y(0, 3), 158);
	EXPECT_FLOAT_EQ(wizard_server_y(1, 3), 118);
	EXPECT_FLOAT_EQ(wizard_server_y(2, 3), 78);
}

TEST_F(EngineRules, FirstFrameFlag)
{
	g_a.next = screen_b;
	frame();
	frame();
	frame({.next = true});
	frame();
	g_b.back = screen_a;
	frame({.back = true});
	frame();
	EXPECT_EQ(g_a.firsts, (std::vector<int>{1, 0, 0, 1}));
	EXPECT_EQ(g_b.firsts, (std::vector<int>{1, 0}));
}

TEST_F(EngineRules, TheScreensNextWinsOverAChoiceInTheSameFrame)
{
	g_a.choices = {"B"};
	g_a.targets = {screen_b};
	g_a.next = screen_c;
	g_a.result = 1;
	frame({.choice = 0});
	EXPECT_EQ(g_wizard, screen_c);
	// Continue and Go Back in one frame: Continue was applied last.
	g_c.back = screen_a;
	g_c.next = screen_b;
	frame({.back = true, .next = true});
	EXPECT_EQ(g_wizard, screen_b);
	// A choice alone moves to its target.
	g_b.choices = {"A", "C"};
	g_b.targets = {screen_a, screen_c};
	frame({.choice = 1});
	EXPECT_EQ(g_wizard, screen_c);
	frame({.choice = 5});  // off the list: nothing
	EXPECT_EQ(g_wizard, screen_c);
}

TEST_F(EngineRules, AScreenThatMovesOnAtOnceIsShownOneFrame)
{
	g_a.next = screen_b;
	g_a.result = 1;
	frame();
	frame();
	frame();
	EXPECT_EQ(g_a.firsts.size(), 1u);
	EXPECT_EQ(g_b.firsts, (std::vector<int>{1, 0}));
	// Moving on without a target stays.
	g_b.result = 1;
	frame();
	EXPECT_EQ(g_wizard, screen_b);
	EXPECT_EQ(g_b.firsts.back(), 0);
}

TEST_F(EngineRules, DisabledButtonsAreInert)
{
	frame({.back = true, .next = true});
	EXPECT_EQ(g_wizard, screen_a);
	EXPECT_EQ(app_done, 0);
}

TEST_F(EngineRules, QuitRunsTheCancelHookThenEnds)
{
	g_a.cancel = count_cancel;
	frame({.quit = true});
	EXPECT_EQ(g_cancels, 1);
	EXPECT_EQ(app_done, 1);
}

TEST_F(EngineRules, ContinueAsQuitHidesTheLeftQuit)
{
	g_a.next = wizard_quit;
	g_a.cancel = count_cancel;
	wizard_screen s;
	int result = 0;
	ASSERT_TRUE(wizard_begin_frame(s, result));
	EXPECT_FALSE(wizard_shows_quit(s));
	// The hidden Quit takes no click; Continue, now Quit, ends the program next frame.
	wizard_end_frame(s, result, {.quit = true});
	EXPECT_EQ(app_done, 0);
	wizard_end_frame(s, result, {.next = true});
	EXPECT_EQ(g_wizard, wizard_quit);
	EXPECT_EQ(app_done, 0);
	frame();
	EXPECT_EQ(app_done, 1);
	EXPECT_EQ(g_cancels, 0);
}

TEST_F(EngineRules, NoScreenEndsTheProgram)
{
	g_wizard = nullptr;
	EXPECT_FALSE(frame());
	EXPECT_EQ(app_done, 1);
}

TEST_F(EngineRules, TraceLinesNameTheScreens)
{
	TempEnv env;
	ScopedEnvVar on("KESTRIX_SCREEN_TRACE", env.path("t.jsonl").c_str());
	// An empty drive, whatever this machine has mounted.
	ScopedEnvVar media("KESTRIX_MEDIA_ROOTS", env.path("home").c_str());
	kx_wizard_test::reset_wizard_globals();
	wizard_trace_reset();
	g_wizard = dvd_start;
	for (int i = 0; i < 5; ++i) frame();  // no DVD: one line, however many frames
	const std::string t = kx_test::read_file(env.path("t.jsonl"));
	EXPECT_EQ(std::count(t.begin(), t.end(), '\n'), 1);
	EXPECT_NE(t.find("\"screen\": \"dvd_start\""), std::string::npos);
	EXPECT_NE(t.find("Please insert Kestrix 9 DVD number one to begin."), std::string::npos);
	wizard_trace_reset();
}
