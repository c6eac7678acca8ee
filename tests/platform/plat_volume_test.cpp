#include "platform/plat_volume.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/plat_dirs.h"
#include "support/test_env.h"

using kx_test::read_file;
using kx_test::ScopedEnvVar;
using kx_test::TempEnv;
using kx_test::write_file;

namespace {
// Lines as the kernel writes them: blanks in names as \040, the type after the "-".
const char kMountinfo[] =
    "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
    "40 22 0:5 / /proc rw - proc proc rw\n"
    "61 22 11:0 / /media/alice/KESTRIX\\040DVD\\0401 ro,relatime shared:40 - iso9660 /dev/sr0 ro\n"
    "62 22 11:1 / /srv/discs/second ro - udf /dev/sr1 ro\n"
    "63 22 8:17 / /run/media/bob/USB\\134STICK rw - vfat /dev/sdb1 rw\n"
    "64 22 8:18 / /mnt/data rw shared:5 master:2 - ext4 /dev/sdc1 rw\n"
    "65 22 8:19 / /mediaX/notmedia rw - ext4 /dev/sdc2 rw\n"
    "66 22 8:20 / /media rw - ext4 /dev/sdc3 rw\n"
    "broken line\n";

std::vector<std::string> roots_of(const std::vector<plat_volume_root>& v)
{
	std::vector<std::string> out;
	for (const auto& r : v) out.push_back(r.root + (r.optical ? " (disc)" : ""));
	return out;
}
}  // namespace

TEST(Volumes, MountTableWithEscapesDiscTypesAndMediaFolders)
{
	const auto mounts = plat_parse_mountinfo(kMountinfo);
	ASSERT_EQ(mounts.size(), 8u);
	EXPECT_EQ(mounts[2].point, "/media/alice/KESTRIX DVD 1");
	EXPECT_EQ(mounts[2].fstype, "iso9660");
	EXPECT_EQ(mounts[4].point, "/run/media/bob/USB\\STICK");
	EXPECT_EQ(mounts[5].fstype, "ext4");  // optional fields before the "-"

	plat_volume_sources src;
	src.mountinfo = kMountinfo;
	src.media_prefixes = {"/media", "/run/media", "/mnt"};
	// A disc's type counts wherever it is mounted; other mounts only below the media
	// folders, never the media folder itself or a look-alike prefix.
	EXPECT_EQ(roots_of(plat_volume_roots_from(src)),
	          (std::vector<std::string>{"/media/alice/KESTRIX DVD 1/ (disc)", "/srv/discs/second/ (disc)",
	                                    "/run/media/bob/USB\\STICK/", "/mnt/data/"}));
}

TEST(Volumes, PlainSubfoldersAndTheMediaRootsList)
{
	TempEnv env;
	write_file(env.path("media/KESTRIX_DVD2/x"), "");
	write_file(env.path("media/KESTRIX_DVD1/dvd_version.txt"), "I\n900 version\nDVD\nVERSION Kestrix 9.10r1\n");
	write_file(env.path("media/.hidden/x"), "");
	write_file(env.path("media/a file"), "");
	write_file(env.path("other/COPY/x"), "");

	plat_volume_sources src;
	src.plain_parents = {env.path("media")};  // without its final "/"
	EXPECT_EQ(roots_of(plat_volume_roots_from(src)),
	          (std::vector<std::string>{env.path("media/KESTRIX_DVD1/"), env.path("media/KESTRIX_DVD2/")}));

	// The list replaces what is mounted: only the folders named and their subfolders.
	const std::string listed = env.path("media") + ":" + env.path("missing") + "::" + env.path("other/");
	ScopedEnvVar roots("KESTRIX_MEDIA_ROOTS", listed.c_str());
	const auto v = plat_volume_roots();
	EXPECT_EQ(roots_of(v), (std::vector<std::string>{env.path("media/"), env.path("media/KESTRIX_DVD1/"),
	                                                  env.path("media/KESTRIX_DVD2/"), env.path("other/"),
	                                                  env.path("other/COPY/")}));
	EXPECT_EQ(plat_install_dvd(v, "dvd_version.txt"), env.path("media/KESTRIX_DVD1/"));
	EXPECT_EQ(plat_volume_holding(v, "x"), env.path("media/KESTRIX_DVD2/"));
	EXPECT_EQ(plat_volume_holding(v, "nothing"), "");
	EXPECT_EQ(plat_volume_holding(v, ""), "");
	EXPECT_EQ(plat_volume_root_of(v, env.path("media/KESTRIX_DVD2/sub/y")), env.path("media/KESTRIX_DVD2/"));
	EXPECT_EQ(plat_volume_root_of(v, "/elsewhere/"), "/elsewhere/");
}

