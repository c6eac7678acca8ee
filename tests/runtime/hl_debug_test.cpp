#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/hl_alert.h"
#include "runtime/hl_debug.h"
#include "runtime/hl_globals.h"
#include "support/bounded_wait.h"
#include "support/planted_link.h"
#include "support/test_env.h"

// Exported, not inlined and not tail-called, so that each keeps a frame of its own
// that the walk can name. Their code lies between kWalkFirstLine and kWalkLastLine.
constexpr int kWalkFirstLine = __LINE__;
extern "C" __attribute__((noinline)) int kx_walk_level_three(FILE* f)
{
	UTL_dump_stack(f, nullptr, nullptr);
	asm volatile("" ::: "memory");
	return 3;
}
constexpr int kLevelThreeCallLine = __LINE__ - 4;  // each the line of the call above
extern "C" __attribute__((noinline)) int kx_walk_level_two(FILE* f)
{
	int r = kx_walk_level_three(f);
	asm volatile("" ::: "memory");
	return r + 2;
}
constexpr int kLevelTwoCallLine = __LINE__ - 4;
extern "C" __attribute__((noinline)) int kx_walk_level_one(FILE* f)
{
	int r = kx_walk_level_two(f);
	asm volatile("" ::: "memory");
	return r + 1;
}
constexpr int kLevelOneCallLine = __LINE__ - 4;
// A dump called from code inlined into the frame: the frame names its own line.
static inline __attribute__((always_inline)) void kx_walk_inlined_dump(FILE* f)
{
	UTL_dump_stack(f, nullptr, nullptr);
}
extern "C" __attribute__((noinline)) int kx_walk_through_inlined_code(FILE* f)
{
	kx_walk_inlined_dump(f);
	asm volatile("" ::: "memory");
	return 4;
}
constexpr int kInlinedCallLine = __LINE__ - 4;
extern "C" __attribute__((noinline)) void kx_walk_return_target() { asm volatile(""); }
constexpr int kWalkLastLine = __LINE__;

