// The embedded atlases against the layouts the program cuts from them, and their upload
// at start-up with the interface colours taken from the legend.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "graphics/builtin_tex.h"
#include "graphics/colr.h"
#include "graphics/ogl_draw.h"
#include "graphics/TEX_utils.h"
#include "graphics/tman.h"
#include "runtime/rec_glext.h"
#include "runtime/rec_mnw.h"
#include "runtime/rec_ren.h"
#include "support/gl_test_context.h"

namespace {

struct Atlas {
	const unsigned char* px;
	int w, h, ch;
	const unsigned char* at(int x, int y) const { return px + (std::size_t(y) * w + x) * ch; }
	int alpha(int x, int y) const { return ch == 4 ? at(x, y)[3] : 255; }
};

const Atlas kInterface{g_tex_interface, 512, 512, 4};
const Atlas kElements{g_tex_elements, 1024, 70, 4};
const Atlas kMap{g_tex_map, 504, 504, 4};

// The glyph cells of the interface font, rows from the bottom; "\xB0" stands for 0xFB's
// cell, which shows a degree sign.
const char* const kGlyphRows[5] = {
	" 0123456789AaBbCcDdEe",
	"FfGgHhIiJjKkLlMmNnOoP",
	"pQqRrSsTtUuVvWwXxYyZz",
	"!@#$%^&*()-_+=[]|\\':;",
	"<.>,?/`\xFB\xC1\xE1\xC9\xE9\xCD\xED\xD3\xF3\xDA\xFA\xD1\xF1\xBF",
};
constexpr int kCellW = 14, kCellH = 15;

struct Rect {
	std::string name, atlas;
	int s, t, w, h;
};

std::vector<Rect> layout()
{
	const char* src = std::getenv("KX_SOURCE_DIR");
	std::ifstream f(std::string(src ? src : KX_TEST_SOURCE_DIR) + "/assets/builtin/layout.txt");
	std::vector<Rect> out;
	std::string line;
	while (std::getline(f, line)) {
		line = line.substr(0, line.find('#'));
		std::istringstream in(line);
		Rect r;
		if (in >> r.name >> r.atlas >> r.s >> r.t >> r.w >> r.h) out.push_back(r);
	}
	return out;
}

struct Swatch {
	int x, y;
	unsigned char r, g, b;
	int entry;
};
const Swatch kSwatches[] = {
	{319, 155, 51, 67, 86, 34},    {319, 147, 78, 78, 73, 35},   {319, 139, 13, 27, 44, 36},
	{319, 131, 125, 126, 121, 37}, {319, 123, 255, 255, 255, 38}, {319, 115, 238, 238, 238, 40},
	{319, 107, 13, 27, 44, 41},    {319, 99, 93, 99, 110, 42},    {319, 91, 34, 41, 53, 43},
	{319, 83, 39, 44, 52, 45},     {319, 75, 36, 43, 53, 46},     {319, 67, 127, 220, 175, 47},
	{395, 115, 220, 220, 220, 44},
};

}  // namespace

TEST(BuiltinAtlas, SizesAndFontCells)
{
	EXPECT_EQ(sizeof g_tex_interface, 512u * 512 * 4);
	EXPECT_EQ(sizeof g_tex_elements, 1024u * 70 * 4);
	EXPECT_EQ(sizeof g_tex_map, 504u * 504 * 4);
	EXPECT_EQ(sizeof g_tex_background, 800u * 600 * 3);
	for (int y = 0; y < kCellH; ++y)
		for (int x = 0; x < kCellW; ++x) ASSERT_EQ(kInterface.alpha(x, y), 0) << "cell (0,0) holds the blank space";
	for (int row = 0; row < 5; ++row)
		for (int col = 0; col < 21; ++col) {
			const unsigned char c = static_cast<unsigned char>(kGlyphRows[row][col]);
			const int adv = ui_char_advance[c];
			int ink = 0;
			for (int y = 0; y < kCellH; ++y)
				for (int x = 0; x < kCellW; ++x) {
					const unsigned char* p = kInterface.at(col * kCellW + x, row * kCellH + y);
					if (!p[3]) continue;
					++ink;
					EXPECT_LT(x, adv) << "glyph 0x" << std::hex << int(c) << " inks column " << std::dec << x;
					EXPECT_EQ(p[0], 255);
				}
			if (c != ' ') {
				EXPECT_GT(ink, 0) << "glyph 0x" << std::hex << int(c) << " is empty";
			}
		}
	// The bars that reach one row past the top sample row 0 there: it stays empty.
	for (int x = 1; x <= 202; ++x) ASSERT_EQ(kInterface.alpha(x, 0), 0) << x;
}

TEST(BuiltinAtlas, LegendSwatchesCarryTheirExactBytes)
{
	for (const Swatch& s : kSwatches)
		for (int dy = -3; dy <= 3; ++dy)
			for (int dx = -3; dx <= 3; ++dx) {
				const unsigned char* p = kInterface.at(s.x + dx, s.y + dy);
				ASSERT_EQ(p[0], s.r) << s.entry;
				ASSERT_EQ(p[1], s.g) << s.entry;
				ASSERT_EQ(p[2], s.b) << s.entry;
				ASSERT_EQ(p[3], 255) << s.entry;
			}
}

