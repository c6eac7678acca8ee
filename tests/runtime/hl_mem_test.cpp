#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "runtime/hl_globals.h"
#include "runtime/UTL_stat.h"
#include "runtime/hl_mem.h"
#include "support/planted_link.h"
#include "support/test_env.h"

#if defined(__SANITIZE_ADDRESS__)
// From the sanitizer runtime; its header is not always installed.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitizerHeap = true;
#else
constexpr bool kSanitizerHeap = false;
#endif

// Far more than any machine has: the allocator must refuse it.
constexpr std::size_t kImpossible = SIZE_MAX / 2;

int g_handler_calls = 0;
int g_handler_limit = 0;

// Gives up (uninstalls itself) after the limit, as a handler that found no more room.
void counting_handler()
{
	if (++g_handler_calls >= g_handler_limit) std::set_new_handler(nullptr);
}

void throwing_handler()
{
	++g_handler_calls;
	throw std::bad_alloc();
}

// Keeps the compiler from pairing a new with its delete and dropping both.
void* volatile g_sink;

std::string read_all(const std::string& path)
{
	std::ifstream in(path, std::ios::binary);
	std::stringstream ss;
	ss << in.rdbuf();
	return ss.str();
}

// A figure as the report shows it: number right-aligned in five places, then the unit.
std::string figure(uint64_t bytes)
{
	char buf[32];
	std::snprintf(buf, sizeof buf, "%5llu%c", static_cast<unsigned long long>(mem_to_number(bytes)),
	              mem_to_suffix(bytes));
	return buf;
}

// Bytes the heap holds now, as far as the allocator in use can tell.
uint64_t heap_held()
{
#if defined(__SANITIZE_ADDRESS__)
	return __sanitizer_get_current_allocated_bytes();
#else
	const mem_allocator_info a = mem_allocator_stats();
	return a.uordblks + a.hblkhd;
#endif
}

struct Thrower {
	Thrower() { throw std::runtime_error("constructor failed"); }
	char pad[1 << 16];
};

// Keeps reading what arrives through `fd` (its own, closed at the end) until stopped, so
// that a report written into a pipe can never fill it and hang its writer.
class ArrivingBytes {
public:
	explicit ArrivingBytes(int fd) : fd_(fd), reader_([this] { run(); }) {}
	~ArrivingBytes()
	{
		stop();
		::close(fd_);
	}
	ArrivingBytes(const ArrivingBytes&) = delete;
	ArrivingBytes& operator=(const ArrivingBytes&) = delete;
	// What arrived until now; reading ends.
	std::string stop()
	{
		if (reader_.joinable()) {
			done_ = true;
			reader_.join();
		}
		return got_;
	}

private:
	static constexpr int kPollMs = 10;
	void run()
	{
		char buf[4096];
		for (bool last = false; !last;) {
			last = done_;
			pollfd p{fd_, POLLIN, 0};
			if (poll(&p, 1, last ? 0 : kPollMs) <= 0) continue;
			const ssize_t n = read(fd_, buf, sizeof buf);
			if (n > 0) got_.append(buf, size_t(n));
			else poll(nullptr, 0, kPollMs);  // no writer left: nothing to wait for
		}
	}
	int fd_;
	std::atomic<bool> done_{false};
	std::string got_;
	std::thread reader_;
};

}  // namespace

TEST(HeapOperators, ZeroSizeGivesDistinctBlocks)
{
	void* a = ::operator new(0);
	void* b = ::operator new(0);
	void* c = ::operator new[](0);
	void* d = ::operator new(0, std::nothrow);
	ASSERT_NE(a, nullptr);
	ASSERT_NE(b, nullptr);
	ASSERT_NE(c, nullptr);
	ASSERT_NE(d, nullptr);
	EXPECT_NE(a, b);
	EXPECT_NE(a, c);
	EXPECT_NE(b, c);
	g_sink = a;
	::operator delete(a);
	::operator delete(b);
	::operator delete[](c);
	::operator delete(d, std::nothrow);
}

