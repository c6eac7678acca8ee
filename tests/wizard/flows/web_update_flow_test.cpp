// The web updater run as the user runs it, through the real frame loop: started with
// "-path" on a copy, it finds the release on the update servers, scans the copy, offers
// the servers beside the disk-space check and installs from the one clicked.
#include <algorithm>

#include "flow_fixture.h"
#include "wizard/main_copies.h"

namespace {

using namespace kx_flow_test;

// The label beside server radio i of two, as drawn in interface units.
constexpr int kLabelX = 50, kLabelW = 130, kLabelBelow = 6, kLabelH = 20;
const float kRadioY[2] = {118, 78};
// The copy picker's radio of the second copy.
constexpr point kSecondCopy = {250, 375};
// A click is pressed in one frame and released in the next; a third draws what it changed.
constexpr int kClickFrames = 3;
// A slow archive comes in this many pieces, this far apart.
constexpr size_t kSlowPieces = 4;
constexpr int kSlowPauseMs = 150;

class UpdateFlow : public FlowTest {
protected:
	// From the start screen to the disk-space check.
	void search(const std::string& copy)
	{
		ASSERT_TRUE(continue_from(net_start));
		EXPECT_EQ(step_names, (std::vector<std::string>{"Welcome", "Search for Updates", "Check Disk Space",
		                                                "Install Updates", "Finish"}));
		ASSERT_EQ(g_wizard, net_get_updates);
		// No click: the screen moves on by itself once the copy is scanned.
		ASSERT_TRUE(frames_until([] { return g_wizard == net_check_disk; }));
		// Continue stays off until the frame that moves on.
		const std::vector<trace_line> searching = lines_of("net_get_updates");
		ASSERT_FALSE(searching.empty());
		for (size_t i = 0; i + 1 < searching.size(); ++i) EXPECT_EQ(searching[i].field("next"), "null") << searching[i].raw;
		EXPECT_EQ(searching.back().field("next"), "net_check_disk");
		EXPECT_EQ(dest_dir_path, copy);
		ASSERT_TRUE(frames_until([this] { return showed("net_check_disk"); }));
	}
	// Clicks radio i and lets a frame see it.
	void pick_server(int i)
	{
		click({wizard_server_x, kRadioY[i]});
		for (int n = 0; n < kClickFrames; ++n) DIDIVI_event_proc();
	}
	std::vector<unsigned char> label(int i)
	{
		return grab(kLabelX, int(kRadioY[i]) - kLabelBelow, kLabelW, kLabelH);
	}
	// Runs the install until the done screen shows.
	void install()
	{
		ASSERT_TRUE(continue_from(net_check_disk));
		ASSERT_TRUE(frames_until([this] { return showed("net_done"); }));
	}
};

TEST_F(UpdateFlow, ACopyOfReleaseOneIsBroughtToReleaseTwoFromTheServerClicked)
{
	if (!world->ok()) GTEST_SKIP() << "no headless OpenGL: " << world->why();
	const kx_test::MasterTreeOptions o{.seed = 41, .bulk_files = 16, .max_file_bytes = 30000, .tile_count = 2,
	                                   .tile_bytes = 30000, .tile_names = {}};
	tree = kx_test::make_master_tree(master, o);
	kx_test::write_file(master + "All/Resources/lonely/only.txt", "soon gone\n");
	build_and_serve(90001, "");
	const std::string gen1 = read_served_list(env.path("gen1/"));
	const std::string copy = env.path("Kestrix copy/");
	copy_of_release(copy);
	ASSERT_TRUE(kx_test::path_exists(copy + "Resources/lonely/only.txt"));
	const kx_test::Generation g = kx_test::next_generation(tree, 9, 4, 2, 1);
	::unlink((master + "All/Resources/lonely/only.txt").c_str());
	::rmdir((master + "All/Resources/lonely").c_str());
	build_and_serve(91001, gen1);
	serve_both_servers();
	std::srand(5);

	start_updater(copy);
	search(copy);
	ASSERT_EQ(stg.server_count, 2);

	// Two radios, the first at the top, each labelled with its description's middle.
	pick_server(0);
	EXPECT_EQ(stg.server_index, 0);
	for (int i : {0, 1}) {
		const std::string desc = server_desc[i];
		const std::vector<unsigned char> drawn = label(i);
		server_desc[i] = std::string("Elsewhere|") + kServers[i] + "{another help";
		EXPECT_EQ(label(i), drawn) << "only the middle part is drawn, radio " << i;
		server_desc[i] = std::string("Mirror|") + kServers[i] + "-and-more{x";
		EXPECT_NE(label(i), drawn) << "the middle part is drawn, radio " << i;
		server_desc[i] = desc;
	}
	pick_server(1);
	EXPECT_EQ(stg.server_index, 1);
	const trace_line check = last_of("net_check_disk");
	EXPECT_EQ(check.field("text").rfind("You are about to download ", 0), 0u) << check.raw;
	EXPECT_NE(check.field("text").find(" of compressed data to update to " + std::string(kProduct) + "."),
	          std::string::npos)
	    << check.raw;

	const size_t first_server_before = server.count(kServers[0]);
	install();
	EXPECT_EQ(last_of("net_done").field("text"), "I have finished updating " + copy + ".");
	EXPECT_EQ(server.count(kServers[0]), first_server_before) << "nothing was fetched from the first server";
	EXPECT_GT(server.count(kServers[1], kServerPrefix), 0u);
	EXPECT_EQ(stg.extract_failed, 0);

	// Every file is release 2's; what release 2 removed is gone, with its emptied folder.
	expect_copy_matches_list(copy);
	EXPECT_FALSE(kx_test::path_exists(copy + "Resources/lonely/only.txt"));
	EXPECT_FALSE(kx_test::path_exists(copy + "Resources/lonely/"));
	for (std::string p : g.removed) {
		trim_dest_folder(p);
		EXPECT_FALSE(kx_test::path_exists(copy + p)) << p;
	}
}

TEST_F(UpdateFlow, AnArchiveTheFirstServerLacksIsReportedAndFetchedFromTheSecond)
{
	if (!world->ok()) GTEST_SKIP() << "no headless OpenGL: " << world->why();
	const kx_test::MasterTreeOptions o{.seed = 43, .bulk_files = 12, .max_file_bytes = 20000, .tile_count = 1,
	                                   .tile_bytes = 20000, .tile_names = {}};
	tree = kx_test::make_master_tree(master, o);
	build_and_serve(90001, "");
	const std::string gen1 = read_served_list(env.path("gen1/"));
	const std::string first = env.path("master1/");
	ASSERT_EQ(kx_test::run_sh("cp -a " + kx_test::sh_quote(master) + " " + kx_test::sh_quote(first)), 0);
	const kx_test::Generation g = kx_test::next_generation(tree, 11, 3, 0, 0);
	build_and_serve(91001, gen1);
	read_served_list(env.path("gen2/"));

	// A copy of release 2 but for one changed file, still at release 1: the only download.
	const std::string copy = env.path("copy/");
	copy_of_release(copy);
	const auto older = std::find_if(g.changed.begin(), g.changed.end(),
	                                [](const std::string& p) { return p.rfind("All/", 0) == 0; });
	ASSERT_NE(older, g.changed.end());
	std::string rel = *older;
	trim_dest_folder(rel);
	kx_test::write_file(copy + rel, kx_test::read_file(first + *older));
	const std::string lost = archive_path(*older);
	server.route(kServers[0], lost, reply("", 404));
	// The second server sends it slowly, so the failure stays up until it has come.
	kx_test::HttpReply slow;
	slow.file = env.path("served") + lost.substr(std::string(kServerPrefix).size() - 1);
	slow.chunk = std::max<size_t>(1, kx_test::read_file(slow.file).size() / kSlowPieces);
	slow.pause_ms = kSlowPauseMs;
	server.route(kServers[1], lost, slow);
	serve_both_servers();
	std::srand(7);

	start_updater(copy);
	search(copy);
	pick_server(0);
	ASSERT_EQ(stg.server_index, 0);
	install();

	const std::string failure = "I can not download the file '" + lost +
	                            "'.\n\nYour internet connection may not be working, or the server could be "
	                            "undergoing maintainance or an upgrade right now.\n\nI am trying another server now "
	                            "to see if I can still get you a download...";
	const std::vector<trace_line> run = lines_of("net_run_patch");
	EXPECT_TRUE(std::any_of(run.begin(), run.end(), [&](const trace_line& l) { return l.field("text") == failure; }))
	    << "the failure was not shown";
	EXPECT_EQ(last_of("net_done").field("text"), "I have finished updating " + copy + ".");
	EXPECT_GE(server.count(kServers[0], lost), 1u);
	EXPECT_GE(server.count(kServers[1], lost), 1u);
	expect_copy_matches_list(copy);
}

TEST_F(UpdateFlow, WithTwoCopiesRegisteredTheUserPicksOneFromTheList)
{
	if (!world->ok()) GTEST_SKIP() << "no headless OpenGL: " << world->why();
	const std::string one = env.path("copy one/"), two = env.path("copy two/");
	kx_wizard_test::make_copy_folders(one);
	kx_wizard_test::make_copy_folders(two);
	std::string prefs;
	get_OS_abs_path(os_dir_prefs, prefs);
	kx_test::write_file(prefs + kRegistrationFile, one + "\n" + two + "\n");

	g_wizard = net_start;
	ASSERT_TRUE(continue_from(net_start));
	ASSERT_EQ(g_wizard, net_pick_dest);
	EXPECT_EQ(step_names, (std::vector<std::string>{"Welcome", "Pick Destination", "Search for Updates",
	                                                "Check Disk Space", "Install Updates", "Finish"}));
	ASSERT_TRUE(frames_until([this] { return showed("net_pick_dest"); }));
	const trace_line pick = last_of("net_pick_dest");
	EXPECT_EQ(pick.field("text"), "You have more than one copy of Kestrix 9 installed on this computer.  Please select "
	                              "which copy of Kestrix 9 you would like to update.");
	EXPECT_EQ(pick.field("next"), "null") << "no copy is chosen yet";

	click(kSecondCopy);
	for (int n = 0; n < kClickFrames; ++n) DIDIVI_event_proc();
	EXPECT_EQ(dest_dir_path, two);
	ASSERT_TRUE(continue_from(net_pick_dest));
	EXPECT_EQ(g_wizard, net_get_updates);
	EXPECT_EQ(dest_dir_path, two);
}

}  // namespace
