#include "support/archive_tools.h"

#include <fcntl.h>
#include <ftw.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <random>
#include <thread>

#include "runtime/hl_globals.h"
#include "support/test_env.h"

namespace kx_test {

std::string sh_quote(const std::string& s)
{
	std::string out = "'";
	for (char c : s) {
		if (c == '\'')
			out += "'\\''";
		else
			out += c;
	}
	return out + "'";
}

int run_sh(const std::string& cmd, std::string* out)
{
	FILE* p = popen((cmd + " 2>&1").c_str(), "r");
	if (!p) return -1;
	std::string text;
	char buf[4096];
	size_t n;
	while ((n = fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
	int status = pclose(p);
	if (out) *out = text;
	if (status == -1 || !WIFEXITED(status)) return -1;
	return WEXITSTATUS(status);
}

bool have_tool(const std::string& name) { return run_sh("command -v " + sh_quote(name) + " >/dev/null") == 0; }

std::string seven_zip_tool()
{
	for (const char* t : {"7z", "7zz", "7za"})
		if (have_tool(t)) return t;
	return "";
}

std::string fixture_path(const std::string& name)
{
	const char* src = std::getenv("KX_SOURCE_DIR");
	std::string root;
	if (src && *src) {
		root = std::string(src) + "/tests/";
	} else {
		std::string here = __FILE__;  // .../tests/support/archive_tools.cpp
		root = here.substr(0, here.rfind('/'));
		root = root.substr(0, root.rfind('/') + 1);
	}
	return root + "runtime/fixtures/" + name;
}

static std::string hex(const std::string& s)
{
	static const char* d = "0123456789abcdef";
	std::string out;
	for (unsigned char c : s) {
		out += d[c >> 4];
		out += d[c & 15];
	}
	return out;
}

int make_py_zip(const std::string& dir, const std::string& out, const std::vector<py_zip_entry>& entries,
                const py_zip_patches& patches)
{
	std::string recipe;
	for (const auto& e : entries)
		recipe += "E\t" + hex(e.name) + "\t" + hex(e.data) + "\t" + std::to_string(e.attr) + "\t" +
		        std::to_string(e.system) + "\t" + std::to_string(e.method) + "\n";
	for (const auto& p : patches.replace) recipe += "P\t" + hex(p.first) + "\t" + hex(p.second) + "\n";
	for (const auto& p : patches.sizes) recipe += "S\t" + hex(p.first) + "\t" + std::to_string(p.second) + "\n";
	std::string recipe_path = dir + "zip_recipe.txt";
	if (!write_file(recipe_path, recipe)) return -1;
	std::string log;
	int r = run_sh("python3 " + sh_quote(fixture_path("make_zip.py")) + " " + sh_quote(recipe_path) + " " +
	               sh_quote(out), &log);
	if (r != 0) std::fprintf(stderr, "make_zip.py: %s\n", log.c_str());
	return r;
}

std::string random_bytes(size_t n, unsigned seed)
{
	std::mt19937 g(seed);
	std::string s(n, '\0');
	for (auto& c : s) c = static_cast<char>(g());
	return s;
}

bool path_exists(const std::string& path)
{
	struct stat st;
	return lstat(path.c_str(), &st) == 0;
}

bool truncate_to(const std::string& path, long long size) { return ::truncate(path.c_str(), size) == 0; }

bool flip_byte(const std::string& path, long long offset)
{
	std::string data = read_file(path);
	if (offset < 0) offset += static_cast<long long>(data.size());
	if (offset < 0 || offset >= static_cast<long long>(data.size())) return false;
	data[static_cast<size_t>(offset)] = static_cast<char>(~data[static_cast<size_t>(offset)]);
	return write_file(path, data);
}

namespace {
std::mutex g_list_lock;
std::vector<std::string>* g_list = nullptr;
size_t g_root_len = 0;

int list_one(const char* p, const struct stat* st, int type, struct FTW*)
{
	std::string name = std::string(p).substr(std::min(g_root_len + 1, std::string(p).size()));
	if (name.empty()) return 0;
	char line[64];
	if (type == FTW_SL) {
		char t[4096];
		ssize_t n = readlink(p, t, sizeof t);
		g_list->push_back("l " + name + " -> " + std::string(t, n > 0 ? static_cast<size_t>(n) : 0));
	} else if (type == FTW_D || type == FTW_DP) {
		g_list->push_back("d " + name);
	} else {
		std::snprintf(line, sizeof line, " %lld %o", static_cast<long long>(st->st_size), st->st_mode & 07777);
		g_list->push_back("f " + name + line);
	}
	return 0;
}
}  // namespace

std::vector<std::string> tree_listing(const std::string& root)
{
	std::lock_guard<std::mutex> g(g_list_lock);
	std::vector<std::string> out;
	std::string r = root;
	while (r.size() > 1 && r.back() == '/') r.pop_back();
	g_list = &out;
	g_root_len = r.size();
	nftw(r.c_str(), list_one, 32, FTW_PHYS);
	g_list = nullptr;
	std::sort(out.begin(), out.end());
	return out;
}

namespace {
// What a child that could not report gives.
constexpr int kChildLost = -100000;
// How often a bounded wait looks whether its child has ended.
constexpr std::chrono::milliseconds kReapPoll{5};

using clock_type = std::chrono::steady_clock;

int ms_left(clock_type::time_point deadline)
{
	const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock_type::now()).count();
	return left > 0 ? static_cast<int>(left) : 0;
}

bool reap_before(pid_t pid, int* status, clock_type::time_point deadline, std::chrono::milliseconds bound,
                 const char* what)
{
	for (;;) {
		const pid_t r = waitpid(pid, status, WNOHANG);
		if (r == pid) return true;
		if (r < 0 && errno != EINTR) return false;
		if (clock_type::now() >= deadline) break;
		std::this_thread::sleep_for(kReapPoll);
	}
	std::fprintf(stderr, "%s did not end within %lld ms: it hangs, and was killed.\n", what,
	             static_cast<long long>(bound.count()));
	kill(pid, SIGKILL);
	while (waitpid(pid, status, 0) < 0 && errno == EINTR) {
	}
	return false;
}

// Reads the `size` bytes a child sends before `deadline`. False when it sent fewer, by
// its end or by the deadline.
bool read_before(int fd, void* out, size_t size, clock_type::time_point deadline)
{
	char* at = static_cast<char*>(out);
	while (size > 0) {
		pollfd p{fd, POLLIN, 0};
		const int ready = poll(&p, 1, ms_left(deadline));
		if (ready < 0 && errno == EINTR) continue;
		if (ready <= 0) return false;
		const ssize_t n = read(fd, at, size);
		if (n < 0 && errno == EINTR) continue;
		if (n <= 0) return false;
		at += n;
		size -= static_cast<size_t>(n);
	}
	return true;
}

// Runs `prepare` and then `fn` in a forked child and returns what `fn` returned, piped
// back; kChildLost when `prepare` failed or the child did not end normally.
int run_in_child(const std::function<bool()>& prepare, const std::function<int()>& fn)
{
	int fds[2];
	if (pipe(fds) != 0) return kChildLost;
	pid_t pid = fork();
	if (pid < 0) {
		close(fds[0]);
		close(fds[1]);
		return kChildLost;
	}
	if (pid == 0) {
		close(fds[0]);
		if (!prepare()) _exit(1);
		int r = fn();
		ssize_t ignored = write(fds[1], &r, sizeof r);
		(void)ignored;
		_exit(0);
	}
	close(fds[1]);
	// A child that hangs (a call the filter was to fail that blocks instead) ends the
	// test with a failure, not the run with a time-out.
	const clock_type::time_point deadline = clock_type::now() + kHangBound;
	int r = kChildLost;
	if (!read_before(fds[0], &r, sizeof r, deadline)) r = kChildLost;
	close(fds[0]);
	int status = 0;
	if (!reap_before(pid, &status, deadline, kHangBound, "A test's child process")) r = kChildLost;
	return r;
}
}  // namespace

bool reap_within(pid_t pid, int* status, const char* what, std::chrono::milliseconds bound)
{
	return reap_before(pid, status, clock_type::now() + bound, bound, what);
}

int run_with_file_limit(long long max_file_bytes, const std::function<int()>& fn)
{
	return run_in_child(
	    [max_file_bytes] {
		    signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of killing the child
		    struct rlimit rl;
		    rl.rlim_cur = rl.rlim_max = static_cast<rlim_t>(max_file_bytes);
		    return setrlimit(RLIMIT_FSIZE, &rl) == 0;
	    },
	    fn);
}

namespace {
// The start of every filter: the numbers are this architecture's; a call made under
// another ABI ends the process rather than pass a filter meant for other calls. It
// leaves the call's number loaded.
std::vector<sock_filter> filter_start()
{
	return {
	    BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
	    BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
	    BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
	    BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
	};
}

sock_filter fail_with(int err)
{
	return BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (static_cast<uint32_t>(err) & SECCOMP_RET_DATA));
}

// Puts `filter` over this process, every call it does not answer allowed.
bool install_filter(std::vector<sock_filter> filter)
{
	filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
	sock_fprog prog{static_cast<unsigned short>(filter.size()), filter.data()};
	return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog) == 0;
}

// Where a call's argument lies for the filter (its low half: the flags of an open).
constexpr uint32_t arg_at(int i) { return static_cast<uint32_t>(offsetof(seccomp_data, args) + 8 * i); }
}  // namespace