TEST(HeapOperators, NullDeletesDoNothing)
{
	::operator delete(nullptr);
	::operator delete[](nullptr);
	::operator delete(nullptr, std::nothrow);
	::operator delete[](nullptr, std::nothrow);
	::operator delete(nullptr, std::size_t{16});
	::operator delete(nullptr, "tag", 1);
	::operator delete[](nullptr, std::nothrow, "tag", 1);
	SUCCEED();
}

TEST(HeapOperators, TaggedFormsAllocateUsableBlocks)
{
	char* p = new ("hl_mem_test", __LINE__) char[100];
	for (int i = 0; i < 100; ++i) p[i] = static_cast<char>(i);
	EXPECT_EQ(p[99], 99);
	delete[] p;
	int* q = new (std::nothrow, "hl_mem_test", __LINE__) int(7);
	ASSERT_NE(q, nullptr);
	EXPECT_EQ(*q, 7);
	delete q;
}

TEST(HeapOperators, ThrowingConstructorAfterTaggedNewFreesTheBlock)
{
	// The language calls the matching placement delete; without one each failed
	// construction would leak its 64 KB block, 128 MB in all.
	const uint64_t before = heap_held();
	for (int i = 0; i < 1000; ++i) {
		EXPECT_THROW((void)new ("hl_mem_test", __LINE__) Thrower, std::runtime_error);
		EXPECT_THROW((void)new (std::nothrow, "hl_mem_test", __LINE__) Thrower, std::runtime_error);
	}
	const uint64_t after = heap_held();
	EXPECT_LT(after, before + (32u << 20)) << before << " -> " << after;
}

// Runs checks that need the allocator to refuse. The address sanitizer's allocator ends
// the process on an impossible size unless told at start-up to return null, so in that
// build the checks run in a child process that gtest starts afresh with that option.
template <class F>
void with_refusing_allocator(F checks)
{
#if defined(__SANITIZE_THREAD__)
	GTEST_SKIP() << "the thread sanitizer's allocator ends the process on an impossible size";
#endif
	if (!kSanitizerHeap) {
		checks();
		return;
	}
	GTEST_FLAG_SET(death_test_style, "threadsafe");
	const char* old = std::getenv("ASAN_OPTIONS");
	const std::string saved = old ? old : "";
	setenv("ASAN_OPTIONS", ((saved.empty() ? "" : saved + ":") + "allocator_may_return_null=1").c_str(), 1);
	EXPECT_EXIT(
	    {
		    checks();
		    std::exit(testing::Test::HasFailure() ? 1 : 0);
	    },
	    testing::ExitedWithCode(0), "");
	if (old)
		setenv("ASAN_OPTIONS", saved.c_str(), 1);
	else
		unsetenv("ASAN_OPTIONS");
}

TEST(HeapOperatorsDeathTest, FailingAllocationRunsTheHandlerThenThrows)
{
	with_refusing_allocator([] {
		std::new_handler old = std::set_new_handler(counting_handler);
		g_handler_calls = 0;
		g_handler_limit = 3;
		EXPECT_THROW(g_sink = ::operator new(kImpossible), std::bad_alloc);
		EXPECT_EQ(g_handler_calls, 3);

		std::set_new_handler(counting_handler);
		g_handler_calls = 0;
		g_handler_limit = 2;
		EXPECT_THROW(g_sink = ::operator new[](kImpossible, "hl_mem_test", 1), std::bad_alloc);
		EXPECT_EQ(g_handler_calls, 2);

		std::set_new_handler(nullptr);
		EXPECT_THROW(g_sink = ::operator new(kImpossible), std::bad_alloc);
		std::set_new_handler(old);
	});
}

