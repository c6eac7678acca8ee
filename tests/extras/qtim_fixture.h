#pragma once
// The recorder's test world: a private folder as the base folder, the log inside it,
// the thread layer running, alerts recorded, the recording stand-ins reset; and, at the
// end, the compression thread stopped and the module's records given back.
#include <gtest/gtest.h>

#include <string>

#include "extras/qtim.h"
#include "extras_doubles.h"
#include "runtime/hl_exception.h"
#include "runtime/hl_globals.h"
#include "runtime/rec_glext.h"
#include "runtime/xtim.h"
#include "support/test_env.h"

class MovieWorld : public ::testing::Test {
protected:
	void SetUp() override
	{
		xer.open(env.path("log.txt"));
		THREAD_init();
		kx_doubles::reset();
		app_path = env.root();
		mnw.res_x = 320;
		mnw.res_y = 240;
		mnw.pixel_format_level = 0;
		mnw.dialog_x = mnw.dialog_y = 0.0f;
		glExt.pbo_avail = 0;
		xtim.sim_time = 0.0f;
		movie_take = 0;
		qtim.width = 320;
		qtim.fps = 20.0f;
		qtim.state = 0;
		qtim.frame_count = 0;
		qtim.qt_usable = 1;
	}
	void TearDown() override
	{
		qtim.stop_thread();
		for (movie_frame_buf* b : usable_buffers) {
			delete[] b->block;
			delete b;
		}
		usable_buffers.clear();
		if (THREAD_is_inited()) THREAD_shutdown();
		xer.close();
		app_path.clear();
		app_done = 0;
	}
	std::string take(int n) const { return env.path("Kestrix movie take-" + std::to_string(n) + ".mov"); }
	std::string log()
	{
		xer.flush();
		return kx_test::read_file(env.path("log.txt"));
	}

	kx_test::TempEnv env;
	kx_test::AlertRecorder alerts;
};
