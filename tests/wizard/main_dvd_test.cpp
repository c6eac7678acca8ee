#include "wizard/main_dvd.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/plat_volume.h"
#include "runtime/hl_dialogs.h"
#include "runtime/hl_errors.h"
#include "runtime/xmap.h"
#include "support/archive_tools.h"
#include "support/bounded_wait.h"
#include "support/no_file.h"
#include "support/test_env.h"
#include "wizard/main_screens.h"
#include "wizard/main_steps.h"
#include "wizard_fixture.h"

using kx_test::read_file;
using kx_test::write_file;
using namespace kx_wizard_test;

namespace {
std::string name_of(const std::string& body) { return UTIL_identity_name(body.data(), body.data() + body.size()); }

// A two-file model as read_directory would leave it: a.txt on DVD 0, b.txt on `b_disk`.
void two_file_model(int b_disk)
{
	sim_info.clear();
	for (const char* n : {"a.txt", "b.txt"}) {
		file_version_struct v = kx_engine_test::version_of(std::string("All/") + n, "x");
		v.disk = n[0] == 'a' ? 0 : b_disk;
		sim_info.push_back({v});
	}
}

int frames(screen_fn f, int count, wizard_screen& last)
{
	int r = 0;
	for (int i = 0; i < count; ++i) {
		last = wizard_screen{};
		r = f(i == 0, last);
	}
	return r;
}
}  // namespace

TEST(DvdIdentity, VersionLines)
{
	EXPECT_EQ(name_of("VERSION\t\tKestrix 9.10r1\n"), "Kestrix 9.10r1");
	EXPECT_EQ(name_of("VERSIONX Other\n"), "");
	EXPECT_EQ(name_of("  \t VERSION   Name with blanks  \r\nNEXT line\n"), "Name with blanks  ");
	EXPECT_EQ(name_of("VERSION First\nVERSION Second"), "Second");
	EXPECT_EQ(name_of("\n\n\r\nVERSION\nVERSION Kept\nVERSION"), "");  // the last one wins, even empty
	EXPECT_EQ(name_of("NAME VERSION X\n"), "");
	EXPECT_EQ(name_of(""), "");
}

TEST_F(WizardTest, ScanIdentifiesTheSetAndReadsItsListOnce)
{
	// Nothing mounted: asked again every frame, and a DVD folder moved in is found.
	UTIL_scan_dvd();
	EXPECT_EQ(dvd_path, "");
	EXPECT_EQ(install_name, no_install_name);
	const std::string dvd1 = make_dvd("KESTRIX_DVD1", identity(), two_file_list(1));
	const int mapped = mapped_files_open.load();
	UTIL_scan_dvd();
	// The identity file and the list are read, never mapped: a disc can fail under a
	// mapping, which ends the process with a signal.
	EXPECT_EQ(mapped_files_open.load(), mapped);
	EXPECT_EQ(dvd_path, dvd1);
	EXPECT_EQ(install_name, kProduct);
	EXPECT_EQ(stg.server_count, 0);
	EXPECT_EQ(stg.dir_state, 3);
	ASSERT_EQ(sim_info.size(), 2u);
	EXPECT_EQ(sim_info[1].back().disk, 1);
	EXPECT_TRUE(file_exists(temp_path + "directory.txt"));

	// Identified once per run: neither the identity nor the list is read again.
	write_file(dvd1 + "dvd_version.txt", identity("Other"));
	sim_info.clear();
	UTIL_scan_dvd();
	EXPECT_EQ(install_name, kProduct);
	EXPECT_TRUE(sim_info.empty());
}

TEST_F(WizardTest, IdentityFilesThatDoNotIdentify)
{
	struct identity_case {
		std::string text;
		int server_count;  // 0 once a good header was read, -1 before
	};
	const identity_case cases[] = {
	    {"I\n900 version\nINSTALLER\nVERSION Kestrix\n", -1},
	    {"I\n800 version\nDVD\nVERSION Kestrix\n", -1},
	    {"VERSION Kestrix\n", -1},
	    {"I\n900 version\nDVD\nVERSIONX Kestrix\n", 0},
	    // a name that would leave the folder it is put in
	    {"I\n900 version\nDVD\nVERSION ../../x\n", 0},
	    {"I\n900 version\nDVD\nVERSION ..\n", 0},
	};
	for (const identity_case& c : cases) {
		reset_wizard_globals();
		get_OS_abs_path(os_dir_temp, temp_path);
		kx_test::remove_tree(media + "D");
		make_dvd("D", c.text, two_file_list(0));
		UTIL_scan_dvd();
		EXPECT_EQ(dvd_path, media + "D/");
		EXPECT_EQ(install_name, no_install_name) << c.text;
		EXPECT_EQ(stg.dir_state, 0);
		EXPECT_EQ(stg.server_count, c.server_count) << c.text;
	}
}

