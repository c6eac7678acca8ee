// The repair and scenery flows' screens, called directly with a zeroed record on small
// sets made here, in a headless context: picking the copy, the scan, the confirm count, the verb table of the
// scenery done screen, and the question asked when the user comes back from a run.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "engine/install_fixture.h"
#include "graphics/oglp.h"
#include "runtime/hl_globals.h"
#include "support/gl_world.h"
#include "wizard/main_repair.h"
#include "wizard/main_trace.h"
#include "wizard_fixture.h"

namespace {

using namespace kx_install_test;

struct asked {
	std::string message, label1, text1, label2, text2;
};
std::vector<asked> g_asked;
int g_answer = 3;

int scripted_abort(std::string m, std::string l1, std::string t1, std::string l2, std::string t2)
{
	g_asked.push_back({m, l1, t1, l2, t2});
	return g_answer;
}

// The files asked about in window 996, and the answer (3: as when it cannot be shown).
std::vector<std::string> g_selects;
int g_select_answer = 3;
constexpr int kKeepIt = 2;
int scripted_select(std::string path, int)
{
	g_selects.push_back(path);
	return g_select_answer;
}

constexpr char kRepairPickText[] = "Please pick which copy of Kestrix 9 you would like to repair.";
constexpr char kMoreThanOne[] = "You have more than one copy of Kestrix 9 installed on this computer.  ";

class RepairFlows : public ::testing::Test {
protected:
	RepairFlows() : setup(env)
	{
		xer.open(env.path("log.txt"));
		g_asked.clear();
		g_answer = 3;
		old_abort = ENG_set_abort_alert_hook(scripted_abort);
		g_selects.clear();
		g_select_answer = 3;
		old_select = ENG_set_select_alert_hook(scripted_select);
		reset_flags();
		all_orvalas.clear();
		step_names.clear();
		step_funcs.clear();
	}
	~RepairFlows() override
	{
		checksum_directory_kill();
		install_files_kill();
		ENG_set_abort_alert_hook(old_abort);
		ENG_set_select_alert_hook(old_select);
		reset_flags();
		all_orvalas.clear();
		stg.files_to_download = stg.files_to_delete = 0;
		xer.close();
		reset_engine_state();
	}
	static void reset_flags()
	{
		dvd_install_is_running = repair_is_running = scenery_install_is_running = 0;
		num_install_errors = 0;
	}
	int frame(screen_fn screen, int first = 0)
	{
		s = wizard_screen{};
		const int r = screen(first, s);
		for (screen_fn f : {s.back_screen, s.next_screen}) {
			if (f) {
				EXPECT_NE(wizard_screen_name(f), nullptr);
			}
		}
		return r;
	}
	std::string log() { return kx_wizard_test::log_so_far(env.path("log.txt")); }
	static int starts(const std::string& log) { return kx_wizard_test::run_starts(log); }
	// Frames of a scan screen until it moves on (20 s at most); the busy frames are kept.
	int scan_until_done(screen_fn scan)
	{
		const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
		for (int first = 1; std::chrono::steady_clock::now() < give_up; first = 0) {
			if (frame(scan, first)) return 1;
			busy.push_back(s);
			sched_yield();
		}
		ADD_FAILURE() << "the scan never ended";
		return 0;
	}
	// Frames of a run screen until it moves on (20 s at most).
	int run_until_move(screen_fn screen)
	{
		const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
		for (int first = 1; std::chrono::steady_clock::now() < give_up; first = 0) {
			if (frame(screen, first)) return 1;
			sched_yield();
		}
		ADD_FAILURE() << "the run never moved on";
		return 0;
	}

