// The scrolling list: rows, clicks and double-clicks, keys, type-ahead on the frame
// clock, the wheel, the scroll bar's presence and the empty list.
#include <GL/gl.h>

#include <string>
#include <vector>

#include "graphics/colr.h"
#include "widgets/widget_frames.h"

namespace {

class List : public WidgetFrames {
protected:
	std::vector<std::string> names;
	std::vector<int> types;
	int scroll = 0, selection = 0, result = 0;
	std::string search;
	static constexpr float kX = 100, kY = 300;
	void draw_list(int first, int last, std::string* s = nullptr)
	{
		result = BTN_list_and_search(0, kX, kY, 0, 0, &scroll, &selection, first, last, s, "File:",
		                             BTN_name_from_vector, &names, nullptr, nullptr, BTN_type_from_vector, &types);
	}
	std::function<void()> all()
	{
		return [this] { draw_list(0, int(names.size()) - 1); };
	}
	void fill(int n)
	{
		names.clear();
		types.clear();
		for (int i = 0; i < n; ++i) {
			names.push_back("row" + std::to_string(i));
			types.push_back(i % 3);
		}
	}
};

}  // namespace

TEST_F(List, ClicksPickTheRowUnderTheMouseAndADoubleClickReturnsOne)
{
	KX_REQUIRE_GL(gl);
	fill(50);
	scroll = 20;
	click(kX + 50, kY + 100, all());  // the top row of 21
	EXPECT_EQ(selection, 10);
	EXPECT_EQ(result, 0);
	EXPECT_EQ(focus_id, BTN_position_id(kX, kY));
	click(kX + 50, kY - 100, all());
	EXPECT_EQ(selection, 30);
	frame_input dbl;
	dbl.mx = kX + 50;
	dbl.my = kY - 14;  // 1.4 rows down: row 1
	dbl.down = dbl.double_click = true;
	frame(dbl, all());
	EXPECT_EQ(result, 1);
	EXPECT_EQ(selection, 21);
	idle(all());
	EXPECT_EQ(result, 0);
	// An open menu takes the click.
	mnw.menu_state = 1519;
	click(kX + 50, kY, all());
	mnw.menu_state = -1;
	EXPECT_EQ(selection, 21);
}

TEST_F(List, KeysScrollTheSelectionIntoViewAndTheWheelScrolls)
{
	KX_REQUIRE_GL(gl);
	fill(50);
	scroll = 20;
	click(kX + 50, kY - 100, all());  // bottom row: 30
	keys({key_vk(vk_down)}, all());
	EXPECT_EQ(selection, 31);
	EXPECT_EQ(scroll, 21);
	keys({key_vk(vk_up), key_vk(vk_up)}, all());
	EXPECT_EQ(selection, 29);
	EXPECT_EQ(scroll, 21);

	frame_input wheel;
	wheel.mx = kX + 10;
	wheel.my = kY;
	wheel.wheel = -3;
	frame(wheel, all());
	EXPECT_EQ(scroll, 24);
	EXPECT_EQ(mnw.mouse_wheel, 0);
	wheel.mx = kX + 400;  // off the panel: left alone
	frame(wheel, all());
	EXPECT_EQ(scroll, 24);
	EXPECT_EQ(mnw.mouse_wheel, -3);
}

TEST_F(List, TypeAheadMatchesPrefixesWithinASecond)
{
	KX_REQUIRE_GL(gl);
	names = {"Alpha", "abc", "Abd", "Beta"};
	types = {0, 0, 0, 0};
	click(kX + 50, kY, all());
	xtim.elapsed = 100;
	keys({key_char('a')}, all());
	EXPECT_EQ(selection, 0);
	xtim.elapsed = 101;  // exactly 1 s later still adds to the prefix
	keys({key_char('b')}, all());
	EXPECT_EQ(selection, 1);
	xtim.elapsed = 101.5f;
	keys({key_char('z')}, all());  // "abz": nothing, but kept
	EXPECT_EQ(selection, 1);
	xtim.elapsed = 103;
	keys({key_char('b')}, all());
	EXPECT_EQ(selection, 3);
	xtim.elapsed = 0;
}

TEST_F(List, ShortAndEmptyListsDrawOnlyWhatTheyHave)
{
	KX_REQUIRE_GL(gl);
	fill(1);
	scroll = 0;
	click(kX + 50, kY, [&] { draw_list(0, 0); });
	EXPECT_EQ(selection, 0);
	// first = last: no scroll bar, so nothing is drawn where it would stand.
	glClearColor(0, 0, 0, 1);
	glClear(GL_COLOR_BUFFER_BIT);
	idle([&] { draw_list(0, 0); });
	const uint32_t bar = gl.pixel(int(kX + 290 + 16), int(kY));
	EXPECT_EQ(px_r(bar) + px_g(bar) + px_b(bar), 0);
	glClear(GL_COLOR_BUFFER_BIT);
	fill(6);
	idle([&] { draw_list(0, 5); });
	const uint32_t bar2 = gl.pixel(int(kX + 290 + 16), int(kY));
	EXPECT_GT(px_r(bar2) + px_g(bar2) + px_b(bar2), 0);

	// last < first: only the search field, result 0.
	selection = 7;
	frame_input dbl;
	dbl.mx = kX + 50;
	dbl.my = kY;
	dbl.down = dbl.double_click = true;
	frame(dbl, [&] { draw_list(0, -1, &search); });
	EXPECT_EQ(result, 0);
	EXPECT_EQ(selection, 7);
	EXPECT_EQ(focus_id, BTN_position_id(kX, kY));  // asked first, before the field
	idle([&] { draw_list(0, -1, &search); });
	keys({key_char('q')}, [&] { draw_list(0, -1, &search); });
	EXPECT_EQ(search, "");  // keys go to the list, not the field
	focus_id = 0;
	idle([&] { draw_list(0, -1, &search); });
	EXPECT_EQ(focus_id, BTN_position_id(kX + 35, kY - 131));  // with nothing focused, the field
}

TEST_F(List, TheSelectionBarAndTheFocusFrameInTheirColours)
{
	KX_REQUIRE_GL(gl);
	fill(30);
	names[10] = "a";  // short: the bar shows right of the text
	scroll = 10;
	selection = 10;
	glClearColor(0, 0, 0, 1);
	glClear(GL_COLOR_BUFFER_BIT);
	idle(all());
	const uint32_t under = gl.pixel(int(kX + 150), int(kY - 10));  // row 11, no bar
	const uint32_t bar = gl.pixel(int(kX + 150), int(kY));
	ogl_rgba c12 = OGL_palette_rgba(12, 1);
	auto blend = [](float src, int dst) { return 0.25f * src * 255 + 0.75f * float(dst); };
	EXPECT_NEAR(px_r(bar), blend(c12.r, px_r(under)), 2);
	EXPECT_NEAR(px_g(bar), blend(c12.g, px_g(under)), 2);
	EXPECT_NEAR(px_b(bar), blend(c12.b, px_b(under)), 2);

	click(kX + 150, kY, all());
	const uint32_t edge = gl.pixel(int(kX), int(kY + 50));
	ogl_rgba c45 = OGL_palette_rgba(45, 1);
	EXPECT_NEAR(px_r(edge), c45.r * 255, 2);
	EXPECT_NEAR(px_g(edge), c45.g * 255, 2);
	EXPECT_NEAR(px_b(edge), c45.b * 255, 2);
}
