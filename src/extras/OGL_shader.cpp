#include "extras/OGL_shader.h"

#include <cstdio>
#include <stdexcept>

#include "runtime/UTL_stat.h"
#include "runtime/cmdline.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_globals.h"
#include "runtime/rec_glext.h"
#include "runtime/xmap.h"
#include "shell/hl_shader_hook.h"

std::set<OGL_shader*> OGL_shader::shaders;
OGL_shader* OGL_shader::current_shader = nullptr;
std::set<OGL_shader_prog*> OGL_shader_prog::shaders;
OGL_shader_prog* OGL_shader_prog::current_shader[2] = {nullptr, nullptr};

namespace {

const char* const kShaderFolder = "Resources/shaders/";
const char* const kNoPrefix = "// no prefix\n";
// Names the platform the program runs on for the shader sources.
const char* const kPlatformPreamble = "#define APL 0\n#define IBM 0\n#define LIN 1\n";
const char* const kLimited[2] = {"#define LIMITED 0\n", "#define LIMITED 1\n"};
// A failed reload is shown and tried again this many times at most: a person may be
// mending the sources meanwhile, but nobody waits for ever.
constexpr int kMaxRetries = 10;
// Nobody reads the alerts under this option, so nobody mends anything between tries.
const char* const kUnattended = "--fps_test";

const GLenum shader_types[2] = {GL_FRAGMENT_PROGRAM_ARB, GL_VERTEX_PROGRAM_ARB};
enum { prog_fragment = 0, prog_vertex = 1 };

enum shader_text {
	tx_no_file,
	tx_rerun,
	tx_glsl_problem,
	tx_glsl_drivers,
	tx_prog_no_file,
	tx_reinstall,
	tx_prog_error,
	tx_bad_variant,
};
const char* const kTexts[] = {
	"We were unable to load the shader file:",
	"Re-run the Kestrix installer/updater to correct this problem.",
	"There was a problem processing a GLSL pixel shader.",
	"You may need to rerun the installer or update your graphics drivers.",
	"Unable to load shader",
	"You may need to reinstall Kestrix.",
	"There was an error with your fragment program",
	"Shader variant out of range!",
};
const char* tx(shader_text t) { return kTexts[t]; }

void alert(const std::string& l1, const std::string& l2, const std::string& l3, const std::string& l4, int type,
           int line)
{
	__DIDIVI_alert(0, l1, l2, l3, l4, type, "OGL_shader", line);
}

std::string preamble() { return std::string(kPlatformPreamble) + kLimited[glExt.first_gen_shaders ? 1 : 0]; }

// Writes an object's info log to the log under name, with the prefix it was built with.
void log_shader_obj(const std::string& name, const std::string& prefix, GLhandleARB obj)
{
	GLint length = 0;
	glExt.glGetObjectParameterivARB(obj, GL_OBJECT_INFO_LOG_LENGTH_ARB, &length);
	std::string info(length > 0 ? length + 1 : 1, '\0');
	GLsizei written = 0;
	// The length counts the terminator: a limit of that length keeps every character.
	if (length > 0) glExt.glGetInfoLogARB(obj, length, &written, info.data());
	info.resize(written > 0 ? written : 0);
	xer << "=====" << name << "=====\n"
	    << "   (prefix:\n" << xer_own(prefix) << "end prefix)\n" << xer_own(info) << "\n";
	xer.flush();
}

void unbind_every_shader()
{
	OGL_shader::unbind_shaders();
	OGL_shader_prog::unbind_shaders();
}

// The alert box's GL reset goes through the classes, so that they know nothing is bound.
[[maybe_unused]] const bool unbind_installed = (DIDIVI_set_shader_unbind(unbind_every_shader), true);

UTL_remote_cmd reload_cmd("Reload Pixel Shaders...", do_reload);

}  // namespace

void do_reload() { OGL_shader::reload_all_shaders(1); }

// ---- OGL_shader ----

OGL_shader::OGL_shader(const std::string& vs, const std::string& fs, const char* pre,
                       const std::vector<std::string>& uniforms)
	: uniform_names(uniforms)
{
	init(vs, fs, pre);
}

OGL_shader::OGL_shader(const char* vs, const char* fs, const char* pre, const char** uniforms)
{
	for (const char** u = uniforms; u && *u; ++u) uniform_names.push_back(*u);
	init(vs ? vs : "", fs ? fs : "", pre);
}

void OGL_shader::init(const std::string& vs, const std::string& fs, const char* pre)
{
	shaders.insert(this);
	vertex_path = kShaderFolder + vs;
	fragment_path = kShaderFolder + fs;
	prefix = pre && *pre ? pre : kNoPrefix;
	program = glExt.glCreateProgramObjectARB();
	vertex_obj = fragment_obj = 0;
	uniform_locs.assign(uniform_names.size(), -1);
	try {
		reload(0);
	} catch (...) {
		// A quitting alert that unwinds (tests make it throw) must not leave a dead
		// object in the set.
		shaders.erase(this);
		if (vertex_obj) glExt.glDeleteObjectARB(vertex_obj);
		if (fragment_obj) glExt.glDeleteObjectARB(fragment_obj);
		glExt.glDeleteObjectARB(program);
		throw;
	}
}

