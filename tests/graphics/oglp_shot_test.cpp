// Screenshots and the tiled background picture, in a headless context.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "gl_fixture.h"
#include "runtime/hl_alert.h"
#include "runtime/io_utils.h"
#include "support/test_env.h"

namespace {

// Works inside a private folder for the test's lifetime.
class InFolder {
public:
	explicit InFolder(const std::string& dir)
	{
		char buf[PATH_MAX];
		old_ = getcwd(buf, sizeof(buf)) ? buf : "/";
		EXPECT_EQ(chdir(dir.c_str()), 0);
	}
	~InFolder() { EXPECT_EQ(chdir(old_.c_str()), 0); }

private:
	std::string old_;
};

// Fills the target with random opaque pixels and returns them (RGB, bottom row first).
std::vector<unsigned char> draw_noise(int w, int h, unsigned seed)
{
	std::mt19937 rng(seed);
	std::vector<unsigned char> rgba(size_t(w) * h * 4);
	for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = (i % 4 == 3) ? 255 : static_cast<unsigned char>(rng());
	glMatrixMode(GL_PROJECTION);
	glLoadIdentity();
	glOrtho(0, w, 0, h, -1, 1);
	glMatrixMode(GL_MODELVIEW);
	glLoadIdentity();
	glDisable(GL_BLEND);
	glDisable(GL_ALPHA_TEST);
	glDisable(GL_TEXTURE_2D);
	glRasterPos2i(0, 0);
	glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
	glDrawPixels(w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
	std::vector<unsigned char> rgb;
	rgb.reserve(size_t(w) * h * 3);
	for (size_t i = 0; i < rgba.size(); ++i)
		if (i % 4 != 3) rgb.push_back(rgba[i]);
	return rgb;
}

class GlShot : public GlDraw {
protected:
	void SetUp() override { point_scratch_at_storage(); }
	void TearDown() override
	{
		back_dx = saved_dx;
		back_dy = saved_dy;
		back_tex_path = saved_path;
		GlDraw::TearDown();
	}
	kx_test::TempEnv env;

private:
	int saved_dx = back_dx, saved_dy = back_dy;
	std::string saved_path = back_tex_path;
};

// A picture of 2048 x 2048 whose 512-pixel tiles each have one colour.
rgba8 tile_colour(int r, int c) { return {10 + 60 * r, 10 + 60 * c, 200, 255}; }

}  // namespace

TEST_F(GlShot, NextFreeNumberAndAnOddWidthRoundTrip)
{
	KX_OPEN_GL(1366, 96);
	const std::vector<unsigned char> drawn = draw_noise(1366, 96, 1);
	InFolder here(env.root());
	ASSERT_TRUE(kx_test::write_file(env.path("screenshot_0.png"), "taken"));
	ASSERT_TRUE(kx_test::write_file(env.path("screenshot_1.png"), "taken"));
	// Whatever packing the caller left behind, rows of 1366 x 3 bytes are not padded.
	glPixelStorei(GL_PACK_ALIGNMENT, 4);
	OGL_screenshot(1);
	EXPECT_EQ(kx_test::read_file(env.path("screenshot_0.png")), "taken");
	EXPECT_EQ(kx_test::read_file(env.path("screenshot_1.png")), "taken");
	int w = 0, h = 0;
	std::vector<unsigned char> back;
	ASSERT_TRUE(read_test_png(env.path("screenshot_2.png"), 3, w, h, back));
	EXPECT_EQ(w, 1366);
	EXPECT_EQ(h, 96);
	EXPECT_TRUE(back == drawn) << "screenshot differs from the framebuffer";
	EXPECT_FALSE(file_exists(env.path("screenshot_3.png")));
}

TEST_F(GlShot, WideWindowGivesTheMiddleColumns)
{
	KX_OPEN_GL(3000, 40);
	const std::vector<unsigned char> drawn = draw_noise(3000, 40, 2);
	OGL_screenshot(0);
	const int x0 = (3000 - 2048) / 2;
	for (int y = 0; y < 40; ++y)
		ASSERT_EQ(0, std::memcmp(scratch_array + size_t(y) * 2048 * 3, &drawn[(size_t(y) * 3000 + x0) * 3], 2048 * 3))
			<< "row " << y;
}

TEST_F(GlShot, FullPictureBeforeTheFirstWindowMeetsTheRightEdge)
{
	KX_OPEN_GL(1024, 768, -1);
	std::vector<unsigned char> pic(size_t(2048) * 2048 * 4);
	for (int y = 0; y < 2048; ++y)
		for (int x = 0; x < 2048; ++x) {
			const rgba8 c = tile_colour(y / 512, x / 512);
			unsigned char* p = &pic[(size_t(y) * 2048 + x) * 4];
			p[0] = c.r;
			p[1] = c.g;
			p[2] = c.b;
			p[3] = 255;
		}
	back_tex_path = env.path("intro.png");
	ASSERT_TRUE(write_test_png(back_tex_path, 2048, 2048, 4, pic.data()));
	colr.assign(34, 1, 0, 0);
	OGL_make_back_tex();
	EXPECT_EQ(back_dx, 2048);
	EXPECT_EQ(back_dy, 2048);
	OGL_plot_back_tex();
	// Drawn over x -1024..1024 and y -768..1280: the window shows picture x 1024..2047
	// (tile columns 2 and 3) and picture y 768..1535 (tile rows 1 and 2).
	EXPECT_TRUE(gl_rect_is(*gl, 0, 0, 1, 1, tile_colour(1, 2)));
	EXPECT_TRUE(gl_rect_is(*gl, 1023, 0, 1, 1, tile_colour(1, 3)));
	EXPECT_TRUE(gl_rect_is(*gl, 0, 767, 1, 1, tile_colour(2, 2)));
	EXPECT_TRUE(gl_rect_is(*gl, 1023, 767, 1, 1, tile_colour(2, 3)));
	EXPECT_TRUE(gl_rect_is(*gl, 0, 0, 512, 256, tile_colour(1, 2)));
	EXPECT_TRUE(gl_rect_is(*gl, 512, 256, 512, 512, tile_colour(2, 3)));
}

TEST_F(GlShot, SmallerPictureIsDrawnPixelForPixel)
{
	constexpr int pw = 600, ph = 400;
	std::vector<unsigned char> pic(size_t(pw) * ph * 4);
	for (int y = 0; y < ph; ++y)
		for (int x = 0; x < pw; ++x) {
			unsigned char* p = &pic[(size_t(y) * pw + x) * 4];
			p[0] = static_cast<unsigned char>(x);
			p[1] = static_cast<unsigned char>(y);
			p[2] = static_cast<unsigned char>(40 * (x / 256) + 80 * (y / 256) + 1);
			p[3] = 255;
		}
	for (int window : {0, -1}) {
		KX_OPEN_GL(1024, 768, window);
		back_tex_path = env.path("small.png");
		ASSERT_TRUE(write_test_png(back_tex_path, pw, ph, 4, pic.data()));
		colr.assign(34, 0, 0, 1);
		mnw.current_window = -1;  // the picture loads only before the first window
		OGL_make_back_tex();
		mnw.current_window = window;
		EXPECT_EQ(back_dx, pw);
		EXPECT_EQ(back_dy, ph);
		OGL_plot_back_tex();
		// Window 0 puts the picture at the lower left; before the first window it meets
		// the top, with the rest of the window in the background colour.
		const int y0 = window == 0 ? 0 : 768 - ph;
		EXPECT_TRUE(gl_rect_equals(*gl, 0, y0, pw, ph, pic)) << "window " << window;
		if (window == -1) {
			EXPECT_TRUE(gl_rect_is(*gl, 700, 100, 300, 600, {0, 0, 255, -1}));
			EXPECT_TRUE(gl_rect_is(*gl, 0, 0, 600, y0, {0, 0, 255, -1}));
		} else {
			EXPECT_TRUE(gl_rect_is(*gl, 700, 100, 300, 600, black_px));
		}
		gl.reset();
	}
}

TEST_F(GlShot, NothingIsLoadedOnceAWindowIsCurrent)
{
	mnw.current_window = 2;
	back_dx = 5;
	back_dy = 7;
	back_tex_path = env.path("absent.png");
	kx_test::AlertRecorder alerts;
	OGL_make_back_tex();
	EXPECT_EQ(back_dx, 5);
	EXPECT_EQ(back_dy, 7);
	EXPECT_TRUE(alerts.alerts().empty());
}

TEST_F(GlShot, TooLargeOrMissingPictureIsTheFatalAlert)
{
	mnw.current_window = -1;
	back_dx = 5;
	const std::vector<unsigned char> row(size_t(2049) * 2 * 4, 200);
	const std::string wide = env.path("wide.png");
	ASSERT_TRUE(write_test_png(wide, 2049, 2, 4, row.data()));
	for (const std::string& path : {wide, env.path("absent.png")}) {
		back_tex_path = path;
		kx_test::AlertRecorder alerts;
		EXPECT_THROW(OGL_make_back_tex(), kx_test::AlertExit);
		ASSERT_EQ(alerts.alerts().size(), 1u);
		const kx_test::RecordedAlert a = alerts.alerts()[0];
		EXPECT_EQ(a.line1, "Trying to load a texture that you do not have!");
		EXPECT_EQ(a.line2, "This smacks of a mis-installed copy of Kestrix!");
		EXPECT_EQ(a.line3.rfind("Get a new download from ", 0), 0u) << a.line3;
		EXPECT_NE(a.line3.find(". The missing file is:"), std::string::npos) << a.line3;
		EXPECT_EQ(a.line4, path);
		EXPECT_EQ(a.type, t_exit);
		EXPECT_EQ(a.line, 991);
		EXPECT_EQ(back_dx, 5);
	}
}
