// Both sliders frame by frame: the thumb's places, arrows, pages, the held repeat, the
// grab, the fill, and the indices the grab table cannot hold.
#include <GL/gl.h>

#include "graphics/colr.h"
#include "graphics/ogl_draw.h"
#include "graphics/tman.h"
#include "support/test_env.h"
#include "widgets/widget_frames.h"

namespace {

class Sliders : public WidgetFrames {};

// A vertical slider min 0 max 100 on x 100, trough 100 .. 300.
constexpr float kX = 100, kBottom = 100, kTop = 300;

}  // namespace

TEST_F(Sliders, VerticalThumbArrowsPagesAndTheHeldRepeat)
{
	KX_REQUIRE_GL(gl);
	int v = 250;
	auto slider = [&] { BTN_vert_slider(0, kX, kBottom, kTop, 0, 100, &v); };
	idle(slider);
	EXPECT_EQ(v, 100);  // clamped and stored without input

	// The thumb sits at top - 10 for min and bottom + 9 for max: grab it there.
	frame_input at_max;
	at_max.mx = kX;
	at_max.my = kBottom + 9 + 11;
	at_max.held = true;
	frame(at_max, slider);
	EXPECT_EQ(slider_grabbed[0], 1);
	frame({}, slider);
	v = 0;
	frame_input below_min_thumb = at_max;
	below_min_thumb.my = kTop - 10 - 12;
	frame(below_min_thumb, slider);
	EXPECT_EQ(slider_grabbed[0], 0);
	below_min_thumb.my = kTop - 10 - 11;
	frame(below_min_thumb, slider);
	EXPECT_EQ(slider_grabbed[0], 1);
	frame({}, slider);

	v = 0;
	click(kX, kTop + 20, slider);  // upper arrow at min stays at min
	EXPECT_EQ(v, 0);
	click(kX + 11, kBottom - 20, slider);  // lower arrow, edges inclusive
	EXPECT_EQ(v, 1);
	click(kX + 11.5f, kBottom - 10, slider);
	EXPECT_EQ(v, 1);
	v = 50;  // thumb at 200.5
	click(kX, 250, slider);
	EXPECT_EQ(v, 40);
	click(kX, 150, slider);
	EXPECT_EQ(v, 50);
	click(kX, kBottom, slider);  // on the bottom: the arrow and the page both apply
	EXPECT_EQ(v, 61);

	// Held on the lower arrow: steps only in frames where the 0.2 s tick fires.
	frame_input hold;
	hold.mx = kX;
	hold.my = kBottom - 10;
	hold.held = hold.repeat = true;
	frame(hold, slider);
	EXPECT_EQ(v, 61);
	hold.tick = true;
	frame(hold, slider);
	EXPECT_EQ(v, 62);
	hold.repeat = false;
	frame(hold, slider);
	EXPECT_EQ(v, 62);
}

TEST_F(Sliders, VerticalDragKeepsTheGrabFarOffAndEndsOnRelease)
{
	KX_REQUIRE_GL(gl);
	int v = 0, r = 0;
	auto slider = [&] { r = BTN_vert_slider(1, kX, kBottom, kTop, 0, 100, &v); };
	frame_input drag;
	drag.mx = kX;
	drag.my = kTop - 10;
	drag.down = true;
	frame(drag, slider);
	EXPECT_EQ(r, 1);
	drag.down = false;
	drag.held = true;
	drag.mx = 700;
	drag.my = 150;  // (150 - 289) / (111 - 289) of the range
	frame(drag, slider);
	EXPECT_EQ(v, int(100.0f * (150 - 289) / (111 - 289)));
	drag.my = -500;
	frame(drag, slider);
	EXPECT_EQ(v, 100);
	EXPECT_EQ(r, 1);
	frame({}, slider);
	EXPECT_EQ(r, 0);
	EXPECT_EQ(v, 100);

	// Bounds that leave nothing to slide: untouched, 0.
	int same = 7;
	idle([&] { r = BTN_vert_slider(2, kX, kBottom, kTop, 5, 5, &same); });
	EXPECT_EQ(same, 7);
	EXPECT_EQ(r, 0);
}

