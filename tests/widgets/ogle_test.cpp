// The editing engine against a plain string owner measured with the interface font's
// advances, as the text field measures it.
#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <string>
#include <vector>

#include "graphics/ogl_draw.h"
#include "widgets/ogle.h"

namespace {

constexpr float kLineHeight = 12;

struct drawn_rect {
	float l, b, r, t;
};

// An owner: one string, a visible window that scrolls over a logical area of a fixed
// width, and a record of everything the engine asked to draw or scroll.
struct owner {
	std::string text;
	float vis[4] = {0, 0, 100, 36};   // left, bottom, right, top
	float wrap_width = 100;
	float logical_height = 0;
	std::vector<drawn_rect> selections;
	std::vector<std::string> lines_drawn;
	std::vector<std::pair<float, float>> scrolls;
	float scroll_x = 0, scroll_y = 0;  // logical area's offset below/left of the visible one
	OGLE_Rec* rec = nullptr;

	static owner& of(OGLE_Rec* r) { return *static_cast<owner*>(OGLE_GetRef(r)); }

	static float advance(char c) { return ui_char_advance[static_cast<unsigned char>(c)]; }

	static void visible(OGLE_Rec* r, float b[4])
	{
		for (int i = 0; i < 4; ++i) b[i] = of(r).vis[i];
	}
	static void logical(OGLE_Rec* r, float b[4])
	{
		owner& o = of(r);
		float height = std::max(o.logical_height, o.vis[3] - o.vis[1]);
		b[0] = o.vis[0] - o.scroll_x;
		b[2] = b[0] + o.wrap_width;
		b[1] = o.vis[1] - o.scroll_y;
		b[3] = b[1] + height;
		// Keep the top fixed while the text grows: line 0 stays at the top.
		b[1] = o.vis[3] - o.scroll_y - height;
		b[3] = o.vis[3] - o.scroll_y;
	}
	static void set_height(OGLE_Rec* r, float h) { of(r).logical_height = h; }
	static void scroll_to(OGLE_Rec* r, float p[2]) { of(r).scrolls.push_back({p[0], p[1]}); }
	static void get_text(OGLE_Rec* r, const char** b, const char** e)
	{
		owner& o = of(r);
		*b = o.text.data();
		*e = o.text.data() + o.text.size();
	}
	static void replace(OGLE_Rec* r, int start, int end, const char* nb, const char* ne)
	{
		owner& o = of(r);
		ASSERT_LE(0, start);
		ASSERT_LE(start, end);
		ASSERT_LE(size_t(end), o.text.size());
		o.text.replace(size_t(start), size_t(end - start), nb ? std::string(nb, ne) : std::string());
	}
	static float line_height(OGLE_Rec*) { return kLineHeight; }
	static float measure(OGLE_Rec*, const char* b, const char* e)
	{
		float w = 0;
		for (; b < e; ++b) w += advance(*b);
		return w;
	}
	// The character the width ends in counts as fitting; a line break never does.
	static int fit_fwd(OGLE_Rec*, const char* b, const char* e, float width)
	{
		int n = 0;
		float acc = 0;
		while (b + n < e && acc < width && b[n] != '\n' && b[n] != '\r') acc += advance(b[n++]);
		return n;
	}
	static int fit_rev(OGLE_Rec*, const char*, const char*, float) { return 0; }
	static void draw_string(OGLE_Rec* r, const char* b, const char* e, float, float)
	{
		of(r).lines_drawn.emplace_back(b, e);
	}
	static void draw_selection(OGLE_Rec* r, float rect[4])
	{
		of(r).selections.push_back({rect[0], rect[1], rect[2], rect[3]});
	}
	static const char* word_break(OGLE_Rec*, const char* b, const char* e)
	{
		while (b < e && std::isspace(static_cast<unsigned char>(*b))) ++b;
		while (b < e && !std::isspace(static_cast<unsigned char>(*b))) ++b;
		return b;
	}

	explicit owner(std::string t, float width = 100) : text(std::move(t)), wrap_width(width)
	{
		OGLE_Callbacks cb = {visible, logical,  set_height, scroll_to,     get_text,      replace,   line_height,
		                     measure, fit_fwd, fit_rev,    draw_string,   draw_selection, word_break};
		rec = OGLE_Create(cb, this);
	}
	~owner() { OGLE_Destroy(rec); }

