// The wizard's frame in pixels, over the real atlases in a headless context: the step
// list's colours, the image buttons (enabled, disabled, Continue as Quit), the progress
// fill and the server radios, and clicks at the points the end-to-end driver uses.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "graphics/builtin_tex.h"
#include "graphics/oglp.h"
#include "runtime/hl_globals.h"
#include "shell/hl_mnw.h"
#include "support/gl_world.h"
#include "widgets/btn.h"
#include "wizard/app_hooks.h"
#include "wizard/main_engine.h"
#include "wizard/main_screens.h"
#include "wizard_fixture.h"

namespace {

constexpr int kW = 800, kH = 600;

// Scripted screens: each fills its record from its script every frame.
struct script {
	std::string title;
	screen_fn back = nullptr;
	screen_fn next = nullptr;
	float progress = -1.0f;
	std::string progress_text;
	int show_servers = 0;
	std::vector<std::string> choices;
	std::vector<screen_fn> targets;
	void (*cancel)() = nullptr;
	int calls = 0;
};
script g_a, g_b;

int fill(script& sc, wizard_screen& s)
{
	++sc.calls;
	s.title = sc.title;
	s.back_screen = sc.back;
	s.next_screen = sc.next;
	s.progress = sc.progress;
	s.progress_text = sc.progress_text;
	s.show_servers = sc.show_servers;
	s.choice_labels = sc.choices;
	s.choice_targets = sc.targets;
	s.on_cancel = sc.cancel;
	return 0;
}
int screen_a(int, wizard_screen& s) { return fill(g_a, s); }
int screen_b(int, wizard_screen& s) { return fill(g_b, s); }

int g_cancels = 0;
void count_cancel() { ++g_cancels; }
void no_swap() {}

struct rgb {
	int r, g, b;
};

using image = std::vector<unsigned char>;  // the whole target, RGBA, bottom row first

rgb at(const image& im, int x, int y)
{
	const unsigned char* p = &im[(size_t(y) * kW + size_t(x)) * 4];
	return {p[0], p[1], p[2]};
}

bool near(rgb a, rgb b, int tol)
{
	return std::abs(a.r - b.r) <= tol && std::abs(a.g - b.g) <= tol && std::abs(a.b - b.b) <= tol;
}

// The wizard background's pixel (x, y), as the built-in image holds it.
rgb background(int x, int y)
{
	const unsigned char* p = &g_tex_background[(size_t(y) * kW + size_t(x)) * 3];
	return {p[0], p[1], p[2]};
}

// What an image button of the elements atlas at (bx, by) should put at (x, y): its texel
// blended over the background at the given alpha.
rgb button_pixel(int bx, int by, int u, int v, float alpha, int x, int y)
{
	const unsigned char* t = &g_tex_elements[(size_t(v + y - by) * 1024 + size_t(u + x - bx)) * 4];
	const float a = alpha * float(t[3]) / 255.0f;
	const rgb bg = background(x, y);
	auto mix = [&](int under, int over) { return int(float(under) * (1 - a) + float(over) * a + 0.5f); };
	return {mix(bg.r, t[0]), mix(bg.g, t[1]), mix(bg.b, t[2])};
}

// Whether the rectangle holds the button image (row v, alpha) within tolerance; says
// where it does not.
::testing::AssertionResult shows_button(const image& im, int bx, int by, int u, int w, int v, float alpha)
{
	constexpr int kTol = 3;
	for (int y = by; y < by + 22; ++y)
		for (int x = bx; x < bx + w; ++x) {
			const rgb want = button_pixel(bx, by, u, v, alpha, x, y);
			const rgb got = at(im, x, y);
			if (!near(got, want, kTol))
				return ::testing::AssertionFailure() << "at (" << x << ", " << y << ") got " << got.r << "," << got.g
				                                     << "," << got.b << " want " << want.r << "," << want.g << ","
				                                     << want.b;
		}
	return ::testing::AssertionSuccess();
}

::testing::AssertionResult shows_background(const image& im, int x0, int y0, int w, int h)
{
	for (int y = y0; y < y0 + h; ++y)
		for (int x = x0; x < x0 + w; ++x)
			if (!near(at(im, x, y), background(x, y), 2))
				return ::testing::AssertionFailure() << "not the background at (" << x << ", " << y << ")";
	return ::testing::AssertionSuccess();
}

// Pixels of `a` in the rectangle that differ from `b`, where they stand.
struct placed {
	int x, y;
	rgb c;
};
std::vector<placed> changed(const image& a, const image& b, int x0, int y0, int w, int h)
{
	std::vector<placed> out;
	for (int y = y0; y < y0 + h; ++y)
		for (int x = x0; x < x0 + w; ++x)
			if (!near(at(a, x, y), at(b, x, y), 0)) out.push_back({x, y, at(a, x, y)});
	return out;
}

class WizardFrame : public ::testing::Test {
protected:
	std::unique_ptr<GlTestContext> world = open_gl_world(kW, kH);
	GlTestContext& gl = *world;
	ogl_swap_fn old_swap = OGL_set_swap_hook(no_swap);