// A fresh start on a new DVD "D" with the identity file and no list archive yet; gives
// where the list archive goes.
class ListArchive : public WizardTest {
protected:
	std::string fresh_dvd_list_archive()
	{
		reset_wizard_globals();
		get_OS_abs_path(os_dir_temp, temp_path);
		kx_test::remove_tree(media + "D");
		const std::string dvd = make_dvd("D", identity(), "");
		::mkdir((dvd + kProduct).c_str(), 0755);
		return dvd + kProduct + "/directory.txt.zip";
	}
};

TEST_F(WizardTest, AStaleListIsNeverRead)
{
	// An earlier run left a good list; this DVD's archive holds no entry at all.
	write_file(temp_path + "directory.txt", two_file_list(0));
	const std::string dvd = make_dvd("D", identity(), "");
	::mkdir((dvd + kProduct).c_str(), 0755);
	const std::string no_entries = std::string("PK\x05\x06") + std::string(18, '\0');
	write_file(dvd + kProduct + "/directory.txt.zip", no_entries);
	UTIL_scan_dvd();
	EXPECT_EQ(stg.dir_state, 2);
	EXPECT_TRUE(sim_info.empty());
	EXPECT_FALSE(file_exists(temp_path + "directory.txt"));

	// The main menu then says it is not ours.
	wizard_screen s;
	dvd_start(1, s);
	EXPECT_EQ(s.text, "This DVD does not appear to be an Kestrix 9 DVD.");
}

TEST_F(ListArchive, ThatCannotBeUnpackedIsAQuittingAlert)
{
	// No archive at all, and one that holds a second file for the temporary folder
	// beside the list: both are damaged, and nothing of them is unpacked.
	const std::string more = env.path("work/more/");
	write_file(more + "directory.txt", two_file_list(0));
	write_file(more + "relaunched", "not the installer");
	for (const bool extra_entry : {false, true}) {
		const std::string archive = fresh_dvd_list_archive();
		if (extra_entry)
			ASSERT_EQ(kx_test::run_sh("cd " + kx_test::sh_quote(more) + " && zip -q -X " + kx_test::sh_quote(archive) +
			                          " directory.txt relaunched"),
			          0);
		else
			write_file(archive, "PK\x03\x04 this is no zip archive");
		kx_test::AlertRecorder rec;
		EXPECT_THROW(UTIL_scan_dvd(), kx_test::AlertExit);
		ASSERT_EQ(rec.alerts().size(), 1u);
		const kx_test::RecordedAlert a = rec.alerts()[0];
		EXPECT_EQ(a.type, t_exit);
		EXPECT_EQ(a.line1, "DVD scan: The installer cannot extract a file.");
		EXPECT_EQ(a.line2.rfind("Error: We were unable to open a zip file", 0), 0u) << a.line2;
		EXPECT_EQ(a.line3, "Compressed File/" + archive);
		EXPECT_EQ(a.line4, "Destination Path/" + temp_path);
		EXPECT_FALSE(file_exists(temp_path + "directory.txt")) << extra_entry;
		EXPECT_FALSE(file_exists(temp_path + "relaunched")) << extra_entry;
	}
}

TEST_F(ListArchive, ThatIsNoFileIsRefusedAtOnce)
{
	// A FIFO would hold the open until someone wrote to it, with no window drawn; a
	// device would be read without end.
	for (const kx_test::no_file& c : kx_test::kNoFiles) {
		SCOPED_TRACE(c.what);
		const std::string archive = fresh_dvd_list_archive();
		ASSERT_TRUE(kx_test::plant_no_file(c, archive));
		kx_test::AlertRecorder rec;
		const kx_test::AlertsShownWhereRaised on_the_bounds_thread;
		kx_test::finishes_within("reading the list archive",
		                         [] { EXPECT_THROW(UTIL_scan_dvd(), kx_test::AlertExit); });
		ASSERT_EQ(rec.alerts().size(), 1u);
		const kx_test::RecordedAlert a = rec.alerts()[0];
		EXPECT_EQ(a.type, t_exit);
		EXPECT_EQ(a.line1, "DVD scan: The installer cannot extract a file.");
		EXPECT_EQ(a.line2, "Error: " + error_str(c.error));
		EXPECT_EQ(a.line3, "Compressed File/" + archive);
		EXPECT_FALSE(file_exists(temp_path + "directory.txt"));
	}
}

