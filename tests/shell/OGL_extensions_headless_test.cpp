#include "shell_fixture.h"
#include "support/gl_test_context.h"

using namespace kx_test;

// Detection against Mesa's own software renderer, no window and no X server.
TEST_F(ShellTest, DetectionOnAHeadlessMesaContext)
{
	GlTestContext ctx(64, 64);
	KX_REQUIRE_GL(ctx);
	OGL_set_probe(OGL_default_probe());
	plat_gl_proc_fn old = plat_set_gl_proc_hook(GlTestContext::proc);
	AlertRecorder alerts;
	xer.open(env.path("caps.txt"));
	glExt.init_extensions();
	plat_set_gl_proc_hook(old);
	EXPECT_GE(OGL_version_code(ren.gl_version), 450) << ren.gl_version;
	EXPECT_EQ(glExt.multitex_avail, 1);
	EXPECT_EQ(glExt.vbo_avail, 1);
	EXPECT_NE(glExt.glBindBufferARB, nullptr);
	EXPECT_EQ(glExt.glsl_avail, 1);
	EXPECT_EQ(glExt.framebuf_avail, 1);
	EXPECT_GE(ren.tex_units, 1);
	EXPECT_GT(glExt.max_tex_size, 0);
	EXPECT_TRUE(alerts.alerts().empty());
	xer.flush();
	EXPECT_NE(read_file(env.path("caps.txt")).find("glsl_avail       : 1 ("), std::string::npos);
}
