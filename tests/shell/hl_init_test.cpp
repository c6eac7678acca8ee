#include <sys/stat.h>

#include <sstream>
#include <thread>

#include "graphics/tman.h"
#include "platform/plat_clock.h"
#include "runtime/pref.h"
#include "runtime/translate.h"
#include "shell/keys.h"
#include "shell_fixture.h"
#include "support/archive_tools.h"
#include "support/planted_link.h"

using namespace kx_test;

TEST(StartupRules, CpuNames)
{
	EXPECT_EQ(DIDIVI_cpu_name(DIDIVI_cpu_type()), " (X86) ");
	EXPECT_EQ(DIDIVI_cpu_type(), 0x69787878u);  // 'ixxx'
	EXPECT_EQ(DIDIVI_cpu_name(313), " (G5) ");
	EXPECT_EQ(DIDIVI_cpu_name(0x69356976u), " (Pentium 4) ");  // 'i5iv'
	EXPECT_EQ(DIDIVI_cpu_name(0x41424344u), " (ABCD) ");       // printable, unknown
	EXPECT_EQ(DIDIVI_cpu_name(0x69000001u), " (unknown intel) ");
	EXPECT_EQ(DIDIVI_cpu_name(0), " (unknown PowerPC) ");
}

TEST(StartupRules, DisplayDecisions)
{
	EXPECT_EQ(DIDIVI_setres_switch(1024, 768, 0), 0);
	EXPECT_EQ(DIDIVI_setres_switch(1023, 768, 0), 1);
	EXPECT_EQ(DIDIVI_setres_switch(1280, 700, 0), 1);
	EXPECT_EQ(DIDIVI_setres_switch(1920, 1080, 1), 1);
	EXPECT_EQ(DIDIVI_window_fits(800, 600, 1024, 768), 1);
	EXPECT_EQ(DIDIVI_window_fits(800, 600, 820, 768), 0);  // 20 pixels to spare are not enough
	EXPECT_EQ(DIDIVI_window_fits(800, 600, 800, 600), 0);
}

TEST(StartupRules, LanguagePathsAndTheApplicationFolder)
{
	EXPECT_EQ(DIDIVI_lang_path(0), "");
	EXPECT_EQ(DIDIVI_lang_path(1), "Resources/text/french/Installer2.txt");
	EXPECT_EQ(DIDIVI_lang_path(3), "Resources/text/italian/Installer2.txt");
	EXPECT_EQ(DIDIVI_lang_path(5), "Resources/text/portugese/Installer2.txt");
	EXPECT_EQ(DIDIVI_lang_path(9), "Resources/Installer2.txt");
	std::string folder;
	DIDIVI_set_app_path(&folder, 0);  // the test binary is its own bundle
	EXPECT_EQ(folder.back(), '/');
	std::string bundle;
	DIDIVI_set_app_path(&bundle, 1);
	EXPECT_EQ(bundle.rfind(folder, 0), 0u);
	EXPECT_EQ(bundle.find('/', folder.size()), std::string::npos);
}

TEST(StartupRules, ProgressFraction)
{
	int counter = 0;
	EXPECT_FLOAT_EQ(DIDIVI_show_init_fraction(nullptr, counter), 0.02f);  // never less than 2 percent
	EXPECT_EQ(counter, 1);
	counter = 50;
	EXPECT_FLOAT_EQ(DIDIVI_show_init_fraction(nullptr, counter), 0.5f);
	float f = 3.0f;
	EXPECT_FLOAT_EQ(DIDIVI_show_init_fraction(&f, counter), 1.0f);
	EXPECT_EQ(counter, 51);
}

