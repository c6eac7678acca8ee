#pragma once
// A clean shell for each test: a sandbox home, the scripted window, the fakes reset,
// the records back at their start values, and every hook start-up installs taken out
// again afterwards.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "graphics/colr.h"
#include "graphics/oglp.h"
#include "graphics/tman.h"
#include "platform/plat_window.h"
#include "runtime/cmdline.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_dialogs.h"
#include "runtime/hl_exception.h"
#include "runtime/hl_globals.h"
#include "runtime/io_utils.h"
#include "runtime/rec_glext.h"
#include "runtime/xtim.h"
#include "shell/OGL_extensions.h"
#include "shell/hl_alerts.h"
#include "shell/hl_init.h"
#include "shell/hl_mnw.h"
#include "support/fakes/fakes.h"
#include "support/scripted_window.h"
#include "support/test_env.h"

namespace kx_test {

// A renderer as the probe reads it.
inline std::vector<std::string>& fake_missing_procs()
{
	static std::vector<std::string> m;
	return m;
}

struct FakeRenderer {
	std::string vendor = "Mesa", renderer = "llvmpipe", version = "2.1 Mesa", extensions = "GL_ARB_multitexture";
	GLint ints[4] = {8, 8, 0, 2048};  // texture units, image units, texture coords, max texture size
	GLint program_instructions = 512;
	bool null_strings = false;
};
inline FakeRenderer& fake_renderer()
{
	static FakeRenderer r;
	return r;
}

inline void fake_get_program(GLenum, GLenum, GLint* out) { *out = fake_renderer().program_instructions; }
// Stands in for every other entry point; the shell only ever calls ones that take
// integers and return nothing.
inline void fake_gl_noop() {}

inline OGL_probe fake_probe()
{
	OGL_probe p;
	p.get_string = [](GLenum name) -> const char* {
		const FakeRenderer& r = fake_renderer();
		if (r.null_strings) return nullptr;
		switch (name) {
		case GL_VENDOR: return r.vendor.c_str();
		case GL_RENDERER: return r.renderer.c_str();
		case GL_VERSION: return r.version.c_str();
		case GL_EXTENSIONS: return r.extensions.c_str();
		default: return nullptr;
		}
	};
	p.get_integer = [](GLenum name, GLint* out) {
		const FakeRenderer& r = fake_renderer();
		switch (name) {
		case GL_MAX_TEXTURE_UNITS_ARB: *out = r.ints[0]; break;
		case GL_MAX_TEXTURE_IMAGE_UNITS_ARB: *out = r.ints[1]; break;
		case GL_MAX_TEXTURE_COORDS_ARB: *out = r.ints[2]; break;
		case GL_MAX_TEXTURE_SIZE: *out = r.ints[3]; break;
		default: *out = 1; break;
		}
	};
	p.get_float = [](GLenum, GLfloat* out) { out[0] = out[1] = 1.0f; };
	// Every entry point exists, except those named in `missing`; the program query
	// answers with the scripted instruction limit.
	p.proc = [](const char* name) -> void* {
		for (const auto& m : fake_missing_procs())
			if (m == name) return nullptr;
		if (std::string(name) == "glGetProgramivARB") return reinterpret_cast<void*>(&fake_get_program);
		return reinterpret_cast<void*>(&fake_gl_noop);
	};
	p.library = OGL_default_probe().library;
	return p;
}

class ShellTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		char buf[PATH_MAX];
		cwd_ = getcwd(buf, sizeof(buf)) ? buf : "";
		kx_fake::reset();
		mnw = mnw_struct{};
		stls.ui_str[stls_alert_button] = "OK";
		stls.mouse_help.clear();
		menu.assign(menu_slot_count, menu_struct{});
		cmdline = UTL_cmdline{};
		glExt = OGL_extensions{};
		release_gl_library();
		app_done = 0;
		return_hit = escape_hit = delete_hit = 0;
		quit_requested = 0;
		popup_menu_select = active_popup_code = select_popup_code = 0;
		DIDIVI_reset_init_state();
		fake_renderer() = FakeRenderer{};
		fake_missing_procs().clear();
		old_probe_ = OGL_set_probe(fake_probe());
		// What start-up leaves for the drawing layer: the scratch image and the built-in
		// atlases, whose font the alert box and the hover help draw with.
		const auto base = reinterpret_cast<std::uintptr_t>(scratch_array_storage);
		scratch_array = scratch_array_storage + ((16 - base % 16) % 16);
		TEX_load_builtin_textures();
		// Frames end in the scripted window; the fakes' scripts count its swaps.
		OGL_set_swap_hook(swap_backend);
		kx_fake::frame_source = [this] { return win.frame(); };
	}
	static void swap_backend() { plat_window().swap(); }
	// Each test starts as a fresh run would: without the OpenGL library loaded.
	static void release_gl_library()
	{
		if (gBundleRefOpenGL) dlclose(gBundleRefOpenGL);
		gBundleRefOpenGL = nullptr;
	}

	void TearDown() override
	{
		THREAD_shutdown();
		OGL_set_probe(old_probe_);
		OGL_set_swap_hook(nullptr);
		kx_fake::frame_source = nullptr;
		DIDIVI_set_alert_presenter(nullptr);
		DIDIVI_set_alert_forwarder(nullptr);
		DIDIVI_set_finishup(nullptr);
		xtim_set_pulse_hook(nullptr);
		xtim_set_unfocus_hook(nullptr);
		opensave_set_cmd_lister(nullptr);
		HL_set_dialog_pump(nullptr);
		HL_set_dialog_drop_input(nullptr);
		HL_set_tool_pump(nullptr);
		xer.close();
		if (!cwd_.empty() && chdir(cwd_.c_str()) != 0) ADD_FAILURE() << "cannot go back to " << cwd_;
	}

	// Start-up with these arguments after the program name.
	void start(std::vector<std::string> args = {})
	{
		args.insert(args.begin(), "kestrix-installer");
		std::vector<const char*> argv;
		for (const auto& a : args) argv.push_back(a.c_str());
		DIDIVI_init(int(argv.size()), argv.data());
	}

	std::string log() { return read_file(env.path("home/Desktop/Kestrix Installer Log.txt")); }

	// Stops the language chooser of start-up: Accept in its first frame.
	void answer_chooser() { kx_fake::fire_button("Accept", 0); }

	TempEnv env;
	ScriptedWindow win{1024, 768, 200};

private:
	std::string cwd_;
	OGL_probe old_probe_{};
};

}  // namespace kx_test
