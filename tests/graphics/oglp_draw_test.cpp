// The state switch, colour rule and 2-D primitives, read back from a headless context.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <set>
#include <utility>

#include "gl_fixture.h"
#include "graphics/xcam.h"
#include "runtime/rec_glext.h"

namespace {

bool unit_enabled(int k)
{
	glActiveTexture(GL_TEXTURE0 + k);
	const bool on = glIsEnabled(GL_TEXTURE_2D);
	glActiveTexture(GL_TEXTURE0);
	return on;
}

// The lit pixels (any channel above 0) of a rectangle.
std::set<std::pair<int, int>> lit_pixels(int x0, int y0, int w, int h)
{
	const std::vector<unsigned char> px = gl_read_rect(x0, y0, w, h);
	std::set<std::pair<int, int>> lit;
	for (int j = 0; j < h; ++j)
		for (int i = 0; i < w; ++i) {
			const unsigned char* p = &px[(size_t(j) * w + i) * 4];
			if (p[0] || p[1] || p[2]) lit.insert({x0 + i, y0 + j});
		}
	return lit;
}

constexpr int white = 0;  // palette entry 0 starts white

}  // namespace

TEST_F(GlDraw, StateSwitchTrustsItsCache)
{
	KX_OPEN_GL();
	// The first call finds depth writes off by its start value and does not touch the mask.
	glDepthMask(GL_TRUE);
	OGL_setstate(fog_fals, 0, lit_fals, al_blend, deR_fals, deW_fals);
	GLboolean mask = GL_FALSE;
	glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
	EXPECT_EQ(mask, GL_TRUE);
	EXPECT_TRUE(glIsEnabled(GL_BLEND));
	EXPECT_FALSE(glIsEnabled(GL_ALPHA_TEST));

	// A change made behind a repeated call's back stays: the repeat issues no GL call.
	glDisable(GL_BLEND);
	OGL_setstate(fog_fals, 0, lit_fals, al_blend, deR_fals, deW_fals);
	EXPECT_FALSE(glIsEnabled(GL_BLEND));

	// A real change is applied.
	OGL_setstate(fog_true, 0, lit_true, al_both, deR_true, deW_true);
	EXPECT_TRUE(glIsEnabled(GL_FOG));
	EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
	EXPECT_TRUE(glIsEnabled(GL_LIGHT0));
	EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));
	EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
	glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
	EXPECT_EQ(mask, GL_TRUE);
	OGL_setstate(fog_fals, 0, lit_fals, al_test, deR_fals, deW_fals);
	EXPECT_FALSE(glIsEnabled(GL_FOG));
	EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
	EXPECT_FALSE(glIsEnabled(GL_BLEND));
	EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));
	glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
	EXPECT_EQ(mask, GL_FALSE);
}

TEST_F(GlDraw, TextureUnitsAreClampedToTheCard)
{
	KX_OPEN_GL();
	ren.tex_units = 4;
	OGL_setstate(fog_fals, 12, lit_fals, al_blend, deR_fals, deW_fals);
	EXPECT_EQ(num_units, 4);
	for (int k = 0; k < 4; ++k) EXPECT_TRUE(unit_enabled(k)) << k;
	EXPECT_FALSE(unit_enabled(4));
	GLint active = 0;
	glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
	EXPECT_EQ(active, GL_TEXTURE0);
	// 4 is what the cache holds: nothing is touched.
	glActiveTexture(GL_TEXTURE2);
	glDisable(GL_TEXTURE_2D);
	glActiveTexture(GL_TEXTURE0);
	OGL_setstate(fog_fals, 4, lit_fals, al_blend, deR_fals, deW_fals);
	EXPECT_FALSE(unit_enabled(2));
	// Down to one unit: the units above 0 are switched off, unit 0 stays on.
	OGL_setstate(fog_fals, 1, lit_fals, al_blend, deR_fals, deW_fals);
	EXPECT_EQ(num_units, 1);
	EXPECT_TRUE(unit_enabled(0));
	EXPECT_FALSE(unit_enabled(1));
	EXPECT_FALSE(unit_enabled(3));
	OGL_setstate(fog_fals, -3, lit_fals, al_blend, deR_fals, deW_fals);
	EXPECT_EQ(num_units, 0);
	EXPECT_FALSE(unit_enabled(0));
}

