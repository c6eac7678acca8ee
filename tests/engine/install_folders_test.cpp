// Making the folders of a run and deleting what the new installation no longer has.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/install.h"
#include "engine/install_fixture.h"
#include "engine/install_paths.h"
#include "runtime/hl_errors.h"
#include "runtime/hl_globals.h"

using namespace kx_install_test;
using kx_test::read_file;
using kx_test::write_file;

namespace {

const std::string kSig = std::string(32, 'b');

class Folders : public ::testing::Test {
protected:
	void SetUp() override
	{
		reset_engine_state();
		dest_dir_path = env_.path("deep/inst/");
	}
	void TearDown() override { sim_info.clear(); }
	file_version_struct& to_install(const std::string& path)
	{
		file_version_struct& v = add_history(version(path, kSig));
		v.install = 1;
		return v;
	}
	file_version_struct& to_remove(const std::string& path)
	{
		file_version_struct& v = add_history(version(path, "GONE"));
		v.sig_have = kSig;
		v.remove = 1;
		return v;
	}
	kx_test::TempEnv env_;
	kx_test::AlertRecorder alerts_;
};

}  // namespace

TEST_F(Folders, MakesTheInstallFolderTheFileFoldersAndTheWorkingFolders)
{
	to_install("All/a/b/one.txt");
	to_install("All/a/b/two.txt");
	to_install("All/a/c/three.txt");
	to_install("All/top.txt");
	file_version_struct& skipped = to_install("Windows/w/x.exe");
	skipped.platform = 2;
	ASSERT_EQ(make_dirs(), 0);
	EXPECT_TRUE(alerts_.alerts().empty());
	for (const char* f : {"a", "a/b", "a/c", "Output", "Output/FMS plans", "Output/logbooks", "Output/movies",
	                      "Output/situations", "Resources", "Resources/preferences"})
		EXPECT_TRUE(is_dir(dest_dir_path + f)) << f;
	EXPECT_FALSE(exists(dest_dir_path + "w"));  // a file of another platform needs no folder
	EXPECT_FALSE(exists(dest_dir_path + "top.txt"));
}

TEST_F(Folders, AFolderThatCannotBeMadeIsReportedAndStopsTheRest)
{
	// A folder named in UTF-8 is named in the font's letters.
	to_install("All/caf\xC3\xA9 \xE3\x81\x82/b/one.txt");
	to_install("All/z/one.txt");
	write_file(dest_dir_path + "caf\xC3\xA9 \xE3\x81\x82", "a file in the way");
	EXPECT_EQ(make_dirs(), ENOTDIR);
	ASSERT_EQ(alerts_.alerts().size(), 1u);
	const kx_test::RecordedAlert a = alerts_.alerts()[0];
	EXPECT_EQ(a.type, t_alert);
	EXPECT_EQ(a.line1,
	          "I am unable to install or update Kestrix. An error occurred while creating new folders. Make sure "
	          "you are installing to a directory that you have access to!");
	EXPECT_EQ(a.line2, "Error: " + error_str(ENOTDIR));
	EXPECT_EQ(a.line3, "Install Location: " + dest_dir_path);
	EXPECT_EQ(a.line4, "Install Path:" + dest_dir_path + "caf\xE9 ?");  // the file standing where a folder belongs
	EXPECT_FALSE(exists(dest_dir_path + "z"));  // later folders are not attempted
	EXPECT_FALSE(exists(dest_dir_path + "Output"));
}

