#pragma once
// Helpers for archive tests: running the independent tools that make fixtures
// (Info-ZIP, Python's zipfile, bsdtar, 7-Zip), damaging files, and listing trees so a
// test can tell that nothing was written outside a destination.
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "support/hang_bound.h"

namespace kx_test {

// Quotes one word for /bin/sh.
std::string sh_quote(const std::string& s);
// Runs `cmd` through /bin/sh with standard output and error gathered into *out when
// given. Returns the exit status, or -1 when it could not be run.
int run_sh(const std::string& cmd, std::string* out = nullptr);
// Whether a command of this name is on the PATH.
bool have_tool(const std::string& name);
// The 7-Zip command of this machine ("7z", "7zz" or "7za"), empty when there is none.
std::string seven_zip_tool();
// A committed fixture script or file under tests/runtime/fixtures/.
std::string fixture_path(const std::string& name);

// One entry of a zip archive written by Python's zipfile module.
struct py_zip_entry {
	std::string name;
	std::string data;
	unsigned long attr = 0100644ul << 16;  // external attributes
	int system = 3;                        // host: 3 Unix, 0 MS-DOS
	int method = 8;                        // 8 deflated, 0 stored
};
// Byte patches applied to the written archive.
struct py_zip_patches {
	std::vector<std::pair<std::string, std::string>> replace;    // every `first` becomes `second`
	std::vector<std::pair<std::string, unsigned long>> sizes;    // entry name, uncompressed size
};
// Writes `out` with Python's zipfile, working files in `dir`. Returns the script's status.
int make_py_zip(const std::string& dir, const std::string& out, const std::vector<py_zip_entry>& entries,
                const py_zip_patches& patches = {});

// `n` bytes of a fixed pseudo-random sequence.
std::string random_bytes(size_t n, unsigned seed);
// Whether anything (a dangling link included) is at `path`.
bool path_exists(const std::string& path);

// Cuts a file to `size` bytes.
bool truncate_to(const std::string& path, long long size);
// Inverts every bit of the byte at `offset` (negative: from the end).
bool flip_byte(const std::string& path, long long offset);

// Everything below `root` (not following links), one line each, sorted:
// "d name", "f name size mode", "l name -> target".
std::vector<std::string> tree_listing(const std::string& root);

// Runs `fn` in a forked child whose files may grow to at most `max_file_bytes`
// (writes beyond it fail with EFBIG, as on a full disk) and returns what `fn` returned;
// -100000 when the child did not end normally.
int run_with_file_limit(long long max_file_bytes, const std::function<int()>& fn);

// Runs `fn` in a forked child in which every call of the system calls `calls` (numbers
// such as SYS_symlink) fails with `err`, and returns what `fn` returned; -100000 when
// the child did not end normally or the failures could not be set up. For the steps
// that root cannot be made to fail otherwise: a link, a time stamp, a read.
int run_with_failing_calls(const std::vector<long>& calls, int err, const std::function<int()>& fn);
// The same, with every open for writing (read and write, or write alone; a create
// included) failing with `err`, as on a file system mounted read-only, and every open
// for reading as it is.
int run_with_failing_write_opens(int err, const std::function<int()>& fn);

// Waits for the child `pid` to end, up to `bound`, and gives its status in *status. A
// child still running then is killed and reaped, a line on standard error says that
// `what` hung, and the result is false: the test fails instead of waiting for ever.
bool reap_within(pid_t pid, int* status, const char* what, std::chrono::milliseconds bound = kHangBound);

// Makes every call of the system calls `calls` fail with `err` in this process and the
// threads it starts from now on, for good: only for a forked child. False when it could
// not be set up.
bool fail_calls_from_now(const std::vector<long>& calls, int err);

// Opens the log into `path` for the life of the object, closing it again after.
class LogCapture {
public:
	explicit LogCapture(const std::string& path);
	~LogCapture();
	// What was logged so far.
	std::string text() const;

private:
	std::string path_;
};

}  // namespace kx_test
