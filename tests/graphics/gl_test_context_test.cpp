// The headless context every drawing test stands on: it must draw into its own
// target and hand the capability record real entry points.
#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "runtime/rec_glext.h"
#include "support/gl_pixels.h"
#include "support/gl_test_context.h"
#include "support/test_env.h"
#include "support/xvfb_server.h"

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

// A failed pixel check leaves its picture under the temporary folder, not in the folder
// the tests were started from (which may be the source tree).
TEST(GlTestContext, PicturesOfFailuresStayOutOfTheWorkingFolder)
{
	GlTestContext gl(8, 8);
	KX_REQUIRE_GL(gl);
	gl_clear_to(0.0f, 1.0f, 0.0f);
	const std::string written = gl_dump_png(gl, "probe");
	EXPECT_EQ(written.rfind("/", 0), 0u) << written;
	EXPECT_EQ(written.find("kestrix-test-pictures/"), written.rfind('/') - std::string("kestrix-test-pictures").size())
	    << written;
	int w = 0, h = 0;
	std::vector<unsigned char> px;
	EXPECT_TRUE(read_test_png(written, 4, w, h, px));
	EXPECT_EQ(w, 8);
	EXPECT_EQ(std::remove(written.c_str()), 0);
	EXPECT_NE(std::remove("GlTestContext.PicturesOfFailuresStayOutOfTheWorkingFolder-probe.png"), 0);
}

// A drawing test that cannot make its context checks nothing: in CI that must fail the
// run, naming the context; elsewhere it may skip. The test program runs one drawing
// test again with EGL pointed at no driver (glvnd's vendor list and Mesa's driver),
// so this process keeps its own context.
TEST(GlTestContext, WithoutAContextCiFailsAndAnyoneElseSkips)
{
	kx_test::TempEnv env;
	char self[PATH_MAX] = {};
	ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
	const std::vector<std::string> argv = {self, "--gtest_filter=GlTestContext.DrawsIntoItsOwnTargetAndReadsBack"};
	const std::vector<std::string> no_driver = {"__EGL_VENDOR_LIBRARY_FILENAMES=" + env.path("none.json"),
	                                            "GALLIUM_DRIVER=none"};
	constexpr int kSeconds = 60;

	std::vector<std::string> ci = no_driver;
	ci.push_back("CI=true");
	const kx_test::RunResult failed = kx_test::run_program(argv, ci, kSeconds);
	EXPECT_NE(failed.status, 0) << failed.out;
	EXPECT_NE(failed.out.find("CI=true: the headless OpenGL context (Mesa surfaceless EGL, compatibility profile, "
	                          "64x32) could not be made: "),
	          std::string::npos)
	    << failed.out;

	std::vector<std::string> local = no_driver;
	local.push_back("CI=");
	const kx_test::RunResult skipped = kx_test::run_program(argv, local, kSeconds);
	EXPECT_EQ(skipped.status, 0) << skipped.out;
	EXPECT_NE(skipped.out.find("[  SKIPPED ] GlTestContext.DrawsIntoItsOwnTargetAndReadsBack"), std::string::npos)
	    << skipped.out;
}
