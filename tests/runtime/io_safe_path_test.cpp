#include "runtime/io_safe_path.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "runtime/hl_errors.h"
#include "runtime/xer_stream.h"
#include "support/archive_tools.h"
#include "support/hostile_paths.h"
#include "support/test_env.h"

using namespace kx_test;

namespace {

TEST(SafePath, EntryNamesThatLeaveTheDestinationAreRefused)
{
	TempEnv env;
	std::string d = env.path("d/");
	mkdir(d.c_str(), 0755);
	for (const path_case& c : hostile_paths()) {
		EXPECT_EQ(path_stays_inside(c.path), c.stays_inside) << xer_escaped(c.path);
		EXPECT_EQ(check_entry_name(d, c.path), c.stays_inside ? 0 : err_zip_open) << xer_escaped(c.path);
	}
}

TEST(SafePath, ExistingLinksAndFilesInTheFolderPartAreRefused)
{
	TempEnv env;
	std::string d = env.path("d/");
	mkdir(d.c_str(), 0755);
	mkdir((d + "real").c_str(), 0755);
	write_file(d + "file", "x");
	symlink(env.root().c_str(), (d + "link").c_str());
	symlink("real", (d + "inner").c_str());
	EXPECT_EQ(check_entry_name(d, "real/x"), 0);
	EXPECT_EQ(check_entry_name(d, "real/missing/x"), 0);  // creating it fails later, inside
	EXPECT_EQ(check_entry_name(d, "link"), 0);            // replaced, not written through
	EXPECT_EQ(check_entry_name(d, "link/x"), err_zip_open);
	EXPECT_EQ(check_entry_name(d, "link/"), err_zip_open);
	EXPECT_EQ(check_entry_name(d, "inner/x"), err_zip_open);  // even a link that stays inside
	EXPECT_EQ(check_entry_name(d, "file/x"), err_zip_open);
	EXPECT_EQ(check_entry_name(d, "real/../link/x"), err_zip_open);
	// A file named "." would be written inside the folder before it, link or not.
	EXPECT_EQ(check_entry_name(d, "link/."), err_zip_open);
	EXPECT_EQ(check_entry_name(d, "real/."), err_zip_open);
	EXPECT_EQ(check_entry_name(d, "."), err_zip_open);
	EXPECT_EQ(check_entry_name(d, "real/./"), err_zip_open);
}

TEST(SafePath, OneFolderWalkerChecksAndMakes)
{
	TempEnv env;
	std::string d = env.path("d/");
	mkdir(d.c_str(), 0755);
	mkdir(env.path("out").c_str(), 0755);
	symlink(env.path("out").c_str(), (d + "link").c_str());
	write_file(d + "file", "x");
	struct stat st;
	EXPECT_EQ(walk_folder_chain(d, "a/b/", false), 0);
	EXPECT_NE(lstat((d + "a").c_str(), &st), 0);
	EXPECT_EQ(walk_folder_chain(d, "a/b/", true), 0);
	EXPECT_TRUE(lstat((d + "a/b").c_str(), &st) == 0 && S_ISDIR(st.st_mode));
	EXPECT_EQ(walk_folder_chain(d, "a/b", true), 0);
	EXPECT_EQ(walk_folder_chain(d, "link/x", true), ELOOP);
	// The first link on the way is named, also below a real folder.
	symlink(env.path("out").c_str(), (d + "a/b/deeper").c_str());
	std::string link;
	EXPECT_EQ(walk_folder_chain(d, "a/b/deeper/link/x/", false, &link), ELOOP);
	EXPECT_EQ(link, d + "a/b/deeper");
	EXPECT_EQ(walk_folder_chain(d, "file/x", true), ENOTDIR);
	EXPECT_EQ(tree_listing(env.path("out")).size(), 0u);
}

TEST(SafePath, LinkTargetsMustStayInside)
{
	TempEnv env;
	const std::string d = env.path("kx/");
	mkdir(d.c_str(), 0755);
	for (const char* f : {"sub", "a", "a/b", "lib"}) mkdir((d + f).c_str(), 0755);
	EXPECT_EQ(check_link_target(d, "l", "x"), 0);
	EXPECT_EQ(check_link_target(d, "l", "sub/../x"), 0);
	EXPECT_EQ(check_link_target(d, "l", "./x"), 0);
	EXPECT_EQ(check_link_target(d, "a/b/l", "../../x"), 0);
	EXPECT_EQ(check_link_target(d, "a/b/l", "../lib/x"), 0);
	EXPECT_EQ(check_link_target(d, "l", d + "lib"), 0);
	EXPECT_EQ(check_link_target(d, "l", d.substr(0, d.size() - 1)), 0);
	EXPECT_EQ(check_link_target(d, "l", "../x"), err_zip_open);
	EXPECT_EQ(check_link_target(d, "a/b/l", "../../../x"), err_zip_open);
	EXPECT_EQ(check_link_target(d, "l", "x/../../y"), err_zip_open);
	EXPECT_EQ(check_link_target(d, "l", "/etc"), err_zip_open);
	EXPECT_EQ(check_link_target(d, "l", env.path("kxother")), err_zip_open);
	EXPECT_EQ(check_link_target(d, "l", d + "../x"), err_zip_open);
	EXPECT_EQ(check_link_target(d, "l", ""), err_zip_open);
	EXPECT_EQ(check_link_target(d, "l", std::string("a\0b", 3)), err_zip_open);
	EXPECT_EQ(check_link_target("rel/", "l", "/rel/x"), err_zip_open);

	// Two links together: x points at ".", so "x/.." is the folder above d. A ".." may
	// only climb out of a real folder, never out of a link or something not there.
	ASSERT_EQ(symlink(".", (d + "x").c_str()), 0);
	EXPECT_EQ(check_link_target(d, "y", "x/.."), err_zip_open);
	EXPECT_EQ(check_link_target(d, "y", "x/x/../.."), err_zip_open);
	EXPECT_EQ(check_link_target(d, "y", "missing/.."), err_zip_open);
	EXPECT_EQ(check_link_target(d, "y", d + "x/.."), err_zip_open);
	EXPECT_EQ(check_link_target(d, "y", "x/lib"), 0);  // through a link that stays inside
}

TEST(SafePath, UnpackFileReplacesOnlyOnCommit)
{
	TempEnv env;
	std::string d = env.path("d/");
	mkdir(d.c_str(), 0755);
	write_file(d + "f", "old");
	{
		unpack_file f;
		ASSERT_EQ(f.open(d + "f"), 0);
		ASSERT_EQ(f.write("new", 3), 0);
		// dropped without commit: the old file stays and nothing else is left
	}
	EXPECT_EQ(read_file(d + "f"), "old");
	EXPECT_EQ(tree_listing(d).size(), 1u);
	{
		unpack_file f;
		ASSERT_EQ(f.open(d + "f"), 0);
		ASSERT_EQ(f.write("new", 3), 0);
		ASSERT_EQ(f.set_mode(0600), 0);
		ASSERT_EQ(f.set_time(1000000000), 0);
		ASSERT_EQ(f.commit(), 0);
	}
	EXPECT_EQ(read_file(d + "f"), "new");
	struct stat st;
	ASSERT_EQ(stat((d + "f").c_str(), &st), 0);
	EXPECT_EQ(st.st_mode & 0777, 0600u);
	EXPECT_EQ(st.st_mtime, 1000000000);
	unpack_file f;
	EXPECT_EQ(f.open(d + "missing/f"), ENOENT);
	EXPECT_EQ(f.write("x", 1), EBADF);

	mkdir((d + "dir").c_str(), 0755);
	write_file(d + "dir/inside", "x");
	ASSERT_EQ(f.open(d + "dir"), 0);
	EXPECT_EQ(f.commit(), EISDIR);
	EXPECT_EQ(tree_listing(d).size(), 3u);

	ASSERT_EQ(replace_with_symlink("f", d + "ln"), 0);
	ASSERT_EQ(replace_with_symlink("dir/inside", d + "ln"), 0);
	EXPECT_EQ(read_file(d + "ln"), "x");
}

}  // namespace
