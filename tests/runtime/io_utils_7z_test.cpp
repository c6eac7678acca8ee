#include "runtime/io_utils_7z.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>

#include <zlib.h>

#include "runtime/hl_errors.h"
#include "support/archive_tools.h"
#include "support/bounded_wait.h"
#include "support/no_file.h"
#include "support/test_env.h"

using namespace kx_test;

namespace {

class SevenZipTest : public ::testing::Test {
protected:
	TempEnv env;
	std::string work = env.path("work/");
	std::string src = env.path("work/src/");
	std::string box = env.path("box/");
	std::string dest = env.path("box/dest/");
	std::string tool = seven_zip_tool();

	void SetUp() override
	{
		if (tool.empty()) GTEST_SKIP() << "no 7-Zip command on this machine";
		mkdir(work.c_str(), 0755);
		mkdir(box.c_str(), 0755);
		mkdir(dest.c_str(), 0755);
		mkdir((box + "elsewhere").c_str(), 0755);
		write_file(box + "elsewhere/x", "outside file");
		write_file(src + "top/a.txt", "alpha\n");
		write_file(src + "top/sub/b.bin", random_bytes(300000, 1));
		write_file(src + "top/sub/c.txt", std::string(100000, 'c'));
		write_file(src + "top/sub/empty", "");
		chmod((src + "top/a.txt").c_str(), 0755);
	}

	// Packs src's "top" with 7-Zip; `method` as its -m0 switch, solid.
	std::string seven(const std::string& name, const std::string& method, const std::string& extra = "")
	{
		std::string out = work + name, log;
		EXPECT_EQ(run_sh("cd " + sh_quote(src) + " && " + tool + " a -t7z -ms=on -m0=" + method + " -bd -y " + extra +
		                     " " + sh_quote(out) + " top",
		                 &log),
		          0)
		    << log;
		return out;
	}

	std::vector<std::string> outside()
	{
		std::vector<std::string> out;
		for (auto& l : tree_listing(env.root()))
			if (l.find(" box/dest") == std::string::npos && l.find(" work") == std::string::npos) out.push_back(l);
		return out;
	}