TEST(StartupRules, LogHeader)
{
	std::ostringstream out;
	DIDIVI_write_log_header(out);
	std::istringstream in(out.str());
	std::vector<std::string> lines;
	for (std::string l; std::getline(in, l);) lines.push_back(l);
	ASSERT_GE(lines.size(), 9u);
	EXPECT_EQ(lines[0], "Installer log.txt for Kestrix DVD Installer 2.01r1 compiled on Apr  9 2008 09:22:00");
	EXPECT_EQ(lines[1], "");
	EXPECT_EQ(lines[2].rfind("This log file is generated automatically by Corvane Labs applications", 0), 0u);
	EXPECT_EQ(lines[3].rfind("If you need to contact tech support or file a bug", 0), 0u);
	EXPECT_EQ(lines[5].rfind("Linux ", 0), 0u);
	EXPECT_EQ(lines[6].rfind("CPU type: 1769502840 (X86) CPU speed (mhz): ", 0), 0u);
	EXPECT_NE(lines[6].find(" Bus speed (mhz): ? RAM (MB): "), std::string::npos);
	EXPECT_EQ(lines[8], "Orvala folder:'', case sensitive=0");
}

TEST_F(ShellTest, StartupOpensTheWindowAndRunsInOrder)
{
	answer_chooser();
	start();
	ASSERT_FALSE(win.opened.empty());
	const plat_window_spec& w = win.opened.back();
	EXPECT_EQ(w.title, "Kestrix DVD Installer");
	EXPECT_EQ(w.width, 800);
	EXPECT_EQ(w.height, 600);
	EXPECT_TRUE(w.decorated);
	EXPECT_EQ(w.top, 40);
	EXPECT_EQ(w.samples, 0);
	EXPECT_EQ(mnw.x_res_now, 800);
	EXPECT_EQ(g_mon_x_res_now, 1024);
	EXPECT_EQ(ogl_inited, 1);
	EXPECT_EQ(mnw.lang, 0);

	// The log header reached the desktop, then the pixel format and the capabilities.
	const std::string l = log();
	EXPECT_EQ(l.rfind("Installer log.txt for Kestrix DVD Installer 2.01r1", 0), 0u);
	EXPECT_NE(l.find("AGL_DEPTH_SIZE   : 24\n"), std::string::npos);
	EXPECT_NE(l.find("OpenGL Version   : 2.1 Mesa (210)\n"), std::string::npos);

	// Built-in textures after detection, then the menus; the chooser, then the progress
	// screen twice.
	const auto n = kx_fake::names();
	auto at = [&n](const std::string& name) { return std::find(n.begin(), n.end(), name) - n.begin(); };
	EXPECT_LT(at("BTN_unfocus_any"), at("BTN_is_int"));  // the first window, then the chooser
	EXPECT_GT(colr.palette[34][0] + colr.palette[34][1] + colr.palette[34][2], 0.0f);  // from the atlas
	EXPECT_EQ(kx_fake::calls_of("BTN_frame1").size(), 4u);  // two progress frames, trough and fill
	EXPECT_EQ(win.frame(), 2);  // the chooser was answered in its first pass
	EXPECT_EQ(int(menu.size()), menu_slot_count);

	// The lower libraries got their hooks: the clock pulses the palette.
	xtim.xtim_update();
	EXPECT_GT(colr.palette[79][0], 0.0f);
	EXPECT_FLOAT_EQ(colr.palette[80][1], 0.5f * colr.pulse);
}

TEST_F(ShellTest, DepthFallsBackTo24WhenThe32BitVisualIsRefused)
{
	win.accept_window = [](const plat_window_spec& s) { return s.depth_bits <= 24; };
	answer_chooser();
	start();
	ASSERT_EQ(win.opened.size(), 2u);
	EXPECT_EQ(win.opened[0].depth_bits, 32);
	EXPECT_EQ(win.opened[1].depth_bits, 24);
}

TEST_F(ShellTest, SmallScreenGetsABorderlessWindowAtTheOrigin)
{
	ScriptedWindow small(800, 600);
	answer_chooser();
	start();
	ASSERT_FALSE(small.opened.empty());
	EXPECT_FALSE(small.opened.back().decorated);
	EXPECT_EQ(small.opened.back().top, 0);
	EXPECT_EQ(small.opened.back().left, 0);
}

