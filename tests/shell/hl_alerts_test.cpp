#include "runtime/hl_product.h"
#include "runtime/http.h"
#include "shell/hl_shader_hook.h"
#include "shell_fixture.h"
#include "support/loopback_http.h"
#include "support/planted_link.h"

using namespace kx_test;

namespace {

// The shell's presenter on a window 0 of 800 by 600 that is up, without start-up.
class Alerts : public ShellTest {
protected:
	void SetUp() override
	{
		ShellTest::SetUp();
		mnw.x_res_now = 800;
		mnw.y_res_now = 600;
		mnw.ui_scale = 1.0f;
		DIDIVI_startwind(wind_main, 0);
		ogl_inited = 1;
		xer.open(env.path("log.txt"));
		DIDIVI_set_alert_presenter(DIDIVI_shell_alert_presenter);
		DIDIVI_set_alert_exit([](int status) { throw AlertExit{status}; });
		if (chdir(env.root().c_str()) != 0) ADD_FAILURE() << "no sandbox folder";
		kx_fake::reset();
	}
	void TearDown() override
	{
		DIDIVI_set_alert_exit(nullptr);
		ShellTest::TearDown();
	}
	void alert(int type, const std::string& l1 = "First line", int return_window = 0)
	{
		__DIDIVI_alert(return_window, l1, "Second line", "Third line", "Fourth line", type, "hl_test", 12);
	}
	std::string log_text()
	{
		xer.flush();
		return read_file(env.path("log.txt"));
	}
};

}  // namespace

TEST_F(Alerts, TypeOneDismissedInFrameThreeRestoresMouseAndWindow)
{
	mnw.mouse_x = 123;
	mnw.mouse_y = 45;
	kx_fake::fire_button("OK", 3);
	alert(t_alert);
	EXPECT_EQ(kx_fake::frame(), 3);
	EXPECT_EQ(mnw.wind_id, wind_main);
	EXPECT_EQ(mnw.mouse_x, 123);
	EXPECT_EQ(mnw.mouse_y, 45);
	EXPECT_EQ(DIDIVI_in_alert(), 0);

	const auto button = kx_fake::calls_of("BTN_action");
	ASSERT_EQ(button.size(), 4u);
	EXPECT_EQ(button[0].text, "OK|-");
	EXPECT_EQ(button[0].num[1], 18);
	EXPECT_TRUE(kx_fake::calls_of("APP_update").empty());  // the wizard waits
	EXPECT_NE(log_text().find("\nFirst line\nSecond line\nThird line\nFourth line\n(hl_test line 12)\n"),
	          std::string::npos);
}

TEST_F(Alerts, ReturnDismissesAndADialogUnderneathIsNotRestored)
{
	DIDIVI_startwind(wind_modified_file, 0);
	win.at_frame(1, ScriptedWindow::key(plat_ev_key_down, 36, 13));
	alert(t_alert);
	EXPECT_EQ(mnw.wind_id, wind_main);
	EXPECT_EQ(return_hit, 0);
}

TEST_F(Alerts, FrenchChosenInTheLanguageChooser)
{
	mnw.lang = 0;
	kx_fake::click_radio("|French", 1);
	kx_fake::fire_button("Accept", 2);
	__DIDIVI_alert(-1, "-", "-", "-", "-", t_lang, "hl_init", 1664);
	EXPECT_EQ(mnw.lang, 1);
	EXPECT_EQ(mnw.wind_id, -1);  // the next frame starts window 0
	EXPECT_EQ(stls.wind_title, "Language/");
	const auto radios = kx_fake::calls_of("BTN_is_int");
	ASSERT_GE(radios.size(), 3u);
	EXPECT_EQ(radios[0].text, "|English");
	EXPECT_EQ(radios[2].num[1], 140);
	EXPECT_EQ(log_text().find("\n-\n"), std::string::npos);  // nor logged
	DIDIVI_event_proc();
	EXPECT_EQ(mnw.wind_id, wind_main);
}

TEST_F(Alerts, TheChooserShowsItsTitleFromItsFirstFrame)
{
	kx_fake::fire_button("Accept", 2);
	__DIDIVI_alert(-1, "-", "-", "-", "-", t_lang, "hl_init", 1664);
	const auto frames = kx_fake::calls_of("BTN_fillwin");
	ASSERT_FALSE(frames.empty());
	for (const auto& f : frames) EXPECT_EQ(f.text, "Language/") << "in frame " << f.frame;
}

