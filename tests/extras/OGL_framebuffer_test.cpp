// Render-to-texture on a headless GL context: both paths, the window record around a
// render, mipmaps, depth, and an incomplete framebuffer.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include <vector>

#include "extras/OGL_framebuffer.h"
#include "graphics/tman.h"
#include "extras_doubles.h"
#include "runtime/UTL_stat.h"
#include "runtime/hl_globals.h"
#include "runtime/rec_glext.h"
#include "support/gl_test_context.h"
#include "support/test_env.h"

namespace {

int attach_calls = 0;
PFNGLFRAMEBUFFERTEXTURE2DEXTPROC real_attach = nullptr;
void APIENTRY counting_attach(GLenum target, GLenum point, GLenum textarget, GLuint tex, GLint level)
{
	++attach_calls;
	real_attach(target, point, textarget, tex, level);
}

float flush_stat()
{
	UTL_stat::init_stats();
	for (UTL_stat* s : all_stats[2])
		if (std::string(s->name) == "fbo/flush_per_frame") return s->own_value;
	ADD_FAILURE() << "fbo/flush_per_frame is not registered";
	return -1.0f;
}

struct window_record {
	float ortho[4], area_x;
	int res_x, res_y;
	bool operator==(const window_record&) const = default;
};
window_record window_now()
{
	return {{mnw.ortho_left, mnw.ortho_bottom, mnw.ortho_right, mnw.ortho_top}, mnw.area_x, mnw.res_x, mnw.res_y};
}

class Framebuffer : public ::testing::Test {
protected:
	void SetUp() override
	{
		if (!gl.ok()) GTEST_SKIP() << "no headless OpenGL: " << gl.why();
		kx_doubles::reset();
		kx_doubles::rec.gl_live = true;
		glExt.framebuf_avail = 1;
		mnw.res_x = 800;
		mnw.res_y = 600;
		mnw.ortho_left = -112.0f;
		mnw.ortho_bottom = -84.0f;
		mnw.ortho_right = 912.0f;
		mnw.ortho_top = 684.0f;
		mnw.area_x = 112.0f;
		glExt.glGenFramebuffersEXT(1, &fbo);
		real_attach = glExt.glFramebufferTexture2DEXT;
		glExt.glFramebufferTexture2DEXT = counting_attach;
		attach_calls = 0;
	}
	void TearDown() override
	{
		if (!gl.ok()) return;
		glExt.glFramebufferTexture2DEXT = real_attach;
		glExt.glDeleteFramebuffersEXT(1, &fbo);
	}
	// Clears whatever is being drawn into, over the render size.
	static void clear_to(float r, float g, float b, int w, int h)
	{
		glViewport(0, 0, w, h);
		glClearColor(r, g, b, 1.0f);
		glClear(GL_COLOR_BUFFER_BIT);
	}
	static std::vector<unsigned char> texels(int ref, int level, int w, int h)
	{
		std::vector<unsigned char> out(size_t(w) * h * 4);
		glBindTexture(GL_TEXTURE_2D, ref);
		glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
		return out;
	}
	static bool all(const std::vector<unsigned char>& px, int r, int g, int b)
	{
		for (size_t i = 0; i + 3 < px.size(); i += 4)
			if (px[i] != r || px[i + 1] != g || px[i + 2] != b) return false;
		return !px.empty();
	}

	GlTestContext gl{800, 600};
	kx_test::AlertRecorder alerts;
	GLuint fbo = 0;
};

TEST_F(Framebuffer, RendersIntoTheTextureAndRestoresTheWindowRecord)
{
	const window_record before = window_now();
	const float flushes = flush_stat();
	clear_to(0, 1, 0, 800, 600);
	OGL_framebuffer fb(500, fbo, 2, 256, 256, 0);
	o_tex[1] = 12345;  // a binding the unit cache believes in
	fb.begin_render(1);
	EXPECT_EQ(mnw.res_x, 256);
	EXPECT_EQ(mnw.res_y, 256);
	EXPECT_EQ(mnw.ortho_right, 256.0f);
	EXPECT_EQ(mnw.ortho_left, 0.0f);
	EXPECT_EQ(mnw.area_x, 0.0f);
	// The unit caches were forgotten (by the stand-in's count, or by the real cache).
	EXPECT_TRUE(kx_doubles::rec.reset_binds == 1 || o_tex[1] == -1);
	clear_to(1, 0, 0, 256, 256);
	fb.end_render();
	EXPECT_TRUE(window_now() == before);
	EXPECT_TRUE(all(texels(500, 0, 256, 256), 255, 0, 0));
	// The context's own target is drawn into again, untouched.
	EXPECT_EQ(px_g(gl.pixel(400, 300)), 255);
	EXPECT_FLOAT_EQ(flush_stat(), flushes + 1);
	EXPECT_EQ(tman.ref_dat[500].flags, 2 | 0x1500);

	// The same size again neither reloads (a load would rename the record) nor re-attaches.
	tman.ref_dat[500].name = "drawn";
	const int attaches = attach_calls;
	fb.begin_render(1);
	clear_to(0, 0, 1, 256, 256);
	fb.end_render();
	EXPECT_EQ(tman.ref_dat[500].name, "drawn");
	EXPECT_EQ(attach_calls, attaches);
	EXPECT_TRUE(all(texels(500, 0, 256, 256), 0, 0, 255));
	EXPECT_FLOAT_EQ(flush_stat(), flushes + 2);
	EXPECT_TRUE(alerts.alerts().empty());
}

TEST_F(Framebuffer, TextureLoadedButDetachedIsAttachedAgain)
{
	OGL_framebuffer fb(504, fbo, 2, 64, 64, 0);
	fb.begin_render(1);
	fb.end_render();
	tman.ref_dat[504].name = "drawn";
	// Someone else draws through the same framebuffer object into something else.
	GLint ctx_fbo = 0;
	glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &ctx_fbo);
	glExt.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fbo);
	real_attach(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, 0, 0);
	glExt.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, ctx_fbo);
	fb.begin_render(1);
	clear_to(1, 0, 0, 64, 64);
	fb.end_render();
	EXPECT_EQ(tman.ref_dat[504].name, "drawn") << "attached again without a reload";
	EXPECT_TRUE(all(texels(504, 0, 64, 64), 255, 0, 0));
	GLint bound = 0;
	glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &bound);
	EXPECT_EQ(bound, ctx_fbo);
}