	WizardFrame()
	{
		kx_wizard_test::reset_wizard_globals();
		g_a = g_b = script{};
		g_cancels = 0;
		wizard_reset_engine();
		g_wizard = screen_a;
		mnw.menu_state = -1;
		mnw.window_width = kW;
		mnw.window_height = kH;
		mnw.mouse_held = mnw.mouse_down = 0;
	}
	~WizardFrame() override
	{
		OGL_set_swap_hook(old_swap);
		kx_wizard_test::reset_wizard_globals();
		wizard_reset_engine();
		g_wizard = dvd_start;
	}

	// One frame with the mouse at (x, y); returns what was drawn, with `also` drawn over.
	image frame(float x = -1000, float y = -1000, bool down = false, bool held = false,
	            const std::function<void()>& also = {})
	{
		mnw.mouse_x = x;
		mnw.mouse_y = y;
		mnw.mouse_down = down;
		mnw.mouse_held = held || down;
		BTN_begin_focus_ring();
		APP_update();
		if (also) also();
		glFinish();
		mnw.mouse_down = mnw.mouse_held = 0;
		return gl.read_all();
	}
	void click(float x, float y) { frame(x, y, true); }
};

}  // namespace

TEST_F(WizardFrame, TheCurrentStepIsBlueTheOthersPlain)
{
	KX_REQUIRE_GL(gl);
	const std::vector<std::string> names = {"Welcome", "Install", "Finish"};
	// Each step's line as it looks written in one colour over the bare frame.
	auto written = [&](int i, int colour) {
		const std::string name = names[size_t(i)];
		const image im = frame(-1000, -1000, false, false, [&] {
			OGL_string(colour, 30, 480 - 20 * float(i), name, 180, charset_UI_diff_space, 0);
		});
		return changed(im, frame(), 20, 480 - 20 * i - 5, 180, 20);
	};
	const image bare = frame();
	step_names = names;
	step_funcs = {screen_b, screen_a, dvd_start};
	const image drawn = frame();
	auto line = [&](int i) { return changed(drawn, bare, 20, 480 - 20 * i - 5, 180, 20); };
	auto same = [](const std::vector<placed>& a, const std::vector<placed>& b) {
		return !a.empty() && a.size() == b.size() &&
		       std::equal(a.begin(), a.end(), b.begin(),
		                  [](placed p, placed q) { return p.x == q.x && p.y == q.y && near(p.c, q.c, 1); });
	};
	step_names.clear();
	EXPECT_TRUE(same(line(0), written(0, 45)));
	EXPECT_TRUE(same(line(1), written(1, 65)));
	EXPECT_FALSE(same(line(1), written(1, 45)));
	EXPECT_TRUE(same(line(2), written(2, 45)));
	// A screen outside the list lights no step.
	step_names = names;
	step_funcs = {screen_b, dvd_start, dvd_start};
	const image none = frame();
	step_names.clear();
	EXPECT_TRUE(same(changed(none, bare, 20, 480 - 20 - 5, 180, 20), written(1, 45)));
}