TEST_F(WizardTest, WithoutATemporaryFolderTheListIsNotUnpackedAndTheAlertNamesTheFolder)
{
	make_dvd("D", identity(), two_file_list(0));
	// Started from a folder of the user's that holds a file of the list's name.
	const std::string downloads = env.path("home/Downloads/");
	write_file(downloads + "directory.txt", "the user's own");
	kx_test::ScopedEnvVar tmpdir("TMPDIR", env.path("gone").c_str());
	temp_path.clear();
	kx_test::AlertRecorder rec;
	{
		kx_test::ScopedWorkingFolder here(downloads);
		EXPECT_THROW(UTIL_scan_dvd(), kx_test::AlertExit);
	}
	EXPECT_EQ(read_file(downloads + "directory.txt"), "the user's own");
	EXPECT_EQ(kx_test::tree_listing(downloads).size(), 1u);
	EXPECT_EQ(stg.dir_state, 0);
	ASSERT_EQ(rec.alerts().size(), 1u);
	const kx_test::RecordedAlert a = rec.alerts()[0];
	EXPECT_EQ(a.type, t_exit);
	EXPECT_EQ(a.line1, "The installer cannot make or use its temporary folder.");
	EXPECT_EQ(a.line2, "Error: No such file or directory");
	EXPECT_EQ(a.line3, "Temporary Folder: " + env.path("gone/kestrix-installer-") + std::to_string(getuid()) + "/");
	EXPECT_EQ(a.line4, "Set TMPDIR to a folder you can write to and start the installer again.");
}

TEST_F(WizardTest, VerifyFindsTheArchiveOnAnotherVolume)
{
	const std::string dvd1 = make_dvd("DVD1", identity(), two_file_list(1));
	const std::string dvd2 = make_dvd("DVD2", "", "");
	write_file(dvd2 + kProduct + "/All/b.txt.zip", "z");
	UTIL_scan_dvd();
	ASSERT_EQ(dvd_path, dvd1);
	want_file_disk = 1;
	EXPECT_EQ(UTIL_verify_disk(), 1);
	EXPECT_EQ(dvd_path, dvd2);
	EXPECT_EQ(current_disk, 1);

	wizard_screen s;
	EXPECT_EQ(dvd_verify_disk_install(1, s), 1);
	EXPECT_EQ(s.next_screen, dvd_run_install);
	EXPECT_EQ(s.title, "Installing Kestrix - Checking DVD...");
	EXPECT_EQ(s.back_screen, nullptr);
	expect_named_targets(s);
}

TEST_F(WizardTest, AChangeVisitEjectsTheDvdLastUsedOnce)
{
	const std::string dvd1 = make_dvd("DVD1", identity(), two_file_list(2));
	UTIL_scan_dvd();
	ASSERT_EQ(stg.dir_state, 3);
	want_file_disk = 1;

	wizard_screen s;
	EXPECT_EQ(dvd_verify_disk_install(1, s), 1);
	EXPECT_EQ(s.next_screen, dvd_switch_disk_install);
	EXPECT_EQ(dvd_path, dvd1);  // kept, so that the change screen can eject it

	EXPECT_EQ(frames(dvd_switch_disk_install, 10, s), 0);
	EXPECT_EQ(ejects(), media + "DVD1\n");
	EXPECT_EQ(dvd_path, "");
	EXPECT_EQ(s.title, "Installing Kestrix - Please Change DVDs");
	EXPECT_EQ(s.text, "Please insert DVD number 3 and click continue.");
	EXPECT_EQ(s.back_screen, dvd_scenery_install);
	EXPECT_EQ(s.next_screen, dvd_verify_disk_install);
	expect_named_targets(s);

	// A wrong DVD of the set: asked again for the same number, that DVD ejected once.
	make_dvd("DVD2", "", "");
	::mkdir((media + "DVD2/" + kProduct).c_str(), 0755);
	EXPECT_EQ(dvd_verify_disk_install(1, s), 1);
	EXPECT_EQ(s.next_screen, dvd_switch_disk_install);
	frames(dvd_switch_disk_install, 4, s);
	EXPECT_EQ(ejects(), media + "DVD1\n" + media + "DVD2\n");
	EXPECT_EQ(s.text, "Please insert DVD number 3 and click continue.");

	// The right one: found, and the run goes on.
	make_dvd("DVD3", "", "");
	write_file(media + "DVD3/" + kProduct + "/All/b.txt.zip", "z");
	EXPECT_EQ(dvd_verify_disk_install(1, s), 1);
	EXPECT_EQ(s.next_screen, dvd_run_install);
	EXPECT_EQ(current_disk, 2);
	EXPECT_EQ(dvd_path, media + "DVD3/");
}

