// The movie recorder the installer carries, behind the real frame loop: the start-up's
// hooks offer it every frame, and a frame it takes is swapped by it alone. Drawn in a
// headless context over a scripted window.
#include <gtest/gtest.h>

#include <chrono>
#include <list>
#include <thread>

#include "extras/qtim.h"
#include "runtime/hl_exception.h"
#include "runtime/hl_globals.h"
#include "runtime/rec_glext.h"
#include "runtime/xtim.h"
#include "shell/hl_mnw.h"
#include "support/gl_world.h"
#include "support/scripted_window.h"
#include "support/test_env.h"
#include "wizard/app_hooks.h"
#include "wizard/main_globals.h"

using kx_test::ScriptedWindow;

namespace {

constexpr int kW = 800, kH = 600;
constexpr int kFrameBudget = 400;
constexpr int kIdleFrames = 10;
constexpr auto kRecordingTime = std::chrono::seconds(20);
// The recorder takes a frame a period (1/20 s) of simulation time after the last.
constexpr float kSimStep = 0.05f;
constexpr int kFramesToStop = 3;

// What the product's start-up installed, and how often the frame loop offered it a frame.
frame_recorder_fn g_installed = nullptr;
int g_offers = 0;
int counted_offer()
{
	++g_offers;
	return g_installed ? g_installed() : 0;
}

int blank_screen(int, wizard_screen&) { return 0; }

class FrameRecorder : public ::testing::Test {
protected:
	kx_test::TempEnv env;
	kx_test::AlertRecorder alerts;
	std::unique_ptr<GlTestContext> world = open_gl_world(kW, kH);
	ScriptedWindow win{kW, kH, kFrameBudget};
	ogl_swap_fn old_swap = nullptr;
	frame_recorder_fn old_recorder = nullptr;
	screen_fn old_screen = g_wizard;

	void SetUp() override
	{
		if (!world->ok()) GTEST_SKIP() << "no headless OpenGL: " << world->why();
		xer.open(env.path("log.txt"));
		THREAD_init();
		app_path = env.root();
		mnw.x_res_now = kW;
		mnw.y_res_now = kH;
		mnw.ui_scale = 1.0f;
		mnw.menu_state = -1;
		glExt.pbo_avail = 0;
		xtim.sim_time = 0;
		g_wizard = blank_screen;
		old_swap = OGL_set_swap_hook([] { plat_window().swap(); });
		DIDIVI_reset_frame_loop();
		DIDIVI_startwind(wind_main, 0);
		// The installer's start-up, then a count of what the frame loop offers.
		old_recorder = DIDIVI_set_frame_recorder(nullptr);
		install_frame_recorder();
		g_installed = DIDIVI_set_frame_recorder(counted_offer);
		g_offers = 0;
	}
	void TearDown() override
	{
		if (!world->ok()) return;
		qtim.stop_thread();
		for (movie_frame_buf* b : usable_buffers) {
			delete[] b->block;
			delete b;
		}
		usable_buffers.clear();
		DIDIVI_set_frame_recorder(old_recorder);
		OGL_set_swap_hook(old_swap);
		g_wizard = old_screen;
		app_done = 0;
		if (THREAD_is_inited()) THREAD_shutdown();
		xer.close();
		app_path.clear();
	}
	// Runs one frame of the loop; returns how many swaps it made.
	int frame()
	{
		const int before = win.frame();
		DIDIVI_event_proc();
		return win.frame() - before;
	}
};

}  // namespace

TEST_F(FrameRecorder, StartUpOffersEveryFrameAndAnIdleRecorderLeavesTheSwap)
{
	ASSERT_NE(g_installed, nullptr);
	for (int n = 1; n <= kIdleFrames; ++n) {
		ASSERT_EQ(frame(), 1) << "frame " << n;
		EXPECT_EQ(g_offers, n);
	}
	EXPECT_EQ(qtim.state, 0);
	EXPECT_TRUE(alerts.alerts().empty());
}

TEST_F(FrameRecorder, ARecordingTakesTheLoopsFramesAndSwapsThemItself)
{
	ASSERT_EQ(qtim.qt_usable, 1);
	qtim.mov_toggle(1);
	ASSERT_EQ(qtim.state, 1);
	const auto until = std::chrono::steady_clock::now() + kRecordingTime;
	int frames = 0;
	while (qtim.frame_count < kFramesToStop && std::chrono::steady_clock::now() < until) {
		xtim.sim_time += kSimStep;
		ASSERT_EQ(frame(), 1) << "frame " << frames;
		++frames;
		EXPECT_EQ(g_offers, frames);
		std::this_thread::sleep_for(std::chrono::milliseconds(5));
	}
	ASSERT_GE(qtim.frame_count, kFramesToStop);
	qtim.mov_toggle(0);
	EXPECT_EQ(qtim.state, 0);
	EXPECT_NE(kx_test::read_file(env.path("Kestrix movie take-1.mov")).find("moov"), std::string::npos);
	EXPECT_TRUE(alerts.alerts().empty());
}
