#include "runtime/io_safe_path.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "runtime/hl_errors.h"
#include "support/archive_tools.h"
#include "support/test_env.h"

using namespace kx_test;

namespace {

TEST(SafePath, EntryNamesThatLeaveTheDestinationAreRefused)
{
	TempEnv env;
	std::string d = env.path("d/");
	mkdir(d.c_str(), 0755);
	for (const char* ok : {"a", "a/b/c.txt", "a/", "./a", "a/./b", "..a", "a..", "a/..b/c", "a//b"})
		EXPECT_EQ(check_entry_name(d, ok), 0) << ok;
	for (const std::string& bad : {std::string(""), std::string("/etc/passwd"), std::string(".."), std::string("../x"),
	                               std::string("a/../../x"), std::string("a/.."), std::string("a/../b"),
	                               std::string("a\0b", 3)})
		EXPECT_EQ(check_entry_name(d, bad), err_zip_open) << printable_name(bad);
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
}

TEST(SafePath, LinkTargetsMustStayInside)
{
	const std::string d = "/srv/kx/";
	EXPECT_EQ(check_link_target(d, "l", "x"), 0);
	EXPECT_EQ(check_link_target(d, "l", "sub/../x"), 0);
	EXPECT_EQ(check_link_target(d, "a/b/l", "../../x"), 0);
	EXPECT_EQ(check_link_target(d, "a/b/l", "../lib/x"), 0);
	EXPECT_EQ(check_link_target(d, "l", "/srv/kx/lib"), 0);
	EXPECT_EQ(check_link_target(d, "l", "/srv/kx"), 0);
	EXPECT_EQ(check_link_target(d, "l", "../x"), err_zip_open);
	EXPECT_EQ(check_link_target(d, "a/b/l", "../../../x"), err_zip_open);
	EXPECT_EQ(check_link_target(d, "l", "x/../../y"), err_zip_open);
	EXPECT_EQ(check_link_target(d, "l", "/etc"), err_zip_open);
	EXPECT_EQ(check_link_target(d, "l", "/srv/kxother"), err_zip_open);
	EXPECT_EQ(check_link_target(d, "l", "/srv/kx/../x"), err_zip_open);
	EXPECT_EQ(check_link_target(d, "l", ""), err_zip_open);
	EXPECT_EQ(check_link_target(d, "l", std::string("a\0b", 3)), err_zip_open);
	EXPECT_EQ(check_link_target("rel/", "l", "/rel/x"), err_zip_open);
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
