// The install flow's screens that draw widgets, called the way the wizard calls them:
// a zeroed record each frame, the mouse scripted in mnw, in a headless context.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/install.h"
#include "engine/install_fixture.h"
#include "engine/new_copy_folder.h"
#include "graphics/oglp.h"
#include "runtime/hl_errors.h"
#include "runtime/hl_globals.h"
#include "runtime/io_utils.h"
#include "runtime/xtim.h"
#include "support/gl_world.h"
#include "support/hung_work.h"
#include "support/test_env.h"
#include "widgets/btn.h"
#include "widgets/butn_core.h"
#include "wizard/main_copies.h"
#include "wizard/main_install.h"
#include "wizard/main_licence.h"
#include "wizard/main_screens.h"
#include "wizard/main_trace.h"

#include "language_files.h"
#include "wizard_fixture.h"

namespace {

using kx_install_test::add_history;
using kx_install_test::add_tile;
using kx_install_test::version;

// Places the screens use, as a user would aim at them.
constexpr float kChangeX = 300, kChangeY = 203;
constexpr float kBoxX = 230, kBoxY = 100;
constexpr int kKeyDown = btn_key_down;
const BTN_key kTab{9, 9, kKeyDown}, kBackspace{8, 8, kKeyDown};
BTN_key letter(char c) { return {c, std::toupper(static_cast<unsigned char>(c)), kKeyDown}; }

std::vector<std::string> g_questions;
int g_answer = 3;
int scripted_abort(std::string m, std::string, std::string, std::string, std::string)
{
	g_questions.push_back(m);
	return g_answer;
}

class Screens : public ::testing::Test {
protected:
	Screens() : dialog("KESTRIX_FOLDER_DIALOG", env.path("dialog.sh").c_str())
	{
		xer.open(env.path("log.txt"));
		kx_install_test::reset_engine_state();
		install_name = "Kestrix 9";
		all_orvalas.clear();
		accept_eula = 0;
		dvd_install_is_running = 0;
		dvd_pick_install_forget();
		get_OS_abs_path(os_dir_desktop, desktop);
		::mkdir(desktop.c_str(), 0755);
		// The fake chooser logs its arguments and answers what answer.txt holds.
		kx_test::write_file(env.path("dialog.sh"), "#!/bin/sh\nfor a; do echo \"$a\"; done >> '" +
		                                                env.path("dialog_args.txt") + "'\ncat '" +
		                                                env.path("answer.txt") + "' || exit 1\n");
		::chmod(env.path("dialog.sh").c_str(), 0755);
		g_questions.clear();
		g_answer = 3;
		old_abort = ENG_set_abort_alert_hook(scripted_abort);
	}
	~Screens() override
	{
		install_files_kill();
		checksum_directory_kill();
		ENG_set_abort_alert_hook(old_abort);
		dvd_pick_install_forget();
		kx_install_test::reset_engine_state();
		all_orvalas.clear();
		accept_eula = 0;
		dvd_install_is_running = 0;
		xer.close();
	}
	void SetUp() override
	{
		mnw.menu_state = -1;
		mnw.mouse_held = mnw.mouse_down = 0;
		focus_id = 0;
		BTN_begin_focus_ring();
	}

