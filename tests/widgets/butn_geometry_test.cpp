// Label markup and chrome geometry, without a context.
#include <gtest/gtest.h>

#include <algorithm>

#include "widgets/butn_geometry.h"

namespace {

struct extent {
	float x1, y1, x2, y2;
};
extent extent_of(const BTN_frame_geometry& g)
{
	extent e{1e9f, 1e9f, -1e9f, -1e9f};
	for (const BTN_quad& q : g.quads) {
		e.x1 = std::min(e.x1, q.x1);
		e.y1 = std::min(e.y1, q.y1);
		e.x2 = std::max(e.x2, q.x2);
		e.y2 = std::max(e.y2, q.y2);
	}
	return e;
}

void expect_sane(const BTN_frame_geometry& g)
{
	for (const BTN_quad& q : g.quads) {
		EXPECT_LE(q.x1, q.x2);
		EXPECT_LE(q.y1, q.y2);
		EXPECT_LE(q.s1, q.s2);
		EXPECT_LE(q.t1, q.t2);
		for (float c : {q.s1, q.s2, q.t1, q.t2}) {
			EXPECT_GE(c, 0.0f);
			EXPECT_LE(c, 1.0f);
		}
	}
}

}  // namespace

TEST(LabelMarkup, SplitsIntoTextMidAndHelp)
{
	struct row {
		const char *label, *text, *mid, *tail;
	} rows[] = {
		{"|check this", "", "check this", ""},
		{"Name{?Help", "Name", "", "Help"},
		{"plain", "plain", "", ""},
		{"a{b|c", "a{b", "", "|c"},  // the last '{' before the last '|'
		{"Name{", "Name", "", ""},    // a '{' with nothing after it
		{"Name{?", "Name", "", ""},
		{"|mid{?help me", "", "mid", "help me"},
		{"", "", "", ""},
	};
	for (const row& r : rows) {
		std::string text = "x", mid = "x", tail = "x";
		BTN_expand_label(r.label, &text, &mid, &tail);
		EXPECT_EQ(text, r.text) << r.label;
		EXPECT_EQ(mid, r.mid) << r.label;
		EXPECT_EQ(tail, r.tail) << r.label;
	}
}

TEST(LabelMarkup, LongPartsTakeTwoLinesAtTheBreakNearestTheMiddle)
{
	BTN_label_lines l = BTN_label_split_lines("Install Name:", 0);
	EXPECT_EQ(l.first, "Install");
	EXPECT_EQ(l.second, "Name:");
	EXPECT_EQ(BTN_label_split_lines("Install Name:", 1).second, "");  // centred: never
	EXPECT_EQ(BTN_label_split_lines("twelve chars", 2).second, "");    // 12: never
	EXPECT_EQ(BTN_label_split_lines("thirteenchars", 2).second, "");   // no break after the first
	l = BTN_label_split_lines("-a long text with spaces", 2);
	EXPECT_EQ(l.first, "a long text with spaces");
	EXPECT_EQ(l.second, "");
	l = BTN_label_split_lines("abcd/efgh-ijkl", 0);  // equal distance: the earlier wins
	EXPECT_EQ(l.first, "abcd/efgh");
	EXPECT_EQ(l.second, "ijkl");
}

TEST(FrameGeometry, BarsAreTheirStylesLengthWithACutLastTile)
{
	BTN_frame_geometry g = BTN_frame1_geometry(9, 300, 200, 100);
	ASSERT_TRUE(g.ok);
	expect_sane(g);
	extent e = extent_of(g);
	EXPECT_FLOAT_EQ(e.x2 - e.x1, 104);  // four longer than asked
	EXPECT_FLOAT_EQ(e.x1, 248);
	EXPECT_FLOAT_EQ(e.y2 - e.y1, 26);
	// Left cap, three middle tiles (10..41, 41..72, 72..94), right cap.
	ASSERT_EQ(g.quads.size(), 5u);
	const BTN_quad& cut = g.quads[3];
	EXPECT_FLOAT_EQ(cut.x2 - cut.x1, 22);
	EXPECT_FLOAT_EQ(cut.s2 * 512, 272 + 31 * 22.0f / 41);
	EXPECT_FLOAT_EQ(g.quads[4].s2 * 512, 262 + 51);

	// Width 0: both caps overlap, no middle tile is drawn backwards.
	g = BTN_frame1_geometry(2, 100, 100, 0);
	ASSERT_TRUE(g.ok);
	EXPECT_EQ(g.quads.size(), 2u);
	// An odd centre is rounded; the menu bar sits 3 lower and never samples past the atlas.
	g = BTN_frame1_geometry(0, 100.5f, 100, 200);
	expect_sane(g);
	EXPECT_FLOAT_EQ(extent_of(g).x1, 101 - 100);
	EXPECT_FLOAT_EQ(extent_of(g).y1, 100 - 3 - 13);

	for (int bad : {-1, 6, 11}) EXPECT_FALSE(BTN_frame1_geometry(bad, 0, 0, 50).ok) << bad;
}

