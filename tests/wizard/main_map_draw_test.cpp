// The world map as it reaches the screen: the base map, the upper image over available
// tiles in palette colour 49 at alpha 1 when selected and 0.5 when not, nothing over
// unavailable tiles; the image buttons under it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "engine/install_fixture.h"
#include "graphics/builtin_tex.h"
#include "graphics/colr.h"
#include "graphics/oglp.h"
#include "runtime/hl_globals.h"
#include "support/gl_pixels.h"
#include "support/gl_world.h"
#include "support/test_env.h"
#include "wizard/main_map.h"

namespace {

constexpr int kMapTexels = 504;  // the atlas's stored width and height
constexpr int kUpper = 252;      // the upper image's first row
constexpr int kTile = 14;
constexpr int kTol = 3;
constexpr int kColour = 49;

struct rgbf {
	float r, g, b, a;
};

rgbf texel(int s, int t)
{
	const unsigned char* p = g_tex_map + (size_t(t) * kMapTexels + s) * 4;
	return {p[0] / 255.0f, p[1] / 255.0f, p[2] / 255.0f, p[3] / 255.0f};
}

// src over dst with the source's alpha.
rgbf over(rgbf src, rgbf dst)
{
	return {src.r * src.a + dst.r * (1 - src.a), src.g * src.a + dst.g * (1 - src.a),
	        src.b * src.a + dst.b * (1 - src.a), 1};
}

class MapDraw : public ::testing::Test {
protected:
	MapDraw()
	{
		kx_install_test::reset_engine_state();
		std::fill(std::begin(stg.scenery_available), std::end(stg.scenery_available), 0);
		mnw.mouse_x = mnw.mouse_y = -1000;
		mnw.mouse_down = mnw.mouse_held = 0;
		saved = {colr.palette[kColour][0], colr.palette[kColour][1], colr.palette[kColour][2], 1};
		// A colour of its own, so that the entry's part shows in every channel.
		colr.assign(kColour, 1.0f, 0.5f, 0.25f);
	}
	~MapDraw() override
	{
		colr.assign(kColour, saved.r, saved.g, saved.b);
		kx_install_test::reset_engine_state();
	}

	// The pixel expected at (dx, dy) inside tile (c, r): the base map over black, and
	// the tile's upper image in colour 49 at `alpha` over that (none when negative).
	static rgbf expected(int c, int r, int dx, int dy, float alpha)
	{
		const int s = kTile * c + dx, t = kTile * r + dy;
		rgbf px = over(texel(s, t), {0, 0, 0, 1});
		if (alpha < 0) return px;
		rgbf up = texel(s, kUpper + t);
		up = {up.r * colr.palette[kColour][0], up.g * colr.palette[kColour][1], up.b * colr.palette[kColour][2],
		      up.a * alpha};
		return over(up, px);
	}
	::testing::AssertionResult tile_is(int c, int r, float alpha)
	{
		for (int dy = 2; dy < kTile - 2; dy += 3)
			for (int dx = 2; dx < kTile - 2; dx += 3) {
				const int x = int(kMapLeft) + kTile * c + dx, y = int(kMapBottom) + kTile * r + dy;
				const rgbf want = expected(c, r, dx, dy, alpha);
				const uint32_t p = gl.pixel(x, y);
				const int got[3] = {px_r(p), px_g(p), px_b(p)};
				const int w[3] = {int(std::lround(want.r * 255)), int(std::lround(want.g * 255)),
				                  int(std::lround(want.b * 255))};
				for (int k = 0; k < 3; ++k)
					if (std::abs(got[k] - w[k]) > kTol) {
						gl_dump_png(gl);
						return ::testing::AssertionFailure()
						       << "tile (" << c << ", " << r << ") pixel (" << x << ", " << y << ") channel " << k
						       << ": " << got[k] << ", expected " << w[k];
					}
			}
		return ::testing::AssertionSuccess();
	}