TEST_F(ShellTest, NoDisplayIsTheStartupAlertOnStandardError)
{
	win.has_display = false;
	win.box_shows = false;
	DIDIVI_set_alert_exit([](int status) { throw AlertExit{status}; });
	testing::internal::CaptureStderr();
	try {
		start();
		ADD_FAILURE() << "start-up went on without a window";
	} catch (const AlertExit& e) {
		EXPECT_EQ(e.status, 1);
	}
	const std::string err = testing::internal::GetCapturedStderr();
	DIDIVI_set_alert_exit(nullptr);
	EXPECT_EQ(err.rfind("I could not set up the graphics for Kestrix! I hope your monitor is at 1024x768 or higher! "
	                    "It must be! You do not meet",
	                    0),
	          0u);
	EXPECT_EQ(app_done, 1);
}

namespace {
std::vector<std::string> g_presented;
// Shows nothing and goes on, so every alert along the way is seen.
void going_on_presenter(int, const std::string& l1, const std::string& l2, const std::string& l3,
                        const std::string& l4, int type, const char*, int)
{
	g_presented.push_back(l1 + "|" + l2 + "|" + l3 + "|" + l4 + "|" + std::to_string(type));
}
}  // namespace

TEST_F(ShellTest, WithoutTheOpenGLLibraryStartupEndsOnItsAlert)
{
	OGL_probe missing = fake_probe();
	missing.library = "libkx-no-such-gl.so.1";
	OGL_set_probe(missing);
	DIDIVI_set_alert_exit([](int status) { throw AlertExit{status}; });
	try {
		start();
		ADD_FAILURE() << "start-up went on without its OpenGL library";
	} catch (const AlertExit& e) {
		EXPECT_EQ(e.status, 1);
	}
	DIDIVI_set_alert_exit(nullptr);
	// Drawn as a system box: there is no OpenGL yet to draw the alert box with.
	ASSERT_EQ(win.boxes.size(), 1u);
	EXPECT_EQ(win.boxes[0].rfind("Could not create bundle for location", 0), 0u) << win.boxes[0];
	EXPECT_NE(win.boxes[0].find("libkx-no-such-gl.so.1"), std::string::npos) << win.boxes[0];

	// A presenter that goes on meets the window set-up's own alert next.
	g_presented.clear();
	DIDIVI_set_alert_presenter(going_on_presenter);
	mnw.x_res_req = 800;
	mnw.y_res_req = 600;
	DIDIVI_setres(1);
	EXPECT_EQ(DIDIVI_make_context(0), 1);
	ASSERT_EQ(g_presented.size(), 2u);
	EXPECT_EQ(g_presented[0], "Could not create bundle for location|||libkx-no-such-gl.so.1|2");
	EXPECT_EQ(g_presented[1], "Could not open OpenGL framework||Error=-54.000000||2");
}

TEST_F(ShellTest, FrenchIsChosenAndLoaded)
{
	write_file(env.path("Resources/text/french/Installer2.txt"), "I\n900 version\nTRANSLATION\nSTRING Quit====Quitter\n");
	kx_fake::click_radio("|French", 0);
	kx_fake::fire_button("Accept", 1);
	// Start-up changes into the installer's folder; the translation is read relative to it.
	const std::string here = env.root();
	kx_fake::on_call = [here](const kx_fake::Call& c) {
		if (c.name == "BTN_is_int" && chdir(here.c_str()) != 0) ADD_FAILURE();
	};
	start();
	EXPECT_EQ(mnw.lang, 1);
	EXPECT_EQ(UTL_translate_string("Quit"), "Quitter");
	UTL_translate_clear();
}

TEST_F(ShellTest, TheWindowIsServedAndItsInputDroppedWhileAChooserIsOpen)
{
	answer_chooser();
	start();
	// A chooser that takes its time: the window is served while it is open, and a click
	// made meanwhile must not land on the screen behind it once it has gone.
	const std::string chooser = env.path("slow_chooser");
	write_file(chooser, "#!/bin/sh\nsleep 0.2\necho /chosen\n");
	::chmod(chooser.c_str(), 0755);
	kx_test::ScopedEnvVar use("KESTRIX_FOLDER_DIALOG", chooser.c_str());
	const int before = win.flushes;
	char buf[kDialogBuffer] = {};
	EXPECT_EQ(GetFilePathFromUser(2, "Please select your Kestrix 9 folder.", "Select", 1, nullptr, buf), 1);
	EXPECT_STREQ(buf, "/chosen");
	// At least one pass while the chooser slept, and one after it answered.
	EXPECT_GE(win.flushes - before, 2);
}

