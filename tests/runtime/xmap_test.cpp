#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "runtime/hl_globals.h"
#include "runtime/xmap.h"
#include "support/bounded_wait.h"
#include "support/no_file.h"
#include "support/test_env.h"

using kx_test::AlertExit;
using kx_test::AlertRecorder;
using kx_test::read_file;
using kx_test::TempEnv;
using kx_test::write_file;

namespace {
const int k_versions[] = {840, 900, 0};

std::string bytes(std::initializer_list<int> b)
{
	std::string s;
	for (int c : b) s.push_back(static_cast<char>(c));
	return s;
}

// A change of one file's length, made when our libraries first read it: after the open
// that took its length, before any of its bytes are read.
struct length_change {
	std::atomic<bool> armed{false};
	std::string path;
	dev_t dev = 0;
	ino_t ino = 0;
	off_t length = 0;
	bool made = false;
};
length_change g_change;

void change_length_at_first_read(const std::string& path, off_t length)
{
	struct stat st;
	ASSERT_EQ(stat(path.c_str(), &st), 0) << path;
	g_change.path = path;
	g_change.dev = st.st_dev;
	g_change.ino = st.st_ino;
	g_change.length = length;
	g_change.made = false;
	g_change.armed = true;
}

// Whether the change was made; it is not made afterwards.
bool length_changed()
{
	g_change.armed = false;
	return g_change.made;
}
}  // namespace

// The test program is linked so that our libraries' read calls come here first (see
// CMakeLists.txt).
extern "C" {
ssize_t __real_read(int fd, void* buf, size_t n);

ssize_t __wrap_read(int fd, void* buf, size_t n)
{
	struct stat st;
	if (g_change.armed.load() && fstat(fd, &st) == 0 && st.st_dev == g_change.dev && st.st_ino == g_change.ino &&
	    g_change.armed.exchange(false))
		g_change.made = truncate(g_change.path.c_str(), g_change.length) == 0;
	return __real_read(fd, buf, n);
}
}

TEST(XmapHeader, TextHeaderWithIdentifierLeavesCursorOnBody)
{
	TempEnv env;
	write_file(env.path("list.txt"), "I\n900 version\nINSTALLER\n\nDIR x\n");
	xmap_class m(env.path("list.txt"));
	ASSERT_NE(m.begin, nullptr);
	EXPECT_EQ(m.check_file(xmap_text, k_versions, "INSTALLER", nullptr), 900);
	ASSERT_LT(m.cur, m.end);
	EXPECT_EQ(*m.cur, 'D');
	EXPECT_EQ(m.swap, 0);
}

TEST(XmapHeader, FirstLineMustBeIOrA)
{
	TempEnv env;
	write_file(env.path("a.txt"), "A\n840 version\nbody");
	write_file(env.path("x.txt"), "X\n840 version\nbody");
	xmap_class a(env.path("a.txt"));
	xmap_class x(env.path("x.txt"));
	EXPECT_EQ(a.check_file(xmap_text, k_versions, nullptr, nullptr), 840);
	EXPECT_EQ(*a.cur, 'b');
	EXPECT_EQ(x.check_file(xmap_text, k_versions, nullptr, nullptr), 0);
}

TEST(XmapHeader, VersionTextAndUnlistedVersions)
{
	TempEnv env;
	write_file(env.path("v.txt"), "I\r\n9002 version Kestrix\r\nrest");
	xmap_class m(env.path("v.txt"));
	const int want[] = {9002, 0};
	std::string text;
	EXPECT_EQ(m.check_file(xmap_text, want, nullptr, &text), 9002);
	EXPECT_EQ(text, "version Kestrix");
	EXPECT_EQ(m.check_file(xmap_text, k_versions, nullptr, nullptr), 0);
	const int none[] = {0};
	EXPECT_EQ(m.check_file(xmap_text, none, nullptr, nullptr), 0);
}