	std::unique_ptr<GlTestContext> world = open_gl_world(1024, 768);
	GlTestContext& gl = *world;
	rgbf saved;
};

TEST_F(MapDraw, AvailableTilesInColour49ByTheirChoiceAndNothingElsewhere)
{
	KX_REQUIRE_GL(gl);
	// Three available tiles, the middle one deselected; (20, 5) is not available.
	const int tiles[3][2] = {{10, 13}, {11, 13}, {30, 2}};
	for (auto& t : tiles) stg.scenery_available[stg_tile(t[1], t[0])] = 1;
	std::fill(std::begin(stg.scenery_selected), std::end(stg.scenery_selected), 1);
	stg.scenery_selected[stg_tile(13, 11)] = 0;
	gl_clear_to(0, 0, 0);
	UTIL_world_map();
	EXPECT_TRUE(tile_is(10, 13, 1.0f));
	EXPECT_TRUE(tile_is(11, 13, 0.5f));
	EXPECT_TRUE(tile_is(30, 2, 1.0f));
	EXPECT_TRUE(tile_is(20, 5, -1.0f));
	EXPECT_TRUE(tile_is(12, 13, -1.0f));
}

TEST_F(MapDraw, AClickDeselectsItsTileAndTheButtonsSelectOrClearEverything)
{
	KX_REQUIRE_GL(gl);
	stg.scenery_available[stg_tile(13, 10)] = 1;
	std::fill(std::begin(stg.scenery_selected), std::end(stg.scenery_selected), 1);
	const map_rect t = UTIL_map_tile(10, 13, 0, 0);
	mnw.mouse_x = (t.x0 + t.x1) / 2;
	mnw.mouse_y = (t.y0 + t.y1) / 2;
	mnw.mouse_down = mnw.mouse_held = 1;
	UTIL_world_map();
	EXPECT_EQ(stg.scenery_selected[stg_tile(13, 10)], 0);
	EXPECT_EQ(stg.scenery_selected[stg_tile(13, 11)], 1);
	// Still held on the next frame, off the map: a drag, black at half alpha, no change
	// under the button.
	mnw.mouse_down = 0;
	mnw.mouse_x = 480;
	mnw.mouse_y = 130;
	UTIL_world_map();
	mnw.mouse_held = 0;
	UTIL_world_map();
	const int before = int(std::count(std::begin(stg.scenery_selected), std::end(stg.scenery_selected), 0));
	EXPECT_GT(before, 1);  // the drag reached from the tile down to the button
	// Select all (470..584 by 120..142), then clear (620..752).
	mnw.mouse_down = mnw.mouse_held = 1;
	UTIL_world_map();
	EXPECT_EQ(std::count(std::begin(stg.scenery_selected), std::end(stg.scenery_selected), 1), stg_tile_count);
	mnw.mouse_x = 700;
	UTIL_world_map();
	EXPECT_EQ(std::count(std::begin(stg.scenery_selected), std::end(stg.scenery_selected), 0), stg_tile_count);
	mnw.mouse_down = mnw.mouse_held = 0;
}

// The size block is no part of the screen's own fields: the trace gets it as a line of
// its own, once per change, so a driver outside can see the totals move.
TEST_F(MapDraw, TheSizeBlockReachesTheTraceOncePerChange)
{
	KX_REQUIRE_GL(gl);
	kx_test::TempEnv env;
	const std::string file = env.path("trace.jsonl");
	kx_test::ScopedEnvVar on("KESTRIX_SCREEN_TRACE", file.c_str());
	dest_dir_path = env.path("new copy/");
	stg.kb_to_install = 816.0f;
	for (int frame = 0; frame < 3; ++frame) UTIL_disk_space("Enough.", "Short.");
	stg.kb_to_install = 756.0f;
	UTIL_disk_space("Enough.", "Short.");
	const std::string trace = kx_test::read_file(file);
	EXPECT_EQ(std::count(trace.begin(), trace.end(), '\n'), 2) << trace;
	const size_t first = trace.find("\"sizes\": \"Disk size: ");
	ASSERT_NE(first, std::string::npos) << trace;
	EXPECT_NE(trace.find("Disk space needed to install: 816 KB.\\n\\nEnough.\"}"), std::string::npos) << trace;
	EXPECT_NE(trace.find("Disk space needed to install: 756 KB.\\n\\nEnough.\"}", first + 1), std::string::npos)
	    << trace;
	dest_dir_path.clear();
}

}  // namespace
