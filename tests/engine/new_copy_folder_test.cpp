// A new copy's folder belongs to the run that made it, and cancelling that run takes
// back what the run put there and nothing the user did.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engine/install.h"
#include "engine/install_fixture.h"
#include "engine/new_copy_folder.h"

using namespace kx_install_test;
using kx_test::read_file;
using kx_test::write_file;

namespace {

class NewCopyFolder : public ::testing::Test {
protected:
	NewCopyFolder() : setup(env) {}
	~NewCopyFolder() override
	{
		install_files_kill();
		ENG_forget_new_copy();
		reset_engine_state();
	}
	// Makes the folder, then installs three files into it as a run does.
	void install_new_copy()
	{
		master(setup, {{"All/a.txt", "a"}, {"All/sub/b.txt", "b"}, {"All/sub/deeper/c.txt", "c"}});
		ASSERT_EQ(ENG_make_new_copy_folder(), 0);
		ASSERT_EQ(choose_files(), 1);
		ASSERT_EQ(make_dirs(), 0);
		int cursor = 0;
		ASSERT_EQ(step_until_done(cursor), 1);
		ASSERT_EQ(read_file(dest_dir_path + "sub/deeper/c.txt"), "c");
	}

	kx_test::TempEnv env;
	run_setup setup;
};

// A folder that is there before the run is never the run's, whoever made it and even
// when it is empty; so is a folder put in place of the one the run made.
TEST_F(NewCopyFolder, OnlyTheFolderThisRunMadeIsItsOwn)
{
	kx_test::AlertRecorder alerts;
	write_file(dest_dir_path + "mine.txt", "user");
	EXPECT_EQ(ENG_make_new_copy_folder(), EEXIST);
	EXPECT_FALSE(ENG_take_back_new_copy());
	EXPECT_EQ(read_file(dest_dir_path + "mine.txt"), "user");
	EXPECT_TRUE(alerts.alerts().empty()) << "the destination screen says it exists";

	dest_dir_path = env.path("empty/");
	ASSERT_EQ(::mkdir(dest_dir_path.c_str(), 0755), 0);
	EXPECT_EQ(ENG_make_new_copy_folder(), EEXIST);
	EXPECT_FALSE(ENG_take_back_new_copy());
	EXPECT_TRUE(is_dir(dest_dir_path));

	dest_dir_path = env.path("made/");
	ASSERT_EQ(ENG_make_new_copy_folder(), 0);
	ASSERT_EQ(::rename(env.path("made").c_str(), env.path("moved").c_str()), 0);
	ASSERT_EQ(::mkdir(env.path("made").c_str(), 0755), 0);
	EXPECT_FALSE(ENG_take_back_new_copy());
	EXPECT_TRUE(is_dir(dest_dir_path));

	// No parents are made: a missing parent is an error the user is shown.
	dest_dir_path = env.path("gone/copy/");
	EXPECT_EQ(ENG_make_new_copy_folder(), ENOENT);
	EXPECT_FALSE(exists(env.path("gone")));
	ASSERT_EQ(alerts.alerts().size(), 1u);
	EXPECT_EQ(alerts.alerts()[0].line4, "Install Path:" + dest_dir_path);

	// A file or a dangling link of the name is no folder: the destination screen, which
	// looks for a folder, would say it can be made, so the run says why it cannot.
	write_file(env.path("a file"), "user");
	ASSERT_EQ(::symlink(env.path("nowhere").c_str(), env.path("a link").c_str()), 0);
	for (const char* name : {"a file/", "a link/"}) {
		dest_dir_path = env.path(name);
		EXPECT_EQ(ENG_make_new_copy_folder(), EEXIST) << name;
		EXPECT_FALSE(ENG_take_back_new_copy()) << name;
	}
	ASSERT_EQ(alerts.alerts().size(), 3u);
	EXPECT_EQ(alerts.alerts()[1].line4, "Install Path:" + env.path("a file/"));
	EXPECT_EQ(alerts.alerts()[2].line4, "Install Path:" + env.path("a link/"));
	EXPECT_EQ(read_file(env.path("a file")), "user");
	EXPECT_FALSE(exists(env.path("nowhere")));
}

// What the user put in the copy while it was being installed stays, with the folders
// holding it: a new file, a file in a folder of the run, a folder of its own (empty or
// not), and a file saved over one the run installed. The rest goes, the run's empty
// folders with it.
TEST_F(NewCopyFolder, CancelLeavesEveryUserFileAndItsFolders)
{
	install_new_copy();
	const std::string copy = dest_dir_path;
	write_file(copy + "user.txt", "u");
	write_file(copy + "sub/mine.txt", "m");
	write_file(copy + "Mine/keep.txt", "k");
	ASSERT_EQ(::mkdir((copy + "Empty of mine").c_str(), 0755), 0);
	ASSERT_EQ(::mkdir((copy + "Output/logbooks/2026").c_str(), 0755), 0);
	write_file(copy + "sub/deeper/saved.tmp", "edited");
	ASSERT_EQ(::rename((copy + "sub/deeper/saved.tmp").c_str(), (copy + "sub/deeper/c.txt").c_str()), 0);

	EXPECT_FALSE(ENG_take_back_new_copy());
	EXPECT_EQ(read_file(copy + "user.txt"), "u");
	EXPECT_EQ(read_file(copy + "sub/mine.txt"), "m");
	EXPECT_EQ(read_file(copy + "Mine/keep.txt"), "k");
	EXPECT_EQ(read_file(copy + "sub/deeper/c.txt"), "edited");
	EXPECT_TRUE(is_dir(copy + "Empty of mine"));
	EXPECT_TRUE(is_dir(copy + "Output/logbooks/2026"));
	EXPECT_FALSE(exists(copy + "a.txt"));
	EXPECT_FALSE(exists(copy + "sub/b.txt"));
	EXPECT_FALSE(exists(copy + "Output/movies"));
	EXPECT_FALSE(exists(copy + "Resources"));

	// Untouched by the user, the copy goes whole.
	sim_info.clear();
	dest_dir_path = env.path("clean/");
	install_new_copy();
	EXPECT_TRUE(ENG_take_back_new_copy());
	EXPECT_FALSE(exists(env.path("clean")));
}

// A folder of the copy that the user moved away and left a link to in its place holds
// the very files the run put there, now the user's: nothing is removed through the link.
TEST_F(NewCopyFolder, CancelRemovesNothingThroughALink)
{
	install_new_copy();
	const std::string moved = env.path("elsewhere/sub");
	ASSERT_EQ(::mkdir(env.path("elsewhere").c_str(), 0755), 0);
	ASSERT_EQ(::rename((dest_dir_path + "sub").c_str(), moved.c_str()), 0);
	ASSERT_EQ(::symlink(moved.c_str(), (dest_dir_path + "sub").c_str()), 0);
	ASSERT_EQ(::unlink((moved + "/deeper/c.txt").c_str()), 0);

	EXPECT_FALSE(ENG_take_back_new_copy());
	EXPECT_EQ(read_file(moved + "/b.txt"), "b");
	EXPECT_TRUE(is_dir(moved + "/deeper"));
	EXPECT_FALSE(exists(dest_dir_path + "a.txt"));
}

// A file system mounted in the copy is not touched: an empty folder there stays, even
// one named like a folder of the product.
TEST_F(NewCopyFolder, CancelStaysOnTheCopysFileSystem)
{
	install_new_copy();
	kx_test::ScopedTmpfs mounted(dest_dir_path + "sub");
	if (!mounted.ok()) GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
	ASSERT_EQ(::mkdir((dest_dir_path + "sub/deeper").c_str(), 0755), 0);
	EXPECT_FALSE(ENG_take_back_new_copy());
	EXPECT_TRUE(is_dir(dest_dir_path + "sub/deeper"));
	EXPECT_FALSE(exists(dest_dir_path + "a.txt"));
}

}  // namespace