TEST_F(Folders, NothingIsMadeOrMovedThroughALinkInTheInstallFolder)
{
	const std::string res = env_.path("elsewhere/res/");
	const std::string out = env_.path("elsewhere/out/");
	write_file(res + "plugins/VTLM.framework/Versions/Current/lib", "theirs");
	write_file(res + "plugins/VTLM.framework/Resources/info", "theirs");
	write_file(out + ".keep", "");
	write_file(dest_dir_path + ".keep", "");
	ASSERT_EQ(symlink(res.c_str(), (dest_dir_path + "Resources").c_str()), 0);
	ASSERT_EQ(symlink(out.c_str(), (dest_dir_path + "Output").c_str()), 0);
	ASSERT_EQ(make_dirs(), 0);
	EXPECT_FALSE(exists(res + "preferences"));
	EXPECT_FALSE(exists(out + "FMS plans"));
	EXPECT_TRUE(is_dir(res + "plugins/VTLM.framework/Versions/Current"));
	EXPECT_TRUE(is_dir(res + "plugins/VTLM.framework/Resources"));
	EXPECT_FALSE(exists(res + "plugins/VTLM.framework/Versions/_Current"));
	EXPECT_FALSE(exists(res + "plugins/VTLM.framework/_Resources"));
}

TEST_F(Folders, BundleFoldersAreMovedAsideButLinksStay)
{
	const std::string lm = dest_dir_path + "Resources/plugins/VTLM.framework/";
	const std::string wg = dest_dir_path + "Resources/plugins/VTWidgets.framework/";
	write_file(lm + "Versions/Current/lib", "old");
	write_file(lm + "Resources/info", "old");
	write_file(wg + "Versions/A/lib", "new");
	ASSERT_EQ(symlink("A", (wg + "Versions/Current").c_str()), 0);
	ASSERT_EQ(symlink("Versions/Current/Resources", (wg + "Resources").c_str()), 0);

	ASSERT_EQ(make_dirs(), 0);
	EXPECT_EQ(read_file(lm + "Versions/_Current/lib"), "old");
	EXPECT_FALSE(exists(lm + "Versions/Current"));
	EXPECT_EQ(read_file(lm + "_Resources/info"), "old");
	std::string target;
	EXPECT_EQ(is_sim_link((wg + "Versions/Current").c_str(), &target), 1);
	EXPECT_EQ(target, "A");
	EXPECT_EQ(is_sim_link((wg + "Resources").c_str(), nullptr), 1);
	EXPECT_FALSE(exists(wg + "_Resources"));
}

TEST_F(Folders, NoFolderIsMadeThroughALinkOrOutsideTheInstallFolder)
{
	const std::string outside = env_.path("outside/");
	ASSERT_TRUE(write_file(outside + "keep.txt", "x"));
	ASSERT_TRUE(write_file(dest_dir_path + ".keep", ""));
	ASSERT_EQ(symlink(outside.c_str(), (dest_dir_path + "linked").c_str()), 0);
	to_install("All/linked/sub/x.txt");
	to_install("All/../escape/x.txt");
	ASSERT_EQ(make_dirs(), 0);
	EXPECT_FALSE(exists(outside + "sub"));
	EXPECT_FALSE(exists(env_.path("deep/escape")));
}

TEST_F(Folders, DeletionRemovesFilesAndTheFoldersLeftEmpty)
{
	write_file(dest_dir_path + "a/b/only.txt", "x");
	write_file(dest_dir_path + "c/d/only.txt", "x");
	write_file(dest_dir_path + "c/stays.txt", "x");
	write_file(dest_dir_path + "e/hidden/.DS_Store", "x");
	write_file(dest_dir_path + "e/hidden/gone.txt", "x");
	file_version_struct& a = to_remove("All/a/b/only.txt");
	to_remove("Linux/c/d/only.txt");
	to_remove("All/e/hidden/gone.txt");
	file_version_struct& missing = to_remove("All/never/there.txt");
	file_version_struct& kept = add_history(version("All/c/stays.txt", kSig));
	kept.sig_have = kSig;
	kept.have = 1;

	delete_files();
	EXPECT_FALSE(exists(dest_dir_path + "a"));  // a/b/ went, then a/
	EXPECT_FALSE(exists(dest_dir_path + "c/d"));
	EXPECT_TRUE(exists(dest_dir_path + "c/stays.txt"));
	EXPECT_TRUE(exists(dest_dir_path + "e/hidden/.DS_Store"));  // a folder that still holds anything stays
	EXPECT_FALSE(exists(dest_dir_path + "e/hidden/gone.txt"));
	EXPECT_TRUE(is_dir(dest_dir_path));
	EXPECT_EQ(a.have, 0);
	EXPECT_EQ(a.sig_have, "NONE");
	EXPECT_EQ(missing.sig_have, "NONE");
	EXPECT_EQ(kept.have, 1);
	EXPECT_EQ(stg.file_state, 0);
	EXPECT_TRUE(alerts_.alerts().empty());
}

