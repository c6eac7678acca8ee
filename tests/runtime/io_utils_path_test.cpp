#include <gtest/gtest.h>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "runtime/hl_alert.h"
#include "runtime/io_utils.h"
#include "support/test_env.h"

using kx_test::TempEnv;
using kx_test::write_file;

TEST(WellKnownFolders, EachFolderFromTheEnvironment)
{
	TempEnv env;
	std::string exe, here, desk, apps, tmp, prefs;
	ASSERT_EQ(get_OS_abs_path(os_dir_app_bundle, exe), 0);
	char buf[4096];
	const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf);
	EXPECT_EQ(exe, std::string(buf, static_cast<size_t>(n)));
	ASSERT_EQ(get_OS_abs_path(os_dir_this_app, here), 0);
	EXPECT_EQ(here + exe.substr(exe.rfind('/') + 1), exe);

	ASSERT_EQ(get_OS_abs_path(os_dir_desktop, desk), 0);
	EXPECT_EQ(desk, env.path("home/Desktop/"));
	ASSERT_EQ(get_OS_abs_path(os_dir_default_apps, apps), 0);
	EXPECT_EQ(apps, desk);

	ASSERT_EQ(get_OS_abs_path(os_dir_temp, tmp), 0);
	EXPECT_EQ(tmp, env.path("tmp/kestrix-installer-" + std::to_string(getuid()) + "/"));
	struct stat st;
	ASSERT_EQ(lstat(tmp.c_str(), &st), 0);
	EXPECT_TRUE(S_ISDIR(st.st_mode));
	EXPECT_EQ(st.st_mode & 0777, 0700u);

	ASSERT_EQ(get_OS_abs_path(os_dir_prefs, prefs), 0);
	EXPECT_EQ(prefs, env.path("home/.config/"));

	std::string untouched = "as before";
	EXPECT_NE(get_OS_abs_path(9, untouched), 0);
	EXPECT_EQ(untouched, "as before");
}

