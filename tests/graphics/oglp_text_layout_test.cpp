// Text measuring, wrapping and number formatting, without GL.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "graphics/oglp.h"
#include "graphics/tman.h"
#include "runtime/hl_string.h"

using lines = std::vector<std::string>;

TEST(TextLayout, MeasuresWithTheProportionalTableAndAligns)
{
	EXPECT_EQ(ui_text_width("Hello world"), 60);
	EXPECT_EQ(ui_text_start_x(100, 60, 1), 70);
	EXPECT_EQ(ui_text_start_x(100, 60, 2), 40);
	EXPECT_EQ(ui_text_start_x(100, 60, 0), 100);
	// High bytes are measured by their own entry, never a negative index.
	EXPECT_EQ(ui_text_width("\xE9\xF1"), 12);
	EXPECT_EQ(ui_text_width("\xFF\x80"), 0);
}

TEST(TextLayout, WrapsAfterBreakCharactersOnTheNextWordsEstimate)
{
	// After "aaaa " the pen is at 27; the next word estimates 27 + 4 x 6 = 51 > 40.
	EXPECT_EQ(OGL_wrap_lines("aaaa bbbb", 40, 0), (lines{"aaaa ", "bbbb"}));
	// Wide enough for both words.
	EXPECT_EQ(OGL_wrap_lines("aaaa bbbb", 60, 0), (lines{"aaaa bbbb"}));
	// A word longer than the width is never split; it overflows its own line.
	EXPECT_EQ(OGL_wrap_lines("Supercalifragilistic ok", 20, 0), (lines{"Supercalifragilistic ", "ok"}));
	EXPECT_EQ(OGL_wrap_lines("Supercalifragilistic", 20, 0), (lines{"Supercalifragilistic"}));
	// '-' and '/' break too and stay at the end of their line.
	EXPECT_EQ(OGL_wrap_lines("aaaa-bbbb", 30, 0), (lines{"aaaa-", "bbbb"}));
	EXPECT_EQ(OGL_wrap_lines("usr/local", 20, 0), (lines{"usr/", "local"}));
	// A newline ends a line whatever the width.
	EXPECT_EQ(OGL_wrap_lines("ab\ncd", 500, 0), (lines{"ab\n", "cd"}));
	// Fixed advance: "aaaa " is 50 with advance 10, so even 4 more estimated columns pass 60.
	EXPECT_EQ(OGL_wrap_lines("aaaa bb", 60, 10), (lines{"aaaa ", "bb"}));
	EXPECT_TRUE(OGL_wrap_lines("", 40, 0).empty());
}

TEST(TextLayout, NoWrapWidthsGiveOneLineWithItsNewlines)
{
	for (float w : {0.0f, -5.0f, 9999.0f, 20000.0f})
		EXPECT_EQ(OGL_wrap_lines("one\ntwo three", w, 0), (lines{"one\ntwo three"})) << w;
}