TEST(FrameGeometry, PanelsGrowByTheirOutsetsAndTileInside)
{
	BTN_frame_geometry g = BTN_frame2_geometry(13, 100, 100, 200, 100);
	ASSERT_TRUE(g.ok);
	expect_sane(g);
	extent e = extent_of(g);
	EXPECT_FLOAT_EQ(e.x1, 91);
	EXPECT_FLOAT_EQ(e.x2, 309);
	EXPECT_FLOAT_EQ(e.y1, 86);
	EXPECT_FLOAT_EQ(e.y2, 204);
	// Every piece stays inside the drawn rectangle.
	for (const BTN_quad& q : g.quads) {
		EXPECT_GE(q.x1, 91);
		EXPECT_LE(q.x2, 309);
	}

	g = BTN_frame2_geometry(20, 0, 0, 100, 30);
	ASSERT_TRUE(g.ok);
	EXPECT_EQ(g.texture, btn_tex_elements);
	expect_sane(g);
	// A panel no larger than its caps: corners only, no middle row or column drawn backwards.
	g = BTN_frame2_geometry(16, 0, 0, 30, 10);
	expect_sane(g);
	EXPECT_EQ(g.quads.size(), 4u);
	EXPECT_FALSE(BTN_frame2_geometry(10, 0, 0, 10, 10).ok);
	EXPECT_FALSE(BTN_frame2_geometry(21, 0, 0, 10, 10).ok);
}

TEST(FrameGeometry, TroughSubwindowsAndTitleBoxes)
{
	BTN_frame_geometry g = BTN_frame0_geometry(6, 50, 200, 100);
	ASSERT_TRUE(g.ok);
	expect_sane(g);
	extent e = extent_of(g);
	EXPECT_FLOAT_EQ(e.y2 - e.y1, 108);
	EXPECT_FLOAT_EQ(e.x2 - e.x1, 20);
	EXPECT_FALSE(BTN_frame0_geometry(7, 0, 0, 10).ok);

	BTN_subwin_rect r = BTN_subwin_place(0, -1, -1, -1, -1, 800, 600);
	EXPECT_FLOAT_EQ(r.x, 10);
	EXPECT_FLOAT_EQ(r.y, 10);
	EXPECT_FLOAT_EQ(r.width, 780);
	EXPECT_FLOAT_EQ(r.height, 562);
	EXPECT_FLOAT_EQ(r.next_x, 800);
	r = BTN_subwin_place(40, 20, 30, -1, -1, 800, 600);
	EXPECT_FLOAT_EQ(r.height, 600 - 28 - 30 - 40);

	BTN_zap_geometry z = BTN_zap_geometry_of(0, 400, 300);
	EXPECT_FLOAT_EQ(z.left.x1, 7);
	EXPECT_FLOAT_EQ(z.left.x2, 25);
	EXPECT_FLOAT_EQ(z.left.y1, 281);
	EXPECT_FLOAT_EQ(z.right.x1, 375);
	EXPECT_FLOAT_EQ(z.right.x2, 393);
	EXPECT_FLOAT_EQ(z.left.t1 * 512, 178);
	EXPECT_FLOAT_EQ(BTN_zap_geometry_of(1, 400, 300).left.t1 * 512, 197);
}