TEST_F(Alerts, CloseButtonInsideABoxAnswersIt)
{
	win.at_frame(1, ScriptedWindow::of_kind(plat_ev_high_level));
	alert(t_alert);
	EXPECT_EQ(mnw.wind_id, wind_main);
	EXPECT_EQ(quit_requested, 1);  // the wizard quits next
	EXPECT_EQ(kx_fake::frame(), 2);

	quit_requested = 0;
	mnw.lang = 2;
	win.at_frame(kx_fake::frame() + 1, ScriptedWindow::of_kind(plat_ev_high_level));
	__DIDIVI_alert(-1, "-", "-", "-", "-", t_lang, "hl_init", 1664);
	EXPECT_EQ(mnw.lang, 2);  // Accept keeps what was chosen
}

TEST_F(Alerts, QuittingAlertEndsAfterItsButton)
{
	kx_fake::fire_button("OK", 1);
	try {
		alert(t_exit);
		ADD_FAILURE() << "a quitting alert returned";
	} catch (const AlertExit& e) {
		EXPECT_EQ(e.status, 1);
	}
	EXPECT_EQ(app_done, 1);
	EXPECT_FALSE(read_file(env.path("stack_crawl.txt")).empty());
}

// The working folder may be any folder of the user's: a link named "stack_crawl.txt"
// there is never written through, whether its target exists or not.
TEST_F(Alerts, AQuittingAlertNeverAppendsThroughALink)
{
	for (link_kind kind : kLinkKinds) {
		const std::string target = env.path(kind == link_kind::dangling ? "Downloads/gone.txt" : "Downloads/notes.txt");
		PlantedLink link(env.path("stack_crawl.txt"), target, kind);
		kx_fake::fire_button("OK", kx_fake::frame() + 1);
		EXPECT_THROW(alert(t_exit), AlertExit);
		EXPECT_TRUE(link.untouched());
		ASSERT_EQ(unlink(env.path("stack_crawl.txt").c_str()), 0);
	}
}

TEST_F(Alerts, EmptyAlertShowsNothingButIsLogged)
{
	__DIDIVI_alert(0, "", "", "", "", t_alert, "hl_test", 99);
	EXPECT_TRUE(kx_fake::calls().empty());
	EXPECT_NE(log_text().find("(hl_test line 99)"), std::string::npos);
}

TEST_F(Alerts, FpsTestOnlyLogs)
{
	const char* argv[] = {"kestrix-installer", "--fps_test"};
	cmdline.init_unix(2, argv);
	alert(t_alert);
	EXPECT_TRUE(kx_fake::calls().empty());
	EXPECT_NE(log_text().find("First line\nSecond line\nThird line\nFourth line\n(hl_test line 12)\n"),
	          std::string::npos);
	EXPECT_THROW(alert(t_exit), AlertExit);
	EXPECT_FALSE(read_file(env.path("stack_crawl.txt")).empty());
	EXPECT_EQ(win.closed, 0);  // no finish-up
}

// A line naming something from outside is logged on a line of its own, spelled out,
// whether the alert is shown or only logged.
TEST_F(Alerts, EachAlertLineIsOneLogLine)
{
	const std::string logged = "\na\\nFORGED: x\\x1b[31m\\\\b\nSecond line\nThird line\nFourth line\n(hl_test line 12)\n";
	kx_fake::fire_button("OK", 1);
	alert(t_alert, "a\nFORGED: x\x1b[31m\\b");
	const size_t shown = log_text().find(logged);
	EXPECT_NE(shown, std::string::npos) << log_text();
	const char* argv[] = {"kestrix-installer", "--fps_test"};
	cmdline.init_unix(2, argv);
	alert(t_alert, "a\nFORGED: x\x1b[31m\\b");
	EXPECT_NE(log_text().find(logged, shown + 1), std::string::npos) << log_text();
	EXPECT_EQ(log_breakout(log_text(), "FORGED"), "");
}

TEST_F(Alerts, BeforeTheWindowItIsASystemAlert)
{
	ogl_inited = 0;
	alert(t_alert);
	ASSERT_EQ(win.boxes.size(), 1u);
	EXPECT_EQ(win.boxes[0], "First line Second line|Third line Fourth line");
	EXPECT_TRUE(kx_fake::calls_of("BTN_action").empty());
}

