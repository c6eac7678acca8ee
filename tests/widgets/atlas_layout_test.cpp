// The widgets cut the interface atlas where assets/builtin/layout.txt says its sprites
// are: the atlas is replaced by one whose every texel names the layout rectangle it lies
// in, each widget is drawn, and the names read back from the screen must be exactly the
// sprites the widget is made of, each cut whole where it is drawn one to one. Moving a
// sprite in the layout (and so in the artwork) without the code, or the code without the
// layout, fails here.
#include <GL/gl.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "graphics/tman.h"
#include "support/gl_pixels.h"
#include "widget_frames.h"

namespace {

constexpr int kAtlas = 512;
constexpr int kW = 800, kH = 600;
// A texel of the coded atlas: red = 1 + the rectangle's index (0 outside every one), with
// this green and blue, which no palette tint of colour 0 changes.
constexpr unsigned char kMarkG = 77, kMarkB = 200;

struct rect {
	std::string name;
	int s, t, w, h;
};

std::vector<rect> interface_layout()
{
	const char* src = std::getenv("KX_SOURCE_DIR");
	std::ifstream f(std::string(src ? src : KX_TEST_SOURCE_DIR) + "/assets/builtin/layout.txt");
	std::vector<rect> out;
	for (std::string line; std::getline(f, line);) {
		std::istringstream in(line.substr(0, line.find('#')));
		rect r;
		std::string atlas;
		if (in >> r.name >> atlas >> r.s >> r.t >> r.w >> r.h && atlas == "interface") out.push_back(r);
	}
	return out;
}

// One widget drawn, and the sprites it must show (an opaque sprite drawn over another
// hides it; text in white shows the font); `whole` ones are drawn one to one and show
// every texel of their rectangle.
struct drawing {
	const char* what;
	std::function<void()> draw;
	std::set<std::string> sprites, whole;
};

int g_type = 0;
std::string no_name(int, void*) { return ""; }
int row_type(int, void*) { return g_type; }

class AtlasLayout : public WidgetFrames {
protected:
	void SetUp() override
	{
		WidgetFrames::SetUp();
		colr.lites[0] = colr.lites[1] = colr.lites[2] = 1.0f;
		rects = interface_layout();
		ASSERT_GT(rects.size(), 40u) << "layout.txt not found";
		std::vector<unsigned char> coded(size_t(kAtlas) * kAtlas * 4);
		for (int y = 0; y < kAtlas; ++y)
			for (int x = 0; x < kAtlas; ++x) {
				unsigned char* p = &coded[(size_t(y) * kAtlas + size_t(x)) * 4];
				p[0] = 0, p[1] = kMarkG, p[2] = kMarkB, p[3] = 255;
				for (size_t i = 0; i < rects.size(); ++i) {
					const rect& r = rects[i];
					if (x >= r.s && x < r.s + r.w && y >= r.t && y < r.t + r.h) p[0] = static_cast<unsigned char>(i + 1);
				}
			}
		glBindTexture(GL_TEXTURE_2D, t_interface);
		glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kAtlas, kAtlas, GL_RGBA, GL_UNSIGNED_BYTE, coded.data());
		tman.reset_bind();
	}

	// The names on screen after `draw`, with how many pixels show each ("outside" for a
	// texel of no rectangle).
	std::map<std::string, int> names_drawn(const std::function<void()>& draw)
	{
		gl_clear_to(0, 0, 0, 0);
		idle(draw);
		glFinish();
		const std::vector<unsigned char> px = gl_read_rect(0, 0, kW, kH);
		std::map<std::string, int> out;
		for (size_t i = 0; i < px.size(); i += 4) {
			if (px[i + 3] != 255 || px[i + 1] != kMarkG || px[i + 2] != kMarkB) continue;
			const int id = px[i];
			++out[id == 0 || id > int(rects.size()) ? "outside" : rects[size_t(id - 1)].name];
		}
		return out;
	}
	int area(const std::string& name) const
	{
		for (const rect& r : rects)
			if (r.name == name) return r.w * r.h;
		return -1;
	}

	std::vector<rect> rects;
};

}  // namespace

