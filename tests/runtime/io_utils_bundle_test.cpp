// Bundles as get_OS_abs_path and launch_app see them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/plat_dirs.h"
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
void quiet_finishup(int) {}
[[noreturn]] void throwing_exit(int status) { throw Launched{status}; }

int launch_and_reap(const std::string& app)
{
	const finishup_fn old_finishup = DIDIVI_set_finishup(quiet_finishup);
	const launch_exit_fn old_exit = launch_app_set_exit(throwing_exit);
	int status = 0;
	kx_test::ChildWatch started;
	try {
		status = launch_app(app, "");
	} catch (const Launched& l) {
		status = -l.status;
	}
	EXPECT_TRUE(started.wait_new());
	DIDIVI_set_finishup(old_finishup);
	launch_app_set_exit(old_exit);
	return status;
}
}  // namespace

TEST(Bundle, OwnFoldersFollowTheBundleRule)
{
	std::string exe, folder, bundle;
	ASSERT_EQ(plat_exe_path(exe), 0);
	ASSERT_EQ(get_OS_abs_path(os_dir_app_bundle, bundle), 0);
	ASSERT_EQ(get_OS_abs_path(os_dir_this_app, folder), 0);
	// A test program is in no bundle: it is its own, in its own folder.
	EXPECT_EQ(bundle, plat_bundle_of(exe));
	EXPECT_EQ(bundle, exe);
	EXPECT_EQ(folder, exe.substr(0, exe.rfind('/') + 1));
}

TEST(Bundle, LaunchRunsTheProgramInsideABundle)
{
	TempEnv env;
	const std::string inner = env.path("Kestrix.app/Contents/MacOS/Kestrix");
	write_file(inner, "#!/bin/sh\necho inner > \"" + env.path("ran") + "\"\n");
	chmod(inner.c_str(), 0755);
	EXPECT_EQ(launch_and_reap(env.path("Kestrix.app/")), -1);
	EXPECT_EQ(read_file(env.path("ran")), "inner\n");

	// A folder without the inner program runs the one named after it.
	const std::string flat = env.path("Tool/Tool");
	write_file(flat, "#!/bin/sh\necho flat > \"" + env.path("ran") + "\"\n");
	chmod(flat.c_str(), 0755);
	EXPECT_EQ(launch_and_reap(env.path("Tool/")), -1);
	EXPECT_EQ(read_file(env.path("ran")), "flat\n");

	// Nothing to run: the error comes back and the installer goes on.
	write_file(env.path("Empty.app/readme"), "");
	EXPECT_EQ(launch_and_reap(env.path("Empty.app/")), ENOENT);
}
