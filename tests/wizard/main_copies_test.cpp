#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>

#include <cerrno>
#include <functional>

#include <string>
#include <vector>

#include "runtime/hl_errors.h"
#include "runtime/hl_globals.h"
#include "runtime/io_utils.h"
#include "support/archive_tools.h"
#include "support/bounded_wait.h"
#include "support/no_file.h"
#include "support/test_env.h"
#include "wizard/main_copies.h"
#include "wizard/main_globals.h"
#include "wizard_fixture.h"

namespace {

using Lines = std::vector<std::string>;

class CopiesTest : public ::testing::Test {
protected:
	CopiesTest()
	{
		all_orvalas.clear();
		dest_dir_path.clear();
		xer.open(env.path("log.txt"));
		EXPECT_EQ(get_OS_abs_path(os_dir_prefs, prefs), 0);
		file = prefs + kRegistrationFile;
	}
	~CopiesTest() override
	{
		xer.close();
		all_orvalas.clear();
		dest_dir_path.clear();
	}
	std::string log() { return kx_wizard_test::log_so_far(env.path("log.txt")); }
	// A folder that looks like an installed copy.
	std::string make_copy(const std::string& rel)
	{
		const std::string root = env.path(rel);
		for (const char* f : {"Airfoils/", "Instructions/", "Output/", "Resources/"})
			kx_test::write_file(root + f + "keep", "x");
		return root;
	}
	void register_path(const std::string& p)
	{
		dest_dir_path = p;
		register_new_kestrix();
	}

