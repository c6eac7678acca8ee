#include "shell_fixture.h"

using namespace kx_test;

namespace {

class Capabilities : public ShellTest {
protected:
	void SetUp() override
	{
		ShellTest::SetUp();
		xer.open(env.path("caps.txt"));
	}
	void detect(std::vector<std::string> args = {})
	{
		std::vector<const char*> argv = {"kestrix-installer"};
		for (const auto& a : args) argv.push_back(a.c_str());
		cmdline.init_unix(int(argv.size()), argv.data());
		glExt.init_extensions();
		xer.flush();
	}
	std::string caps_log() { return read_file(env.path("caps.txt")); }
	AlertRecorder alerts;
};

}  // namespace

TEST(CapabilityRules, VersionCodes)
{
	EXPECT_EQ(OGL_version_code("2.1 NVIDIA-1.5.18"), 210);
	EXPECT_EQ(OGL_version_code("1.5"), 150);
	EXPECT_EQ(OGL_version_code("4.5 (Compatibility Profile) Mesa 22.3.6"), 450);
	EXPECT_EQ(OGL_version_code("OpenGL 2.0"), 100);
	EXPECT_EQ(OGL_version_code("1.x"), 100);
	EXPECT_EQ(OGL_version_code(""), 100);
	EXPECT_EQ(OGL_version_code(nullptr), 100);
}

TEST_F(Capabilities, TheOpenGLLibraryIsLoadedOnce)
{
	ASSERT_EQ(glExt.init_entry_points(), 0);
	const CFBundleRef first = gBundleRefOpenGL;
	ASSERT_NE(first, nullptr);
	// The next context finds it loaded: a second load would fail on this name.
	OGL_probe missing = fake_probe();
	missing.library = "libkx-no-such-gl.so.1";
	OGL_set_probe(missing);
	EXPECT_EQ(glExt.init_entry_points(), 0);
	EXPECT_EQ(gBundleRefOpenGL, first);
	EXPECT_TRUE(alerts.alerts().empty());
}

TEST_F(Capabilities, FlagsFromVersionAndExtensionString)
{
	fake_renderer().version = "1.5 driver";
	fake_renderer().extensions = "GL_ARB_point_sprite GL_NV_fog_distance GL_EXT_blend_func_separate";
	detect();
	EXPECT_EQ(glExt.multitex_avail, 1);
	EXPECT_EQ(glExt.vbo_avail, 1);       // 1.5 gives it
	EXPECT_EQ(glExt.pbo_avail, 0);       // 2.1 would
	EXPECT_EQ(glExt.sprites_avail, 1);   // by name
	EXPECT_EQ(glExt.dis_fog_avail, 1);   // only ever by name
	EXPECT_EQ(glExt.sblend_avail, 0);    // needs both separate-blend names
	EXPECT_EQ(glExt.glsl_avail, 0);
	EXPECT_EQ(glExt.threaded_avail, 0);  // always, whatever the switches say
	EXPECT_EQ(ren.tex_units, 8);
	EXPECT_EQ(glExt.max_tex_size, 2048);
	EXPECT_TRUE(alerts.alerts().empty());
}

TEST_F(Capabilities, RendererWorkarounds)
{
	fake_renderer().version = "2.1";
	fake_renderer().renderer = "ATI Radeon HD 2600 PRO OpenGL Engine";
	detect();
	EXPECT_EQ(glExt.sprites_avail, 0);
	EXPECT_NE(caps_log().find("Disabling point sprites for Radeon HD on OS X.\n"), std::string::npos);

	// Only the whole name counts.
	fake_renderer().renderer = "ATI Radeon HD 2600 PRO OpenGL Engine (rev 2)";
	detect();
	EXPECT_EQ(glExt.sprites_avail, 1);

	fake_renderer().renderer = "Intel GMA 950 OpenGL Engine";
	detect();
	EXPECT_EQ(glExt.glsl_avail, 0);
	detect({"--use_glsl"});
	EXPECT_EQ(glExt.glsl_avail, 1);

	fake_renderer().renderer = "GeForce";
	fake_renderer().vendor = "NVIDIA Corporation";
	detect();
	EXPECT_EQ(glExt.first_gen_shaders, 1);
	fake_renderer().extensions += " GL_NV_fragment_program2";
	glExt = OGL_extensions{};
	detect();
	EXPECT_EQ(glExt.first_gen_shaders, 0);
}

TEST_F(Capabilities, SwitchesClearFlags)
{
	fake_renderer().version = "2.1";
	fake_renderer().extensions = "GL_ARB_vertex_program GL_ARB_fragment_program";
	detect({"--no_vbos", "--no_vshaders"});
	EXPECT_EQ(glExt.vbo_avail, 0);
	EXPECT_EQ(glExt.pbo_avail, 0);  // goes with the vertex buffers
	EXPECT_EQ(glExt.vprog_avail, 0);
	EXPECT_EQ(glExt.fprog_avail, 1);    // the switch is about ARB programs only...
	EXPECT_EQ(glExt.vshader_avail, 1);  // ...and leaves GLSL's vertex shaders alone
}