TEST_F(GlDraw, LightLevelsScaleOnlyTheInterfaceEntries)
{
	KX_OPEN_GL();
	colr.assign(45, 1, 1, 1);
	colr.assign(46, 1, 1, 1);
	colr.lites[0] = colr.lites[1] = colr.lites[2] = 0.5f;
	OGL_fillrect(45, 1.0f, 10, 10, 20, 20);
	OGL_fillrect(46, 1.0f, 40, 10, 20, 20);
	EXPECT_TRUE(gl_rect_is(*gl, 10, 10, 20, 20, {128, 128, 128, 255}, 1));
	EXPECT_TRUE(gl_rect_is(*gl, 40, 10, 20, 20, {255, 255, 255, 255}));
}

TEST_F(GlDraw, NightModeShowsGreenOnly)
{
	KX_OPEN_GL();
	ren.night_mode = 1;
	colr.assign(50, 0.2f, 0.3f, 0.4f);
	OGL_fillrect(50, 1.0f, 10, 10, 20, 20);
	OGL_fillrect(12, 1.0f, 40, 10, 20, 20);  // black
	EXPECT_TRUE(gl_rect_is(*gl, 10, 10, 20, 20, {0, 230, 0, 255}, 1));
	EXPECT_TRUE(gl_rect_is(*gl, 40, 10, 20, 20, {0, 3, 0, 255}, 1));
}

TEST_F(GlDraw, GlobalAlphaAboveTheThresholdIsOpaque)
{
	KX_OPEN_GL();
	// A half-alpha colour first, so that GL's current alpha is not 1 to begin with.
	OGL_fillrect(white, 0.5f, 200, 200, 4, 4);
	ren.global_alpha = 0.995f;
	OGL_fillrect(white, 1.0f, 10, 10, 20, 20);
	EXPECT_TRUE(gl_rect_is(*gl, 10, 10, 20, 20, {255, 255, 255, -1}));
	ren.global_alpha = 0.9f;
	OGL_fillrect(white, 1.0f, 40, 10, 20, 20);
	EXPECT_TRUE(gl_rect_is(*gl, 40, 10, 20, 20, {230, 230, 230, -1}, 1));
	const ogl_rgba c = OGL_palette_rgba(white, 1.0f);
	EXPECT_TRUE(c.four);
	EXPECT_FLOAT_EQ(c.a, 0.9f);
}

TEST_F(GlDraw, FrameRectLightsExactlyItsBorder)
{
	KX_OPEN_GL();
	OGL_framerect(white, 1.0f, 10, 20, 12, 8);
	std::set<std::pair<int, int>> want;
	for (int x = 10; x <= 22; ++x) {
		want.insert({x, 20});
		want.insert({x, 28});
	}
	for (int y = 20; y <= 28; ++y) {
		want.insert({10, y});
		want.insert({22, y});
	}
	const auto lit = lit_pixels(0, 0, 40, 40);
	for (const auto& p : want) EXPECT_TRUE(lit.count(p)) << "dark border pixel " << p.first << ", " << p.second;
	for (const auto& p : lit) EXPECT_TRUE(want.count(p)) << "lit inner or outer pixel " << p.first << ", " << p.second;
	if (lit != want) gl_dump_png(*gl);
	// At half alpha no pixel is drawn twice, so the whole border is equally bright.
	gl_clear_to(0, 0, 0);
	OGL_framerect(white, 0.5f, 10, 20, 12, 8);
	for (const auto& p : want) EXPECT_TRUE(gl_rect_is(*gl, p.first, p.second, 1, 1, {128, 128, 128, -1}, 1));
}