	std::pair<int, int> sel() const { return {rec->sel_start, rec->sel_end}; }
	void key(int code, int extend = 0) { OGLE_Key(rec, char(code), extend); }
	void wrap() { OGLE_Repaginate(rec); }
	// The x, y of the middle of the character at `pos` on line `line`.
	float line_mid_y(int line) const { return vis[3] - scroll_y - kLineHeight * (line + 0.5f); }
};

using sel_t = std::pair<int, int>;

}  // namespace

TEST(OgleKeys, CaretAndSelectionMovesFollowTheKeyTable)
{
	owner o("hello world");
	o.wrap();
	o.key(ogle_key_backspace);  // caret at 0: nothing
	EXPECT_EQ(o.text, "hello world");
	o.key(ogle_key_left);
	EXPECT_EQ(o.sel(), sel_t(0, 0));
	OGLE_SetSelection(o.rec, 11, 11);
	o.key(ogle_key_right);
	EXPECT_EQ(o.sel(), sel_t(11, 11));

	OGLE_SetSelection(o.rec, 5, 5);
	o.key(ogle_key_left, 1);
	EXPECT_EQ(o.sel(), sel_t(4, 5));
	EXPECT_EQ(o.rec->active_end, 0);
	o.key(ogle_key_right, 1);
	EXPECT_EQ(o.sel(), sel_t(5, 5));
	o.key(ogle_key_right, 1);
	EXPECT_EQ(o.sel(), sel_t(5, 6));
	EXPECT_EQ(o.rec->active_end, 1);

	// Plain arrows collapse a selection to the side they point to.
	OGLE_SetSelection(o.rec, 2, 7);
	o.key(ogle_key_left);
	EXPECT_EQ(o.sel(), sel_t(2, 2));
	OGLE_SetSelection(o.rec, 2, 7);
	o.key(ogle_key_right);
	EXPECT_EQ(o.sel(), sel_t(7, 7));

	// Typing replaces the selection with the one character; Backspace removes a
	// selection or the character before the caret.
	OGLE_SetSelection(o.rec, 0, 5);
	o.key('J');
	EXPECT_EQ(o.text, "J world");
	EXPECT_EQ(o.sel(), sel_t(1, 1));
	o.key(ogle_key_backspace);
	EXPECT_EQ(o.text, " world");
	EXPECT_EQ(o.sel(), sel_t(0, 0));
	OGLE_SetSelection(o.rec, 1, 3);
	o.key(ogle_key_backspace);
	EXPECT_EQ(o.text, " rld");
	EXPECT_EQ(o.sel(), sel_t(1, 1));
}

TEST(OgleKeys, UpAndDownHoldTheCaretsColumn)
{
	owner o("abcdef\nab\nabcdef", 200);
	o.wrap();
	ASSERT_EQ(o.rec->line_starts, (std::vector<int>{0, 7, 10}));
	OGLE_SetSelection(o.rec, 5, 5);
	o.key(ogle_key_down);
	EXPECT_EQ(o.sel(), sel_t(9, 9));  // line 1 is shorter: its end
	o.key(ogle_key_down);
	EXPECT_EQ(o.sel(), sel_t(15, 15));  // back in column 5
	o.key(ogle_key_down);
	EXPECT_EQ(o.sel(), sel_t(16, 16));  // past the last line: the text's end
	o.key(ogle_key_left);               // any other key forgets the column
	EXPECT_EQ(o.rec->preferred_x, -1);
	OGLE_SetSelection(o.rec, 3, 3);
	o.key(ogle_key_up);
	EXPECT_EQ(o.sel(), sel_t(0, 0));

	// Extending moves only the active end, a line at a time. (A click forgets the
	// column the last up key kept; setting the selection does not.)
	OGLE_Click(o.rec, o.vis[0] + 7, o.line_mid_y(0), 0);
	ASSERT_EQ(o.sel(), sel_t(2, 2));
	o.key(ogle_key_down, 1);
	EXPECT_EQ(o.sel(), sel_t(2, 9));
	o.key(ogle_key_down, 1);
	EXPECT_EQ(o.sel(), sel_t(2, 12));
}

