// Bitmap text drawn from an atlas and read back: every glyph is its atlas cell times
// the colour, placed where the layout says. The glyph check runs over a patterned atlas
// whose cells all differ, and over the built-in atlas when the binary carries it.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "gl_fixture.h"
#include "graphics/builtin_tex.h"

// The built-in interface atlas, when the binary carries it.
#pragma weak g_tex_interface

namespace {

constexpr int atlas_px = 512, cell_w = 14, cell_h = 15;
constexpr int text_colour = 100;  // (0.8, 0.8, 0.7), above the lit entries

// Each cell's texels differ from every other cell's; alpha runs through transparent,
// opaque and two partial levels.
std::vector<unsigned char> patterned_atlas()
{
	std::vector<unsigned char> a(size_t(atlas_px) * atlas_px * 4, 0);
	for (int row = 0; row < 5; ++row)
		for (int col = 0; col < 21; ++col)
			for (int j = 0; j < cell_h; ++j)
				for (int i = 0; i < cell_w; ++i) {
					unsigned char* p = &a[(size_t(row * cell_h + j) * atlas_px + col * cell_w + i) * 4];
					p[0] = static_cast<unsigned char>(255 - i * 8);
					p[1] = static_cast<unsigned char>(40 + col * 10);
					p[2] = static_cast<unsigned char>(30 + row * 40 + j * 3);
					static const unsigned char alphas[5] = {0, 255, 255, 128, 64};
					p[3] = alphas[(i * 7 + j * 13 + col * 3 + row) % 5];
				}
	return a;
}

std::vector<unsigned char> opaque_atlas() { return std::vector<unsigned char>(size_t(atlas_px) * atlas_px * 4, 255); }

// Lit columns of the band of rows y0..y0+h-1, over x 0..w-1.
std::vector<int> lit_columns(int y0, int h, int w)
{
	const std::vector<unsigned char> px = gl_read_rect(0, y0, w, h);
	std::vector<int> cols;
	for (int i = 0; i < w; ++i)
		for (int j = 0; j < h; ++j)
			if (px[(size_t(j) * w + i) * 4]) {
				cols.push_back(i);
				break;
			}
	return cols;
}

}  // namespace

class GlText : public GlDraw {};

TEST_F(GlText, EveryGlyphIsItsCellTimesTheColour)
{
	KX_OPEN_GL();
	std::vector<std::vector<unsigned char>> atlases{patterned_atlas()};
	if (g_tex_interface != nullptr) atlases.emplace_back(g_tex_interface, g_tex_interface + sizeof(g_tex_interface));
	const float* c = colr.palette[text_colour];
	for (size_t which = 0; which < atlases.size(); ++which) {
		for (int charset : {100, 102}) {
			const std::vector<unsigned char>& atlas = atlases[which];
			upload_interface_atlas(atlas);
			gl_clear_to(0, 0, 0);
			auto origin = [](int b) { return std::make_pair(20 + (b % 16) * 20, 20 + (b / 16) * 20); };
			for (int b = 0; b < 256; ++b) {
				if (b == 9 || b == 10 || b == 13) continue;
				const auto [gx, gy] = origin(b);
				OGL_string(text_colour, float(gx), float(gy), std::string(1, char(b)), 9999, charset, 0);
			}
			const std::vector<unsigned char> all = gl->read_all();
			int checked = 0;
			for (int b = 0; b < 256; ++b) {
				if (b == 9 || b == 10 || b == 13) continue;
				const auto [gx, gy] = origin(b);
				const ogl_cell cell = OGL_glyph_cell(static_cast<unsigned char>(b), charset);
				for (int j = 0; j < cell_h; ++j)
					for (int i = 0; i < cell_w; ++i) {
						const unsigned char* t =
							&atlas[(size_t(cell.row * cell_h + j) * atlas_px + cell.col * cell_w + i) * 4];
						const unsigned char* p = &all[(size_t(gy - 6 + j) * gl->width() + gx + i) * 4];
						const float a = t[3] / 255.0f;
						for (int ch = 0; ch < 3; ++ch) {
							// Exact where the product is 0; elsewhere GL's fixed-point multiply
							// may round a half step either way (0.7 x 255 is 178.5).
							const bool exact = t[3] == 0 || t[ch] == 0;
							const int tol = exact ? 0 : 1;
							const int want = int(t[ch] * c[ch] * a + 0.5f);
							ASSERT_LE(std::abs(int(p[ch]) - want), tol)
								<< "atlas " << which << " charset " << charset << " byte " << b << " texel (" << i << ", "
								<< j << ") channel " << ch << ": " << int(p[ch]) << " want " << want << "; framebuffer in "
								<< gl_dump_png(*gl, std::to_string(charset));
						}
						++checked;
					}
			}
			EXPECT_EQ(checked, 253 * cell_w * cell_h);
		}
	}
}