namespace {
int drive_refuses(const std::string&, const std::string&) { return EBUSY; }
int g_served = 0;  // times the window was served while the desktop was asked

// A drive that refuses every eject, for as long as it lives.
struct RefusingDrive {
	plat_drive_eject_fn old = plat_set_drive_eject_hook(drive_refuses);
	~RefusingDrive() { plat_set_drive_eject_hook(old); }
};
}  // namespace

TEST_F(WizardTest, AnEjectTheDesktopIsAskedForLeavesOneLogLine)
{
	// No eject command: a drive that refuses, then the desktop through a stand-in gio
	// that exits with the status `status` holds, or hangs while `hang` exists.
	kx_test::ScopedEnvVar no_command("KESTRIX_EJECT_COMMAND", nullptr);
	write_file(env.path("bin/gio"), "#!/bin/sh\necho \"$@\" >> '" + env.path("gio.log") + "'\n[ -e '" +
	                                    env.path("hang") + "' ] && sleep 10\n" +
	                                    "echo 'gio: Unmount failed: target is busy' >&2\nexit $(cat '" +
	                                    env.path("status") + "')\n");
	::chmod(env.path("bin/gio").c_str(), 0755);
	const char* old_path = std::getenv("PATH");
	const std::string with_gio = env.path("bin") + ":" + (old_path ? old_path : "/usr/bin:/bin");
	kx_test::ScopedEnvVar path("PATH", with_gio.c_str());
	RefusingDrive drive;
	const std::string log = env.path("log.txt");
	xer.open(log);

	const std::string dvd1 = make_dvd("DVD1", identity(), two_file_list(2));
	std::string mount_point, device;
	ASSERT_EQ(plat_mount_of(dvd1, mount_point, device), 0);
	UTIL_scan_dvd();
	want_file_disk = 1;
	wizard_screen s;
	// The desktop refuses: one warning, and the change screen asks as before.
	write_file(env.path("status"), "2\n");
	size_t seen = log_so_far(log).size();
	EXPECT_EQ(dvd_verify_disk_install(1, s), 1);
	EXPECT_EQ(frames(dvd_switch_disk_install, 3, s), 0);
	EXPECT_EQ(read_file(env.path("gio.log")), "mount --eject " + mount_point + "\n");
	EXPECT_EQ(log_so_far(log).substr(seen), "WARNING: could not eject " + dvd1 + ": " + error_str(EBUSY) +
	                                            "; the desktop could not eject it either: gio: Unmount failed: "
	                                            "target is busy\n");
	EXPECT_EQ(s.text, "Please insert DVD number 3 and click continue.");
	EXPECT_EQ(s.next_screen, dvd_verify_disk_install);
	EXPECT_EQ(dvd_path, "");

	// The desktop ejects it: one line that says so.
	write_file(env.path("status"), "0\n");
	seen = log_so_far(log).size();
	EXPECT_EQ(dvd_verify_disk_install(1, s), 1);
	EXPECT_EQ(frames(dvd_switch_disk_install, 3, s), 0);
	EXPECT_EQ(log_so_far(log).substr(seen), "Ejected " + dvd1 + " (the drive refused; the desktop ejected it)\n");

	// The desktop does not answer: the window is served meanwhile, the wait ends at the
	// limit with one warning, and the change screen asks as after a refusal.
	write_file(env.path("hang"), "");
	const int old_limit = plat_set_desktop_eject_limit(300);
	g_served = 0;
	const dialog_hook_fn old_pump = HL_set_tool_pump([] { ++g_served; });
	seen = log_so_far(log).size();
	EXPECT_EQ(dvd_verify_disk_install(1, s), 1);
	EXPECT_EQ(frames(dvd_switch_disk_install, 3, s), 0);
	HL_set_tool_pump(old_pump);
	plat_set_desktop_eject_limit(old_limit);
	EXPECT_GE(g_served, 2);
	EXPECT_EQ(log_so_far(log).substr(seen), "WARNING: could not eject " + dvd1 + ": " + error_str(EBUSY) +
	                                            "; the desktop did not answer within the time allowed\n");
	EXPECT_EQ(s.text, "Please insert DVD number 3 and click continue.");
	EXPECT_EQ(s.next_screen, dvd_verify_disk_install);
	xer.close();
}