TEST_F(WizardFrame, ImageButtonsShowTheirAtlasRowsAndADisabledOneHalfAlphaAndInert)
{
	KX_REQUIRE_GL(gl);
	g_a.back = screen_b;
	g_a.next = screen_b;
	image im = frame();
	EXPECT_TRUE(shows_button(im, 30, 12, 1, 50, 46, 1.0f));
	EXPECT_TRUE(shows_button(im, 560, 12, 54, 89, 46, 1.0f));
	EXPECT_TRUE(shows_button(im, 670, 12, 150, 100, 46, 1.0f));
	// An enabled button lights up under the mouse and shows the press while held.
	EXPECT_TRUE(shows_button(frame(600, 20), 560, 12, 54, 89, 0, 1.0f));
	EXPECT_TRUE(shows_button(frame(600, 20, false, true), 560, 12, 54, 89, 23, 1.0f));

	g_a.back = nullptr;
	for (bool held : {false, true}) {
		EXPECT_TRUE(shows_button(frame(-1000, -1000, false, held), 560, 12, 54, 89, 46, 0.5f));
		EXPECT_TRUE(shows_button(frame(600, 20, false, held), 560, 12, 54, 89, 46, 0.5f)) << "held " << held;
	}
	click(604, 23);
	EXPECT_EQ(g_wizard, screen_a);
	g_a.next = nullptr;
	EXPECT_TRUE(shows_button(frame(720, 23), 670, 12, 150, 100, 46, 0.5f));
	click(720, 23);
	EXPECT_EQ(g_wizard, screen_a);
	EXPECT_EQ(app_done, 0);
}

TEST_F(WizardFrame, ContinueAsQuitTakesQuitsImageAndTheLeftQuitGoes)
{
	KX_REQUIRE_GL(gl);
	g_a.next = wizard_quit;
	g_a.cancel = count_cancel;
	const image im = frame();
	EXPECT_TRUE(shows_background(im, 30, 12, 50, 22));
	EXPECT_TRUE(shows_button(im, 670, 12, 1, 50, 46, 1.0f));
	EXPECT_TRUE(shows_background(im, 722, 12, 48, 22));  // where the wider Continue stood
	click(55, 23);  // the hidden Quit takes no click
	EXPECT_EQ(app_done, 0);
	click(695, 23);
	EXPECT_EQ(g_wizard, wizard_quit);
	frame();
	EXPECT_EQ(app_done, 1);
	EXPECT_EQ(g_cancels, 0);
}

TEST_F(WizardFrame, TheDriversPointsHitQuitGoBackContinueAndTheChoices)
{
	KX_REQUIRE_GL(gl);
	g_a.back = screen_b;
	g_a.choices = {"One", "Two", "Three"};
	g_a.targets = {screen_b, screen_b, screen_a};
	g_b.next = screen_a;
	g_b.cancel = count_cancel;
	click(500, 350 - 25 * 2);
	EXPECT_EQ(g_wizard, screen_a);
	click(500, 350 - 25 * 1);
	EXPECT_EQ(g_wizard, screen_b);
	click(720, 23);
	EXPECT_EQ(g_wizard, screen_a);
	click(604, 23);
	EXPECT_EQ(g_wizard, screen_b);
	click(55, 23);
	EXPECT_EQ(g_cancels, 1);
	EXPECT_EQ(app_done, 1);
}