TEST(WellKnownFolders, DesktopFallbacks)
{
	TempEnv env;
	std::string desk;
	// user-dirs.dirs names the desktop when the environment does not.
	unsetenv("XDG_DESKTOP_DIR");
	write_file(env.path("home/.config/user-dirs.dirs"), "# comment\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
	mkdir(env.path("home/Schreibtisch").c_str(), 0755);
	ASSERT_EQ(get_OS_abs_path(os_dir_desktop, desk), 0);
	EXPECT_EQ(desk, env.path("home/Schreibtisch/"));
	// Then $HOME/Desktop, then $HOME itself.
	unlink(env.path("home/.config/user-dirs.dirs").c_str());
	ASSERT_EQ(get_OS_abs_path(os_dir_desktop, desk), 0);
	EXPECT_EQ(desk, env.path("home/Desktop/"));
	rmdir(env.path("home/Desktop").c_str());
	ASSERT_EQ(get_OS_abs_path(os_dir_desktop, desk), 0);
	EXPECT_EQ(desk, env.path("home/"));
	// XDG_CONFIG_HOME unset: the preferences folder is $HOME/.config, made when missing.
	unsetenv("XDG_CONFIG_HOME");
	setenv("HOME", env.path("other").c_str(), 1);
	mkdir(env.path("other").c_str(), 0755);
	std::string prefs;
	ASSERT_EQ(get_OS_abs_path(os_dir_prefs, prefs), 0);
	EXPECT_EQ(prefs, env.path("other/.config/"));
	EXPECT_TRUE(dir_exists(prefs));
}

TEST(WellKnownFolders, TemporaryFolderThatIsALinkIsRefused)
{
	TempEnv env;
	const std::string name = env.path("tmp/kestrix-installer-" + std::to_string(getuid()));
	mkdir(env.path("elsewhere").c_str(), 0755);
	ASSERT_EQ(symlink(env.path("elsewhere").c_str(), name.c_str()), 0);
	std::string tmp = "unset";
	EXPECT_NE(get_OS_abs_path(os_dir_temp, tmp), 0);
	EXPECT_EQ(tmp, "unset");
	unlink(name.c_str());
	write_file(name, "a file");
	EXPECT_NE(get_OS_abs_path(os_dir_temp, tmp), 0);
	EXPECT_EQ(tmp, "unset");
}

TEST(PathRefs, LeafAndHoldingFolder)
{
	TempEnv env;
	mkdir(env.path("Disk").c_str(), 0755);
	FSRef ref;
	std::string name;
	ASSERT_EQ(FilePathToFSRefAndName(env.path("Disk/New Folder/").c_str(), &ref, &name), 0);
	EXPECT_EQ(name, "New Folder/");
	std::string back;
	ASSERT_EQ(FSRefToFilePath(&ref, back), 0);
	EXPECT_EQ(back + "/", env.path("Disk/"));
	EXPECT_NE(FilePathToFSRefAndName(env.path("Disk/New Folder/").c_str(), &ref, nullptr), 0);
	EXPECT_NE(FilePathToFSRefAndName("leaf-only", &ref, &name), 0);
	EXPECT_EQ(name, "leaf-only");
	FSRef empty;
	back = "keep";
	EXPECT_EQ(FSRefToFilePath(&empty, back), -1);
	EXPECT_EQ(back, "keep");
}

TEST(PathRefs, ColonForm)
{
	std::string p = "/Volumes/Disk/My Folder/";
	ConvertPathToCFM(p);
	EXPECT_EQ(p, "Volumes:Disk:My Folder:");
	p = "/a/b:c";
	ConvertPathToCFM(p);
	EXPECT_EQ(p, "a:b/c");
}

TEST(PathRefs, FindPathCorrectsCase)
{
	TempEnv env;
	write_file(env.path("Alpha/Beta/file.txt"), "x");
	std::string wrong = env.path("alpha/BETA/file.txt");
	std::vector<char> buf(wrong.begin(), wrong.end());
	buf.push_back(0);
	findPath(buf.data());
	EXPECT_STREQ(buf.data(), env.path("Alpha/Beta/file.txt").c_str());

	std::string partly = env.path("alpha/Nope/FILE.txt");
	buf.assign(partly.begin(), partly.end());
	buf.push_back(0);
	findPath(buf.data());
	EXPECT_STREQ(buf.data(), env.path("Alpha/Nope/FILE.txt").c_str());
	EXPECT_EQ(g_case_sensitive, 0);
}

namespace {
// The libraries the tests find by name: the system's OpenGL, and one built with the
// tests in a folder of the test program's run path.
constexpr char kSystemGL[] = "libGL.so.1";
constexpr char kBuiltLibrary[] = "libkx_bundle_library.so";
constexpr char kNotCode[] = "libkx_not_code.so.1";
constexpr char kMissing[] = "libkx-no-such-library.so.9";
constexpr int kAlertsOff = 0, kAlertsOn = 1;
}  // namespace

TEST(LoadBundle, FindsLibrariesByNameAndLoadsTheirCode)
{
	kx_test::AlertRecorder alerts;
	CFBundleRef gl = nullptr;
	ASSERT_EQ(load_bundle_by_filename(kSystemGL, kAlertsOn, &gl), 0);
	ASSERT_NE(gl, nullptr);
	EXPECT_NE(dlsym(gl, "glGetString"), nullptr);
	CFBundleRef built = nullptr;
	ASSERT_EQ(load_bundle_by_filename(kBuiltLibrary, kAlertsOn, &built), 0);
	auto answer = reinterpret_cast<int (*)()>(dlsym(built, "kx_bundle_library_answer"));
	ASSERT_NE(answer, nullptr);
	EXPECT_EQ(answer(), 42);
	dlclose(built);
	dlclose(gl);
	// Without a place to put it the library is let go again.
	EXPECT_EQ(load_bundle_by_filename(kBuiltLibrary, kAlertsOn, nullptr), 0);
	EXPECT_EQ(dlopen(kBuiltLibrary, RTLD_NOW | RTLD_NOLOAD), nullptr);
	EXPECT_TRUE(alerts.alerts().empty());
}

TEST(LoadBundle, EachFailingStepHasItsCodeAndItsQuittingAlert)
{
	kx_test::AlertRecorder alerts;
	struct failing {
		const char* name;
		int err;
		const char* message;
	};
	const failing cases[] = {
		{nullptr, -50, "Could not make strsing."},
		{"lib\xff\xfe.so", -50, "Could not make strsing."},
		{"", -43, "Could not find bundle in frameworks folder"},
		{"/usr/lib/x86_64-linux-gnu/libGL.so.1", -43, "Could not find bundle in frameworks folder"},
		{"../x86_64-linux-gnu/libGL.so.1", -43, "Could not find bundle in frameworks folder"},
		{kMissing, -54, "Could not create bundle for location"},
		{kNotCode, -37, "Could not load code for framework"},
	};
	for (const failing& c : cases) {
		const std::string name = c.name ? c.name : "";
		CFBundleRef out = nullptr;
		EXPECT_EQ(load_bundle_by_filename(c.name, kAlertsOff, &out), c.err) << name;
		EXPECT_EQ(out, nullptr) << name;
		EXPECT_TRUE(alerts.alerts().empty()) << name;
		try {
			load_bundle_by_filename(c.name, kAlertsOn, &out);
			ADD_FAILURE() << name << " went on after its alert";
		} catch (const kx_test::AlertExit& e) {
			EXPECT_EQ(e.status, 1);
		}
		const auto a = alerts.alerts();
		ASSERT_EQ(a.size(), 1u) << name;
		EXPECT_EQ(a[0].line1, c.message);
		EXPECT_EQ(a[0].line2, "");
		EXPECT_EQ(a[0].line3, "");
		EXPECT_EQ(a[0].line4, name);
		EXPECT_EQ(a[0].type, t_exit);
		EXPECT_EQ(a[0].file, "VAvered/Files/io_utils");
		alerts.clear();
	}
}