	void fresh_dest(bool folders)
	{
		remove_tree(dest);
		mkdir(dest.c_str(), 0755);
		if (folders) {
			mkdir((dest + "top").c_str(), 0755);
			mkdir((dest + "top/sub").c_str(), 0755);
		}
	}
};

TEST_F(SevenZipTest, SolidLzmaAndLzma2ArchivesUnpackEveryFile)
{
	mode_t mask = umask(0);
	umask(mask);
	for (const char* method : {"lzma", "lzma2"}) {
		std::string z = seven(std::string("solid-") + method + ".7z", method);
		fresh_dest(true);
		std::string last;
		ASSERT_EQ(p7z_to_file(z, dest, &last, 0), 0) << method;
		for (const char* f : {"top/a.txt", "top/sub/b.bin", "top/sub/c.txt", "top/sub/empty"})
			EXPECT_EQ(read_file(dest + f), read_file(src + f)) << method << " " << f;
		EXPECT_TRUE(path_exists(last)) << last;
		EXPECT_EQ(last.compare(0, dest.size(), dest), 0) << last;
		// Modes are not restored: every file has a new file's mode.
		struct stat st;
		ASSERT_EQ(stat((dest + "top/a.txt").c_str(), &st), 0);
		EXPECT_EQ(st.st_mode & 0777, 0666u & ~mask);
	}
}

TEST_F(SevenZipTest, BsdtarArchivesAndLinkEntries)
{
	symlink("sub/c.txt", (src + "top/lnk").c_str());
	std::string z = work + "bsd.7z", log;
	ASSERT_EQ(run_sh("cd " + sh_quote(src) + " && bsdtar --format 7zip -cf " + sh_quote(z) + " top", &log), 0) << log;
	fresh_dest(true);
	ASSERT_EQ(p7z_to_file(z, dest, nullptr, 0), 0);
	EXPECT_EQ(read_file(dest + "top/sub/b.bin"), read_file(src + "top/sub/b.bin"));
	// Links are not restored: the entry becomes a file holding the link's text.
	char buf[16];
	EXPECT_LT(readlink((dest + "top/lnk").c_str(), buf, sizeof buf), 0);
	EXPECT_EQ(read_file(dest + "top/lnk"), "sub/c.txt");

	z = seven("links.7z", "lzma2", "-snl");
	fresh_dest(true);
	ASSERT_EQ(p7z_to_file(z, dest, nullptr, 0), 0);
	EXPECT_EQ(read_file(dest + "top/lnk"), "sub/c.txt");
}

TEST_F(SevenZipTest, FoldersAreNotMadeAndFilesAreReplaced)
{
	std::string z = seven("s.7z", "lzma2");
	fresh_dest(false);
	EXPECT_EQ(p7z_to_file(z, dest, nullptr, 0), ENOENT);

	fresh_dest(true);
	write_file(dest + "top/sub/c.txt", "an older, different file that is longer than nothing");
	write_file(dest + "top/sub/empty", "not empty before");
	ASSERT_EQ(p7z_to_file(z, dest, nullptr, 0), 0);
	EXPECT_EQ(read_file(dest + "top/sub/c.txt"), std::string(100000, 'c'));
	EXPECT_EQ(read_file(dest + "top/sub/empty"), "");
	// An existing link at a destination is replaced, never written through.
	fresh_dest(true);
	symlink((box + "elsewhere/x").c_str(), (dest + "top/a.txt").c_str());
	ASSERT_EQ(p7z_to_file(z, dest, nullptr, 0), 0);
	EXPECT_EQ(read_file(box + "elsewhere/x"), "outside file");
	EXPECT_EQ(read_file(dest + "top/a.txt"), "alpha\n");
}

TEST_F(SevenZipTest, RenamedAndRecordedFiles)
{
	write_file(src + "one/only.txt", "the only file");
	std::string z = work + "one.7z", log;
	ASSERT_EQ(run_sh("cd " + sh_quote(src + "one") + " && " + tool + " a -t7z -bd -y " + sh_quote(z) + " only.txt", &log),
	          0)
	    << log;
	std::string name = "renamed.txt";
	ASSERT_EQ(p7z_to_file(z, dest, &name, 1), 0);
	EXPECT_EQ(name, dest + "renamed.txt");
	EXPECT_EQ(read_file(dest + "renamed.txt"), "the only file");
	EXPECT_FALSE(path_exists(dest + "only.txt"));

	write_file(dest + "only.txt", "installed");
	unpack_record rec;
	rec.temp_names = true;
	ASSERT_EQ(p7z_to_file(z, dest, nullptr, 0, &rec), 0);
	EXPECT_EQ(read_file(dest + "only.txt"), "installed");
	ASSERT_EQ(rec.items.size(), 1u);
	EXPECT_EQ(rec.items[0].dest, dest + "only.txt");
	EXPECT_EQ(rec.items[0].written.rfind(dest + kx_temp_mark, 0), 0u) << rec.items[0].written;
	EXPECT_EQ(read_file(rec.items[0].written), "the only file");
}

TEST_F(SevenZipTest, ForeignAndMissingArchives)
{
	EXPECT_EQ(p7z_to_file(work + "none.7z", dest, nullptr, 0), ENOENT);
	for (const kx_test::no_file& f : kx_test::kNoFiles) {
		const std::string z = work + "no_file_" + std::to_string(static_cast<int>(f.kind)) + ".7z";
		ASSERT_TRUE(kx_test::plant_no_file(f, z));
		kx_test::finishes_within("opening an archive",
		                         [&] { EXPECT_EQ(p7z_to_file(z, dest, nullptr, 0), f.error) << f.what; });
	}
	write_file(work + "text.7z", "plain words, not an archive");
	EXPECT_EQ(p7z_to_file(work + "text.7z", dest, nullptr, 0), err_zip_open);
	write_file(work + "empty.7z", "");
	EXPECT_EQ(p7z_to_file(work + "empty.7z", dest, nullptr, 0), err_zip_open);
	std::string log;
	ASSERT_EQ(run_sh("cd " + sh_quote(src) + " && zip -q -r " + sh_quote(work + "a.zip") + " top", &log), 0) << log;
	EXPECT_EQ(p7z_to_file(work + "a.zip", dest, nullptr, 0), err_zip_open);
}

TEST_F(SevenZipTest, HostileEntriesAreRefusedAndNothingOutsideChanges)
{
	std::string stage = work + "stage/";
	write_file(stage + "evil", "evil");
	write_file(stage + "lx/x", "evil");
	symlink("../elsewhere", (stage + "l").c_str());
	struct Case {
		const char* what;
		std::string args;  // bsdtar arguments after the archive name
		bool pre_link;
	};
	std::string abs = box + "abs.txt";
	write_file(work + "abs.txt", "evil");
	std::vector<Case> cases = {
	    {"dot-dot", "-s ',^evil$,../evil,' evil", false},
	    {"deep dot-dot", "-s ',^evil$,a/../../evil,' evil", false},
	    {"absolute", "-s ',^.*abs.txt$," + abs + ",' " + sh_quote(work + "abs.txt"), false},
	    {"link then file through it", "-s ',^lx/x$,l/x,' l lx/x", false},
	    {"file through an existing link", "-s ',^evil$,pre/x,' evil", true},
	};
	int n = 0;
	for (const Case& c : cases) {
		remove_tree(dest);
		mkdir(dest.c_str(), 0755);
		if (c.pre_link) symlink((box + "elsewhere").c_str(), (dest + "pre").c_str());
		std::string z = work + "hostile" + std::to_string(n++) + ".7z", log;
		ASSERT_EQ(run_sh("cd " + sh_quote(stage) + " && bsdtar -P --format 7zip -cf " + sh_quote(z) + " " + c.args, &log),
		          0)
		    << c.what << ": " << log;
		auto before = outside();
		LogCapture capture(work + "log.txt");
		EXPECT_EQ(p7z_to_file(z, dest, nullptr, 0), err_zip_open) << c.what;
		EXPECT_EQ(outside(), before) << c.what;
		EXPECT_EQ(read_file(box + "elsewhere/x"), "outside file");
		EXPECT_NE(capture.text().find("Refusing archive entry"), std::string::npos) << c.what;
	}
}

// The names of a refused entry reach the log spelled out, from 7-Zip and from bsdtar
// alike: one line for the refusal, whatever line ends and escapes the name holds.
TEST_F(SevenZipTest, EntryNamesNeverForgeALogLine)
{
	const std::string forged = "\nFORGED: x\x1b[31m";
	const std::string spelled = "\\nFORGED: x\\x1b[31m";
	const std::string stage = work + "stage/";
	write_file(stage + "pre/s" + forged, "through a link");
	write_file(stage + "t" + forged + "\\b", "a backslash");
	struct Case {
		const char* what;
		std::string command;  // run in the staging folder, writing "out.7z"
		std::string logged;
	};
	const std::vector<Case> cases = {
	    {"7-Zip", tool + " a -t7z -bd -y out.7z " + sh_quote("pre/s" + forged), "\"pre/s" + spelled + "\""},
	    {"bsdtar", "bsdtar --format 7zip -cf out.7z " + sh_quote("t" + forged + "\\b"),
	     "\"t" + spelled + "\\\\b\""},
	};
	LogCapture capture(work + "log.txt");
	for (const Case& c : cases) {
		std::string out;
		::unlink((stage + "out.7z").c_str());
		ASSERT_EQ(run_sh("cd " + sh_quote(stage) + " && " + c.command, &out), 0) << c.what << ": " << out;
		remove_tree(dest);
		mkdir(dest.c_str(), 0755);
		symlink((box + "elsewhere").c_str(), (dest + "pre").c_str());
		EXPECT_EQ(p7z_to_file(stage + "out.7z", dest, nullptr, 0), err_zip_open) << c.what;
		EXPECT_NE(capture.text().find("Refusing archive entry " + c.logged), std::string::npos)
		    << c.what << "\n" << capture.text();
	}
	EXPECT_EQ(read_file(box + "elsewhere/x"), "outside file");
	EXPECT_EQ(log_breakout(capture.text(), "FORGED"), "");
}

TEST_F(SevenZipTest, TruncatedAndBitFlippedArchivesGiveErrors)
{
	for (const char* method : {"lzma", "lzma2"}) {
		std::string z = seven(std::string("d-") + method + ".7z", method);
		std::string good = read_file(z), bad = work + "bad.7z";
		long long size = static_cast<long long>(good.size());
		for (long long cut : {0LL, 6LL, 31LL, 32LL, 100LL, size / 2, size - 40, size - 1}) {
			write_file(bad, good);
			truncate_to(bad, cut);
			fresh_dest(true);
			auto before = outside();
			EXPECT_NE(p7z_to_file(bad, dest, nullptr, 0), 0) << method << " cut at " << cut;
			EXPECT_EQ(outside(), before);
		}
		// A damaged byte is caught by a CRC or the decoder; the few bytes the decoder
		// never needs (the tail of a range-coded stream) may change without harm, but
		// then what comes out is exactly what went in.
		int caught = 0, tried = 0;
		for (long long at = 0; at < size; at += (at < 32 || at > size - 300) ? 1 : 1499) {
			write_file(bad, good);
			flip_byte(bad, at);
			fresh_dest(true);
			auto before = outside();
			++tried;
			if (p7z_to_file(bad, dest, nullptr, 0) != 0) {
				++caught;
			} else {
				for (const char* f : {"top/a.txt", "top/sub/b.bin", "top/sub/c.txt", "top/sub/empty"})
					EXPECT_EQ(read_file(dest + f), read_file(src + f)) << method << " flip at " << at << " " << f;
			}
			EXPECT_EQ(outside(), before);
		}
		EXPECT_GT(caught, tried - 8) << method;
	}
}

// Sets the decoder size a coder names (its props follow `coder`) and mends both CRCs
// of the header, so only the size is wrong.
bool forge_decoder_size(const std::string& path, const std::string& coder, const std::string& props)
{
	std::string a = read_file(path);
	const size_t at = a.find(coder);
	if (a.size() < 32 || at == std::string::npos) return false;
	a.replace(at + coder.size(), props.size(), props);
	auto put32 = [&](size_t pos, uint32_t v) {
		for (int i = 0; i < 4; ++i) a[pos + i] = static_cast<char>(v >> (8 * i));
	};
	auto le64 = [&](size_t pos) {
		uint64_t v = 0;
		for (int i = 7; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(a[pos + i]);
		return v;
	};
	const uint64_t offset = le64(12), size = le64(20);
	put32(28, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(a.data() + 32 + offset), size)));
	put32(8, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(a.data() + 12), 20)));
	return write_file(path, a);
}