TEST_F(GlDraw, DialogOriginMovesEveryVertex)
{
	KX_OPEN_GL();
	mnw.dialog_x = 100;
	mnw.dialog_y = 50;
	OGL_fillrect(white, 1.0f, 0, 0, 10, 10);
	EXPECT_TRUE(gl_rect_is(*gl, 100, 50, 10, 10, white_px));
	EXPECT_TRUE(gl_rect_is(*gl, 0, 0, 10, 10, black_px));
	// The background fill covers the whole window whatever the origin.
	colr.assign(34, 0, 0, 1);
	OGL_plot_back_col();
	EXPECT_TRUE(gl_rect_is(*gl, 0, 0, 1024, 768, {0, 0, 255, -1}));
}

TEST_F(GlDraw, ZeroWidthScissorDrawsNothing)
{
	KX_OPEN_GL();
	OGL_scissors(10, 10, 0, 50);
	GLint box[4];
	glGetIntegerv(GL_SCISSOR_BOX, box);
	EXPECT_EQ(box[2], 0);
	EXPECT_EQ(box[3], 50);
	OGL_fillrect(white, 1.0f, 0, 0, 1024, 768);
	OGL_scissors(10, 10, -5, 50);
	glGetIntegerv(GL_SCISSOR_BOX, box);
	EXPECT_EQ(box[2], 0);
	OGL_fillrect(white, 1.0f, 0, 0, 1024, 768);
	OGL_scissors_end();
	EXPECT_TRUE(gl_rect_is(*gl, 0, 0, 1024, 768, black_px));
	// A real box lets exactly its pixels through.
	OGL_scissors(10, 10, 5, 3);
	OGL_fillrect(white, 1.0f, 0, 0, 1024, 768);
	OGL_scissors_end();
	EXPECT_EQ(lit_pixels(0, 0, 30, 30).size(), 15u);
	EXPECT_TRUE(gl_rect_is(*gl, 10, 10, 5, 3, white_px));
}

TEST_F(GlDraw, BackFacingFillrectIsCulled)
{
	KX_OPEN_GL();
	OGL_fillrect(white, 1.0f, 100, 100, -50, 50);
	EXPECT_TRUE(gl_rect_is(*gl, 40, 90, 70, 70, black_px));
	OGL_fillrect(white, 1.0f, 50, 100, 50, 50);
	EXPECT_TRUE(gl_rect_is(*gl, 50, 100, 50, 50, white_px));
}

TEST_F(GlDraw, FillCircleOfRadiusTwoCoversFiveRows)
{
	KX_OPEN_GL();
	OGL_fillcircle(white, 100, 100, 2);
	std::set<int> rows;
	for (const auto& p : lit_pixels(90, 90, 20, 20)) rows.insert(p.second);
	EXPECT_EQ(rows, (std::set<int>{98, 99, 100, 101, 102}));
	// As wide on the right as on the left.
	EXPECT_TRUE(gl_rect_is(*gl, 98, 100, 5, 1, white_px));
	EXPECT_TRUE(gl_rect_is(*gl, 97, 100, 1, 1, black_px));
	EXPECT_TRUE(gl_rect_is(*gl, 103, 100, 1, 1, black_px));
	EXPECT_TRUE(gl_rect_is(*gl, 100, 102, 1, 1, white_px));
	gl_clear_to(0, 0, 0);
	OGL_fillcircle(white, 100, 100, -1);
	EXPECT_TRUE(lit_pixels(90, 90, 20, 20).empty());
}

TEST_F(GlDraw, LinesAndQuadsLandOnTheirPixels)
{
	KX_OPEN_GL();
	OGL_line(white, 1.0f, 10, 10, 20, 10);
	EXPECT_TRUE(gl_rect_is(*gl, 10, 10, 10, 1, white_px));
	EXPECT_TRUE(gl_rect_is(*gl, 10, 11, 10, 1, black_px));
	OGL_grayrect(30, 30, 40, 40, 1.0f);
	// An untextured quad through the textured path's corner order.
	OGL_2dquad(0, white, 1.0f, 50, 50, 0, 0, 50, 60, 0, 1, 60, 60, 1, 1, 60, 50, 1, 0, 0, al_blend);
	EXPECT_TRUE(gl_rect_is(*gl, 50, 50, 10, 10, white_px));
	OGL_framecircle(white, 200, 200, 10);
	EXPECT_FALSE(lit_pixels(185, 185, 30, 30).empty());
	EXPECT_TRUE(gl_rect_is(*gl, 195, 195, 10, 10, black_px));
}