TEST_F(Folders, DeletionLogsEachActionWhenAsked)
{
	xer.open(env_.path("log.txt"));
	stg.log_actions = 1;
	write_file(dest_dir_path + "a/x.txt", "x");
	to_remove("All/a/x.txt");
	to_remove("All/a/missing.txt");
	delete_files();
	xer.close();
	const std::string log = read_file(env_.path("log.txt"));
	EXPECT_NE(log.find("DELETING  file " + dest_dir_path + "a/x.txt, with result=0.\n"), std::string::npos);
	EXPECT_NE(log.find("DELETING  file " + dest_dir_path + "a/missing.txt, with result=" + std::to_string(ENOENT) +
	                   ".\n"),
	          std::string::npos);
	EXPECT_NE(log.find("cleanup: DELETING  file " + dest_dir_path + "a/, with result=0.\n"), std::string::npos);
}

TEST_F(Folders, NothingIsDeletedThroughALinkOrOutsideTheInstallFolder)
{
	const std::string outside = env_.path("outside/");
	write_file(outside + "victim.txt", "precious");
	write_file(env_.path("deep/victim.txt"), "precious");
	write_file(dest_dir_path + "real.txt", "x");
	ASSERT_EQ(symlink(outside.c_str(), (dest_dir_path + "linked").c_str()), 0);
	ASSERT_EQ(symlink((outside + "victim.txt").c_str(), (dest_dir_path + "alias.txt").c_str()), 0);
	to_remove("All/linked/victim.txt");
	to_remove("All/../victim.txt");
	to_remove("All/alias.txt");  // the link itself goes, never its target
	delete_files();
	EXPECT_EQ(read_file(outside + "victim.txt"), "precious");
	EXPECT_EQ(read_file(env_.path("deep/victim.txt")), "precious");
	EXPECT_FALSE(exists(dest_dir_path + "alias.txt"));
	EXPECT_TRUE(exists(dest_dir_path + "linked"));
}

