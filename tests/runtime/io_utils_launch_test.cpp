#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "runtime/hl_alert.h"
#include "runtime/io_utils.h"
#include "support/child_watch.h"
#include "support/test_env.h"

using kx_test::read_file;
using kx_test::TempEnv;
using kx_test::write_file;

namespace {
struct Launched {
	int status;
};
int g_finishups = 0;
int g_finishup_save = -1;

void record_finishup(int save)
{
	++g_finishups;
	g_finishup_save = save;
}
[[noreturn]] void throwing_exit(int status) { throw Launched{status}; }

// Installs the seams for one test and restores them after.
struct LaunchSeams {
	finishup_fn old_finishup = DIDIVI_set_finishup(record_finishup);
	launch_exit_fn old_exit = launch_app_set_exit(throwing_exit);
	LaunchSeams() { g_finishups = 0; }
	~LaunchSeams()
	{
		DIDIVI_set_finishup(old_finishup);
		launch_app_set_exit(old_exit);
	}
};

// Runs the launch, expecting the installer to finish up and exit, then waits for the
// started program to end.
int launch_and_reap(const std::string& app, const std::string& arg)
{
	int status = -1;
	kx_test::ChildWatch started;
	try {
		launch_app(app, arg);
	} catch (const Launched& l) {
		status = l.status;
	}
	EXPECT_TRUE(started.wait_new());
	return status;
}
}  // namespace

TEST(LaunchApp, StartsTheProgramThenFinishesUp)
{
	TempEnv env;
	LaunchSeams seams;
	const std::string script = env.path("run.sh");
	write_file(script, "#!/bin/sh\nprintf '%s|' \"$@\" > \"$(dirname \"$0\")/marker\"\n");
	chmod(script.c_str(), 0755);

	EXPECT_EQ(launch_and_reap(script, "/some/install dir/"), 1);
	EXPECT_EQ(read_file(env.path("marker")), "-path|/some/install dir/|");
	EXPECT_EQ(g_finishups, 1);
	EXPECT_EQ(g_finishup_save, 1);

	EXPECT_EQ(launch_and_reap(script, ""), 1);
	EXPECT_EQ(read_file(env.path("marker")), "|");
}

TEST(LaunchApp, AProgramThatCannotRunLeavesTheInstallerRunning)
{
	TempEnv env;
	LaunchSeams seams;
	write_file(env.path("plain.sh"), "#!/bin/sh\ntouch marker\n");
	chmod(env.path("plain.sh").c_str(), 0644);
	EXPECT_EQ(launch_app(env.path("plain.sh"), ""), EACCES);
	EXPECT_EQ(launch_app(env.path("missing"), "x"), ENOENT);
	write_file(env.path("garbage"), std::string("\x7f" "ELF garbage", 12));
	chmod(env.path("garbage").c_str(), 0755);
	EXPECT_EQ(launch_app(env.path("garbage"), ""), ENOEXEC);
	EXPECT_EQ(g_finishups, 0);
	EXPECT_FALSE(file_exists(env.path("marker")));
}