bool fail_calls_from_now(const std::vector<long>& calls, int err)
{
	std::vector<sock_filter> filter = filter_start();
	for (long nr : calls) {
		filter.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(nr), 0, 1));
		filter.push_back(fail_with(err));
	}
	return install_filter(std::move(filter));
}

int run_with_failing_calls(const std::vector<long>& calls, int err, const std::function<int()>& fn)
{
	return run_in_child([&] { return fail_calls_from_now(calls, err); }, fn);
}

int run_with_failing_write_opens(int err, const std::function<int()>& fn)
{
	std::vector<sock_filter> filter = filter_start();
	// openat's flags are its third argument, open's its second; the rest is allowed.
	const std::vector<sock_filter> opens = {
	    BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_openat, 0, 2),
	    BPF_STMT(BPF_LD | BPF_W | BPF_ABS, arg_at(2)),
	    BPF_STMT(BPF_JMP | BPF_JA | BPF_K, 2),
	    BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_open, 0, 4),
	    BPF_STMT(BPF_LD | BPF_W | BPF_ABS, arg_at(1)),
	    BPF_STMT(BPF_ALU | BPF_AND | BPF_K, O_ACCMODE),
	    BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, O_RDONLY, 1, 0),
	    fail_with(err),
	};
	filter.insert(filter.end(), opens.begin(), opens.end());
	return run_in_child([&] { return install_filter(filter); }, fn);
}

LogCapture::LogCapture(const std::string& path) : path_(path) { xer.open(path_); }

LogCapture::~LogCapture() { xer.close(); }

std::string LogCapture::text() const
{
	xer.flush();
	return read_file(path_);
}

}  // namespace kx_test
