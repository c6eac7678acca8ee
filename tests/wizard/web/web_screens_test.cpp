// The web updater's and the web demo's screens, called with a fresh record each frame as
// the wizard engine calls them.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>

#include "engine/install.h"
#include "engine/new_copy_folder.h"
#include "runtime/hl_errors.h"
#include "runtime/hl_thread.h"
#include "runtime/translate.h"
#include "web_fixture.h"
#include "wizard/main_copies.h"
#include "wizard/main_licence.h"
#include "wizard/main_screens.h"
#include "wizard/main_steps.h"
#include "wizard/main_web_shared.h"

namespace {

using namespace kx_web_test;

int g_abort_answer = 1;
int g_abort_calls = 0;
std::string g_abort_message, g_abort_label1, g_abort_label2;
int scripted_abort(std::string message, std::string label1, std::string, std::string label2, std::string)
{
	++g_abort_calls;
	g_abort_message = message;
	g_abort_label1 = label1;
	g_abort_label2 = label2;
	return g_abort_answer;
}

class WebScreensTest : public WebTest {
protected:
	WebScreensTest()
	{
		old_abort = ENG_set_abort_alert_hook(scripted_abort);
		g_abort_calls = 0;
		g_abort_answer = 1;
		demo_dest = new_copy_place{};
	}
	~WebScreensTest() override
	{
		checksum_directory_kill();
		ENG_set_abort_alert_hook(old_abort);
		demo_dest = new_copy_place{};
	}

	// Registers these copies (made as copies) in the registration file.
	void register_copies(const std::vector<std::string>& copies)
	{
		std::string prefs, text;
		get_OS_abs_path(os_dir_prefs, prefs);
		for (const std::string& c : copies) {
			kx_wizard_test::make_copy_folders(c);
			text += c + "\n";
		}
		kx_test::write_file(prefs + kRegistrationFile, text);
	}

	// One frame of a screen with a fresh record, its targets checked against the name table.
	int frame(screen_fn f, int first, wizard_screen& s)
	{
		s = wizard_screen{};
		const int r = f(first, s);
		kx_wizard_test::expect_named_targets(s);
		return r;
	}

	// A file model of `n` files, each a few bytes in `folder`.
	void files_in(const std::string& folder, int n)
	{
		sim_info.clear();
		for (int i = 0; i < n; ++i) {
			const std::string name = "f" + std::to_string(i) + ".txt";
			kx_test::write_file(folder + name, "content " + std::to_string(i));
			sim_info.push_back({kx_engine_test::version_of("All/" + name, kx_engine_test::md5_of("x"))});
		}
	}