TEST(HeapOperatorsDeathTest, NothrowFormsReturnNull)
{
	with_refusing_allocator([] {
		std::new_handler old = std::set_new_handler(nullptr);
		EXPECT_EQ(::operator new(kImpossible, std::nothrow), nullptr);
		EXPECT_EQ(::operator new[](kImpossible, std::nothrow), nullptr);

		// The handler is still asked for room; once it gives up the answer is null.
		std::set_new_handler(counting_handler);
		g_handler_calls = 0;
		g_handler_limit = 4;
		EXPECT_EQ(::operator new(kImpossible, std::nothrow, "hl_mem_test", 1), nullptr);
		EXPECT_EQ(g_handler_calls, 4);

		// A handler that throws is swallowed by the non-throwing forms.
		std::set_new_handler(throwing_handler);
		g_handler_calls = 0;
		EXPECT_EQ(::operator new[](kImpossible, std::nothrow), nullptr);
		EXPECT_EQ(g_handler_calls, 1);
		std::set_new_handler(old);
	});
}

TEST(MemoryReport, UnitRule)
{
	struct Row {
		uint64_t bytes;
		uint64_t number;
		char unit;
	} rows[] = {
	    {0, 0, 'B'},
	    {1433, 1433, 'B'},
	    {1434, 1, 'K'},
	    {1468006, 1433, 'K'},
	    {1468007, 1, 'M'},
	    {15032385536ull, 14336, 'M'},
	    {15032385537ull, 14, 'G'},
	    // The gap above the user address space must not wrap in the number.
	    {0xffffffffff600000ull - 0x7ffffffff000ull, (0xffffffffff600000ull - 0x7ffffffff000ull) >> 30, 'G'},
	};
	for (const Row& r : rows) {
		EXPECT_EQ(mem_to_number(r.bytes), r.number) << r.bytes;
		EXPECT_EQ(mem_to_suffix(r.bytes), r.unit) << r.bytes;
	}
	EXPECT_GT(mem_to_number(UINT64_MAX), UINT32_MAX);
}

TEST(MemoryReport, ShareModeNames)
{
	const char* names[] = {"Unknown", "Copy-on-write", "Private", "Empty", "Shared",
	                       "True-Shared", "Private-Aliased", "Shared-Aliased", "Unknown"};
	for (int m = 0; m <= 8; ++m) EXPECT_STREQ(sm_string(m), names[m]) << m;
	EXPECT_STREQ(sm_string(-1), "Unknown");
}

TEST(MemoryReport, RegionMapGapsAndTotals)
{
	std::vector<plat_vm_region> regions(4);
	regions[0] = {0x10000, 0x4000, plat_sm_private, 1, 0x3000, 0};
	regions[1] = {0x14000, 0x2000, plat_sm_cow, 2, 0x1000, 0x1000};
	regions[2] = {0x100000, 0x200000, plat_sm_empty, 0, 0, 0};  // gap of 0xea000 before it
	regions[3] = {0x400000, 0x1000, plat_sm_true_shared, 3, 0, 0x1000};  // gap of 0x100000

	char* buf = nullptr;
	size_t len = 0;
	FILE* f = open_memstream(&buf, &len);
	ASSERT_NE(f, nullptr);
	mem_map_totals t;
	dump_mem_map(f, regions, &t);
	std::fclose(f);
	std::string out(buf, len);
	std::free(buf);

	std::vector<std::string> lines;
	std::istringstream in(out);
	for (std::string l; std::getline(in, l);) lines.push_back(l);
	ASSERT_EQ(lines.size(), 7u) << out;
	// A region that does not start at 0 has a gap line before it.
	EXPECT_EQ(lines[0], "        0x0000000000000000         64K               --------");
	// No loaded image holds these made-up addresses, so the name is empty.
	EXPECT_EQ(lines[1], "        0x0000000000010000         16K          12K     0B                Private (  1)       ");
	EXPECT_NE(lines[2].find("         Copy-on-write (  2)"), std::string::npos) << lines[2];
	EXPECT_EQ(lines[3], "        0x0000000000016000        936K               --------");
	EXPECT_NE(lines[4].find("Empty (  0)"), std::string::npos);
	EXPECT_EQ(lines[5], "        0x0000000000300000       1024K               --------");
	EXPECT_NE(lines[6].find("True-Shared (  3)"), std::string::npos);

	EXPECT_EQ(t.total_vsize, 0x4000u + 0x2000u + 0x1000u);
	EXPECT_EQ(t.private_rsize, 0x4000u);
	EXPECT_EQ(t.shared_rsize, 0x2000u);
	EXPECT_EQ(t.total_rsize, 0x6000u);
	EXPECT_EQ(t.largest_free, 0x200000u);
	EXPECT_EQ(t.total_free, 0x200000u);
	EXPECT_EQ(t.largest_gap, 0x100000u);
	EXPECT_EQ(t.total_gap, 0x10000u + 0xea000u + 0x100000u);
}