// A file that cannot be removed (another user's, an immutable one) was not removed: it
// is counted, logged with the reason whatever the log switch says, and stays present in
// the file list, so the map and the next run see it. So is a removal refused for a link
// on the way, whose log names the link. A file already gone is no failure, nor is one
// whose folder is a file now (no file can stand below it).
TEST_F(Folders, AFileThatCannotBeRemovedIsCountedLoggedAndKeptAsPresent)
{
	xer.open(env_.path("log.txt"));
	const std::string tile = "Global Scenery/+40-080/+40-080.dsf";
	write_file(dest_dir_path + tile, "tile");
	write_file(dest_dir_path + "a/gone.txt", "x");
	const std::string elsewhere = env_.path("elsewhere/");
	write_file(elsewhere + "theirs.txt", "theirs");
	ASSERT_EQ(symlink(elsewhere.c_str(), (dest_dir_path + "moved").c_str()), 0);
	file_version_struct& stuck = add_tile("All/" + tile, kSig, 13, 10, kSig);
	stuck.remove = 1;
	file_version_struct& gone = to_remove("All/a/gone.txt");
	file_version_struct& missing = to_remove("All/never/there.txt");
	file_version_struct& linked = to_remove("All/moved/theirs.txt");
	write_file(dest_dir_path + "plain", "a file where a folder was");
	file_version_struct& below_a_file = to_remove("All/plain/old.txt");
	kx_test::ScopedUndeletable lock(dest_dir_path + tile);
	if (!lock.ok()) GTEST_SKIP() << "no way to make a file undeletable here";

	EXPECT_EQ(delete_files(), 2);
	xer.close();
	EXPECT_EQ(read_file(dest_dir_path + tile), "tile");
	EXPECT_EQ(stuck.have, 1);
	EXPECT_EQ(stuck.sig_have, kSig);
	for (int& w : stg.scenery_selected) w = 0;
	scenery_from_install();
	EXPECT_EQ(stg.scenery_selected[stg_tile(13, 10)], 1) << "the map shows the tile still installed";
	EXPECT_EQ(read_file(elsewhere + "theirs.txt"), "theirs");
	EXPECT_EQ(linked.sig_have, kSig);
	// The other removals went as before.
	EXPECT_FALSE(exists(dest_dir_path + "a"));
	EXPECT_EQ(gone.sig_have, "NONE");
	EXPECT_EQ(missing.sig_have, "NONE");
	EXPECT_EQ(below_a_file.sig_have, "NONE");
	EXPECT_EQ(read_file(dest_dir_path + "plain"), "a file where a folder was");

	const std::string log = read_file(env_.path("log.txt"));
	EXPECT_NE(log.find("DELETING  file " + dest_dir_path + tile + ", with result="), std::string::npos) << log;
	EXPECT_NE(log.find("Could not delete " + dest_dir_path + tile + ": "), std::string::npos) << log;
	EXPECT_NE(log.find("Could not delete " + dest_dir_path + "moved/theirs.txt: the folder " + dest_dir_path +
	                   "moved on its way is a symbolic link"),
	          std::string::npos)
	    << log;
	EXPECT_EQ(log.find("never/there.txt"), std::string::npos) << "a file already gone is no failure: " << log;
	EXPECT_TRUE(alerts_.alerts().empty());
}

TEST_F(Folders, LeftoversOfARunEndedByForceAreCleared)
{
	// The temporary names of a process that is gone, of this one, and of one that
	// still runs (pid 1 always does).
	const pid_t gone = fork();
	if (gone == 0) _exit(0);
	waitpid(gone, nullptr, 0);
	const std::string dead = std::string(kx_temp_mark) + std::to_string(gone) + "-";
	const std::string mine = std::string(kx_temp_mark) + std::to_string(getpid()) + "-9";
	const std::string alive = std::string(kx_temp_mark) + "1-4";
	write_file(dest_dir_path + "a/" + dead + "7", "torn");
	write_file(dest_dir_path + dead + "3", "torn");
	write_file(dest_dir_path + mine, "torn");
	write_file(dest_dir_path + alive, "someone else's");
	write_file(dest_dir_path + "b/" + dead + "3", "torn");
	write_file(dest_dir_path + "c/" + dead + "3", "torn");
	to_install("All/a/x.txt");
	file_version_struct& current = add_history(version("All/b/z.txt", kSig));
	current.sig_have = kSig;
	ASSERT_EQ(make_dirs(), 0);
	EXPECT_FALSE(exists(dest_dir_path + "a/" + dead + "7"));
	EXPECT_FALSE(exists(dest_dir_path + dead + "3"));
	EXPECT_FALSE(exists(dest_dir_path + mine));
	EXPECT_TRUE(exists(dest_dir_path + alive));
	EXPECT_FALSE(exists(dest_dir_path + "b/" + dead + "3"));  // folders of files not installed too
	EXPECT_TRUE(exists(dest_dir_path + "c/" + dead + "3"));   // not a folder of the product
}

TEST(InstallPaths, FolderOf)
{
	EXPECT_EQ(ENG_folder_of("/x/a/b.txt"), "/x/a/");
	EXPECT_EQ(ENG_folder_of("/x/a/"), "/x/");
	EXPECT_EQ(ENG_folder_of("b.txt"), "");
}