TEST_F(ShellTest, TheWindowIsServedWhileTheDesktopEjectsADisc)
{
	answer_chooser();
	start();
	// The desktop's eject takes its time and shows no window: ours keeps answering.
	const std::string eject = env.path("slow_eject");
	write_file(eject, "#!/bin/sh\nsleep 0.2\n");
	::chmod(eject.c_str(), 0755);
	kx_test::ScopedEnvVar use("KESTRIX_EJECT_COMMAND", eject.c_str());
	write_file(env.path("disc/x"), "");
	const int before = win.flushes;
	EXPECT_EQ(eject_dvd(env.path("disc/")), 0);
	EXPECT_GE(win.flushes - before, 2);
}

TEST_F(ShellTest, FinishUpWithSavingWritesThePreferences)
{
	answer_chooser();
	start();
	DIDIVI_finishup(1);
	EXPECT_EQ(win.closed, 1);
	EXPECT_FALSE(read_file(pref_file_path(11)).empty());
	EXPECT_FALSE(xer.is_open());
}

TEST_F(ShellTest, FinishUpUnderFpsTestSavesNothing)
{
	answer_chooser();
	start({"--fps_test"});
	DIDIVI_finishup(1);
	EXPECT_TRUE(read_file(pref_file_path(11)).empty());
	EXPECT_EQ(win.closed, 1);
}

TEST_F(ShellTest, FinishUpOffTheMainThreadLeavesTheWindowAlone)
{
	answer_chooser();
	start();
	std::thread worker([] { DIDIVI_finishup(0); });
	worker.join();
	EXPECT_EQ(win.closed, 0);
	EXPECT_FALSE(xer.is_open());  // the log is closed whoever finishes
	DIDIVI_finishup(0);
	EXPECT_EQ(win.closed, 1);
}

TEST_F(ShellTest, ProgressScreenBar)
{
	plot_init_lights = 1;
	mnw.area_x = 0;
	float half = 0.5f;
	DIDIVI_show_init("Reading.", &half);
	const auto bars = kx_fake::calls_of("BTN_frame1");
	ASSERT_EQ(bars.size(), 2u);
	EXPECT_EQ(bars[0].num[0], 4);
	EXPECT_FLOAT_EQ(bars[0].num[1], 512);  // trough centred on 8..1016
	EXPECT_FLOAT_EQ(bars[0].num[3], 1008);
	EXPECT_EQ(bars[1].num[0], 5);
	EXPECT_FLOAT_EQ(bars[1].num[1], 8 + 252);
	EXPECT_FLOAT_EQ(bars[1].num[3], 504);
	EXPECT_EQ(kx_fake::frame(), 1);

	kx_fake::reset();
	plot_init_lights = 0;
	DIDIVI_show_init("Reading.", &half);
	EXPECT_TRUE(kx_fake::calls().empty());  // nothing before the first window
}

TEST_F(ShellTest, RandomAndAngleTablesAreTheSameAtEveryStart)
{
	answer_chooser();
	start();
	std::srand(1);
	for (int i = 0; i < randrat_count; ++i) {
		const float expected = float(std::rand() * (1.0 / 2147483648.0) * 0.9999);
		ASSERT_EQ(randrat[i], expected) << i;
		ASSERT_LT(randrat[i], 0.9999f);
	}
	EXPECT_NEAR(lookup_sin[90], 1.0f, 1e-6f);
	EXPECT_NEAR(lookup_cos[180], -1.0f, 1e-6f);
	EXPECT_NEAR(lookup_sin[360], 0.0f, 1e-5f);
	EXPECT_EQ(reinterpret_cast<std::uintptr_t>(scratch_array) % 16, 0u);
}

