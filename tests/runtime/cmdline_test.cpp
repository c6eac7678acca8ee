#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "runtime/cmdline.h"
#include "runtime/hl_globals.h"
#include "support/test_env.h"

namespace {

// Parses argv into a fresh map with the log going to a file; returns what was logged.
std::string parse_logged(kx_test::TempEnv& env, UTL_cmdline& c, std::vector<const char*> args)
{
	const std::string log = env.path("log.txt");
	xer.open(log);
	args.insert(args.begin(), "kestrix-installer");
	c.init_unix(static_cast<int>(args.size()), args.data());
	xer.close();
	return kx_test::read_file(log);
}

}  // namespace

TEST(Cmdline, NoArgumentsLeaveTheMapEmptyAndLogNothing)
{
	kx_test::TempEnv env;
	UTL_cmdline c;
	EXPECT_EQ(parse_logged(env, c, {}), "");
	EXPECT_TRUE(c.options().empty());
	EXPECT_EQ(c.has_option("--help"), 0);
}

TEST(Cmdline, KeysKeepTheirDashesAndSplitAtTheFirstEquals)
{
	kx_test::TempEnv env;
	UTL_cmdline c;
	const std::string log =
		parse_logged(env, c, {"--fps_test", "--pref:_lang=1", "key=value=more", "=rest", "-path", "/x y/"});
	EXPECT_EQ(c.has_option("--fps_test"), 1);
	EXPECT_EQ(c.get_option("--fps_test"), "");
	EXPECT_EQ(c.get_option("--pref:_lang"), "1");
	EXPECT_EQ(c.get_option("key"), "value=more");
	EXPECT_EQ(c.has_option(""), 1);
	EXPECT_EQ(c.get_option(""), "rest");
	// "-path" and its folder are two separate arguments, stored as two keys.
	EXPECT_EQ(c.has_option("-path"), 1);
	EXPECT_EQ(c.has_option("/x y/"), 1);
	// Exact keys only.
	EXPECT_EQ(c.has_option("--fps"), 0);
	EXPECT_EQ(c.has_option("key=value"), 0);
	// Absent and present-without-value both give an empty value; only has_option differs.
	EXPECT_EQ(c.get_option("--absent"), "");
	EXPECT_EQ(c.has_option("--absent"), 0);
	EXPECT_EQ(log,
	          "     '--fps_test'\n"
	          "     '--pref:_lang'='1'\n"
	          "     'key'='value=more'\n"
	          "     ''='rest'\n"
	          "     '-path'\n"
	          "     '/x y/'\n");
}

TEST(Cmdline, DuplicateOptionWarnsOnceAndTheLastValueWins)
{
	kx_test::TempEnv env;
	UTL_cmdline c;
	const std::string log = parse_logged(env, c, {"--pref:_lang=2", "--no_vbos", "--pref:_lang=1"});
	EXPECT_EQ(c.get_option("--pref:_lang"), "1");
	EXPECT_EQ(c.options().size(), 2u);
	EXPECT_EQ(log,
	          "     '--pref:_lang'='2'\n"
	          "     '--no_vbos'\n"
	          "WARNING: command line option --pref:_lang=1included twice.\n"
	          "     '--pref:_lang'='1'\n");
}

TEST(Cmdline, WindowsLineSplitsAtWhiteSpace)
{
	kx_test::TempEnv env;
	UTL_cmdline c;
	xer.open(env.path("log.txt"));
	c.init_win("  --no_vbos\t--pref:_lang=1  a=b=c\n--fps_test=3 ");
	xer.close();
	EXPECT_EQ(c.options().size(), 4u);
	EXPECT_EQ(c.get_option("--pref:_lang"), "1");
	EXPECT_EQ(c.get_option("a"), "b=c");
	EXPECT_EQ(c.get_option("--fps_test"), "3");
	EXPECT_EQ(c.has_option("--no_vbos"), 1);
}

namespace {

// The child of a death test sends standard output to a file, parses and (should) exit.
void parse_to_file(const std::string& out, std::vector<const char*> args)
{
	if (!std::freopen(out.c_str(), "w", stdout)) std::abort();
	UTL_cmdline c;
	args.insert(args.begin(), "kestrix-installer");
	c.init_unix(static_cast<int>(args.size()), args.data());
	std::fflush(stdout);
	std::_Exit(3);  // init_common returned: not what a printing option should do
}

std::vector<std::pair<std::string, std::string>> g_fake_commands;
void fake_all(std::vector<std::pair<std::string, std::string>>& out) { out = g_fake_commands; }
void fake_in_path(const std::string& prefix, std::vector<std::string>& out)
{
	out.clear();
	out.push_back("below " + prefix);
}

}  // namespace

TEST(CmdlineDeathTest, HelpPrintsTheUsageAndExitsZero)
{
	kx_test::TempEnv env;
	for (const char* opt : {"--help", "-h"}) {
		const std::string out = env.path(std::string("usage") + opt + ".txt");
		EXPECT_EXIT(parse_to_file(out, {"--no_vbos", opt}), ::testing::ExitedWithCode(0), "");
		const std::string text = kx_test::read_file(out);
		EXPECT_EQ(text, std::string(UTL_cmdline_usage()) + "\n");
		EXPECT_EQ(text.rfind("Usage: Kestrix [options...]\n", 0), 0u);
		for (const char* s : {"OPTIONS TO DISABLE HARDWARE ACCELERATION", "OPTIONS TO ENABLE INCOMPATIBLE HARDWARE ACCELERATION",
		                      "FRAMERATE TEST", "--no_threaded_ogl", "--force_run", "--require_fps=n"})
			EXPECT_NE(text.find(s), std::string::npos) << s;
	}
}

TEST(CmdlineDeathTest, CmndsListsTheRegistryAndWinsOverHelp)
{
	kx_test::TempEnv env;
	g_fake_commands = {{"sim/-none-/-none-", "Do nothing at all!"}, {"a/b", "Second"}};
	UTL_cmdline_set_cmnd_source({fake_all, fake_in_path});

	const std::string all = env.path("all.txt");
	EXPECT_EXIT(parse_to_file(all, {"--help", "--cmnds=all"}), ::testing::ExitedWithCode(0), "");
	EXPECT_EQ(kx_test::read_file(all), std::string("sim/-none-/-none-") + std::string(33, ' ') +
	                                       " Do nothing at all!\n" + "a/b" + std::string(47, ' ') + " Second\n");

	const std::string some = env.path("some.txt");
	EXPECT_EXIT(parse_to_file(some, {"--cmnds=sim/"}), ::testing::ExitedWithCode(0), "");
	EXPECT_EQ(kx_test::read_file(some), "below sim/\n");
	UTL_cmdline_set_cmnd_source({nullptr, nullptr});
}

TEST(Cmdline, OtherOptionsReturnFromInitCommon)
{
	kx_test::TempEnv env;
	UTL_cmdline c;
	parse_logged(env, c, {"--helpme", "--cmnd", "-H"});
	EXPECT_EQ(c.options().size(), 3u);
}