TEST(Volumes, InstallDiscIsTheIdentifiedOneElseTheFirstDisc)
{
	TempEnv env;
	write_file(env.path("a/x"), "");
	write_file(env.path("b/x"), "");
	write_file(env.path("c/dvd_version.txt"), "");
	std::vector<plat_volume_root> v = {{env.path("a/"), false}, {env.path("b/"), true}, {env.path("c/"), false}};
	EXPECT_EQ(plat_install_dvd(v, "dvd_version.txt"), env.path("c/"));
	v.pop_back();
	// A disc that is not ours is still found, so that the user can be told so.
	EXPECT_EQ(plat_install_dvd(v, "dvd_version.txt"), env.path("b/"));
	v.pop_back();
	EXPECT_EQ(plat_install_dvd(v, "dvd_version.txt"), "");
}

TEST(Volumes, EjectRunsTheCommandWithTheVolumeRoot)
{
	TempEnv env;
	write_file(env.path("media/DVD1/Kestrix/f.zip"), "z");
	const std::string script = env.path("eject.sh");
	write_file(script, "#!/bin/sh\necho \"$@\" >> \"" + env.path("ejects") + "\"\nexit 3\n");
	chmod(script.c_str(), 0755);
	ScopedEnvVar roots("KESTRIX_MEDIA_ROOTS", env.path("media").c_str());
	ScopedEnvVar eject("KESTRIX_EJECT_COMMAND", script.c_str());
	EXPECT_EQ(plat_eject_volume(env.path("media/DVD1/Kestrix/")), 3);
	EXPECT_EQ(read_file(env.path("ejects")), env.path("media/DVD1") + "\n");

	ScopedEnvVar missing("KESTRIX_EJECT_COMMAND", env.path("no such program").c_str());
	EXPECT_EQ(plat_eject_volume(env.path("media/DVD1/")), ENOENT);
}

namespace {
int g_drive_answer = 0;
int drive_answers(const std::string&, const std::string&) { return g_drive_answer; }

// A drive that answers g_drive_answer, for as long as it lives.
struct StandInDrive {
	plat_drive_eject_fn old = plat_set_drive_eject_hook(drive_answers);
	~StandInDrive() { plat_set_drive_eject_hook(old); }
};
}  // namespace