TEST_F(Capabilities, MissingEntryPointClearsItsFamilyAndDependants)
{
	fake_renderer().version = "2.1";
	fake_missing_procs() = {"glMapBufferARB", "glCreateShaderObjectARB"};
	detect();
	EXPECT_EQ(glExt.vbo_avail, 0);
	EXPECT_EQ(glExt.pbo_avail, 0);
	EXPECT_EQ(glExt.glMapBufferARB, nullptr);
	EXPECT_NE(glExt.glBindBufferARB, nullptr);  // every name is looked up after a miss
	EXPECT_EQ(glExt.shad_objs_avail, 0);
	EXPECT_EQ(glExt.vshader_avail, 0);
	EXPECT_EQ(glExt.fshader_avail, 0);
	EXPECT_EQ(glExt.glsl_avail, 0);
	const std::string l = caps_log();
	EXPECT_NE(l.find("WARNING: extension missing proc glMapBufferARB\n"), std::string::npos);
	EXPECT_NE(l.find("Disabling PBOs because VBOs are not available.  This probably means that VBOs are disabled for "
	                 "compatibility reasons.\n"),
	          std::string::npos);
}

TEST_F(Capabilities, ProgramLimits)
{
	fake_renderer().version = "1.5";
	fake_renderer().extensions = "GL_ARB_multitexture GL_ARB_fragment_program";
	detect();
	EXPECT_EQ(glExt.fprog_avail, 0);  // needs the vertex programs

	fake_renderer().extensions = "GL_ARB_vertex_program GL_ARB_fragment_program";
	fake_renderer().program_instructions = 64;
	detect();
	EXPECT_EQ(glExt.fprog_avail, 1);
	EXPECT_EQ(glExt.first_gen_shaders, 1);

	fake_renderer().program_instructions = 0;
	glExt = OGL_extensions{};
	detect();
	EXPECT_EQ(glExt.fprog_avail, 0);
	EXPECT_EQ(glExt.vprog_avail, 0);
	glExt = OGL_extensions{};
	detect({"--use_fprogs", "--use_vprogs"});
	EXPECT_EQ(glExt.fprog_avail, 1);
	EXPECT_EQ(glExt.vprog_avail, 1);
}

TEST_F(Capabilities, MinimumHardware)
{
	fake_renderer().version = "1.0";
	fake_renderer().extensions = "";
	EXPECT_THROW(detect(), AlertExit);
	ASSERT_EQ(alerts.alerts().size(), 1u);
	EXPECT_EQ(alerts.alerts()[0].type, t_exit);
	EXPECT_EQ(alerts.alerts()[0].line2, "First, try updating your graphics drivers.");
	EXPECT_EQ(alerts.alerts()[0].line, 590);

	alerts.clear();
	detect({"--force_run"});
	ASSERT_EQ(alerts.alerts().size(), 1u);
	EXPECT_EQ(alerts.alerts()[0].type, t_alert);
	EXPECT_EQ(alerts.alerts()[0].line3,
	          "You have used the force-run command inline option to run Kestrix anyway, but it may crash.");
}

TEST_F(Capabilities, SoftwareRendererWarnsAndNullStringsReadEmpty)
{
	fake_renderer().renderer = "Generic";
	detect();
	ASSERT_EQ(alerts.alerts().size(), 1u);
	EXPECT_EQ(alerts.alerts()[0].line, 601);

	alerts.clear();
	fake_renderer().null_strings = true;
	EXPECT_THROW(detect(), AlertExit);  // an unknown version without multitexture is refused
	EXPECT_STREQ(ren.gl_vendor, "");
	EXPECT_STREQ(ren.gl_extensions, "");
	EXPECT_EQ(glExt.multitex_avail, 0);
}

TEST_F(Capabilities, ReportLabels)
{
	fake_renderer().version = "2.1 Mesa";
	detect();
	const std::string l = caps_log();
	for (const char* label :
	     {"OpenGL Vendor    : Mesa\n", "OpenGL Render    : llvmpipe\n", "OpenGL Version   : 2.1 Mesa (210)\n",
	      "OpenGL Extensions: GL_ARB_multitexture\n", "tex_clamp_avail  : 1\n", "sblend_avail     : 0\n",
	      "threaded_avail   : 0\n", "first-gen shaders: 0\n", "max tex units    : 8 (", "max texture size : 2048\n",
	      "max iso filtering: 1.000000\n",
	      "vshader_avail    : 1 (", "glsl_avail       : 1 (<null string>)\n"})
		EXPECT_NE(l.find(label), std::string::npos) << label;
	EXPECT_EQ(l.find("multitex_avail"), std::string::npos);
}

TEST_F(Capabilities, ThreadedFailureAlertsOnlyWhileOn)
{
	glExt.threaded_avail = 1;
	glExt.threaded_ogl_failed();
	glExt.threaded_ogl_failed();
	ASSERT_EQ(alerts.alerts().size(), 1u);
	EXPECT_EQ(alerts.alerts()[0].line1, "There was a problem setting up OpenGL.");
	EXPECT_EQ(glExt.threaded_avail, 0);
}