TEST_F(Sliders, AnIndexOutsideTheGrabTableIsTheQuittingAlert)
{
	KX_REQUIRE_GL(gl);
	for (int index : {4, -1}) {
		kx_test::AlertRecorder rec;
		int v = 0;
		EXPECT_THROW(idle([&] { BTN_vert_slider(index, kX, kBottom, kTop, 0, 10, &v); }), kx_test::AlertExit);
		ASSERT_EQ(rec.alerts().size(), 1u);
		EXPECT_EQ(rec.alerts()[0].line1, "Too many sliders!");
	}
}

TEST_F(Sliders, HorizontalFillKnobHelpAndItsRepairs)
{
	KX_REQUIRE_GL(gl);
	EXPECT_EQ(BTN_horz_fill_width(7.9f), 8);
	EXPECT_EQ(BTN_horz_fill_width(6.3f), 6);
	EXPECT_EQ(BTN_horz_fill_width(0), 0);

	float v = 0;
	int r = 0;
	frame_input drag;
	drag.mx = 175;
	drag.my = 120;  // 20 above the line still counts
	drag.held = true;
	frame(drag, [&] { r = BTN_horz_slider(100, 100, 100, 5, 0, 10, &v, 1, "|x{?Volume", "cap"); });
	EXPECT_EQ(r, 1);
	EXPECT_FLOAT_EQ(v, 7.5f);
	drag.mx = 500;
	frame(drag, [&] { r = BTN_horz_slider(100, 100, 100, 12, 0, 10, &v, 1, "", ""); });
	EXPECT_EQ(r, 0);  // out of reach: no grab to keep it
	EXPECT_FLOAT_EQ(v, 7.5f);

	// Display only: never moves, help still shown.
	drag.mx = 150;
	drag.my = 107;
	frame(drag, [&] { r = BTN_horz_slider(100, 100, 100, 5, 0, 10, &v, 0, "|x{?Volume", ""); });
	EXPECT_EQ(r, 0);
	EXPECT_FLOAT_EQ(v, 7.5f);
	EXPECT_EQ(stls.mouse_help, "Volume");

	// Equal bounds: max becomes min + 0.01, so the far right end is the larger bound.
	float e = 5;
	drag.mx = 200;
	drag.my = 100;
	frame(drag, [&] { r = BTN_horz_slider(100, 100, 100, 5, 5, 5, &e, 1, "", ""); });
	EXPECT_NEAR(e, 5.01f, 1e-5);

	// No width: the mouse is ignored and nothing becomes NaN.
	float z = 3;
	drag.mx = 105;  // within reach of the track's one point
	frame(drag, [&] { r = BTN_horz_slider(100, 100, 0, 5, 0, 10, &z, 1, "", ""); });
	EXPECT_EQ(r, 0);
	EXPECT_FLOAT_EQ(z, 3);
}

TEST_F(Sliders, VerticalAtMinAndMaxDifferOnlyAroundTheTwoThumbPlaces)
{
	KX_REQUIRE_GL(gl);
	auto draw_at = [&](int v) {
		glClearColor(0, 0, 0, 1);
		glClear(GL_COLOR_BUFFER_BIT);
		idle([&] { BTN_vert_slider(0, kX, kBottom, kTop, 0, 100, &v); });
		return gl.read_all();
	};
	const std::vector<unsigned char> a = draw_at(0), b = draw_at(100);
	int diffs = 0;
	for (int y = 0; y < gl.height(); ++y)
		for (int x = 0; x < gl.width(); ++x) {
			const size_t i = (size_t(y) * size_t(gl.width()) + size_t(x)) * 4;
			if (a[i] == b[i] && a[i + 1] == b[i + 1] && a[i + 2] == b[i + 2]) continue;
			++diffs;
			const bool near_min = std::abs(y - (kTop - 10)) <= 13, near_max = std::abs(y - (kBottom + 9)) <= 13;
			EXPECT_TRUE(std::abs(x - kX) <= 10 && (near_min || near_max)) << x << "," << y;
		}
	EXPECT_GT(diffs, 0);
}