TEST(Volumes, ADriveThatRefusesIsEjectedThroughTheDesktop)
{
	TempEnv env;
	write_file(env.path("disc/x"), "");
	// A stand-in gio: logs its arguments, writes what `said` holds to its errors and
	// exits with the status `status` holds.
	write_file(env.path("bin/gio"), "#!/bin/sh\necho \"$@\" >> '" + env.path("gio.log") + "'\ncat '" +
	                                    env.path("said") + "' >&2\nexit $(cat '" + env.path("status") + "')\n");
	chmod(env.path("bin/gio").c_str(), 0755);
	const char* old_path = std::getenv("PATH");
	const std::string with_gio = env.path("bin") + ":" + (old_path ? old_path : "/usr/bin:/bin");
	ScopedEnvVar path("PATH", with_gio.c_str());
	std::string mount_point, device;
	ASSERT_EQ(plat_mount_of(env.path("disc"), mount_point, device), 0);
	StandInDrive drive;
	plat_eject_report r;

	// The drive ejects, or is no drive: the desktop is never asked.
	for (int answer : {0, ENODEV}) {
		g_drive_answer = answer;
		EXPECT_EQ(plat_eject(env.path("disc/"), &r), answer);
		EXPECT_FALSE(r.desktop_asked);
	}
	EXPECT_EQ(read_file(env.path("gio.log")), "");

	// The drive refuses: the desktop is asked with the mount point and ejects it.
	g_drive_answer = EBUSY;
	write_file(env.path("status"), "0\n");
	EXPECT_EQ(plat_eject(env.path("disc/"), &r), 0);
	EXPECT_TRUE(r.desktop_asked);
	EXPECT_EQ(read_file(env.path("gio.log")), "mount --eject " + mount_point + "\n");

	// The desktop refuses too: the drive's answer, and the desktop's words.
	write_file(env.path("status"), "2\n");
	write_file(env.path("said"), "\ngio: Unmount failed: target is busy\nmore\n");
	EXPECT_EQ(plat_eject(env.path("disc/"), &r), EBUSY);
	EXPECT_TRUE(r.desktop_asked);
	EXPECT_EQ(r.desktop_status, 2);
	EXPECT_EQ(r.desktop_said, "gio: Unmount failed: target is busy");

	// No desktop tool to ask.
	ScopedEnvVar no_gio("PATH", env.path("disc").c_str());
	EXPECT_EQ(plat_eject(env.path("disc/"), &r), EBUSY);
	EXPECT_FALSE(r.desktop_asked);
}

namespace {
int g_pumps = 0;
void count_pump() { ++g_pumps; }

// The process id the stand-in wrote has been reaped: it is no zombie waiting.
bool reaped(const std::string& pid_file)
{
	const int pid = std::atoi(read_file(pid_file).c_str());
	return pid > 0 && kill(pid, 0) != 0 && errno == ESRCH;
}

// A process that is not ours to reap is gone once it has died, or left as a zombie for
// its new parent: waited for a little, since the kill is delivered on its own time.
bool ended(const std::string& pid_file)
{
	const int pid = std::atoi(read_file(pid_file).c_str());
	if (pid <= 0) return false;
	constexpr int kTries = 200, kTryMs = 10;
	for (int i = 0; i < kTries; ++i) {
		const std::string stat = read_file("/proc/" + std::to_string(pid) + "/stat");
		const size_t paren = stat.rfind(')');
		if (stat.empty() || (paren != std::string::npos && stat.compare(paren, 3, ") Z") == 0)) return true;
		usleep(kTryMs * 1000);
	}
	return false;
}
}  // namespace

TEST(Volumes, ADesktopEjectThatDoesNotAnswerIsEndedWhileTheWindowIsServed)
{
	TempEnv env;
	write_file(env.path("disc/x"), "");
	// Stand-ins that hang: a helper they start holds the pipes open past the limit.
	const std::string hang = "#!/bin/sh\necho $$ > '" + env.path("pid") + "'\nsleep 10 &\necho $! > '" +
	                         env.path("helper") + "'\nwait\n";
	write_file(env.path("bin/gio"), hang);
	write_file(env.path("eject.sh"), hang);
	chmod(env.path("bin/gio").c_str(), 0755);
	chmod(env.path("eject.sh").c_str(), 0755);
	const char* old_path = std::getenv("PATH");
	const std::string with_gio = env.path("bin") + ":" + (old_path ? old_path : "/usr/bin:/bin");
	ScopedEnvVar path("PATH", with_gio.c_str());
	ScopedEnvVar no_command("KESTRIX_EJECT_COMMAND", nullptr);
	const int old_limit = plat_set_desktop_eject_limit(300);
	StandInDrive drive;
	g_drive_answer = EBUSY;
	plat_eject_report r;

	g_pumps = 0;
	EXPECT_EQ(plat_eject(env.path("disc/"), &r, count_pump), EBUSY);
	EXPECT_TRUE(r.desktop_asked);
	EXPECT_TRUE(r.desktop_timed_out);
	EXPECT_GE(g_pumps, 2);
	EXPECT_TRUE(reaped(env.path("pid")));
	EXPECT_TRUE(ended(env.path("helper")));

	// The eject command stands in for the desktop and is waited for the same way.
	ScopedEnvVar roots("KESTRIX_MEDIA_ROOTS", env.path("").c_str());
	ScopedEnvVar command("KESTRIX_EJECT_COMMAND", env.path("eject.sh").c_str());
	write_file(env.path("pid"), "");
	g_pumps = 0;
	EXPECT_EQ(plat_eject_volume(env.path("disc/"), &r, count_pump), EIO);
	EXPECT_TRUE(r.desktop_timed_out);
	EXPECT_GE(g_pumps, 2);
	EXPECT_TRUE(reaped(env.path("pid")));
	EXPECT_TRUE(ended(env.path("helper")));
	plat_set_desktop_eject_limit(old_limit);
}