TEST(OgleWrap, LineStartsFollowBreaksAndWidth)
{
	struct row {
		const char* text;
		float width;
		std::vector<int> starts;
	} rows[] = {
		{"ab\ncd", 200, {0, 3}},
		{"ab\n", 200, {0}},
		{"", 200, {0}},
		{"ab\rcd", 200, {0, 3}},
		{"aaaa bbbb", 30, {0, 5}},           // a=6: "aaaa " fits 24, "bbbb" would not
		{"WWWWWWWW", 20, {0, 1, 2, 3, 4, 5, 6, 7}},  // an overlong word: a character a line
		{"a\n\nb", 200, {0, 2, 3}},
	};
	for (const row& r : rows) {
		owner o(r.text, r.width);
		o.wrap();
		EXPECT_EQ(o.rec->line_starts, r.starts) << '"' << r.text << '"';
		EXPECT_EQ(o.logical_height, kLineHeight * float(r.starts.size())) << r.text;
	}

	// Before any wrap the whole text is line 0; after a shortening no start lies past it.
	owner o("one two three four five six", 40);
	EXPECT_EQ(OGLE_CharPosToLine(o.rec, 20), 0);
	o.wrap();
	EXPECT_GT(o.rec->line_starts.size(), 2u);
	o.text = "one";
	o.wrap();
	EXPECT_EQ(o.rec->line_starts, std::vector<int>{0});
}

TEST(OgleMouse, ClicksAndDragsMapPointsToPositions)
{
	owner o("abc\ndef\nghi", 200);
	o.wrap();
	float left = o.vis[0];
	OGLE_Click(o.rec, left - 50, o.line_mid_y(1), 0);  // left of the line: its start
	EXPECT_EQ(o.sel(), sel_t(4, 4));
	OGLE_Click(o.rec, left + 1, o.line_mid_y(1), 0);  // over 'd': after it
	EXPECT_EQ(o.sel(), sel_t(5, 5));
	OGLE_Click(o.rec, left + 1, o.vis[3] + 40, 0);  // above the text
	EXPECT_EQ(o.sel(), sel_t(0, 0));
	OGLE_Click(o.rec, left + 1, o.line_mid_y(5), 0);  // below it
	EXPECT_EQ(o.sel(), sel_t(11, 11));

	OGLE_Click(o.rec, left + 1, o.line_mid_y(1), 0);
	OGLE_Click(o.rec, left + 1, o.line_mid_y(0), 1);  // shift-click before: start moves
	EXPECT_EQ(o.sel(), sel_t(1, 5));
	EXPECT_EQ(o.rec->active_end, 0);
	OGLE_Drag(o.rec, left + 1, o.line_mid_y(2));  // the start is dragged past the end
	EXPECT_EQ(o.sel(), sel_t(5, 9));
	EXPECT_EQ(o.rec->active_end, 1);
}

TEST(OgleReveal, ScrollsOnlyWhenTheActiveEndLeavesTheView)
{
	owner o(std::string(40, 'a'), 1000);  // one line, 240 units: wider than the view
	o.wrap();
	OGLE_SetSelection(o.rec, 3, 3);
	OGLE_RevealSelection(o.rec);
	EXPECT_TRUE(o.scrolls.empty());
	OGLE_SetSelection(o.rec, 30, 30);
	OGLE_RevealSelection(o.rec);
	ASSERT_EQ(o.scrolls.size(), 1u);
	EXPECT_FLOAT_EQ(o.scrolls[0].first, 30 * 6 - 100);  // caret put at the right edge
	o.scroll_x = o.scrolls[0].first;
	OGLE_SetSelection(o.rec, 2, 2);
	OGLE_RevealSelection(o.rec);
	ASSERT_EQ(o.scrolls.size(), 2u);
	EXPECT_FLOAT_EQ(o.scrolls[1].first, 12);  // at the left edge
}

