#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <string>
#include <vector>

#include "engine/install_fixture.h"
#include "support/archive_tools.h"
#include "support/bounded_wait.h"
#include "support/test_env.h"
#include "runtime/hl_errors.h"
#include "runtime/hl_globals.h"
#include "wizard/main_copies.h"
#include "wizard/main_run.h"
#include "wizard/main_trace.h"
#include "wizard_fixture.h"

namespace {

using namespace kx_install_test;

// One asked failed-file question.
struct asked {
	std::string message, label1, text1, label2, text2;
};
std::vector<asked> g_asked;
std::vector<int> g_answers;  // answers in order; the last one repeats

int scripted_abort(std::string m, std::string l1, std::string t1, std::string l2, std::string t2)
{
	g_asked.push_back({m, l1, t1, l2, t2});
	const size_t n = g_asked.size() - 1;
	return g_answers.empty() ? 3 : g_answers[std::min(n, g_answers.size() - 1)];
}

class RunScreens : public ::testing::Test {
protected:
	RunScreens() : setup(env)
	{
		xer.open(env.path("log.txt"));
		g_asked.clear();
		g_answers.clear();
		old_abort = ENG_set_abort_alert_hook(scripted_abort);
		dvd_install_is_running = repair_is_running = scenery_install_is_running = 0;
		num_install_errors = 0;
	}
	~RunScreens() override
	{
		install_files_kill();
		ENG_set_abort_alert_hook(old_abort);
		dvd_install_is_running = repair_is_running = scenery_install_is_running = 0;
		num_install_errors = 0;
		xer.close();
		reset_engine_state();
	}
	std::string log() { return kx_wizard_test::log_so_far(env.path("log.txt")); }
	static int starts(const std::string& log) { return kx_wizard_test::run_starts(log); }
	int frame(screen_fn screen)
	{
		s = wizard_screen{};
		const int r = screen(0, s);
		expect_named(s);
		return r;
	}
	static void expect_named(const wizard_screen& w)
	{
		for (screen_fn f : {w.back_screen, w.next_screen})
			if (f) {
				EXPECT_NE(wizard_screen_name(f), nullptr);
			}
	}
	// Frames of `screen` until it asks to move on (20 s at most); every busy frame is
	// checked against the member's texts.
	int run_until_move(screen_fn screen, const std::string& title, const std::string& text, const std::string& prefix,
	                   const std::string& finishing, screen_fn select)
	{
		const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
		while (std::chrono::steady_clock::now() < give_up) {
			const size_t questions = g_asked.size();
			if (frame(screen)) return 1;
			++busy_frames;
			EXPECT_EQ(s.title, title);
			EXPECT_EQ(s.on_cancel, install_files_kill);
			// A frame that asked about a failed file and goes on shows only its title.
			if (g_asked.size() != questions) continue;
			EXPECT_EQ(s.text, text + dest_dir_path + ".");
			EXPECT_EQ(s.back_screen, select);
			EXPECT_EQ(s.next_screen, nullptr);
			EXPECT_EQ(s.on_cancel, install_files_kill);
			check_progress(prefix, finishing);
			sched_yield();
		}
		ADD_FAILURE() << "the run never moved on";
		return 0;
	}
	// The bar reads the share before the file named under it, 1.0 once every file is out.
	void check_progress(const std::string& prefix, const std::string& finishing)
	{
		if (s.progress_text == finishing) {
			EXPECT_FLOAT_EQ(s.progress, 1.0f);
			saw_finishing = true;
			return;
		}
		for (const file_history_struct& h : sim_info)
			if (s.progress_text == prefix + h.back().path) {
				EXPECT_FLOAT_EQ(s.progress, h.back().progress_at) << s.progress_text;
				return;
			}
		ADD_FAILURE() << "progress text " << s.progress_text;
	}
	std::string registration()
	{
		std::string prefs;
		get_OS_abs_path(os_dir_prefs, prefs);
		return kx_test::read_file(prefs + kRegistrationFile);
	}
	// Two files of 1 KB and 3 KB on DVD 0, and one on DVD `third_disk`.
	void three_files(int third_disk)
	{
		master(setup, {{"All/a.txt", std::string(1000, 'a'), 0, archiver::ours},
		               {"All/sub/b.txt", std::string(3000, 'b'), 0, archiver::ours},
		               {"All/c.txt", std::string(1000, 'c'), third_disk, archiver::ours}});
	}

