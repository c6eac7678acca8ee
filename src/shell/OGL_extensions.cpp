// OpenGL capability detection: flags from the version and the extension string,
// renderer workarounds, entry points, limits, command-line switches, the log report and
// the minimum test.
#include "shell/OGL_extensions.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>

#include "platform/plat_window.h"
#include "runtime/cmdline.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_product.h"

namespace {

const char* gl_string(GLenum name) { return reinterpret_cast<const char*>(glGetString(name)); }
void gl_integer(GLenum name, GLint* out) { glGetIntegerv(name, out); }
void gl_float(GLenum name, GLfloat* out) { glGetFloatv(name, out); }

// The library the window's OpenGL context comes from.
const char* const kOpenGLLibrary = "libGL.so.1";

const OGL_probe kDefaultProbe = {gl_string, gl_integer, gl_float, plat_gl_proc, kOpenGLLibrary};
OGL_probe g_probe = kDefaultProbe;

const char* const kSource = "VAvered/OGL/OGL_extensions";
constexpr int kThreadedLine = 637;
constexpr int kMinimumLine = 590;
constexpr int kSoftwareLine = 601;

// Version strings that do not parse as "%d.%d".
struct version_row {
	const char* prefix;
	int code;
};
const version_row kVersionPrefixes[] = {{"1.1", 110}, {"1.2", 120}, {"1.3", 130}, {"1.4", 140},
                                        {"1.5", 150}, {"2.0", 200}, {"2.1", 210}};
constexpr int kUnknownVersion = 100;
constexpr int kMajorFactor = 100;
constexpr int kMinorFactor = 10;
constexpr int kNever = 0;  // a flag no version gives

// Flags from the version code or the extension string.
struct flag_row {
	int OGL_extensions::*flag;
	int min_code;  // kNever: only the extension string gives it
	const char* ext1;
	const char* ext2;  // a second name that gives it too, or null
};
const flag_row kFlagRules[] = {
	{&OGL_extensions::multitex_avail, 130, "GL_ARB_multitexture", nullptr},
	{&OGL_extensions::tex_clamp_avail, 120, "GL_EXT_texture_edge_clamp", "GL_SGIS_texture_edge_clamp"},
	{&OGL_extensions::add_env_avail, 130, "GL_ARB_texture_env_add", "GL_EXT_texture_env_add"},
	{&OGL_extensions::combine_avail, 130, "GL_ARB_texture_env_combine", "GL_EXT_texture_env_combine"},
	{&OGL_extensions::dis_fog_avail, kNever, "GL_NV_fog_distance", nullptr},
	{&OGL_extensions::tex_comp_avail, 130, "GL_ARB_texture_compression", nullptr},
	{&OGL_extensions::vbo_avail, 150, "GL_ARB_vertex_buffer_object", nullptr},
	{&OGL_extensions::pbo_avail, 210, "GL_ARB_pixel_buffer_object", nullptr},
	{&OGL_extensions::vprog_avail, kNever, "GL_ARB_vertex_program", nullptr},
	{&OGL_extensions::fprog_avail, kNever, "GL_ARB_fragment_program", nullptr},
	{&OGL_extensions::automini_avail, 140, "GL_SGIS_generate_mipmap", nullptr},
	{&OGL_extensions::aniso_avail, kNever, "GL_EXT_texture_filter_anisotropic", nullptr},
	{&OGL_extensions::fsaa_avail, 130, "GL_ARB_multisample", nullptr},
	{&OGL_extensions::sprites_avail, 200, "GL_ARB_point_sprite", nullptr},
	{&OGL_extensions::depth_tex_avail, 140, "GL_ARB_depth_texture", nullptr},
	{&OGL_extensions::occlude_avail, 150, "GL_ARB_occlusion_query", nullptr},
	{&OGL_extensions::shad_objs_avail, 200, "GL_ARB_shader_objects", nullptr},
	{&OGL_extensions::vshader_avail, 200, "GL_ARB_vertex_shader", nullptr},
	{&OGL_extensions::fshader_avail, 200, "GL_ARB_fragment_shader", nullptr},
	{&OGL_extensions::gshader_avail, kNever, "GL_EXT_geometry_shader4", nullptr},
	{&OGL_extensions::glsl_avail, 200, "GL_ARB_shading_language_100", nullptr},
	{&OGL_extensions::framebuf_avail, kNever, "GL_EXT_framebuffer_object", nullptr},
};
const char* const kSblendExts[] = {"GL_EXT_blend_func_separate", "GL_EXT_blend_equation_separate"};

// Renderers whose point sprites misbehave (whole-name comparison).
const char* const kBadSpriteRenderers[] = {"ATI Radeon HD 2600 PRO OpenGL Engine",
                                           "ATI Radeon HD 2400 XT OpenGL Engine"};
const char* const kGma950 = "Intel GMA 950 OpenGL Engine";
const char* const kNvidia = "NVIDIA";
const char* const kNvFragmentProgram2 = "GL_NV_fragment_program2";

// Dependencies: the flag is cleared when the prerequisite is missing.
struct dep_row {
	int OGL_extensions::*flag;
	int OGL_extensions::*needs;
};
const dep_row kDependencies[] = {
	{&OGL_extensions::fprog_avail, &OGL_extensions::vprog_avail},
	{&OGL_extensions::fshader_avail, &OGL_extensions::shad_objs_avail},
	{&OGL_extensions::vshader_avail, &OGL_extensions::shad_objs_avail},
	{&OGL_extensions::gshader_avail, &OGL_extensions::shad_objs_avail},
	{&OGL_extensions::glsl_avail, &OGL_extensions::vshader_avail},
	{&OGL_extensions::glsl_avail, &OGL_extensions::fshader_avail},
};

// Command-line switches and the flags they clear.
struct switch_row {
	const char* option;
	int OGL_extensions::*flag1;
	int OGL_extensions::*flag2;  // or null
};
const switch_row kSwitches[] = {
	{"--no_vbos", &OGL_extensions::vbo_avail, &OGL_extensions::pbo_avail},
	{"--no_pbos", &OGL_extensions::pbo_avail, nullptr},
	{"--no_sprites", &OGL_extensions::sprites_avail, nullptr},
	{"--no_pixel_counters", &OGL_extensions::occlude_avail, nullptr},
	{"--no_aniso_filtering", &OGL_extensions::aniso_avail, nullptr},
	{"--no_hw_mipmap", &OGL_extensions::automini_avail, nullptr},
	{"--no_vshaders", &OGL_extensions::vprog_avail, nullptr},
	{"--no_fshaders", &OGL_extensions::fprog_avail, nullptr},
	{"--no_glsl", &OGL_extensions::glsl_avail, nullptr},
	{"--no_fbos", &OGL_extensions::framebuf_avail, nullptr},
	{"--no_threaded_ogl", &OGL_extensions::threaded_avail, nullptr},
	{"--no_sblend", &OGL_extensions::sblend_avail, nullptr},
};

constexpr int kFirstGenInstructionLimit = 99;
constexpr GLenum kProgNativeInstructions = GL_MAX_PROGRAM_NATIVE_INSTRUCTIONS_ARB;
constexpr GLenum kProgNativeAlu = GL_MAX_PROGRAM_NATIVE_ALU_INSTRUCTIONS_ARB;
constexpr GLenum kProgNativeTex = GL_MAX_PROGRAM_NATIVE_TEX_INSTRUCTIONS_ARB;
constexpr GLenum kProgNativeIndirections = GL_MAX_PROGRAM_NATIVE_TEX_INDIRECTIONS_ARB;
constexpr GLenum kMaxAnisotropy = GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT;

// Software renderers the user is warned about (whole-name comparison).
const char* const kSoftwareRenderers[] = {"GENERIC", "Generic", "generic", "Mesa GLX Indirect"};

const char* const kMinimumLine1 =
	"Your graphics hardware cannot support Kestrix. Kestrix requires a graphics card with 16 MB of VRAM and "
	"multitexturing.";
constexpr int kMinimumMultitexFreeCode = 109;

bool has(const char* haystack, const char* needle) { return haystack && std::strstr(haystack, needle); }
bool opt(const char* key) { return cmdline.has_option(key) != 0; }

// What detection read, for the report.
struct limits {
	GLint vp_instructions = 0;
	GLint fp[4] = {0, 0, 0, 0};
	GLint vs[5] = {0, 0, 0, 0, 0};
	GLint fs_uniforms = 0;
	GLfloat point_size[2] = {0, 0};
};

GLint get_int(GLenum name)
{
	GLint v = 0;
	if (g_probe.get_integer) g_probe.get_integer(name, &v);
	return v;
}

void pbo_needs_vbo(OGL_extensions& e)
{
	if (e.pbo_avail && !e.vbo_avail) {
		xer << "Disabling PBOs because VBOs are not available.  This probably means that VBOs are disabled for "
		       "compatibility reasons.\n";
		e.pbo_avail = 0;
	}
}

void lookup_entry_points(OGL_extensions& e)
{
	// Every name of a family is looked up even after a miss, so the log lists them all.
#define KX_LOOKUP_ONE(type, name)                                            \
	e.name = reinterpret_cast<type>(g_probe.proc ? g_probe.proc(#name) : nullptr); \
	if (!e.name) {                                                           \
		xer << "WARNING: extension missing proc " << #name << "\n";         \
		missing = true;                                                      \
	}
#define KX_LOOKUP_FAMILY(flag, family)        \
	if (e.flag) {                             \
		bool missing = false;                 \
		family(KX_LOOKUP_ONE) if (missing) e.flag = 0; \
	}                                         \
	if (std::string_view(#flag) == "vbo_avail") pbo_needs_vbo(e);
	KX_GLEXT_FAMILIES(KX_LOOKUP_FAMILY)
#undef KX_LOOKUP_FAMILY
#undef KX_LOOKUP_ONE
}

}  // namespace

OGL_probe OGL_default_probe() { return kDefaultProbe; }

OGL_probe OGL_set_probe(const OGL_probe& p)
{
	OGL_probe old = g_probe;
	g_probe = p;
	return old;
}

int OGL_version_code(const char* version)
{
	if (!version) return kUnknownVersion;
	int major = 0, minor = 0;
	if (std::sscanf(version, "%d.%d", &major, &minor) == 2) return major * kMajorFactor + minor * kMinorFactor;
	for (const auto& r : kVersionPrefixes)
		if (std::strncmp(version, r.prefix, 3) == 0) return r.code;
	return kUnknownVersion;
}

CFBundleRef gBundleRefOpenGL = nullptr;

int OGL_extensions::init_entry_points()
{
	// Every context the program makes asks; the library stays loaded for the run, so the
	// first load is the only one.
	if (gBundleRefOpenGL) return 0;
	constexpr int kAlertsOn = 1;
	return load_bundle_by_filename(g_probe.library, kAlertsOn, &gBundleRefOpenGL);
}

void OGL_extensions::threaded_ogl_failed()
{
	if (!threaded_avail) return;
	threaded_avail = 0;
	__DIDIVI_alert(0, "There was a problem setting up OpenGL.",
	               "You can still fly, but you may experience pauses during flight while scenery loads.", "",
	               "(Please send your log.txt file to Corvane Labs for debugging purposes.)", t_alert, kSource,
	               kThreadedLine);
}

void OGL_extensions::init_extensions()
{
	OGL_extensions& e = *this;
	// 1. The strings; a driver that gives none reads as empty.
	auto read = [](GLenum name) {
		const char* s = g_probe.get_string ? g_probe.get_string(name) : nullptr;
		return s ? s : "";
	};
	ren.gl_vendor = read(GL_VENDOR);
	ren.gl_renderer = read(GL_RENDERER);
	ren.gl_version = read(GL_VERSION);
	ren.gl_extensions = read(GL_EXTENSIONS);
	const char* ext = ren.gl_extensions;
	const char* renderer = ren.gl_renderer;

	// 2, 3. Version code and flags.
	const int code = OGL_version_code(ren.gl_version);
	for (const auto& r : kFlagRules) {
		const bool by_version = r.min_code != kNever && code >= r.min_code;
		e.*r.flag = by_version || has(ext, r.ext1) || (r.ext2 && has(ext, r.ext2));
	}
	e.sblend_avail = has(ext, kSblendExts[0]) && has(ext, kSblendExts[1]);

	// 4. Renderer workarounds. The system-version rules need a Mac OS version, which
	// this system does not have, so they never apply.
	if (e.glsl_avail && has(renderer, kGma950) && !opt("--use_glsl")) {
		xer << "Disabling GLSL for GMA 950.\n";
		e.glsl_avail = 0;
	}
	for (const char* bad : kBadSpriteRenderers) {
		if (e.sprites_avail && std::strcmp(renderer, bad) == 0 && !opt("--use_sprites")) {
			xer << "Disabling point sprites for Radeon HD on OS X.\n";
			e.sprites_avail = 0;
		}
	}
	if (e.glsl_avail && has(ren.gl_vendor, kNvidia) && !has(ext, kNvFragmentProgram2)) e.first_gen_shaders = 1;

	// 5. Entry points.
	lookup_entry_points(e);

	// 6. Dependencies.
	for (const auto& d : kDependencies)
		if (!(e.*d.needs)) e.*d.flag = 0;

	// 7. Program limits.
	limits lim;
	if (e.fprog_avail && e.glGetProgramivARB) {
		const GLenum names[4] = {kProgNativeInstructions, kProgNativeAlu, kProgNativeTex, kProgNativeIndirections};
		for (int i = 0; i < 4; ++i) e.glGetProgramivARB(GL_FRAGMENT_PROGRAM_ARB, names[i], &lim.fp[i]);
		if (lim.fp[0] == 0 && !opt("--use_fprogs")) e.fprog_avail = 0;
		if (lim.fp[0] <= kFirstGenInstructionLimit) e.first_gen_shaders = 1;
	}
	if (e.vprog_avail && e.glGetProgramivARB) {
		e.glGetProgramivARB(GL_VERTEX_PROGRAM_ARB, kProgNativeInstructions, &lim.vp_instructions);
		if (lim.vp_instructions == 0 && !opt("--use_vprogs")) e.vprog_avail = 0;
	}
	if (e.vshader_avail) {
		const GLenum names[5] = {GL_MAX_VERTEX_ATTRIBS_ARB, GL_MAX_VERTEX_UNIFORM_COMPONENTS_ARB,
		                         GL_MAX_VARYING_FLOATS_ARB, GL_MAX_VERTEX_TEXTURE_IMAGE_UNITS_ARB,
		                         GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS_ARB};
		for (int i = 0; i < 5; ++i) lim.vs[i] = get_int(names[i]);
	}
	if (e.fshader_avail) lim.fs_uniforms = get_int(GL_MAX_FRAGMENT_UNIFORM_COMPONENTS_ARB);

	// 8. Renderer limits.
	ren.max_aniso = 1.0f;
	ren.tex_units = get_int(GL_MAX_TEXTURE_UNITS_ARB);
	if (e.fprog_avail) ren.image_units = get_int(GL_MAX_TEXTURE_IMAGE_UNITS_ARB);
	if (e.vprog_avail) ren.tex_coords = get_int(GL_MAX_TEXTURE_COORDS_ARB);
	if (e.aniso_avail && g_probe.get_float) g_probe.get_float(kMaxAnisotropy, &ren.max_aniso);
	e.max_tex_size = get_int(GL_MAX_TEXTURE_SIZE);
	if (g_probe.get_float) g_probe.get_float(GL_POINT_SIZE_RANGE, lim.point_size);
	if (ren.tex_units == 0) ren.tex_units = 1;

	// 9. Switches; threaded OpenGL is never used here, whatever they say.
	for (const auto& s : kSwitches) {
		if (!opt(s.option)) continue;
		e.*s.flag1 = 0;
		if (s.flag2) e.*s.flag2 = 0;
	}
	e.threaded_avail = 0;

	// 10. The report. Limits read as integers are printed as numbers, never as raw bits.
	const char* glsl_version = g_probe.get_string ? g_probe.get_string(GL_SHADING_LANGUAGE_VERSION_ARB) : nullptr;
	std::ostringstream r;
	r << std::fixed;  // the log writes its floats in fixed-point notation
	r << "OpenGL Vendor    : " << ren.gl_vendor << "\n";
	r << "OpenGL Render    : " << ren.gl_renderer << "\n";
	r << "OpenGL Version   : " << ren.gl_version << " (" << code << ")\n";
	r << "OpenGL Extensions: " << ren.gl_extensions << "\n";
	auto line = [&r](const char* label, int value) -> std::ostringstream& {
		r << label << value;
		return r;
	};
	line("tex_clamp_avail  : ", e.tex_clamp_avail) << "\n";
	line("add_env_avail    : ", e.add_env_avail) << "\n";
	line("combine_avail    : ", e.combine_avail) << "\n";
	line("dis_fog_avail    : ", e.dis_fog_avail) << "\n";
	line("tex_comp_avail   : ", e.tex_comp_avail) << "\n";
	line("vbo_avail        : ", e.vbo_avail) << "\n";
	line("pbo_avail        : ", e.pbo_avail) << "\n";
	line("vprog_avail      : ", e.vprog_avail) << " (" << lim.vp_instructions << ")\n";
	line("fprog_avail      : ", e.fprog_avail) << " (" << lim.fp[0] << "/" << lim.fp[1] << "/" << lim.fp[2] << "/"
	                                           << lim.fp[3] << ")\n";
	line("automini_avail   : ", e.automini_avail) << "\n";
	line("aniso_avail      : ", e.aniso_avail) << "\n";
	line("fsaa_avail       : ", e.fsaa_avail) << "\n";
	line("sprites_avail    : ", e.sprites_avail) << "\n";
	line("depth_tex_avail  : ", e.depth_tex_avail) << "\n";
	line("occlude_avail    : ", e.occlude_avail) << "\n";
	line("shad_objs_avail  : ", e.shad_objs_avail) << "\n";
	line("vshader_avail    : ", e.vshader_avail) << " (" << lim.vs[0] << "/" << lim.vs[1] << "/" << lim.vs[2] << "/"
	                                             << lim.vs[3] << "/" << lim.vs[4] << ")\n";
	line("fshader_avail    : ", e.fshader_avail) << " (" << lim.fs_uniforms << ")\n";
	line("gshader_avail    : ", e.gshader_avail) << "\n";
	line("glsl_avail       : ", e.glsl_avail) << " (" << (glsl_version ? glsl_version : "<null string>") << ")\n";
	line("framebuf_avail   : ", e.framebuf_avail) << "\n";
	line("sblend_avail     : ", e.sblend_avail) << "\n";
	line("threaded_avail   : ", e.threaded_avail) << "\n";
	line("first-gen shaders: ", e.first_gen_shaders) << "\n";
	r << "max tex units    : " << ren.tex_units << " (" << ren.image_units << "/" << ren.tex_coords << ")\n";
	r << "max iso filtering: " << ren.max_aniso << "\n";
	r << "max texture size : " << e.max_tex_size << "\n";
	r << "max point size   : " << lim.point_size[1] << "\n";
	xer << xer_own(r.str()) << std::flush;

	// 11.
	if (e.glsl_avail) ren.tex_units = std::max(ren.tex_units, ren.image_units);

	// 12. The minimum.
	if (!e.multitex_avail && code <= kMinimumMultitexFreeCode) {
		const std::string site = std::string("Please see ") + maker_web_address +
		                         " for system requirements and technical support.";
		if (opt("--force_run"))
			__DIDIVI_alert(0, kMinimumLine1, "Your system does not meet Kestrix's hardware requirements.",
			               "You have used the force-run command inline option to run Kestrix anyway, but it may "
			               "crash.",
			               site, t_alert, kSource, kMinimumLine);
		else
			__DIDIVI_alert(0, kMinimumLine1, "First, try updating your graphics drivers.",
			               "If this does not help, check your graphics card specifications.",
			               std::string("For help, write to ") + maker_support_mail + ".", t_exit, kSource,
			               kMinimumLine);
	}

	// 13. Software renderers.
	for (const char* sw : kSoftwareRenderers) {
		if (std::strcmp(renderer, sw) != 0) continue;
		__DIDIVI_alert(0,
		               "I can not find a 3-D accelerator card that can handle OpenGL that has correctly installed "
		               "drivers.",
		               "I will still let you run the simulator, but the frame rate will NOT allow for a good "
		               "simulation.",
		               "Please run the software-rendering edition of Kestrix, or get a 3-D accelerator card that can "
		               "handle OpenGL.",
		               std::string("See ") + maker_web_address + " for a list of compatible 3-D video cards.", t_alert,
		               kSource, kSoftwareLine);
		break;
	}
}