TEST_F(SevenZipTest, ForgedDecoderSizesAreRefusedBeforeTheReaderAllocates)
{
	// Headers left unpacked, so the coder's size can be patched: a 4 GB LZMA
	// dictionary, the largest LZMA2 one, a 4 GB PPMd model; by 7-Zip and by bsdtar.
	const std::string lzma("\x23\x03\x01\x01\x05", 5), lzma2("\x21\x21\x01", 3), ppmd("\x23\x03\x04\x01\x05", 5);
	const std::string huge_lzma("\x5d\xff\xff\xff\xff", 5), huge_lzma2("\x28", 1), huge_ppmd("\x06\xf0\xff\xff\xff", 5);
	struct Case {
		std::string archive, coder, props;
	};
	std::vector<Case> cases = {{seven("lzma.7z", "lzma", "-mhc=off"), lzma, huge_lzma},
	                           {seven("lzma2.7z", "lzma2", "-mhc=off"), lzma2, huge_lzma2},
	                           {seven("ppmd.7z", "PPMd", "-mhc=off"), ppmd, huge_ppmd}};
	write_file(src + "small/s.txt", "a small file\n");
	const std::string bsd = work + "bsdtar.7z";
	ASSERT_EQ(run_sh("cd " + sh_quote(src + "small") + " && bsdtar --format 7zip -cf " + sh_quote(bsd) + " s.txt"), 0);
	cases.push_back({bsd, lzma, huge_lzma});
	for (const Case& c : cases) {
		SCOPED_TRACE(c.archive);
		// Unforged, each unpacks.
		fresh_dest(true);
		const auto empty = tree_listing(dest);
		ASSERT_EQ(p7z_to_file(c.archive, dest, nullptr, 0), 0);
		ASSERT_TRUE(forge_decoder_size(c.archive, c.coder, c.props));
		fresh_dest(true);
		EXPECT_EQ(p7z_to_file(c.archive, dest, nullptr, 0), err_zip_open);
		EXPECT_EQ(tree_listing(dest), empty);
	}
}

