#include "runtime/cmdline.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "runtime/hl_globals.h"

UTL_cmdline cmdline;

namespace {
// Constant-initialised: the shell may install its source from any initialiser.
constinit UTL_cmdline_cmnd_source g_cmnd_source{nullptr, nullptr};

const char kUsage[] =
	"Usage: Kestrix [options...]\n"
	"\n"
	"Options take the form --flag or --flag=value.\n"
	"\n"
	"--help, -h                  Print this message, then quit.\n"
	"--no_sound                  Run without sound.\n"
	"\n"
	"OPTIONS TO DISABLE HARDWARE ACCELERATION\n"
	"--no_vbos                   Do not use vertex buffer objects.\n"
	"--no_fbos                   Do not use framebuffer objects.\n"
	"--no_pbos                   Do not use pixel buffer objects.\n"
	"--no_sprites                Do not use point sprites.\n"
	"--no_pixel_counters         Do not use occlusion queries.\n"
	"--no_aniso_filtering        Do not use anisotropic texture filtering.\n"
	"--no_hw_mipmap              Do not build mipmaps in hardware.\n"
	"--no_fshaders               Do not use fragment shaders.\n"
	"--no_vshaders               Do not use vertex shaders.\n"
	"--no_glsl                   Do not use GLSL shaders.\n"
	"--no_threaded_ogl           Do not use OpenGL from worker threads.\n"
	"\n"
	"OPTIONS TO ENABLE INCOMPATIBLE HARDWARE ACCELERATION\n"
	"--use_vbos                  Use vertex buffer objects even where they are known to fail.\n"
	"--use_sprites               Use point sprites even where they are known to fail.\n"
	"--use_fshaders              Use fragment shaders even where they are known to fail.\n"
	"--use_vshaders              Use vertex shaders even where they are known to fail.\n"
	"--use_glsl                  Use GLSL shaders even where they are known to fail.\n"
	"--force_run                 Run even on hardware that is below the minimum.\n"
	"\n"
	"FRAMERATE TEST\n"
	"--fps_test=n                Run frame-rate test n; the preferences file is ignored.\n"
	"--require_fps=n             After --fps_test, pass or fail against n frames per second.";
}  // namespace

const char* UTL_cmdline_usage() { return kUsage; }

void UTL_cmdline_set_cmnd_source(UTL_cmdline_cmnd_source src) { g_cmnd_source = src; }

void UTL_cmdline::add_option(const std::string& key, const std::string& value)
{
	auto it = opts_.find(key);
	if (it != opts_.end()) {
		xer << "WARNING: command line option " << key << "=" << value << "included twice.\n";
		it->second = value;
	} else {
		opts_.emplace(key, value);
	}
	if (value.empty())
		xer << "     '" << key << "'\n";
	else
		xer << "     '" << key << "'='" << value << "'\n";
}

void UTL_cmdline::init_unix(int argc, const char** argv)
{
	for (int n = 1; n < argc; ++n) {
		const std::string arg = argv[n] ? argv[n] : "";
		const size_t eq = arg.find('=');
		if (eq == std::string::npos)
			add_option(arg, std::string());
		else
			add_option(arg.substr(0, eq), arg.substr(eq + 1));
	}
	init_common();
}

void UTL_cmdline::init_win(const char* line)
{
	const auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
	const char* p = line ? line : "";
	while (*p) {
		while (*p && space(*p)) ++p;
		if (!*p) break;
		const char* k = p;
		while (*p && *p != '=' && !space(*p)) ++p;
		std::string key(k, p);
		std::string value;
		if (*p == '=') {
			const char* v = ++p;
			while (*p && !space(*p)) ++p;
			value.assign(v, p);
		}
		add_option(key, value);
	}
	init_common();
}

void UTL_cmdline::init_common()
{
	if (has_option("--cmnds")) {
		const std::string which = get_option("--cmnds");
		if (which == "all") {
			std::vector<std::pair<std::string, std::string>> all;
			if (g_cmnd_source.list_all) g_cmnd_source.list_all(all);
			for (const auto& c : all) std::printf("%-50s %s\n", c.first.c_str(), c.second.c_str());
		} else {
			std::vector<std::string> names;
			if (g_cmnd_source.list_in_path) g_cmnd_source.list_in_path(which, names);
			for (const auto& n : names) std::printf("%s\n", n.c_str());
		}
		std::fflush(stdout);
		std::exit(0);
	}
	if (has_option("-h") || has_option("--help")) {
		std::printf("%s\n", kUsage);
		std::fflush(stdout);
		std::exit(0);
	}
}

int UTL_cmdline::has_option(const char* key) const { return opts_.count(key ? key : "") ? 1 : 0; }

std::string UTL_cmdline::get_option(const char* key) const
{
	auto it = opts_.find(key ? key : "");
	return it == opts_.end() ? std::string() : it->second;
}