TEST_F(WizardFrame, TheWindowsCloseButtonIsTheScreensQuit)
{
	KX_REQUIRE_GL(gl);
	g_a.cancel = count_cancel;
	g_a.next = wizard_quit;
	quit_requested = 1;
	frame();  // Continue is Quit here: it leads to the quitting screen
	EXPECT_EQ(g_wizard, wizard_quit);
	EXPECT_EQ(g_cancels, 0);
	g_wizard = screen_a;
	g_a.next = screen_b;
	frame();
	quit_requested = 0;
	EXPECT_EQ(g_cancels, 1);
	EXPECT_EQ(app_done, 1);
	EXPECT_EQ(g_wizard, screen_a);
}

TEST_F(WizardFrame, TheProgressFillEndsAtItsWidthFromTheLeftEdge)
{
	KX_REQUIRE_GL(gl);
	const image none = frame();
	// The outline alone, as the bar's trough style draws it across x 240..760.
	const image trough = frame(-1000, -1000, false, false, [] { BTN_frame1(4, 500, 155, 520, 0); });
	constexpr int kRow = 155;  // through the bar's middle
	for (float p : {0.0f, 0.5f, 0.8f, 1.0f, 1.5f}) {
		g_a.progress = p;
		const image bar = frame();
		const int end = int(240 + wizard_progress_width(p));
		// The fill from the left edge up to its end, the trough after it.
		EXPECT_EQ(changed(bar, trough, 242, kRow, end - 2 - 242, 1).size(), size_t(end - 2 - 242)) << p;
		if (end < 758) {
			EXPECT_TRUE(changed(bar, trough, end + 2, kRow, 758 - end - 2, 1).empty()) << p;
		}
		EXPECT_TRUE(changed(bar, none, 100, 100, 130, 100).empty());  // nothing left of the bar
	}
	// The line under the bar; neither without a bar.
	g_a.progress_text = "Installing: Kestrix";
	EXPECT_FALSE(changed(frame(), trough, 242, 115, 200, 15).empty());
	g_a.progress = -1.0f;
	EXPECT_TRUE(changed(frame(), none, 0, 0, kW, kH).empty());
}

TEST_F(WizardFrame, ThreeServersRadiosStandFortyApartFromTheTop)
{
	KX_REQUIRE_GL(gl);
	g_a.show_servers = 1;
	stg.server_count = 3;
	stg.server_index = 0;
	server_desc[0] = "|First server{?help";
	server_desc[1] = "|Second server";
	server_desc[2] = "Third|Third server";
	const image with = [&] {
		g_a.show_servers = 0;
		return frame();
	}();
	g_a.show_servers = 1;
	const image radios = frame();
	// Rows of the radios' column that changed: three runs of 18, centred 3 above each y.
	std::vector<int> rows;
	for (int y = 0; y < kH; ++y)
		if (!changed(radios, with, 21, y, 18, 1).empty()) rows.push_back(y);
	std::vector<std::pair<int, int>> runs;
	for (int y : rows)
		if (runs.empty() || y != runs.back().second + 1)
			runs.push_back({y, y});
		else
			runs.back().second = y;
	ASSERT_EQ(runs.size(), 3u);
	const int want[] = {158, 118, 78};
	for (size_t i = 0; i < 3; ++i) EXPECT_NEAR((runs[i].first + runs[i].second + 1) / 2.0, want[2 - i] + 3, 1);
	// The middle part of each description stands beside its radio.
	EXPECT_FALSE(changed(radios, with, 50, 118, 120, 14).empty());
	click(30, 118);
	EXPECT_EQ(stg.server_index, 1);
	// Without a server list read, nothing is drawn.
	stg.server_count = -1;
	EXPECT_TRUE(changed(frame(), with, 21, 60, 150, 120).empty());
}

TEST_F(WizardFrame, NoScreenEndsTheProgramAfterTheBackgroundAndPanels)
{
	KX_REQUIRE_GL(gl);
	g_wizard = nullptr;
	const image im = frame();
	EXPECT_EQ(app_done, 1);
	EXPECT_TRUE(shows_background(im, 30, 12, 50, 22));
	EXPECT_FALSE(near(at(im, 15, 300), background(15, 300), 2));  // the step panel
}