TEST_F(Framebuffer, BackBufferPathRendersAtAHalvedSizeAndCopies)
{
	const window_record before = window_now();
	const float flushes = flush_stat();
	OGL_framebuffer fb(501, fbo, 2, 1024, 1024, 0);
	fb.begin_render(0);
	EXPECT_EQ(fb.act_width, 512);
	EXPECT_EQ(fb.act_height, 512);
	EXPECT_EQ(mnw.res_x, 512);
	EXPECT_EQ(mnw.ortho_top, 512.0f);
	clear_to(0, 0, 1, 512, 512);
	fb.end_render();
	EXPECT_TRUE(window_now() == before);
	EXPECT_TRUE(all(texels(501, 0, 512, 512), 0, 0, 255));
	EXPECT_EQ(tman.ref_dat[501].flags, 2 | 0x500);
	EXPECT_FLOAT_EQ(flush_stat(), flushes + 1);
	// Without framebuffer objects the same happens whatever is asked.
	tman.ref_dat[501].name = "drawn";
	glExt.framebuf_avail = 0;
	fb.begin_render(1);
	EXPECT_EQ(fb.act_width, 512);
	fb.end_render();
	EXPECT_EQ(tman.ref_dat[501].name, "drawn");
}

TEST_F(Framebuffer, MipmapsAfterRenderingAndADepthTexture)
{
	OGL_framebuffer mips(502, fbo, 2 | 8, 256, 256, 0);
	mips.begin_render(1);
	clear_to(1, 0, 0, 256, 256);
	mips.end_render();
	EXPECT_TRUE(all(texels(502, 1, 128, 128), 255, 0, 0));

	GLuint depth_fbo = 0;
	glExt.glGenFramebuffersEXT(1, &depth_fbo);
	OGL_framebuffer depth(503, depth_fbo, 6, 128, 128, 0);
	depth.begin_render(1);
	glViewport(0, 0, 128, 128);
	glClearDepth(0.25);
	// Depth writes are off in the start-up state, and a clear obeys the mask.
	glDepthMask(GL_TRUE);
	glClear(GL_DEPTH_BUFFER_BIT);
	glDepthMask(GL_FALSE);
	depth.end_render();
	glClearDepth(1.0);
	float d = 0.0f;
	std::vector<float> all_depth(128 * 128);
	glBindTexture(GL_TEXTURE_2D, 503);
	glGetTexImage(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT, GL_FLOAT, all_depth.data());
	d = all_depth[64 * 128 + 64];
	EXPECT_NEAR(d, 0.25f, 0.01f);
	EXPECT_TRUE(alerts.alerts().empty());
	glExt.glDeleteFramebuffersEXT(1, &depth_fbo);

	// A colour texture with a depth renderbuffer beside it.
	GLuint rb = 0;
	glExt.glGenRenderbuffersEXT(1, &rb);
	OGL_framebuffer with_depth(505, fbo, 2, 64, 64, rb);
	with_depth.begin_render(1);
	with_depth.end_render();
	EXPECT_TRUE(alerts.alerts().empty());
	glExt.glDeleteRenderbuffersEXT(1, &rb);
}

TEST_F(Framebuffer, NestedBeginKeepsTheFirstSavedRecord)
{
	const window_record before = window_now();
	OGL_framebuffer fb(506, fbo, 2, 128, 128, 0);
	fb.begin_render(1);
	fb.begin_render(1);
	fb.end_render();
	EXPECT_TRUE(window_now() == before);
	GLint bound = 0;
	glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &bound);
	EXPECT_NE(GLuint(bound), fbo);
}

TEST_F(Framebuffer, IncompleteFramebufferIsAQuittingAlertWithItsStatus)
{
	// An owner that never made its framebuffer object draws into the window system's,
	// which a headless context does not have.
	OGL_framebuffer fb(507, 0, 2, 64, 64, 0);
	EXPECT_THROW(fb.begin_render(1), kx_test::AlertExit);
	auto a = alerts.alerts();
	ASSERT_EQ(a.size(), 1u);
	EXPECT_EQ(a[0].type, 2);
	EXPECT_EQ(a[0].line1, "ERROR: incomplete framebuffer.");
	EXPECT_EQ(a[0].line2.find(".000000"), a[0].line2.size() - 7) << a[0].line2;
	EXPECT_EQ(std::stod(a[0].line2), double(GL_FRAMEBUFFER_UNDEFINED));
	EXPECT_EQ(a[0].file, "OGL_framebuffer");
	EXPECT_EQ(a[0].line, 74);
}

}  // namespace
