// Both web families walked screen by screen as the wizard engine walks them, pressing
// Continue where a screen waits for it: the demo installs release 1 from two update
// servers, then the updater brings that copy to release 2, one archive missing on the
// first server. The servers serve the builder's output through the proxy setting.
#include <sys/stat.h>

#include <algorithm>
#include <functional>

#include "support/builder_run.h"
#include "support/master_tree.h"
#include "web_fixture.h"
#include "wizard/main_copies.h"

namespace {

using namespace kx_web_test;

const char* const kServers[2] = {"srv1.example", "srv2.example"};
// Frame clock seconds between the walk's frames.
constexpr float kFrameSeconds = 0.02f;

class WebWalkTest : public WebTest {
protected:
	~WebWalkTest() override { checksum_directory_kill(); }

	// Builds a release from the master tree and serves it from both servers.
	void build_and_serve(int version, const std::string& old_list)
	{
		const std::string masters = env.path("masters/"), tree = env.path("tree/");
		ASSERT_EQ(kx_test::build_update_release(env.path("master/"), masters, tree, kProduct, version, old_list), "");
		for (const char* s : kServers) server.serve_folder(s, "/k9/", tree);
	}

	// Runs screens from `start` until `stop` is shown; `each` sees every frame.
	void walk(screen_fn start, screen_fn stop, const std::function<void(screen_fn, wizard_screen&)>& each)
	{
		wizard_screen shown;
		// The transfers' rates and waits are measured on the frame clock.
		if (!kx_wizard_test::walk_screens(start, stop, each, trail, kFrameSeconds, shown))
			FAIL() << "the walk did not reach " << wizard_screen_name(stop);
	}

	std::vector<std::string> trail;
};

TEST_F(WebWalkTest, DemoInstallsReleaseOneAndTheUpdaterBringsItToReleaseTwo)
{
	const kx_test::MasterTreeOptions o{.seed = 31, .bulk_files = 16, .max_file_bytes = 30000, .tile_count = 2,
	                                   .tile_bytes = 30000, .tile_names = {}};
	const std::string master = env.path("master/");
	::mkdir(master.c_str(), 0755);
	kx_test::MasterTree t = kx_test::make_master_tree(master, o);
	kx_test::write_file(master + "All/Resources/lonely/only.txt", "soon gone\n");
	build_and_serve(90001, "");
	std::string list = "FINAL " + std::string(kProduct) + "\n";
	for (const char* s : kServers) list += server_entry(s, "/k9/", std::string("Mirror|") + s + "{x");
	serve_list(server_list(list));
	std::srand(5);

	// The demo, into a folder of its own on the desktop.
	std::string prefs;
	get_OS_abs_path(os_dir_prefs, prefs);
	kx_test::write_file(prefs + kRegistrationFile, "");
	walk(demo_start, demo_done, [](screen_fn f, wizard_screen&) {
		if (f == demo_eula) accept_eula_demo = 1;
	});
	const std::string copy = dest_dir_path;
	std::string desktop;
	get_OS_abs_path(os_dir_desktop, desktop);
	EXPECT_EQ(copy, desktop + kProduct + " Demo/");
	EXPECT_EQ(stg.extract_failed, 0);
	expect_copy_matches_list(copy);
	EXPECT_TRUE(kx_test::path_exists(copy + "Resources/lonely/only.txt"));
	EXPECT_EQ(kx_test::read_file(prefs + kRegistrationFile), "") << "the demo copy is not registered";

	// Release 2 drops the lonely file; the first server has lost one archive.
	const std::string old_list = env.path("gen1.txt");
	kx_test::write_file(old_list, kx_test::read_file(temp_path + "directory.txt"));
	const kx_test::Generation g = kx_test::next_generation(t, 9, 4, 2, 1);
	::unlink((master + "All/Resources/lonely/only.txt").c_str());
	::rmdir((master + "All/Resources/lonely").c_str());
	build_and_serve(91001, old_list);
	// A changed file every platform installs.
	const auto shared = std::find_if(g.changed.begin(), g.changed.end(),
	                                 [](const std::string& p) { return p.rfind("All/", 0) == 0; });
	ASSERT_NE(shared, g.changed.end());
	const std::string lost = "/k9/" + std::string(kProduct) + "/" + *shared + ".zip";
	server.route(kServers[0], lost, reply("", 404));
	const size_t second_before = server.count(kServers[1], lost);

	stg.server_count = -1;
	stg.dir_state = 0;
	cmd_line_path = copy.substr(0, copy.size() - 1);
	walk(net_start, net_done, [&](screen_fn f, wizard_screen& s) {
		if (f == net_check_disk || f == net_run_patch) {
			EXPECT_EQ(s.show_servers, 1);
		}
		// The first server is picked in the list before Continue.
		if (f == net_check_disk) stg.server_index = 0;
	});
	wizard_screen s;
	net_done(0, s);
	EXPECT_EQ(dest_dir_path, copy);
	EXPECT_EQ(s.text, "I have finished updating " + copy + ".");
	EXPECT_EQ(stg.extract_failed, 0);
	expect_copy_matches_list(copy);
	EXPECT_FALSE(kx_test::path_exists(copy + "Resources/lonely/"));
	for (const std::string& p : g.removed) {
		std::string rel = p;
		trim_dest_folder(rel);
		EXPECT_FALSE(kx_test::path_exists(copy + rel)) << p;
	}
	// The lost archive failed on the first server and came from the second.
	EXPECT_GE(server.count(kServers[0], lost), 1u);
	EXPECT_GE(server.count(kServers[1], lost) - second_before, 1u);
	for (const char* name : {"net_start", "net_get_updates", "net_check_disk", "net_run_patch", "net_done"})
		EXPECT_NE(std::find(trail.begin(), trail.end(), std::string(name)), trail.end()) << name;
}

}  // namespace