// A path from outside may be of any length: it keeps to the rows it is given, a name
// with nowhere to wrap broken at the room's side, and gives way in its middle, keeping
// its start, the folder's name at its end, and as much of the rest as fits.
TEST(TextLayout, ATextKeepsToItsRoomAndGivesWayInTheMiddleOfItsPaths)
{
	constexpr float kRoom = 200;
	const auto widest = [&](const lines& rows) {
		int w = 0;
		for (const std::string& r : rows) w = std::max(w, ui_text_width(r));
		return w;
	};
	const std::string unbroken = "/home/" + std::string(150, 'n') + "/" + std::string(120, 'm') + "/Kestrix 9/";
	const lines rows = OGL_rows_within(unbroken, kRoom, kRoom);
	EXPECT_GT(rows.size(), 3u);
	EXPECT_LE(widest(rows), int(kRoom));
	std::string joined;
	for (const std::string& r : rows) joined += r;
	EXPECT_EQ(joined, unbroken);  // broken, never shortened
	// Rows that fit stay as the wrap gives them.
	EXPECT_EQ(OGL_rows_within("aaaa bbbb", 40, kRoom), OGL_wrap_lines("aaaa bbbb", 40, 0));

	for (size_t kept : {size_t(16), size_t(40), size_t(100)}) {
		const std::string shown = OGL_given_way(unbroken, kept);
		EXPECT_EQ(shown.size(), kept + 3) << shown;
		const size_t mark = shown.find("...");
		ASSERT_NE(mark, std::string::npos);
		EXPECT_GT(mark, 0u) << shown;
		EXPECT_EQ(unbroken.compare(0, mark, shown, 0, mark), 0) << shown;
		EXPECT_TRUE(unbroken.ends_with(shown.substr(mark + 3))) << shown;
		EXPECT_TRUE(shown.ends_with("/Kestrix 9/")) << shown;
	}
	EXPECT_EQ(OGL_given_way("short", 8), "short");

	// In a sentence only the named path gives way, and one byte more of it would not fit.
	const std::string sentence = "I was unable to unzip the file " + unbroken + "Output/a.zip to the folder.";
	for (int max_rows : {2, 3, 4}) {
		SCOPED_TRACE(max_rows);
		const std::string fitted = OGL_fit_rows(sentence, {"/nowhere/", unbroken}, kRoom, kRoom, max_rows);
		EXPECT_LE(int(OGL_rows_within(fitted, kRoom, kRoom).size()), max_rows);
		EXPECT_TRUE(fitted.starts_with("I was unable to unzip the file /home/")) << fitted;
		EXPECT_TRUE(fitted.ends_with("/Kestrix 9/Output/a.zip to the folder.")) << fitted;
		const size_t kept = fitted.size() - 3 - (sentence.size() - unbroken.size());
		const std::string more = "I was unable to unzip the file " + OGL_given_way(unbroken, kept + 1) +
		                         "Output/a.zip to the folder.";
		EXPECT_GT(int(OGL_rows_within(more, kRoom, kRoom).size()), max_rows);
	}
	// With too little room even for the sentence, the whole text gives way last.
	const std::string last = OGL_fit_rows(sentence, {unbroken}, kRoom, kRoom, 1);
	EXPECT_EQ(OGL_rows_within(last, kRoom, kRoom).size(), 1u);
	EXPECT_TRUE(last.starts_with("I was")) << last;
	EXPECT_TRUE(last.ends_with("the folder.")) << last;
	// A text with room enough is left whole.
	EXPECT_EQ(OGL_fit_rows(unbroken, {}, kRoom, kRoom, 99), unbroken);
}

TEST(NumberText, DigitsSeparatorsAndDecimals)
{
	EXPECT_EQ(OGL_number_text(42, 5, 0), "00042");
	EXPECT_EQ(OGL_number_text(1234567, 7, 0), "1,234,567");
	EXPECT_EQ(OGL_number_text(123.456f, 5, 2), "123.46");
	EXPECT_EQ(OGL_number_text(-12.5f, 4, 1), "-012.5");
	EXPECT_EQ(OGL_number_text(0.5f, 3, 0), "001");
	// 0.04 scaled is not above 0.1: no sign.
	EXPECT_EQ(OGL_number_text(-0.04f, 3, 0), "000");
}

TEST(NumberText, ShortScientificFormWhenTheNumberDoesNotFit)
{
	EXPECT_EQ(OGL_number_text(123456, 4, 0), "1.23x5");
	EXPECT_EQ(OGL_number_text(500, 2, 0), "5.00x2");
	EXPECT_EQ(OGL_number_text(-123456, 4, 0), "-1.23x5");
	// An exponent of ten or more shows as '0'.
	EXPECT_EQ(OGL_number_text(1.5e12f, 3, 0), "1.50x0");
}

TEST(NumberText, NotANumberAndInfinityDrawZeros)
{
	const float inf = std::numeric_limits<float>::infinity();
	const float nan = std::numeric_limits<float>::quiet_NaN();
	EXPECT_EQ(OGL_number_text(nan, 5, 0), "00000");
	EXPECT_EQ(OGL_number_text(inf, 5, 0), "00000");
	EXPECT_EQ(OGL_number_text(-inf, 4, 1), "000.0");
	for (float v : {inf, nan, -inf})
		for (const ogl_placed_glyph& g : OGL_number_cells(v, 5, 1))
			EXPECT_TRUE(g.c == '0' || g.c == ',' || g.c == '.') << g.c;
}