TEST(MemoryReport, RegionMapNamesLoadedImages)
{
	// The region holding this test's code carries the executable's file name.
	std::vector<plat_vm_region> all;
	ASSERT_TRUE(plat_read_vm_regions(all));
	const uintptr_t code = reinterpret_cast<uintptr_t>(&figure);
	std::vector<plat_vm_region> mine;
	for (const plat_vm_region& r : all)
		if (r.start <= code && code - r.start < r.size) mine.push_back(r);
	ASSERT_EQ(mine.size(), 1u);
	char* buf = nullptr;
	size_t len = 0;
	FILE* f = open_memstream(&buf, &len);
	mem_map_totals t;
	dump_mem_map(f, mine, &t);
	std::fclose(f);
	std::string out(buf, len);
	std::free(buf);
	EXPECT_NE(out.find("       runtime_tests\n"), std::string::npos) << out;
}

TEST(MemoryReport, AllocatorFiguresFollowTheHeap)
{
	const mem_allocator_info before = mem_allocator_stats();
	std::vector<void*> blocks;
	for (int i = 0; i < 64; ++i) blocks.push_back(heap_malloc(1 << 20));
	for (void* p : blocks) static_cast<char*>(p)[0] = 1;
	const mem_allocator_info during = mem_allocator_stats();
	for (void* p : blocks) heap_free(p);
	if (kSanitizerHeap) GTEST_SKIP() << "the sanitizer's allocator keeps its own figures";
	// 64 MB held at once must show, as current space and as the peak.
	EXPECT_GE(during.uordblks + during.hblkhd, before.uordblks + before.hblkhd + (48u << 20));
#if KX_USE_MIMALLOC
	EXPECT_GE(during.usmblks, during.uordblks);
#endif
}

// Two reports into `dir`, written by a child process of their own (the first report of a
// process is the one that may replace the file). With `to_stdout` the child fails unless
// both reports went to standard output instead.
void two_reports_in_a_child(const std::string& dir, bool to_stdout = false)
{
	EXPECT_EXIT(
	    {
		    app_path = dir;
		    if (to_stdout) testing::internal::CaptureStdout();
		    dump_mem_stats("first occasion");
		    dump_mem_stats("second occasion");
		    if (!to_stdout) std::exit(0);
		    const std::string out = testing::internal::GetCapturedStdout();
		    std::exit(out.find("dump_mem_stats: first occasion\n") != std::string::npos &&
		                      out.find("dump_mem_stats: second occasion\n") != std::string::npos
		                  ? 0
		                  : 1);
	    },
	    testing::ExitedWithCode(0), "");
}

