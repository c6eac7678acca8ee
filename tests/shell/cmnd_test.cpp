#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "runtime/cmdline.h"
#include "shell/cmnd.h"
#include "support/test_env.h"

TEST(Cmnd, BuiltInTableHoldsTheOneDoNothingCommand)
{
	cmnd_class c;
	ASSERT_EQ(c.count(), 1);
	EXPECT_EQ(c.names[0], "cmnd_nothing");
	EXPECT_EQ(c.paths[0], "sim/-none-/-none-");
	EXPECT_EQ(c.descriptions[0], "Do nothing at all!");
	EXPECT_EQ(c.kinds[0], 3);
	EXPECT_EQ(c.press_counts[0], 0);
	EXPECT_EQ(default_commands_count, 1);
	EXPECT_EQ(default_commands[0].default_vkey, 0);
	EXPECT_EQ(default_commands[0].default_flags, 0);
	EXPECT_EQ(c.get_cmnd_by_name("sim/-none-/-none-"), 0);
	EXPECT_EQ(c.get_cmnd_by_name("sim/-none-/-NONE-"), 0);
	EXPECT_EQ(c.get_cmnd_by_name("nothing/here"), 0);
}

TEST(Cmnd, AddedCommandsGetTheNextIdAndLookupFindsTheFirst)
{
	cmnd_class c;
	EXPECT_EQ(c.add_cmd("a/b", "first"), 1);
	EXPECT_EQ(c.get_cmnd_by_name("a/b"), 1);
	EXPECT_EQ(c.add_cmd("a/b", "again"), 2);
	EXPECT_EQ(c.get_cmnd_by_name("a/b"), 1);
	EXPECT_EQ(c.count(), 3);
	for (auto* v : {&c.names, &c.paths, &c.descriptions}) EXPECT_EQ(v->size(), 3u);
	EXPECT_EQ(c.kinds.size(), 3u);
	EXPECT_EQ(c.press_counts.size(), 3u);
	EXPECT_EQ(c.names[2], "DYNAMIC");
	EXPECT_EQ(c.kinds[2], 2);
	EXPECT_EQ(c.descriptions[2], "again");
}

TEST(Cmnd, EntriesBelowAPrefixAreDistinctAndSorted)
{
	cmnd_class c;
	std::vector<std::string> out{"stale"};
	c.get_cmds_in_path("sim/", out);
	EXPECT_EQ(out, (std::vector<std::string>{"-none-/"}));
	c.get_cmds_in_path("sim/-none-/", out);
	EXPECT_EQ(out, (std::vector<std::string>{"-none-"}));
	// A whole command path is not longer than itself: nothing below it.
	c.get_cmds_in_path("sim/-none-/-none-", out);
	EXPECT_TRUE(out.empty());

	c.add_cmd("sim/view/forward", "");
	c.add_cmd("sim/view/back", "");
	c.add_cmd("sim/Autopilot/on", "");
	c.add_cmd("sim/flaps", "");
	c.add_cmd("misc/x", "");
	c.get_cmds_in_path("", out);
	EXPECT_EQ(out, (std::vector<std::string>{"misc/", "sim/"}));
	c.get_cmds_in_path("sim/", out);
	EXPECT_EQ(out, (std::vector<std::string>{"-none-/", "Autopilot/", "flaps", "view/"}));
	c.get_cmds_in_path("sim/view/", out);
	EXPECT_EQ(out, (std::vector<std::string>{"back", "forward"}));
	// The prefix is used as it stands, not as a folder.
	c.get_cmds_in_path("sim/vi", out);
	EXPECT_EQ(out, (std::vector<std::string>{"ew/"}));
}

TEST(Cmnd, PressesAndReleasesCount)
{
	cmnd_class c;
	const int id = c.add_cmd("a/b", "");
	c.press_one(id);
	c.press_one(id);
	c.release_one(id);
	EXPECT_EQ(c.press_counts[id], 1);
	c.single_press(id);
	c.press_always(id);
	EXPECT_EQ(c.press_counts[id], 1);
	EXPECT_EQ(c.press_counts[0], 0);
}

TEST(Cmnd, PlaneFocusIsStored)
{
	EXPECT_EQ(get_plane_focus(), 0);
	set_plane_focus(3);
	EXPECT_EQ(get_plane_focus(), 3);
	set_plane_focus(0);
}

TEST(CmndDeathTest, CommandLineListsTheGlobalRegistry)
{
	kx_test::TempEnv env;
	const std::string out = env.path("cmnds.txt");
	auto run = [&](const char* arg) {
		if (!std::freopen(out.c_str(), "w", stdout)) std::abort();
		cmnd_install_cmdline_source();
		cmnd.add_cmd("sim/view/forward", "Look ahead");
		const char* argv[] = {"kestrix-installer", arg};
		UTL_cmdline c;
		c.init_unix(2, argv);
		std::_Exit(3);
	};
	EXPECT_EXIT(run("--cmnds=all"), ::testing::ExitedWithCode(0), "");
	EXPECT_EQ(kx_test::read_file(out), "cmnd_nothing                                       Do nothing at all!\n"
	                                   "DYNAMIC                                            Look ahead\n");
	EXPECT_EXIT(run("--cmnds=sim/"), ::testing::ExitedWithCode(0), "");
	EXPECT_EQ(kx_test::read_file(out), "-none-/\nview/\n");
}

TEST(Cmnd, IdsOutsideTheRegistryCountNothing)
{
	cmnd_class c;
	c.press_one(0);
	for (int id : {-1, 1, 1 << 30, -(1 << 30)}) {
		c.press_one(id);
		c.release_one(id);
		c.single_press(id);
	}
	EXPECT_EQ(c.press_counts, std::vector<int>{1});
}