OGL_shader::~OGL_shader()
{
	// A program deleted while in use lives on in GL until unbound, and the record of
	// the bound program would point at nothing.
	if (current_shader == this) unbind_shaders();
	shaders.erase(this);
	if (vertex_obj) glExt.glDeleteObjectARB(vertex_obj);
	if (fragment_obj) glExt.glDeleteObjectARB(fragment_obj);
	if (program) glExt.glDeleteObjectARB(program);
}

void OGL_shader::bind()
{
	if (current_shader == this) return;
	glExt.glUseProgramObjectARB(program);
	current_shader = this;
}

void OGL_shader::unbind_shaders()
{
	if (!current_shader) return;
	glExt.glUseProgramObjectARB(0);
	current_shader = nullptr;
}

long OGL_shader::get_uniform_loc(int i) { return uniform_locs.at(i); }

std::string OGL_shader::full_prefix() const { return preamble() + prefix; }

bool OGL_shader::compile(GLhandleARB* obj, GLenum type, const std::string& path)
{
	if (*obj) {
		glExt.glDetachObjectARB(program, *obj);
		glExt.glDeleteObjectARB(*obj);
	}
	*obj = glExt.glCreateShaderObjectARB(type);
	xmap_class file(path);
	if (!file.begin) {
		alert(tx(tx_no_file), path, "", tx(tx_rerun), t_exit, __LINE__);
		return false;
	}
	const std::string pre = preamble();
	const GLcharARB* sources[3] = {pre.c_str(), prefix.c_str(), file.begin};
	const GLint lengths[3] = {GLint(pre.size()), GLint(prefix.size()), GLint(file.end - file.begin)};
	glExt.glShaderSourceARB(*obj, 3, sources, lengths);
	glExt.glCompileShaderARB(*obj);
	GLint compiled = 0;
	glExt.glGetObjectParameterivARB(*obj, GL_OBJECT_COMPILE_STATUS_ARB, &compiled);
	if (!compiled) log_shader_obj(path, full_prefix(), *obj);
	glExt.glAttachObjectARB(program, *obj);
	return compiled != 0;
}

bool OGL_shader::build_once()
{
	bool ok = compile(&vertex_obj, GL_VERTEX_SHADER_ARB, vertex_path);
	ok = compile(&fragment_obj, GL_FRAGMENT_SHADER_ARB, fragment_path) && ok;
	glExt.glLinkProgramARB(program);
	GLint linked = 0;
	glExt.glGetObjectParameterivARB(program, GL_OBJECT_LINK_STATUS_ARB, &linked);
	if (!linked) {
		log_shader_obj(vertex_path + "+" + fragment_path, full_prefix(), program);
		ok = false;
	}
	for (size_t i = 0; i < uniform_names.size(); ++i)
		uniform_locs[i] = glExt.glGetUniformLocationARB(program, uniform_names[i].c_str());
	return ok;
}

void OGL_shader::reload(int non_fatal)
{
	for (int retries = 0;; ++retries) {
		if (build_once()) return;
		alert(tx(tx_glsl_problem), tx(tx_glsl_drivers), vertex_path, fragment_path, non_fatal ? t_alert : t_exit,
		      __LINE__);
		if (cmdline.has_option(kUnattended) || retries >= kMaxRetries) return;
	}
}

void OGL_shader::reload_all_shaders(int non_fatal)
{
	for (OGL_shader* s : shaders) s->reload(non_fatal);
}

// ---- OGL_shader_conditional ----

OGL_shader_conditional::OGL_shader_conditional(const char* vs, const char* fs, const char** uniforms,
                                               const char** flags, const int* counts, const char* pre)
	: base_prefix(pre ? pre : ""), vertex_name(vs ? vs : ""), fragment_name(fs ? fs : "")
{
	for (const char** u = uniforms; u && *u; ++u) uniform_names.push_back(*u);
	for (const char** f = flags; f && *f; ++f) flag_names.push_back(*f);
	int total = 1;
	for (size_t i = 0; i < flag_names.size(); ++i) {
		value_counts.push_back(counts ? counts[i] : 2);
		total *= value_counts.back();
	}
	variants.assign(total, nullptr);
}

OGL_shader_conditional::~OGL_shader_conditional()
{
	for (OGL_shader* v : variants) delete v;
}