TEST_F(GlDraw, PixSpecsAndTheFlatProjection)
{
	struct size_case {
		int w, h, window;
		float area_x, area_y, centre_x;
	};
	for (const size_case& c : {size_case{800, 600, 0, 0, 0, 400}, size_case{1280, 1024, 0, 128, 256, 640},
	                           size_case{1280, 1024, -1, 0, 256, 640}}) {
		open(c.w, c.h);
		KX_REQUIRE_GL(*gl);
		glMatrixMode(GL_PROJECTION);
		glLoadIdentity();
		glMatrixMode(GL_MODELVIEW);
		glViewport(0, 0, 1, 1);
		mnw.current_window = c.window;
		xcam.read_back = true;
		OGL_pix_specs(0);
		EXPECT_EQ(mnw.ui_scale, 1.0f);
		EXPECT_EQ(mnw.ui_scale2, 1.0f);
		EXPECT_EQ(mnw.ortho_right, float(c.w));
		EXPECT_EQ(mnw.ortho_top, float(c.h));
		EXPECT_EQ(mnw.area_x, c.area_x) << c.w << " " << c.window;
		EXPECT_EQ(mnw.area_y, c.area_y);
		EXPECT_EQ(mnw.center_x, c.centre_x);
		EXPECT_EQ(mnw.center_y, 384.0f);
		double proj[16];
		glGetDoublev(GL_PROJECTION_MATRIX, proj);
		GLint vp[4];
		glGetIntegerv(GL_VIEWPORT, vp);
		if (c.window < 0) {
			// No window yet: the projection is left alone.
			EXPECT_EQ(proj[0], 1.0);
			EXPECT_EQ(vp[2], 1);
			EXPECT_TRUE(xcam.read_back);
		} else {
			EXPECT_NEAR(proj[0], 2.0 / c.w, 1e-7);
			EXPECT_NEAR(proj[5], 2.0 / c.h, 1e-7);
			EXPECT_NEAR(proj[10], -1.0, 1e-7);
			EXPECT_NEAR(proj[12], -1.0, 1e-7);
			EXPECT_NEAR(proj[13], -1.0, 1e-7);
			EXPECT_EQ(vp[0], 0);
			EXPECT_EQ(vp[2], c.w);
			EXPECT_EQ(vp[3], c.h);
			EXPECT_FALSE(xcam.read_back);
		}
		gl.reset();
	}
}

TEST_F(GlDraw, ViewportKeepsAspectAndSkipsItWithNoWidth)
{
	KX_OPEN_GL();
	OGL_viewport(4, -1, 0, -1, 0, 1, 200, 0, 1, 100, 0, 1.0f, 1);
	GLint vp[4];
	glGetIntegerv(GL_VIEWPORT, vp);
	EXPECT_EQ(vp[2], 200);
	EXPECT_EQ(vp[3], 100);
	// Mode 3 builds a frustum with the aspect applied to bottom and top.
	OGL_viewport(3, -1, 0, -1, 0, 1, 200, 1, 1, 100, 10, 1.0f, 1);
	EXPECT_FALSE(xcam.is_ortho);
	double want[16];
	buildFrustumMatrix(want, -1, 1, -0.5, 0.5, 1, 10);
	for (int i = 0; i < 16; ++i) EXPECT_NEAR(xcam.projection[i], want[i], 1e-6) << i;
	// No width: no aspect, no division by zero.
	OGL_viewport(3, -1, 0, -1, 0, 1, 0, 1, 1, 100, 10, 1.0f, 1);
	buildFrustumMatrix(want, -1, 1, -1, 1, 1, 10);
	for (int i = 0; i < 16; ++i) EXPECT_NEAR(xcam.projection[i], want[i], 1e-6) << i;
}

