// Wizard screens' frame time on a headless context (Mesa's software renderer), against
// the 16 ms of a 60 Hz frame:
//   map:    the world map with every tile available (648 tile quads over the base map)
//           and the disk-space block, as Select Scenery draws them each frame;
//   drag:   the same while a drag is held across the map (every tile rewritten and
//           the totals recomputed each frame) over a file model of one file per tile;
//   run:    a whole wizard frame of a busy run screen (background, panels, step list,
//           title, text, progress bar and its file line, the three image buttons).
// Every frame ends with glFinish, so the renderer's work is counted. Prints medians.
#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "runtime/hl_globals.h"
#include "support/gl_world.h"
#include "widgets/btn.h"
#include "wizard/app_hooks.h"
#include "wizard/main_engine.h"
#include "wizard/main_map.h"
#include "wizard/main_screens.h"

namespace {

constexpr int kFrames = 200, kWarmup = 20;
constexpr double kGoalMs = 16.0;

double now_ms()
{
	using namespace std::chrono;
	return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

template <class F>
double median_frame_ms(F draw)
{
	std::vector<double> t;
	for (int i = 0; i < kWarmup + kFrames; ++i) {
		const double a = now_ms();
		glClear(GL_COLOR_BUFFER_BIT);
		draw(i);
		glFinish();
		if (i >= kWarmup) t.push_back(now_ms() - a);
	}
	std::sort(t.begin(), t.end());
	return t[t.size() / 2];
}

// What a run screen fills in on a busy frame, without the engine's step (which draws
// nothing): the drawing of the frame is what is measured.
int busy_run_screen(int, wizard_screen& s)
{
	s.title = "Installing Kestrix";
	s.text = "I am installing Kestrix in " + dest_dir_path + ".";
	s.back_screen = dvd_scenery_install;
	s.progress = 0.4f;
	s.progress_text = "Installing: " + sim_info[sim_info.size() / 2].back().path;
	return 0;
}

void report(const char* what, double ms)
{
	std::printf("%-6s %7.2f ms a frame (goal %.0f ms)%s\n", what, ms, kGoalMs, ms > kGoalMs ? "  OVER" : "");
}
}  // namespace

int main()
{
	auto gl = open_gl_world(800, 600);
	if (!gl->ok()) {
		std::printf("no headless OpenGL: %s\n", gl->why().c_str());
		return 0;
	}
	stg.target_os = 3;
	set_install_filter(1, 1);
	for (int c = 0; c < stg_lon_bands; ++c)
		for (int r = 0; r < stg_lat_bands; ++r) {
			file_version_struct v;
			v.sig = "0123456789abcdef0123456789abcdef";
			v.sig_have = "NONE";
			v.path = "All/Global Scenery/tile_" + std::to_string(c) + "_" + std::to_string(r) + ".dsf";
			v.is_global = 1;
			v.lat_band = r;
			v.lon_band = c;
			v.size_kb = v.zip_kb = 1000;
			sim_info.push_back({v});
			stg.scenery_available[stg_tile(r, c)] = 1;
			stg.scenery_selected[stg_tile(r, c)] = 1;
		}
	dest_dir_path = "/";
	recalc_disk_sizes();
	const std::string enough = "You have enough free disk space.", shortage = "You do not have enough.";
	mnw.mouse_x = mnw.mouse_y = -1000;
	report("map", median_frame_ms([&](int) {
		       UTIL_world_map();
		       UTIL_disk_space(enough, shortage);
	       }));
	report("drag", median_frame_ms([&](int i) {
		       mnw.mouse_down = i == 0;
		       mnw.mouse_held = 1;
		       mnw.mouse_x = 250.0f + float(i % 500);
		       mnw.mouse_y = 160.0f + float(i % 240);
		       UTIL_world_map();
		       UTIL_disk_space(enough, shortage);
	       }));
	mnw.mouse_held = mnw.mouse_down = 0;
	mnw.mouse_x = mnw.mouse_y = -1000;
	mnw.menu_state = -1;
	dvd_set_install_steps();
	g_wizard = busy_run_screen;
	report("run", median_frame_ms([&](int) {
		       BTN_begin_focus_ring();
		       APP_update();
	       }));
	return 0;
}