	// The confirm and edit screens draw the disk-space block.
	std::unique_ptr<GlTestContext> world = open_gl_world(1024, 768);
	kx_test::TempEnv env;
	run_setup setup;
	abort_alert_fn old_abort;
	select_alert_fn old_select;
	wizard_screen s;
	std::vector<wizard_screen> busy;
};

TEST_F(RepairFlows, OneRegisteredCopyIsPickedOnEveryFrameAndContinueIsOnAtOnce)
{
	const std::string copy = dest_dir_path;
	all_orvalas = {copy};
	dest_dir_path.clear();
	for (screen_fn pick : {dvd_pick_repair, dvd_pick_scenery}) {
		EXPECT_EQ(frame(pick, 1), 0);
		EXPECT_EQ(dest_dir_path, copy);
		EXPECT_EQ(s.back_screen, dvd_start);
		EXPECT_EQ(s.next_screen, pick == dvd_pick_repair ? dvd_scan_repair : dvd_scan_scenery);
		dest_dir_path = "/elsewhere/";
		frame(pick);
		EXPECT_EQ(dest_dir_path, copy) << "the one copy is chosen on every frame";
	}
	EXPECT_EQ(s.title, "Select Kestrix 9 to Add or Remove Scenery");
	EXPECT_EQ(s.text, "Please pick which copy of Kestrix 9 you would like to add scenery to.");
	frame(dvd_pick_repair, 1);
	EXPECT_EQ(s.title, "Repair Kestrix 9");
	EXPECT_EQ(s.text, kRepairPickText);
}

TEST_F(RepairFlows, ThePickScreensSetTheirFlowsSteps)
{
	frame(dvd_pick_repair, 1);
	EXPECT_EQ(step_names, (std::vector<std::string>{"Welcome", "Select Kestrix", "Scan For Problems", "Confirm Repairs",
	                                                "Repair Kestrix", "Finish"}));
	EXPECT_EQ(step_funcs, (std::vector<screen_fn>{dvd_start, dvd_pick_repair, dvd_scan_repair, dvd_confirm_repair,
	                                              dvd_install_repair, dvd_done_repair}));
	frame(dvd_pick_scenery, 1);
	EXPECT_EQ(step_names, (std::vector<std::string>{"Welcome", "Select Kestrix", "Scan Existing Scenery",
	                                                "Select New Scenery", "Install Scenery", "Finish"}));
	EXPECT_EQ(step_funcs, (std::vector<screen_fn>{dvd_start, dvd_pick_scenery, dvd_scan_scenery, dvd_edit_scenery,
	                                              dvd_install_scenery, dvd_done_scenery}));
}

TEST_F(RepairFlows, AFolderLeftByPickDestinationIsNoCopyToRepair)
{
	all_orvalas = {env.path("c1/"), env.path("c2/")};
	for (screen_fn pick : {dvd_pick_repair, dvd_pick_scenery}) {
		// Pick Destination leaves the desktop itself when the name was emptied.
		dest_dir_path = env.path("Desktop/");
		EXPECT_EQ(frame(pick, 1), 0);
		EXPECT_EQ(dest_dir_path, "");
		EXPECT_EQ(s.next_screen, nullptr);
		frame(pick);
		EXPECT_EQ(s.next_screen, nullptr) << "Continue stays off until a copy is picked";
	}
	EXPECT_TRUE(s.text.starts_with(kMoreThanOne)) << s.text;
	// A registered copy chosen before stays chosen.
	dest_dir_path = env.path("c2/");
	frame(dvd_pick_repair, 1);
	EXPECT_EQ(dest_dir_path, env.path("c2/"));
	EXPECT_EQ(s.next_screen, dvd_scan_repair);
	EXPECT_EQ(s.text, std::string(kMoreThanOne) + kRepairPickText);
}

TEST_F(RepairFlows, NoCopyLeavesContinueOff)
{
	frame(dvd_pick_repair, 1);
	EXPECT_EQ(s.next_screen, nullptr);
	EXPECT_EQ(s.back_screen, dvd_start);
	EXPECT_EQ(s.text, kRepairPickText);
}

// Many small files, so the pass cannot hand them all out in one frame.
void many_files(const std::string& folder, int n)
{
	for (int i = 0; i < n; ++i) {
		const std::string name = "f" + std::to_string(i) + ".txt";
		file_version_struct v = version("All/" + name, md5_of(name), 0, 0.001f);
		add_history(v);
		if (i % 2) kx_test::write_file(folder + name, name);
	}
}

TEST_F(RepairFlows, TheScanCountsFilesAndShowsItsProgress)
{
	const int n = 2000;
	many_files(dest_dir_path, n);
	EXPECT_EQ(scan_until_done(dvd_scan_repair), 1);
	EXPECT_EQ(s.next_screen, dvd_confirm_repair);
	EXPECT_EQ(s.back_screen, nullptr);
	EXPECT_EQ(g_want_sim, 1);
	EXPECT_EQ(g_want_global, 0);
	ASSERT_FALSE(busy.empty());
	for (const wizard_screen& b : busy) {
		EXPECT_EQ(b.title, "Scanning Kestrix for Problems");
		EXPECT_TRUE(b.text.starts_with("I am scanning " + dest_dir_path + " for missing or damaged files.\n\nNote: "));
		EXPECT_EQ(b.back_screen, dvd_pick_repair);
		EXPECT_EQ(b.next_screen, nullptr);
		EXPECT_EQ(b.on_cancel, checksum_directory_kill);
		const int handed = int(b.progress * n + 0.5f);
		EXPECT_GT(handed, 0);
		EXPECT_EQ(b.progress_text, "Scanning " + std::to_string(handed) + " of " + std::to_string(n) + " files.");
	}
	int present = 0;
	for (const file_history_struct& h : sim_info) present += h.back().have;
	EXPECT_EQ(present, n / 2);

	// The scenery twin scans with its own filter and texts.
	busy.clear();
	EXPECT_EQ(scan_until_done(dvd_scan_scenery), 1);
	EXPECT_EQ(s.next_screen, dvd_edit_scenery);
	EXPECT_EQ(g_want_sim, 0);
	EXPECT_EQ(g_want_global, 1);
	for (const wizard_screen& b : busy) {
		EXPECT_EQ(b.title, "Scanning Kestrix 9 for Installed Scenery");
		EXPECT_EQ(b.back_screen, dvd_pick_scenery);
	}
}

TEST_F(RepairFlows, GoingBackFromAScanStopsThePassOnThePickScreensFirstFrame)
{
	many_files(dest_dir_path, 4000);
	all_orvalas = {dest_dir_path};
	for (screen_fn scan : {dvd_scan_repair, dvd_scan_scenery}) {
		ASSERT_EQ(frame(scan, 1), 0);
		ASSERT_NE(checksum_workers, nullptr) << "the pass is under way";
		const screen_fn pick = s.back_screen;
		frame(pick, 1);
		EXPECT_EQ(checksum_workers, nullptr) << "no checksum pool is left";
		// A new pass starts from the beginning.
		ASSERT_EQ(frame(scan, 1), 0);
		EXPECT_LT(s.progress, 1.0f);
		checksum_directory_kill();
	}
}

// Every line of text drawn while it is set.
std::vector<std::string> g_drawn;
void record_text(int, float, float, const std::string& text, int) { g_drawn.push_back(text); }

// A copy in a folder named in UTF-8 (é, ü and a Japanese letter): the picker draws its
// path, and the scan, confirm and done screens name it, in the font's letters; the scan
// reads the folder by its own bytes.
TEST_F(RepairFlows, ACopysPathIsShownInTheFontsLetters)
{
	const std::string copy = env.path("T\xC3\xA9l\xC3\xA9" "chargements \xC3\xBC\xE3\x81\x82/");
	const std::string shown = env.path("T\xE9l\xE9" "chargements ?\?/");
	const int n = 2000;
	many_files(copy, n);
	all_orvalas = {copy};
	g_drawn.clear();
	const ogl_text_observer_fn old = OGL_set_text_observer(record_text);
	frame(dvd_pick_repair, 1);
	OGL_set_text_observer(old);
	std::string drawn;
	for (const std::string& line : g_drawn) drawn += line;
	EXPECT_NE(drawn.find(shown), std::string::npos) << drawn;
	EXPECT_EQ(drawn.find('\xC3'), std::string::npos) << drawn;
	ASSERT_EQ(dest_dir_path, copy);

	ASSERT_EQ(scan_until_done(dvd_scan_repair), 1);
	ASSERT_FALSE(busy.empty());
	for (const wizard_screen& b : busy) EXPECT_TRUE(b.text.starts_with("I am scanning " + shown + " for ")) << b.text;
	int present = 0;
	for (const file_history_struct& h : sim_info) present += h.back().have;
	EXPECT_EQ(present, n / 2);
	frame(dvd_confirm_repair, 1);
	EXPECT_TRUE(s.text.starts_with("I need to install approximately 1000 files to repair " + shown + ".")) << s.text;
	frame(dvd_done_repair);
	EXPECT_EQ(s.text, "I have finished repairing " + shown + " - click Go Back to return to the main menu.");
}

TEST_F(RepairFlows, TheConfirmCountLeavesOutFilesTheProductDropped)
{
	const std::string md5_new = md5_of("new"), md5_old = md5_of("old"), md5_user = md5_of("user");
	// Missing.
	file_version_struct v = version("All/missing.txt", md5_new);
	v.sig_have = "NONE";
	add_history(v);
	// An older version on disk.
	v = version("All/older.txt", md5_new);
	v.sig_have = md5_old;
	add_history(v, {version("All/older.txt", md5_old)});
	// Changed by the user.
	v = version("All/edited.txt", md5_new);
	v.sig_have = md5_user;
	add_history(v);
	// Right as it is.
	v = version("All/fine.txt", md5_new);
	v.sig_have = md5_new;
	v.have = 1;
	add_history(v);
	// Dropped by the product: present at its old version, and absent.
	v = version("All/dropped.txt", "GONE");
	v.sig_have = md5_old;
	add_history(v, {version("All/dropped.txt", md5_old)});
	v = version("All/long_gone.txt", "GONE");
	v.sig_have = "NONE";
	add_history(v, {version("All/long_gone.txt", md5_old)});
	// Not for this platform, and scenery: the repair's filter takes neither.
	v = version("Windows/w.dll", md5_new);
	v.platform = 2;
	v.sig_have = "NONE";
	add_history(v);
	add_tile("All/Global Scenery/+40-080/+40-080.dsf", md5_new, 13, 10, "NONE");
	set_install_filter(1, 0);

	EXPECT_EQ(repair_files_to_install(), 3);
	EXPECT_EQ(frame(dvd_confirm_repair, 1), 0);
	EXPECT_EQ(s.title, "Confirm Repairs");
	EXPECT_EQ(s.text, "I need to install approximately 3 files to repair " + dest_dir_path +
	                      ".\n\nClick continue to begin repairing Kestrix.");
	EXPECT_EQ(s.back_screen, dvd_pick_repair);
	EXPECT_EQ(s.next_screen, dvd_install_repair);
	EXPECT_EQ(g_asked.size(), 0u);
}

TEST_F(RepairFlows, NothingToRepairStillOffersContinueAndNoRoomTakesItAway)
{
	file_version_struct v = version("All/fine.txt", md5_of("x"));
	v.sig_have = v.sig;
	v.have = 1;
	add_history(v);
	set_install_filter(1, 0);
	frame(dvd_confirm_repair, 1);
	EXPECT_TRUE(s.text.starts_with("I need to install approximately 0 files to repair ")) << s.text;
	EXPECT_EQ(s.next_screen, dvd_install_repair);

	// More than any disk holds, on a copy whose volume can be read.
	::mkdir(dest_dir_path.c_str(), 0755);
	v = version("All/huge.txt", md5_of("y"), 0, 1e15f);
	v.sig_have = "NONE";
	add_history(v);
	frame(dvd_confirm_repair, 1);
	EXPECT_EQ(s.text, "I need to install approximately 1 files to repair " + dest_dir_path + ".");
	EXPECT_EQ(s.next_screen, nullptr);
	EXPECT_EQ(s.back_screen, dvd_pick_repair);
}

TEST_F(RepairFlows, TheEditScreenStartsFromTheTilesOnDisk)
{
	add_tile("All/Global Scenery/+40-080/+40-080.dsf", md5_of("a"), 13, 10, md5_of("a"));
	add_tile("All/Global Scenery/-10+020/-10+020.dsf", md5_of("b"), 8, 20, "NONE");
	set_install_filter(0, 1);
	for (int& w : stg.scenery_selected) w = 1;
	EXPECT_EQ(frame(dvd_edit_scenery, 1), 0);
	EXPECT_EQ(stg.scenery_selected[stg_tile(13, 10)], 1);
	EXPECT_EQ(stg.scenery_selected[stg_tile(8, 20)], 0);
	EXPECT_EQ(stg.files_to_download, 0);
	EXPECT_EQ(s.title, "Select Scenery");
	EXPECT_TRUE(s.text.starts_with("Click on the world map to select what scenery you would like to install.  "));
	EXPECT_EQ(s.back_screen, dvd_pick_scenery);
	EXPECT_EQ(s.next_screen, dvd_install_scenery);
	// A later frame keeps the user's choice.
	stg.scenery_selected[stg_tile(8, 20)] = 1;
	recalc_disk_sizes();
	frame(dvd_edit_scenery);
	EXPECT_EQ(stg.scenery_selected[stg_tile(8, 20)], 1);
	EXPECT_EQ(stg.files_to_download, 1);
}

TEST_F(RepairFlows, TheSceneryDoneScreenSaysWhatTheRunDid)
{
	struct row {
		int fetch, del;
		const char* success;
		const char* errors;
	};
	const row rows[] = {
	    {0, 1, "removed", "removing"},
	    {-1, 3, "removed", "removing"},
	    {0, 0, "updated", "updating"},
	    {-2, -1, "updated", "updating"},
	    {1, 0, "installed more", "installing more"},
	    {5, -1, "installed more", "installing more"},
	    {1, 1, "added and removed", "adding and removing"},
	    {7, 2, "added and removed", "adding and removing"},
	};
	for (const row& r : rows) {
		stg.files_to_download = r.fetch;
		stg.files_to_delete = r.del;
		num_install_errors = 0;
		frame(dvd_done_scenery);
		EXPECT_EQ(s.title, "Finished With Add/Remove Scenery");
		EXPECT_EQ(s.text, std::string("I have successfully ") + r.success + " scenery to match your choices on the map.");
		EXPECT_EQ(s.choice_labels, std::vector<std::string>{"Run Kestrix Now"});
		EXPECT_EQ(s.choice_targets, std::vector<screen_fn>{dvd_do_run_sim});
		EXPECT_EQ(s.back_screen, dvd_start);
		EXPECT_EQ(s.next_screen, wizard_quit);
		EXPECT_STREQ(scenery_done_verb(r.fetch, r.del, false), r.success);
		num_install_errors = 2;
		frame(dvd_done_scenery);
		EXPECT_EQ(s.text, std::string("There were errors while ") + r.errors +
		                      " your scenery; your copy of Kestrix may not be usable.\n\nYou can click Go Back and use "
		                      "the repair and add-remove scenery functions to try to reinstall any missing or damaged "
		                      "files.");
		EXPECT_TRUE(s.choice_labels.empty());
		EXPECT_EQ(s.next_screen, wizard_quit);
		EXPECT_STREQ(scenery_done_verb(r.fetch, r.del, true), r.errors);
	}
}

TEST_F(RepairFlows, TheRepairDoneScreenByTheRunsErrors)
{
	frame(dvd_done_repair);
	EXPECT_EQ(s.title, "Finished Repairing Kestrix.");
	EXPECT_EQ(s.text, "I have finished repairing " + dest_dir_path + " - click Go Back to return to the main menu.");
	EXPECT_EQ(s.choice_targets, std::vector<screen_fn>{dvd_do_run_sim});
	EXPECT_EQ(s.back_screen, dvd_start);
	EXPECT_EQ(s.next_screen, wizard_quit);
	num_install_errors = 1;
	frame(dvd_done_repair);
	EXPECT_EQ(s.text,
	          "There were errors during the repair; your copy of Kestrix may not be usable.\n\nYou can click Go Back "
	          "and use the repair and add-remove scenery functions to try to reinstall any missing or damaged files.");
	EXPECT_TRUE(s.choice_labels.empty());
}

// Two files on DVD 0 and one on DVD 1, to be repaired into an empty copy.
void two_dvd_set(run_setup& setup)
{
	master(setup, {{"All/a.txt", std::string(1000, 'a'), 0, archiver::ours},
	               {"All/b.txt", std::string(2000, 'b'), 0, archiver::ours},
	               {"All/c.txt", std::string(1000, 'c'), 1, archiver::ours}});
	set_install_filter(1, 0);
}

TEST_F(RepairFlows, ComingBackFromARunAsksAndContinueGoesBackWithoutARestart)
{
	two_dvd_set(setup);
	struct member {
		screen_fn edit, run;
		int* flag;
		const char* question;
		const char* action;
	};
	const member members[] = {
	    {dvd_confirm_repair, dvd_install_repair, &repair_is_running,
	     "Are you sure you want to stop the repair operation?  Kestrix may not be usable until repairs are complete.  "
	     "You can run the repair operation on Kestrix again later to complete repairs.",
	     "the repair operation."},
	    {dvd_edit_scenery, dvd_install_scenery, &scenery_install_is_running,
	     "Are you sure you want to stop scenery installation?  You can add or remove more scenery later.",
	     "the scenery install."},
	};
	for (const auto& [edit, run, flag, question, action] : members) {
		SCOPED_TRACE(wizard_screen_name(run));
		setup.insert_disk(0);
		as_scanned();
		g_asked.clear();
		const int starts_before = starts(log());
		ASSERT_EQ(run_until_move(run), 1);
		EXPECT_EQ(*flag, 1);
		// Go Back from the DVD change screen leads to the edit screen, which asks.
		g_answer = 0;
		EXPECT_EQ(frame(edit, 1), 1);
		ASSERT_EQ(g_asked.size(), 1u);
		EXPECT_EQ(g_asked[0].message, question);
		EXPECT_EQ(g_asked[0].label1, "Stop");
		EXPECT_EQ(g_asked[0].text1, action);
		EXPECT_EQ(g_asked[0].label2, "Continue");
		EXPECT_EQ(g_asked[0].text2, action);
		EXPECT_EQ(s.next_screen, run);
		EXPECT_EQ(*flag, 1);
		// Back in the run: no second start.
		frame(run, 1);
		EXPECT_EQ(starts(log()), starts_before + 1);
		// This time Stop: the engine's work ends, the copy keeps what it got.
		g_answer = 1;
		EXPECT_EQ(frame(edit, 1), 0);
		EXPECT_EQ(*flag, 0);
		EXPECT_EQ(copy_pool, nullptr);
		EXPECT_EQ(unzip_pool, nullptr);
		EXPECT_NE(s.title, "");
		EXPECT_TRUE(dir_exists(dest_dir_path));
		// Not running, no question.
		g_asked.clear();
		frame(edit, 1);
		EXPECT_TRUE(g_asked.empty());
		kx_test::remove_tree(dest_dir_path);
		for (file_history_struct& h : sim_info) h.back().have = 0;
	}
}

TEST_F(RepairFlows, AQuestionThatCannotBeShownStopsTheRun)
{
	two_dvd_set(setup);
	as_scanned();
	ASSERT_EQ(run_until_move(dvd_install_repair), 1);
	g_answer = 3;
	EXPECT_EQ(frame(dvd_confirm_repair, 1), 0);
	EXPECT_EQ(repair_is_running, 0);
	EXPECT_EQ(s.title, "Confirm Repairs");
}

TEST_F(RepairFlows, AFailedFileAndStopEndOnTheDoneScreenWithTheErrorWording)
{
	master(setup, {{"All/a.txt", std::string(1000, 'a'), 0, archiver::ours}});
	kx_test::write_file(setup.dvd_root + "disk_0/" + install_name + "/All/a.txt.zip", "not a zip");
	set_install_filter(1, 0);
	as_scanned();
	g_answer = 1;  // Stop
	ASSERT_EQ(run_until_move(dvd_install_repair), 1);
	EXPECT_EQ(s.next_screen, dvd_done_repair);
	EXPECT_EQ(repair_is_running, 0);
	frame(dvd_done_repair, 1);
	EXPECT_TRUE(s.text.starts_with("There were errors during the repair; ")) << s.text;
}

// A run whose only work is a removal, on a file that cannot be removed (another user's,
// an immutable one): it ends on the done screen's error wording, and the file stays
// counted as present; the same run once the file can go says it succeeded.
TEST_F(RepairFlows, ARemovalThatFailsEndsOnTheErrorWording)
{
	// The scenery flow, a tile taken off the map.
	const std::string tile = "Global Scenery/+40-080/+40-080.dsf";
	kx_test::write_file(dest_dir_path + tile, "tile");
	add_tile("All/" + tile, md5_of("tile"), 13, 10, md5_of("tile"));
	// The repair, a file the product no longer has.
	kx_test::write_file(dest_dir_path + "dropped/old.txt", "old");
	add_history(version("All/dropped/old.txt", "GONE"), {version("All/dropped/old.txt", md5_of("old"))});
	sim_info[1].back().sig_have = md5_of("old");
	as_scanned();

	struct member {
		screen_fn run, done;
		int want_sim, want_global;
		const char* errors;
		std::string success;
		std::string file;
		file_version_struct* v;
	};
	const member members[] = {
	    {dvd_install_scenery, dvd_done_scenery, 0, 1, "There were errors while removing your scenery; ",
	     "I have successfully removed scenery to match your choices on the map.", dest_dir_path + tile,
	     &sim_info[0].back()},
	    {dvd_install_repair, dvd_done_repair, 1, 0, "There were errors during the repair; ",
	     "I have finished repairing " + dest_dir_path + " - click Go Back to return to the main menu.",
	     dest_dir_path + "dropped/old.txt", &sim_info[1].back()},
	};
	for (const member& m : members) {
		SCOPED_TRACE(wizard_screen_name(m.run));
		const std::string sig_have = m.v->sig_have;
		const int have = m.v->have;
		set_install_filter(m.want_sim, m.want_global);
		stg.scenery_selected[stg_tile(13, 10)] = 0;
		recalc_disk_sizes();
		{
			kx_test::ScopedUndeletable lock(m.file);
			if (!lock.ok()) GTEST_SKIP() << "no way to make a file undeletable here";
			ASSERT_EQ(run_until_move(m.run), 1);
			EXPECT_EQ(s.next_screen, m.done);
			EXPECT_EQ(num_install_errors, 1);
			frame(m.done, 1);
			EXPECT_TRUE(s.text.starts_with(m.errors)) << s.text;
			EXPECT_TRUE(exists(m.file));
			EXPECT_EQ(m.v->sig_have, sig_have);
			EXPECT_EQ(m.v->have, have);
		}
		ASSERT_EQ(run_until_move(m.run), 1);
		frame(m.done, 1);
		EXPECT_EQ(s.text, m.success);
		EXPECT_FALSE(exists(m.file));
	}
	// The tile's folder went with it once it could.
	EXPECT_FALSE(exists(dest_dir_path + "Global Scenery/+40-080"));
}

// The copy was renamed after its scan, before Continue: the run makes nothing at the
// old path, asks about none of the files the scan found there, leaves the moved copy as
// it was and does not start, so it never reaches its done screen; an alert names the
// folder. An empty folder put in the old place (an unplugged disk's mount point) is not
// the copy either. Both runs into a copy behave so.
TEST_F(RepairFlows, ACopyThatMovedSinceItsScanIsNeitherRebuiltNorAskedAbout)
{
	const std::string tile = "Global Scenery/+40-080/+40-080.dsf";
	master(setup, {{"All/a.txt", "a", 0, archiver::ours},
	               {"All/sub/b.txt", "b", 0, archiver::ours},
	               {"All/" + tile, "tile", 0}});
	const std::string copy = dest_dir_path, moved = env.path("moved/");
	kx_test::write_file(copy + "a.txt", "changed by the user");
	kx_test::write_file(copy + tile, "damaged");
	g_select_answer = kKeepIt;
	struct member {
		screen_fn scan, edit, run;
		int* flag;
	};
	const member members[] = {{dvd_scan_repair, dvd_confirm_repair, dvd_install_repair, &repair_is_running},
	                          {dvd_scan_scenery, dvd_edit_scenery, dvd_install_scenery, &scenery_install_is_running}};
	for (const member& m : members) {
		SCOPED_TRACE(wizard_screen_name(m.run));
		ASSERT_EQ(scan_until_done(m.scan), 1);
		frame(m.edit, 1);
		ASSERT_EQ(::rename(copy.c_str(), moved.c_str()), 0);
		kx_test::AlertRecorder alerts;
		EXPECT_EQ(frame(m.run, 1), 1);
		EXPECT_EQ(s.next_screen, m.edit);
		EXPECT_EQ(*m.flag, 0);
		EXPECT_FALSE(exists(copy)) << "made again at the old path";
		EXPECT_TRUE(g_selects.empty()) << g_selects.front();
		ASSERT_EQ(alerts.alerts().size(), 1u);
		EXPECT_EQ(alerts.alerts()[0].line1, "The folder of the copy of Kestrix that I scanned is no longer there:");
		EXPECT_EQ(alerts.alerts()[0].line2, copy);

		ASSERT_EQ(::mkdir(copy.c_str(), 0755), 0);
		EXPECT_EQ(frame(m.run, 1), 1);
		EXPECT_EQ(s.next_screen, m.edit);
		EXPECT_EQ(*m.flag, 0);
		EXPECT_EQ(::rmdir(copy.c_str()), 0) << "something was made in the empty folder";
		EXPECT_TRUE(g_selects.empty());
		EXPECT_EQ(alerts.alerts().size(), 2u);

		EXPECT_EQ(kx_test::read_file(moved + "a.txt"), "changed by the user");
		EXPECT_EQ(kx_test::read_file(moved + tile), "damaged");
		EXPECT_FALSE(exists(moved + "sub"));
		EXPECT_FALSE(exists(moved + "Output"));
		ASSERT_EQ(::rename(moved.c_str(), copy.c_str()), 0);
	}
	EXPECT_EQ(starts(log()), 4);
}

TEST_F(RepairFlows, ARepairRunsToItsDoneScreen)
{
	two_dvd_set(setup);
	as_scanned();
	setup.insert_disk(0);
	ASSERT_EQ(run_until_move(dvd_install_repair), 1);
	ASSERT_EQ(s.next_screen, dvd_verify_disk_repair);
	setup.insert_disk(1);
	ASSERT_EQ(run_until_move(dvd_install_repair), 1);
	EXPECT_EQ(s.next_screen, dvd_done_repair);
	frame(dvd_done_repair, 1);
	EXPECT_EQ(s.text, "I have finished repairing " + dest_dir_path + " - click Go Back to return to the main menu.");
	EXPECT_EQ(kx_test::read_file(dest_dir_path + "c.txt"), std::string(1000, 'c'));
}

}  // namespace