int OGL_shader_conditional::id_from_flags(int* values)
{
	int id = 0, place = 1;
	for (size_t i = 0; i < value_counts.size(); ++i) {
		id += values[i] * place;
		place *= value_counts[i];
	}
	return id;
}

int OGL_shader_conditional::flags_from_id(int id, int* values)
{
	for (size_t i = 0; i < value_counts.size(); ++i) {
		values[i] = id % value_counts[i];
		id /= value_counts[i];
	}
	return int(value_counts.size());
}

std::string OGL_shader_conditional::variant_prefix(int id)
{
	std::vector<int> values(value_counts.size());
	flags_from_id(id, values.data());
	std::string text = base_prefix;
	for (size_t i = 0; i < flag_names.size(); ++i)
		text += "#define " + flag_names[i] + " " + std::to_string(values[i]) + "\n";
	return text;
}

void OGL_shader_conditional::check_id(int id)
{
	if (id >= 0 && id < int(variants.size())) return;
	alert(tx(tx_bad_variant), vertex_name + "+" + fragment_name, "id=" + std::to_string(id), "", t_exit,
	      __LINE__);
	throw std::out_of_range("shader variant");
}

void OGL_shader_conditional::build(int id)
{
	check_id(id);
	const std::string text = variant_prefix(id);
	variants[id] = new OGL_shader(vertex_name, fragment_name, text.c_str(), uniform_names);
}

void OGL_shader_conditional::bind(int id)
{
	check_id(id);
	if (!variants[id]) build(id);
	variants[id]->bind();
}

long OGL_shader_conditional::get_uniform_loc(int id, int i)
{
	check_id(id);
	if (!variants[id]) build(id);
	return variants[id]->get_uniform_loc(i);
}

// ---- OGL_shader_prog ----

OGL_shader_prog::OGL_shader_prog(int t, const char* name) : id(0), type(t), path(kShaderFolder + std::string(name))
{
	shaders.insert(this);
	glExt.glGenProgramsARB(1, &id);
	reload(0);
}

OGL_shader_prog::~OGL_shader_prog()
{
	if (current_shader[type] == this) {
		glDisable(shader_types[type]);
		glExt.glBindProgramARB(shader_types[type], 0);
		current_shader[type] = nullptr;
	}
	glExt.glDeleteProgramsARB(1, &id);
	shaders.erase(this);
}

void OGL_shader_prog::bind()
{
	if (current_shader[type] == this) return;
	glEnable(shader_types[type]);
	glExt.glBindProgramARB(shader_types[type], id);
	current_shader[type] = this;
}

void OGL_shader_prog::unbind_shaders()
{
	for (int t : {prog_fragment, prog_vertex}) {
		if (!current_shader[t]) continue;
		glDisable(shader_types[t]);
		glExt.glBindProgramARB(shader_types[t], 0);
		current_shader[t] = nullptr;
	}
}

void OGL_shader_prog::reload(int)
{
	const GLenum target = shader_types[type];
	auto rebind_current = [&] {
		glExt.glBindProgramARB(target, current_shader[type] ? current_shader[type]->id : 0);
	};
	glExt.glBindProgramARB(target, id);
	for (int retries = 0;; ++retries) {
		xmap_class file(path);
		if (!file.begin) {
			alert(tx(tx_prog_no_file), path, "", tx(tx_reinstall), t_exit, __LINE__);
			rebind_current();
			return;
		}
		// Errors left by earlier calls are not this program's.
		while (glGetError() != GL_NO_ERROR) {
		}
		glExt.glProgramStringARB(target, GL_PROGRAM_FORMAT_ASCII_ARB, GLsizei(file.end - file.begin), file.begin);
		if (glGetError() == GL_NO_ERROR) {
			GLint native = 1;
			glExt.glGetProgramivARB(target, GL_PROGRAM_UNDER_NATIVE_LIMITS_ARB, &native);
			if (!native) xer << "Warning: pixel shader " << path << " not under native limits.\n";
			rebind_current();
			return;
		}
		GLint position = -1;
		glGetIntegerv(GL_PROGRAM_ERROR_POSITION_ARB, &position);
		const char* what = reinterpret_cast<const char*>(glGetString(GL_PROGRAM_ERROR_STRING_ARB));
		if (position == -1) {
			// Without a position the text is not at fault: submitting it again would
			// fail the same way for ever.
			xer << "ERROR: program " << path << " was refused: " << (what ? what : "") << "\n";
			rebind_current();
			return;
		}
		char where[64];
		std::snprintf(where, sizeof where, "%f", double(position));
		alert(tx(tx_prog_error), where, "", what ? what : "", t_alert, __LINE__);
		if (cmdline.has_option(kUnattended) || retries >= kMaxRetries) {
			rebind_current();
			return;
		}
	}
}

void OGL_shader_prog::reload_all_shaders(int unused)
{
	for (OGL_shader_prog* p : shaders) p->reload(unused);
}