TEST(NumberCells, FixedCellsWithSeparatorsBetweenThem)
{
	// 1234.5, 5 digits, 1 decimal: digits in five cells of 10 from x, ',' between the
	// first two and '.' between the fourth and fifth (offsets from the rounded x).
	const std::vector<ogl_placed_glyph> g = OGL_number_cells(1234.5f, 5, 1);
	std::string digits;
	std::vector<float> xs;
	float comma = -1, point = -1;
	for (const ogl_placed_glyph& p : g) {
		if (p.c == ',') comma = p.dx;
		else if (p.c == '.') point = p.dx;
		else {
			digits += p.c;
			xs.push_back(p.dx);
		}
	}
	EXPECT_EQ(digits, "12345");
	EXPECT_EQ(xs, (std::vector<float>{0, 10, 20, 30, 40}));
	EXPECT_EQ(comma, 5);
	EXPECT_EQ(point, 35);

	// A minus sign one unit past the first cell's left, before it.
	const std::vector<ogl_placed_glyph> neg = OGL_number_cells(-7, 2, 0);
	ASSERT_FALSE(neg.empty());
	EXPECT_EQ(neg[0].c, '-');
	EXPECT_EQ(neg[0].dx, -9);
	// At most eleven digits are drawn.
	int n = 0;
	for (const ogl_placed_glyph& p : OGL_number_cells(5, 14, 0)) n += (p.c >= '0' && p.c <= '9');
	EXPECT_EQ(n, 11);
	EXPECT_TRUE(OGL_number_cells(5, 0, 0).empty());
}

TEST(GlyphCells, TableOfTheInterfaceFontAndTheMenuGrid)
{
	auto cell = [](unsigned char c, int cs) {
		const ogl_cell k = OGL_glyph_cell(c, cs);
		return std::make_pair(k.col, k.row);
	};
	EXPECT_EQ(cell('0', 100), std::make_pair(1, 0));
	EXPECT_EQ(cell('e', 102), std::make_pair(20, 0));
	EXPECT_EQ(cell('P', 100), std::make_pair(20, 1));
	EXPECT_EQ(cell('z', 100), std::make_pair(20, 2));
	EXPECT_EQ(cell('|', 100), std::make_pair(16, 3));
	EXPECT_EQ(cell(';', 100), std::make_pair(20, 3));
	EXPECT_EQ(cell('`', 100), std::make_pair(6, 4));
	EXPECT_EQ(cell(0xE9, 100), std::make_pair(11, 4));  // é
	EXPECT_EQ(cell(0xF1, 100), std::make_pair(19, 4));  // ñ
	EXPECT_EQ(cell(0xBF, 100), std::make_pair(20, 4));  // ¿
	for (unsigned char c : {'"', '{', '~', '\x7F', '\x01', '\xFF', '\xE4'}) EXPECT_EQ(cell(c, 100), std::make_pair(0, 0));
	// The menu font: 40 cells a row, high bytes on rows past 3.
	EXPECT_EQ(cell('A', 103), std::make_pair(65 % 40, 1));
	EXPECT_EQ(cell(0xE9, 103), std::make_pair(233 % 40, 5));
}

// Paths are turned into the bytes the font draws before they are drawn: that rule and
// the font's own table must name the same bytes.
TEST(GlyphCells, PathsAreTurnedIntoExactlyTheBytesWithAGlyph)
{
	for (int b = 0; b < 256; ++b) {
		const unsigned char c = static_cast<unsigned char>(b);
		const ogl_cell k = OGL_glyph_cell(c, charset_UI_diff_space);
		const bool has_glyph = c == ' ' || k.col != 0 || k.row != 0;
		EXPECT_EQ(STR_font_draws(c), has_glyph) << b;
	}
}

TEST(GlyphCellsDeathTest, UnknownCharsetIsFatal)
{
	float s0, t0, w, h;
	EXPECT_EXIT(OGL_strtex(101, 0, &s0, &t0, &w, &h), ::testing::ExitedWithCode(1), "String proc with bad charset!");
}