TEST(Bundles, OneRuleForTheBundleAndWhatRunsInIt)
{
	EXPECT_EQ(plat_bundle_of("/m/Kestrix Installer.app/Contents/MacOS/Kestrix Installer"), "/m/Kestrix Installer.app");
	EXPECT_EQ(plat_bundle_of("/opt/kx/kestrix-installer"), "/opt/kx/kestrix-installer");
	EXPECT_EQ(plat_bundle_of("/a.app/Contents/MacOS/sub/a"), "/a.app/Contents/MacOS/sub/a");
	EXPECT_EQ(plat_bundle_of("/a.app/Contents/MacOS/helper"), "/a.app/Contents/MacOS/helper");
	EXPECT_EQ(plat_bundle_of("/x/.app/Contents/MacOS/"), "/x/.app/Contents/MacOS/");

	TempEnv env;
	const std::string inner = env.path("Kestrix.app/Contents/MacOS/Kestrix");
	write_file(inner, "#!/bin/sh\n");
	chmod(inner.c_str(), 0755);
	EXPECT_EQ(plat_bundle_executable(env.path("Kestrix.app/")), inner);
	EXPECT_EQ(plat_bundle_executable(env.path("Kestrix.app")), inner);
	chmod(inner.c_str(), 0644);  // not runnable: the folder's own program
	EXPECT_EQ(plat_bundle_executable(env.path("Kestrix.app")), env.path("Kestrix.app/Kestrix"));
	write_file(env.path("plain/x"), "");
	EXPECT_EQ(plat_bundle_executable(env.path("plain/")), env.path("plain/plain"));
	EXPECT_EQ(plat_bundle_executable(env.path("plain/x")), env.path("plain/x"));
}

TEST(Volumes, ADiscDriveIsACdRomSomewhereAboveTheDevice)
{
	// The system's devices as /sys/devices lays them out: a drive is a SCSI device (a
	// type beside a SCSI level) with its block device below it.
	TempEnv env;
	const std::string drive = env.path("devices/pci0/ata1/host0/target0:0:0/0:0:0:0/");
	write_file(drive + "type", "5\n");
	write_file(drive + "scsi_level", "6\n");
	ASSERT_TRUE(write_file(drive + "block/sr0/dev", "11:0\n"));
	const std::string disk = env.path("devices/pci0/ata2/host1/target1:0:0/1:0:0:0/");
	write_file(disk + "type", "0\n");
	write_file(disk + "scsi_level", "8\n");
	ASSERT_TRUE(write_file(disk + "block/sda/sda1/partition", "1\n"));
	// A folder with a type of 5 that is no SCSI device (a network interface's).
	ASSERT_TRUE(write_file(env.path("devices/virtual/net/lo/type"), "5\n"));
	ASSERT_TRUE(write_file(env.path("devices/virtual/net/lo/block/fake0/dev"), "254:0\n"));

	EXPECT_EQ(plat_disc_in_devices(drive + "block/sr0"), 1);
	EXPECT_EQ(plat_disc_in_devices(drive + "block/sr0/"), 1);
	EXPECT_EQ(plat_disc_in_devices(disk + "block/sda/sda1"), 0);
	EXPECT_EQ(plat_disc_in_devices(env.path("devices/virtual/net/lo/block/fake0")), 0);
}
