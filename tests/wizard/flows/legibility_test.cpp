// Every text the DVD installer shows reads clearly on what it is drawn over: the boxes
// (the alert box, the language chooser, the two questions, the preferences window) and
// every screen of the install, repair and scenery flows, in English, French and German.
// Each frame that shows something new is measured as the frame loop drew it: the lines
// of text it drew are drawn again alone to find their glyph pixels, and the text's
// palette colour is set against the panel pixels around each line (WCAG 2 contrast).
#include <GL/gl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>

#include "flow_fixture.h"
#include "graphics/colr.h"
#include "graphics/oglp.h"
#include "runtime/hl_alert.h"
#include "runtime/translate.h"
#include "shell/hl_alerts.h"
#include "shell/hl_init.h"
#include "support/builder_run.h"
#include "support/gl_pixels.h"
#include "wizard/main_install.h"
#include "wizard/main_prefs.h"

namespace {

using namespace kx_flow_test;

constexpr double kLeastContrast = 4.5;
// The panel around a line: its glyphs' bounding box grown by this many pixels, less
// every glyph pixel of the frame. The figure is the contrast that 90% of those pixels
// reach (the 10th percentile), so a neighbouring check box or frame line does not count
// but a dark band under part of the text does.
constexpr int kMargin = 3;
constexpr double kPercentile = 0.10;
// The palette entry the lines are drawn again in (one nothing else uses), white.
constexpr int kProbeEntry = 104;
constexpr int kCellW = 14, kCellH = 15, kCellDrop = 4;

// The language chooser's languages, as the chooser numbers them.
struct language {
	int lang;
	const char* name;
};
const language kLanguages[] = {{0, "english"}, {1, "french"}, {2, "german"}};
constexpr char kChooserTitle[] = "Language/";  // the title the alert box takes as the chooser
constexpr char kChooserPlace[] = "language chooser";

// The boxes and their buttons on an 800 by 600 screen (origin, then button, interface units).
struct box_point {
	float ox, oy, x, y;
};
constexpr box_point kAlertButton = {190, 175, 210, 18};
// The chooser's Accept button as drawn: a push button bar 26 high, as long as its label
// plus 21 (rounded to even).
struct drawn_rect {
	int x0, y0, x1, y1;
};
constexpr char kAccept[] = "Accept";
constexpr int kButtonPad = 21, kButtonHalfH = 13;
drawn_rect accept_button()
{
	const int half = int(std::round((ui_text_width(kAccept) + kButtonPad) / 2.0));
	const int cx = int(kAlertButton.ox + kAlertButton.x), cy = int(kAlertButton.oy + kAlertButton.y);
	return {cx - half, cy - kButtonHalfH, cx + half - 1, cy + kButtonHalfH - 1};
}
// What lies round a button that sits inside a panel: the panel's body alone, so the
// pixels of a ring this wide round it differ by at most this much from their median.
constexpr int kRing = 3, kRingSpread = 12;
constexpr box_point kModifiedKeep = {50, 227, 96, 28};
constexpr box_point kTwoButtonSecond = {50, 197, 96, 31};
// The screens' points.
constexpr point kLicenceTick = {230, 100};
constexpr point kFirstCopy = {250, 400};
constexpr point kSelectNone = {686, 131};
constexpr int kChoiceScenery = 1, kChoiceRepair = 2;
constexpr float kSmallDvdKb = 40.0f;  // spreads the release over several DVDs
constexpr int kRelease = 90001;
constexpr int kBoxFrames = 3;         // frames a box is shown before it is answered
// The flows wait on the install's workers frame by frame; these many frames are plenty.
constexpr int kLegibilityFrames = 5 * kFrameBudget;
constexpr char kUserEdit[] = "the pilot's own line\n";

// One line of text as str_one_line drew it.
struct drawn_line {
	int colour, charset;
	float x, y;
	std::string text;
};
std::vector<drawn_line> g_lines;
void observe(int colour, float x, float y, const std::string& s, int charset)
{
	g_lines.push_back({colour, charset, x, y, s});
}

double channel(double c)
{
	c /= 255.0;
	return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}
double luminance(double r, double g, double b)
{
	return 0.2126 * channel(r) + 0.7152 * channel(g) + 0.0722 * channel(b);
}
double contrast(double l1, double l2) { return (std::max(l1, l2) + 0.05) / (std::min(l1, l2) + 0.05); }

struct measured {
	double ratio;
	int colour;
};

// Measures the frame in the back buffer: every line drawn this frame against the panel
// around it. Leaves the back buffer spoilt (the next frame draws a whole new one).
std::vector<std::pair<std::string, measured>> measure_frame(const std::vector<unsigned char>& frame, int w, int h)
{
	std::vector<std::pair<std::string, measured>> out;
	std::vector<unsigned char> glyph(size_t(w) * size_t(h), 0);
	struct found {
		size_t line;
		int x0, y0, x1, y1;  // the glyphs' bounding box, inclusive
	};
	std::vector<found> boxes;
	const ogl_text_observer_fn old = OGL_set_text_observer(nullptr);
	colr.assign(kProbeEntry, 1, 1, 1);
	glClearColor(0, 0, 0, 0);
	for (size_t i = 0; i < g_lines.size(); ++i) {
		const drawn_line& l = g_lines[i];
		const int bx = std::max(0, int(l.x) - 1), by = std::max(0, int(l.y) - kCellDrop - 1);
		const int bw = std::min(w - bx, ui_text_width(l.text) + kCellW + 2);
		const int bh = std::min(h - by, kCellH + 2);
		if (bw <= 0 || bh <= 0) continue;
		glEnable(GL_SCISSOR_TEST);
		glScissor(bx, by, bw, bh);
		glClear(GL_COLOR_BUFFER_BIT);
		glDisable(GL_SCISSOR_TEST);
		str_one_line(kProbeEntry, l.x, l.y, l.text, l.charset, 0);
		const std::vector<unsigned char> px = gl_read_rect(bx, by, bw, bh);
		found f{i, w, h, -1, -1};
		for (int y = 0; y < bh; ++y)
			for (int x = 0; x < bw; ++x) {
				const unsigned char* p = &px[(size_t(y) * size_t(bw) + size_t(x)) * 4];
				if (!p[0] && !p[1] && !p[2]) continue;
				glyph[size_t(by + y) * size_t(w) + size_t(bx + x)] = 1;
				f.x0 = std::min(f.x0, bx + x), f.y0 = std::min(f.y0, by + y);
				f.x1 = std::max(f.x1, bx + x), f.y1 = std::max(f.y1, by + y);
			}
		if (f.x1 >= 0) boxes.push_back(f);
	}
	OGL_set_text_observer(old);
	for (const found& f : boxes) {
		const drawn_line& l = g_lines[f.line];
		const ogl_rgba c = OGL_palette_rgba(l.colour, 1.0f);
		const double lt = luminance(255.0 * c.r, 255.0 * c.g, 255.0 * c.b);
		std::vector<double> ratios;
		for (int y = std::max(0, f.y0 - kMargin); y <= std::min(h - 1, f.y1 + kMargin); ++y)
			for (int x = std::max(0, f.x0 - kMargin); x <= std::min(w - 1, f.x1 + kMargin); ++x) {
				if (glyph[size_t(y) * size_t(w) + size_t(x)]) continue;
				const unsigned char* p = &frame[(size_t(y) * size_t(w) + size_t(x)) * 4];
				ratios.push_back(contrast(lt, luminance(p[0], p[1], p[2])));
			}
		if (ratios.empty()) continue;
		const size_t k = size_t(double(ratios.size() - 1) * kPercentile);
		std::nth_element(ratios.begin(), ratios.begin() + long(k), ratios.end());
		out.push_back({l.text, {ratios[k], l.colour}});
	}
	return out;
}

// How far the pixels of a ring round `r` stray from their median (the largest channel
// difference).
int ring_spread(const std::vector<unsigned char>& frame, const drawn_rect& r)
{
	std::vector<int> ch[3];
	for (int y = r.y0 - kRing; y <= r.y1 + kRing; ++y)
		for (int x = r.x0 - kRing; x <= r.x1 + kRing; ++x) {
			if (x >= r.x0 && x <= r.x1 && y >= r.y0 && y <= r.y1) continue;
			const unsigned char* p = &frame[(size_t(y) * kScreenW + size_t(x)) * 4];
			for (int c = 0; c < 3; ++c) ch[c].push_back(p[c]);
		}
	int spread = 0;
	for (auto& v : ch) {
		std::vector<int> sorted = v;
		std::nth_element(sorted.begin(), sorted.begin() + long(sorted.size() / 2), sorted.end());
		const int median = sorted[sorted.size() / 2];
		for (int x : v) spread = std::max(spread, std::abs(x - median));
	}
	return spread;
}

// Where a frame was: the box that was current, else the wizard's screen.
std::string place_of(int window, screen_fn screen)
{
	if (window == wind_alert && stls.wind_title == kChooserTitle) return kChooserPlace;
	if (window != wind_main) return "window " + std::to_string(window);
	const char* name = screen ? wizard_screen_name(screen) : nullptr;
	return name ? name : "no screen";
}

class Legibility : public FlowTest, public ::testing::WithParamInterface<language> {
protected:
	void SetUp() override
	{
		if (!world->ok()) GTEST_SKIP() << "no headless OpenGL: " << world->why();
		win.set_budget(kLegibilityFrames);
		g_running = this;
		drawn_screen = g_wizard;
		dvd_pick_install_forget();  // a new run of the program proposes its folder afresh
		g_lines.clear();
		OGL_set_text_observer(observe);
		old_hook = OGL_set_swap_hook(on_swap);
		ogl_inited = 1;
		mnw.lang = GetParam().lang;
		if (mnw.lang == 0)
			UTL_translate_clear();
		else
			UTL_translate_load(source_dir() + "/apps/" + DIDIVI_lang_path(mnw.lang));
		ASSERT_EQ(has_translation, mnw.lang != 0 ? 1 : 0) << "no translation file for " << GetParam().name;
	}
	void TearDown() override
	{
		OGL_set_text_observer(nullptr);
		OGL_set_swap_hook(old_hook);
		g_running = nullptr;
		UTL_translate_clear();
		mnw.lang = 0;
		ogl_inited = 0;
		quit_requested = 0;
	}
	static std::string source_dir()
	{
		const char* d = std::getenv("KX_SOURCE_DIR");
		return d ? d : KX_SOURCE_DIR_FALLBACK;
	}

