// The web demo run as the user runs it, through the real frame loop: the licence box
// ticked with a click, the servers found, a new folder proposed on the desktop and the
// demo installed; and Go Back during the run, answered both ways.
#include <algorithm>
#include <map>

#include "flow_fixture.h"
#include "graphics/builtin_tex.h"
#include "wizard/main_copies.h"

namespace {

using namespace kx_flow_test;

// A point of window 0 where only the background is drawn, and how near its colour must be.
constexpr int kBareX = 5, kBareY = 300, kColourTolerance = 2;

constexpr char kRegistered[] = "/nowhere/Kestrix 9/\n";

class DemoFlow : public FlowTest {
protected:
	DemoFlow()
	{
		get_OS_abs_path(os_dir_prefs, prefs);
		get_OS_abs_path(os_dir_desktop, desktop);
		// A registered copy that no longer exists: listed nowhere, and left as it is.
		kx_test::write_file(prefs + kRegistrationFile, kRegistered);
	}
	~DemoFlow() override { demo_install_is_running = 0; }

	// A release of a small tree, served by both servers.
	void serve_release()
	{
		const kx_test::MasterTreeOptions o{.seed = 47, .bulk_files = 14, .max_file_bytes = 20000, .tile_count = 1,
		                                   .tile_bytes = 20000, .tile_names = {}};
		tree = kx_test::make_master_tree(master, o);
		build_and_serve(90001, "");
		serve_both_servers();
		std::srand(3);
	}
	// The demo from its start to the install screen.
	void to_the_run()
	{
		demo_to_the_destination();
		ASSERT_TRUE(continue_from(demo_pick_dest));
		ASSERT_EQ(g_wizard, demo_run_patch);
	}
	// Holds the archive of one shared file on both servers; returns its URL path.
	std::string hold_one_archive()
	{
		const auto it = std::find_if(tree.shipped.begin(), tree.shipped.end(), [](const std::string& p) {
			return p.rfind("All/", 0) == 0 && p.find("Global Scenery") == std::string::npos;
		});
		EXPECT_NE(it, tree.shipped.end());
		const std::string path = archive_path(*it);
		kx_test::HttpReply r;
		r.file = env.path("served") + path.substr(std::string(kServerPrefix).size() - 1);
		r.hold = true;
		for (const char* s : kServers) server.route(s, path, r);
		return path;
	}
	size_t asked(const std::string& path) const { return server.count(kServers[0], path) + server.count(kServers[1], path); }
	// Go Back while the held archive is being fetched; the question is answered with `button`.
	void go_back_during_the_run(const std::string& held, point button)
	{
		ASSERT_TRUE(frames_until([&] { return asked(held) >= 1; }));
		ASSERT_TRUE(kx_test::path_exists(dest_dir_path)) << "the run has made its folder";
		answer_question_with(button);
		click(kGoBack);
		// The question's own frames run inside the frame that asked it.
		ASSERT_TRUE(frames_until([this] { return questions_answered == 1; }));
		const std::vector<trace_line> all = trace();
		const auto q = std::find_if(all.begin(), all.end(), [](const trace_line& l) { return l.field("modal") == "997"; });
		ASSERT_NE(q, all.end()) << "the question was asked";
		EXPECT_NE(q->raw.find("Are you sure you want to cancel the installation?  This will delete the partially "
		                      "installed copy of the Kestrix 9 demo."),
		          std::string::npos);
		EXPECT_NE(q->raw.find("\"labels\": [\"Continue\", \"Cancel\"]"), std::string::npos) << q->raw;
	}

	// Whether the next frame shows the wizard's background at the bare point.
	::testing::AssertionResult background_drawn()
	{
		const std::vector<unsigned char> px = grab(kBareX, kBareY, 1, 1);
		const unsigned char* want = &g_tex_background[(size_t(kBareY) * kScreenW + kBareX) * 3];
		for (int c = 0; c < 3; ++c)
			if (std::abs(int(px[size_t(c)]) - int(want[c])) > kColourTolerance)
				return ::testing::AssertionFailure() << "channel " << c << " is " << int(px[size_t(c)]) << ", not "
				                                     << int(want[c]);
		return ::testing::AssertionSuccess();
	}