	// One frame of `screen`, the mouse at (mx, my), pressed when `down`, with keys.
	int frame(screen_fn screen, float mx = -1000, float my = -1000, bool down = false,
	          const std::vector<BTN_key>& keys = {})
	{
		const int first = screen != last;
		last = screen;
		mnw.mouse_x = mx;
		mnw.mouse_y = my;
		mnw.mouse_down = down;
		mnw.mouse_held = down;
		for (const BTN_key& k : keys) BTN_dispatch_to_focus(k.character, k.vkey, k.flags);
		if (down) BTN_unfocus_any();
		BTN_begin_focus_ring();
		s = wizard_screen{};
		const int r = screen(first, s);
		for (screen_fn f : {s.back_screen, s.next_screen}) {
			if (f) {
				EXPECT_NE(wizard_screen_name(f), nullptr);
			}
		}
		++xtim.frame_count;
		mnw.mouse_down = mnw.mouse_held = 0;
		return r;
	}
	void answer(const std::string& path) { kx_test::write_file(env.path("answer.txt"), path + "\n"); }
	// A file model of two program files and a tile, all wanted, 10 KB each.
	static void small_model()
	{
		add_history(version("All/Resources/a.txt", "0123456789abcdef0123456789abcdef", 0, 10));
		add_history(version("All/Airfoils/b.txt", "0123456789abcdef0123456789abcdef", 0, 10));
		file_version_struct& t = add_tile("All/Global Scenery/+40-080.dsf", "0123456789abcdef0123456789abcdef", 13, 10,
		                                  "NONE");
		t.size_kb = t.zip_kb = 10;
		stg.scenery_available[stg_tile(13, 10)] = 1;
	}
	// An install under way into a new copy `name` that this run made, with one file of
	// the run placed in it; returns that file.
	std::string partial_install(const std::string& name = "Partial/")
	{
		small_model();
		dest_dir_path = env.path(name);
		EXPECT_EQ(ENG_make_new_copy_folder(), 0);
		const std::string file = dest_dir_path + "Resources/a.txt";
		kx_test::write_file(file, "x");
		ENG_note_installed_file(file);
		dvd_install_is_running = 1;
		return file;
	}