	// Runs in every buffer swap: measures a frame that shows what no frame of its place
	// showed before, answers a modified-file question that is up, then swaps as before.
	static void on_swap()
	{
		Legibility* t = g_running;
		if (!t) return;
		t->look();
		g_lines.clear();
		t->drawn_screen = g_wizard;
		t->old_hook();
	}
	void look()
	{
		const std::string where = place_of(mnw.current_window, drawn_screen);
		std::string key = where;
		for (const drawn_line& l : g_lines) key += "\n" + std::to_string(l.colour) + ":" + l.text;
		if (mnw.current_window == wind_modified_file && answer_modified) {
			press_in_box(kModifiedKeep, 1);
			answer_modified = false;
		}
		// A frame in which a box opened or closed shows parts of both: nothing to read.
		const bool window_changed = mnw.current_window != last_window;
		last_window = mnw.current_window;
		if (window_changed || !seen.insert(key).second) return;
		const std::vector<unsigned char> frame = gl_read_rect(0, 0, kScreenW, kScreenH);
		if (where == kChooserPlace) accept_ring_spread = std::max(accept_ring_spread, ring_spread(frame, accept_button()));
		for (const auto& [text, m] : measure_frame(frame, kScreenW, kScreenH)) {
			auto& worst = results[where];
			auto it = worst.find(text);
			if (it == worst.end() || m.ratio < it->second.ratio) worst[text] = m;
		}
	}
	void press_in_box(const box_point& b, int after)
	{
		const int px = int(b.ox + b.x), py = int(kScreenH - (b.oy + b.y));
		win.at_frame(win.frame() + after, ScriptedWindow::click(plat_ev_mouse_down, px, py));
		win.at_frame(win.frame() + after + 1, ScriptedWindow::click(plat_ev_mouse_up, px, py));
	}
	bool until_screen(screen_fn s)
	{
		return frames_until([&] { return g_wizard == s; }) && frames_until([] { return true; });
	}
	// Starts the wizard over on `s`, as a new run of the program would, for one frame.
	bool start_on(screen_fn s)
	{
		g_wizard = drawn_screen = s;
		return frames_until([] { return true; });
	}
	void choose(int i) { click({wizard_choice_x, wizard_choice_y(i)}); }