	std::string prefs, desktop;
};

TEST_F(DemoFlow, ANewDemoCopyIsInstalledOnTheDesktop)
{
	if (!world->ok()) GTEST_SKIP() << "no headless OpenGL: " << world->why();
	serve_release();
	to_the_run();
	const std::string name = std::string(kProduct) + " Demo";
	EXPECT_EQ(last_of("demo_pick_dest").field("text"), "I will create the folder '" + name + "' in the directory '" +
	                                                       desktop + "'.\n\n(The folder " + name +
	                                                       " will appear on your desktop.)");
	ASSERT_TRUE(frames_until([this] { return showed("demo_done"); }));
	const std::string copy = desktop + name + "/";
	EXPECT_EQ(last_of("demo_done").field("text"), "I have finished installing the Kestrix 9 web demo at: " + copy + ".");
	EXPECT_EQ(demo_install_is_running, 0);
	expect_copy_matches_list(copy);
	EXPECT_EQ(kx_test::read_file(prefs + kRegistrationFile), kRegistered) << "the demo copy is not registered";
}

TEST_F(DemoFlow, GoingOnAfterGoBackResumesTheRunWithoutFetchingAgain)
{
	if (!world->ok()) GTEST_SKIP() << "no headless OpenGL: " << world->why();
	serve_release();
	const std::string held = hold_one_archive();
	to_the_run();
	const std::string copy = dest_dir_path;
	go_back_during_the_run(held, kQuestionFirst);
	ASSERT_TRUE(frames_until([] { return g_wizard == demo_run_patch; }));
	EXPECT_TRUE(kx_test::path_exists(copy));
	// Window 0, started again after the box, is drawn again.
	EXPECT_TRUE(background_drawn());
	server.release();
	ASSERT_TRUE(frames_until([this] { return showed("demo_done"); }));
	EXPECT_EQ(last_of("demo_done").field("text"), "I have finished installing the Kestrix 9 web demo at: " + copy + ".");
	expect_copy_matches_list(copy);
	// Every archive of the run was asked for once.
	std::map<std::string, int> asked_for;
	for (const kx_test::HttpRequest& r : server.requests())
		if (r.path.size() > 4 && r.path.compare(r.path.size() - 4, 4, ".zip") == 0 &&
		    r.path.find("directory.txt") == std::string::npos)
			++asked_for[r.path];
	EXPECT_GT(asked_for.size(), 10u);
	for (const auto& [path, n] : asked_for) EXPECT_EQ(n, 1) << path;
}

TEST_F(DemoFlow, CancellingAfterGoBackDeletesThePartialCopy)
{
	if (!world->ok()) GTEST_SKIP() << "no headless OpenGL: " << world->why();
	serve_release();
	const std::string held = hold_one_archive();
	to_the_run();
	const std::string copy = dest_dir_path;
	go_back_during_the_run(held, kQuestionSecond);
	ASSERT_TRUE(frames_until([this] { return g_wizard == demo_pick_dest && showed("demo_pick_dest"); }));
	EXPECT_FALSE(kx_test::path_exists(copy)) << "the partial copy is deleted";
	EXPECT_EQ(demo_install_is_running, 0);
	// The destination screen is back, drawn, offering the same folder afresh.
	EXPECT_TRUE(background_drawn());
	const trace_line dest = last_of("demo_pick_dest");
	EXPECT_EQ(dest.field("text").rfind("I will create the folder '", 0), 0u) << dest.raw;
	EXPECT_EQ(dest.field("next"), "demo_run_patch");
	server.release();
}

}  // namespace