TEST(XmapHeader, HugeAndSignedVersionsDoNotOverflow)
{
	TempEnv env;
	write_file(env.path("big.txt"), "I\n99999999999999999999999 version\n");
	write_file(env.path("neg.txt"), "I\n-+900 version\n");
	xmap_class big(env.path("big.txt"));
	EXPECT_EQ(big.check_file(xmap_text, k_versions, nullptr, nullptr), 0);
	xmap_class neg(env.path("neg.txt"));
	const int want[] = {-900, 0};
	EXPECT_EQ(neg.check_file(xmap_text, want, nullptr, nullptr), -900);
}

TEST(XmapHeader, IdentifierMustMatchWholeWord)
{
	TempEnv env;
	write_file(env.path("id.txt"), "I\n900 version\n  INSTALLERS\nDIR");
	xmap_class m(env.path("id.txt"));
	EXPECT_EQ(m.check_file(xmap_text, k_versions, "INSTALLER", nullptr), 0);
	ASSERT_LE(m.cur + 10, m.end);
	EXPECT_EQ(std::string(m.cur, 10), "INSTALLERS");

	// The identifier may also be the last bytes of the file.
	write_file(env.path("id2.txt"), "I\n900 version\nDVD");
	xmap_class e(env.path("id2.txt"));
	EXPECT_EQ(e.check_file(xmap_text, k_versions, "DVD", nullptr), 900);
	EXPECT_EQ(e.cur, e.end);
}