TEST_F(Alerts, SystemAlertTextIsCutThenConverted)
{
	DIDIVI_system_alert(std::string(300, 'a'), "b", "c", "d");
	ASSERT_EQ(win.boxes.size(), 1u);
	EXPECT_EQ(win.boxes[0], std::string(255, 'a') + "|c d");

	win.box_shows = false;
	testing::internal::CaptureStderr();
	DIDIVI_system_alert(std::string(254, 'a') + "\xE9", "b", "Caf\xE9", "");
	const std::string err = testing::internal::GetCapturedStderr();
	EXPECT_EQ(err, std::string(254, 'a') + "\xC3\xA9\nCaf\xC3\xA9 \n");
	// A name from outside reaches the terminal spelled out: nothing in it can steer it.
	testing::internal::CaptureStderr();
	DIDIVI_system_alert("Disc", "\x1b[2J", "in", "\x1b]0;owned\x07");
	EXPECT_EQ(testing::internal::GetCapturedStderr(), "Disc \\x1b[2J\nin \\x1b]0;owned\\x07\n");
}

TEST_F(Alerts, RecursiveAlertIsASystemAlertAndEndsTheProgram)
{
	GTEST_FLAG_SET(death_test_style, "threadsafe");
	EXPECT_EXIT(
		{
			DIDIVI_set_alert_exit(nullptr);
			win.box_shows = false;
			kx_fake::on_call = [](const kx_fake::Call& c) {
				if (c.name == "BTN_action") __DIDIVI_alert(0, "Inner", "alert", "", "", t_alert, "hl_test", 7);
			};
			alert(t_alert);
		},
		testing::ExitedWithCode(1), "Inner alert");
}

namespace {
int g_releases = 0;
void count_release() { ++g_releases; }
}  // namespace

TEST_F(Alerts, TheExtrasReleaseTheirShadersBeforeTheBoxDraws)
{
	g_releases = 0;
	shader_unbind_fn old = DIDIVI_set_shader_unbind(count_release);
	kx_fake::fire_button("OK", 0);
	alert(t_alert);
	DIDIVI_set_shader_unbind(old);
	EXPECT_EQ(g_releases, 1);
}

TEST_F(Alerts, NukeQuestionAnswers)
{
	stls.ui_str[608] = "Delete";
	stls.ui_str[609] = "Keep";
	stls.ui_str[610] = "Cancel";
	kx_fake::fire_button("Keep", 2);
	EXPECT_EQ(DIDIVI_nuke_alert("Old Plane", 1), 2);
	EXPECT_EQ(mnw.wind_id, wind_main);
	EXPECT_EQ(kx_fake::calls_of("BTN_action").back().text, "Keep|-");

	// Closing the window answers with the third choice, which deletes nothing.
	kx_fake::reset();
	win.at_frame(win.frame(), ScriptedWindow::of_kind(plat_ev_high_level));
	EXPECT_EQ(DIDIVI_nuke_alert("Old Plane", 0), 3);
	for (const auto& c : kx_fake::calls_of("BTN_action")) EXPECT_NE(c.text, "Cancel|-");
}

TEST_F(Alerts, WebAddressGoesToXdgOpen)
{
	const std::string bin = env.path("bin/");
	ASSERT_TRUE(write_file(bin + "xdg-open", "#!/bin/sh\necho \"$1\" > \"" + env.path("opened.txt") + "\"\n"));
	ASSERT_EQ(make_file_executable((bin + "xdg-open").c_str()), 0);
	const std::string old_path = getenv("PATH") ? getenv("PATH") : "";
	setenv("PATH", (bin + ":" + old_path).c_str(), 1);
	const int rc = go_to_URL("http://www.kestrix.example/support");
	setenv("PATH", old_path.c_str(), 1);
	EXPECT_EQ(rc, 0);
	std::string opened;
	for (int i = 0; i < 100 && opened.empty(); ++i) {  // 5 s at most
		opened = read_file(env.path("opened.txt"));
		if (opened.empty()) usleep(50 * 1000);
	}
	EXPECT_EQ(opened, "http://www.kestrix.example/support\n");

	kx_fake::fire_button("OK", kx_fake::frame());
	EXPECT_THROW(go_to_URL(std::string(500, 'x')), AlertExit);
}

TEST_F(Alerts, AboutBoxRunsInTheAlertWindowUntilClosed)
{
	kx_test::LoopbackHttp server;  // the maker's web host, reached only through the proxy
	http.proxy_host = "127.0.0.1";
	http.proxy_port_int = server.port();
	kx_fake::fire_button("OK", 2);
	DIDIVI_about();
	http.proxy_host.clear();
	http.proxy_port_int = 0;
	EXPECT_EQ(mnw.wind_id, wind_main);
	EXPECT_EQ(kx_fake::frame(), 2);
	bool offered_address = false;
	for (const auto& c : kx_fake::calls_of("BTN_action"))
		offered_address |= c.text == std::string(maker_web_address) + "|-";
	EXPECT_TRUE(offered_address);
}