	abort_alert_fn old_abort = nullptr;
};

TEST_F(WebScreensTest, StartChoosesTheCopyAndTheStepList)
{
	wizard_screen s;
	const std::vector<std::string> without_pick = {"Welcome", "Search for Updates", "Check Disk Space",
	                                               "Install Updates", "Finish"};
	// One registered copy: no picking.
	register_copies({env.path("c1/")});
	frame(net_start, 1, s);
	EXPECT_EQ(step_names, without_pick);
	EXPECT_EQ(step_funcs.size(), step_names.size());
	EXPECT_EQ(dest_dir_path, env.path("c1/"));
	EXPECT_EQ(s.title, "Kestrix 9 Web Updater");
	EXPECT_EQ(s.text, "I will guide you through the process of updating your copy of Kestrix 9 to the latest version.");
	EXPECT_EQ(s.next_screen, net_get_updates);
	EXPECT_EQ(s.back_screen, nullptr);

	// "-path" naming a copy wins over two copies, and gets its final "/".
	register_copies({env.path("c1/"), env.path("c2/")});
	kx_wizard_test::make_copy_folders(env.path("given/"));
	cmd_line_path = env.path("given");
	frame(net_start, 1, s);
	EXPECT_EQ(step_names, without_pick);
	EXPECT_EQ(dest_dir_path, env.path("given/"));
	EXPECT_EQ(s.next_screen, net_get_updates);
	EXPECT_EQ(log.text(), "");

	// Two copies, and no "-path" or one naming no copy (a folder of the user's, a copy
	// by a relative path): the copy is picked first, and the log names the refused folder.
	const kx_test::ScopedWorkingFolder here(env.path(""));
	const std::string documents = env.path("Documents/");
	kx_test::write_file(documents + "letter.txt", "mine");
	std::string refused;
	for (const std::string& given : {documents, std::string("given/"), std::string()}) {
		cmd_line_path = given;
		if (!given.empty()) refused += "WARNING: -path does not name an installed copy, ignored: " + given + "\n";
		frame(net_start, 1, s);
		ASSERT_EQ(step_names.size(), 6u) << given;
		EXPECT_EQ(step_names[1], "Pick Destination");
		EXPECT_EQ(step_funcs[1], net_pick_dest);
		EXPECT_EQ(dest_dir_path, "") << given;
		EXPECT_EQ(s.next_screen, net_pick_dest);
	}
	EXPECT_EQ(log.text(), refused);
	frame(net_pick_dest, 1, s);
	EXPECT_EQ(s.text,
	          "You have more than one copy of Kestrix 9 installed on this computer.  Please select which copy "
	          "of Kestrix 9 you would like to update.");
	EXPECT_EQ(s.back_screen, net_start);
	EXPECT_EQ(s.next_screen, nullptr);
	dest_dir_path = env.path("c2/");
	frame(net_pick_dest, 0, s);
	EXPECT_EQ(s.next_screen, net_get_updates);

	// No copy at all.
	register_copies({});
	frame(net_start, 1, s);
	EXPECT_EQ(step_names.size(), 6u);
	EXPECT_EQ(s.text, "You do not appear to have Kestrix 9 installed.");
	EXPECT_EQ(s.next_screen, nullptr);
}

TEST_F(WebScreensTest, EnteringStartOrPickEndsARunningScan)
{
	for (screen_fn f : {net_start, net_pick_dest}) {
		const std::string copy = env.path("scan/");
		files_in(copy, 400);
		dest_dir_path = copy;
		int cursor = 0;
		float fraction = 0.0f;
		checksum_directory(cursor, fraction);
		ASSERT_NE(checksum_workers, nullptr);
		wizard_screen s;
		frame(f, 1, s);
		EXPECT_EQ(checksum_workers, nullptr) << wizard_screen_name(f);
	}
}

TEST_F(WebScreensTest, TheDownloadResetDeletesOnlyTheStreamsOwnArchivesAndEndsTheTransfers)
{
	dest_dir_path = env.path("copy/");
	sim_info = {{kx_engine_test::version_of("All/Resources/a.txt", kx_engine_test::md5_of("x"))}};
	// A file of the user's copy that happens to carry the archive's name.
	kx_test::write_file(dest_dir_path + "Resources/a.txt.zip", "the user's own file");
	kx_test::write_file(temp_path + "0.zip", "partial");
	kx_test::write_file(temp_path + "1.zip", "partial");
	kx_test::HttpReply held;
	held.body = "late";
	held.hold = true;
	server.route("srv1.example", "/held", held);
	ASSERT_EQ(http.net_check(net_first_slot + 1, "srv1.example", "/held", temp_path + "1.zip"), 0);
	ASSERT_NE(http.slots[net_first_slot + 1], nullptr);

	next = next_struct{};
	next.done = 1;
	next.stream_active[0] = next.stream_active[1] = 1;
	next.stream_file[0] = 0;
	next.cursor = 7;
	next.kb_downloaded = 5.0f;
	xtim.elapsed = 1234.0f;
	web_download_reset();

	EXPECT_TRUE(kx_test::path_exists(dest_dir_path + "Resources/a.txt.zip"));
	EXPECT_FALSE(kx_test::path_exists(temp_path + "0.zip"));
	EXPECT_FALSE(kx_test::path_exists(temp_path + "1.zip"));
	for (int slot = net_first_slot; slot < net_first_slot + net_stream_count; ++slot)
		EXPECT_EQ(http.slots[slot], nullptr) << slot;
	EXPECT_EQ(next.done, 1);
	EXPECT_EQ(next.cursor, 0);
	EXPECT_EQ(next.stream_active[0] + next.stream_active[1], 2);
	EXPECT_EQ(next.needs_file[0] + next.needs_file[1], 2);
	EXPECT_EQ(next.stream_active[2] + next.stream_active[3] + next.needs_file[2] + next.needs_file[3], 0);
	EXPECT_EQ(next.start_time, 1234.0f);
	EXPECT_EQ(next.kb_downloaded, 0.0f);
	server.release();
}

TEST_F(WebScreensTest, SearchScreenTextsByState)
{
	wizard_screen s;
	dest_dir_path = env.path("copy/");
	// The server list is still being fetched: the sentence names the maker's host.
	server.route(maker_web_host, web_server_list_path, reply("", 404));
	frame(net_get_updates, 1, s);
	EXPECT_EQ(s.title, "Search for Updates");
	EXPECT_NE(s.text.find(maker_web_host), std::string::npos) << s.text;
	EXPECT_EQ(s.back_screen, net_pick_dest);
	EXPECT_EQ(s.next_screen, nullptr);
	frame(demo_get_updates, 1, s);
	EXPECT_EQ(s.title, "Check Servers");
	EXPECT_NE(s.text.find(maker_web_host), std::string::npos) << s.text;
	EXPECT_EQ(s.back_screen, demo_eula);

	// The file list is on its way from a server that has not answered yet.
	stg.server_count = 1;
	server_name[0] = "srv1.example";
	server_path[0] = "/k9/F/";
	kx_test::HttpReply held;
	held.body = "late";
	held.hold = true;
	server.route("srv1.example", "/k9/F/directory.txt.zip", held);
	frame(net_get_updates, 0, s);
	EXPECT_EQ(s.text, "I am downloading patch info from srv1.example");
	EXPECT_EQ(
	    s.progress_text,
	    "I am checking the net for the latest version of Kestrix 9 right now, and I am connecting to the server...");
	EXPECT_FLOAT_EQ(s.progress, -0.01f);
	frame(demo_get_updates, 0, s);
	EXPECT_EQ(s.text, "I am downloading demo info from srv1.example");
	server.release();

	stg.dir_state = 2;
	frame(net_get_updates, 0, s);
	EXPECT_EQ(s.text, "There was a problem reading information from the servers.");
	EXPECT_EQ(s.next_screen, nullptr);
	EXPECT_EQ(s.back_screen, net_pick_dest);
}

TEST_F(WebScreensTest, ReceivedShareGuardsAnUnknownOrEmptyLength)
{
	EXPECT_EQ(web_received_percent(web_dir_slot), 0);
	EXPECT_EQ(web_received_fraction(web_dir_slot), 0.0f);
	kx_test::HttpReply held;
	held.hold = true;
	server.route("srv1.example", "/held", held);
	ASSERT_EQ(http.net_check(web_dir_slot, "srv1.example", "/held", temp_path + "held"), 0);
	down_class* d = http.slots[web_dir_slot];
	ASSERT_NE(d, nullptr);
	EXPECT_EQ(web_received_percent(web_dir_slot), -1);
	EXPECT_FLOAT_EQ(web_received_fraction(web_dir_slot), -0.01f);
	d->content_length = 0;
	EXPECT_EQ(web_received_percent(web_dir_slot), -1);
	EXPECT_FLOAT_EQ(web_received_fraction(web_dir_slot), -0.01f);
	d->content_length = 4000000000LL;
	d->bytes_written = 1000000000LL;
	EXPECT_EQ(web_received_percent(web_dir_slot), 25);
	EXPECT_FLOAT_EQ(web_received_fraction(web_dir_slot), 0.25f);
	server.release();
}

TEST_F(WebScreensTest, SearchRereadsTheListScansTheCopyAndAdvances)
{
	const std::string copy = env.path("copy/");
	files_in(copy, 3);
	kx_test::write_file(temp_path + "directory.txt", good_list());
	dest_dir_path = copy;
	stg.server_count = 1;
	stg.dir_state = 3;
	wizard_screen s;
	int r = frame(net_get_updates, 1, s);
	// The scan runs on the pool's threads: frames go on for up to ten seconds.
	const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
	while (r == 0 && std::chrono::steady_clock::now() < until) {
		EXPECT_EQ(s.on_cancel, checksum_directory_kill);
		std::this_thread::sleep_for(std::chrono::milliseconds(1));
		r = frame(net_get_updates, 0, s);
	}
	ASSERT_EQ(r, 1);
	EXPECT_EQ(s.next_screen, net_check_disk);
	EXPECT_EQ(s.back_screen, nullptr);
	// The list was read again from the downloaded file: its one file, not the three before.
	EXPECT_EQ(sim_info.size(), 1u);
	EXPECT_GT(stg.kb_to_install, 0.0f);

	// The demo does not scan: a read list moves on at once.
	stg.dir_state = 3;
	EXPECT_EQ(frame(demo_get_updates, 0, s), 1);
	EXPECT_EQ(s.next_screen, demo_pick_dest);
	EXPECT_EQ(s.back_screen, nullptr);
}

TEST_F(WebScreensTest, AnUpdateKeepsTheCopysSceneryTiles)
{
	// The copy holds one tile and one file, both as the list wants them.
	const std::string copy = env.path("copy/");
	const std::string tile = "Global Scenery/-global terrain-/+40-080/+40-080.dsf";
	kx_test::write_file(copy + tile, "tile");
	kx_test::write_file(copy + "a.txt", "x");
	kx_test::write_file(temp_path + "directory.txt",
	                    kx_engine_test::file_list("DIR All/\nDISK 0\n" +
	                                              kx_engine_test::file_line(0, kx_engine_test::md5_of("x"), "a.txt") +
	                                              kx_engine_test::file_line(0, kx_engine_test::md5_of("tile"), tile)));
	dest_dir_path = copy;
	stg.server_count = 1;
	stg.dir_state = 3;
	wizard_screen s;
	int r = frame(net_get_updates, 1, s);
	const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
	while (r == 0 && std::chrono::steady_clock::now() < until) {
		std::this_thread::sleep_for(std::chrono::milliseconds(1));
		r = frame(net_get_updates, 0, s);
	}
	ASSERT_EQ(r, 1);
	ASSERT_EQ(sim_info.size(), 2u);
	ASSERT_EQ(choose_files(), 1);
	for (const file_history_struct& h : sim_info) {
		EXPECT_EQ(h.back().remove, 0) << h.back().path;
		EXPECT_EQ(h.back().install, 0) << h.back().path;
	}
	EXPECT_EQ(stg.kb_to_install, 0.0f);
}

TEST_F(WebScreensTest, TheScanCountFillsItsNumbersAndNeverReadsATranslationAsAFormat)
{
	const std::string copy = env.path("copy/");
	::mkdir(copy.c_str(), 0755);
	// More files than the scan hands out at once, so its first frame shows the count.
	const int n = checksum_tasks_per_processor * checksum_files_per_task * std::max(1, UTL_count_processors()) + 1;
	std::string lines;
	for (int i = 0; i < n; ++i)
		lines += kx_engine_test::file_line(0, kx_engine_test::md5_of("x"), "f" + std::to_string(i) + ".txt");
	kx_test::write_file(temp_path + "directory.txt", kx_engine_test::file_list("DIR All/\nDISK 0\n" + lines));
	dest_dir_path = copy;
	stg.server_count = 1;
	stg.dir_state = 3;
	wizard_screen s;
	{
		// printf would read a text and write through stray arguments here.
		has_translation = 1;
		dictionary["Scanning %d of %d files."] = "%s%s%n";
		EXPECT_EQ(frame(net_get_updates, 1, s), 0);
		EXPECT_EQ(s.progress_text, "%s%s%n");
		UTL_translate_clear();
	}
	int r = 0;
	const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
	while (r == 0 && std::chrono::steady_clock::now() < until) {
		r = frame(net_get_updates, 0, s);
		if (r != 0) break;
		const long handed = std::lround(s.progress * float(n));
		EXPECT_EQ(s.progress_text, "Scanning " + std::to_string(handed) + " of " + std::to_string(n) + " files.");
		std::this_thread::sleep_for(std::chrono::milliseconds(1));
	}
	EXPECT_EQ(r, 1);
}

TEST_F(WebScreensTest, DiskScreenSizesAndNothingToInstall)
{
	wizard_screen s;
	install_name = "Kestrix 9.20r1";
	stg.kb_to_install = 5.0f;
	stg.kb_to_download = 1024000.0f;
	EXPECT_EQ(frame(net_check_disk, 1, s), 0);
	EXPECT_EQ(s.title, "Check Disk Space");
	EXPECT_EQ(s.text, "You are about to download 1000 MB of compressed data to update to Kestrix 9.20r1.");
	EXPECT_EQ(s.show_servers, 1);
	EXPECT_EQ(s.back_screen, net_get_updates);
	EXPECT_EQ(s.next_screen, net_run_patch);
	EXPECT_EQ(web_size_text(1024001.0f), "1.0 GB");
	EXPECT_EQ(web_size_text(5000000.0f), "4.8 GB");
	EXPECT_EQ(web_size_text(1025.0f), "1 MB");
	EXPECT_EQ(web_size_text(1024.0f), "1024 KB");

	// Not room enough on the copy's volume.
	dest_dir_path = env.path("copy/");
	::mkdir(dest_dir_path.c_str(), 0755);
	stg.kb_to_install = 1e15f;
	frame(net_check_disk, 0, s);
	EXPECT_EQ(s.next_screen, nullptr);
	EXPECT_EQ(s.text,
	          "There is a newer version of Kestrix 9 available, but you do not have enough free disk space to "
	          "download and install the update.\n\nPlease free some space on your hard drive.");

	stg.kb_to_install = 0.0f;
	dest_dir_path = "/copies/K\xC3\xA9 9/";  // shown in the font's letters
	EXPECT_EQ(frame(net_check_disk, 0, s), 1);
	EXPECT_EQ(s.next_screen, net_done);
	frame(net_done, 1, s);
	EXPECT_EQ(s.title, "Finshed Web Update");
	EXPECT_EQ(s.text, "This copy of Kestrix (/copies/K\xE9 9/) is already up to date.");
	EXPECT_EQ(s.choice_labels, std::vector<std::string>{"Fly Kestrix Now"});
	EXPECT_EQ(s.choice_targets, std::vector<screen_fn>{dvd_do_run_sim});
	EXPECT_EQ(s.next_screen, wizard_quit);
	EXPECT_EQ(s.back_screen, nullptr);

	stg.kb_to_install = 5.0f;
	frame(net_done, 1, s);
	EXPECT_EQ(s.text, "I have finished updating /copies/K\xE9 9/.");
	// An archive that did not unpack, or a file the run could not remove.
	for (int* failed : {&stg.extract_failed, &net_failed_deletes}) {
		*failed = 1;
		frame(net_done, 1, s);
		EXPECT_EQ(s.text,
		          "There were problems updating Kestrix.  You can try this updater again using a different server.");
		EXPECT_TRUE(s.choice_labels.empty());
		*failed = 0;
	}
}

TEST_F(WebScreensTest, TimeLeftAndItsGuards)
{
	xtim.elapsed = 1010.0f;
	next = next_struct{};
	next.start_time = 1000.0f;
	next.kb_downloaded = 100.0f;  // 10 KB a second
	next.stream_active[0] = next.stream_active[1] = next.stream_active[2] = 1;
	const struct {
		float to_download;
		const char* time;
	} cases[] = {{1290.0f, "119 seconds"}, {72090.0f, "119 minutes"}, {72100.0f, "2 hours"}};
	for (const auto& c : cases) {
		stg.kb_to_download = c.to_download;
		EXPECT_EQ(web_estimate_text(0.5f), std::string("About ") + c.time +
		                                       " left in the install, downloading at 10 kilobytes/second with 3 "
		                                       "simultaneous download streams.");
	}
	EXPECT_EQ(web_time_left_text(119.0f), "119 seconds");
	EXPECT_EQ(web_time_left_text(7199.0f), "119 minutes");
	EXPECT_EQ(web_time_left_text(7200.0f), "2 hours");
	// Not before 1 % is smoothed in, and never at no rate.
	EXPECT_EQ(web_estimate_text(0.01f), "");
	next.kb_downloaded = 0.0f;
	EXPECT_EQ(web_estimate_text(0.5f), "");

	// Nothing to install counts as all installed.
	const float f = web_smooth_fraction(0.0f, 0.02f, 0.0f, 0.0f);
	EXPECT_FLOAT_EQ(f, 0.1f);
	EXPECT_FLOAT_EQ(web_smooth_fraction(0.5f, 0.02f, 50.0f, 100.0f), 0.5f);
	EXPECT_FLOAT_EQ(web_smooth_fraction(0.95f, 0.5f, 300.0f, 100.0f), 1.0f);
}

TEST_F(WebScreensTest, DemoWelcomeAndTheLicenceGate)
{
	wizard_screen s;
	accept_eula_demo = 1;
	frame(demo_start, 1, s);
	EXPECT_EQ(accept_eula_demo, 0);
	EXPECT_EQ(step_names, (std::vector<std::string>{"Welcome", "License", "Check Servers", "Pick Destination",
	                                                "Install", "Finish"}));
	EXPECT_EQ(step_funcs[5], demo_done);
	EXPECT_EQ(s.text, "I will guide you through the process of installing the web demo of Kestrix 9.");
	EXPECT_EQ(s.next_screen, demo_eula);
	register_copies({env.path("c1/")});
	frame(demo_start, 1, s);
	EXPECT_NE(s.text.find("\n\nWarning: you already have Kestrix 9 installed on this computer."), std::string::npos);

	frame(demo_eula, 1, s);
	EXPECT_EQ(s.title, "End User License Agreement (EULA)");
	EXPECT_FALSE(s.text.empty());
	EXPECT_EQ(s.text, UTIL_licence_text());
	EXPECT_EQ(s.back_screen, demo_start);
	EXPECT_EQ(s.next_screen, nullptr);
	accept_eula_demo = 1;
	frame(demo_eula, 0, s);
	EXPECT_EQ(s.next_screen, demo_get_updates);
}

TEST_F(WebScreensTest, DemoDestinationNameDesktopAndExistingFolder)
{
	wizard_screen s;
	install_name = kProduct;
	file_version_struct v = kx_engine_test::version_of("All/a.txt", kx_engine_test::md5_of("x"));
	v.size_kb = v.zip_kb = 2.0f;
	sim_info = {{v}};
	frame(demo_pick_dest, 1, s);
	std::string desktop;
	get_OS_abs_path(os_dir_desktop, desktop);
	const std::string name = std::string(kProduct) + " Demo";
	EXPECT_EQ(demo_dest.install_folder, name);
	EXPECT_EQ(demo_dest.parent_dir, desktop);
	EXPECT_EQ(dest_dir_path, desktop + name + "/");
	EXPECT_EQ(s.title, "Pick Install Destination.");
	EXPECT_EQ(s.text, "I will create the folder '" + name + "' in the directory '" + desktop + "'.\n\n(The folder " +
	                      name + " will appear on your desktop.)");
	EXPECT_EQ(s.back_screen, demo_eula);
	EXPECT_EQ(s.next_screen, demo_run_patch);
	EXPECT_GT(stg.kb_to_install, 0.0f);

	// A folder that appears once the screen was left is not installed into: the run
	// goes back here, which says it exists.
	kx_test::write_file(desktop + name + "/a.txt", "the user's");
	EXPECT_EQ(frame(demo_run_patch, 1, s), 1);
	EXPECT_EQ(s.next_screen, demo_pick_dest);
	EXPECT_EQ(demo_install_is_running, 0);
	EXPECT_FALSE(kx_test::path_exists(desktop + name + "/Output"));
	EXPECT_EQ(kx_test::read_file(desktop + name + "/a.txt"), "the user's");
	frame(demo_pick_dest, 0, s);
	EXPECT_EQ(s.next_screen, nullptr);
	EXPECT_EQ(s.text, "The folder '" + name + "' already exists in the dir '" + desktop +
	                      "'.\n\nPlease change the install name or destination.");
	// A name that is a path is refused, whatever it leads to.
	demo_dest.install_folder = name + "/..";
	frame(demo_pick_dest, 0, s);
	EXPECT_EQ(s.next_screen, nullptr);
	EXPECT_EQ(s.text, "The install name must be a single folder name, without '/', and not '.' or '..'.");
	EXPECT_EQ(dest_dir_path, desktop);
	demo_dest.install_folder = name;

	demo_dest.parent_dir = env.path("elsewhere/");
	frame(demo_pick_dest, 0, s);
	EXPECT_EQ(s.text, "I will create the folder '" + name + "' in the directory '" + env.path("elsewhere/") + "'.");
	EXPECT_EQ(s.next_screen, demo_run_patch);
	// More than the volume holds: said by the size block, and Continue stays.
	stg.kb_to_install = 1e15f;
	frame(demo_pick_dest, 0, s);
	EXPECT_EQ(s.next_screen, demo_run_patch);
	demo_dest.install_folder.clear();
	frame(demo_pick_dest, 0, s);
	EXPECT_EQ(s.text, "Please pick a name for your Kestrix 9 installation...");
	EXPECT_EQ(s.next_screen, nullptr);
	EXPECT_EQ(dest_dir_path, env.path("elsewhere/"));
}

TEST_F(WebScreensTest, DemoCancelQuestionDeletesOnlyOnCancel)
{
	wizard_screen s;
	install_name = kProduct;
	demo_dest.parent_dir = env.path("apps/");
	demo_dest.install_folder = "Partial";
	const std::string partial = env.path("apps/Partial/");
	::mkdir(env.path("apps").c_str(), 0755);
	dest_dir_path = partial;
	ASSERT_EQ(ENG_make_new_copy_folder(), 0);
	kx_test::write_file(partial + "Resources/x.txt", "half");
	ENG_note_installed_file(partial + "Resources/x.txt");
	kx_test::write_file(partial + "Resources/mine.txt", "the user's");
	// "Continue" (the first button) and no answer at all go back to the run.
	for (int answer : {1, 3}) {
		g_abort_answer = answer;
		demo_install_is_running = 1;
		EXPECT_EQ(frame(demo_pick_dest, 1, s), 1);
		EXPECT_EQ(s.next_screen, demo_run_patch);
		EXPECT_EQ(demo_install_is_running, 1);
		EXPECT_TRUE(kx_test::path_exists(partial + "Resources/x.txt"));
	}
	EXPECT_EQ(g_abort_message,
	          "Are you sure you want to cancel the installation?  This will delete the partially "
	          "installed copy of the Kestrix 9 demo.");
	EXPECT_EQ(g_abort_label1, "Continue");
	EXPECT_EQ(g_abort_label2, "Cancel");
	// "Cancel" takes back what the run put there, not what the user did, and the screen
	// stays: the folder the user's file keeps is taken now.
	g_abort_answer = 0;
	EXPECT_EQ(frame(demo_pick_dest, 1, s), 0);
	EXPECT_FALSE(kx_test::path_exists(partial + "Resources/x.txt"));
	EXPECT_EQ(kx_test::read_file(partial + "Resources/mine.txt"), "the user's");
	EXPECT_EQ(demo_install_is_running, 0);
	EXPECT_EQ(s.next_screen, nullptr);
	EXPECT_EQ(g_abort_calls, 3);
	// Not running: no question.
	frame(demo_pick_dest, 1, s);
	EXPECT_EQ(g_abort_calls, 3);
}

TEST_F(WebScreensTest, DemoDoneTexts)
{
	wizard_screen s;
	dest_dir_path = "/apps/K D\xC3\xA9mo \xE3\x81\x82/";  // shown in the font's letters
	frame(demo_done, 1, s);
	EXPECT_EQ(s.title, "Finshed Web Demo Install");
	EXPECT_EQ(s.text, "I have finished installing the Kestrix 9 web demo at: /apps/K D\xE9mo ?/.");
	EXPECT_EQ(s.choice_labels, std::vector<std::string>{"Fly Kestrix 9 Now"});
	EXPECT_EQ(s.choice_targets, std::vector<screen_fn>{dvd_do_run_sim});
	EXPECT_EQ(s.next_screen, wizard_quit);
	stg.extract_failed = 1;
	frame(demo_done, 1, s);
	EXPECT_TRUE(s.choice_labels.empty());
	EXPECT_EQ(s.text, "There were problem installing the Kestrix 9 web demo - it may not be usable.");
}

TEST_F(WebScreensTest, EveryWebScreenHasATraceName)
{
	for (screen_fn f : {net_start, net_pick_dest, net_get_updates, net_check_disk, net_run_patch, net_done, demo_start,
	                    demo_eula, demo_get_updates, demo_pick_dest, demo_run_patch, demo_done})
		EXPECT_NE(wizard_screen_name(f), nullptr);
	EXPECT_STREQ(wizard_screen_name(demo_pick_dest), "demo_pick_dest");
}

}  // namespace