TEST(BuiltinAtlas, EveryCutRectangleIsInkedAndNoneOverlap)
{
	const std::vector<Rect> rects = layout();
	ASSERT_GT(rects.size(), 40u) << "layout.txt not found";
	for (const Rect& r : rects) {
		const Atlas& a = r.atlas == "interface" ? kInterface : kElements;
		ASSERT_LE(r.s + r.w, a.w) << r.name;
		ASSERT_LE(r.t + r.h, a.h) << r.name;
		int ink = 0;
		for (int y = r.t; y < r.t + r.h; ++y)
			for (int x = r.s; x < r.s + r.w; ++x) ink += a.alpha(x, y) != 0;
		EXPECT_GT(ink, 0) << r.name << " is empty";
	}
	for (std::size_t i = 0; i < rects.size(); ++i)
		for (std::size_t j = i + 1; j < rects.size(); ++j) {
			const Rect &a = rects[i], &b = rects[j];
			if (a.atlas != b.atlas) continue;
			const bool apart = a.s + a.w <= b.s || b.s + b.w <= a.s || a.t + a.h <= b.t || b.t + b.h <= a.t;
			EXPECT_TRUE(apart) << a.name << " overlaps " << b.name;
		}
	// The two labels the wizard does not use are painted in their spans, in all three
	// looks, and nothing lies between the labels.
	for (const auto& [x0, x1] : {std::pair{512, 618}, std::pair{633, 712}})
		for (int band : {0, 23, 46}) {
			int ink = 0;
			for (int y = band; y < band + 23; ++y)
				for (int x = x0; x <= x1; ++x) ink += kElements.alpha(x, y) != 0;
			EXPECT_GT(ink, 100) << "the label at " << x0 << " in the band at " << band;
		}
	for (int y = 0; y < 70; ++y)
		for (int x : {505, 625, 720, 900}) ASSERT_EQ(kElements.alpha(x, y), 0) << x << "," << y;
	// The small-icon strip: symbols along y 75..93 beside the list's icons.
	int strip = 0;
	for (int y = 75; y <= 93; ++y)
		for (int x = 114; x < 300; ++x) strip += kInterface.alpha(x, y) != 0;
	EXPECT_GT(strip, 400);
}

// The window frame (the boxes' frame, sprite frame2_11 at s 1, t 358, 100 square): its
// edge line and the lit line under it run along the whole top, the middle that the frame
// tiles across a box as well as the corners.
TEST(BuiltinAtlas, TheWindowFrameEdgeRunsAlongItsWholeTop)
{
	constexpr int kS = 1, kSize = 100, kTop = 358 + kSize - 1;
	for (int row : {kTop, kTop - 1}) {
		const int from = row == kTop ? kS : kS + 1, to = row == kTop ? kS + kSize - 1 : kS + kSize - 2;
		const unsigned char* corner = kInterface.at(from, row);
		for (int x = from; x <= to; ++x)
			for (int c = 0; c < 4; ++c)
				ASSERT_EQ(kInterface.at(x, row)[c], corner[c]) << "row " << row << ", column " << x;
	}
}

TEST(BuiltinAtlas, MapIsOpaqueWithItsTwoHalves)
{
	for (int y = 0; y < 504; ++y)
		for (int x = 0; x < 504; ++x) ASSERT_EQ(kMap.alpha(x, y), 255) << x << "," << y;
	// The plain lower half is white land on grey sea, darker on the first row and column
	// of each tile: inside a tile it holds only those two colours.
	int grey = 0, white = 0;
	for (int y = 1; y < 252; ++y)
		for (int x = 1; x < 504; ++x) {
			if (x % 14 == 0 || y % 14 == 0) continue;
			const unsigned char* p = kMap.at(x, y);
			grey += p[0] == 128 && p[1] == 128 && p[2] == 128;
			white += p[0] == 255 && p[1] == 255 && p[2] == 255;
		}
	EXPECT_EQ(grey + white, 503 * 251 - (503 / 14) * 251 - (251 / 14) * (503 - 503 / 14));
	EXPECT_GT(grey, white) << "more sea than land";
	EXPECT_LT(kMap.at(14, 20)[0], 255);
	// South at the bottom: the bottom row of the plain map is Antarctica.
	EXPECT_EQ(kMap.at(100, 1)[0], 255);
	EXPECT_EQ(kMap.at(205, 157)[0], 128) << "the middle of the Atlantic (35 W, 20 N) is sea";
}