TEST_F(Alerts, FpsTestQuittingAlertExitsAtOnce)
{
	// The child must share this test's sandbox folder, where it leaves its stack crawl.
	GTEST_FLAG_SET(death_test_style, "fast");
	const char* argv[] = {"kestrix-installer", "--fps_test"};
	cmdline.init_unix(2, argv);
	EXPECT_EXIT(
		{
			DIDIVI_set_alert_exit(nullptr);
			alert(t_exit);
		},
		testing::ExitedWithCode(1), "");
	EXPECT_FALSE(read_file(env.path("stack_crawl.txt")).empty());
}

TEST_F(Alerts, BoxesOpeningAreTraced)
{
	const std::string trace = env.path("trace.jsonl");
	setenv("KESTRIX_SCREEN_TRACE", trace.c_str(), 1);
	kx_fake::fire_button("Accept", win.frame());
	__DIDIVI_alert(-1, "-", "-", "-", "-", t_lang, "hl_init", 1664);
	kx_fake::fire_button("OK", win.frame());
	alert(t_alert, "Caf\xE9");
	win.box_shows = false;
	testing::internal::CaptureStderr();
	DIDIVI_system_alert("No", "window", "at", "all");
	testing::internal::GetCapturedStderr();
	unsetenv("KESTRIX_SCREEN_TRACE");
	const std::string t = read_file(trace);
	EXPECT_NE(t.find("\"modal\": 994, \"texts\": [], \"labels\": [\"Accept\"]"), std::string::npos) << t;
	EXPECT_NE(t.find("\"texts\": [\"Caf\xC3\xA9\", \"Second line\", \"Third line\", \"Fourth line\"], "
	                 "\"labels\": [\"OK\"]"),
	          std::string::npos)
		<< t;
	EXPECT_NE(t.find("\"modal\": \"message_box\", \"texts\": [\"No window\", \"at all\"]"), std::string::npos) << t;
}

// Every line the box draws, and where.
struct drawn_line {
	float y;
	std::string text;
};
std::vector<drawn_line> g_drawn;
void record_line(int, float, float y, const std::string& text, int) { g_drawn.push_back({y, text}); }

// The box draws what its layout places, row by row at the layout's heights, a long path
// pushing the lines under it down and a quitting alert's location under them all.
TEST_F(Alerts, TheBoxDrawsEachTextWhereItsLayoutPlacesIt)
{
	float width = 0, height = 0;
	ASSERT_TRUE(DIDIVI_fixed_window_size(wind_alert, width, height));
	std::string path = "/home/pilot";
	while (path.size() < 400) path += "/folder_with_a_long_name";
	const std::string lines[] = {"Kestrix 9 was installed in the folder:", path, "Third line", "Fourth line"};
	for (int type : {t_alert, t_exit}) {
		SCOPED_TRACE(type);
		std::vector<std::string> texts(std::begin(lines), std::end(lines));
		if (type == t_exit) texts.push_back(DIDIVI_alert_location("hl_test", 12));
		std::vector<drawn_line> expected;
		for (const alert_text_place& p : alert_layout(texts, width))
			for (size_t r = 0; r < p.rows.size(); ++r) expected.push_back({p.y - ui_line_height * float(r), p.rows[r]});
		ASSERT_GT(expected.size(), texts.size());  // the path takes more than its own row

		g_drawn.clear();
		kx_fake::fire_button("OK", kx_fake::frame() + 1);
		const ogl_text_observer_fn old = OGL_set_text_observer(record_line);
		try {
			__DIDIVI_alert(0, lines[0], lines[1], lines[2], lines[3], type, "hl_test", 12);
		} catch (const AlertExit&) {
		}
		OGL_set_text_observer(old);
		// The first frame's lines: the box draws the same in every frame.
		ASSERT_GE(g_drawn.size(), expected.size());
		for (size_t i = 0; i < expected.size(); ++i) {
			EXPECT_EQ(g_drawn[i].text, expected[i].text) << i;
			EXPECT_EQ(g_drawn[i].y - g_drawn[0].y, expected[i].y - expected[0].y) << expected[i].text;
		}
		if (g_drawn.size() > expected.size()) {
			EXPECT_EQ(g_drawn[expected.size()].text, expected[0].text) << "a line the layout does not place";
		}
	}
}