TEST_F(WizardTest, NothingToEjectWhenNoDvdIsKnown)
{
	two_file_model(1);
	install_name = kProduct;
	want_file_disk = 1;
	wizard_screen s;
	EXPECT_EQ(dvd_verify_disk_repair(1, s), 1);
	EXPECT_EQ(s.next_screen, dvd_switch_disk_repair);
	EXPECT_EQ(frames(dvd_switch_disk_repair, 3, s), 0);
	EXPECT_EQ(ejects(), "");
	EXPECT_EQ(s.text, "Please insert DVD number 2 and click continue.");
	// An index off the model asks for nothing and finds nothing.
	want_file_disk = 7;
	EXPECT_EQ(UTIL_verify_disk(), 0);
	EXPECT_EQ(UTIL_switch_disk(1), 0);
}

TEST_F(WizardTest, TheSixScreensOfTheThreeFlows)
{
	two_file_model(1);
	install_name = kProduct;
	want_file_disk = 1;
	struct member {
		screen_fn verify, change, found, back;
		const char *verify_title, *change_title;
	};
	const member flows[] = {
	    {dvd_verify_disk_install, dvd_switch_disk_install, dvd_run_install, dvd_scenery_install,
	     "Installing Kestrix - Checking DVD...", "Installing Kestrix - Please Change DVDs"},
	    {dvd_verify_disk_repair, dvd_switch_disk_repair, dvd_install_repair, dvd_confirm_repair,
	     "Repairing Kestrix - Checking DVD", "Repairing Kestrix - Please Change DVDs"},
	    {dvd_verify_disk_scenery, dvd_switch_disk_scenery, dvd_install_scenery, dvd_edit_scenery,
	     "Installing Scenery - Verifying DVD", "Installing Scenery - Please change DVDs"},
	};
	for (const member& m : flows) {
		kx_test::remove_tree(media + "X");
		wizard_screen s;
		EXPECT_EQ(m.verify(1, s), 1);
		EXPECT_EQ(s.title, m.verify_title);
		EXPECT_EQ(s.next_screen, m.change);
		expect_named_targets(s);
		s = wizard_screen{};
		EXPECT_EQ(m.change(1, s), 0);
		EXPECT_EQ(s.title, m.change_title);
		EXPECT_EQ(s.back_screen, m.back);
		EXPECT_EQ(s.next_screen, m.verify);
		expect_named_targets(s);
		write_file(media + "X/" + kProduct + "/All/b.txt.zip", "z");
		s = wizard_screen{};
		EXPECT_EQ(m.verify(0, s), 1);
		EXPECT_EQ(s.next_screen, m.found);
		expect_named_targets(s);
	}
}

namespace {
int g_registration_reads = 0;
void count_registration_read() { ++g_registration_reads; }
}  // namespace

TEST_F(WizardTest, MainMenuAsFarAsTheDvdDecides)
{
	const registration_reader_fn old = main_set_registration_reader(count_registration_read);
	g_registration_reads = 0;
	wizard_screen s;
	EXPECT_EQ(dvd_start(1, s), 0);
	EXPECT_EQ(g_registration_reads, 1);
	EXPECT_EQ(s.title, "Kestrix 9 Installer");
	EXPECT_EQ(s.text, "Please insert Kestrix 9 DVD number one to begin.");
	EXPECT_EQ(s.back_screen, nullptr);
	EXPECT_EQ(s.next_screen, nullptr);
	EXPECT_EQ(step_names, (std::vector<std::string>{"Welcome", "Pick Destination", "License", "Select Scenery",
	                                                 "Install", "Finish"}));
	ASSERT_EQ(step_funcs.size(), 6u);
	EXPECT_EQ(step_funcs[0], dvd_start);
	for (screen_fn f : step_funcs) EXPECT_NE(wizard_screen_name(f), nullptr);

	// A disc that is not ours, then ours with the simulator on it.
	make_dvd("ZZ", "I\n900 version\nNOTDVD\n", "");
	s = wizard_screen{};
	dvd_start(0, s);
	EXPECT_EQ(s.text, "This DVD does not appear to be an Kestrix 9 DVD.");
	EXPECT_EQ(g_registration_reads, 1);
	kx_test::remove_tree(media + "ZZ");
	dvd_path.clear();
	make_dvd("DVD1", identity(), two_file_list(0));
	s = wizard_screen{};
	dvd_start(0, s);
	EXPECT_EQ(s.text, std::string("Welcome to the Kestrix 9 Installer.  I will guide you through the proess of "
	                              "installing ") + kProduct + ".");
	EXPECT_EQ(s.next_screen, dvd_pick_install);
	expect_named_targets(s);
	main_set_registration_reader(old);
}