// A full disk, or a close that fails, says why with its own errno and leaves the
// installed file as it was; so does a link entry, written as a file holding its text.
TEST_F(SevenZipTest, FullDiskIsAnErrorAndKeepsTheInstalledFile)
{
	const std::string z = seven("full.7z", "lzma2");
	symlink("sub/c.txt", (src + "top/lnk").c_str());
	const std::string link = work + "link.7z";
	ASSERT_EQ(run_sh("cd " + sh_quote(src) + " && bsdtar --format 7zip -cf " + sh_quote(link) + " top/lnk"), 0);
	const std::string d = dest;
	const auto unpack = [&] { return p7z_to_file(z, d, nullptr, 0); };
	const auto unpack_link = [&] { return p7z_to_file(link, d, nullptr, 0); };
	struct Case {
		const char* what;
		std::function<int()> run;
		int err;
		const char* installed;
	};
	const Case cases[] = {
	    {"a full disk", [&] { return run_with_file_limit(64 * 1024, unpack); }, EFBIG, "top/sub/b.bin"},
	    {"a failed close", [&] { return run_with_failing_calls({SYS_close}, EIO, unpack); }, EIO, "top/sub/b.bin"},
	    {"a link on a full disk", [&] { return run_with_file_limit(0, unpack_link); }, EFBIG, "top/lnk"},
	    {"a link's failed close", [&] { return run_with_failing_calls({SYS_close}, EIO, unpack_link); }, EIO, "top/lnk"}};
	for (const Case& c : cases) {
		SCOPED_TRACE(c.what);
		fresh_dest(true);
		write_file(dest + c.installed, "the installed version");
		EXPECT_EQ(c.run(), c.err);
		EXPECT_EQ(read_file(dest + c.installed), "the installed version");
		for (const std::string& l : tree_listing(dest)) EXPECT_EQ(l.find(kx_temp_mark), std::string::npos) << l;
	}
}