namespace {

using namespace kx_web_test;

class WebRunTest : public WebScreensTest {
protected:
	// One file to install, "All/Resources/a.txt", served zipped by Info-ZIP from srv1.
	void serve_one_file(bool held)
	{
		const std::string work = env.path("zipwork/");
		kx_test::write_file(work + "a.txt", content);
		ASSERT_EQ(kx_test::run_sh("cd " + kx_test::sh_quote(work) + " && zip -q -X a.txt.zip a.txt"), 0);
		kx_test::HttpReply r;
		r.file = work + "a.txt.zip";
		r.hold = held;
		server.route("srv1.example", "/k9/F/All/Resources/a.txt.zip", r);
		stg.server_count = 1;
		stg.server_index = 0;
		server_name[0] = "srv1.example";
		server_path[0] = "/k9/F/";
		file_version_struct v = kx_engine_test::version_of("All/Resources/a.txt", kx_engine_test::md5_of(content));
		v.zip_kb = v.size_kb = 1.0f;
		sim_info = {{v}};
		int cursor = 0;
		float fraction = 0.0f;
		while (!checksum_directory(cursor, fraction)) {
		}
		set_install_filter(1, 1);
		recalc_disk_sizes();
	}
	// Frames of a run screen until it moves on; its result.
	int run_frames(screen_fn f, int first, wizard_screen& s)
	{
		int r = frame(f, first, s);
		const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
		while (r == 0 && std::chrono::steady_clock::now() < until) {
			xtim.elapsed += 0.02f;
			r = frame(f, 0, s);
		}
		return r;
	}
	const std::string content = "release two\n";
};

TEST_F(WebRunTest, TheInstallScreenDownloadsThroughTheProxyAndMovesOn)
{
	dest_dir_path = env.path("copy/");
	::mkdir(dest_dir_path.c_str(), 0755);
	serve_one_file(false);
	wizard_screen s;
	ASSERT_EQ(run_frames(net_run_patch, 1, s), 1);
	EXPECT_EQ(s.next_screen, net_done);
	EXPECT_EQ(s.back_screen, nullptr);
	EXPECT_EQ(kx_test::read_file(dest_dir_path + "Resources/a.txt"), content);
	EXPECT_EQ(server.count("srv1.example", "/k9/F/All/Resources/a.txt.zip"), 1u);
	frame(net_done, 1, s);
	EXPECT_EQ(s.text, "I have finished updating " + dest_dir_path + ".");
}

// A copy renamed after its scan: the update makes nothing at the old path and fetches
// nothing; it goes back to the disk-space screen, as a start that failed does, and an
// alert names the folder.
TEST_F(WebRunTest, ACopyThatMovedSinceItsScanIsNotUpdated)
{
	dest_dir_path = env.path("copy/");
	::mkdir(dest_dir_path.c_str(), 0755);
	serve_one_file(false);
	ASSERT_EQ(::rename(env.path("copy").c_str(), env.path("moved").c_str()), 0);
	kx_test::AlertRecorder alerts;
	wizard_screen s;
	EXPECT_EQ(frame(net_run_patch, 1, s), 1);
	EXPECT_EQ(s.next_screen, net_check_disk);
	EXPECT_FALSE(kx_test::path_exists(dest_dir_path));
	EXPECT_FALSE(kx_test::path_exists(env.path("moved/Resources")));
	EXPECT_EQ(server.count("srv1.example", "/k9/F/All/Resources/a.txt.zip"), 0u);
	ASSERT_EQ(alerts.alerts().size(), 1u);
	EXPECT_EQ(alerts.alerts()[0].line2, dest_dir_path);
}

TEST_F(WebRunTest, AFailedDownloadShowsTheFailureWhileTheStreamWaits)
{
	dest_dir_path = env.path("copy/");
	::mkdir(dest_dir_path.c_str(), 0755);
	serve_one_file(false);
	server.route("srv1.example", "/k9/F/All/Resources/a.txt.zip", reply("", 404));
	stg.server_count = 2;
	server_name[1] = "srv2.example";
	server_path[1] = "/k9/F/";
	wizard_screen s;
	const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
	frame(net_run_patch, 1, s);
	while (stg.download_failed == 0 && std::chrono::steady_clock::now() < until) frame(net_run_patch, 0, s);
	ASSERT_EQ(stg.download_failed, 1);
	EXPECT_EQ(s.text, "I can not download the file '/k9/F/All/Resources/a.txt.zip'.\n\nYour internet connection may "
	                  "not be working, or the server could be undergoing maintainance or an upgrade right now.\n\nI "
	                  "am trying another server now to see if I can still get you a download...");
	EXPECT_EQ(s.back_screen, net_check_disk);
	EXPECT_EQ(s.next_screen, nullptr);
	EXPECT_EQ(s.show_servers, 1);
}

// Going on with too little space is allowed: a disk that fills during the run ends it
// with the full-disk error and the done screen's problem text, instead of the run
// fetching the archive again and again from server after server.
TEST_F(WebRunTest, ADiskFullDuringTheDemoRunEndsItWithTheFullDiskError)
{
	demo_dest.parent_dir = env.path("apps/");
	// A folder named in UTF-8: the alert shows it in the font's letters.
	demo_dest.install_folder = "K D\xC3\xA9mo";
	dest_dir_path = env.path("apps/K D\xC3\xA9mo/");
	::mkdir(env.path("apps").c_str(), 0755);
	serve_one_file(true);
	stg.server_count = 2;
	server_name[1] = "srv2.example";
	server_path[1] = "/k9/F/";
	wizard_screen s;
	EXPECT_EQ(frame(demo_run_patch, 1, s), 0);
	// The run has asked for the archive; now every byte written where it lands is lost.
	for (const char* archive : {"0.zip", "1.zip"}) ASSERT_EQ(::symlink("/dev/full", (temp_path + archive).c_str()), 0);
	server.release();
	ASSERT_EQ(run_frames(demo_run_patch, 0, s), 1);
	EXPECT_EQ(s.next_screen, demo_done);
	EXPECT_EQ(demo_install_is_running, 0);
	EXPECT_FALSE(kx_test::path_exists(dest_dir_path + "Resources/a.txt"));
	EXPECT_EQ(server.count("srv1.example") + server.count("srv2.example"), 1u) << "asked once, not again elsewhere";
	const auto a = alerts.alerts();
	ASSERT_EQ(a.size(), 1u);
	EXPECT_EQ(a[0].type, t_alert);
	EXPECT_EQ(a[0].line1, "The installer cannot extract a file.");
	EXPECT_EQ(a[0].line2, "Error: " + error_str(ENOSPC));
	EXPECT_EQ(a[0].line4, "Destination: " + env.path("apps/K D\xE9mo/") + "Resources/a.txt");
	frame(demo_done, 1, s);
	EXPECT_EQ(s.text, "There were problem installing the Kestrix 9 web demo - it may not be usable.");
	EXPECT_TRUE(s.choice_labels.empty());
}

TEST_F(WebRunTest, GoingBackDuringTheDemoRunAsksAndContinuesWithoutARestart)
{
	demo_dest.parent_dir = env.path("apps/");
	demo_dest.install_folder = "K Demo";
	dest_dir_path = env.path("apps/K Demo/");
	::mkdir(env.path("apps").c_str(), 0755);
	serve_one_file(true);
	wizard_screen s;
	EXPECT_EQ(frame(demo_run_patch, 1, s), 0);
	EXPECT_EQ(demo_install_is_running, 1);
	EXPECT_EQ(s.title, "Installing");
	EXPECT_EQ(s.back_screen, demo_pick_dest);
	EXPECT_EQ(s.next_screen, nullptr);
	ASSERT_TRUE(kx_test::path_exists(dest_dir_path));

	// Go Back: "Continue" returns to the run, which goes on where it was.
	g_abort_answer = 1;
	EXPECT_EQ(frame(demo_pick_dest, 1, s), 1);
	EXPECT_EQ(s.next_screen, demo_run_patch);
	EXPECT_EQ(frame(demo_run_patch, 1, s), 0);
	server.release();
	ASSERT_EQ(run_frames(demo_run_patch, 0, s), 1);
	EXPECT_EQ(s.next_screen, demo_done);
	EXPECT_EQ(demo_install_is_running, 0);
	EXPECT_EQ(kx_test::read_file(dest_dir_path + "Resources/a.txt"), content);
	EXPECT_EQ(server.count("srv1.example", "/k9/F/All/Resources/a.txt.zip"), 1u);
	EXPECT_EQ(g_abort_calls, 1);
}

}  // namespace