TEST_F(AtlasLayout, EveryWidgetCutsExactlyItsSpritesFromTheLayout)
{
	KX_REQUIRE_GL(gl);
	static int off = 0, on = 1, value = 5, selected = 0, scroll = 0, selection = 0, popup = 0;
	static float fill = 0.5f, heading = 90;
	static std::string path = "a/b.txt";
	std::vector<drawing> cases = {
	    {"check box", [] { BTN_bool(100, 100, &off, "", 0); }, {"check_box"}, {"check_box"}},
	    {"ticked check box", [] { BTN_bool(100, 100, &on, "", 0); }, {"check_mark"}, {"check_mark"}},
	    {"radio", [] { BTN_bool(100, 100, &off, "", 1); }, {"radio_box"}, {"radio_box"}},
	    {"chosen radio", [] { BTN_bool(100, 100, &on, "", 1); }, {"radio_mark"}, {"radio_mark"}},
	    {"close boxes", [] { BTN_zap_boxes(0); }, {"zap_up"}, {}},
	    {"pressed close boxes", [] { BTN_zap_boxes(1); }, {"zap_down"}, {}},
	    {"trough", [] { BTN_frame0(6, 400, 300, 100); }, {"frame0"}, {}},
	    {"push button", [] { BTN_action(400, 300, 0, 0, 0, "", "-"); }, {"frame1_2"}, {}},
	    {"held push button", [] { BTN_action(400, 300, 0, 1, 0, "", "-"); }, {"frame1_3"}, {}},
	    {"scroll bar", [] { BTN_vert_slider(0, 400, 100, 400, 0, 10, &value); },
	     {"frame0", "slider_up", "slider_thumb", "slider_down"}, {}},
	    {"tabs", [] { BTN_tab(0, 0, &selected, 0, ""), BTN_tab(1, 0, &selected, 1, ""); },
	     {"tab_front", "tab_back"}, {}},
	    {"path chooser", [] { BTN_select_path_stl(300, 300, 999, 0, &path, 20, "", 200, 0); },
	     {"frame1_9", "chooser_icon"}, {}},
	    {"pop-up list", [] { BTN_textlist(300, 300, &popup, "a-b", ""); }, {"frame1_10", "font"}, {}},
	    {"slider", [] { BTN_horz_slider(400, 300, 200, 0, 0, 1, &fill, 1, "", ""); }, {"frame1_7", "frame1_8", "slider_knob"}, {}},
	    {"dial", [] { plot_dir(400, 300, &heading, 0); }, {"dial_face"}, {}},
	};
	for (int style : {0, 1, 2, 3, 4, 5, 7, 8, 9, 10}) {
		const std::string name = "frame1_" + std::to_string(style);
		cases.push_back({"bar", [style] { BTN_frame1(style, 400, 300, 200, 0); }, {name}, {}});
	}
	for (int style = 11; style <= 19; ++style) {
		const std::string name = "frame2_" + std::to_string(style);
		cases.push_back({"panel", [style] { BTN_frame2(style, 300, 200, 200, 150, ""); }, {name}, {}});
	}
	const std::pair<int, const char*> icons[] = {{1, "list_folder"},    {3, "list_aircraft"}, {4, "list_airfoil"},
	                                            {5, "list_weapon"},    {9, "list_situation"}, {10, "list_movie"},
	                                            {11, "list_plan"},     {7, "list_object"}};
	for (const auto& [type, icon] : icons)
		cases.push_back({"list row",
		                 [type] {
			                 g_type = type;
			                 BTN_list_and_search(0, 100, 300, 0, 0, &scroll, &selection, 0, 0, nullptr, "", no_name,
			                                     nullptr, nullptr, nullptr, row_type, nullptr);
		                 },
		                 {"frame2_16", icon},
		                 {icon}});

	for (const drawing& d : cases) {
		const std::map<std::string, int> seen = names_drawn(d.draw);
		std::set<std::string> names;
		for (const auto& [name, count] : seen) names.insert(name);
		std::string list;
		for (const auto& [name, count] : seen) list += " " + name + "=" + std::to_string(count);
		EXPECT_EQ(names, d.sprites) << d.what << " shows" << list;
		for (const std::string& w : d.whole) {
			const auto it = seen.find(w);
			EXPECT_EQ(it == seen.end() ? 0 : it->second, area(w)) << d.what << ": " << w << " is not cut whole";
		}
	}
}
