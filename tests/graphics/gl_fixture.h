#pragma once
// A drawing test's world: a headless context of the given size, the window record set up
// for it as start-up would (window 0, interface metrics, 2-D projection), and the
// palette, renderer and window records put back as they were when the test ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "graphics/colr.h"
#include "graphics/oglp.h"
#include "graphics/tman.h"
#include "runtime/hl_globals.h"
#include "support/gl_pixels.h"
#include "support/gl_test_context.h"
#include "support/gl_world.h"

class GlDraw : public ::testing::Test {
protected:
	void open(int w = 1024, int h = 768, int window = 0)
	{
		gl = open_bare_gl_world(w, h, window);
		if (!gl->ok()) return;
		// Start-up has the interface atlas loaded before anything draws; a clear one here,
		// which text tests replace with atlases of their own.
		constexpr int kAtlasSide = 512, kInterfaceFlags = 0x502;
		std::fill(tman_scratch(), tman_scratch() + kAtlasSide * kAtlasSide * 4, 0);
		scratch_dx = scratch_dy = kAtlasSide;
		tman.load_texture(tex_fail_fatal, t_interface, kInterfaceFlags, tex_loaded, "scratch_array-interface atlas (test)");
		OGL_pix_specs(0);
		if (window < 0) OGL_viewport(2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1.0f, 0);
		gl_clear_to(0, 0, 0);
	}
	void TearDown() override
	{
		gl.reset();
		colr = saved_colr;
		ren.night_mode = saved_night;
		ren.global_alpha = saved_alpha;
		ren.tex_units = saved_units;
		mnw = saved_mnw;
	}

	std::unique_ptr<GlTestContext> gl;

private:
	colr_class saved_colr = colr;
	int saved_night = ren.night_mode;
	float saved_alpha = ren.global_alpha;
	int saved_units = ren.tex_units;
	mnw_struct saved_mnw = mnw;
};

#define KX_OPEN_GL(...)         \
	do {                        \
		open(__VA_ARGS__);      \
		KX_REQUIRE_GL(*gl);     \
	} while (0)

constexpr rgba8 black_px{0, 0, 0, -1};
constexpr rgba8 white_px{255, 255, 255, -1};

#include <cstdint>
#include <vector>

#include "graphics/tman.h"

// Points the scratch image at its storage, as start-up does.
inline void point_scratch_at_storage()
{
	const uintptr_t p = reinterpret_cast<uintptr_t>(scratch_array_storage);
	scratch_array = scratch_array_storage + ((16 - p % 16) % 16);
}

// Uploads a 512 x 512 RGBA atlas (first stored row first) as the interface texture,
// through the texture manager's scratch upload.
inline void upload_interface_atlas(const std::vector<unsigned char>& atlas)
{
	point_scratch_at_storage();
	std::copy(atlas.begin(), atlas.end(), scratch_array);
	scratch_dx = scratch_dy = 512;
	// The flags start-up gives the interface atlas: RGBA, always full size.
	constexpr int kInterfaceFlags = 0x502;
	tman.load_texture(tex_fail_fatal, t_interface, kInterfaceFlags, tex_loaded, "scratch_array-interface atlas (test)");
}