// An installed file's archive is unpacked for that file alone: what else lies in its
// folder (a logbook, the preferences) is the user's and must come through unchanged.
TEST_F(SevenZipTest, AnArchiveForOneFileYieldsThatFileOnly)
{
	const std::string logbook = "Output/logbooks/Kestrix Log.txt";
	const std::string one = work + "one/";
	write_file(one + "f.txt", "new version");
	write_file(one + "prefs.txt", "evil");
	write_file(one + logbook, "evil");
	write_file(one + "__MACOSX/._f.txt", "fork");
	mkdir((one + "New").c_str(), 0755);
	auto seven_of = [&](const std::string& name, const std::string& files) {
		std::string z = work + name, log;
		EXPECT_EQ(run_sh("cd " + sh_quote(one) + " && " + tool + " a -t7z -bd -y " + sh_quote(z) + " " + files, &log), 0)
		    << log;
		return z;
	};
	auto bsdtar_of = [&](const std::string& name, const std::string& files) {
		std::string z = work + name, log;
		EXPECT_EQ(run_sh("cd " + sh_quote(one) + " && bsdtar --format 7zip -cf " + sh_quote(z) + " " + files, &log), 0)
		    << log;
		return z;
	};
	auto a_copy = [&] {
		remove_tree(dest);
		write_file(dest + logbook, "the pilot's logbook");
		write_file(dest + "prefs.txt", "my preferences");
		mkdir((dest + "__MACOSX").c_str(), 0755);
	};
	auto only_f = [] {
		unpack_record rec;
		rec.only_entry = "f.txt";
		return rec;
	};

	for (const std::string& z : {seven_of("one.7z", "f.txt"), bsdtar_of("one-bsd.7z", "f.txt")}) {
		a_copy();
		unpack_record rec = only_f();
		ASSERT_EQ(p7z_to_file(z, dest, nullptr, 0, &rec), 0) << z;
		EXPECT_EQ(read_file(dest + "f.txt"), "new version") << z;
	}

	// Anything more is a damaged archive: nothing at all is written. This reader keeps no
	// forks, so an AppleDouble entry is just another file here.
	struct Bad {
		const char* what;
		std::string archive;
	};
	const std::vector<Bad> bad = {
	    {"a sibling", seven_of("b0.7z", "f.txt prefs.txt")},
	    {"a file below the folder", seven_of("b1.7z", "f.txt " + sh_quote(logbook))},
	    {"a folder entry", seven_of("b2.7z", "f.txt New")},
	    {"bsdtar, the other file first", bsdtar_of("b3.7z", sh_quote(logbook) + " f.txt")},
	    {"bsdtar, a second copy", bsdtar_of("b4.7z", "f.txt f.txt")},
	    {"bsdtar, an AppleDouble entry", bsdtar_of("b5.7z", "f.txt __MACOSX/._f.txt")},
	};
	for (const Bad& b : bad) {
		a_copy();
		const auto before = tree_listing(dest);
		LogCapture capture(work + "log.txt");
		unpack_record rec = only_f();
		EXPECT_EQ(p7z_to_file(b.archive, dest, nullptr, 0, &rec), err_zip_open) << b.what;
		EXPECT_EQ(tree_listing(dest), before) << b.what;
		EXPECT_EQ(read_file(dest + logbook), "the pilot's logbook") << b.what;
		EXPECT_EQ(read_file(dest + "prefs.txt"), "my preferences") << b.what;
		EXPECT_TRUE(rec.items.empty()) << b.what;
		EXPECT_NE(capture.text().find("Refusing archive entry"), std::string::npos) << b.what;
	}
}