TEST_F(GlDraw, MetresToPixelsUnderTheFlatProjection)
{
	KX_OPEN_GL(800, 600);
	double out[2];
	const double origin[3] = {0, 0, 0};
	xcam.mtr_to_pix(origin, out);
	EXPECT_NEAR(out[0], 0, 1e-4);
	EXPECT_NEAR(out[1], 0, 1e-4);
	const double mid[3] = {400, 300, 0};
	xcam.mtr_to_pix(mid, out);
	EXPECT_NEAR(out[0], 400, 1e-3);
	EXPECT_NEAR(out[1], 300, 1e-3);
	// The current window's origin is taken off.
	mnw.dialog_x = 100;
	xcam.mtr_to_pix(mid, out);
	EXPECT_NEAR(out[0], 300, 1e-3);
}

TEST_F(GlDraw, SwapGoesThroughTheInstalledHook)
{
	KX_OPEN_GL();
	static int swaps = 0;
	ogl_swap_fn old = OGL_set_swap_hook([] { ++swaps; });
	OGL_sbuff();
	EXPECT_EQ(swaps, 1);
	GLfloat c[4];
	glGetFloatv(GL_CURRENT_COLOR, c);
	EXPECT_EQ(c[0], 1.0f);
	ren.night_mode = 1;
	OGL_sbuff();
	glGetFloatv(GL_CURRENT_COLOR, c);
	EXPECT_EQ(c[0], 0.0f);
	EXPECT_EQ(c[1], 1.0f);
	OGL_set_swap_hook(old);
}

TEST_F(GlDraw, SpectrumScalePlotsItsRamp)
{
	KX_OPEN_GL();
	colr.spectrum_init(2);
	colr.spectrum_plotscale(100, 0, 0, 1, 1);
	EXPECT_EQ(colr.spec_range, 1.0f);
	// The point for j = 400 carries entry 400, green 0.4; 4 pixels wide about (100, 400).
	EXPECT_TRUE(gl_rect_is(*gl, 99, 399, 2, 2, {0, 102, 0, -1}, 1));
	GLfloat size = 0;
	glGetFloatv(GL_POINT_SIZE, &size);
	EXPECT_EQ(size, 1.0f);
	// No range: every point takes entry 0.
	gl_clear_to(0, 0, 0);
	colr.spectrum_init(0);
	colr.spectrum_plotscale(300, 0, 5, 5, 0);
	EXPECT_TRUE(gl_rect_is(*gl, 299, 399, 2, 2, {255, 0, 0, -1}, 1));
}

TEST_F(GlDraw, NewContextGetsTheDefaultState)
{
	KX_OPEN_GL();
	GLint v = 0;
	EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
	glGetIntegerv(GL_FRONT_FACE, &v);
	EXPECT_EQ(v, GL_CW);
	glGetIntegerv(GL_CULL_FACE_MODE, &v);
	EXPECT_EQ(v, GL_BACK);
	glGetIntegerv(GL_ALPHA_TEST_FUNC, &v);
	EXPECT_EQ(v, GL_GREATER);
	glGetIntegerv(GL_BLEND_SRC, &v);
	EXPECT_EQ(v, GL_SRC_ALPHA);
	glGetIntegerv(GL_BLEND_DST, &v);
	EXPECT_EQ(v, GL_ONE_MINUS_SRC_ALPHA);
	glGetIntegerv(GL_PACK_ALIGNMENT, &v);
	EXPECT_EQ(v, 1);
	glGetIntegerv(GL_UNPACK_ALIGNMENT, &v);
	EXPECT_EQ(v, 1);
	glGetIntegerv(GL_DEPTH_FUNC, &v);
	EXPECT_EQ(v, GL_LEQUAL);
	GLboolean mask = GL_TRUE;
	glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
	EXPECT_EQ(mask, GL_FALSE);
	EXPECT_TRUE(glIsEnabled(GL_COLOR_MATERIAL));
	EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
}