	kx_test::TempEnv env;
	std::string prefs;
	std::string file;
};

TEST(RegistrationLines, EveryLineEndReadsTheSame)
{
	const char with_nul[] = "/a/\n/b/\r\n/c/\r/d/\0/e/";
	EXPECT_EQ(UTIL_registration_lines(std::string(with_nul, sizeof with_nul - 1)),
	          (Lines{"/a/", "/b/", "/c/", "/d/", "/e/"}));
	EXPECT_EQ(UTIL_registration_lines("\n\n/a/\r\n\r\n"), (Lines{"/a/"}));
	EXPECT_EQ(UTIL_registration_lines(""), Lines{});
	// The reader's buffer takes 2047 bytes of a line at a time.
	const std::string longer(3000, 'x');
	EXPECT_EQ(UTIL_registration_lines(longer + "\n/a/"), (Lines{longer.substr(0, 2047), longer.substr(2047), "/a/"}));
}

TEST(RegistrationLines, AppendingWritesOnlyWhatIsMissing)
{
	EXPECT_EQ(UTIL_registration_append("", "/A/"), "/A/\n");
	EXPECT_EQ(UTIL_registration_append("/A/\n", "/A/"), "");
	EXPECT_EQ(UTIL_registration_append("/A/\r\n", "/A/"), "");
	// The folder with its slash is not the one without.
	EXPECT_EQ(UTIL_registration_append("/A\n", "/A/"), "/A/\n");
	// A last line without its line end gets one first: the two paths never fuse.
	EXPECT_EQ(UTIL_registration_append("/B/", "/A/"), "\n/A/\n");
	EXPECT_EQ(UTIL_registration_append("/B/\r", "/A/"), "/A/\n");
}

TEST_F(CopiesTest, LocateKeepsDuplicatesAndDropsVanishedFoldersButNotTheirLines)
{
	const std::string a = make_copy("A/"), b = make_copy("B/");
	const std::string gone = env.path("gone/");
	const std::string text = a + "\r\n" + gone + "\n" + b + "\r" + a + std::string(1, '\0') + b;  // no final line end
	kx_test::write_file(file, text);
	locate_all_kestrixes();
	EXPECT_EQ(all_orvalas, (Lines{a, b, a, b}));
	EXPECT_EQ(kx_test::read_file(file), text);
	// Registering a listed copy again changes nothing.
	register_path(a);
	EXPECT_EQ(kx_test::read_file(file), text);
}

TEST_F(CopiesTest, OnlyAbsoluteLinesThatHoldACopyAreOfferedAndWithTheirSlash)
{
	const std::string a = make_copy("A/"), b = make_copy("B/");
	const std::string a_bare = a.substr(0, a.size() - 1);
	// A user's folder with a file in it.
	const std::string documents = env.path("Documents");
	kx_test::write_file(documents + "/letter.txt", "mine");
	// A relative line naming a copy from the working folder.
	const kx_test::ScopedWorkingFolder here(env.path(""));
	const std::string text = a_bare + "\r\n" + documents + "\r\nB/\n" + documents + "/\n" + b + "\n" + b + "\n";
	kx_test::write_file(file, text);
	locate_all_kestrixes();
	EXPECT_EQ(all_orvalas, (Lines{a, b, b}));
	EXPECT_EQ(kx_test::read_file(file), text) << "no line is removed";
	// Where the program compares with the copy's path as it writes it, the line without
	// its slash is the same copy.
	EXPECT_TRUE(UTIL_is_registered(a));
	EXPECT_EQ(UTIL_copy_at(a_bare), a);
	EXPECT_EQ(UTIL_copy_at("A/"), "");
	EXPECT_EQ(UTIL_copy_at(""), "");
}

TEST_F(CopiesTest, LocateWithoutAFileFindsNothing)
{
	all_orvalas = {"/stale/"};
	locate_all_kestrixes();
	EXPECT_TRUE(all_orvalas.empty());
	EXPECT_EQ(log(), "");
}

TEST_F(CopiesTest, RegisterAppendsOnItsOwnLine)
{
	const std::string a = make_copy("A/"), b = make_copy("B/");
	register_path(a);
	EXPECT_EQ(kx_test::read_file(file), a + "\n");
	// A file some other writer left without its final line end.
	kx_test::write_file(file, a);
	register_path(b);
	EXPECT_EQ(kx_test::read_file(file), a + "\n" + b + "\n");
	locate_all_kestrixes();
	EXPECT_EQ(all_orvalas, (Lines{a, b}));
	// "/A" is another line than "/A/".
	const std::string no_slash = a.substr(0, a.size() - 1);
	kx_test::write_file(file, no_slash + "\n");
	register_path(a);
	EXPECT_EQ(kx_test::read_file(file), no_slash + "\n" + a + "\n");
	// A file it makes is read and write for everyone the umask allows, as any file the
	// program makes: root runs the suite, so the bits themselves are looked at.
	for (const mode_t mask : {mode_t(0), mode_t(002), mode_t(022), mode_t(077)}) {
		SCOPED_TRACE(mask);
		ASSERT_EQ(::unlink(file.c_str()), 0);
		const mode_t before = ::umask(mask);
		register_path(a);
		::umask(before);
		struct stat st;
		ASSERT_EQ(::stat(file.c_str(), &st), 0);
		EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
	}
}

// What stands in the file's place and is no file (a FIFO nobody writes to, a folder, a
// link to a device) holds no copies and takes none, at once: the start never waits on
// it, nothing is read from the device, and it is left as it is.
TEST_F(CopiesTest, NoFileInTheFilesPlaceHoldsNoCopiesAndTakesNone)
{
	const std::string a = make_copy("A/");
	std::string warnings;
	for (const kx_test::no_file& f : kx_test::kNoFiles) {
		SCOPED_TRACE(f.what);
		ASSERT_TRUE(kx_test::plant_no_file(f, file));
		all_orvalas = {"/stale/"};
		kx_test::finishes_within(f.what, [&] {
			locate_all_kestrixes();
			dest_dir_path = a;
			EXPECT_FALSE(register_new_kestrix());
		});
		EXPECT_TRUE(all_orvalas.empty());
		warnings += "WARNING: could not append registration file: " + file + ": " + error_str(f.error) + "\n";
		EXPECT_EQ(log(), warnings);
		struct stat st;
		EXPECT_EQ(lstat(file.c_str(), &st), 0);
		EXPECT_FALSE(S_ISREG(st.st_mode));
		EXPECT_EQ(f.kind == kx_test::no_file_kind::folder ? ::rmdir(file.c_str()) : ::unlink(file.c_str()), 0);
	}
}

// A registration file that could not be read whole, or not appended to, holds no new
// copy: the copy is said to be unregistered, the file keeps what it held (a failed read
// is never taken for an empty file, appended to as new), and the warning says why.
TEST_F(CopiesTest, AFailedReadOrAppendIsNoRegistration)
{
	const std::string a = make_copy("A/"), b = make_copy("B/");
	// Some other writer's file: a long line, and the last one without its line end (taken
	// for empty, the file would get b's path fused onto a's).
	const std::string held = "/" + std::string(1000, 'x') + "/\n" + a;
	dest_dir_path = b;
	const auto registered = [] { return register_new_kestrix() ? 1 : 0; };
	struct Case {
		const char* what;
		std::function<int()> attempt;
		int err;
	};
	const Case cases[] = {
	    // Files may not grow past what the file holds: the append finds the disk full.
	    {"a full disk", [&] { return kx_test::run_with_file_limit(held.size(), registered); }, EFBIG},
	    {"a read-only file system", [&] { return kx_test::run_with_failing_write_opens(EROFS, registered); }, EROFS},
	    {"a read that fails", [&] { return kx_test::run_with_failing_calls({SYS_read}, EIO, registered); }, EIO},
	};
	std::string warnings;
	for (const Case& c : cases) {
		SCOPED_TRACE(c.what);
		kx_test::write_file(file, held);
		EXPECT_EQ(c.attempt(), 0);
		EXPECT_EQ(kx_test::read_file(file), held);
		warnings += "WARNING: could not append registration file: " + file + ": " + error_str(c.err) + "\n";
		EXPECT_EQ(log(), warnings);
	}
}

// A path the file cannot hold as one line of its own is not written: its pieces would
// come back as lines that are no copy.
TEST_F(CopiesTest, APathTheFileCannotHoldIsNotWritten)
{
	const std::string a = make_copy("A/");
	register_path(a);
	for (const std::string& p : {env.path("line\nend/"), env.path("line\rend/"), "/" + std::string(kRegistrationLineMax, 'p') + "/"}) {
		dest_dir_path = p;
		EXPECT_FALSE(register_new_kestrix());
	}
	EXPECT_EQ(kx_test::read_file(file), a + "\n");
	EXPECT_NE(log().find("WARNING: a registration line cannot hold the folder " + env.path("line\\nend/")),
	          std::string::npos);
}

TEST_F(CopiesTest, NoPreferencesFolderIsAWarning)
{
	kx_test::write_file(env.path("not_a_folder"), "x");
	// The preferences folder would be made inside a plain file.
	kx_test::ScopedEnvVar config("XDG_CONFIG_HOME", "");
	kx_test::ScopedEnvVar home("HOME", env.path("not_a_folder").c_str());
	all_orvalas = {"/stale/"};
	locate_all_kestrixes();
	dest_dir_path = make_copy("A/");
	EXPECT_FALSE(register_new_kestrix());
	EXPECT_TRUE(all_orvalas.empty());
	// A preferences folder whose parent is missing is not made either: no copy is noted.
	kx_test::ScopedEnvVar missing("XDG_CONFIG_HOME", env.path("gone/config").c_str());
	EXPECT_FALSE(register_new_kestrix());
	EXPECT_FALSE(kx_test::path_exists(env.path("gone")));
	// Each warning says why: the log is where the unregistered copy's alert sends the user.
	const std::string in_a_file = "WARNING: registration of this orvala folder failed!\n"
	                              "The preferences folder could not be used: " + error_str(ENOTDIR) + "\n";
	EXPECT_EQ(log(), in_a_file + in_a_file +
	                     "WARNING: registration of this orvala folder failed!\n"
	                     "The preferences folder could not be used: " + error_str(ENOENT) + "\n");
}

TEST_F(CopiesTest, ACopyHoldsTheFourFoldersByPartOfTheirNames)
{
	dest_dir_path = make_copy("A/");
	EXPECT_EQ(path_is_to_a_sim(), 1);
	// Substrings of folder names count.
	dest_dir_path = env.path("B/");
	for (const char* f : {"Old Airfoils/", "Instructions-en/", "Output/", "MyResources2/"})
		kx_test::write_file(dest_dir_path + f + "keep", "x");
	EXPECT_EQ(path_is_to_a_sim(), 1);
	// A folder called "Output.txt" and a plain file "Output" do not.
	dest_dir_path = env.path("C/");
	for (const char* f : {"Airfoils/", "Instructions/", "Output.txt/", "Resources/"})
		kx_test::write_file(dest_dir_path + f + "keep", "x");
	EXPECT_EQ(path_is_to_a_sim(), 0);
	dest_dir_path = env.path("D/");
	for (const char* f : {"Airfoils/keep", "Instructions/keep", "Output", "Resources/keep"})
		kx_test::write_file(dest_dir_path + f, "x");
	EXPECT_EQ(path_is_to_a_sim(), 0);
	// Missing and empty folders.
	dest_dir_path = env.path("missing/");
	EXPECT_EQ(path_is_to_a_sim(), 0);
	::mkdir(env.path("empty/").c_str(), 0755);
	dest_dir_path = env.path("empty/");
	EXPECT_EQ(path_is_to_a_sim(), 0);
}

TEST_F(CopiesTest, FindItWalksUpFromAFolderInsideACopy)
{
	kx_test::AlertRecorder alerts;
	const std::string copy = make_copy("A/B/");
	dest_dir_path = "/previous/";
	EXPECT_EQ(UTIL_find_copy(copy + "Resources"), 1);
	EXPECT_EQ(dest_dir_path, copy);
	EXPECT_EQ(kx_test::read_file(file), copy + "\n");
	EXPECT_EQ(all_orvalas, Lines{copy});
	EXPECT_TRUE(alerts.alerts().empty());
}

TEST_F(CopiesTest, FindItOutsideEveryCopyKeepsTheSelectionAndSaysSo)
{
	kx_test::AlertRecorder alerts;
	// A folder named in UTF-8 is named in the font's letters.
	const std::string chosen = env.path("elsewhere/d\xC3\xA9" "ep \xE3\x81\x82");
	kx_test::write_file(chosen + "/f", "x");
	dest_dir_path = "/previous/";
	EXPECT_EQ(UTIL_find_copy(chosen), 0);
	EXPECT_EQ(dest_dir_path, "/previous/");
	EXPECT_FALSE(file_exists(file));
	const auto got = alerts.alerts();
	ASSERT_EQ(got.size(), 1u);
	EXPECT_EQ(got[0].type, t_alert);
	EXPECT_EQ(got[0].line1, "You selected the folder path:");
	EXPECT_EQ(got[0].line2, env.path("elsewhere/d\xE9" "ep ?"));
	EXPECT_EQ(got[0].line3, "But it does not appear to be an installed copy of Kestrix 9.");
	EXPECT_EQ(got[0].line4, "Please be sure to select the folder that contains the Kestrix application.");
}

TEST_F(CopiesTest, ThePickersSayWhenThereIsMoreThanOneCopy)
{
	all_orvalas = {"/A/"};
	EXPECT_EQ(UTIL_pick_text("Which?"), "Which?");
	EXPECT_TRUE(UTIL_is_registered("/A/"));
	EXPECT_FALSE(UTIL_is_registered("/A"));
	all_orvalas = {"/A/", "/A/"};  // a folder listed twice counts twice
	EXPECT_EQ(UTIL_pick_text("Which?"), "You have more than one copy of Kestrix 9 installed on this computer.  Which?");
	all_orvalas.clear();
	EXPECT_EQ(UTIL_pick_text("Which?"), "Which?");
	EXPECT_FALSE(UTIL_is_registered(""));
}

}  // namespace
