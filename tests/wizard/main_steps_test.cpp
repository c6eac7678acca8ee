#include "wizard/main_steps.h"

#include <cerrno>

#include "engine/utils_net.h"
#include "runtime/hl_alert.h"
#include "shell/hl_alerts.h"
#include "support/archive_tools.h"
#include "support/child_watch.h"
#include "wizard_fixture.h"

using kx_test::LogCapture;
using kx_test::read_file;
using kx_test::write_file;
using namespace kx_wizard_test;

namespace {
struct Launched {
	int status;
};
int g_finishups = 0;
void count_finishup(int) { ++g_finishups; }
[[noreturn]] void throwing_exit(int status) { throw Launched{status}; }

// The relaunch with the process's end replaced by an exception: the status it would
// have exited with, or the error main_relaunch returned (negated).
int relaunch(const std::string& temp, const std::string& app, const std::string& folder)
{
	const finishup_fn old_finishup = DIDIVI_set_finishup(count_finishup);
	const launch_exit_fn old_exit = launch_app_set_exit(throwing_exit);
	g_finishups = 0;
	::mkdir(temp.c_str(), 0700);
	int result;
	kx_test::ChildWatch started;
	try {
		result = -main_relaunch(temp, app, folder);
	} catch (const Launched& l) {
		result = l.status;
	}
	EXPECT_TRUE(started.wait_new());
	DIDIVI_set_finishup(old_finishup);
	launch_app_set_exit(old_exit);
	return result;
}

// A program that records where it ran and with which arguments.
std::string recorder_script(const std::string& marker)
{
	return "#!/bin/sh\necho \"$0|$#\" > \"" + marker + "\"\n";
}
}  // namespace

TEST(MainSteps, StartedFromTheDvd)
{
	EXPECT_TRUE(main_started_from_dvd("/media/DVD/Installer.app/", "/media/DVD/"));
	EXPECT_TRUE(main_started_from_dvd("/media/DVD/kestrix-installer", "/media/DVD/"));
	EXPECT_FALSE(main_started_from_dvd("/home/a/Installer.app", "/media/DVD/"));
	EXPECT_FALSE(main_started_from_dvd("/media/DVD2/Installer.app", "/media/DVD/"));
	EXPECT_FALSE(main_started_from_dvd("/media/DVD/Installer.app", ""));
	// An unknown own path never counts as lying on the DVD.
	EXPECT_FALSE(main_started_from_dvd("", "/media/DVD/"));
}

TEST(MainSteps, LastComponent)
{
	EXPECT_EQ(main_last_component("/Volumes/DVD/Installer.app/"), "Installer.app/");
	EXPECT_EQ(main_last_component("/media/DVD/kestrix-installer"), "kestrix-installer");
	EXPECT_EQ(main_last_component("installer"), "installer");
	EXPECT_EQ(main_last_component(""), "");
	EXPECT_EQ(main_last_component("a/"), "");
}

TEST(MainSteps, PathArgument)
{
	const char* with_slash[] = {"prog", "-path", "/Applications/Folder/"};
	const char* without[] = {"prog", "-path", "/Applications/Folder"};
	const char* alone[] = {"prog", "-path"};
	const char* other[] = {"prog", "-pathx", "/a"};
	const char* later[] = {"prog", "--fps_test", "-path", "/a"};
	cmd_line_path.clear();
	main_take_path_arg(3, with_slash);
	EXPECT_EQ(cmd_line_path, "/Applications/Folder/");
	cmd_line_path.clear();
	main_take_path_arg(3, without);
	EXPECT_EQ(cmd_line_path, "/Applications/Folder/");
	cmd_line_path.clear();
	main_take_path_arg(2, alone);
	main_take_path_arg(3, other);
	main_take_path_arg(4, later);
	EXPECT_EQ(cmd_line_path, "");
}