	// The DVDs of one release spread over several discs; the first one mounted.
	void build_dvd_set()
	{
		const kx_test::MasterTreeOptions o{.seed = 7, .bulk_files = 12, .max_file_bytes = 20000, .tile_count = 0,
		                                   .tile_bytes = 20000, .tile_names = {"+40-080", "-10+020"}};
		tree = kx_test::make_master_tree(master, o);
		for (const kx_test::RecordedAlert& a :
		     kx_test::build_release(master, env.path("masters/"), kRelease, "", kSmallDvdKb))
			ASSERT_NE(a.type, t_exit) << a.line1 << " " << a.line2;
		while (dir_exists(env.path("masters/disk_") + std::to_string(discs) + "/")) ++discs;
		ASSERT_GT(discs, 1) << "the release spans DVDs";
		mount(0);
	}
	void mount(int disk)
	{
		const std::string from = env.path("masters/disk_") + std::to_string(disk);
		const std::string to = media + "KESTRIX_DVD" + std::to_string(disk + 1);
		if (dir_exists(from + "/")) {
			ASSERT_EQ(::rename(from.c_str(), to.c_str()), 0);
		}
	}
	// Every DVD of the set in a drive, the ejected ones put back.
	void insert_all()
	{
		for (int d = 0; d < discs; ++d) {
			const std::string name = "KESTRIX_DVD" + std::to_string(d + 1);
			const std::string from = env.path("ejected/") + name, to = media + name;
			if (dir_exists(from + "/")) {
				ASSERT_EQ(::rename(from.c_str(), to.c_str()), 0);
			}
			mount(d);
		}
	}