// Archives past 2 GiB: needs about 5 GB of disk and some time, so it runs only when
// KX_LARGE_ARCHIVE_TESTS is set.
TEST_F(SevenZipTest, ArchivesBeyondTwoGigabytes)
{
	if (!std::getenv("KX_LARGE_ARCHIVE_TESTS")) GTEST_SKIP() << "set KX_LARGE_ARCHIVE_TESTS=1 to run";
	std::string big = work + "big/";
	write_file(big + "first.bin", random_bytes(1 << 20, 2));
	ASSERT_EQ(truncate_to(big + "first.bin", (5ll << 29)), true);  // 2.5 GiB, mostly a hole
	write_file(big + "second.txt", "after the 2 GiB mark");
	std::string z = work + "big.7z", log;
	// Stored and not solid, so the second file's data lies past 2 GiB in the archive.
	ASSERT_EQ(run_sh("cd " + sh_quote(big) + " && " + tool + " a -t7z -mx=0 -ms=off -bd -y " + sh_quote(z) +
	                     " first.bin second.txt",
	                 &log),
	          0)
	    << log;
	ASSERT_EQ(p7z_to_file(z, dest, nullptr, 0), 0);
	EXPECT_EQ(read_file(dest + "second.txt"), "after the 2 GiB mark");
	struct stat st;
	ASSERT_EQ(stat((dest + "first.bin").c_str(), &st), 0);
	EXPECT_EQ(st.st_size, 5ll << 29);
}

}  // namespace
