#include "runtime/io_utils_zip.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstring>
#include <ctime>

#include "platform/plat_xattr.h"
#include "runtime/hl_errors.h"
#include "support/archive_tools.h"
#include "support/bounded_wait.h"
#include "support/memory_bound.h"
#include "support/no_file.h"
#include "support/test_env.h"

using namespace kx_test;

namespace {

const unsigned long kFile644 = 0100644ul << 16;
const unsigned long kDir755 = 040755ul << 16;
const unsigned long kLink = 0120777ul << 16;

unsigned mode_of(const std::string& p)
{
	struct stat st;
	return lstat(p.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0xFFFFu;
}

time_t mtime_of(const std::string& p)
{
	struct stat st;
	return lstat(p.c_str(), &st) == 0 ? st.st_mtime : 0;
}

std::string link_of(const std::string& p)
{
	char buf[4096];
	ssize_t n = readlink(p.c_str(), buf, sizeof buf);
	return n < 0 ? std::string("<not a link>") : std::string(buf, static_cast<size_t>(n));
}

time_t local_time(int y, int mo, int d, int h, int mi, int s)
{
	struct tm t = {};
	t.tm_year = y - 1900;
	t.tm_mon = mo - 1;
	t.tm_mday = d;
	t.tm_hour = h;
	t.tm_min = mi;
	t.tm_sec = s;
	t.tm_isdst = -1;
	return mktime(&t);
}

std::string fork_of(const std::string& p)
{
	std::string f;
	return plat_read_resource_fork(p, &f) == 0 ? f : std::string("<none>");
}

std::string finder_of(const std::string& p)
{
	unsigned char info[kFinderInfoSize];
	if (plat_read_finder_info(p, info) != 0) return "<none>";
	return std::string(reinterpret_cast<char*>(info), kFinderInfoSize);
}

const unsigned char kFinder16[16] = {'T', 'E', 'X', 'T', 'K', 'X', '9', '!', 0x01, 0x00, 0, 5, 0, 7, 0, 0};

class ZipTest : public ::testing::Test {
protected:
	TempEnv env;
	std::string work = env.path("work/");
	std::string box = env.path("box/");
	std::string dest = env.path("box/dest/");
	bool xattrs = false;

	void SetUp() override
	{
		mkdir(work.c_str(), 0755);
		mkdir(box.c_str(), 0755);
		mkdir(dest.c_str(), 0755);
		write_file(box + "outside.txt", "keep me");
		unsigned char probe[kFinderInfoSize] = {};
		xattrs = plat_write_finder_info(box + "outside.txt", probe) == 0;
		if (xattrs) removexattr((box + "outside.txt").c_str(), kFinderInfoAttr);
	}

	// Whether forks and Finder info can be checked here. Where user extended attributes
	// are unavailable the test says so by ending as skipped, after every other check ran.
	bool forks()
	{
		if (!xattrs) fork_checks_left_out_ = true;
		return xattrs;
	}
	void TearDown() override
	{
		if (fork_checks_left_out_)
			GTEST_SKIP() << "user extended attributes are unavailable here: resource forks and Finder info were not checked";
	}
	bool fork_checks_left_out_ = false;

	// Everything of the test's folder except the destination and the fixtures.
	std::vector<std::string> outside()
	{
		std::vector<std::string> out;
		for (auto& l : tree_listing(env.root()))
			if (l.find(" box/dest") == std::string::npos && l.find(" work") == std::string::npos) out.push_back(l);
		return out;
	}

	std::string py_zip(const std::string& name, const std::vector<py_zip_entry>& e, const py_zip_patches& p = {})
	{
		std::string out = work + name;
		EXPECT_EQ(make_py_zip(work, out, e, p), 0);
		return out;
	}

	void fresh_dest()
	{
		remove_tree(dest);
		mkdir(dest.c_str(), 0755);
	}
};

// --- our own archives, read back by us and by Info-ZIP ------------------------------

TEST_F(ZipTest, RoundTripKeepsBytesModesTimesLinksAndForks)
{
	std::string src = work + "src/";
	write_file(src + "plain.txt", "plain text\n");
	write_file(src + "tool", random_bytes(300000, 1));
	write_file(src + "empty", "");
	write_file(src + "forked", "data fork");
	chmod((src + "plain.txt").c_str(), 0640);
	chmod((src + "tool").c_str(), 0755);
	symlink("plain.txt", (src + "link").c_str());
	struct timeval tv[2] = {{1300000000, 0}, {1300000000, 0}};
	for (const char* n : {"plain.txt", "tool", "empty", "forked"}) utimes((src + n).c_str(), tv);
	std::string fork = random_bytes(1500, 2);
	if (forks()) {
		unsigned char info[kFinderInfoSize] = {};
		std::memcpy(info, kFinder16, 16);
		ASSERT_EQ(plat_write_finder_info(src + "forked", info), 0);
		ASSERT_EQ(plat_write_resource_fork(src + "forked", fork), 0);
	}

	for (const char* n : {"plain.txt", "tool", "empty", "forked", "link"}) {
		std::string z = work + n + ".zip";
		ASSERT_EQ(file_to_zip(src + n, z), 0) << n;
		std::string out;
		EXPECT_EQ(run_sh("unzip -t " + sh_quote(z), &out), 0) << n << ": " << out;
		EXPECT_EQ(run_sh("zipinfo " + sh_quote(z), &out), 0) << n << ": " << out;
		ASSERT_EQ(zip_to_file(z, dest, nullptr, 0), 0) << n;
	}
	for (const char* n : {"plain.txt", "tool", "empty", "forked"}) {
		EXPECT_EQ(read_file(dest + n), read_file(src + n)) << n;
		EXPECT_EQ(mode_of(dest + n), mode_of(src + n)) << n;
		EXPECT_EQ(mtime_of(dest + n), 1300000000) << n;
	}
	EXPECT_EQ(link_of(dest + "link"), "plain.txt");
	EXPECT_FALSE(path_exists(dest + "__MACOSX"));
	if (forks()) {
		EXPECT_EQ(fork_of(dest + "forked"), fork);
		EXPECT_EQ(finder_of(dest + "forked").substr(0, 16), std::string(reinterpret_cast<const char*>(kFinder16), 16));
		EXPECT_EQ(finder_of(dest + "forked").substr(16), std::string(16, '\0'));
	}

	// Entries as other tools see them: one entry for a file without fork, the link
	// stored with mode 0120755, the fork as an AppleDouble entry beside its file.
	std::string out;
	run_sh("zipinfo -1 " + sh_quote(work + "plain.txt.zip"), &out);
	EXPECT_EQ(out, "plain.txt\n");
	run_sh("zipinfo " + sh_quote(work + "tool.zip"), &out);
	EXPECT_NE(out.find("-rwxr-xr-x"), std::string::npos) << out;
	run_sh("zipinfo " + sh_quote(work + "link.zip"), &out);
	EXPECT_NE(out.find("lrwxr-xr-x"), std::string::npos) << out;
	EXPECT_NE(out.find(" stor "), std::string::npos) << out;
	if (forks()) {
		run_sh("zipinfo -1 " + sh_quote(work + "forked.zip"), &out);
		EXPECT_EQ(out, "forked\n__MACOSX/._forked\n");
	}
	// Info-ZIP restores our link as a link.
	std::string iz = work + "iz/";
	mkdir(iz.c_str(), 0755);
	ASSERT_EQ(run_sh("cd " + sh_quote(iz) + " && unzip -q " + sh_quote(work + "link.zip"), &out), 0) << out;
	EXPECT_EQ(link_of(iz + "link"), "plain.txt");
}

TEST_F(ZipTest, FileToZipFailuresAreReported)
{
	EXPECT_NE(file_to_zip(work + "missing", work + "m.zip"), 0);
	EXPECT_FALSE(path_exists(work + "m.zip"));
	mkdir((work + "folder").c_str(), 0755);
	EXPECT_EQ(file_to_zip(work + "folder", work + "f.zip"), err_file_open_read);
	write_file(work + "x", "x");
	EXPECT_EQ(file_to_zip(work + "x", work + "no/such/folder/x.zip"), err_zip_create);
	// A full device: the archive's bytes cannot all be written, which is never a success.
	write_file(work + "big", random_bytes(200000, 3));
	EXPECT_EQ(file_to_zip(work + "big", "/dev/full"), ENOSPC);
}

// --- archives of other tools ---------------------------------------------------------

TEST_F(ZipTest, InfoZipArchivesStoredAndDeflatedWithLinks)
{
	std::string src = work + "tree/";
	write_file(src + "top/a.txt", "alpha\n");
	write_file(src + "top/sub/b.bin", random_bytes(200000, 4));
	write_file(src + "top/exe", "#!/bin/sh\n");
	chmod((src + "top/exe").c_str(), 0755);
	symlink("sub/b.bin", (src + "top/lnk").c_str());
	for (const char* level : {"-0", "-9"}) {
		fresh_dest();
		std::string z = work + "iz" + level + ".zip";
		std::string out;
		ASSERT_EQ(run_sh("cd " + sh_quote(src) + " && zip -q -r -y " + level + " " + sh_quote(z) + " top", &out), 0)
		    << out;
		ASSERT_EQ(zip_to_file(z, dest, nullptr, 0), 0) << level;
		EXPECT_EQ(tree_listing(dest), tree_listing(src)) << level;
		EXPECT_EQ(read_file(dest + "top/sub/b.bin"), read_file(src + "top/sub/b.bin"));
		// Zip dates are local time to two seconds.
		EXPECT_LE(std::labs(mtime_of(dest + "top/a.txt") - mtime_of(src + "top/a.txt")), 2);
	}
}

TEST_F(ZipTest, FoldersForksAndFinderInfoFromAppleDoubleEntries)
{
	std::string ad = make_apple_double(kFinder16, "RSRC fork bytes");
	ASSERT_EQ(ad.size(), 82u + 15u);
	std::string z = py_zip("mac.zip", {{"a/", "", kDir755},
	                                   {"a/b.txt", "hello", 0100640ul << 16},
	                                   {"__MACOSX/", "", kDir755},
	                                   {"__MACOSX/a/", "", kDir755},
	                                   {"__MACOSX/a/._b.txt", ad, 0}});
	std::string first;
	ASSERT_EQ(zip_to_file(z, dest, &first, 0), 0);
	EXPECT_EQ(first, "a/");
	EXPECT_EQ(read_file(dest + "a/b.txt"), "hello");
	EXPECT_EQ(mode_of(dest + "a/b.txt"), 0640u);
	EXPECT_EQ(mtime_of(dest + "a/b.txt"), local_time(2011, 5, 17, 13, 45, 30));
	EXPECT_FALSE(path_exists(dest + "__MACOSX"));
	if (forks()) {
		EXPECT_EQ(fork_of(dest + "a/b.txt"), "RSRC fork bytes");
		EXPECT_EQ(finder_of(dest + "a/b.txt").substr(0, 16), std::string(reinterpret_cast<const char*>(kFinder16), 16));
	}

	// The Finder's own filler text; a Finder info entry of 16 bytes is ignored.
	std::string mac = ad;
	mac.replace(8, 16, "Mac OS X        ");
	mac[37] = 16;
	fresh_dest();
	z = py_zip("mac2.zip", {{"c.txt", "c"}, {"__MACOSX/._c.txt", mac, 0}});
	ASSERT_EQ(zip_to_file(z, dest, nullptr, 0), 0);
	if (forks()) {
		EXPECT_EQ(fork_of(dest + "c.txt"), "RSRC fork bytes");
		EXPECT_EQ(finder_of(dest + "c.txt"), "<none>");
	}

	// A fork larger than any attribute holds is not kept (nor read), and is no error.
	fresh_dest();
	z = py_zip("bigfork.zip", {{"f.txt", "f"},
	                           {"__MACOSX/._f.txt", make_apple_double(kFinder16, random_bytes(kResourceForkMax + 1, 3)), 0},
	                           {"after.txt", "a"}});
	{
		LogCapture log(work + "log.txt");
		ASSERT_EQ(zip_to_file(z, dest, nullptr, 0), 0);
		EXPECT_NE(log.text().find("Could not keep the resource fork of " + dest + "f.txt"), std::string::npos);
	}
	EXPECT_EQ(read_file(dest + "f.txt"), "f");
	EXPECT_EQ(read_file(dest + "after.txt"), "a");
	EXPECT_EQ(fork_of(dest + "f.txt"), "<none>");

	// Before its file: nothing to apply it to, and no error.
	fresh_dest();
	z = py_zip("mac3.zip", {{"__MACOSX/._d.txt", ad, 0}, {"d.txt", "d"}});
	ASSERT_EQ(zip_to_file(z, dest, nullptr, 0), 0);
	EXPECT_EQ(read_file(dest + "d.txt"), "d");
	if (forks()) {
		EXPECT_EQ(fork_of(dest + "d.txt"), "<none>");
	}

	// A file system that keeps neither (exFAT, FAT): no error, and the log names the file
	// where it belongs, also while it waits under its private name.
	fresh_dest();
	z = py_zip("mac4.zip", {{"e.txt", "e"}, {"__MACOSX/._e.txt", ad, 0}});
	{
		LogCapture log(work + "log.txt");
		const std::string d = dest;
		EXPECT_EQ(run_with_failing_calls({SYS_setxattr, SYS_lsetxattr, SYS_fsetxattr}, ENOTSUP, [&] {
			          unpack_record rec;
			          rec.temp_names = true;
			          return zip_to_file(z, d, nullptr, 0, &rec);
		          }),
		          0);
		const std::string why = ": " + error_str(ENOTSUP) + "\n";
		EXPECT_NE(log.text().find("Could not keep the Finder info of " + dest + "e.txt" + why), std::string::npos)
		    << log.text();
		EXPECT_NE(log.text().find("Could not keep the resource fork of " + dest + "e.txt" + why), std::string::npos)
		    << log.text();
		EXPECT_EQ(log.text().find(kx_temp_mark), std::string::npos) << log.text();
	}
}

TEST(AppleDouble, ParserChecksHeaderAndEveryEntryAgainstTheData)
{
	std::string ad = make_apple_double(kFinder16, "fork");
	auto parse = [](const std::string& d, apple_double_parts* p) {
		return parse_apple_double(reinterpret_cast<const unsigned char*>(d.data()), d.size(), p);
	};
	apple_double_parts p;
	ASSERT_EQ(parse(ad, &p), 0);
	EXPECT_TRUE(p.has_finder_info);
	EXPECT_EQ(std::memcmp(p.finder_info, kFinder16, 16), 0);
	EXPECT_TRUE(p.has_fork);
	EXPECT_EQ(ad.substr(p.fork_offset, p.fork_length), "fork");

	std::string bad = ad;
	bad[1] = 0x06;  // magic
	EXPECT_EQ(parse(bad, &p), err_zip_rsrc_header);
	bad = ad;
	bad[12] = 'x';  // filler neither zeros nor the Finder's text
	EXPECT_EQ(parse(bad, &p), err_zip_rsrc_header);
	EXPECT_EQ(parse(ad.substr(0, 25), &p), err_zip_rsrc_header);
	EXPECT_EQ(parse(ad.substr(0, 40), &p), err_zip_rsrc_header);  // second entry cut off
	bad = ad;
	bad[46] = 0x7F;  // fork length far beyond the data
	EXPECT_EQ(parse(bad, &p), err_zip_rsrc_header);
	bad = ad;
	bad[42] = 0x7F;  // fork offset beyond the data
	EXPECT_EQ(parse(bad, &p), err_zip_rsrc_header);
	bad = ad;
	bad[24] = static_cast<char>(0xFF);  // a negative count: no entries
	ASSERT_EQ(parse(bad, &p), 0);
	EXPECT_FALSE(p.has_finder_info || p.has_fork);
	bad = ad;
	bad[29] = 2;  // both entries are forks: the later one counts
	ASSERT_EQ(parse(bad, &p), 0);
	EXPECT_FALSE(p.has_finder_info);
	EXPECT_EQ(p.fork_offset, 82u);
}

TEST_F(ZipTest, BadAppleDoubleEntriesFailTheExtraction)
{
	std::string ad = make_apple_double(kFinder16, "fork");
	std::string bad = ad;
	bad[0] = 1;
	std::string z = py_zip("bad.zip", {{"e.txt", "e"}, {"__MACOSX/._e.txt", bad, 0}, {"later.txt", "l"}});
	EXPECT_EQ(zip_to_file(z, dest, nullptr, 0), err_zip_rsrc_header);
	EXPECT_EQ(read_file(dest + "e.txt"), "e");  // what came before stays
	EXPECT_FALSE(path_exists(dest + "later.txt"));   // nothing after is touched
	fresh_dest();
	z = py_zip("nodot.zip", {{"e.txt", "e"}, {"__MACOSX/e.txt", ad, 0}});
	EXPECT_EQ(zip_to_file(z, dest, nullptr, 0), err_zip_rsrc_header);

	// A "._" in the destination's own path is not the entry's: the fork must not go to
	// the file that removing it would name, a sibling of the destination.
	const std::string dotted = box + "in._stall/";
	ASSERT_EQ(mkdir(dotted.c_str(), 0755), 0);
	ASSERT_EQ(mkdir((box + "install").c_str(), 0755), 0);
	write_file(box + "install/e.txt", "sibling");
	EXPECT_EQ(zip_to_file(z, dotted, nullptr, 0), err_zip_rsrc_header);
	if (forks()) {
		EXPECT_EQ(fork_of(box + "install/e.txt"), "<none>");
	}
}

// --- what the reader does with ordinary entries -----------------------------------------

TEST_F(ZipTest, ArchivedModesMeetTheUmaskAndTheOwnerKeepsReadAndWrite)
{
	const mode_t old_mask = umask(027);
	// Made by Python's zipfile and by Info-ZIP from files of those modes.
	std::string z = py_zip("modes.zip", {{"open.txt", "o", 0100777ul << 16}, {"shut.txt", "s", 0100000ul << 16},
	                                     {"tool", "t", 0100755ul << 16}});
	const std::string iz_src = work + "iz/";
	write_file(iz_src + "iz_open", "o");
	write_file(iz_src + "iz_shut", "s");
	chmod((iz_src + "iz_open").c_str(), 0777);
	chmod((iz_src + "iz_shut").c_str(), 0);
	const std::string iz = work + "modes_iz.zip";
	ASSERT_EQ(run_sh("cd " + sh_quote(iz_src) + " && zip -q -X " + sh_quote(iz) + " iz_open iz_shut"), 0);
	ASSERT_EQ(zip_to_file(z, dest, nullptr, 0), 0);
	ASSERT_EQ(zip_to_file(iz, dest, nullptr, 0), 0);
	umask(old_mask);
	EXPECT_EQ(mode_of(dest + "open.txt"), 0750u);
	EXPECT_EQ(mode_of(dest + "shut.txt"), 0600u);
	EXPECT_EQ(mode_of(dest + "tool"), 0750u);
	EXPECT_EQ(mode_of(dest + "iz_open"), 0750u);
	EXPECT_EQ(mode_of(dest + "iz_shut"), 0600u);
}

TEST_F(ZipTest, EntryKindsModesAndReplacement)
{
	// Existing file replaced; a link replaces an existing file; a DOS archive's
	// attributes leave the new file's own mode.
	write_file(dest + "old.txt", "old contents that are longer");
	write_file(dest + "lib", "a file where the link goes");
	std::string z = py_zip("kinds.zip", {{"old.txt", "new"},
	                                     {"lib", "../lib/x", kLink},
	                                     {"dos.txt", "dos", 0x20, 0},
	                                     {"sub/", "", kDir755},
	                                     {"sub/", "", kDir755},
	                                     {"sub/x", "x", 0100600ul << 16, 3, 0}});
	ASSERT_EQ(mkdir((dest + "lib_dir").c_str(), 0755), 0);
	EXPECT_EQ(zip_to_file(z, dest, nullptr, 0), err_zip_open);  // ../lib/x leaves the destination
	fresh_dest();
	mkdir((dest + "lib").c_str(), 0755);
	write_file(dest + "old.txt", "old contents that are longer");
	write_file(dest + "ln", "a file where the link goes");
	z = py_zip("kinds2.zip", {{"old.txt", "new"},
	                          {"ln", "lib/x", kLink},
	                          {"dos.txt", "dos", 0x20, 0},
	                          {"sub/", "", kDir755},
	                          {"sub/", "", kDir755},
	                          {"sub/x", "x", 0100600ul << 16, 3, 0}});
	ASSERT_EQ(zip_to_file(z, dest, nullptr, 0), 0);
	EXPECT_EQ(read_file(dest + "old.txt"), "new");
	EXPECT_EQ(link_of(dest + "ln"), "lib/x");
	mode_t mask = umask(0);
	umask(mask);
	EXPECT_EQ(mode_of(dest + "dos.txt"), 0666u & ~mask);
	EXPECT_EQ(mode_of(dest + "sub/x"), 0600u);
	EXPECT_EQ(tree_listing(dest).size(), 6u) << "no private files left behind";

	// A file whose folder is neither there nor listed.
	z = py_zip("nofolder.zip", {{"missing/x", "x"}});
	EXPECT_EQ(zip_to_file(z, dest, nullptr, 0), ENOENT);
}

TEST_F(ZipTest, EmptyMissingAndForeignArchives)
{
	std::string z = py_zip("empty.zip", {});
	EXPECT_EQ(zip_to_file(z, dest, nullptr, 0), 0);
	EXPECT_TRUE(tree_listing(dest).empty());
	// A file that cannot be opened says why, as does one that is no file, at once.
	EXPECT_EQ(zip_to_file(work + "none.zip", dest, nullptr, 0), ENOENT);
	for (const kx_test::no_file& f : kx_test::kNoFiles) {
		const std::string z = work + "no_file_" + std::to_string(static_cast<int>(f.kind)) + ".zip";
		ASSERT_TRUE(kx_test::plant_no_file(f, z));
		kx_test::finishes_within("opening an archive",
		                         [&] { EXPECT_EQ(zip_to_file(z, dest, nullptr, 0), f.error) << f.what; });
	}
	write_file(work + "text.zip", "this is not a zip archive at all, just words");
	EXPECT_EQ(zip_to_file(work + "text.zip", dest, nullptr, 0), err_zip_open);
	write_file(work + "zero.zip", "");
	EXPECT_EQ(zip_to_file(work + "zero.zip", dest, nullptr, 0), err_zip_open);
}

TEST_F(ZipTest, LongNamesAndRenamedFirstEntry)
{
	std::string d1(200, 'd'), f1(240, 'f');
	std::string z = py_zip("long.zip", {{d1 + "/", "", kDir755}, {d1 + "/" + f1, "long"}});
	ASSERT_EQ(zip_to_file(z, dest, nullptr, 0), 0);
	EXPECT_EQ(read_file(dest + d1 + "/" + f1), "long");

	// Only the first entry takes the given name; the name it had is handed back.
	z = py_zip("two.zip", {{"one.txt", "1"}, {"two.txt", "2"}});
	std::string name = "renamed.txt";
	ASSERT_EQ(zip_to_file(z, dest, &name, 1), 0);
	EXPECT_EQ(name, "one.txt");
	EXPECT_EQ(read_file(dest + "renamed.txt"), "1");
	EXPECT_EQ(read_file(dest + "two.txt"), "2");
	EXPECT_FALSE(path_exists(dest + "one.txt"));
	name = "../escape.txt";
	EXPECT_EQ(zip_to_file(z, dest, &name, 1), err_zip_open);
	EXPECT_FALSE(path_exists(box + "escape.txt"));
}

TEST_F(ZipTest, RecordDirectsWritesToTemporaryNames)
{
	write_file(dest + "f.txt", "installed");
	std::string ad = make_apple_double(kFinder16, "fork");
	std::string z = py_zip("rec.zip", {{"f.txt", "new version"}, {"l", "f.txt", kLink}, {"__MACOSX/._f.txt", ad, 0}});
	unpack_record rec;
	rec.temp_names = true;
	ASSERT_EQ(zip_to_file(z, dest, nullptr, 0, &rec), 0);
	EXPECT_EQ(read_file(dest + "f.txt"), "installed");
	ASSERT_EQ(rec.items.size(), 2u);
	EXPECT_EQ(rec.items[0].dest, dest + "f.txt");
	EXPECT_EQ(rec.items[0].written.rfind(dest + kx_temp_mark, 0), 0u) << rec.items[0].written;
	EXPECT_EQ(read_file(rec.items[0].written), "new version");
	EXPECT_EQ(rec.items[1].dest, dest + "l");
	EXPECT_EQ(link_of(rec.items[1].written), "f.txt");
	EXPECT_NE(rec.items[0].written, rec.items[1].written);
	if (forks()) {
		EXPECT_EQ(fork_of(rec.items[0].written), "fork");
		EXPECT_EQ(fork_of(dest + "f.txt"), "<none>");
	}
}

// --- hostile and damaged archives -------------------------------------------------------

TEST_F(ZipTest, HostileEntriesAreRefusedAndNothingOutsideChanges)
{
	mkdir((box + "elsewhere").c_str(), 0755);
	write_file(box + "elsewhere/x", "outside file");
	struct Case {
		const char* what;
		std::vector<py_zip_entry> entries;
		py_zip_patches patches;
		const char* logged;  // the entry the log line must name
		bool pre_link = false;
	};
	std::vector<Case> cases = {
	    {"dot-dot", {{"../x", "evil"}}, {}, "\"../x\""},
	    {"deep dot-dot", {{"a/", "", kDir755}, {"a/../../x", "evil"}}, {}, "a/../../x"},
	    {"absolute", {{box + "abs.txt", "evil"}}, {}, "abs.txt"},
	    {"NUL byte", {{"nulXname.txt", "evil"}}, {{{"nulXname", std::string("nul\0name", 8)}}, {}}, "nul\\x00name.txt"},
	    {"link out, file through it", {{"l", "../elsewhere", kLink}, {"l/x", "evil"}}, {}, "\"l\""},
	    {"absolute link", {{"l", "/etc", kLink}}, {}, "\"l\""},
	    {"link in, file through it", {{"sub/", "", kDir755}, {"l", "sub", kLink}, {"l/x", "evil"}}, {}, "l/x"},
	    {"file as folder", {{"f", "data"}, {"f/x", "evil"}}, {}, "f/x"},
	    {"two links together", {{"x", ".", kLink}, {"y", "x/..", kLink}}, {}, "\"y\""},
	    {"folder through a link", {{"pre/deeper/", "", kDir755}}, {}, "pre/deeper/", true},
	    {"file through an existing link", {{"pre/x", "evil"}}, {}, "pre/x", true},
	    {"fork through an existing link", {{"__MACOSX/pre/._x", make_apple_double(kFinder16, "evil"), 0}}, {}, "pre/x",
	     true},
	    {"fork outside", {{"__MACOSX/../._x", make_apple_double(kFinder16, "evil"), 0}}, {}, "../x"},
	};
	int n = 0;
	for (const Case& c : cases) {
		fresh_dest();
		if (c.pre_link) symlink((box + "elsewhere").c_str(), (dest + "pre").c_str());
		std::string z = py_zip("hostile" + std::to_string(n++) + ".zip", c.entries, c.patches);
		auto before = outside();
		LogCapture log(work + "log.txt");
		EXPECT_EQ(zip_to_file(z, dest, nullptr, 0), err_zip_open) << c.what;
		EXPECT_EQ(outside(), before) << c.what;
		EXPECT_EQ(read_file(box + "elsewhere/x"), "outside file") << c.what;
		if (forks()) {
			EXPECT_EQ(fork_of(box + "elsewhere/x"), "<none>") << c.what;
		}
		std::string text = log.text();
		EXPECT_NE(text.find("Refusing archive entry"), std::string::npos) << c.what << "\n" << text;
		EXPECT_NE(text.find(c.logged), std::string::npos) << c.what << "\n" << text;
	}
}

// A name from an archive, whoever wrote it, is spelled out wherever the reader logs it:
// a line end or an escape sequence in it neither starts a line nor reaches a terminal,
// and a backslash of its own cannot pass for an escape.
TEST_F(ZipTest, EntryNamesNeverForgeALogLine)
{
	const std::string forged = "\nFORGED: x\x1b[31m";
	const std::string spelled = "\\nFORGED: x\\x1b[31m";
	const std::string stage = work + "stage/";
	write_file(stage + "ours" + forged + "\\b", "ours");
	write_file(stage + "tar" + forged + "\\b", "tar");
	std::string out;
	ASSERT_EQ(file_to_zip(stage + "ours" + forged + "\\b", work + "ours.zip"), 0);
	ASSERT_EQ(run_sh("cd " + sh_quote(stage) + " && bsdtar --format zip -cf " + sh_quote(work + "tar.zip") + " " +
	                     sh_quote("tar" + forged + "\\b"),
	                 &out),
	          0)
	    << out;
	struct Case {
		const char* what;
		std::string zip;
		std::string logged;
	};
	const std::vector<Case> cases = {
	    {"damaged file", py_zip("file.zip", {{"a" + forged, random_bytes(5000, 6)}}, {{}, {{"a" + forged, 100}}}),
	     "inFile=" + dest + "a" + spelled + ".\n"},
	    {"fork of no use", py_zip("fork.zip", {{"__MACOSX/c" + forged + "/._f", "not a fork", 0}}),
	     "inFile=" + dest + "c" + spelled + "/f.\n"},
	    {"link out", py_zip("link.zip", {{"l" + forged, "/etc", kLink}}), "inFile=" + dest + "l" + spelled + ".\n"},
	    {"our writer", work + "ours.zip", "\"ours" + spelled + "\\\\b\""},
	    {"bsdtar", work + "tar.zip", "\"tar" + spelled + "\\\\b\""},
	    {"the archive's own name", work + "gone" + forged + ".zip", "zip_file=" + work + "gone" + spelled + ".zip,"},
	};
	LogCapture log(work + "log.txt");
	for (const Case& c : cases) {
		fresh_dest();
		EXPECT_NE(zip_to_file(c.zip, dest, nullptr, 0), 0) << c.what;
		EXPECT_NE(log.text().find(c.logged), std::string::npos) << c.what << "\n" << log.text();
	}
	EXPECT_EQ(log_breakout(log.text(), "FORGED"), "");
}

TEST_F(ZipTest, PatchedSizeFieldsGiveErrorsWithoutHugeAllocations)
{
	std::string data = random_bytes(5000, 5);
	std::string z = py_zip("huge.zip", {{"f.bin", data}}, {{}, {{"f.bin", 0xFFFFFFF0ul}}});
	EXPECT_EQ(zip_to_file(z, dest, nullptr, 0), err_zip_read);
	EXPECT_FALSE(path_exists(dest + "f.bin"));
	z = py_zip("small.zip", {{"f.bin", data}}, {{}, {{"f.bin", 100}}});
	EXPECT_NE(zip_to_file(z, dest, nullptr, 0), 0);
	EXPECT_FALSE(path_exists(dest + "f.bin"));
	// A link or AppleDouble entry claiming gigabytes.
	z = py_zip("hugelink.zip", {{"l", "target", kLink, 3, 0}}, {{}, {{"l", 0xFFFFFFF0ul}}});
	EXPECT_EQ(zip_to_file(z, dest, nullptr, 0), err_zip_read);
	z = py_zip("hugead.zip", {{"g", "g"}, {"__MACOSX/._g", make_apple_double(kFinder16, "f"), 0}},
	           {{}, {{"__MACOSX/._g", 0xFFFFFFF0ul}}});
	EXPECT_EQ(zip_to_file(z, dest, nullptr, 0), err_zip_read);
	EXPECT_TRUE(tree_listing(dest).size() <= 1u);
}

// Entries that really hold what they claim, far more than any link text or kept fork:
// neither is read into memory. The child's address space may grow by a fraction of
// the entry, so reading it would end the child.
TEST_F(ZipTest, OversizedLinkAndForkEntriesAreNeverReadIntoMemory)
{
	constexpr size_t big = 40u << 20;  // zeros pack to a few hundred KB
	constexpr size_t headroom = 12u << 20;
	std::string zeros(big, '\0');
	const std::string link = py_zip("biglink.zip", {{"l", zeros, kLink}});
	const std::string fork =
	    py_zip("bigad.zip", {{"g", "g"}, {"__MACOSX/._g", make_apple_double(kFinder16, zeros), 0}, {"after", "a"}});
	zeros.clear();
	zeros.shrink_to_fit();
	EXPECT_EQ(run_in_bounded_child(headroom, [&] { return zip_to_file(link, dest, nullptr, 0); }), err_zip_read);
	EXPECT_EQ(run_in_bounded_child(headroom, [&] { return zip_to_file(fork, dest, nullptr, 0); }), 0);
	// The bound leaves room for an ordinary unpack.
	const std::string small = py_zip("small_ok.zip", {{"s", random_bytes(1u << 20, 9)}});
	EXPECT_EQ(run_in_bounded_child(headroom, [&] { return zip_to_file(small, dest, nullptr, 0); }), 0);
}

TEST_F(ZipTest, TruncatedAndBitFlippedArchivesGiveErrors)
{
	std::string src = work + "t/";
	write_file(src + "data.bin", random_bytes(50000, 6));
	for (const char* level : {"-0", "-6"}) {
		std::string z = work + std::string("good") + level + ".zip";
		ASSERT_EQ(run_sh("cd " + sh_quote(src) + " && zip -q " + level + " " + sh_quote(z) + " data.bin"), 0);
		std::string good = read_file(z);
		// Where the entry's data starts: after the local header, its name and extra field.
		size_t data_at = 30 + (unsigned char)good[26] + 256u * (unsigned char)good[27] + (unsigned char)good[28] +
		                 256u * (unsigned char)good[29];
		std::string bad = work + "bad.zip";
		for (long long cut : {0LL, 4LL, 30LL, 1000LL, static_cast<long long>(good.size() / 2),
		                      static_cast<long long>(good.size()) - 30, static_cast<long long>(good.size()) - 10}) {
			write_file(bad, good);
			truncate_to(bad, cut);
			fresh_dest();
			auto before = outside();
			EXPECT_NE(zip_to_file(bad, dest, nullptr, 0), 0) << level << " cut at " << cut;
			EXPECT_EQ(outside(), before);
		}
		// A damaged byte of the data always shows (inflate error, short entry or CRC).
		for (size_t at = data_at; at < data_at + 50000 && at < good.size(); at += 4999) {
			write_file(bad, good);
			flip_byte(bad, static_cast<long long>(at));
			fresh_dest();
			EXPECT_NE(zip_to_file(bad, dest, nullptr, 0), 0) << level << " flip at " << at;
			EXPECT_FALSE(path_exists(dest + "data.bin"));
		}
		// Anywhere else, whatever it does it does inside the destination.
		for (size_t at = 0; at < good.size(); at += (at < data_at || at > good.size() - 200) ? 1 : 997) {
			write_file(bad, good);
			flip_byte(bad, static_cast<long long>(at));
			fresh_dest();
			auto before = outside();
			zip_to_file(bad, dest, nullptr, 0);
			EXPECT_EQ(outside(), before) << level << " flip at " << at;
		}
	}
}

TEST_F(ZipTest, FullDiskIsAnErrorAndKeepsTheInstalledFile)
{
	std::string z = py_zip("big.zip", {{"big.bin", random_bytes(1 << 20, 7)}});
	write_file(dest + "big.bin", "the installed version");
	std::string d = dest;
	int r = run_with_file_limit(256 * 1024, [&] { return zip_to_file(z, d, nullptr, 0); });
	EXPECT_EQ(r, EFBIG);
	EXPECT_EQ(read_file(dest + "big.bin"), "the installed version");
	EXPECT_EQ(tree_listing(dest).size(), 1u) << "the partial file is removed";

	write_file(work + "src.bin", random_bytes(1 << 20, 8));
	std::string w = work;
	r = run_with_file_limit(64 * 1024, [&] { return file_to_zip(w + "src.bin", w + "out.zip"); });
	EXPECT_EQ(r, EFBIG);
}

// A step that fails says why with its own errno, whichever step it is, and leaves the
// installed file as it was; the log names the step's line (a time stamp has none).
TEST_F(ZipTest, EachFailedStepKeepsItsErrnoAndTheInstalledFile)
{
	struct Case {
		const char* what;
		py_zip_entry entry;
		std::vector<long> calls;
		int err;
		const char* line;
	};
	const Case cases[] = {{"the link", {"ln", "target", kLink}, {SYS_symlink, SYS_symlinkat}, ENOSPC, " line = 1284."},
	                      {"the link, refused", {"ln", "target", kLink}, {SYS_symlink, SYS_symlinkat}, EACCES,
	                       " line = 1284."},
	                      {"the time stamp", {"file.txt", "new"}, {SYS_utimensat}, EROFS, " line = -1."}};
	for (const Case& c : cases) {
		SCOPED_TRACE(c.what);
		fresh_dest();
		const std::string z = py_zip("step.zip", {c.entry});
		write_file(dest + c.entry.name, "the installed version");
		const std::string d = dest;
		LogCapture log(work + "log.txt");
		EXPECT_EQ(run_with_failing_calls(c.calls, c.err, [&] { return zip_to_file(z, d, nullptr, 0); }), c.err);
		EXPECT_NE(log.text().find(c.line), std::string::npos) << log.text();
		EXPECT_EQ(read_file(dest + c.entry.name), "the installed version");
		EXPECT_EQ(tree_listing(dest).size(), 1u) << "no private file is left";
	}
}

// A drive that cannot hold links (exFAT, FAT) refuses to make one with any of these:
// the link is kept as a file holding its text, as the 7z reader keeps every link, and
// the log says so once, naming the file.
TEST_F(ZipTest, ALinkTheDriveCannotHoldIsKeptAsAFileHoldingItsText)
{
	const std::string text = "sub/read me.txt";
	const std::string z = py_zip("nolinks.zip", {{"ln", text, kLink}});
	for (const int e : {EPERM, ENOSYS, EOPNOTSUPP, ENOTSUP}) {
		SCOPED_TRACE(error_str(e));
		fresh_dest();
		write_file(dest + "ln", "the installed version");
		const std::string d = dest;
		LogCapture log(work + "log.txt");
		EXPECT_EQ(run_with_failing_calls({SYS_symlink, SYS_symlinkat}, e, [&] { return zip_to_file(z, d, nullptr, 0); }),
		          0);
		EXPECT_EQ(link_of(dest + "ln"), "<not a link>");
		EXPECT_EQ(read_file(dest + "ln"), text);
		EXPECT_EQ(tree_listing(dest).size(), 1u) << "no private file is left";
		EXPECT_EQ(log.text(), "Kept " + dest + "ln as a file holding the link's text, because the drive cannot hold links (" +
		                          error_str(e) + ").\n");
	}
}

}  // namespace

namespace {
// An installed file's archive is unpacked into the file's own folder; its link may
// point at a sibling folder of the installation, never out of it.
TEST_F(ZipTest, LinkRootWidensTheLinkBoundaryToTheInstallation)
{
	std::string z = py_zip("link.zip", {{"manual", "../Instructions/read me.txt", kLink}});
	write_file(dest + "Instructions/read me.txt", "text");
	const std::string output = dest + "Output/";
	::mkdir(output.c_str(), 0755);

	EXPECT_NE(zip_to_file(z, output, nullptr, 0), 0) << "without a root the unpack folder bounds the link";
	EXPECT_EQ(link_of(output + "manual"), "<not a link>");

	unpack_record rec;
	rec.link_root = dest;
	ASSERT_EQ(zip_to_file(z, output, nullptr, 0, &rec), 0);
	EXPECT_EQ(link_of(output + "manual"), "../Instructions/read me.txt");
	EXPECT_EQ(read_file(output + "manual"), "text");

	std::string out_of_root = py_zip("escape.zip", {{"escape", "../../outside", kLink}});
	EXPECT_NE(zip_to_file(out_of_root, output, nullptr, 0, &rec), 0);
	EXPECT_EQ(link_of(output + "escape"), "<not a link>");
}
}  // namespace

namespace {
// An installed file's archive is unpacked for that file alone: what else lies in its
// folder (a logbook, the preferences) is the user's and must come through unchanged.
TEST_F(ZipTest, AnArchiveForOneFileYieldsThatFileAndItsForkOnly)
{
	const std::string logbook = "Output/logbooks/Kestrix Log.txt";
	const std::string ad = make_apple_double(kFinder16, "RSRC fork bytes");
	// The same names with other bytes, for Info-ZIP to pack.
	const std::string src = work + "izsrc/";
	write_file(src + "f.txt", "new version");
	write_file(src + "prefs.txt", "evil");
	write_file(src + logbook, "evil");
	auto info_zip = [&](const std::string& name, const std::string& args) {
		std::string z = work + name, out;
		EXPECT_EQ(run_sh("cd " + sh_quote(src) + " && zip -q -X -y " + sh_quote(z) + " " + args, &out), 0) << out;
		return z;
	};
	auto a_copy = [&] {
		fresh_dest();
		write_file(dest + logbook, "the pilot's logbook");
		write_file(dest + "prefs.txt", "my preferences");
	};
	auto only_f = [] {
		unpack_record rec;
		rec.only_entry = "f.txt";
		return rec;
	};

	// The file alone, as Info-ZIP, Python and this program write it; a link; the file
	// with its AppleDouble entry after it.
	write_file(work + "ours/f.txt", "new version");
	if (forks()) {
		ASSERT_EQ(plat_write_resource_fork(work + "ours/f.txt", "RSRC fork bytes"), 0);
	}
	ASSERT_EQ(file_to_zip(work + "ours/f.txt", work + "ours.zip"), 0);
	struct Good {
		std::string zip;
		bool fork;
	};
	const std::vector<Good> good = {
	    {info_zip("iz-one.zip", "f.txt"), false},
	    {py_zip("py-one.zip", {{"f.txt", "new version"}}), false},
	    {work + "ours.zip", xattrs},
	    {py_zip("py-fork.zip", {{"f.txt", "new version"}, {"__MACOSX/._f.txt", ad, 0}}), true},
	    // As a Mac's archiver writes it: the forks' folder has an entry of its own.
	    {py_zip("py-fork-folder.zip",
	            {{"f.txt", "new version"}, {"__MACOSX/", "", kDir755}, {"__MACOSX/._f.txt", ad, 0}}),
	     true},
	};
	for (const Good& g : good) {
		a_copy();
		unpack_record rec = only_f();
		ASSERT_EQ(zip_to_file(g.zip, dest, nullptr, 0, &rec), 0) << g.zip;
		EXPECT_EQ(read_file(dest + "f.txt"), "new version") << g.zip;
		if (g.fork && forks()) {
			EXPECT_EQ(fork_of(dest + "f.txt"), "RSRC fork bytes") << g.zip;
		}
	}
	a_copy();
	unpack_record rec = only_f();
	ASSERT_EQ(zip_to_file(py_zip("py-link.zip", {{"f.txt", "prefs.txt", kLink}}), dest, nullptr, 0, &rec), 0);
	EXPECT_EQ(link_of(dest + "f.txt"), "prefs.txt");

	// Anything more is a damaged archive: nothing at all is written.
	struct Bad {
		const char* what;
		std::string zip;
		const char* logged;  // the entry the log line names
	};
	const std::vector<Bad> bad = {
	    {"a sibling", py_zip("b0.zip", {{"f.txt", "new"}, {"prefs.txt", "evil"}}), "\"prefs.txt\""},
	    {"a file below the folder", py_zip("b1.zip", {{"f.txt", "new"}, {logbook, "evil"}}), logbook.c_str()},
	    {"the other file first", py_zip("b2.zip", {{logbook, "evil"}, {"f.txt", "new"}}), logbook.c_str()},
	    {"a folder entry", py_zip("b3.zip", {{"f.txt", "new"}, {"New/", "", kDir755}}), "\"New/\""},
	    {"a second copy", py_zip("b4.zip", {{"f.txt", "new"}, {"f.txt", "evil"}}), "\"f.txt\""},
	    {"the file only in a folder", py_zip("b5.zip", {{"Output/f.txt", "new"}}), "Output/f.txt"},
	    {"another file's fork", py_zip("b6.zip", {{"f.txt", "new"}, {"__MACOSX/._prefs.txt", ad, 0}}),
	     "__MACOSX/._prefs.txt"},
	    {"a fork below the folder",
	     py_zip("b7.zip", {{"f.txt", "new"}, {"__MACOSX/Output/logbooks/._Kestrix Log.txt", ad, 0}}),
	     "__MACOSX/Output/logbooks/._Kestrix Log.txt"},
	    {"the fork before its file", py_zip("b8.zip", {{"__MACOSX/._f.txt", ad, 0}, {"f.txt", "new"}}),
	     "__MACOSX/._f.txt"},
	    {"Info-ZIP, two files", info_zip("b9.zip", "f.txt prefs.txt"), "\"prefs.txt\""},
	    {"Info-ZIP, a folder", info_zip("b10.zip", "-r f.txt Output"), "\"Output/\""},
	};
	for (const Bad& b : bad) {
		a_copy();
		const auto before = tree_listing(dest);
		LogCapture log(work + "log.txt");
		unpack_record rec = only_f();
		EXPECT_EQ(zip_to_file(b.zip, dest, nullptr, 0, &rec), err_zip_open) << b.what;
		EXPECT_EQ(tree_listing(dest), before) << b.what;
		EXPECT_EQ(read_file(dest + logbook), "the pilot's logbook") << b.what;
		EXPECT_EQ(read_file(dest + "prefs.txt"), "my preferences") << b.what;
		if (forks()) {
			EXPECT_EQ(fork_of(dest + "prefs.txt"), "<none>") << b.what;
		}
		EXPECT_TRUE(rec.items.empty()) << b.what;
		const std::string text = log.text();
		EXPECT_NE(text.find("Refusing archive entry"), std::string::npos) << b.what << "\n" << text;
		EXPECT_NE(text.find(b.logged), std::string::npos) << b.what << "\n" << text;
	}
}
}  // namespace
