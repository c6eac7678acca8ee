#pragma once
// What a drawing test above the drawing layer stands on: a headless context, a texture
// manager that starts over with it and holds the built-in atlases as start-up uploads
// them, and the interface metrics of window 0. Header only: the test support library
// stays below the drawing layer.
#include <memory>

#include "graphics/oglp.h"
#include "graphics/tman.h"
#include "runtime/hl_globals.h"
#include "support/gl_test_context.h"

// A headless context with window `window`'s record of its size, and a texture manager
// that starts over with it (a new context knows no textures) and holds nothing yet.
inline std::unique_ptr<GlTestContext> open_bare_gl_world(int width, int height, int window = 0)
{
	constexpr int kTextureUnits = 4;
	auto gl = std::make_unique<GlTestContext>(width, height);
	if (!gl->ok()) return gl;
	mnw.res_x = width;
	mnw.res_y = height;
	mnw.current_window = window;
	mnw.dialog_x = mnw.dialog_y = 0;
	ren.tex_units = kTextureUnits;
	tman.ref_dat.clear();
	tman.loaded_texes = tman.total_texes = 0;
	tex_hash.clear();
	tman.reset_bind();
	return gl;
}

inline std::unique_ptr<GlTestContext> open_gl_world(int width, int height)
{
	auto gl = open_bare_gl_world(width, height);
	if (!gl->ok()) return gl;
	TEX_load_builtin_textures();
	OGL_pix_specs(0);
	return gl;
}
