#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>

#include "runtime/hl_errors.h"
#include "runtime/io_safe_path.h"
#include "runtime/io_utils.h"
#include "support/archive_tools.h"
#include "support/test_env.h"

using kx_test::AlertExit;
using kx_test::AlertRecorder;
using kx_test::read_file;
using kx_test::run_with_failing_calls;
using kx_test::run_with_file_limit;
using kx_test::TempEnv;
using kx_test::write_file;

namespace {
mode_t mode_of(const std::string& p)
{
	struct stat st;
	return lstat(p.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

bool exists(const std::string& p)
{
	struct stat st;
	return lstat(p.c_str(), &st) == 0;
}
}  // namespace

TEST(CopyFile, BytesAndModeOfFilesOfAnySize)
{
	TempEnv env;
	std::string block(65536 * 2, 0);
	for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 31);
	const std::pair<const char*, std::string> cases[] = {{"empty", ""}, {"block", block}, {"odd", block + "xyz"}};
	for (const auto& c : cases) {
		write_file(env.path(c.first), c.second);
		chmod(env.path(c.first).c_str(), 0750);
		ASSERT_EQ(copy_file(env.path(c.first), env.path(std::string(c.first) + ".copy")), 0);
		EXPECT_EQ(read_file(env.path(std::string(c.first) + ".copy")), c.second);
		EXPECT_EQ(mode_of(env.path(std::string(c.first) + ".copy")), 0750u);
	}
	EXPECT_EQ(copy_file(env.path("missing"), env.path("x")), 2);
	EXPECT_EQ(copy_file(env.path("odd"), env.path("no/such/folder/x")), 2);
	EXPECT_FALSE(exists(env.path("x")));
}

TEST(CopyFile, ReplacesWholeAndCopiesLinksAsContent)
{
	TempEnv env;
	write_file(env.path("new"), "new content");
	write_file(env.path("old"), "old content that is longer");
	ASSERT_EQ(copy_file(env.path("new"), env.path("old")), 0);
	EXPECT_EQ(read_file(env.path("old")), "new content");

	// A source link gives the bytes it points to; a destination link is replaced, and
	// what it pointed to is left alone.
	ASSERT_EQ(symlink("new", env.path("src-link").c_str()), 0);
	ASSERT_EQ(copy_file(env.path("src-link"), env.path("from-link")), 0);
	EXPECT_EQ(read_file(env.path("from-link")), "new content");
	write_file(env.path("victim"), "keep me");
	ASSERT_EQ(symlink(env.path("victim").c_str(), env.path("dst-link").c_str()), 0);
	ASSERT_EQ(copy_file(env.path("new"), env.path("dst-link")), 0);
	EXPECT_EQ(read_file(env.path("victim")), "keep me");
	EXPECT_EQ(read_file(env.path("dst-link")), "new content");
	EXPECT_EQ(is_sim_link(env.path("dst-link").c_str(), nullptr), 0);

	// A folder as source fails, and the old destination survives.
	EXPECT_NE(copy_file(env.root(), env.path("old")), 0);
	EXPECT_EQ(read_file(env.path("old")), "new content");
	std::vector<std::string> names;
	std::vector<int> types;
	opensave_getitems(env.root(), 0, names, types);
	for (const std::string& n : names) EXPECT_EQ(n.find(kx_temp_mark), std::string::npos);
}

// Each step of a copy that fails gives that step's own errno; the old copy stays whole
// and no private file is left beside it.
TEST(CopyFile, EachFailedStepGivesItsErrnoAndKeepsTheOldCopy)
{
	TempEnv env;
	// What a copy reads and writes at a time: a source of two pieces meets a file limit
	// of one with a write that fails after one that succeeded.
	constexpr size_t kCopyPiece = 65536;
	constexpr size_t kSourceBytes = 2 * kCopyPiece;
	constexpr long long kFileLimit = kCopyPiece;
	const std::string old = "the old copy";
	write_file(env.path("src"), std::string(kSourceBytes, 's'));
	ASSERT_EQ(mkdir(env.path("folder").c_str(), 0755), 0);
	write_file(env.path("file"), "a file where a folder belongs");
	const std::string src = env.path("src"), dst = env.path("old");
	const auto copy = [&] { return copy_file(src, dst); };
	struct Row {
		const char* what;
		std::function<int()> run;
		int err;
	};
	const Row rows[] = {
	    {"the source cannot be opened", [&] { return copy_file(env.path("missing"), dst); }, ENOENT},
	    {"the destination is a folder", [&] { return copy_file(src, env.path("folder")); }, EISDIR},
	    {"the private file cannot be made", [&] { return copy_file(src, env.path("file/x")); }, ENOTDIR},
	    {"a read fails", [&] { return run_with_failing_calls({SYS_read}, EIO, copy); }, EIO},
	    {"a write fails", [&] { return run_with_file_limit(kFileLimit, copy); }, EFBIG},
	    {"the rename fails", [&] { return run_with_failing_calls({SYS_rename, SYS_renameat, SYS_renameat2}, ENOSPC, copy); },
	     ENOSPC},
	};
	for (const Row& r : rows) {
		SCOPED_TRACE(r.what);
		write_file(dst, old);
		EXPECT_EQ(r.run(), r.err);
		EXPECT_EQ(read_file(dst), old);
		EXPECT_TRUE(kx_test::tree_listing(env.path("folder")).empty()) << "the folder is left as it was";
		for (const std::string& l : kx_test::tree_listing(env.root())) EXPECT_EQ(l.find(kx_temp_mark), std::string::npos) << l;
	}
}

TEST(CopyFile, TreesWithModesAndLinks)
{
	TempEnv env;
	write_file(env.path("src/a.txt"), "a");
	write_file(env.path("src/sub/b.bin"), "bb");
	write_file(env.path("src/.hidden"), "h");
	chmod(env.path("src/sub/b.bin").c_str(), 0700);
	ASSERT_EQ(symlink("a.txt", env.path("src/link").c_str()), 0);
	ASSERT_EQ(copy_file_recursive(env.path("src"), env.path("dst")), 0);
	EXPECT_EQ(read_file(env.path("dst/a.txt")), "a");
	EXPECT_EQ(read_file(env.path("dst/sub/b.bin")), "bb");
	EXPECT_EQ(mode_of(env.path("dst/sub/b.bin")), 0700u);
	EXPECT_EQ(read_file(env.path("dst/link")), "a");
	EXPECT_FALSE(exists(env.path("dst/.hidden")));
	ASSERT_EQ(copy_file_recursive(env.path("src/a.txt"), env.path("single")), 0);
	EXPECT_EQ(read_file(env.path("single")), "a");
	EXPECT_EQ(copy_file_recursive(env.path("nothing"), env.path("z")), 2);
}

TEST(FileOps, DeleteRenameMakeFolder)
{
	TempEnv env;
	EXPECT_EQ(delete_file(""), 2);
	write_file(env.path("full/file"), "x");
	EXPECT_EQ(delete_file(env.path("full/")), ENOTEMPTY);
	EXPECT_EQ(sErrLine, 246);
	EXPECT_EQ(delete_file(env.path("full/missing")), ENOENT);
	EXPECT_EQ(sErrLine, 252);
	EXPECT_EQ(delete_file(env.path("full/file")), 0);
	EXPECT_EQ(delete_file(env.path("full/")), 0);

	EXPECT_EQ(make_folder(env.path("made/")), 0);
	EXPECT_EQ(mode_of(env.path("made")) & 0755, 0755u);
	EXPECT_EQ(make_folder(env.path("made/")), EEXIST);
	EXPECT_EQ(make_folder(env.path("no/parent/")), ENOENT);
	EXPECT_EQ(sErrLine, 491);

	write_file(env.path("made/old"), "r");
	EXPECT_EQ(rename_file(env.path("made/"), "old", "new"), 0);
	EXPECT_EQ(read_file(env.path("made/new")), "r");
	EXPECT_EQ(rename_file(env.path("made/"), "old", "other"), ENOENT);
	EXPECT_EQ(sErrLine, 470);
}

TEST(FileOps, RecursiveDeleteKeepsHiddenFilesAndNeverFollowsLinks)
{
	TempEnv env;
	write_file(env.path("outside/precious"), "keep");
	write_file(env.path("tree/a"), "a");
	write_file(env.path("tree/x.txt/inner"), "folder named like a file");
	write_file(env.path("tree/sub/.hidden"), "h");
	write_file(env.path("tree/sub/b"), "b");
	ASSERT_EQ(symlink(env.path("outside").c_str(), env.path("tree/link").c_str()), 0);
	EXPECT_EQ(recursive_delete_folder(env.path("tree/")), ENOTEMPTY);
	EXPECT_FALSE(exists(env.path("tree/sub/b")));
	EXPECT_TRUE(exists(env.path("tree/sub/.hidden")));
	EXPECT_EQ(read_file(env.path("outside/precious")), "keep");

	unlink(env.path("tree/sub/.hidden").c_str());
	write_file(env.path("tree2/x.txt/inner"), "i");
	ASSERT_EQ(symlink(env.path("outside").c_str(), env.path("tree2/dirlink").c_str()), 0);
	ASSERT_EQ(symlink(env.path("outside/precious").c_str(), env.path("tree2/filelink").c_str()), 0);
	EXPECT_EQ(recursive_delete_folder(env.path("tree2/")), 0);
	EXPECT_FALSE(exists(env.path("tree2")));
	EXPECT_EQ(recursive_delete_folder(env.path("tree/")), 0);
	EXPECT_FALSE(exists(env.path("tree")));
	EXPECT_EQ(read_file(env.path("outside/precious")), "keep");

	// The folder named is itself a link: only the link goes.
	ASSERT_EQ(symlink(env.path("outside").c_str(), env.path("alias").c_str()), 0);
	EXPECT_EQ(recursive_delete_folder(env.path("alias/")), 0);
	EXPECT_FALSE(exists(env.path("alias")));
	EXPECT_EQ(read_file(env.path("outside/precious")), "keep");
}

// A file system mounted inside the tree is another one's: the delete ends at its mount
// point with that error, and nothing on it is touched.
TEST(FileOps, RecursiveDeleteNeverEntersAnotherFileSystem)
{
	TempEnv env;
	write_file(env.path("tree/a"), "a");
	ASSERT_EQ(::mkdir(env.path("tree/mnt").c_str(), 0755), 0);
	kx_test::ScopedTmpfs mounted(env.path("tree/mnt"));
	if (!mounted.ok()) GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
	write_file(env.path("tree/mnt/theirs"), "keep");
	ASSERT_EQ(::mkdir(env.path("tree/mnt/empty").c_str(), 0755), 0);
	EXPECT_NE(recursive_delete_folder(env.path("tree/")), 0);
	EXPECT_EQ(read_file(env.path("tree/mnt/theirs")), "keep");
	EXPECT_TRUE(exists(env.path("tree/mnt/empty")));
}

TEST(FileOps, TestsSizesAndExecutableMode)
{
	TempEnv env;
	write_file(env.path("f"), "12345");
	mkdir(env.path("d").c_str(), 0755);
	ASSERT_EQ(symlink("f", env.path("lf").c_str()), 0);
	ASSERT_EQ(symlink("d", env.path("ld").c_str()), 0);
	EXPECT_EQ(file_exists(env.path("f")), 1);
	EXPECT_EQ(file_exists(env.path("d")), 0);
	EXPECT_EQ(file_exists(env.path("lf")), 1);
	EXPECT_EQ(dir_exists(env.path("ld")), 1);
	EXPECT_EQ(dir_exists(env.path("f")), 0);
	EXPECT_EQ(file_exists(env.path("none")), 0);
	EXPECT_EQ(APL_file_size(env.path("f")), 5);
	EXPECT_EQ(APL_file_size(env.path("d")), -1);
	EXPECT_EQ(APL_file_size(env.path("none")), -1);

	std::string target;
	EXPECT_EQ(is_sim_link(env.path("lf").c_str(), &target), 1);
	EXPECT_EQ(target, "f");
	target = "same";
	EXPECT_EQ(is_sim_link(env.path("f").c_str(), &target), 0);
	EXPECT_EQ(target, "same");

	chmod(env.path("f").c_str(), 0600);
	EXPECT_EQ(make_file_executable(env.path("lf").c_str()), 0);
	EXPECT_EQ(mode_of(env.path("f")), 0600u);
	EXPECT_EQ(make_file_executable(env.path("f").c_str()), 0);
	EXPECT_EQ(mode_of(env.path("f")), 0755u);
	EXPECT_EQ(make_file_executable(env.path("none").c_str()), ENOENT);
}

TEST(Listing, SortedTypedAndFiltered)
{
	TempEnv env;
	write_file(env.path("l/b"), "");
	write_file(env.path("l/A"), "");
	write_file(env.path("l/a2"), "");
	write_file(env.path("l/.dot"), "");
	write_file(env.path("l/pic.PNG"), "");
	write_file(env.path("l/notes.txt/inner"), "");
	write_file(env.path("l/sub/x"), "");
	ASSERT_EQ(symlink("sub", env.path("l/sublink").c_str()), 0);
	std::vector<std::string> names;
	std::vector<int> types;
	ASSERT_EQ(opensave_getitems(env.path("l/"), 0, names, types), 7);
	EXPECT_EQ(names, (std::vector<std::string>{"A", "a2", "b", "notes.txt", "pic.PNG", "sub", "sublink"}));
	EXPECT_EQ(types, (std::vector<int>{0, 0, 0, 19, 2, 1, 0}));
	opensave_getitems(env.path("l/"), 1, names, types);
	EXPECT_EQ(names, (std::vector<std::string>{"sub"}));
	opensave_getitems(env.path("l/"), 2, names, types);
	EXPECT_EQ(names, (std::vector<std::string>{"pic.PNG", "sub"}));
	EXPECT_EQ(opensave_getitems(env.path("l/"), 20, names, types), 0);
	EXPECT_EQ(opensave_getitems(env.path("missing/"), 0, names, types), 0);
	EXPECT_TRUE(names.empty());

	AlertRecorder rec;
	EXPECT_THROW(opensave_getitems(env.path("l"), 0, names, types), AlertExit);
	EXPECT_EQ(rec.alerts().back().line3, "I need to end all paths with the directory indicator!");
}

TEST(Listing, CommandRegistryThroughTheHook)
{
	auto lister = [](const std::string& prefix, std::vector<std::string>& out) {
		if (prefix == "view/") out = {"zoom", "panels/"};
	};
	opensave_cmd_lister_fn old = opensave_set_cmd_lister(lister);
	std::vector<std::string> names;
	std::vector<int> types;
	EXPECT_EQ(opensave_getitems("view/", 21, names, types), 2);
	EXPECT_EQ(names, (std::vector<std::string>{"zoom", "panels"}));
	EXPECT_EQ(types, (std::vector<int>{0, 1}));
	opensave_set_cmd_lister(old);
}

TEST(Volumes, FreeSpaceMatchesStatvfs)
{
	TempEnv env;
	unsigned long long total = 0, free_bytes = 0;
	ASSERT_EQ(get_free_space(env.path("not/yet/made/"), &total, &free_bytes), 0);
	struct statvfs v;
	ASSERT_EQ(statvfs(env.root().c_str(), &v), 0);
	EXPECT_EQ(total, static_cast<unsigned long long>(v.f_blocks) * v.f_frsize);
	// Free space moves with other programs; it must be of the same volume's order.
	const unsigned long long want = static_cast<unsigned long long>(v.f_bavail) * v.f_frsize;
	EXPECT_LE(free_bytes, total);
	EXPECT_NEAR(static_cast<double>(free_bytes), static_cast<double>(want), 64.0 * 1024 * 1024);
	unsigned long long only_total = 0;
	EXPECT_EQ(get_free_space(env.root(), &only_total, nullptr), 0);
	EXPECT_EQ(only_total, total);
}

TEST(Volumes, EjectRefusesAFolderOnAFixedDisk)
{
	TempEnv env;
	write_file(env.path("disc/file"), "x");
	EXPECT_EQ(eject_dvd(env.path("disc/")), ENODEV);
	EXPECT_EQ(read_file(env.path("disc/file")), "x");
	EXPECT_EQ(eject_dvd(env.path("missing/")), ENOENT);
}

TEST(Volumes, DiscTestByVolumeNumber)
{
	TempEnv env;
	write_file(env.path("media/disc/file"), "x");
	kx_test::ScopedEnvVar roots("KESTRIX_MEDIA_ROOTS", env.path("media").c_str());
	// Volume 0 is the media folder, 1 the disc folder inside it; 2 is none.
	testing::internal::CaptureStdout();
	EXPECT_EQ(APL_is_dvd_disk(2), 0);
	EXPECT_EQ(APL_is_dvd_disk(-1), 0);
	EXPECT_EQ(testing::internal::GetCapturedStdout(),
	          "PBHGetVolParmsSync returned -35\nPBHGetVolParmsSync returned -35\n");
	// A folder on a fixed disk: no disc, and at most the line for a file system that is
	// on no block device.
	testing::internal::CaptureStdout();
	EXPECT_EQ(APL_is_dvd_disk(1), 0);
	const std::string said = testing::internal::GetCapturedStdout();
	EXPECT_TRUE(said.empty() || said == "IOBSDNameMatching returned a NULL dictionary.") << said;
}

TEST(FileOps, LargeAddressAwareFlag)
{
	TempEnv env;
	std::string exe(200, 0);
	exe[0] = 'M';
	exe[1] = 'Z';
	exe[60] = static_cast<char>(128);
	exe[128] = 'P';
	exe[129] = 'E';
	exe[128 + 22] = 0x02;
	write_file(env.path("good.exe"), exe);
	ASSERT_EQ(make_file_large_address_aware(env.path("good.exe")), 0);
	std::string after = read_file(env.path("good.exe"));
	EXPECT_EQ(after[128 + 22], 0x22);
	after[128 + 22] = 0x02;
	EXPECT_EQ(after, exe);

	write_file(env.path("notmz.exe"), std::string(100, 'x'));
	EXPECT_EQ(make_file_large_address_aware(env.path("notmz.exe")), err_not_mz);
	EXPECT_EQ(read_file(env.path("notmz.exe")), std::string(100, 'x'));
	std::string notpe = exe;
	notpe[129] = 'X';
	write_file(env.path("notpe.exe"), notpe);
	EXPECT_EQ(make_file_large_address_aware(env.path("notpe.exe")), err_not_pe);
	write_file(env.path("short.exe"), "MZ");
	EXPECT_EQ(make_file_large_address_aware(env.path("short.exe")), EIO);
	EXPECT_EQ(make_file_large_address_aware(env.path("none.exe")), ENOENT);
}
