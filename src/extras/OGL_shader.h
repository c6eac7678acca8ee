#pragma once
// Programmable shading: GLSL programs built from a vertex and a fragment file with a
// generated preamble (OGL_shader), families of GLSL variants chosen by flag values and
// built on first use (OGL_shader_conditional), and ARB assembly programs
// (OGL_shader_prog). Every live object is in its class's set, so all can be reloaded at
// once; the remote command "Reload Pixel Shaders..." reloads every GLSL program.
// Binding what is already bound costs no GL call. Main (GL) thread only.
#include <GL/gl.h>
#include <GL/glext.h>

#include <set>
#include <string>
#include <vector>

class OGL_shader {
public:
	OGL_shader(const std::string& vs, const std::string& fs, const char* prefix,
	           const std::vector<std::string>& uniforms);
	// uniforms: null-terminated, may be null.
	OGL_shader(const char* vs, const char* fs, const char* prefix, const char** uniforms);
	~OGL_shader();
	OGL_shader(const OGL_shader&) = delete;
	OGL_shader& operator=(const OGL_shader&) = delete;

	void bind();
	static void unbind_shaders();
	// Location of uniform i; out of range throws std::out_of_range.
	long get_uniform_loc(int i);
	// Compiles and links again from the files. A failure is a quitting alert when
	// non_fatal is 0; otherwise it is shown and the reload tried again, so that the
	// sources can be mended meanwhile.
	void reload(int non_fatal);
	static void reload_all_shaders(int non_fatal);

	GLhandleARB program;
	GLhandleARB vertex_obj;
	GLhandleARB fragment_obj;
	std::string vertex_path;    // "Resources/shaders/" + the file name
	std::string fragment_path;
	std::string prefix;         // "// no prefix\n" when none
	std::vector<std::string> uniform_names;
	std::vector<long> uniform_locs;

	static std::set<OGL_shader*> shaders;
	static OGL_shader* current_shader;

private:
	void init(const std::string& vs, const std::string& fs, const char* prefix);
	// One pass of the reload; true when everything compiled and linked.
	bool build_once();
	bool compile(GLhandleARB* obj, GLenum type, const std::string& path);
	std::string full_prefix() const;
};

class OGL_shader_conditional {
public:
	// Arrays null-terminated (uniforms and flags may be null); counts holds one entry
	// per flag, or is null for two values each.
	OGL_shader_conditional(const char* vs, const char* fs, const char** uniforms, const char** flags,
	                       const int* counts, const char* prefix);
	~OGL_shader_conditional();
	OGL_shader_conditional(const OGL_shader_conditional&) = delete;
	OGL_shader_conditional& operator=(const OGL_shader_conditional&) = delete;

	// Mixed radix over the flags, flag 0 least significant.
	int id_from_flags(int* values);
	// Returns the number of flags.
	int flags_from_id(int id, int* values);
	void bind(int id);
	long get_uniform_loc(int id, int i);
	void build(int id);
	// The prefix variant id is built with.
	std::string variant_prefix(int id);

	std::string base_prefix;
	std::string vertex_name;
	std::string fragment_name;
	std::vector<std::string> uniform_names;
	std::vector<std::string> flag_names;
	std::vector<int> value_counts;
	std::vector<OGL_shader*> variants;

private:
	void check_id(int id);
};

class OGL_shader_prog {
public:
	// type 0 a fragment program, 1 a vertex program; name is a file under Resources/shaders/.
	OGL_shader_prog(int type, const char* name);
	~OGL_shader_prog();
	OGL_shader_prog(const OGL_shader_prog&) = delete;
	OGL_shader_prog& operator=(const OGL_shader_prog&) = delete;

	void bind();
	static void unbind_shaders();
	void reload(int unused);
	static void reload_all_shaders(int unused);

	GLuint id;
	int type;
	std::string path;

	static std::set<OGL_shader_prog*> shaders;
	static OGL_shader_prog* current_shader[2];
};

// The remote command's callback: every GLSL program again, failures shown and retried.
void do_reload();
