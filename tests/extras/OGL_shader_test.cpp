// Shader programs on a headless GL context: sources from a private base folder, drawn
// and read back, with the log and the alerts looked at.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdlib>
#include <memory>
#include <stdexcept>

#include "extras/OGL_shader.h"
#include "runtime/UTL_stat.h"
#include "runtime/cmdline.h"
#include "runtime/hl_globals.h"
#include "runtime/rec_glext.h"
#include "shell/hl_shader_hook.h"
#include "support/gl_test_context.h"
#include "support/test_env.h"

namespace {

const char* const kVertex = "void main() { gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex; }\n";
// Green only when the preamble names this platform; the uniform gives the blue.
const char* const kTint =
	"uniform float blue;\n"
	"void main() {\n"
	"#if LIN == 1 && APL == 0 && IBM == 0 && LIMITED == 0\n"
	"  gl_FragColor = vec4(0.0, 1.0, blue, 1.0);\n"
	"#else\n"
	"  gl_FragColor = vec4(1.0, 0.0, 0.0, 1.0);\n"
	"#endif\n"
	"}\n";
const char* const kRed = "void main() { gl_FragColor = vec4(1.0, 0.0, 0.0, 1.0); }\n";
const char* const kBroken = "void main() { gl_FragColor = vec4(1.0, 0.0, 0.0, 1.0) }\n";
const char* const kArbGreen = "!!ARBfp1.0\nMOV result.color, {0.0, 1.0, 0.0, 1.0};\nEND\n";
const char* const kArbBroken = "!!ARBfp1.0\nMOVE result.color, {0.0, 1.0, 0.0, 1.0};\nEND\n";

int use_program_calls = 0;
PFNGLUSEPROGRAMOBJECTARBPROC real_use_program = nullptr;
void APIENTRY counting_use_program(GLhandleARB p)
{
	++use_program_calls;
	real_use_program(p);
}

class Shaders : public ::testing::Test {
protected:
	void SetUp() override
	{
		if (!gl.ok()) GTEST_SKIP() << "no headless OpenGL: " << gl.why();
		xer.open(env.path("log.txt"));
		app_path = env.root();
		glExt.first_gen_shaders = 0;
		glExt.shad_objs_avail = 1;
		set_options({});
		write("plain.vs", kVertex);
		write("tint.fs", kTint);
		write("red.fs", kRed);
		glMatrixMode(GL_PROJECTION);
		glLoadIdentity();
		glOrtho(0, 64, 0, 64, -1, 1);
		glMatrixMode(GL_MODELVIEW);
		glLoadIdentity();
	}
	void TearDown() override
	{
		set_options({});
		xer.close();
		app_path.clear();
		if (real_use_program) glExt.glUseProgramObjectARB = real_use_program;
	}
	void write(const std::string& name, const std::string& text)
	{
		ASSERT_TRUE(kx_test::write_file(env.path("Resources/shaders/" + name), text));
	}
	static void set_options(std::vector<const char*> args)
	{
		cmdline = UTL_cmdline();
		args.insert(args.begin(), "test");
		cmdline.init_unix(int(args.size()), args.data());
	}
	std::string log()
	{
		xer.flush();
		return kx_test::read_file(env.path("log.txt"));
	}
	uint32_t draw()
	{
		glClearColor(0, 0, 0, 1);
		glClear(GL_COLOR_BUFFER_BIT);
		// Clockwise, the front face of the start-up state (back faces are culled).
		glBegin(GL_QUADS);
		glVertex2f(0, 0);
		glVertex2f(0, 64);
		glVertex2f(64, 64);
		glVertex2f(64, 0);
		glEnd();
		return gl.pixel(32, 32);
	}
	static GLhandleARB bound_program() { return glExt.glGetHandleARB(GL_PROGRAM_OBJECT_ARB); }