TEST_F(WizardTest, RelaunchCopiesTheBundleAndItsTranslationsAndStartsTheCopy)
{
	const std::string app = media + "DVD/Kestrix Installer.app";
	const std::string inner = app + "/Contents/MacOS/Kestrix Installer";
	write_file(inner, recorder_script(env.path("ran")));
	::chmod(inner.c_str(), 0755);
	write_file(media + "DVD/Resources/text/french/Installer2.txt", "fr");
	const std::string temp = env.path("tmp/kx/");
	// An earlier run's copy, with a file this one does not have.
	write_file(temp + "Kestrix Installer.app/Contents/MacOS/old", "old");

	EXPECT_EQ(relaunch(temp, app + "/", media + "DVD/"), 1);
	EXPECT_EQ(g_finishups, 1);
	// The copy ran, from the temporary folder, with no argument.
	EXPECT_EQ(read_file(env.path("ran")), temp + "Kestrix Installer.app/Contents/MacOS/Kestrix Installer|0\n");
	EXPECT_EQ(read_file(temp + "Resources/text/french/Installer2.txt"), "fr");
	EXPECT_FALSE(file_exists(temp + "Kestrix Installer.app/Contents/MacOS/old"));
	struct stat st;
	ASSERT_EQ(stat((temp + "Kestrix Installer.app/Contents/MacOS/Kestrix Installer").c_str(), &st), 0);
	EXPECT_EQ(st.st_mode & 0777, 0755u);
}

TEST_F(WizardTest, AFailedCopyStartsNothing)
{
	LogCapture log(env.path("log.txt"));
	const std::string app = media + "DVD/Kestrix Installer.app";
	const std::string inner = app + "/Contents/MacOS/Kestrix Installer";
	write_file(inner, recorder_script(env.path("ran")));
	::chmod(inner.c_str(), 0755);
	// An entry that cannot be copied, listed after the program: the copy is partial.
	::symlink("/nonexistent/target", (app + "/zz dangling").c_str());
	const std::string temp = env.path("tmp/kx/");
	EXPECT_LT(relaunch(temp, app, media + "DVD/"), 0);
	EXPECT_FALSE(kx_test::path_exists(env.path("ran")));
	EXPECT_NE(log.text().find("WARNING: could not copy the installer from the DVD to " + temp + "Kestrix Installer.app"),
	          std::string::npos)
	    << log.text();
}

TEST_F(WizardTest, AProgramThatCannotStartLeavesTheInstallerRunning)
{
	LogCapture log(env.path("log.txt"));
	// Not executable, as on a temporary folder mounted noexec.
	const std::string app = media + "DVD/kestrix-installer";
	write_file(app, recorder_script(env.path("ran")));
	::chmod(app.c_str(), 0644);
	const std::string temp = env.path("tmp/");
	EXPECT_EQ(relaunch(temp, app, media + "DVD/"), -EACCES);
	EXPECT_EQ(g_finishups, 0);
	EXPECT_FALSE(kx_test::path_exists(env.path("ran")));
	EXPECT_NE(log.text().find("WARNING: could not start the installer's copy " + temp + "kestrix-installer"),
	          std::string::npos);
}

TEST_F(WizardTest, FolderLinesAndStartValues)
{
	LogCapture log(env.path("log.txt"));
	main_log_folders();
	std::string app_folder, desktop, temp, prefs;
	get_OS_abs_path(os_dir_this_app, app_folder);
	get_OS_abs_path(os_dir_desktop, desktop);
	get_OS_abs_path(os_dir_temp, temp);
	get_OS_abs_path(os_dir_prefs, prefs);
	EXPECT_EQ(log.text(), "os_dir_this_app\t\t=" + app_folder + "\nos_dir_desktop\t\t=" + desktop +
	                          "\nos_dir_default_apps\t=" + desktop + "\nos_dir_temp\t\t\t=" + temp +
	                          "\nos_dir_prefs\t\t\t=" + prefs + "\n\n");

	stg.server_count = 5;
	stg.file_state = 0;
	stg.log_actions = 1;
	temp_path.clear();
	install_name.clear();
	main_init_globals();
	EXPECT_EQ(temp_path, temp);
	EXPECT_EQ(install_name, "Not Yet Scanned");
	EXPECT_EQ(stls.ui_str[stls_alert_button], "OK");
	EXPECT_EQ(stg.target_os, 3);
	EXPECT_EQ(stg.server_count, -1);
	EXPECT_EQ(stg.file_state, 3);
	EXPECT_EQ(stg.log_actions, 1);  // left for the preferences
}