TEST_F(ShellTest, TheLogWritesFloatsInFixedPointNotation)
{
	answer_chooser();
	start();
	// Every statement, whichever thread writes it, as on the one stream start-up set up.
	xer << " Start of MD5 at " << 2.5f << "\n";
	std::thread([] { xer << "tiny " << 1e-7 << " large " << 12345678.0 << "\n"; }).join();
	xer.flush();
	const std::string l = log();
	EXPECT_NE(l.find(" Start of MD5 at 2.500000\n"), std::string::npos) << l;
	EXPECT_NE(l.find("tiny 0.000000 large 12345678.000000\n"), std::string::npos) << l;
}

// The desktop is the user's: a link named like the log there is never written through,
// whether its target exists or not, and the log then goes nowhere.
class LogOnTheDesktop : public ShellTest, public testing::WithParamInterface<link_kind> {};

TEST_P(LogOnTheDesktop, ALinkOfItsNameIsLeftAlone)
{
	PlantedLink link(env.path("home/Desktop/Kestrix Installer Log.txt"), env.path("Downloads/log.txt"), GetParam());
	answer_chooser();
	start();
	xer << "a line after start-up\n" << std::flush;
	EXPECT_FALSE(xer.is_open());
	EXPECT_TRUE(link.untouched());
}

INSTANTIATE_TEST_SUITE_P(BothKinds, LogOnTheDesktop, testing::ValuesIn(kLinkKinds));

// Run on its own, in a process of its own, by the test below: start-up between two
// readings of the clock, then the generator's first value.
TEST_F(ShellTest, DISABLED_FirstRandomValueAfterStartup)
{
	answer_chooser();
	const unsigned long long before = PLAT_microseconds();
	start();
	const unsigned long long after = PLAT_microseconds();
	std::printf("start-up between %llu and %llu drew %d\n", before, after, std::rand());
}

namespace {
struct StartDraw {
	unsigned long long before = 0, after = 0;
	int value = -1;
};

// Whether `value` is the first draw after a seed taken from the clock at some instant
// in [from, to]: the low 32 bits of its microseconds, then as many draws passed over as
// the seed's remainder by 1000.
bool drawn_from_clock_between(unsigned long long from, unsigned long long to, int value)
{
	constexpr unsigned kDiscardModulo = 1000;
	for (unsigned long long t = from; t <= to; ++t) {
		const auto seed = static_cast<uint32_t>(t);
		std::srand(seed);
		for (unsigned i = 0; i < seed % kDiscardModulo; ++i) std::rand();
		if (std::rand() == value) return true;
	}
	return false;
}
}  // namespace

TEST(StartupRandom, TwoStartsDrawDifferentFirstValues)
{
	TempEnv env;  // the helper's own sandbox lies inside this one
	char exe[PATH_MAX] = {};
	ASSERT_GT(readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
	const std::string helper = "timeout 60 " + sh_quote(exe) +
	                           " --gtest_also_run_disabled_tests"
	                           " --gtest_filter=ShellTest.DISABLED_FirstRandomValueAfterStartup";
	auto one_start = [&helper] {
		std::string out;
		EXPECT_EQ(run_sh(helper, &out), 0) << out;
		StartDraw d;
		const size_t at = out.find("start-up between ");
		if (at != std::string::npos)
			std::sscanf(out.c_str() + at, "start-up between %llu and %llu drew %d", &d.before, &d.after, &d.value);
		return d;
	};
	const StartDraw a = one_start(), b = one_start();
	ASSERT_GE(a.value, 0);
	ASSERT_GE(b.value, 0);
	EXPECT_NE(a.value, b.value);
	// Each start seeded from a clock that counts from boot, read during that start-up.
	EXPECT_TRUE(drawn_from_clock_between(a.before, a.after, a.value)) << a.after - a.before << " us";
	EXPECT_TRUE(drawn_from_clock_between(b.before, b.after, b.value)) << b.after - b.before << " us";
}