// The first report of a process replaces the file and later ones are appended. That
// needs a process of its own, so the reports are written in a child that gtest runs
// afresh; the folder is handed to it through the environment.
TEST(MemoryReportDeathTest, FirstReportReplacesLaterOnesAppend)
{
	GTEST_FLAG_SET(death_test_style, "threadsafe");
	const char* kDirVar = "KX_MEMLOG_TEST_DIR";
	std::unique_ptr<kx_test::TempEnv> env;
	std::string dir;
	if (const char* d = std::getenv(kDirVar)) {
		dir = d;
	} else {
		env = std::make_unique<kx_test::TempEnv>();
		dir = env->root();
		ASSERT_TRUE(kx_test::write_file(dir + "MemoryLog.txt", "dump_mem_stats: an older report\n"));
		setenv(kDirVar, dir.c_str(), 1);
	}
	two_reports_in_a_child(dir);
	if (!env) return;
	unsetenv(kDirVar);

	const std::string text = read_all(dir + "MemoryLog.txt");
	EXPECT_EQ(text.find("an older report"), std::string::npos);
	const char* order[] = {
	    "dump_mem_stats: first occasion\n",
	    "OS X Info:\n",
	    "    Page size:        ",
	    "    Vsize (reported): ",
	    "    Rsize:            ",
	    "    Free pages:       ",
	    "    Active Pages:     ",
	    "    Inactive Pages:   ",
	    "    Wired Pages:      ",
	    "    Total Swap Pages: ",
	    "    Avail Swap Pages: ",
	    "    Used  Swap Pages: ",
	    "    I will now print the entire map of virtual memory.\n"
	    "        Address           Size    r-private r-shared sharing-mode (ref count)\n        0x",
	    "    Total vsize:     ",
	    "    Total rsize:     ",
	    "    Shared rsize:    ",
	    "    Private rsize:   ",
	    "    Largest free:    ",
	    "    Total free:      ",
	    "    Largest gap:     ",
	    "    Total gap:       ",
	    "NED-MALLOC INFO:\n    This version of Kestrix is using the NED allocator.\n",
	    "    Arena:             ",
	    "    Free Chunks:       ",
	    "    Mapped Space:      ",
	    "    Max Alloc Space:   ",
	    "    Total Alloc Space: ",
	    "    Total Free Space:  ",
	    "    Total Used Space:  ",
	    "    Releasable Space:  ",
	    "dump_mem_stats: second occasion\n",
	    "OS X Info:\n",
	    "NED-MALLOC INFO:\n",
	    "    Releasable Space:  ",
	};
	size_t at = 0;
	for (const char* piece : order) {
		size_t found = text.find(piece, at);
		ASSERT_NE(found, std::string::npos) << "missing or out of order: " << piece;
		at = found + std::strlen(piece);
	}
	EXPECT_EQ(text.back(), '\n');
	// The page size of this machine, by the unit rule.
	EXPECT_NE(text.find("    Page size:        " + figure(plat_page_size()) + "      This is the size"),
	          std::string::npos);
}

// The report's folder is wherever the user keeps the program: a file of that name that is
// no report, a link (even to a file that reads like a report), a FIFO someone reads or a
// device is the user's and stays as it was; the reports go to standard output instead.
TEST(MemoryReportDeathTest, AFileOfTheUsersOfThatNameIsNeverReplaced)
{
	GTEST_FLAG_SET(death_test_style, "threadsafe");
	// The child runs the test body afresh and must meet the same children in the same
	// order: it is handed the folder all of them lie in.
	const char* kRootVar = "KX_MEMLOG_USER_ROOT";
	std::unique_ptr<kx_test::TempEnv> env;
	std::string root;
	if (const char* r = std::getenv(kRootVar)) {
		root = r;
	} else {
		env = std::make_unique<kx_test::TempEnv>();
		root = env->root();
	}
	const std::string notes = root + "notes/";
	std::vector<std::string> dirs = {notes};
	std::vector<std::unique_ptr<kx_test::PlantedLink>> links;
	for (kx_test::link_kind kind : kx_test::kLinkKinds) {
		const std::string n = std::to_string(dirs.size());
		dirs.push_back(root + "linked" + n + "/");
		if (!env) continue;
		ASSERT_EQ(::mkdir(dirs.back().c_str(), 0700), 0);
		links.push_back(std::make_unique<kx_test::PlantedLink>(dirs.back() + "MemoryLog.txt",
		                                                       root + "elsewhere" + n + "/MemoryLog.txt", kind,
		                                                       "dump_mem_stats: my own notes\n"));
	}
	// A FIFO with a reader, so that a write would go through; and, where this user may
	// make device nodes, the null device, where a report would vanish.
	const std::string fifo = root + "fifo/MemoryLog.txt", device = root + "device/MemoryLog.txt";
	std::unique_ptr<ArrivingBytes> through_fifo;
	struct stat null_device {};
	ASSERT_EQ(::stat("/dev/null", &null_device), 0);
	if (env) {
		ASSERT_TRUE(kx_test::write_file(notes + "MemoryLog.txt", "my own notes\n"));
		ASSERT_EQ(::mkdir((root + "fifo").c_str(), 0700), 0);
		ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
		const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
		ASSERT_GE(reader, 0);
		through_fifo = std::make_unique<ArrivingBytes>(reader);
		ASSERT_EQ(::mkdir((root + "device").c_str(), 0700), 0);
		if (::mknod(device.c_str(), S_IFCHR | 0600, null_device.st_rdev) != 0)
			std::printf("No device node could be made here (%s): the device case is left out.\n",
			            std::strerror(errno));
		setenv(kRootVar, root.c_str(), 1);
	}
	dirs.push_back(root + "fifo/");
	struct stat st {};
	const bool with_device = ::lstat(device.c_str(), &st) == 0;
	if (with_device) dirs.push_back(root + "device/");
	for (const std::string& dir : dirs) two_reports_in_a_child(dir, true);
	if (!env) return;
	unsetenv(kRootVar);
	EXPECT_EQ(read_all(notes + "MemoryLog.txt"), "my own notes\n");
	for (const auto& link : links) EXPECT_TRUE(link->untouched());
	EXPECT_EQ(through_fifo->stop().size(), 0u) << "bytes of the report were written into the FIFO";
	ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
	EXPECT_TRUE(S_ISFIFO(st.st_mode));
	if (with_device) {
		ASSERT_EQ(::lstat(device.c_str(), &st), 0);
		EXPECT_TRUE(S_ISCHR(st.st_mode));
		EXPECT_EQ(st.st_rdev, null_device.st_rdev);
	}
}