TEST(OgleDraw, SelectionBandsTextAndCaret)
{
	owner o("abc\ndef\nghi", 200);
	o.wrap();
	OGLE_SetSelection(o.rec, 1, 6);  // from inside line 0 into line 1
	OGLE_Draw(o.rec, 1);
	ASSERT_EQ(o.selections.size(), 2u);
	EXPECT_FLOAT_EQ(o.selections[0].l, 6);                 // after 'a'
	EXPECT_FLOAT_EQ(o.selections[0].r, 200);               // to the logical right
	EXPECT_FLOAT_EQ(o.selections[1].l, 0);
	EXPECT_FLOAT_EQ(o.selections[1].r, 7 + 6);             // "de"
	EXPECT_FLOAT_EQ(o.selections[1].t - o.selections[1].b, kLineHeight);
	EXPECT_EQ(o.lines_drawn, (std::vector<std::string>{"abc\n", "def\n", "ghi"}));

	// A caret at a line's end belongs to the next line, except on the last line.
	o.selections.clear();
	OGLE_SetSelection(o.rec, 4, 4);
	OGLE_Draw(o.rec, 1);
	ASSERT_EQ(o.selections.size(), 1u);
	EXPECT_FLOAT_EQ(o.selections[0].l, 0);
	EXPECT_FLOAT_EQ(o.selections[0].t, o.vis[3] - kLineHeight);
	o.selections.clear();
	OGLE_SetSelection(o.rec, 11, 11);
	OGLE_Draw(o.rec, 1);
	ASSERT_EQ(o.selections.size(), 1u);
	EXPECT_FLOAT_EQ(o.selections[0].t, o.vis[3] - 2 * kLineHeight);
	o.selections.clear();
	OGLE_Draw(o.rec, 0);
	EXPECT_TRUE(o.selections.empty());
}

TEST(OgleReplace, OutsideEditsKeepTheSelectionOnItsText)
{
	owner o("0123456789");
	o.wrap();
	OGLE_SetSelection(o.rec, 4, 6);
	OGLE_ReplaceText(o.rec, 0, 2, "abcd", "abcd" + 4);  // wholly before: both move
	EXPECT_EQ(o.sel(), sel_t(6, 8));
	OGLE_ReplaceText(o.rec, 8, 9, nullptr, nullptr);  // after the start: unchanged
	EXPECT_EQ(o.sel(), sel_t(6, 8));
	OGLE_ReplaceText(o.rec, 5, 10, nullptr, nullptr);  // over the start: collapses at the range
	EXPECT_EQ(o.sel(), sel_t(5, 5));
	EXPECT_EQ(o.text, "abcd29");
	// A range outside the text is cut to it rather than handed to the owner.
	OGLE_ReplaceText(o.rec, 3, 99, "Z", "Z" + 1);
	EXPECT_EQ(o.text, "abcZ");
	OGLE_ReplaceText(o.rec, -4, 1, nullptr, nullptr);
	EXPECT_EQ(o.text, "bcZ");
	EXPECT_LE(o.sel().second, 3);
}

TEST(OgleLatin1, BytesAboveAsciiAreMeasuredAndEditedAsBytes)
{
	owner o("\xE9\xFC", 200);
	o.wrap();
	EXPECT_FLOAT_EQ(owner::measure(o.rec, o.text.data(), o.text.data() + 1), 6);
	EXPECT_FLOAT_EQ(owner::measure(o.rec, o.text.data() + 1, o.text.data() + 2), 0);
	OGLE_SetSelection(o.rec, 2, 2);
	o.key(0xA0);  // not white space in the C locale: a character like any other
	EXPECT_EQ(o.text, "\xE9\xFC\xA0");
	o.key(ogle_key_backspace);
	o.key(ogle_key_backspace);
	EXPECT_EQ(o.text, "\xE9");
}

