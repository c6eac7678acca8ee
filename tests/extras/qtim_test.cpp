// The movie recorder: frame timing, the start's refusals and mends, and the whole road
// of a recording on a headless GL context, read back as a movie.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include "extras/qtim_writer.h"
#include "graphics/ogl_draw.h"
#include "graphics/tman.h"
#include "movie_reader.h"
#include "qtim_fixture.h"
#include "support/gl_test_context.h"

namespace {

TEST(MovieTiming, FramesStandForWholePeriodsOrTheirWholeGap)
{
	// At 20 fps: a little late is one period, a long gap keeps its length, early is none.
	EXPECT_FLOAT_EQ(mov_frame_dt(0.06f, 20.0f), 0.05f);
	EXPECT_FLOAT_EQ(mov_frame_dt(0.2f, 20.0f), 0.2f);
	EXPECT_EQ(mov_frame_dt(0.04f, 20.0f), 0.0f);
	EXPECT_FLOAT_EQ(mov_frame_dt(0.05f, 20.0f), 0.05f);
	// Samples are cut to 1..60 units of 1/600 s.
	EXPECT_EQ(mov_sample_units(0.05f), 30);
	EXPECT_EQ(mov_sample_units(0.2f), 60);
	EXPECT_EQ(mov_sample_units(0.001f), 1);
}

using MovieRecorder = MovieWorld;

TEST_F(MovieRecorder, WithoutTheCodecsNothingHappens)
{
	qtim.qt_usable = 0;
	qtim.mov_toggle(1);
	EXPECT_EQ(qtim.state, 0);
	EXPECT_EQ(qtim.mov_per_frame(), 0);
	EXPECT_EQ(kx_doubles::rec.tex_loads, 0);
	EXPECT_EQ(qt_thread_made, 0);
}

TEST_F(MovieRecorder, StopRequestWhileIdleStartsNothing)
{
	qtim.mov_toggle(0);
	EXPECT_EQ(qtim.state, 0);
	EXPECT_EQ(qt_array, nullptr);
	EXPECT_EQ(kx_doubles::rec.tex_loads, 0);
}

TEST_F(MovieRecorder, WindowOverTheLimitIsRefusedAndLeavesNoTrace)
{
	mnw.res_x = 2049;
	mnw.res_y = 600;
	qtim.mov_toggle(1);
	EXPECT_EQ(qtim.state, 0);
	EXPECT_EQ(qt_array, nullptr);
	EXPECT_EQ(kx_test::read_file(take(1)), "");
	auto a = alerts.alerts();
	ASSERT_EQ(a.size(), 1u);
	EXPECT_EQ(a[0].type, 1);
	EXPECT_EQ(a[0].line1, "Oops!");
	EXPECT_EQ(a[0].line2, "You can NOT record movies in Kestrix at any Kestrix resolution higher that 2048 x 2048!");
	EXPECT_EQ(a[0].line3, "This limit is to keep the VRAM requirements of Kestrix down.");
	EXPECT_EQ(a[0].line4, "");
	// The scratch texture the toggle loaded goes with it.
	ASSERT_GT(tman.ref_dat.size(), std::size_t(t_movie));
	EXPECT_EQ(tman.ref_dat[t_movie].gl_format, 0u);
	// The frames that follow find nothing to do.
	xtim.sim_time = 1.0f;
	EXPECT_EQ(qtim.mov_per_frame(), 0);
}

TEST_F(MovieRecorder, SecondMovieWhileOneIsOpenIsRefusedAndUndone)
{
	qt_movie_file other;
	gCurrentMovie = &other;
	qtim.mov_toggle(1);
	gCurrentMovie = nullptr;
	EXPECT_EQ(qtim.state, 0);
	EXPECT_EQ(qt_array, nullptr);
	auto a = alerts.alerts();
	ASSERT_EQ(a.size(), 1u);
	EXPECT_EQ(a[0].line1, "Trying to create a movie but one already exists");
	EXPECT_EQ(a[0].line2, take(1));
}

TEST_F(MovieRecorder, WidthIsClampedToTheWindow)
{
	mnw.res_x = 200;
	mnw.res_y = 100;
	qtim.width = 320;
	qtim.state = 2;
	mov_startrecord();
	EXPECT_EQ(qtim.width, 200);
	EXPECT_EQ(qtim.height, 100);
	ASSERT_FALSE(usable_buffers.empty());
	EXPECT_EQ(usable_buffers.front()->size, 200 * 100 * 4);
	mov_stoprecord();
}

TEST_F(MovieRecorder, SettingsWindowStopsARecordingAndDrawsItsFields)
{
	// A run without a file, after a recording of three frames.
	qtim.frame_count = 3;
	qtim.mov_toggle(2);
	ASSERT_EQ(qtim.state, 2);
	qtim.qtim_wind();
	EXPECT_EQ(qtim.state, 0);
	const std::vector<std::string> want = {"BTN_fillwin 1 21", "BTN_subwin 15 296", "BTN_flt_range 150 415 2",
	                                       "BTN_int_range 130 365 4"};
	EXPECT_EQ(kx_doubles::rec.widgets, want);
	// One text line when the codecs exist, then the five that always stand: each text
	// call binds the interface font once (its texts are empty in this program).
	EXPECT_EQ(kx_doubles::rec.text_binds, 6);
}

// The end of a take, step by step: the first step that fails is told by its own name,
// and the recorder is left idle with nothing of the take kept.
class MovieFinish : public MovieWorld {
protected:
	// A movie as the start leaves it, its media begun when `begin` is set.
	qt_movie_file* take_on(const std::string& path, bool begin)
	{
		auto* m = new qt_movie_file;
		EXPECT_EQ(m->create(path), 0);
		if (begin) {
			EXPECT_EQ(m->begin_media(16, 16), 0);
		}
		return m;
	}
	static long long file_size(const std::string& path)
	{
		struct stat st {};
		return stat(path.c_str(), &st) == 0 ? st.st_size : -1;
	}
	// Stops the take and returns the one alert it raised.
	kx_test::RecordedAlert stop(qt_movie_file* m)
	{
		gCurrentMovie = m;
		qtim.state = 1;
		EXPECT_THROW(mov_stoprecord(), kx_test::AlertExit);
		EXPECT_EQ(gCurrentMovie, nullptr);
		EXPECT_EQ(qtim.state, 0);
		auto a = alerts.alerts();
		EXPECT_EQ(a.size(), 1u);
		return a.empty() ? kx_test::RecordedAlert{} : a[0];
	}
	// Stops the take while no file may grow past the size the movie has on disk now. The
	// log stays shut meanwhile, so that only the movie meets the limit.
	kx_test::RecordedAlert stop_on_a_full_disk(qt_movie_file* m, const std::string& path)
	{
		const long long size = file_size(path);
		EXPECT_GT(size, 0);
		xer.close();
		rlimit old {};
		EXPECT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
		rlimit full = old;
		full.rlim_cur = rlim_t(size);
		void (*old_signal)(int) = std::signal(SIGXFSZ, SIG_IGN);
		EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
		const kx_test::RecordedAlert a = stop(m);
		setrlimit(RLIMIT_FSIZE, &old);
		std::signal(SIGXFSZ, old_signal);
		return a;
	}
	static void expect_told(const kx_test::RecordedAlert& a, const char* line1, const char* line3)
	{
		EXPECT_EQ(a.type, 2);
		EXPECT_EQ(a.line1, line1);
		EXPECT_EQ(a.line2, "");
		EXPECT_EQ(a.line3, line3);
		EXPECT_EQ(a.line4.substr(0, 1), "-");  // the FFmpeg error, signed
	}
};

TEST_F(MovieFinish, SamplesThatCannotReachTheDiskEndTheMedia)
{
	const std::string path = env.path("samples.mov");
	qt_movie_file* m = take_on(path, true);
	ASSERT_EQ(m->begin_compress(16, 16), 0);
	ASSERT_EQ(m->make_compress_buffer(16, 16), 0);
	const std::vector<unsigned char> grey(16 * 16 * 4, 128);
	ASSERT_EQ(m->compress_frame(grey.data()), 0);
	const long long before = file_size(path);
	ASSERT_EQ(m->add_sample(30), 0);
	ASSERT_EQ(file_size(path), before) << "the sample went out at once";
	expect_told(stop_on_a_full_disk(m, path), "Could not EndMediaEdits.", "(EndMediaEdits failed.)");
}

TEST_F(MovieFinish, ATrackWithoutMediaCannotTakeIt)
{
	expect_told(stop(take_on(env.path("no media.mov"), false)), "Could not InsertMediaIntoTrack.",
	            "(InsertMediaIntoTrack failed.)");
}

TEST_F(MovieFinish, AnIndexThatCannotBeWrittenIsTheMovieResource)
{
	const std::string path = env.path("index.mov");
	qt_movie_file* m = take_on(path, true);
	ASSERT_EQ(m->end_media(), 0);
	expect_told(stop_on_a_full_disk(m, path), "Could not AddMovieResource.", "(AddMovieResource failed.)");
}

// The road of a recording: the window red, then blue from the third frame, one swap
// per frame, the frames read back through the scratch texture.
class MovieOnGl : public MovieWorld, public ::testing::WithParamInterface<bool> {};

TEST_P(MovieOnGl, RecordsTheWindowIntoAMovie)
{
	GlTestContext gl(400, 300);
	KX_REQUIRE_GL(gl);
	kx_doubles::rec.gl_live = true;
	glExt.pbo_avail = GetParam() ? 1 : 0;
	mnw.res_x = 400;
	mnw.res_y = 300;
	glMatrixMode(GL_PROJECTION);
	glLoadIdentity();
	glOrtho(0, 400, 0, 300, -1, 1);
	glMatrixMode(GL_MODELVIEW);
	glLoadIdentity();

	glClearColor(1, 0, 0, 1);
	glClear(GL_COLOR_BUFFER_BIT);
	qtim.mov_toggle(1);
	ASSERT_EQ(qtim.state, 1);
	EXPECT_EQ(qtim.height, 240);
	EXPECT_EQ(pbo_id != 0, GetParam());

	const int max_frames = 400;
	int frame = 0;
	for (; frame < max_frames && qtim.frame_count < 3; ++frame) {
		if (frame >= 2) glClearColor(0, 0, 1, 1);
		glClear(GL_COLOR_BUFFER_BIT);
		xtim.sim_time += 0.05f;
		const int swaps = kx_doubles::rec.swaps;
		if (qtim.mov_per_frame() == 0) OGL_sbuff();
		ASSERT_EQ(kx_doubles::rec.swaps - swaps, 1) << "frame " << frame;
		if (frame > 3) UTL_sleep(10);
	}
	ASSERT_LT(frame, max_frames);
	// The recording label was drawn.
	EXPECT_GT(kx_doubles::rec.text_binds, 0);
	qtim.mov_toggle(0);
	EXPECT_EQ(qtim.state, 0);
	EXPECT_EQ(pbo_id, 0u);
	EXPECT_TRUE(alerts.alerts().empty());

	movie_info m = read_movie(take(1));
	ASSERT_TRUE(m.opened);
	EXPECT_EQ(m.width, 320);
	EXPECT_EQ(m.height, 240);
	ASSERT_GE(m.samples.size(), 3u);
	EXPECT_TRUE(m.is_red(0));
	bool blue_later = false;
	for (size_t i = 1; i < m.samples.size(); ++i) blue_later = blue_later || m.is_blue(i);
	EXPECT_TRUE(blue_later);
	for (const movie_sample& s : m.samples) EXPECT_EQ(s.duration % 30, 0);
}

INSTANTIATE_TEST_SUITE_P(PixelPackBuffer, MovieOnGl, ::testing::Bool());

}  // namespace