TEST(XmapHeader, BinaryHeaderInBothByteOrders)
{
	TempEnv env;
	write_file(env.path("swapped.bin"), bytes({'a', 0, 0, 3, 0x84, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
	xmap_class m(env.path("swapped.bin"));
	EXPECT_EQ(m.check_file(xmap_binary, k_versions, nullptr, nullptr), 900);
	EXPECT_EQ(m.swap, 1);
	unsigned char out[8] = {};
	m.read_n_rev(reinterpret_cast<long>(out), 8);
	const unsigned char want[8] = {4, 3, 2, 1, 8, 7, 6, 5};
	EXPECT_EQ(std::memcmp(out, want, 8), 0);
	EXPECT_EQ(*m.cur, 9);

	write_file(env.path("native.bin"), bytes({'i', 0x84, 3, 0, 0, 1, 2, 3}));
	xmap_class n(env.path("native.bin"));
	EXPECT_EQ(n.check_file(xmap_binary, k_versions, nullptr, nullptr), 900);
	EXPECT_EQ(n.swap, 0);
	unsigned char three[3] = {};
	n.read_n_rev(reinterpret_cast<long>(three), 3);
	EXPECT_EQ(three[0], 1);
	EXPECT_EQ(three[2], 3);

	// Too short for a version: nothing consumed, and a version of 0 matches nothing.
	write_file(env.path("short.bin"), bytes({'i', 0x84, 3}));
	xmap_class s(env.path("short.bin"));
	EXPECT_EQ(s.check_file(xmap_binary, k_versions, nullptr, nullptr), 0);

	write_file(env.path("wrong.bin"), bytes({'x', 0x84, 3, 0, 0}));
	xmap_class w(env.path("wrong.bin"));
	EXPECT_EQ(w.check_file(xmap_binary, k_versions, nullptr, nullptr), 0);
}

TEST(XmapFile, EmptyAndMissingFiles)
{
	TempEnv env;
	write_file(env.path("empty"), "");
	const int before = mapped_files_open.load();
	xmap_class e(env.path("empty"));
	EXPECT_NE(e.begin, nullptr);
	EXPECT_EQ(e.begin, e.end);
	EXPECT_EQ(e.cur, e.begin);
	EXPECT_EQ(e.check_file(xmap_text, k_versions, nullptr, nullptr), 0);
	EXPECT_EQ(mapped_files_open.load(), before + 1);

	xmap_class m(env.path("missing"));
	EXPECT_EQ(m.begin, nullptr);
	EXPECT_EQ(m.fd, 0);
	EXPECT_EQ(m.check_file(xmap_text, k_versions, nullptr, nullptr), 0);
	std::string w = "keep";
	m.TXT_str_scan_space(&w);
	EXPECT_EQ(w, "");
	m.TXT_str_scan_eoln(nullptr);

	// A folder has no data to map.
	xmap_class f(env.root());
	EXPECT_EQ(f.begin, nullptr);
	// Nor has a FIFO (whose open must not wait for a writer) or a device, though both
	// report a length of zero like an empty file.
	const std::string fifo = env.path("fifo");
	ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
	kx_test::finishes_within("mapping a FIFO", [&] {
		xmap_class q(fifo);
		EXPECT_EQ(q.begin, nullptr);
	});
	xmap_class dev("/dev/zero");
	EXPECT_EQ(dev.begin, nullptr);

	xmap_class none("");
	EXPECT_EQ(none.begin, nullptr);
	EXPECT_EQ(none.path, "");
}

// A file from outside is read into memory: the same data, cursor and scanners, no
// mapping to fail under it, and nothing but a regular file is read.
TEST(XmapFile, ReadWholeGivesTheDataAndMapsNothing)
{
	TempEnv env;
	const std::string body = "I\n900 version\nDVD\nVERSION Kestrix\n";
	write_file(env.path("id.txt"), body);
	write_file(env.path("empty"), "");
	std::vector<std::string> refused = {env.path("missing")};
	for (const kx_test::no_file& f : kx_test::kNoFiles) {
		refused.push_back(env.path("no_file_" + std::to_string(refused.size())));
		ASSERT_TRUE(kx_test::plant_no_file(f, refused.back()));
	}
	const int before = mapped_files_open.load();

	xmap_class m(env.path("id.txt"), xmap_class::read_whole);
	ASSERT_NE(m.begin, nullptr);
	EXPECT_EQ(std::string(m.begin, m.end), body);
	EXPECT_EQ(m.check_file(xmap_text, k_versions, "DVD", nullptr), 900);
	std::string w;
	m.TXT_str_scan_space(&w);
	EXPECT_EQ(w, "VERSION");
	EXPECT_EQ(m.fd, 0);  // nothing stays open
	xmap_class e(env.path("empty"), xmap_class::read_whole);
	EXPECT_NE(e.begin, nullptr);
	EXPECT_EQ(e.begin, e.end);
	for (const std::string& path : refused)
		kx_test::finishes_within("reading a file whole", [&] {
			xmap_class r(path, xmap_class::read_whole);
			EXPECT_EQ(r.begin, nullptr) << path;
		});
	EXPECT_EQ(mapped_files_open.load(), before);
}

// A file from outside whose length changes once the open took it (a disc failing under
// the reader, a program still writing it) is refused, grown as much as shrunk: what
// was read is not the file its length said.
TEST(XmapFile, ReadWholeRefusesAFileWhoseLengthChangesWhileRead)
{
	TempEnv env;
	const std::string body = "I\n900 version\nDVD\nVERSION Kestrix\n";
	const std::string p = env.path("changing.txt");
	for (const size_t length : {body.size() / 2, body.size() + 1}) {
		SCOPED_TRACE(length < body.size() ? "shrunk" : "grown");
		ASSERT_TRUE(write_file(p, body));
		change_length_at_first_read(p, static_cast<off_t>(length));
		xmap_class m(p, xmap_class::read_whole);
		EXPECT_TRUE(length_changed());
		EXPECT_EQ(m.begin, nullptr);
	}
}

TEST(XmapFile, RetryReplacesTheMapping)
{
	TempEnv env;
	write_file(env.path("one"), "first");
	write_file(env.path("two"), "second file");
	xmap_class m(env.path("one"));
	const int opened = mapped_files_open.load();
	ASSERT_NE(m.retry(env.path("two")), nullptr);
	EXPECT_EQ(mapped_files_open.load(), opened);
	EXPECT_EQ(std::string(m.begin, m.end), "second file");
	EXPECT_EQ(m.retry(env.path("gone")), nullptr);
	EXPECT_EQ(m.begin, nullptr);
	EXPECT_EQ(m.fd, 0);
}

TEST(XmapFile, PathRulesAreFatal)
{
	TempEnv env;
	AlertRecorder rec;
	EXPECT_THROW(xmap_class(env.path("a\\b")), AlertExit);
	EXPECT_THROW(xmap_class(env.root() + std::string(500, 'x')), AlertExit);
	ASSERT_EQ(rec.alerts().size(), 2u);
	EXPECT_EQ(rec.alerts()[0].line2, "I got a bad dirchar! I only want '/'!");
	EXPECT_EQ(rec.alerts()[0].line4, env.path("a\\b"));
	EXPECT_EQ(rec.alerts()[1].line1, "String too long!");
	EXPECT_EQ(rec.alerts()[1].type, t_exit);

	// ':' is an ordinary name character.
	write_file(env.path("a:b"), "I\n900 version\n");
	xmap_class colon(env.path("a:b"));
	EXPECT_NE(colon.begin, nullptr);

	app_path = env.root();
	EXPECT_THROW(xmap_class(env.path("inside")), AlertExit);
	app_path.clear();
	EXPECT_EQ(rec.alerts().back().line1, "retry: We are getting a file string that is not Orvala relative!");
	EXPECT_THROW(colon.check_file(3, k_versions, nullptr, nullptr), AlertExit);
	EXPECT_EQ(rec.alerts().back().line1, "Bad check_file type!");
}

TEST(XmapRead, ReadPastEndIsRefused)
{
	TempEnv env;
	write_file(env.path("four"), "abcd");
	AlertRecorder rec;
	xmap_class m(env.path("four"));
	char buf[16] = {};
	m.read_n_rev(reinterpret_cast<long>(buf), 2);
	EXPECT_THROW(m.read_n_rev(reinterpret_cast<long>(buf), 3), AlertExit);
	EXPECT_THROW(m.read_n_rev(reinterpret_cast<long>(buf), -1), AlertExit);
	EXPECT_EQ(rec.alerts().back().line1, "Invalid read_n_rev read!");
	EXPECT_EQ(std::string(m.cur, m.end), "cd");
	m.read_n_rev(reinterpret_cast<long>(buf), 2);
	EXPECT_EQ(m.cur, m.end);

	xmap_class missing(env.path("nothing"));
	missing.read_n_rev(reinterpret_cast<long>(buf), 0);
	EXPECT_THROW(missing.read_n_rev(reinterpret_cast<long>(buf), 1), AlertExit);
}

TEST(XmapScan, WordsAndLines)
{
	TempEnv env;
	write_file(env.path("s"), "  abc\tdef\n a b \r\n\r\n  next");
	xmap_class m(env.path("s"));
	std::string w;
	m.TXT_str_scan_space(&w);
	EXPECT_EQ(w, "abc");
	EXPECT_EQ(*m.cur, '\t');
	m.TXT_str_scan_space(w);
	EXPECT_EQ(w, "def");
	m.TXT_str_scan_space(&w);  // on a line break: empty word, cursor stays
	EXPECT_EQ(w, "");
	EXPECT_EQ(*m.cur, '\n');
	m.TXT_str_scan_eoln(nullptr);
	m.TXT_str_scan_eoln(&w);
	EXPECT_EQ(w, "a b ");
	EXPECT_EQ(std::string(m.cur, m.end), "next");
	m.TXT_str_scan_eoln(&w);
	EXPECT_EQ(w, "next");
	EXPECT_EQ(m.cur, m.end);
}

TEST(XmapScan, PageSizedFileWithoutFinalNewlineStopsAtEnd)
{
	TempEnv env;
	const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
	std::string data = "I\n900 version\nINSTALLER\n";
	while (data.size() < page) data += "w ";
	data.resize(page - 4);
	data += " end";  // the file ends inside a word, on a page boundary
	ASSERT_EQ(data.size(), page);
	write_file(env.path("page"), data);

	xmap_class m(env.path("page"));
	ASSERT_EQ(m.check_file(xmap_text, k_versions, "INSTALLER", nullptr), 900);
	std::string w, last;
	while (m.cur < m.end) {
		m.TXT_str_scan_space(&w);
		if (!w.empty()) last = w;
	}
	EXPECT_EQ(last, "end");
	EXPECT_EQ(m.cur, m.end);
	m.TXT_str_scan_eoln(&w);
	EXPECT_EQ(w, "");
	m.cur = m.begin + page - 2;
	m.TXT_str_scan_eoln(&w);
	EXPECT_EQ(w, "nd");
	EXPECT_EQ(m.cur, m.end);

	// A header that is all the file holds, ending mid-line.
	write_file(env.path("hdr"), "I\n900");
	xmap_class h(env.path("hdr"));
	std::string text = "x";
	EXPECT_EQ(h.check_file(xmap_text, k_versions, "INSTALLER", &text), 0);
	EXPECT_EQ(text, "");
}

TEST(XmapScan, LogLineNamesTheCursorLine)
{
	TempEnv env;
	write_file(env.path("lines"), "one\r\ntwo words\r\nthree");
	xer.open(env.path("log.txt"));
	xmap_class m(env.path("lines"));
	m.TXT_str_scan_eoln(nullptr);
	m.TXT_str_scan_space(nullptr);
	m.TXT_xer_line();
	xer.close();
	EXPECT_EQ(read_file(env.path("log.txt")), "2 \"two words\"\n");
}

TEST(OufOpen, WritesTextAndBinaryHeaders)
{
	TempEnv env;
	ASSERT_EQ(ouf_open(env.path("list.txt"), xmap_text, 900, "no-copyright-string"), 1);
	ouf << "INSTALLER\n\n";
	ouf.close();
	EXPECT_EQ(read_file(env.path("list.txt")), "I\n900 version\nINSTALLER\n\n");

	ASSERT_EQ(ouf_open(env.path("c.txt"), xmap_text, 7, " (c) Kestrix"), 1);
	ouf.close();
	EXPECT_EQ(read_file(env.path("c.txt")), "I\n7 version (c) Kestrix\n");

	ASSERT_EQ(ouf_open(env.path("b.dat"), xmap_binary, 900, "no-copyright-string"), 1);
	ouf.close();
	EXPECT_EQ(read_file(env.path("b.dat")), bytes({'i', 0x84, 3, 0, 0}));

	// What the writer writes, the reader accepts.
	xmap_class m(env.path("list.txt"));
	EXPECT_EQ(m.check_file(xmap_text, k_versions, "INSTALLER", nullptr), 900);
	xmap_class b(env.path("b.dat"));
	EXPECT_EQ(b.check_file(xmap_binary, k_versions, nullptr, nullptr), 900);
}

TEST(OufOpen, LowerCasesExtensionAndMakesMissingFolder)
{
	TempEnv env;
	ASSERT_EQ(ouf_open(env.path("new/Prefs.PRF"), xmap_text, 1, "no-copyright-string"), 1);
	ouf.close();
	EXPECT_EQ(read_file(env.path("new/Prefs.prf")), "I\n1 version\n");
	EXPECT_EQ(access(env.path("new/Prefs.PRF").c_str(), F_OK), -1);
}

TEST(OufOpen, FailuresAlert)
{
	TempEnv env;
	AlertRecorder rec;
	write_file(env.path("plain"), "x");
	// A file where a folder should be: neither the open nor the folder can succeed.
	EXPECT_EQ(ouf_open(env.path("plain/deeper/x.txt"), xmap_text, 1, "no-copyright-string"), 0);
	ASSERT_EQ(rec.alerts().size(), 1u);
	EXPECT_EQ(rec.alerts()[0].type, t_alert);
	EXPECT_EQ(rec.alerts()[0].line2, env.path("plain/deeper/x.txt"));
	EXPECT_EQ(rec.alerts()[0].line, 854);
	EXPECT_THROW(ouf_open(env.path("y.txt"), 5, 1, ""), AlertExit);
	EXPECT_EQ(rec.alerts().back().line1, "Bad ouf_open type!");
	ouf.clear();
}

TEST(XmapIo, OpenForReadingAndWriting)
{
	TempEnv env;
	int versions[] = {12, 0};
	xmap_class w("");
	ASSERT_EQ(w.io_file_open(1, env.path("io.txt"), versions, xmap_text), 1);
	ouf << "body\n";
	w.io_file_close();
	EXPECT_FALSE(ouf.is_open());

	xmap_class r("");
	EXPECT_EQ(r.io_file_open(0, env.path("io.txt"), versions, xmap_text), 1);
	EXPECT_EQ(std::string(r.cur, r.end), "body\n");
	EXPECT_EQ(r.io_file_open(0, env.path("none.txt"), versions, xmap_text), 0);
	EXPECT_EQ(r.io_file_open(2, env.path("io.txt"), versions, xmap_text), 0);
}