// The box holds every text it is given inside its panel, one after another: texts that
// fit keep their heights, a long one pushes the next ones down, and one the box cannot
// hold (a long path, a name that cannot wrap) gives way in its middle, its start and end
// kept.
TEST(AlertLayout, EveryTextStandsInsideTheBoxAndClearOfTheOthers)
{
	float width = 0, height = 0;
	ASSERT_TRUE(DIDIVI_fixed_window_size(wind_alert, width, height));
	const float wrap = alert_wrap_share * width;
	constexpr float kPanelFloor = 35;
	const auto placed_well = [&](const std::vector<alert_text_place>& placed) {
		float free_row = alert_line_y[0];  // the highest row no text has taken yet
		for (const alert_text_place& p : placed) {
			if (p.text.empty()) continue;
			std::string joined;
			for (const std::string& r : p.rows) joined += r;
			EXPECT_EQ(joined, p.text);
			EXPECT_LE(p.y, free_row) << p.text;
			for (const std::string& r : p.rows) EXPECT_LE(float(ui_text_width(r)), width - 20) << r;
			free_row = p.y - ui_line_height * float(p.rows.size());
			EXPECT_GE(OGL_line_band(p.y, int(p.rows.size()) - 1).bottom, kPanelFloor) << p.text;
		}
	};

	const std::vector<std::string> usual = {"First line", "Second line", "Third line", "", "hl_test line 12"};
	const std::vector<alert_text_place> part = alert_layout(usual, width);
	ASSERT_EQ(part.size(), usual.size());
	for (size_t i = 0; i < usual.size(); ++i) {
		EXPECT_EQ(part[i].text, usual[i]);
		EXPECT_EQ(part[i].y, i < 4 ? alert_line_y[i] : alert_location_y);
		EXPECT_EQ(part[i].rows, OGL_wrap_lines(usual[i], wrap, 0));
	}

	std::string deep = "/home/pilot";
	while (deep.size() < 300) deep += "/folder_with_a_long_name";
	std::string longest = "/home/pilot";
	while (longest.size() < 2040) longest += "/folder_with_a_long_name";
	longest += "/Kestrix 9/";
	// Two names with no blank in either: the box has the rows to show them whole.
	const std::string unbroken = "/" + std::string(200, 'n') + "/" + std::string(197, 'm');
	const std::string said = "But I could not add it to my list of installed copies, so the next time the installer "
	                         "starts it will not offer this copy. The installer's log on your desktop says why.";
	for (const std::string& path : {deep, longest, unbroken}) {
		SCOPED_TRACE(path.size());
		const std::vector<alert_text_place> placed =
		    alert_layout({"Kestrix 9 was installed in the folder:", path, said, "", "hl_test line 12"}, width);
		ASSERT_EQ(placed.size(), 5u);
		placed_well(placed);
		EXPECT_EQ(placed[0].y, alert_line_y[0]);
		EXPECT_EQ(placed[1].y, alert_line_y[1]);
		EXPECT_EQ(placed[2].text, said);
		EXPECT_LT(placed[2].y, alert_line_y[2]);  // pushed down
		if (path == deep) {
			EXPECT_EQ(placed[1].text, path);
		} else {
			// Given way in its middle, its start and the folder's name kept, and no row
			// of the box's left unused that one more byte of the path would have taken.
			const size_t mid = placed[1].text.find("...");
			ASSERT_NE(mid, std::string::npos) << placed[1].text;
			EXPECT_EQ(path.compare(0, mid, placed[1].text, 0, mid), 0);
			const size_t tail = placed[1].text.size() - mid - 3;
			EXPECT_EQ(path.compare(path.size() - tail, tail, placed[1].text, mid + 3, tail), 0);
			if (path == longest) {
				EXPECT_TRUE(placed[1].text.ends_with("/folder_with_a_long_name/Kestrix 9/")) << placed[1].text;
			} else {
				EXPECT_NE(placed[1].text.find(".../" + std::string(197, 'm')), std::string::npos) << placed[1].text;
			}
			const std::string more = OGL_given_way(path, placed[1].text.size() - 3 + 1);
			EXPECT_GT(OGL_rows_within(more, wrap, width - 2 * alert_row_margin).size(), placed[1].rows.size());
		}
	}
	// Where the box has the rows, the two names show whole over several of them.
	const std::vector<alert_text_place> whole =
	    alert_layout({"Kestrix 9 was installed in the folder:", unbroken, "Third line", ""}, width);
	placed_well(whole);
	EXPECT_EQ(whole[1].text, unbroken);
	EXPECT_GT(whole[1].rows.size(), 3u);
}