	kx_test::TempEnv env;
	std::unique_ptr<GlTestContext> world = open_gl_world(800, 600);
	GlTestContext& gl = *world;
	kx_test::ScopedEnvVar dialog;
	kx_test::AlertRecorder alerts;
	std::string desktop;
	screen_fn last = nullptr;
	wizard_screen s;
	abort_alert_fn old_abort = nullptr;
};

TEST_F(Screens, PickDestinationProposesTheDesktopAndChecksTheName)
{
	KX_REQUIRE_GL(gl);
	small_model();
	EXPECT_EQ(frame(dvd_pick_install), 0);
	EXPECT_EQ(s.title, "Pick Install Destination.");
	EXPECT_EQ(dest_dir_path, desktop + "Kestrix 9/");
	EXPECT_EQ(s.text, "I will create the folder 'Kestrix 9' in the directory '" + desktop +
	                      "'.\n\n(The folder Kestrix 9 will appear on your desktop.)");
	EXPECT_EQ(s.back_screen, dvd_start);
	EXPECT_EQ(s.next_screen, dvd_eula_install);
	EXPECT_EQ(step_names.size(), 6u);
	EXPECT_FLOAT_EQ(stg.kb_to_install, 30.0f);  // the pass found nothing on disk

	// Emptied: the prompt, no way on, the destination is the parent alone.
	frame(dvd_pick_install, -1000, -1000, false, {kTab});  // Tab selects the whole name
	frame(dvd_pick_install, -1000, -1000, false, {kBackspace});
	EXPECT_EQ(s.text, "Please pick a name for your Kestrix 9 installation...");
	EXPECT_EQ(s.next_screen, nullptr);
	EXPECT_EQ(dest_dir_path, desktop);

	// A name that exists: Continue off at once, and no pass on that frame.
	::mkdir((desktop + "Old").c_str(), 0755);
	for (char c : std::string("Old")) frame(dvd_pick_install, -1000, -1000, false, {letter(c)});
	EXPECT_EQ(s.text, "The folder 'Old' already exists in the dir '" + desktop +
	                      "'.\n\nPlease change the install name or destination.");
	EXPECT_EQ(s.next_screen, nullptr);

	// One more character: a new folder again, and the pass runs on that frame.
	for (int& t : stg.scenery_selected) t = 0;
	sim_info[0].back().sig_have = sim_info[0].back().sig;
	frame(dvd_pick_install, -1000, -1000, false, {letter('X')});
	EXPECT_EQ(dest_dir_path, desktop + "OldX/");
	EXPECT_EQ(s.next_screen, dvd_eula_install);
	EXPECT_EQ(sim_info[0].back().sig_have, "NONE");
	EXPECT_EQ(stg.scenery_selected[stg_tile(13, 10)], 1);
	// Without an edit nothing is redone.
	for (int& t : stg.scenery_selected) t = 0;
	frame(dvd_pick_install);
	EXPECT_EQ(stg.scenery_selected[stg_tile(13, 10)], 0);
}

// Every piece of the sentence is the chosen language's, its closing one too: German
// ends it with a word of its own.
TEST_F(Screens, PickDestinationSaysWhatItWillCreateInTheChosenLanguage)
{
	KX_REQUIRE_GL(gl);
	small_model();
	const kx_languages::Loaded german("german");
	frame(dvd_pick_install);
	EXPECT_EQ(s.text, "Ich lege den Ordner 'Kestrix 9' im Ordner '" + desktop +
	                      "' an.\n\n(Der Ordner Kestrix 9 erscheint auf Ihrem Schreibtisch.)");
}

TEST_F(Screens, ChangeDestinationAsksForAFolderAndKeepsTheOldOneOnCancel)
{
	KX_REQUIRE_GL(gl);
	small_model();
	frame(dvd_pick_install);
	frame(dvd_pick_install, kChangeX, kChangeY, true);  // no answer file: a cancel
	EXPECT_EQ(dest_dir_path, desktop + "Kestrix 9/");
	const std::string args = kx_test::read_file(env.path("dialog_args.txt"));
	EXPECT_NE(args.find("Pick a folder to install Kestrix 9 into."), std::string::npos);
	EXPECT_NE(args.find(desktop), std::string::npos);

	::mkdir(env.path("Games").c_str(), 0755);
	answer(env.path("Games"));
	for (int& t : stg.scenery_selected) t = 0;
	frame(dvd_pick_install, kChangeX, kChangeY, true);
	EXPECT_EQ(dest_dir_path, env.path("Games/Kestrix 9/"));
	EXPECT_EQ(s.text, "I will create the folder 'Kestrix 9' in the directory '" + env.path("Games/") + "'.");
	EXPECT_EQ(stg.scenery_selected[stg_tile(13, 10)], 1);  // a new destination, a new pass

	// A folder the registration file could not hold as one line: refused, nothing to make.
	::mkdir(env.path("line\nend").c_str(), 0755);
	answer(env.path("line\nend"));
	frame(dvd_pick_install, kChangeX, kChangeY, true);
	EXPECT_EQ(s.text, "The installer cannot remember a copy at this path: it holds a line break or is longer than "
	                  "2047 bytes. Please pick another destination or install name.");
	EXPECT_EQ(s.next_screen, nullptr);
	EXPECT_EQ(dest_dir_path, env.path("line\nend/"));
}

TEST_F(Screens, ANewCopyTakesSimulatorAndSceneryAfterAnotherFlow)
{
	KX_REQUIRE_GL(gl);
	small_model();
	frame(dvd_pick_install);
	EXPECT_FLOAT_EQ(stg.kb_to_install, 30.0f);
	// The scenery flow of an installed copy ran meanwhile: its filter and its tiles.
	last = nullptr;
	const std::string mine = dest_dir_path;
	dest_dir_path = env.path("Other/");
	set_install_filter(0, 1);
	for (int& t : stg.scenery_selected) t = 0;
	recalc_disk_sizes();
	frame(dvd_pick_install);
	EXPECT_EQ(dest_dir_path, mine);
	EXPECT_EQ(g_want_sim, 1);
	EXPECT_EQ(g_want_global, 1);
	EXPECT_EQ(stg.scenery_selected[stg_tile(13, 10)], 1);
	EXPECT_FLOAT_EQ(stg.kb_to_install, 30.0f);

	// The flow's own choice on the map is kept when the user only steps back.
	frame(dvd_scenery_install);
	stg.scenery_selected[stg_tile(13, 10)] = 0;
	frame(dvd_scenery_install);
	frame(dvd_pick_install);
	EXPECT_EQ(stg.scenery_selected[stg_tile(13, 10)], 0);
	EXPECT_FLOAT_EQ(stg.kb_to_install, 20.0f);
}

TEST_F(Screens, TheLicenceBoxEnablesContinueFromTheNextFrame)
{
	KX_REQUIRE_GL(gl);
	frame(dvd_eula_install);
	EXPECT_EQ(s.title, "End User License Agreement (EULA)");
	EXPECT_EQ(s.text, UTIL_licence_text());
	EXPECT_EQ(s.back_screen, dvd_pick_install);
	EXPECT_EQ(s.next_screen, nullptr);
	frame(dvd_eula_install, kBoxX, kBoxY, true);
	EXPECT_EQ(accept_eula, 1);
	EXPECT_EQ(s.next_screen, nullptr);  // decided before the tick was drawn
	frame(dvd_eula_install);
	EXPECT_EQ(s.next_screen, dvd_scenery_install);
	// Pick Destination clears the tick.
	frame(dvd_pick_install);
	EXPECT_EQ(accept_eula, 0);
}

// Only Cancel takes the partial copy back, and only a copy whose folder the run made:
// a folder that was somebody's keeps everything in it.
TEST_F(Screens, CancellingARunningInstallDeletesOnlyOnCancel)
{
	KX_REQUIRE_GL(gl);
	partial_install();
	for (int answer : {0, 3}) {
		g_answer = answer;
		last = nullptr;
		EXPECT_EQ(frame(dvd_scenery_install), 1);
		EXPECT_EQ(s.next_screen, dvd_run_install);
		EXPECT_TRUE(dir_exists(dest_dir_path)) << "answer " << answer;
		EXPECT_EQ(dvd_install_is_running, 1);
	}
	ASSERT_EQ(g_questions.size(), 2u);
	EXPECT_EQ(g_questions[0],
	          "Are you sure you want to cancel the installation?  This will delete the partially installed copy of "
	          "Kestrix 9.");
	g_answer = 1;
	last = nullptr;
	EXPECT_EQ(frame(dvd_scenery_install), 0);
	EXPECT_FALSE(dir_exists(dest_dir_path));
	EXPECT_EQ(dvd_install_is_running, 0);
	EXPECT_EQ(s.title, "Select Scenery");
	EXPECT_EQ(s.back_screen, dvd_eula_install);

	dest_dir_path = env.path("Theirs/");
	kx_test::write_file(dest_dir_path + "Resources/a.txt", "x");
	dvd_install_is_running = 1;
	last = nullptr;
	EXPECT_EQ(frame(dvd_scenery_install), 0);
	EXPECT_EQ(kx_test::read_file(dest_dir_path + "Resources/a.txt"), "x");
	EXPECT_EQ(dvd_install_is_running, 0);
}

// Cancel while work in flight hangs on its disc, the copy from it or the unpack of an
// archive copied before: the window is served until that work ends, and only then is the
// partial copy taken back.
TEST_F(Screens, CancellingWhileWorkInFlightHangsServesTheWindowAndTakesBackAfterIt)
{
	KX_REQUIRE_GL(gl);
	for (const bool unpacking : {false, true}) {
		SCOPED_TRACE(unpacking ? "an unpack hangs" : "a copy hangs");
		partial_install();
		const std::string copy = dest_dir_path;
		kx_test::HungWork hung([copy] { return dir_exists(copy); });
		// The run's pools as the install step makes them, one thread of them held.
		copy_pool = new UTL_worker_threads(1, 30);
		unzip_pool = new UTL_worker_threads(1, 30);
		(unpacking ? unzip_pool : copy_pool)->enqueue_task(hung.task());

		g_answer = 1;
		last = nullptr;
		frame(dvd_scenery_install);
		EXPECT_GE(hung.served, kx_test::HungWork::kServedBeforeItEnds) << "the window was not served while work hung";
		EXPECT_TRUE(hung.released_in_time);
		EXPECT_FALSE(hung.gone_while_served);
		EXPECT_FALSE(hung.gone_at_its_end) << "the copy was taken back while work into it was in flight";
		EXPECT_FALSE(dir_exists(copy));
		EXPECT_EQ(copy_pool, nullptr);
		EXPECT_EQ(unzip_pool, nullptr);
		EXPECT_EQ(dvd_install_is_running, 0);
		EXPECT_EQ(s.title, "Select Scenery");
	}
}

// A Cancel whose take-back meets a file or an empty folder of the run that cannot be
// removed (a folder the user may not write, an immutable file, a read-only mount): the
// log names it and what its removal met, and an alert names the folder that still holds
// the run's files. A file of the user's own that keeps the folder is no such failure:
// no alert.
TEST_F(Screens, ACancelThatLeavesTheRunsFilesSaysWhere)
{
	KX_REQUIRE_GL(gl);
	g_answer = 1;  // Cancel
	for (const bool folder : {false, true}) {
		SCOPED_TRACE(folder ? "a folder of the run stays" : "a file of the run stays");
		alerts.clear();
		const std::string file = partial_install(folder ? "Folder stays/" : "File stays/");
		// For a folder, one of the product's working folders, made by the run and empty.
		const std::string stays = folder ? dest_dir_path + "Output/movies" : file;
		if (folder) {
			ASSERT_EQ(::mkdir((dest_dir_path + "Output").c_str(), 0755), 0);
			ASSERT_EQ(::mkdir(stays.c_str(), 0755), 0);
		}
		std::string reason;
		{
			kx_test::ScopedUndeletable lock(stays);
			if (!lock.ok()) GTEST_SKIP() << "no way to make a file undeletable here";
			last = nullptr;
			EXPECT_EQ(frame(dvd_scenery_install), 0);
			// What a removal meets here, whichever way it was made undeletable.
			ASSERT_NE(folder ? ::rmdir(stays.c_str()) : ::unlink(stays.c_str()), 0);
			reason = error_str(errno);
		}
		EXPECT_EQ(dvd_install_is_running, 0);
		if (!folder) {
			EXPECT_EQ(kx_test::read_file(file), "x");
		}
		ASSERT_EQ(alerts.alerts().size(), 1u);
		EXPECT_EQ(alerts.alerts()[0].line1,
		          "I could not take back all of the cancelled installation. Some of its files are still in the "
		          "folder:");
		EXPECT_EQ(alerts.alerts()[0].line2, dest_dir_path);
		EXPECT_EQ(alerts.alerts()[0].line3, "The installer's log on your desktop names each file that stayed and why.");
		const std::string log = kx_wizard_test::log_so_far(env.path("log.txt"));
		EXPECT_NE(log.find("Cancel: could not remove " + stays + ": " + reason + ".\n"), std::string::npos) << log;
		EXPECT_EQ(log.find("did not put there"), std::string::npos) << log;
	}

	alerts.clear();
	dest_dir_path = env.path("Mine/");
	ASSERT_EQ(ENG_make_new_copy_folder(), 0);
	kx_test::write_file(dest_dir_path + "Resources/mine.txt", "the user's");
	dvd_install_is_running = 1;
	last = nullptr;
	EXPECT_EQ(frame(dvd_scenery_install), 0);
	EXPECT_EQ(kx_test::read_file(dest_dir_path + "Resources/mine.txt"), "the user's");
	EXPECT_TRUE(alerts.alerts().empty());
	const std::string log = kx_wizard_test::log_so_far(env.path("log.txt"));
	EXPECT_NE(log.find("Cancel: " + dest_dir_path + " still holds what this run did not put there; it stays.\n"),
	          std::string::npos)
	    << log;
}

TEST_F(Screens, SceneryScreenClosesContinueWhenTheDiskIsShort)
{
	KX_REQUIRE_GL(gl);
	small_model();
	dest_dir_path = env.path("New/");
	frame(dvd_scenery_install);
	EXPECT_EQ(s.next_screen, dvd_run_install);
	EXPECT_FLOAT_EQ(stg.kb_to_install, 30.0f);
	sim_info[0].back().size_kb = 1e12f;        // more than any disk
	recalc_disk_sizes();
	frame(dvd_scenery_install);
	EXPECT_EQ(s.next_screen, nullptr);
}

TEST_F(Screens, RunKestrixPicksACopyAndForgetsANewFolder)
{
	KX_REQUIRE_GL(gl);
	const std::string c1 = env.path("C1/"), c2 = env.path("C2/");
	::mkdir(c1.c_str(), 0755);
	::mkdir(c2.c_str(), 0755);
	all_orvalas = {c1, c2};
	// Pick Destination's folder is no copy: Continue waits for a pick.
	dest_dir_path = env.path("New copy/");
	EXPECT_EQ(frame(dvd_pick_run_sim), 0);
	EXPECT_EQ(dest_dir_path, "");
	EXPECT_EQ(s.next_screen, nullptr);
	EXPECT_EQ(s.title, "Run Kestrix");
	EXPECT_EQ(s.text,
	          "You have more than one copy of Kestrix 9 installed on this computer.  Please pick which copy of "
	          "Kestrix 9 you would like to run.");
	frame(dvd_pick_run_sim, 250, 375, true);  // the second row's radio button
	EXPECT_EQ(dest_dir_path, c2);
	frame(dvd_pick_run_sim, 250, 375, true);  // clicked again it stays chosen
	EXPECT_EQ(dest_dir_path, c2);
	EXPECT_EQ(s.next_screen, dvd_do_run_sim);

	// One copy starts at once.
	all_orvalas = {c1};
	last = nullptr;
	EXPECT_EQ(frame(dvd_pick_run_sim), 1);
	EXPECT_EQ(dest_dir_path, c1);
	EXPECT_EQ(s.next_screen, dvd_do_run_sim);
}

// Every line of text drawn while it is set, where it starts and how wide it is.
struct drawn_line {
	float x, y;
	int width;
	std::string text;
};
std::vector<drawn_line> g_lines;
void record_line(int, float x, float y, const std::string& text, int)
{
	g_lines.push_back({x, y, ui_text_width(text), text});
}

// A copy in a deep folder keeps to its row of the picker: its path gives way in its
// middle, its start and folder's name kept, and no line is drawn over another, the next
// copy's or the question under the list.
TEST_F(Screens, ALongCopyPathKeepsToItsRow)
{
	KX_REQUIRE_GL(gl);
	std::string deep = "/media/pilot/Kestrix Drive";
	while (deep.size() < 390) deep += "/folder with a long name";
	deep += "/Kestrix 9/";
	const std::string near = "/home/pilot/Kestrix 9/";
	all_orvalas = {deep, near};
	dest_dir_path = near;
	g_lines.clear();
	const ogl_text_observer_fn old = OGL_set_text_observer(record_line);
	BTN_begin_focus_ring();
	UTIL_pick_install();
	OGL_set_text_observer(old);
	ASSERT_FALSE(g_lines.empty());
	bool seen = false;
	for (const drawn_line& l : g_lines) {
		if (l.text.find("...") == std::string::npos) continue;
		seen = true;
		EXPECT_TRUE(l.text.starts_with("/media/pilot/")) << l.text;
		EXPECT_TRUE(l.text.ends_with("/Kestrix 9/")) << l.text;
		EXPECT_LE(float(l.width), pick_path_wrap) << l.text;
	}
	EXPECT_TRUE(seen) << "the long path gave way";
	for (size_t i = 0; i < g_lines.size(); ++i)
		for (size_t k = i + 1; k < g_lines.size(); ++k) {
			const drawn_line &a = g_lines[i], &b = g_lines[k];
			const bool across = a.x < b.x + float(b.width) && b.x < a.x + float(a.width);
			EXPECT_FALSE(across && std::abs(a.y - b.y) < ui_line_height) << a.text << "\n over \n" << b.text;
		}
}

TEST_F(Screens, FindItRegistersTheCopyAboveTheChosenFolder)
{
	KX_REQUIRE_GL(gl);
	const std::string c1 = env.path("C1/"), c3 = env.path("C3/");
	for (const std::string& c : {c1, c3}) {
		::mkdir(c.c_str(), 0755);
		for (const char* f : {"Airfoils", "Instructions", "Output", "Resources"}) ::mkdir((c + f).c_str(), 0755);
	}
	std::string prefs;
	get_OS_abs_path(os_dir_prefs, prefs);
	kx_test::write_file(prefs + kRegistrationFile, c1);  // no final line end
	locate_all_kestrixes();
	ASSERT_EQ(all_orvalas.size(), 1u);
	dest_dir_path.clear();
	// Row 0 at 400; with one copy the question at 375 and Find It at 378.
	answer(c3 + "Resources");
	mnw.mouse_x = 605;
	mnw.mouse_y = 378;
	mnw.mouse_down = mnw.mouse_held = 1;
	BTN_begin_focus_ring();
	EXPECT_EQ(UTIL_pick_install(), c3);
	mnw.mouse_down = mnw.mouse_held = 0;
	EXPECT_EQ(kx_test::read_file(prefs + kRegistrationFile), c1 + "\n" + c3 + "\n");
	EXPECT_EQ(all_orvalas, (std::vector<std::string>{c1, c3}));
	EXPECT_NE(kx_test::read_file(env.path("dialog_args.txt")).find("Please select your Kestrix 9 folder."),
	          std::string::npos);
}

}  // namespace