	GlTestContext gl{64, 64};
	kx_test::TempEnv env;
	kx_test::AlertRecorder alerts;
};

TEST_F(Shaders, GlslPairLinksDrawsAndFindsItsUniforms)
{
	OGL_shader s("plain.vs", "tint.fs", nullptr, std::vector<std::string>{"blue"});
	EXPECT_EQ(s.vertex_path, "Resources/shaders/plain.vs");
	EXPECT_EQ(s.prefix, "// no prefix\n");
	EXPECT_GE(s.get_uniform_loc(0), 0);
	EXPECT_THROW(s.get_uniform_loc(5), std::out_of_range);
	s.bind();
	glExt.glUniform1fARB(s.get_uniform_loc(0), 1.0f);
	uint32_t p = draw();
	EXPECT_EQ(px_r(p), 0);
	EXPECT_EQ(px_g(p), 255);
	EXPECT_EQ(px_b(p), 255);
	OGL_shader::unbind_shaders();
	EXPECT_TRUE(alerts.alerts().empty());
}

TEST_F(Shaders, BindingTheBoundShaderCostsNoCall)
{
	OGL_shader s("plain.vs", "red.fs", "", nullptr);
	real_use_program = glExt.glUseProgramObjectARB;
	glExt.glUseProgramObjectARB = counting_use_program;
	use_program_calls = 0;
	s.bind();
	s.bind();
	EXPECT_EQ(use_program_calls, 1);
	OGL_shader::unbind_shaders();
	OGL_shader::unbind_shaders();
	EXPECT_EQ(use_program_calls, 2);
}

TEST_F(Shaders, DestroyingTheBoundShaderUnbindsIt)
{
	auto first = std::make_unique<OGL_shader>("plain.vs", "red.fs", nullptr, nullptr);
	first->bind();
	first.reset();
	EXPECT_EQ(OGL_shader::current_shader, nullptr);
	EXPECT_EQ(bound_program(), 0u);
	OGL_shader second("plain.vs", "tint.fs", nullptr, nullptr);
	second.bind();
	EXPECT_EQ(OGL_shader::current_shader, &second);
	EXPECT_EQ(bound_program(), second.program);
	OGL_shader::unbind_shaders();
}

TEST_F(Shaders, VariantsAreNumberedByTheirFlagsAndBuiltWithTheirDefines)
{
	const char* flags3[] = {"A", "B", "C", nullptr};
	const int counts[] = {2, 3, 2};
	OGL_shader_conditional family("plain.vs", "tint.fs", nullptr, flags3, counts, "#define BASE 1\n");
	EXPECT_EQ(family.variants.size(), 12u);
	int values[3] = {1, 2, 0};
	EXPECT_EQ(family.id_from_flags(values), 5);
	EXPECT_EQ(family.flags_from_id(11, values), 3);
	EXPECT_EQ(values[0], 1);
	EXPECT_EQ(values[1], 2);
	EXPECT_EQ(values[2], 1);
	EXPECT_EQ(family.variant_prefix(5), "#define BASE 1\n#define A 1\n#define B 2\n#define C 0\n");

	const char* uniforms[] = {"blue", nullptr};
	const char* flags2[] = {"A", "B", nullptr};
	OGL_shader_conditional pairs("plain.vs", "tint.fs", uniforms, flags2, nullptr, "#define BASE 1\n");
	EXPECT_EQ(pairs.variants.size(), 4u);
	// The location of a variant not built yet builds it.
	EXPECT_GE(pairs.get_uniform_loc(3, 0), 0);
	ASSERT_NE(pairs.variants[3], nullptr);
	EXPECT_EQ(pairs.variants[3]->prefix, "#define BASE 1\n#define A 1\n#define B 1\n");
	EXPECT_EQ(pairs.variants[0], nullptr);
	pairs.bind(0);
	ASSERT_NE(pairs.variants[0], nullptr);
	EXPECT_EQ(OGL_shader::current_shader, pairs.variants[0]);
	EXPECT_THROW(pairs.bind(4), kx_test::AlertExit);
	ASSERT_EQ(alerts.alerts().size(), 1u);
	EXPECT_EQ(alerts.alerts()[0].type, 2);

	OGL_shader_conditional bare("plain.vs", "tint.fs", nullptr, nullptr, nullptr, nullptr);
	ASSERT_EQ(bare.variants.size(), 1u);
	bare.bind(0);
	EXPECT_EQ(bare.variants[0]->prefix, "// no prefix\n");
	OGL_shader::unbind_shaders();
}

TEST_F(Shaders, MissingFileIsAQuittingAlert)
{
	const size_t before = OGL_shader::shaders.size();
	EXPECT_THROW(OGL_shader("plain.vs", "missing.fs", nullptr, nullptr), kx_test::AlertExit);
	auto a = alerts.alerts();
	ASSERT_FALSE(a.empty());
	EXPECT_EQ(a[0].type, 2);
	EXPECT_EQ(a[0].line1, "We were unable to load the shader file:");
	EXPECT_EQ(a[0].line2, "Resources/shaders/missing.fs");
	EXPECT_EQ(a[0].line4, "Re-run the Kestrix installer/updater to correct this problem.");
	EXPECT_EQ(OGL_shader::shaders.size(), before);
}

TEST_F(Shaders, BrokenShaderUnattendedLogsTheWholeLogAndReturns)
{
	OGL_shader s("plain.vs", "red.fs", "#define EXTRA 1\n", nullptr);
	write("red.fs", kBroken);
	set_options({"--fps_test"});
	s.reload(1);
	auto a = alerts.alerts();
	ASSERT_EQ(a.size(), 1u);
	EXPECT_EQ(a[0].type, 1);
	EXPECT_EQ(a[0].line1, "There was a problem processing a GLSL pixel shader.");
	EXPECT_EQ(a[0].line3, "Resources/shaders/plain.vs");
	EXPECT_EQ(a[0].line4, "Resources/shaders/red.fs");

	// The object's own log, fetched in full, stands whole in the block.
	GLint length = 0;
	glExt.glGetObjectParameterivARB(s.fragment_obj, GL_OBJECT_INFO_LOG_LENGTH_ARB, &length);
	ASSERT_GT(length, 1);
	std::string info(length, '\0');
	GLsizei written = 0;
	glExt.glGetInfoLogARB(s.fragment_obj, length, &written, info.data());
	info.resize(written);
	const std::string block = "=====Resources/shaders/red.fs=====\n   (prefix:\n#define APL 0\n#define IBM 0\n"
	                          "#define LIN 1\n#define LIMITED 0\n#define EXTRA 1\nend prefix)\n" +
	                          info + "\n=====";
	EXPECT_NE(log().find(block), std::string::npos) << log();
}

TEST_F(Shaders, BrokenShaderWithSomeoneWatchingIsRetriedTenTimesAtMost)
{
	OGL_shader s("plain.vs", "red.fs", nullptr, nullptr);
	write("red.fs", kBroken);
	s.reload(1);
	EXPECT_EQ(alerts.alerts().size(), 11u);
}

TEST_F(Shaders, ReloadCommandPicksUpAnEditedShader)
{
	OGL_shader s("plain.vs", "red.fs", nullptr, nullptr);
	s.bind();
	EXPECT_EQ(px_r(draw()), 255);
	write("red.fs", "void main() { gl_FragColor = vec4(0.0, 0.0, 1.0, 1.0); }\n");
	int id = 0;
	for (UTL_remote_cmd* c = UTL_remote_cmd::cmd_list; c; c = c->next)
		if (std::string(c->name) == "Reload Pixel Shaders...") id = c->id;
	ASSERT_NE(id, 0);
	UTL_remote_cmd::invoke(nullptr, id);
	uint32_t p = draw();
	EXPECT_EQ(px_r(p), 0);
	EXPECT_EQ(px_b(p), 255);
	OGL_shader::unbind_shaders();
	EXPECT_TRUE(alerts.alerts().empty());
}

TEST_F(Shaders, ArbProgramLoadsBindsAndDraws)
{
	write("green.afp", kArbGreen);
	OGL_shader_prog prog(0, "green.afp");
	EXPECT_EQ(prog.path, "Resources/shaders/green.afp");
	prog.bind();
	EXPECT_EQ(OGL_shader_prog::current_shader[0], &prog);
	uint32_t p = draw();
	EXPECT_EQ(px_g(p), 255);
	EXPECT_EQ(px_r(p), 0);
	OGL_shader_prog::unbind_shaders();
	EXPECT_EQ(OGL_shader_prog::current_shader[0], nullptr);
	EXPECT_FALSE(glIsEnabled(GL_FRAGMENT_PROGRAM_ARB));
	EXPECT_TRUE(alerts.alerts().empty());
}

TEST_F(Shaders, ArbSyntaxErrorShowsItsPositionAndDoesNotLoop)
{
	write("broken.afp", kArbBroken);
	set_options({"--fps_test"});
	OGL_shader_prog unattended(0, "broken.afp");
	auto a = alerts.alerts();
	ASSERT_EQ(a.size(), 1u);
	EXPECT_EQ(a[0].type, 1);
	EXPECT_EQ(a[0].line1, "There was an error with your fragment program");
	char* end = nullptr;
	const double position = std::strtod(a[0].line2.c_str(), &end);
	EXPECT_EQ(*end, '\0') << a[0].line2;
	EXPECT_GE(position, 0.0);
	EXPECT_FALSE(a[0].line4.empty());

	alerts.clear();
	set_options({});
	OGL_shader_prog watched(0, "broken.afp");
	EXPECT_EQ(alerts.alerts().size(), 11u);
}

TEST_F(Shaders, AlertBoxResetUnbindsThroughTheClasses)
{
	write("green.afp", kArbGreen);
	OGL_shader s("plain.vs", "red.fs", nullptr, nullptr);
	OGL_shader_prog prog(0, "green.afp");
	s.bind();
	prog.bind();
	DIDIVI_unbind_shaders();
	EXPECT_EQ(OGL_shader::current_shader, nullptr);
	EXPECT_EQ(OGL_shader_prog::current_shader[0], nullptr);
	EXPECT_EQ(bound_program(), 0u);
	// The next bind reaches GL again.
	s.bind();
	EXPECT_EQ(bound_program(), s.program);
	OGL_shader::unbind_shaders();

	// Without the extras' function the reset still unbinds, straight through GL.
	shader_unbind_fn installed = DIDIVI_set_shader_unbind(nullptr);
	glExt.glUseProgramObjectARB(s.program);
	DIDIVI_unbind_shaders();
	EXPECT_EQ(bound_program(), 0u);
	DIDIVI_set_shader_unbind(installed);
}

}  // namespace