TEST(MemoryReport, UsedSpaceIsNeverBelowZero)
{
	mem_allocator_info a;
	a.uordblks = 5000;
	a.fordblks = 2000;
	EXPECT_EQ(mem_used_space(a), 3000u);
	a.fordblks = 7000;  // more counted free than held
	EXPECT_EQ(mem_used_space(a), 0u);
	// The report shows the figure the allocator gives now: never above what is held.
	EXPECT_LE(mem_used_space(mem_allocator_stats()), mem_allocator_stats().uordblks);
}

TEST(MemoryReport, UnopenableFileGoesToStandardOutput)
{
	kx_test::TempEnv env;
	const std::string saved = app_path;
	app_path = env.path("no-such-folder/");
	testing::internal::CaptureStdout();
	// Through the debug command list, as the command would be run.
	UTL_remote_cmd::invoke(nullptr, dump_mem_now.id);
	const std::string out = testing::internal::GetCapturedStdout();
	app_path = saved;
	EXPECT_EQ(out.rfind("dump_mem_stats: Remote Commanded Dump\nOS X Info:\n", 0), 0u) << out.substr(0, 200);
	EXPECT_NE(out.find("    Releasable Space:  "), std::string::npos);
}

TEST(LazyMempool, DestructorReturnsBlocksAndDumpLogsCounts)
{
	kx_test::TempEnv env;
	EXPECT_EQ(g_memory_used.target, &UTL_lazy_mempool::global_total);
	EXPECT_STREQ(g_memory_used.name, "memory/lazy_pools");
	const float start = UTL_lazy_mempool::global_total;
	{
		UTL_lazy_mempool pool;
		EXPECT_EQ(pool.total_allocated, 0u);
		EXPECT_EQ(pool.blocks, nullptr);
		// Blocks as the carving operations would link them.
		for (int i = 0; i < 3; ++i) {
			void* b = heap_malloc(UTL_lazy_mempool::block_size);
			*static_cast<void**>(b) = pool.blocks;
			pool.blocks = b;
			UTL_lazy_mempool::global_total += UTL_lazy_mempool::block_size;
		}
		pool.total_allocated = 4000000000u;
		pool.wasted = 12;
		pool.ready = 7;
		xer.open(env.path("log.txt"));
		pool.dump();
		xer.close();
	}
	EXPECT_EQ(UTL_lazy_mempool::global_total, start);
	EXPECT_EQ(read_all(env.path("log.txt")),
	          "Total memory allocated: 4000000000\nTotal wasted memory: 12\nTotal ready memory: 7\n");
}
