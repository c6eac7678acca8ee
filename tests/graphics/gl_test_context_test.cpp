// The headless context every drawing test stands on: it must draw into its own
// target and hand the capability record real entry points.
#include <gtest/gtest.h>

#include "runtime/rec_glext.h"
#include "support/gl_test_context.h"

TEST(GlTestContext, DrawsIntoItsOwnTargetAndReadsBack)
{
	GlTestContext gl(64, 32);
	KX_REQUIRE_GL(gl);
	glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
	glClear(GL_COLOR_BUFFER_BIT);
	glScissor(0, 0, 8, 8);
	glEnable(GL_SCISSOR_TEST);
	glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
	glClear(GL_COLOR_BUFFER_BIT);
	glDisable(GL_SCISSOR_TEST);
	uint32_t corner = gl.pixel(2, 2), away = gl.pixel(40, 20);
	EXPECT_EQ(px_b(corner), 255);
	EXPECT_EQ(px_r(corner), 0);
	EXPECT_EQ(px_r(away), 255);
	EXPECT_EQ(gl.read_all().size(), size_t(64 * 32 * 4));
	EXPECT_NE(glExt.glBindBufferARB, nullptr);
	EXPECT_NE(glExt.glGenFramebuffersEXT, nullptr);
	EXPECT_NE(glExt.glCreateShaderObjectARB, nullptr);
}