	void expect_all_legible()
	{
		int lines = 0;
		for (const auto& [where, texts] : results) {
			std::vector<double> figures;
			for (const auto& [text, m] : texts) {
				++lines;
				figures.push_back(m.ratio);
				EXPECT_GE(m.ratio, kLeastContrast)
				    << GetParam().name << ", " << where << ": \"" << text << "\" in colour " << m.colour;
			}
			std::sort(figures.begin(), figures.end());
			std::printf("[ contrast ] %-8s %-24s lowest %5.2f, median %5.2f over %zu lines\n", GetParam().name,
			            where.c_str(), figures.front(), figures[figures.size() / 2], figures.size());
		}
		EXPECT_GT(lines, 0);
	}

	static Legibility* g_running;
	ogl_swap_fn old_hook = nullptr;
	screen_fn drawn_screen = nullptr;
	int last_window = wind_main;
	std::set<std::string> seen;
	std::map<std::string, std::map<std::string, measured>> results;
	bool answer_modified = false;
	int discs = 0;
	int accept_ring_spread = -1;
};
Legibility* Legibility::g_running = nullptr;

std::string language_name(const ::testing::TestParamInfo<language>& i) { return i.param.name; }

}  // namespace

TEST_P(Legibility, EveryBoxReadsClearly)
{
	// The alert box and the language chooser.
	press_in_box(kAlertButton, kBoxFrames);
	DIDIVI_shell_alert_presenter(wind_main, "I was unable to copy the file /media/KESTRIX_DVD1/Kestrix 9/a.txt",
	                             "from the DVD to the hard drive.", "No space left on device", "(28)", t_alert, "test",
	                             1);
	press_in_box(kAlertButton, kBoxFrames);
	DIDIVI_shell_alert_presenter(-1, "-", "-", "-", "-", t_lang, "test", 1);
	// The modified-file question in both wordings, and the two-button question.
	for (int gone : {0, 1}) {
		press_in_box(kModifiedKeep, kBoxFrames);
		EXPECT_EQ(select_alert("/home/pilot/Desktop/Kestrix 9/Resources/plugins/navdata.txt", gone), 2);
	}
	press_in_box(kTwoButtonSecond, kBoxFrames);
	EXPECT_EQ(abort_alert(UTL_translate_string("An error occurred during installation:") +
	                          "\n\nI was unable to unzip the file /tmp/x_3.zip to the folder /home/pilot/Kestrix 9/. "
	                          "(-3)\n\n" +
	                          UTL_translate_string("You can continue with the installation and attempt to repair the "
	                                               "damaged files later, or you can cancel the installation."),
	                      UTL_translate_string("Cancel"), UTL_translate_string("the install."),
	                      UTL_translate_string("Continue"), UTL_translate_string("the installation process.")),
	          0);
	// The preferences window, with the stream count shown, until the program's window closes.
	const int streams = stg.stream_count;
	stg.stream_count = 2;
	win.at_frame(win.frame() + kBoxFrames, ScriptedWindow::of_kind(plat_ev_high_level));
	handle_prefs();
	quit_requested = 0;
	stg.stream_count = streams;
	for (const char* w : {"window 994", kChooserPlace, "window 996", "window 997", "window 2"})
		EXPECT_TRUE(results.count(w)) << w << " was not drawn";
	// The chooser's Accept button sits inside the window's panel, clear of any frame.
	EXPECT_GE(accept_ring_spread, 0);
	EXPECT_LE(accept_ring_spread, kRingSpread) << "the Accept button touches a frame";
	expect_all_legible();
}