namespace {

class BuiltinGl : public ::testing::Test {
protected:
	void SetUp() override
	{
		KX_REQUIRE_GL(gl);
		GlTestContext::fill_glext_entry_points();
		glExt.tex_comp_avail = 1;
		glExt.combine_avail = 1;
		glExt.max_tex_size = 2048;
		GLint units = 1;
		glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
		ren.tex_units = std::min(units, tex_unit_count);
		TEX_reset_bind();
		tex_hash.clear();
		// What an earlier load left in the scratch image must not go up as padding.
		if (!scratch_array) scratch_array = scratch_array_storage;
		std::fill(scratch_array, scratch_array + 1024 * 1024 * 3, 0xFF);
	}
	void TearDown() override
	{
		std::lock_guard<std::recursive_mutex> hold(tman.lock);
		for (int r : {t_interface, t_elements, t_world_map, t_background})
			if (std::size_t(r) < tman.ref_dat.size()) tman.unload_texture_internal(r, 0);
		tex_hash.clear();
		mnw.texture_res = 5;
	}
	GlTestContext gl{128, 64};
};

}  // namespace

TEST_F(BuiltinGl, UploadsAtEveryResolutionAndSamplesTheLegend)
{
	for (int res : {5, 0}) {
		mnw.texture_res = res;
		std::fill(scratch_array, scratch_array + 1024 * 1024 * 3, 0xFF);
		TEX_load_builtin_textures();
		// The background's padding went up as zeros, not as what the scratch held.
		std::vector<unsigned char> tex(1024 * 1024 * 4);
		glBindTexture(GL_TEXTURE_2D, t_background);
		glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, tex.data());
		TEX_reset_bind();
		EXPECT_EQ(tex[(10 * 1024 + 900) * 4], 0);
		EXPECT_EQ(tex[(700 * 1024 + 10) * 4], 0);
		EXPECT_EQ(tex[(10 * 1024 + 10) * 4], g_tex_background[(10 * 800 + 10) * 3]);
		struct Want {
			int ref, iw, ih, tw, th;
		} want[] = {{395, 800, 600, 1024, 1024}, {393, 1024, 70, 1024, 128}, {394, 504, 504, 512, 512},
		            {392, 512, 512, 512, 512}};
		for (const Want& w : want) {
			const auto& r = tman.ref_dat[w.ref];
			EXPECT_EQ(r.img_dx, w.iw) << w.ref << " at level " << res;
			EXPECT_EQ(r.img_dy, w.ih) << w.ref;
			EXPECT_EQ(r.tex_dx, w.tw) << w.ref;
			EXPECT_EQ(r.tex_dy, w.th) << w.ref;
			EXPECT_EQ(r.tex_id, w.ref);
		}
	}
	for (const Swatch& s : kSwatches) {
		EXPECT_FLOAT_EQ(colr.palette[s.entry][0], s.r / 255.0f) << s.entry;
		EXPECT_FLOAT_EQ(colr.palette[s.entry][2], s.b / 255.0f) << s.entry;
	}
	EXPECT_FLOAT_EQ(colr.palette[39][0], (78 + 255) / 2.0f / 255.0f);
	EXPECT_FLOAT_EQ(colr.palette[39][2], (73 + 255) / 2.0f / 255.0f);
	// The atlases share one name; freeing one keeps the name of the others.
	{
		std::lock_guard<std::recursive_mutex> hold(tman.lock);
		tman.unload_texture_internal(t_interface, 0);
		EXPECT_EQ(tex_hash.count("scratch_array:hardwired textures"), 1u);
	}
}

TEST_F(BuiltinGl, QuitButtonDrawnOneToOneIsItsAtlasBytes)
{
	TEX_load_builtin_textures();
	// QUIT as the wizard cuts it: x 1..51, rows 46..68 of the elements atlas.
	constexpr int u = 1, v = 46, w = 50, h = 22;
	glMatrixMode(GL_PROJECTION);
	glLoadIdentity();
	glOrtho(0, 128, 0, 64, -1, 1);
	glMatrixMode(GL_MODELVIEW);
	glLoadIdentity();
	glDisable(GL_BLEND);
	glEnable(GL_TEXTURE_2D);
	tman.bind_ref(t_elements, 0, GL_REPLACE);
	glBegin(GL_QUADS);
	glTexCoord2f(u / 1024.0f, v / 128.0f), glVertex2f(0, 0);
	glTexCoord2f(u / 1024.0f, (v + h) / 128.0f), glVertex2f(0, h);
	glTexCoord2f((u + w) / 1024.0f, (v + h) / 128.0f), glVertex2f(w, h);
	glTexCoord2f((u + w) / 1024.0f, v / 128.0f), glVertex2f(w, 0);
	glEnd();
	glFinish();
	int ink = 0;
	for (int y = 0; y < h; ++y)
		for (int x = 0; x < w; ++x) {
			const uint32_t p = gl.pixel(x, y);
			const unsigned char* a = kElements.at(u + x, v + y);
			ASSERT_NEAR(px_r(p), a[0], 1) << x << "," << y;
			ASSERT_NEAR(px_g(p), a[1], 1) << x << "," << y;
			ASSERT_NEAR(px_b(p), a[2], 1) << x << "," << y;
			ASSERT_NEAR(px_a(p), a[3], 1) << x << "," << y;
			ink += a[3] != 0;
		}
	EXPECT_GT(ink, 100);
}