namespace {
int g_reads = 0;
void count_read() { ++g_reads; }
}  // namespace

TEST_F(WizardTest, StartFromAHardDiskWithADvdMounted)
{
	make_dvd("DVD1", identity(), two_file_list(0));
	LogCapture log(env.path("log.txt"));
	const registration_reader_fn old = main_set_registration_reader(count_read);
	g_reads = 0;
	const char* argv[] = {"prog", "-path", "/srv/copy"};
	main_start(3, argv);
	main_set_registration_reader(old);
	// The engine's web pages open in the browser through the shell from now on.
	EXPECT_EQ(ENG_set_go_to_URL_hook(nullptr), &go_to_URL);
	// The test program is not on the DVD: no copy, no relaunch, every later step ran.
	EXPECT_EQ(dvd_path, media + "DVD1/");
	EXPECT_EQ(log.text().find("WARNING"), std::string::npos);
	EXPECT_EQ(log.text().rfind("os_dir_this_app\t\t=", 0), 0u);
	EXPECT_EQ(install_name, "Not Yet Scanned");
	EXPECT_EQ(cmd_line_path, "/srv/copy/");
	EXPECT_EQ(g_reads, 1);
}

TEST_F(WizardTest, WithoutATemporaryFolderNothingIsCopiedOrDeleted)
{
	LogCapture log(env.path("log.txt"));
	// Started from the DVD's own folder: a bare name would be the bundle there.
	const std::string dvd = media + "DVD/";
	const std::string inner = dvd + "Kestrix Installer.app/Contents/MacOS/Kestrix Installer";
	write_file(inner, recorder_script(env.path("ran")));
	::chmod(inner.c_str(), 0755);
	write_file(dvd + "Resources/text/french/Installer2.txt", "fr");
	{
		kx_test::ScopedWorkingFolder here(dvd);
		EXPECT_EQ(relaunch("", dvd + "Kestrix Installer.app", dvd), -ENOENT);
	}
	EXPECT_EQ(read_file(inner), recorder_script(env.path("ran")));
	EXPECT_EQ(read_file(dvd + "Resources/text/french/Installer2.txt"), "fr");
	EXPECT_FALSE(kx_test::path_exists(env.path("ran")));
	EXPECT_NE(log.text().find("WARNING: no private temporary folder to copy the installer into; going on from the DVD."),
	          std::string::npos)
	    << log.text();
}

TEST_F(WizardTest, TheRelaunchNeverTakesThePlaceOfTheProgram)
{
	const std::string dvd = media + "DVD/";
	::symlink(media.c_str(), env.path("tmp/media").c_str());
	struct own_case {
		const char* why;
		std::string program;  // a file, the program or inside the bundle
		std::string app;      // what is copied
		std::string temp;
	};
	const own_case cases[] = {
	    {"the copy is the program", dvd + "kestrix-installer", dvd + "kestrix-installer", dvd},
	    {"the same, through a link", dvd + "kestrix-installer", dvd + "kestrix-installer", env.path("tmp/media/DVD/")},
	    {"the copy holds the program", dvd + "k/k", dvd + "k/k", dvd},
	    {"the copy lies in the bundle", dvd + "X.app/Contents/X.app", dvd + "X.app", dvd + "X.app/Contents/"},
	};
	for (const own_case& c : cases) {
		kx_test::remove_tree(dvd);
		write_file(c.program, recorder_script(env.path("ran")));
		::chmod(c.program.c_str(), 0755);
		EXPECT_EQ(relaunch(c.temp, c.app, dvd), -EINVAL) << c.why;
		EXPECT_EQ(read_file(c.program), recorder_script(env.path("ran"))) << c.why;
		EXPECT_FALSE(kx_test::path_exists(env.path("ran"))) << c.why;
	}
}