TEST_P(Legibility, EveryScreenOfTheDvdInstallerReadsClearly)
{
	// Before a DVD is in the drive, then the whole install over several DVDs, with the cancel
	// question asked on the way.
	ASSERT_TRUE(start_on(dvd_start));
	build_dvd_set();
	ASSERT_TRUE(continue_from(dvd_start));
	ASSERT_TRUE(continue_from(dvd_pick_install));
	ASSERT_TRUE(until_screen(dvd_eula_install));
	click(kLicenceTick);
	ASSERT_TRUE(continue_from(dvd_eula_install));
	ASSERT_TRUE(continue_from(dvd_scenery_install));
	ASSERT_TRUE(until_screen(dvd_switch_disk_install));
	// Going back while the install runs asks whether to cancel it; Continue goes on.
	answer_question_with(kQuestionSecond);
	click(kGoBack);
	ASSERT_TRUE(frames_until([&] { return questions_answered == 1; }));
	ASSERT_TRUE(until_screen(dvd_switch_disk_install));
	insert_all();
	ASSERT_TRUE(continue_from(dvd_switch_disk_install));
	ASSERT_TRUE(until_screen(dvd_done_install));
	const std::string copy = dest_dir_path;

	// A repair of a copy with a file gone and a file the user changed (the question is
	// answered Keep), from the main menu.
	std::string victims[2];
	for (const std::string& p : tree.shipped) {
		if (p.rfind("All/", 0) != 0 || p.find("Global Scenery") != std::string::npos) continue;
		std::string rel = p;
		trim_dest_folder(rel);
		if (!kx_test::path_exists(copy + rel)) continue;
		(victims[0].empty() ? victims[0] : victims[1]) = copy + rel;
		if (!victims[1].empty()) break;
	}
	ASSERT_FALSE(victims[1].empty());
	ASSERT_EQ(::unlink(victims[0].c_str()), 0);
	kx_test::write_file(victims[1], kUserEdit);
	ASSERT_TRUE(start_on(dvd_start));
	choose(kChoiceRepair);
	ASSERT_TRUE(until_screen(dvd_pick_repair));
	click(kFirstCopy);
	answer_modified = true;
	ASSERT_TRUE(continue_from(dvd_pick_repair));
	ASSERT_TRUE(continue_from(dvd_confirm_repair));
	ASSERT_TRUE(frames_until([] { return g_wizard == dvd_done_repair || g_wizard == dvd_switch_disk_repair; }));
	if (g_wizard == dvd_switch_disk_repair) {
		insert_all();
		ASSERT_TRUE(continue_from(dvd_switch_disk_repair));
	}
	ASSERT_TRUE(until_screen(dvd_done_repair));

	// The scenery taken off: the map, the run, the finish.
	insert_all();
	ASSERT_TRUE(start_on(dvd_start));
	choose(kChoiceScenery);
	ASSERT_TRUE(until_screen(dvd_pick_scenery));
	ASSERT_TRUE(continue_from(dvd_pick_scenery));
	ASSERT_TRUE(until_screen(dvd_edit_scenery));
	click(kSelectNone);
	ASSERT_TRUE(continue_from(dvd_edit_scenery));
	ASSERT_TRUE(until_screen(dvd_done_scenery));

	for (const char* s : {"dvd_start", "dvd_pick_install", "dvd_eula_install", "dvd_scenery_install", "window 997",
	                      "dvd_run_install", "dvd_switch_disk_install", "dvd_done_install", "dvd_pick_repair",
	                      "dvd_scan_repair", "dvd_confirm_repair", "window 996", "dvd_install_repair",
	                      "dvd_done_repair", "dvd_pick_scenery", "dvd_edit_scenery", "dvd_install_scenery",
	                      "dvd_done_scenery"})
		EXPECT_TRUE(results.count(s)) << s << " was not measured";
	expect_all_legible();
}

INSTANTIATE_TEST_SUITE_P(Languages, Legibility, ::testing::ValuesIn(kLanguages), language_name);