TEST_F(GlDraw, BufferBindsSkipTheBufferAlreadyBound)
{
	KX_OPEN_GL();
	// Whatever an earlier test left in the bind caches, start from buffer 0.
	OGL_bind_vbo(0);
	OGL_bind_vbo_ind(0);
	GLuint ids[2];
	glExt.glGenBuffersARB(2, ids);
	const unsigned long a = ids[0], b = ids[1];
	OGL_bind_vbo(a);
	GLint bound = 0;
	glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &bound);
	EXPECT_EQ(GLuint(bound), ids[0]);
	// A bind behind its back is not undone by binding the same id again.
	glExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
	OGL_bind_vbo(a);
	glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &bound);
	EXPECT_EQ(bound, 0);
	OGL_bind_vbo(b);
	glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &bound);
	EXPECT_EQ(GLuint(bound), ids[1]);
	OGL_bind_vbo_ind(a);
	glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &bound);
	EXPECT_EQ(GLuint(bound), ids[0]);
	glExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
	glExt.glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
	glExt.glDeleteBuffersARB(2, ids);
}

TEST_F(GlDraw, ThreeDHelpersSetNormalsAndRampColours)
{
	KX_OPEN_GL();
	const float p0[3] = {0, 0, 0}, p1[3] = {0, 0, 1}, p2[3] = {1, 0, 1}, p3[3] = {1, 0, 0};
	GLfloat n[4];
	glBegin(GL_QUADS);
	OGL_3dquad(p0, p1, p2, p3);
	glEnd();
	glGetFloatv(GL_CURRENT_NORMAL, n);
	// (p2 - p1) x (p1 - p0) = (1, 0, 0) x (0, 0, 1) = (0, -1, 0).
	EXPECT_FLOAT_EQ(n[0], 0);
	EXPECT_FLOAT_EQ(n[1], -1);
	EXPECT_FLOAT_EQ(n[2], 0);
	glBegin(GL_QUADS);
	OGL_3dquad_st(p0, p0, p0, p0, 0, 0, 1, 1);
	glEnd();
	glGetFloatv(GL_CURRENT_NORMAL, n);
	EXPECT_FLOAT_EQ(n[1], 1);  // no area: straight up

	GLfloat c[4];
	OGL_spectrum_rgb(-0.5f);
	glGetFloatv(GL_CURRENT_COLOR, c);
	EXPECT_EQ(c[0] + c[1] + c[2], 0);
	OGL_spectrum_rgb(0.5f);  // the start of the yellow-to-green sixth
	glGetFloatv(GL_CURRENT_COLOR, c);
	EXPECT_NEAR(c[0], 1, 1e-5);
	EXPECT_NEAR(c[1], 1, 1e-5);
	EXPECT_NEAR(c[2], 0, 1e-5);
	OGL_spectrum_rgb(7.0f);  // counts as 1: violet
	glGetFloatv(GL_CURRENT_COLOR, c);
	EXPECT_NEAR(c[0], 0.8, 1e-5);
	EXPECT_NEAR(c[2], 0.8, 1e-5);
	ren.night_mode = 1;
	OGL_spectrum_rgb(0.5f);
	glGetFloatv(GL_CURRENT_COLOR, c);
	EXPECT_NEAR(c[0], 0, 1e-6);
	EXPECT_NEAR(c[1], 1, 1e-6);

	// The box and the wheel balance their matrix pushes.
	GLint depth_before = 0, depth_after = 0;
	glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth_before);
	OGL_cube(0, 0, 0, 1, 1, 1, 0, 1, 0, 1, 30);
	OGL_disc(0, 0, 0, 1);
	glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth_after);
	EXPECT_EQ(depth_before, depth_after);
	EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(GlDraw, ArcDrawsItsRings)
{
	KX_OPEN_GL();
	OGL_arc(white, 100, 100, 10, 11, 0, 90);
	// Angle 0 is straight up, 90 to the right.
	EXPECT_FALSE(lit_pixels(98, 108, 5, 5).empty());
	EXPECT_FALSE(lit_pixels(108, 98, 5, 5).empty());
	EXPECT_TRUE(lit_pixels(85, 85, 10, 10).empty());
	gl_clear_to(0, 0, 0);
	OGL_arc(white, 100, 100, 11, 10, 0, 90);
	EXPECT_TRUE(lit_pixels(80, 80, 40, 40).empty());
}
