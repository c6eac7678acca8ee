// Tabs, the dial, the latitude/longitude rows and the browser's preview panel.
#include <GL/gl.h>

#include <cstring>
#include <string>

#include "graphics/colr.h"
#include "graphics/tman.h"
#include "support/gl_pixels.h"
#include "support/test_env.h"
#include "widgets/widget_frames.h"

namespace {

class Tabs : public WidgetFrames {};

// An aircraft file: the binary header ('i', version 900 little-endian) and a block of
// `block` bytes with the four strings in their fields.
std::string aircraft(size_t block, const std::string& first)
{
	std::string f = "i";
	const int version = 900;
	f.append(reinterpret_cast<const char*>(&version), 4);
	std::string b(block, '\0');
	auto put = [&](size_t at, const std::string& s) {
		if (at + s.size() <= b.size()) b.replace(at, s.size(), s);
	};
	put(1552, first);
	put(1052, "Second");
	put(2052, std::string(40, 'T'));  // fills its field: read within it
	put(1012, "Fourth");
	return f + b;
}

// Pixels of the rectangle that differ from the same rectangle of `base`.
int changed_in(const GlTestContext& gl, const std::vector<unsigned char>& base, int x1, int y1, int x2, int y2)
{
	const std::vector<unsigned char> now = gl.read_all();
	int n = 0;
	for (int y = y1; y <= y2; ++y)
		for (int x = x1; x <= x2; ++x) {
			const size_t i = (size_t(y) * size_t(gl.width()) + size_t(x)) * 4;
			n += now[i] != base[i] || now[i + 1] != base[i + 1] || now[i + 2] != base[i + 2];
		}
	return n;
}

}  // namespace

TEST_F(Tabs, TabsHitFiftyLeftAndFortyRight)
{
	KX_REQUIRE_GL(gl);
	int sel = 0;
	int r = 0;
	const float cx = 53, cy = 600 - 38;
	auto tab = [&] { r = BTN_tab(0, 0, &sel, 7, "One"); };
	click(cx + 41, cy, tab);
	EXPECT_EQ(r, 0);
	click(cx - 50, cy + 13, tab);
	EXPECT_EQ(r, 1);
	EXPECT_EQ(sel, 7);
	sel = 0;
	click(cx + 40, cy - 13, tab);
	EXPECT_EQ(sel, 7);
	sel = 0;
	click(88 + 53 - 51, 600 - 38 - 32, [&] { BTN_tab(1, 1, &sel, 3, ""); });
	EXPECT_EQ(sel, 0);
}

TEST_F(Tabs, TheDialPointsUpAtZeroAndKeeps360)
{
	KX_REQUIRE_GL(gl);
	EXPECT_FLOAT_EQ(BTN_dial_heading(0, 10), 0);
	EXPECT_FLOAT_EQ(BTN_dial_heading(10, 0), 90);
	EXPECT_FLOAT_EQ(BTN_dial_heading(-10, 0), 270);
	float h = 360;
	idle([&] { plot_dir(200, 200, &h, 0); });
	EXPECT_FLOAT_EQ(h, 360);
	frame_input in;
	in.mx = 230;
	in.my = 200;
	in.held = true;
	frame(in, [&] { plot_dir(200, 200, &h, 1); });
	EXPECT_FLOAT_EQ(h, 90);
	in.mx = 231;
	in.my = 230;
	frame(in, [&] { plot_dir(200, 200, &h, 1); });
	EXPECT_FLOAT_EQ(h, 90);  // out of reach
}

TEST_F(Tabs, LatitudeLongitudeRowsSplitAndJoinDegrees)
{
	KX_REQUIRE_GL(gl);
	float x = 100, y = 400, lon = -0.5f, lat = 45.25f;
	int r = 1;
	idle([&] {
		x = 100;
		y = 400;
		r = enter_lat_lon(&x, &y, &lon, &lat);
	});
	EXPECT_EQ(r, 0);
	EXPECT_FLOAT_EQ(y, 300);
	EXPECT_FLOAT_EQ(lon, -0.5f);
	EXPECT_FLOAT_EQ(lat, 45.25f);
	// The longitude's minutes field shows -30: its first cell's up arrow adds 10.
	click(150 + 5, 350 + 18, [&] {
		x = 100;
		y = 400;
		r = enter_lat_lon(&x, &y, &lon, &lat);
	});
	EXPECT_EQ(r, 1);
	EXPECT_NEAR(lon, -20.0f / 60, 1e-5);
	EXPECT_FLOAT_EQ(lat, 45.25f);
}

TEST_F(Tabs, ThePreviewReadsEachFileOnceAndSurvivesShortFiles)
{
	KX_REQUIRE_GL(gl);
	kx_test::TempEnv env;
	const std::string root = env.root();
	const std::string acf = root + "plane.acf";
	ASSERT_TRUE(kx_test::write_file(acf, aircraft(2092, "Kestrel trainer")));
	// A 4 x 4 icon in one colour: the panel fills with it, tinted by palette 49.
	std::vector<unsigned char> px(4 * 4 * 3, 0);
	for (size_t i = 0; i < px.size(); i += 3) px[i] = 255;
	ASSERT_TRUE(write_test_png(root + "plane_icon.png", 4, 4, 3, px.data()));

	colr.assign(49, 1, 1, 1);
	auto panel = [&](const std::string& p, int type = 3) {
		glClearColor(0, 0, 0, 1);
		glClear(GL_COLOR_BUFFER_BIT);
		idle([&] { stand_io_dialog(998, type, p); });
	};
	panel("-");
	const std::vector<unsigned char> empty = gl.read_all();
	auto ink_in = [&](const GlTestContext& g, int x1, int y1, int x2, int y2) {
		return changed_in(g, empty, x1, y1, x2, y2);
	};
	panel(acf);
	const uint32_t mid = gl.pixel(441, 180);
	EXPECT_NEAR(px_r(mid), 255, 2);
	EXPECT_NEAR(px_g(mid), 0, 2);
	EXPECT_GT(ink_in(gl, 341, 395, 541, 412), 20);  // the first string

	// Replaced between calls with the same path: nothing is read again.
	ASSERT_TRUE(kx_test::write_file(acf, "gone"));
	panel(acf);
	EXPECT_NEAR(px_r(gl.pixel(441, 180)), 255, 2);
	EXPECT_GT(ink_in(gl, 341, 395, 541, 412), 20);

	// A file shorter than its header plus the block shows no strings and no alert.
	const std::string shorter = root + "short.acf";
	ASSERT_TRUE(kx_test::write_file(shorter, aircraft(2000, "Never shown")));
	kx_test::AlertRecorder rec;
	panel(shorter);
	EXPECT_TRUE(rec.alerts().empty());
	EXPECT_EQ(ink_in(gl, 341, 330, 541, 412), 0);

	// A recording's "COMM" line.
	const std::string fdr = root + "flight.fdr";
	ASSERT_TRUE(kx_test::write_file(fdr, "I\n1 version\n\nACFT, plane.acf\n  comm,\t A quiet circuit\n"));
	panel(fdr, 8);
	EXPECT_GT(ink_in(gl, 331, 240, 551, 300), 20);
}