TEST_F(GlText, CentredTextStartsWhereItsWidthSays)
{
	KX_OPEN_GL();
	upload_interface_atlas(opaque_atlas());
	// "Hello world" measures 60: centred on 100 it starts at 70 and its last glyph, the
	// 'd' at 70 + 53, ends at 70 + 53 + 14.
	OGL_string(text_colour, 100, 200, "Hello world", 9999, 100, 1);
	const std::vector<int> cols = lit_columns(194, 15, 300);
	ASSERT_FALSE(cols.empty());
	EXPECT_EQ(cols.front(), 70);
	EXPECT_EQ(cols.back(), 70 + 53 + 13);
	// Right alignment ends the measured width at x.
	gl_clear_to(0, 0, 0);
	OGL_string(text_colour, 100, 200, "Hello world", 9999, 100, 2);
	EXPECT_EQ(lit_columns(194, 15, 300).front(), 40);
}

TEST_F(GlText, WrappedTextReturnsTheNextLinesY)
{
	KX_OPEN_GL();
	upload_interface_atlas(opaque_atlas());
	EXPECT_EQ(OGL_string(text_colour, 10, 200, "aaaa bbbb", 40, 100, 0), 180);
	// The second line starts again at x, ten units lower.
	EXPECT_EQ(lit_columns(184, 5, 100).front(), 10);
	for (float w : {0.0f, -5.0f, 9999.0f}) EXPECT_EQ(OGL_string(text_colour, 10, 300.4f, "ab\ncd", w, 100, 0), 300) << w;
	// One line: the newline has neither glyph nor advance, so "abcd" sits on one line.
	gl_clear_to(0, 0, 0);
	OGL_string(text_colour, 10, 300, "ab\ncd", 0, 100, 0);
	const std::vector<int> cols = lit_columns(294, 15, 100);
	EXPECT_EQ(cols.front(), 10);
	EXPECT_EQ(cols.back(), 10 + 6 + 7 + 5 + 13);
	EXPECT_TRUE(lit_columns(284, 5, 100).empty());
	EXPECT_EQ(OGL_string(text_colour, 10, 200, "", 40, 100, 0), 200);
	// The dialog origin moves the text, not the returned y.
	mnw.dialog_y = 50;
	EXPECT_EQ(OGL_string(text_colour, 10, 200, "aaaa bbbb", 40, 100, 0), 180);
}

TEST_F(GlText, FixedDigitsAndTheirSeparatorsSitInTheirCells)
{
	KX_OPEN_GL();
	upload_interface_atlas(opaque_atlas());
	// 1234.5 in five digits: cells at 100, 110, ... 140 from x = 100 (offsets -10 + 10k),
	// separators half-way: ',' at 105 and '.' at 135; each quad is 14 wide.
	OGL_number(text_colour, 100, 300, 1234.5f, 5, 1, 102);
	const std::vector<int> cols = lit_columns(294, 15, 300);
	ASSERT_FALSE(cols.empty());
	EXPECT_EQ(cols.front(), 100);
	EXPECT_EQ(cols.back(), 140 + 13);
	// The charset-100 form goes through the string path.
	gl_clear_to(0, 0, 0);
	OGL_number(text_colour, 100, 300, 42, 5, 0, 100);
	EXPECT_EQ(lit_columns(296, 10, 300).front(), 100);
	EXPECT_EQ(lit_columns(296, 10, 300).back(), 100 + 24 + 13);
}

TEST_F(GlText, GrayStringDimsABoxBehindCentredText)
{
	KX_OPEN_GL();
	upload_interface_atlas(opaque_atlas());
	gl_clear_to(1, 1, 1);
	// Width 60, half 30: the box runs from 100 - 32 to 100 + 32, y 198 up to 208.
	OGL_gray_string(text_colour, 100, 200, "Hello world");
	EXPECT_TRUE(gl_rect_is(*gl, 68, 198, 2, 10, {128, 128, 128, -1}, 1));
	EXPECT_TRUE(gl_rect_is(*gl, 68, 208, 2, 1, white_px));
	EXPECT_TRUE(gl_rect_is(*gl, 66, 198, 2, 10, white_px));
}
