// What the widgets put on screen, read back before the swap.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "graphics/oglp.h"
#include "runtime/hl_globals.h"
#include "runtime/xtim.h"
#include "support/gl_pixels.h"
#include "support/gl_world.h"
#include "widgets/btn.h"
#include "widgets/butn_core.h"

namespace {

constexpr int kW = 800, kH = 600;

class WidgetPixels : public ::testing::Test {
protected:
	std::unique_ptr<GlTestContext> world = open_gl_world(kW, kH);

	void SetUp() override
	{
		if (!world->ok()) GTEST_SKIP() << "no headless OpenGL: " << world->why();
		mnw.current_window = 0;
		mnw.menu_state = -1;
		mnw.window_width = kW;
		mnw.window_height = kH;
		mnw.mouse_x = mnw.mouse_y = -1000;
		mnw.mouse_down = mnw.mouse_held = 0;
		focus_id = 0;
	}
	// The whole target after clearing it and drawing.
	std::vector<unsigned char> draw(const std::function<void()>& f)
	{
		gl_clear_to(0, 0, 0);
		BTN_begin_focus_ring();
		f();
		++xtim.frame_count;
		glFinish();
		return world->read_all();
	}
	// Every pixel where two pictures differ lies inside x1..x2, y1..y2 (pixels, y up);
	// returns how many differ.
	int differences_inside(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b, int x1, int y1,
	                       int x2, int y2)
	{
		int n = 0;
		for (int y = 0; y < kH; ++y)
			for (int x = 0; x < kW; ++x) {
				size_t i = (size_t(y) * kW + x) * 4;
				bool same = true;
				for (int c = 0; c < 3; ++c) same = same && std::abs(a[i + c] - b[i + c]) <= 2;
				if (same) continue;
				++n;
				EXPECT_TRUE(x >= x1 && x <= x2 && y >= y1 && y <= y2) << "pixel " << x << ", " << y;
				if (!(x >= x1 && x <= x2 && y >= y1 && y <= y2)) return n;
			}
		return n;
	}
};

}  // namespace

TEST_F(WidgetPixels, CheckedAndUncheckedBoxesDifferOnlyInTheirCell)
{
	int off = 0, on = 1;
	auto a = draw([&] { BTN_bool(100, 100, &off, "|Check", 0); });
	auto b = draw([&] { BTN_bool(100, 100, &on, "|Check", 0); });
	EXPECT_GT(differences_inside(a, b, 91, 94, 109, 112), 0);
}

TEST_F(WidgetPixels, APanelStaysWithinItsOutsets)
{
	auto blank = draw([] {});
	auto panel = draw([] { BTN_frame2(13, 100, 100, 200, 100, ""); });
	EXPECT_GT(differences_inside(blank, panel, 91, 86, 308, 203), 0);
}

TEST_F(WidgetPixels, ATabFocusedFieldShowsItsSelectionInPaletteEight)
{
	std::string blanks = "     ";
	// A position of its own: the shared engine remembers the last field focused.
	auto field = [&] { BTN_enterstring(100, 260, &blanks, 256, "", 200, 0); };
	draw(field);
	BTN_dispatch_to_focus(9, 9, btn_key_down);  // Tab: the field takes the focus, all selected
	draw(field);
	ogl_rgba want = OGL_palette_rgba(8, 1);
	EXPECT_TRUE(gl_rect_is(*world, 102, 259, 1, 1,
	                       rgba8{int(want.r * 255 + 0.5f), int(want.g * 255 + 0.5f), int(want.b * 255 + 0.5f), -1}, 2));
}

TEST_F(WidgetPixels, ALongTextIsClippedToItsField)
{
	std::string empty, longer(400, 'M');
	auto a = draw([&] { BTN_enterstring(100, 320, &empty, 500, "", 100, 0); });
	auto b = draw([&] { BTN_enterstring(100, 320, &longer, 500, "", 100, 0); });
	// The scissor box: x - 1 .. x + width + 1, y - 3 .. y + 8.
	EXPECT_GT(differences_inside(a, b, 99, 317, 200, 327), 0);
}

// The boxed string of the drawing layer, in the toolkit's field frame: its frame as wide
// as the text plus 7 (the fixed charset counting 10 a character), centred on x and 3
// above the baseline, the label's parts 8 beyond the frame's ends and the text 4 inside
// its left end.
TEST_F(WidgetPixels, BoxedStringSitsInAFieldFrameBetweenItsLabelParts)
{
	struct boxed_case {
		int charset;
		const char* text;
		float frame_width;
	};
	// "Hello world" is 60 wide in the proportional charset; five fixed cells are 50.
	for (const boxed_case& c : {boxed_case{100, "Hello world", 67}, boxed_case{102, "12345", 57}}) {
		SCOPED_TRACE(c.charset);
		const float x = 300, y = 200, half = c.frame_width / 2;
		auto boxed = draw([&] { OGL_boxed_string(x, y, "Fuel|kg", c.text, c.charset, 45); });
		auto pieces = draw([&] {
			BTN_frame1(9, x, y + 3, c.frame_width, 0);
			BTN_util_draw_label(x - half - 8, y, 0, "Fuel", 0);
			BTN_util_draw_label(x + half + 8, y, 2, "kg", 0);
			OGL_string(45, x - half + 4, y, c.text, 9999, c.charset, 0);
		});
		EXPECT_EQ(differences_inside(boxed, pieces, 0, 0, 0, 0), 0);
	}
}