TEST(OgleRandom, SeededEditsKeepEveryInvariant)
{
	std::mt19937 rng(1234);
	const char alphabet[] = "abc WXYZ \n.\xE9\xFC\r";
	int edits = 0;
	for (int round = 0; round < 12 && edits < 10000; ++round) {
		// Mostly small texts, and one of 100 KB to catch anything quadratic or unsafe at size.
		size_t size = round == 0 ? 100000 : rng() % 3000;
		std::string text(size, ' ');
		for (char& c : text) c = alphabet[rng() % (sizeof alphabet - 1)];
		owner o(text, float(20 + rng() % 300));
		o.wrap();
		int steps = round == 0 ? 200 : 900;
		for (int i = 0; i < steps; ++i, ++edits) {
			int len = int(o.text.size());
			switch (rng() % 8) {
			case 0: OGLE_SetSelection(o.rec, int(rng() % (len + 3)) - 1, int(rng() % (len + 3)) - 1); break;
			case 1: OGLE_Click(o.rec, float(rng() % 400) - 50, float(rng() % 200) - 100, int(rng() % 2)); break;
			case 2: OGLE_Drag(o.rec, float(rng() % 400) - 50, float(rng() % 200) - 100); break;
			case 3: {
				const char* ins = "xy z\n";
				int a = int(rng() % (len + 1)), b = int(rng() % (len + 1));
				OGLE_ReplaceText(o.rec, std::min(a, b), std::max(a, b), ins, ins + rng() % 6);
				break;
			}
			default: {
				static const int keys[] = {8, 28, 29, 30, 31, 'q', ' ', '\n', 0xE9};
				o.key(keys[rng() % 9], int(rng() % 2));
			}
			}
			len = int(o.text.size());
			const auto& s = o.rec->line_starts;
			ASSERT_LE(0, o.rec->sel_start);
			ASSERT_LE(o.rec->sel_start, o.rec->sel_end);
			ASSERT_LE(o.rec->sel_end, len);
			ASSERT_FALSE(s.empty());
			ASSERT_EQ(s[0], 0);
			for (size_t k = 1; k < s.size(); ++k) {
				ASSERT_LT(s[k - 1], s[k]);
				ASSERT_LT(s[k], len);
			}
			// Every line's visible part fits the width, unless it is one character.
			for (size_t k = 0; k < s.size(); ++k) {
				int a = s[k], b = k + 1 < s.size() ? s[k + 1] : len;
				while (b > a && std::isspace(static_cast<unsigned char>(o.text[size_t(b) - 1]))) --b;
				if (b - a > 1) {
					ASSERT_LE(owner::measure(o.rec, o.text.data() + a, o.text.data() + b), o.wrap_width)
						<< "round " << round << " step " << i;
				}
			}
		}
	}
	EXPECT_GE(edits, 10000);
}

namespace {

class string_editor : public OGLE {
public:
	std::string text;
	int scrolled = 0;
	void GetVisibleBounds(float b[4]) override { b[0] = 0, b[1] = 0, b[2] = 100, b[3] = 12; }
	void GetLogicalBounds(float b[4]) override { b[0] = 0, b[1] = 0, b[2] = 1000, b[3] = 12; }
	void SetLogicalHeight(float) override {}
	void ScrollTo(float[2]) override { ++scrolled; }
	void GetText(const char** b, const char** e) override
	{
		*b = text.data();
		*e = text.data() + text.size();
	}
	void ReplaceText(int s, int e, const char* nb, const char* ne) override
	{
		text.replace(size_t(s), size_t(e - s), nb ? std::string(nb, ne) : std::string());
	}
	float GetLineHeight() override { return 12; }
	float MeasureString(const char* b, const char* e) override { return float(e - b) * 5; }
	int FitStringFwd(const char* b, const char* e, float w) override
	{
		return std::min(int(e - b), int((w + 4.99f) / 5));
	}
	int FitStringRev(const char*, const char*, float) override { return 0; }
	void DrawString(const char*, const char*, float, float) override {}
	void DrawSelection(float[4]) override {}
	const char* WordBreak(const char* b, const char* e) override { return owner::word_break(nullptr, b, e); }
};

}  // namespace

TEST(OgleClass, TheObjectFormForwardsToTheSameEngine)
{
	string_editor ed;
	ed.text = "abc";
	ed.Repaginate();
	ed.SetSelection(3, 3);
	ed.Key('d', 0);
	ed.DoReplaceText(0, 1, "X", "X" + 1);
	EXPECT_EQ(ed.text, "Xbcd");
	int s = -1, e = -1;
	ed.GetSelection(&s, &e);
	EXPECT_EQ(s, 4);
	EXPECT_EQ(e, 4);
	ed.Click(7, 6, 0);  // over the second character
	ed.GetSelection(&s, nullptr);
	EXPECT_EQ(s, 2);
	ed.Drag(100, 6);
	ed.GetSelection(&s, &e);
	EXPECT_EQ(s, 2);
	EXPECT_EQ(e, 4);
	ed.Reserved();
	ed.Draw(1);
}