	kx_test::TempEnv env;
	run_setup setup;
	abort_alert_fn old_abort;
	wizard_screen s;
	int busy_frames = 0;
	bool saw_finishing = false;
};

TEST_F(RunScreens, AnInstallRunsToItsDoneScreenAndRegistersTheCopy)
{
	three_files(0);
	kx_test::AlertRecorder alerts;
	EXPECT_EQ(run_until_move(dvd_run_install, "Installing Kestrix", "I am installing Kestrix in ", "Installing: ",
	                         "Finishing up...", dvd_scenery_install),
	          1);
	EXPECT_EQ(s.next_screen, dvd_done_install);
	EXPECT_EQ(s.back_screen, nullptr);
	EXPECT_EQ(dvd_install_is_running, 0);
	EXPECT_EQ(kx_test::read_file(dest_dir_path + "sub/b.txt"), std::string(3000, 'b'));
	EXPECT_EQ(registration(), dest_dir_path + "\n");
	EXPECT_TRUE(alerts.alerts().empty());
	EXPECT_EQ(starts(log()), 1);
	EXPECT_GE(busy_frames, 1);
	// The shares before the files: 0, 1/5 and 4/5 of the run's KB.
	EXPECT_FLOAT_EQ(sim_info[0].back().progress_at, 0.0f);
	EXPECT_FLOAT_EQ(sim_info[2].back().progress_at, 0.8f);
}

// A copy that installed well but could not be registered stays, and the user learns
// where it is and that the next start will not offer it: only the log would say so.
TEST_F(RunScreens, AnInstallWhoseCopyCannotBeRegisteredSaysWhereTheCopyIs)
{
	three_files(0);
	std::string prefs;
	ASSERT_EQ(get_OS_abs_path(os_dir_prefs, prefs), 0);
	ASSERT_EQ(mkfifo((prefs + kRegistrationFile).c_str(), 0600), 0);
	kx_test::AlertRecorder alerts;
	const kx_test::AlertsShownWhereRaised on_the_bounds_thread;
	kx_test::finishes_within("an install whose registration file is a FIFO", [&] {
		EXPECT_EQ(run_until_move(dvd_run_install, "Installing Kestrix", "I am installing Kestrix in ", "Installing: ",
		                         "Finishing up...", dvd_scenery_install),
		          1);
	});
	EXPECT_EQ(s.next_screen, dvd_done_install);
	EXPECT_EQ(kx_test::read_file(dest_dir_path + "sub/b.txt"), std::string(3000, 'b'));
	const auto got = alerts.alerts();
	ASSERT_EQ(got.size(), 1u);
	EXPECT_EQ(got[0].type, t_alert);
	EXPECT_EQ(got[0].line1, "Kestrix 9 was installed in the folder:");
	EXPECT_EQ(got[0].line2, dest_dir_path);
	// The log the alert points to says why.
	EXPECT_NE(log().find("WARNING: could not append registration file: " + prefs + kRegistrationFile + ": " +
	                     error_str(ENODEV) + "\n"),
	          std::string::npos);
}

// A new copy in a folder named in UTF-8, of files named in UTF-8: the run's texts and
// its failed-file question show the names in the font's letters, while the files land
// and the copy is registered under the names' own bytes.
TEST_F(RunScreens, PathsAreShownInTheFontsLettersAndUsedAsTheyAre)
{
	dest_dir_path = env.path("T\xC3\xA9l\xC3\xA9" "chargements \xE3\x81\x82/");
	const std::string shown = env.path("T\xE9l\xE9" "chargements ?");
	master(setup, {{"All/caf\xC3\xA9 1.txt", "one", 0, archiver::ours},
	               {"All/caf\xC3\xA9 2.txt", "two", 0, archiver::ours},
	               {"All/caf\xC3\xA9 3.txt", "three", 1, archiver::ours}});
	kx_test::write_file(setup.dvd_root + "disk_0/" + install_name + "/All/caf\xC3\xA9 2.txt.zip", "not a zip");
	g_answers = {0};
	std::vector<std::string> named;
	const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
	int moved = 0;
	while (!(moved = frame(dvd_run_install)) && std::chrono::steady_clock::now() < give_up) {
		// The frame that asked shows only its title.
		if (!s.text.empty()) {
			EXPECT_EQ(s.text, "I am installing Kestrix in " + shown + "/.");
		}
		if (!s.progress_text.empty() && s.progress_text != "Finishing up...") named.push_back(s.progress_text);
		sched_yield();
	}
	ASSERT_EQ(moved, 1);
	EXPECT_EQ(s.next_screen, dvd_verify_disk_install);
	// The bar names the file the run waits at, the first on the other DVD.
	EXPECT_FALSE(named.empty());
	for (const std::string& n : named) EXPECT_EQ(n, "Installing: All/caf\xE9 3.txt");
	ASSERT_EQ(g_asked.size(), 1u);
	EXPECT_NE(g_asked[0].message.find(shown), std::string::npos) << g_asked[0].message;
	EXPECT_EQ(g_asked[0].message.find('\xC3'), std::string::npos) << g_asked[0].message;
	EXPECT_EQ(kx_test::read_file(dest_dir_path + "caf\xC3\xA9 1.txt"), "one");
	EXPECT_EQ(registration(), dest_dir_path + "\n");
}

TEST_F(RunScreens, ARunWithNothingToDoIsDoneOnItsFirstFrame)
{
	file_version_struct v = version("All/a.txt", md5_of("a"));
	v.sig_have = v.sig;
	v.have = 1;
	add_history(v);
	as_scanned();
	EXPECT_EQ(frame(dvd_install_repair), 1);
	EXPECT_EQ(s.next_screen, dvd_done_repair);
	EXPECT_EQ(repair_is_running, 0);
	// Only the install flow records a copy.
	EXPECT_EQ(registration(), "");
}

TEST_F(RunScreens, AFileOnAnotherDvdAsksForItAndTheRunGoesOnAfterwards)
{
	three_files(1);
	ASSERT_EQ(run_until_move(dvd_run_install, "Installing Kestrix", "I am installing Kestrix in ", "Installing: ",
	                         "Finishing up...", dvd_scenery_install),
	          1);
	EXPECT_EQ(s.next_screen, dvd_verify_disk_install);
	EXPECT_EQ(want_file_disk, 2);
	EXPECT_EQ(dvd_install_is_running, 1);
	setup.insert_disk(1);
	ASSERT_EQ(run_until_move(dvd_run_install, "Installing Kestrix", "I am installing Kestrix in ", "Installing: ",
	                         "Finishing up...", dvd_scenery_install),
	          1);
	EXPECT_EQ(s.next_screen, dvd_done_install);
	EXPECT_EQ(kx_test::read_file(dest_dir_path + "c.txt"), std::string(1000, 'c'));
	EXPECT_EQ(starts(log()), 1);
}

TEST_F(RunScreens, EachMemberShowsItsOwnTextsAndTargets)
{
	struct member {
		screen_fn screen;
		const char *title, *text, *prefix, *finishing;
		screen_fn select, verify;
		int* flag;
	};
	const member members[] = {
	    {dvd_install_repair, "Repairing Kestrix", "I am repairing ", "Repairing: ", "Finishing up...",
	     dvd_confirm_repair, dvd_verify_disk_repair, &repair_is_running},
	    {dvd_install_scenery, "Installing New Scenery", "I am installing new scenery for ", "Installing: ",
	     "Finishing Up...", dvd_edit_scenery, dvd_verify_disk_scenery, &scenery_install_is_running},
	};
	three_files(1);
	as_scanned();
	for (const member& m : members) {
		SCOPED_TRACE(m.title);
		for (file_history_struct& h : sim_info) h.back().sig_have = "NONE";
		setup.insert_disk(0);
		ASSERT_EQ(run_until_move(m.screen, m.title, m.text, m.prefix, m.finishing, m.select), 1);
		EXPECT_EQ(s.next_screen, m.verify);
		EXPECT_EQ(*m.flag, 1);
		install_files_kill();
		*m.flag = 0;
	}
}

TEST_F(RunScreens, AFailedFileAsksAndContinueGoesOn)
{
	three_files(0);
	// The first archive is damaged.
	kx_test::write_file(setup.dvd_root + "disk_0/" + install_name + "/All/a.txt.zip", "not a zip");
	g_answers = {0};
	ASSERT_EQ(run_until_move(dvd_run_install, "Installing Kestrix", "I am installing Kestrix in ", "Installing: ",
	                         "Finishing up...", dvd_scenery_install),
	          1);
	EXPECT_EQ(s.next_screen, dvd_done_install);
	EXPECT_EQ(num_install_errors, 1);
	ASSERT_EQ(g_asked.size(), 1u);
	const asked& q = g_asked[0];
	EXPECT_EQ(q.message.rfind("An error occurred during installation:\n\n", 0), 0u) << q.message;
	EXPECT_NE(q.message.find(" (" + error_str(20001) + ")\n\n"), std::string::npos) << q.message;
	EXPECT_TRUE(q.message.ends_with("\n\nYou can continue with the installation and attempt to repair the damaged files "
	                                "later, or you can cancel the installation."));
	EXPECT_EQ(q.label1, "Cancel");
	EXPECT_EQ(q.label2, "Continue");
	EXPECT_EQ(q.text1, "the install.");
	EXPECT_EQ(q.text2, "the install.");
}

TEST_F(RunScreens, TheFirstButtonGoesBackOrStopsByMember)
{
	three_files(0);
	const std::string damaged = setup.dvd_root + "disk_0/" + install_name + "/All/a.txt.zip";
	kx_test::write_file(damaged, "not a zip");
	// The install goes back to its select screen, still running, which asks the rest.
	g_answers = {1};
	ASSERT_EQ(run_until_move(dvd_run_install, "Installing Kestrix", "I am installing Kestrix in ", "Installing: ",
	                         "Finishing up...", dvd_scenery_install),
	          1);
	EXPECT_EQ(s.next_screen, dvd_scenery_install);
	EXPECT_EQ(dvd_install_is_running, 1);
	install_files_kill();
	dvd_install_is_running = 0;
	as_scanned();
	// A repair stops where it is; so does a question that could not be shown.
	for (int answer : {1, 3}) {
		for (file_history_struct& h : sim_info) h.back().sig_have = "NONE";
		g_answers = {answer};
		g_asked.clear();
		ASSERT_EQ(run_until_move(dvd_install_repair, "Repairing Kestrix", "I am repairing ", "Repairing: ",
		                         "Finishing up...", dvd_confirm_repair),
		          1);
		EXPECT_EQ(s.next_screen, dvd_done_repair);
		EXPECT_EQ(repair_is_running, 0);
		ASSERT_EQ(g_asked.size(), 1u);
		EXPECT_EQ(g_asked[0].label1, "Stop");
		EXPECT_EQ(g_asked[0].text1, "the repair.");
	}
}

TEST_F(RunScreens, ARunThatCannotStartGoesWhereTheTableSays)
{
	// A file the user changed, and no one to ask: the whole run is cancelled.
	file_version_struct v = version("All/a.txt", md5_of("a"));
	v.sig_have = md5_of("changed");
	add_history(v);
	EXPECT_EQ(frame(dvd_run_install), 1);
	EXPECT_EQ(s.next_screen, dvd_scenery_install);
	EXPECT_EQ(registration(), "");
	as_scanned();
	EXPECT_EQ(frame(dvd_install_scenery), 1);
	EXPECT_EQ(s.next_screen, dvd_edit_scenery);
	EXPECT_EQ(scenery_install_is_running, 0);
	// The install folder cannot be made: inside a plain file.
	kx_test::AlertRecorder alerts;
	sim_info.clear();
	three_files(0);
	kx_test::write_file(env.path("plain"), "x");
	dest_dir_path = env.path("plain/inst/");
	EXPECT_EQ(frame(dvd_run_install), 1);
	EXPECT_EQ(s.next_screen, dvd_pick_install);
	EXPECT_EQ(dvd_install_is_running, 0);
	EXPECT_EQ(alerts.alerts().size(), 1u);
	// A folder of a scanned copy cannot be made: a file stands where it belongs.
	dest_dir_path = env.path("copy/");
	as_scanned();
	kx_test::write_file(dest_dir_path + "Output", "x");
	EXPECT_EQ(frame(dvd_install_repair), 1);
	EXPECT_EQ(s.next_screen, dvd_confirm_repair);
	EXPECT_EQ(frame(dvd_install_scenery), 1);
	EXPECT_EQ(s.next_screen, dvd_edit_scenery);
	EXPECT_EQ(repair_is_running + scenery_install_is_running, 0);
	EXPECT_EQ(alerts.alerts().size(), 3u);
}

// A folder of the copy's name that appeared after Pick Destination (another installer,
// the user) is somebody's: the run does not start in it, nothing in it changes, no copy
// is recorded, and Pick Destination, where the user goes back to, says it exists.
TEST_F(RunScreens, AFolderThatAppearedSincePickDestinationIsNotTakenOver)
{
	kx_test::AlertRecorder alerts;
	three_files(0);
	kx_test::write_file(dest_dir_path + "a.txt", "the user's");
	kx_test::write_file(dest_dir_path + "notes/b.txt", "also the user's");
	// The select screen's scan found the user's file where a product file goes: it is
	// not asked about either.
	sim_info[0].back().sig_have = md5_of("the user's");
	EXPECT_EQ(frame(dvd_run_install), 1);
	EXPECT_EQ(s.next_screen, dvd_pick_install);
	EXPECT_EQ(dvd_install_is_running, 0);
	EXPECT_EQ(kx_test::read_file(dest_dir_path + "a.txt"), "the user's");
	EXPECT_EQ(kx_test::read_file(dest_dir_path + "notes/b.txt"), "also the user's");
	EXPECT_FALSE(kx_test::path_exists(dest_dir_path + "Output")) << "no folder was made in it";
	EXPECT_EQ(registration(), "");
	EXPECT_TRUE(alerts.alerts().empty());
}

// The scenery member's own ends: done leads to its done screen; a failed file asks with
// its own texts, and Stop (or no answer) stops the run there.
TEST_F(RunScreens, TheSceneryRunEndsOnItsDoneScreen)
{
	three_files(0);
	as_scanned();
	const std::string scenery = "Installing New Scenery";
	ASSERT_EQ(run_until_move(dvd_install_scenery, scenery, "I am installing new scenery for ", "Installing: ",
	                         "Finishing Up...", dvd_edit_scenery),
	          1);
	EXPECT_EQ(s.next_screen, dvd_done_scenery);
	EXPECT_EQ(s.back_screen, nullptr);
	EXPECT_EQ(scenery_install_is_running, 0);
	EXPECT_EQ(registration(), "");

	kx_test::write_file(setup.dvd_root + "disk_0/" + install_name + "/All/a.txt.zip", "not a zip");
	for (int answer : {1, 3}) {
		SCOPED_TRACE(answer);
		for (file_history_struct& h : sim_info) h.back().sig_have = "NONE";
		g_answers = {answer};
		g_asked.clear();
		num_install_errors = 0;
		ASSERT_EQ(run_until_move(dvd_install_scenery, scenery, "I am installing new scenery for ", "Installing: ",
		                         "Finishing Up...", dvd_edit_scenery),
		          1);
		EXPECT_EQ(s.next_screen, dvd_done_scenery);
		EXPECT_EQ(scenery_install_is_running, 0);
		EXPECT_EQ(num_install_errors, 1);
		ASSERT_EQ(g_asked.size(), 1u);
		EXPECT_EQ(g_asked[0].message.rfind("An error occurred during scenery installation:\n\n", 0), 0u);
		EXPECT_TRUE(g_asked[0].message.ends_with("\n\nYou can continue with the installation and attempt to reinstall "
		                                         "the damaged files later, or you can stop the installation"));
		EXPECT_EQ(g_asked[0].label1, "Stop");
		EXPECT_EQ(g_asked[0].label2, "Continue");
		EXPECT_EQ(g_asked[0].text1, "the scenery install.");
		EXPECT_EQ(g_asked[0].text2, "the scenery install.");
	}
}

// A product folder of the copy that is a link (the user moved it to another disk): the
// tile is refused, nothing lands at the link's target, and the failed-file question
// names that folder, in the font's letters, and says the installer writes only into
// real folders. The repair meets the same question.
TEST_F(RunScreens, ALinkOnTheWayIsNamedInTheQuestion)
{
	dest_dir_path = env.path("caf\xC3\xA9/");
	const std::string elsewhere = env.path("other disk/");
	kx_test::write_file(elsewhere + "+40-080/.keep", "");
	kx_test::write_file(dest_dir_path + ".keep", "");
	ASSERT_EQ(symlink(elsewhere.c_str(), (dest_dir_path + "Global Scenery").c_str()), 0);
	master(setup, {{"All/Global Scenery/+40-080/+40-080.dsf", "tile", 0}});
	as_scanned();
	const std::string named = "The folder " + env.path("caf\xE9/") +
	                          "Global Scenery is a link to another place. The installer writes only into real "
	                          "folders; put the real folder in its place and try again.";
	for (screen_fn run : {dvd_install_scenery, dvd_install_repair}) {
		SCOPED_TRACE(wizard_screen_name(run));
		sim_info[0].back().sig_have = "NONE";
		g_answers = {1};
		g_asked.clear();
		const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
		while (!frame(run) && std::chrono::steady_clock::now() < give_up) sched_yield();
		ASSERT_EQ(g_asked.size(), 1u);
		EXPECT_NE(g_asked[0].message.find("\n\n" + named + "\n\n"), std::string::npos) << g_asked[0].message;
		EXPECT_EQ(g_asked[0].message.find("(" + error_str(ELOOP) + ")"), std::string::npos) << g_asked[0].message;
		EXPECT_EQ(kx_test::read_file(elsewhere + "+40-080/.keep"), "");
		EXPECT_FALSE(kx_test::path_exists(elsewhere + "+40-080/+40-080.dsf"));
	}
	// The log names the link too.
	const std::string text = log();
	EXPECT_NE(text.find("the folder " + dest_dir_path + "Global Scenery on its way is a symbolic link"), std::string::npos)
	    << text;
}

TEST_F(RunScreens, TheBarBeforeInsideAndPastTheList)
{
	three_files(0);
	ASSERT_EQ(choose_files(), 1);
	EXPECT_FLOAT_EQ(UTIL_run_progress(-1), 0.0f);
	EXPECT_FLOAT_EQ(UTIL_run_progress(0), 0.0f);
	EXPECT_FLOAT_EQ(UTIL_run_progress(1), sim_info[1].back().progress_at);
	EXPECT_GT(UTIL_run_progress(2), UTIL_run_progress(1));
	EXPECT_LT(UTIL_run_progress(2), 1.0f);
	EXPECT_FLOAT_EQ(UTIL_run_progress(3), 1.0f);
	EXPECT_FLOAT_EQ(UTIL_run_progress(40), 1.0f);
}

}  // namespace