namespace {

// Captures what a function writes to a FILE.
class MemFile {
public:
	MemFile() : f_(open_memstream(&buf_, &len_)) {}
	~MemFile()
	{
		if (f_) std::fclose(f_);
		std::free(buf_);
	}
	FILE* get() { return f_; }
	std::string text()
	{
		std::fflush(f_);
		return std::string(buf_, len_);
	}

private:
	char* buf_ = nullptr;
	size_t len_ = 0;
	FILE* f_;
};

// The line of this file that a symbol text names, or -1.
int line_in_this_file(const std::string& symbol_text)
{
	const std::string mark = " (hl_debug_test.cpp:";
	const size_t at = symbol_text.find(mark);
	return at == std::string::npos ? -1 : std::atoi(symbol_text.c_str() + at + mark.size());
}

bool in_walk_functions(int line) { return line >= kWalkFirstLine && line <= kWalkLastLine; }

std::vector<std::string> lines_of(const std::string& s)
{
	std::vector<std::string> out;
	std::istringstream in(s);
	for (std::string l; std::getline(in, l);) out.push_back(l);
	return out;
}

// Three pages: the first two read-write, the third unmapped (or made unreadable).
struct Pages {
	size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
	char* base = nullptr;
	Pages()
	{
		void* p = mmap(nullptr, 3 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
		if (p != MAP_FAILED) base = static_cast<char*>(p);
	}
	~Pages()
	{
		if (base) munmap(base, 3 * page);
	}
};

// A rising chain of n synthetic frames in rw memory, each returning into
// kx_walk_return_target.
std::vector<stack_frame> make_chain(size_t n)
{
	std::vector<stack_frame> v(n);
	for (size_t i = 0; i < n; ++i) {
		v[i].next = i + 1 < n ? &v[i + 1] : nullptr;
		v[i].ret = reinterpret_cast<void*>(&kx_walk_return_target);
	}
	return v;
}

}  // namespace

TEST(DumpHex, LineLayout)
{
	{
		MemFile m;
		dump_hex(m.get(), "", 0);
		dump_hex(m.get(), "abc", -1);
		EXPECT_EQ(m.text(), "");
	}
	{
		MemFile m;
		const unsigned char four[] = {0x41, 0x42, 0x00, 0x7A};
		dump_hex(m.get(), four, 4);
		EXPECT_EQ(m.text(), " 4142007A" + std::string(27, ' ') + "     " + "AB.z" + std::string(15, ' ') + "\n");
	}
	{
		// Bytes at and above 0x80 are shown as two hex digits, not sign-extended.
		MemFile m;
		unsigned char data[17];
		for (int i = 0; i < 17; ++i) data[i] = static_cast<unsigned char>(0x20 + i * 7);
		data[3] = 0xFF;
		data[16] = 0x80;
		dump_hex(m.get(), data, 17);
		const std::vector<std::string> l = lines_of(m.text());
		ASSERT_EQ(l.size(), 2u);
		// Five spaces, then the first byte, itself a space.
		EXPECT_EQ(l[0], std::string(" 20272EFF 3C434A51 585F666D 747B8289") + "     " + " '.. <CJQ X_fm t{..");
		EXPECT_EQ(l[1], " 80" + std::string(30 + 3, ' ') + "     " + "." + std::string(15 + 3, ' '));
		EXPECT_EQ(l[0].size(), l[1].size());
	}
}

TEST(ValidMemory, MappedUnmappedAndReadOnly)
{
	Pages p;
	ASSERT_NE(p.base, nullptr);
	EXPECT_EQ(UTL_valid_memory(p.base, 0, 1, 1), 1);
	EXPECT_EQ(UTL_valid_memory(nullptr, 0, 1, 1), 1);
	EXPECT_EQ(UTL_valid_memory(p.base, static_cast<unsigned>(3 * p.page), 1, 1), 1);

	ASSERT_EQ(munmap(p.base + 2 * p.page, p.page), 0);
	EXPECT_EQ(UTL_valid_memory(p.base, static_cast<unsigned>(2 * p.page), 1, 1), 1);
	// A range running from a mapped page into the hole.
	EXPECT_EQ(UTL_valid_memory(p.base + 2 * p.page - 8, 16, 1, 0), 0);
	EXPECT_EQ(UTL_valid_memory(p.base + 2 * p.page, 1, 0, 0), 0);

	ASSERT_EQ(mprotect(p.base + p.page, p.page, PROT_READ), 0);
	EXPECT_EQ(UTL_valid_memory(p.base + p.page, 16, 1, 0), 1);
	EXPECT_EQ(UTL_valid_memory(p.base + p.page, 16, 1, 1), 0);
	EXPECT_EQ(UTL_valid_memory(p.base, static_cast<unsigned>(p.page + 1), 0, 1), 0);
	ASSERT_EQ(mprotect(p.base, p.page, PROT_NONE), 0);
	EXPECT_EQ(UTL_valid_memory(p.base, 1, 1, 0), 0);
	EXPECT_EQ(UTL_valid_memory(p.base, 1, 0, 0), 1);  // mapped, and no access asked for

	EXPECT_EQ(UTL_valid_memory(nullptr, 16, 0, 0), 0);
	// A range that wraps past the top of the address space is never whole.
	EXPECT_EQ(UTL_valid_memory(reinterpret_cast<void*>(~uintptr_t{0} - 7), 16, 0, 0), 0);
}

TEST(PrintSymbol, NamesFunctionsTheirSourceLinesAndBareAddresses)
{
	{
		// The function, then the source file and line, then the image.
		MemFile m;
		print_symbol(m.get(), reinterpret_cast<const char*>(&kx_walk_level_two) + 4);
		const std::string s = m.text();
		EXPECT_EQ(s.rfind("kx_walk_level_two + 4 (hl_debug_test.cpp:", 0), 0u) << s;
		EXPECT_TRUE(in_walk_functions(line_in_this_file(s))) << s;
		EXPECT_NE(s.find(") (runtime_tests + "), std::string::npos) << s;
		EXPECT_EQ(s.back(), '\n');
	}
	{
		// C++ names come out demangled; a function of another unit names that unit.
		MemFile m;
		print_symbol(m.get(), reinterpret_cast<const void*>(&print_symbol));
		EXPECT_EQ(m.text().rfind("print_symbol(_IO_FILE*, void const*) + 0 (hl_debug.cpp:", 0), 0u) << m.text();
	}
	{
		// An address in no loaded image: the full 64-bit address and no image.
		MemFile m;
		print_symbol(m.get(), reinterpret_cast<const void*>(0x123456789abcull));
		EXPECT_EQ(m.text(), "0x0000123456789abc (\?\?\?)\n");
	}
	symbol_info info;
	UTL_get_debug_symbol(reinterpret_cast<const void*>(0x10), &info);
	EXPECT_STREQ(info.image_path, "");
	EXPECT_STREQ(info.symbol_name, "");
	EXPECT_EQ(info.image_base, nullptr);
	EXPECT_EQ(info.symbol_address, nullptr);
	EXPECT_EQ(info.source_line, -1);
}

TEST(DumpStack, ThreeDeepChainNamedInOrder)
{
	MemFile m;
	EXPECT_EQ(kx_walk_level_one(m.get()), 6);
	const std::vector<std::string> l = lines_of(m.text());
	ASSERT_GE(l.size(), 4u) << m.text();
	EXPECT_EQ(l[0].rfind("  0) kx_walk_level_three + ", 0), 0u) << l[0];
	EXPECT_EQ(l[1].rfind("  1) kx_walk_level_two + ", 0), 0u) << l[1];
	EXPECT_EQ(l[2].rfind("  2) kx_walk_level_one + ", 0), 0u) << l[2];
	EXPECT_NE(l[3].find("ThreeDeepChainNamedInOrder"), std::string::npos) << l[3];
	// Each frame names the line of the call it made.
	EXPECT_EQ(line_in_this_file(l[0]), kLevelThreeCallLine) << l[0];
	EXPECT_EQ(line_in_this_file(l[1]), kLevelTwoCallLine) << l[1];
	EXPECT_EQ(line_in_this_file(l[2]), kLevelOneCallLine) << l[2];
	EXPECT_GT(line_in_this_file(l[3]), kWalkLastLine) << l[3];
	EXPECT_LE(l.size(), 100u);

	MemFile inlined;
	EXPECT_EQ(kx_walk_through_inlined_code(inlined.get()), 4);
	const std::vector<std::string> li = lines_of(inlined.text());
	ASSERT_FALSE(li.empty());
	EXPECT_EQ(li[0].rfind("  0) kx_walk_through_inlined_code + ", 0), 0u) << li[0];
	EXPECT_EQ(line_in_this_file(li[0]), kInlinedCallLine) << li[0];
}

TEST(DumpStack, SyntheticChains)
{
	{
		// 150 frames give 100 lines, indexes 0 to 99.
		std::vector<stack_frame> c = make_chain(150);
		MemFile m;
		UTL_dump_stack(m.get(), c.data(), nullptr);
		const std::vector<std::string> l = lines_of(m.text());
		ASSERT_EQ(l.size(), 100u);
		EXPECT_EQ(l[0].rfind("  0) kx_walk_return_target + 0 (", 0), 0u) << l[0];
		EXPECT_NE(l[0].find(" (runtime_tests + "), std::string::npos) << l[0];
		EXPECT_EQ(l[99].rfind("  99) kx_walk_return_target", 0), 0u) << l[99];
	}
	{
		// With a pc line first, the frames take indexes 1 to 99.
		std::vector<stack_frame> c = make_chain(150);
		MemFile m;
		UTL_dump_stack(m.get(), c.data(), reinterpret_cast<const void*>(&kx_walk_level_one));
		const std::vector<std::string> l = lines_of(m.text());
		ASSERT_EQ(l.size(), 100u);
		EXPECT_EQ(l[0].rfind("  0) kx_walk_level_one + 0 ", 0), 0u) << l[0];
		EXPECT_EQ(l[1].rfind("  1) kx_walk_return_target", 0), 0u) << l[1];
	}
	{
		// A link that does not rise ends the dump at that frame.
		std::vector<stack_frame> c = make_chain(10);
		c[4].next = &c[2];
		MemFile m;
		UTL_dump_stack(m.get(), c.data(), nullptr);
		EXPECT_EQ(lines_of(m.text()).size(), 4u);
		c[4].next = &c[4];
		MemFile m2;
		UTL_dump_stack(m2.get(), c.data(), nullptr);
		EXPECT_EQ(lines_of(m2.text()).size(), 4u);
	}
	{
		// A link into an unmapped page, or into a page that is not writable, ends the
		// dump before that record is read.
		Pages p;
		ASSERT_NE(p.base, nullptr);
		stack_frame* f = reinterpret_cast<stack_frame*>(p.base);
		f[0] = {&f[1], reinterpret_cast<void*>(&kx_walk_return_target)};
		f[1] = {reinterpret_cast<stack_frame*>(p.base + 2 * p.page), reinterpret_cast<void*>(&kx_walk_return_target)};
		ASSERT_EQ(munmap(p.base + 2 * p.page, p.page), 0);
		MemFile m;
		UTL_dump_stack(m.get(), f, nullptr);
		EXPECT_EQ(lines_of(m.text()).size(), 2u);

		stack_frame* g = reinterpret_cast<stack_frame*>(p.base + p.page);
		*g = {nullptr, nullptr};
		f[1].next = g;
		ASSERT_EQ(mprotect(p.base + p.page, p.page, PROT_READ), 0);
		MemFile m2;
		UTL_dump_stack(m2.get(), f, nullptr);
		EXPECT_EQ(lines_of(m2.text()).size(), 2u);

		// A record whose second half lies in the hole is not read either. Its first half
		// holds a rising link, so only the check of the whole record can stop there.
		f[1].next = reinterpret_cast<stack_frame*>(p.base + 2 * p.page - 8);
		ASSERT_EQ(mprotect(p.base + p.page, p.page, PROT_READ | PROT_WRITE), 0);
		*reinterpret_cast<stack_frame**>(p.base + 2 * p.page - 8) = reinterpret_cast<stack_frame*>(p.base + 3 * p.page);
		MemFile m3;
		UTL_dump_stack(m3.get(), f, nullptr);
		EXPECT_EQ(lines_of(m3.text()).size(), 2u);
	}
}

TEST(DebugInit, BrokenPipeIsIgnored)
{
	struct sigaction old {};
	sigaction(SIGPIPE, nullptr, &old);
	UTL_debug_init();
	struct sigaction now {};
	sigaction(SIGPIPE, nullptr, &now);
	EXPECT_EQ(now.sa_handler, SIG_IGN);
	int fds[2];
	ASSERT_EQ(pipe(fds), 0);
	close(fds[0]);
	EXPECT_EQ(write(fds[1], "x", 1), -1);
	EXPECT_EQ(errno, EPIPE);
	close(fds[1]);
	sigaction(SIGPIPE, &old, nullptr);
}

namespace {
void throwing_exit(int status) { throw kx_test::AlertExit{status}; }

// Runs the body in the temporary folder, which is where the default presenter's
// "stack_crawl.txt" and (with app_path empty) "MemoryLog.txt" land.
struct InFolder {
	std::string old_cwd;
	std::string old_app_path = app_path;
	explicit InFolder(const std::string& dir)
	{
		char buf[4096];
		old_cwd = getcwd(buf, sizeof buf) ? buf : ".";
		EXPECT_EQ(chdir(dir.c_str()), 0);
		app_path.clear();
	}
	~InFolder()
	{
		EXPECT_EQ(chdir(old_cwd.c_str()), 0);
		app_path = old_app_path;
	}
};
}  // namespace

TEST(DefaultAlertPresenter, ReportsMemoryAndAppendsTheStackOnQuit)
{
	kx_test::TempEnv env;
	InFolder in(env.root());
	alert_presenter_fn old_presenter = DIDIVI_set_alert_presenter(nullptr);
	alert_exit_fn old_exit = DIDIVI_set_alert_exit(throwing_exit);
	const int old_done = app_done;

	testing::internal::CaptureStderr();
	DIDIVI_ALERT("warned", "", "", "", t_alert);
	EXPECT_NE(kx_test::read_file(env.path("MemoryLog.txt")).find("dump_mem_stats: This is the dump_mem_stats call"),
	          std::string::npos);
	EXPECT_EQ(access(env.path("stack_crawl.txt").c_str(), F_OK), -1);

	kx_test::write_file(env.path("stack_crawl.txt"), "an earlier crawl\n");
	EXPECT_THROW(DIDIVI_ALERT("fatal", "", "", "", t_exit), kx_test::AlertExit);
	testing::internal::GetCapturedStderr();
	const std::string crawl = kx_test::read_file(env.path("stack_crawl.txt"));
	EXPECT_EQ(crawl.rfind("an earlier crawl\n  0) DIDIVI_default_alert_presenter(", 0), 0u) << crawl;
	EXPECT_NE(crawl.find("ReportsMemoryAndAppendsTheStackOnQuit_Test::TestBody() + "), std::string::npos) << crawl;

	app_done = old_done;
	DIDIVI_set_alert_exit(old_exit);
	DIDIVI_set_alert_presenter(old_presenter);
}

// The working folder may be any folder of the user's: only a regular file named
// "stack_crawl.txt" there is appended to. A link of that name is never written through,
// whether its target exists or not; a fifo of that name is neither waited on nor fed.
TEST(DefaultAlertPresenter, TheStackGoesOnlyIntoARegularFile)
{
	kx_test::TempEnv env;
	ASSERT_EQ(mkdir(env.path("program").c_str(), 0700), 0);
	const std::string name = env.path("program/stack_crawl.txt");
	auto quit = [&env] {
		InFolder in(env.path("program"));
		alert_presenter_fn old_presenter = DIDIVI_set_alert_presenter(nullptr);
		alert_exit_fn old_exit = DIDIVI_set_alert_exit(throwing_exit);
		const int old_done = app_done;
		testing::internal::CaptureStderr();
		EXPECT_THROW(DIDIVI_ALERT("fatal", "", "", "", t_exit), kx_test::AlertExit);
		testing::internal::GetCapturedStderr();
		app_done = old_done;
		DIDIVI_set_alert_exit(old_exit);
		DIDIVI_set_alert_presenter(old_presenter);
	};
	for (kx_test::link_kind kind : kx_test::kLinkKinds) {
		kx_test::PlantedLink link(name, env.path("Downloads/stack_crawl.txt"), kind);
		quit();
		EXPECT_TRUE(link.untouched());
		ASSERT_EQ(unlink(name.c_str()), 0);
		unlink(env.path("Downloads/stack_crawl.txt").c_str());
	}

	ASSERT_EQ(mkfifo(name.c_str(), 0600), 0);
	kx_test::finishes_within("a quitting alert beside a fifo nobody reads", quit);
	const int reader = open(name.c_str(), O_RDONLY | O_NONBLOCK);
	ASSERT_GE(reader, 0);
	quit();
	char got[16];
	EXPECT_LE(read(reader, got, sizeof got), 0);
	close(reader);
}
