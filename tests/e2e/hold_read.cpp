// A stand-in source that blocks, for the flows that need a copy in flight to stay in
// flight (Cancel while the DVD is slow to read). The installer reads only regular files
// from a disc, so a FIFO can no longer hold a copy; instead this library, preloaded
// into the installer, holds the first read of one regular file until the flow lets it go.
//
//   KX_E2E_HOLD_FILE    the file whose reading is held (the same file, by device and inode)
//   KX_E2E_HOLD_SIGNALS a folder: "reading" is made there once a read of the file waits,
//                       the read goes on once "release" appears there, and "released"
//                       is made once it has
//   KX_E2E_HOLD_TREE    optional, a folder (the disc in the drive): while the read waits,
//                       every look at a path at or below it through the C library's entry
//                       points (stat and its kin, access, open, fopen, opendir, statfs,
//                       readlink, realpath) waits as well, as on a drive that stopped
//                       answering; "looking" is made once one does
//
// Nothing else the installer does is touched: every call passes straight on.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace {

constexpr useconds_t kPollMicros = 10000;
constexpr char kReadingMark[] = "/reading";
constexpr char kReleaseMark[] = "/release";
constexpr char kReleasedMark[] = "/released";
constexpr char kLookingMark[] = "/looking";
constexpr char kFdLinks[] = "/proc/self/fd/";

using open_fn = int (*)(const char*, int, ...);
using openat_fn = int (*)(int, const char*, int, ...);
using read_fn = ssize_t (*)(int, void*, size_t);
using read_chk_fn = ssize_t (*)(int, void*, size_t, size_t);
using close_fn = int (*)(int);
using fopen_fn = FILE* (*)(const char*, const char*);
using stat_fn = int (*)(const char*, struct stat*);
using stat64_fn = int (*)(const char*, struct stat64*);
using fstatat_fn = int (*)(int, const char*, struct stat*, int);
using fstatat64_fn = int (*)(int, const char*, struct stat64*, int);
using statx_fn = int (*)(int, const char*, int, unsigned, struct statx*);
using access_fn = int (*)(const char*, int);
using faccessat_fn = int (*)(int, const char*, int, int);
using opendir_fn = DIR* (*)(const char*);
using statfs_fn = int (*)(const char*, struct statfs*);
using statvfs_fn = int (*)(const char*, struct statvfs*);
using readlink_fn = ssize_t (*)(const char*, char*, size_t);
using readlinkat_fn = ssize_t (*)(int, const char*, char*, size_t);
using realpath_fn = char* (*)(const char*, char*);

template <class F>
F next_of(const char* name)
{
	return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

// The descriptor the held file is open on, -1 while none; only its first read waits.
std::atomic<int> g_held_fd{-1};
// The held read is waiting: the drive answers nothing under the tree meanwhile.
std::atomic<bool> g_drive_stopped{false};

bool real_exists(const std::string& path)
{
	static const stat_fn real_stat = next_of<stat_fn>("stat");
	struct stat st;
	return real_stat(path.c_str(), &st) == 0;
}

// The held file's device and inode, looked up once while the drive answers: a look of
// our own at the disc on every open the installer makes (its log, its trace) would wait
// on a stopped drive, and be taken for one of the installer's.
struct file_id {
	dev_t dev;
	ino_t ino;
};
std::mutex g_held_lock;
bool g_held_known = false;  // under g_held_lock
file_id g_held_id;          // under g_held_lock

bool is_held_file(int fd)
{
	static const stat_fn real_stat = next_of<stat_fn>("stat");
	file_id want;
	{
		const std::lock_guard<std::mutex> lock(g_held_lock);
		if (!g_held_known) {
			const char* held = std::getenv("KX_E2E_HOLD_FILE");
			struct stat st;
			if (!held || real_stat(held, &st) != 0) return false;
			g_held_id = {st.st_dev, st.st_ino};
			g_held_known = true;
		}
		want = g_held_id;
	}
	struct stat got;
	return fstat(fd, &got) == 0 && want.dev == got.st_dev && want.ino == got.st_ino;
}

int note_open(int fd)
{
	if (fd >= 0 && is_held_file(fd)) g_held_fd = fd;
	return fd;
}

void mark(const char* folder, const char* name)
{
	static const open_fn real_open = next_of<open_fn>("open");
	const int fd = real_open((std::string(folder) + name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
	if (fd >= 0) close(fd);
}

void wait_for_release(const char* signals)
{
	const std::string release = std::string(signals) + kReleaseMark;
	while (!real_exists(release)) usleep(kPollMicros);
}

void hold_if_held(int fd)
{
	int expected = fd;
	if (fd < 0 || !g_held_fd.compare_exchange_strong(expected, -1)) return;
	const char* signals = std::getenv("KX_E2E_HOLD_SIGNALS");
	if (!signals) return;
	g_drive_stopped = true;
	mark(signals, kReadingMark);
	wait_for_release(signals);
	g_drive_stopped = false;
	mark(signals, kReleasedMark);
}

// The folder a descriptor is open on, "" when it cannot be told.
std::string folder_of(int dirfd)
{
	static const readlink_fn real_readlink = next_of<readlink_fn>("readlink");
	if (dirfd == AT_FDCWD) {
		char cwd[PATH_MAX];
		return getcwd(cwd, sizeof cwd) ? cwd : "";
	}
	char target[PATH_MAX];
	const ssize_t n = real_readlink((kFdLinks + std::to_string(dirfd)).c_str(), target, sizeof target - 1);
	return n > 0 ? std::string(target, size_t(n)) : "";
}

// `path` (taken from `dirfd` when relative) with doubled slashes and "." steps gone.
std::string plain_path(int dirfd, const char* path)
{
	std::string whole = path && path[0] == '/' ? path : folder_of(dirfd) + "/" + (path ? path : "");
	std::string out;
	size_t at = 0;
	while (at < whole.size()) {
		size_t end = whole.find('/', at);
		if (end == std::string::npos) end = whole.size();
		const std::string step = whole.substr(at, end - at);
		if (!step.empty() && step != ".") out += "/" + step;
		at = end + 1;
	}
	return out.empty() ? "/" : out;
}

// A look at `path` waits while the drive holding the tree is stopped.
void hold_look(int dirfd, const char* path)
{
	if (!g_drive_stopped) return;
	const char* tree = std::getenv("KX_E2E_HOLD_TREE");
	const char* signals = std::getenv("KX_E2E_HOLD_SIGNALS");
	if (!tree || !*tree || !signals) return;
	const std::string root = plain_path(AT_FDCWD, tree), p = plain_path(dirfd, path);
	if (p != root && p.compare(0, root.size() + 1, root + "/") != 0) return;
	mark(signals, kLookingMark);
	wait_for_release(signals);
}

mode_t mode_arg(int flags, va_list ap)
{
	return (flags & (O_CREAT | O_TMPFILE)) != 0 ? static_cast<mode_t>(va_arg(ap, int)) : 0;
}

// A look at `path` (from `dirfd`) made by the C library's own `real`, once the drive
// lets it. An empty path (AT_EMPTY_PATH) is the descriptor itself, already open.
template <class Fn, class... A>
auto looked(Fn real, int dirfd, const char* path, A... args)
{
	if (path && *path) hold_look(dirfd, path);
	return real(args...);
}

}  // namespace

extern "C" {

// The mode of open and openat is read here, where their arguments are.
int open(const char* path, int flags, ...)
{
	static const open_fn real = next_of<open_fn>("open");
	va_list ap;
	va_start(ap, flags);
	const mode_t mode = mode_arg(flags, ap);
	va_end(ap);
	return note_open(looked(real, AT_FDCWD, path, path, flags, mode));
}

int open64(const char* path, int flags, ...)
{
	static const open_fn real = next_of<open_fn>("open64");
	va_list ap;
	va_start(ap, flags);
	const mode_t mode = mode_arg(flags, ap);
	va_end(ap);
	return note_open(looked(real, AT_FDCWD, path, path, flags, mode));
}

int openat(int dirfd, const char* path, int flags, ...)
{
	static const openat_fn real = next_of<openat_fn>("openat");
	va_list ap;
	va_start(ap, flags);
	const mode_t mode = mode_arg(flags, ap);
	va_end(ap);
	return note_open(looked(real, dirfd, path, dirfd, path, flags, mode));
}

int openat64(int dirfd, const char* path, int flags, ...)
{
	static const openat_fn real = next_of<openat_fn>("openat64");
	va_list ap;
	va_start(ap, flags);
	const mode_t mode = mode_arg(flags, ap);
	va_end(ap);
	return note_open(looked(real, dirfd, path, dirfd, path, flags, mode));
}

// The held file is opened with open(); fopen's own opening bypasses the wrappers above.
FILE* fopen(const char* path, const char* mode)
{
	static const fopen_fn real = next_of<fopen_fn>("fopen");
	return looked(real, AT_FDCWD, path, path, mode);
}

FILE* fopen64(const char* path, const char* mode)
{
	static const fopen_fn real = next_of<fopen_fn>("fopen64");
	return looked(real, AT_FDCWD, path, path, mode);
}

ssize_t read(int fd, void* buf, size_t n)
{
	static const read_fn real = next_of<read_fn>("read");
	hold_if_held(fd);
	return real(fd, buf, n);
}

ssize_t __read_chk(int fd, void* buf, size_t n, size_t buflen)
{
	static const read_chk_fn real = next_of<read_chk_fn>("__read_chk");
	hold_if_held(fd);
	return real(fd, buf, n, buflen);
}

int close(int fd)
{
	static const close_fn real = next_of<close_fn>("close");
	// A descriptor closed unread is no longer the file's.
	int expected = fd;
	g_held_fd.compare_exchange_strong(expected, -1);
	return real(fd);
}

int stat(const char* path, struct stat* st)
{
	static const stat_fn real = next_of<stat_fn>("stat");
	return looked(real, AT_FDCWD, path, path, st);
}

int stat64(const char* path, struct stat64* st)
{
	static const stat64_fn real = next_of<stat64_fn>("stat64");
	return looked(real, AT_FDCWD, path, path, st);
}

int lstat(const char* path, struct stat* st)
{
	static const stat_fn real = next_of<stat_fn>("lstat");
	return looked(real, AT_FDCWD, path, path, st);
}

int lstat64(const char* path, struct stat64* st)
{
	static const stat64_fn real = next_of<stat64_fn>("lstat64");
	return looked(real, AT_FDCWD, path, path, st);
}

int fstatat(int dirfd, const char* path, struct stat* st, int flags)
{
	static const fstatat_fn real = next_of<fstatat_fn>("fstatat");
	return looked(real, dirfd, path, dirfd, path, st, flags);
}

int fstatat64(int dirfd, const char* path, struct stat64* st, int flags)
{
	static const fstatat64_fn real = next_of<fstatat64_fn>("fstatat64");
	return looked(real, dirfd, path, dirfd, path, st, flags);
}

int statx(int dirfd, const char* path, int flags, unsigned mask, struct statx* st)
{
	static const statx_fn real = next_of<statx_fn>("statx");
	return looked(real, dirfd, path, dirfd, path, flags, mask, st);
}

int access(const char* path, int how)
{
	static const access_fn real = next_of<access_fn>("access");
	return looked(real, AT_FDCWD, path, path, how);
}

int faccessat(int dirfd, const char* path, int how, int flags)
{
	static const faccessat_fn real = next_of<faccessat_fn>("faccessat");
	return looked(real, dirfd, path, dirfd, path, how, flags);
}

DIR* opendir(const char* path)
{
	static const opendir_fn real = next_of<opendir_fn>("opendir");
	return looked(real, AT_FDCWD, path, path);
}

int statfs(const char* path, struct statfs* st)
{
	static const statfs_fn real = next_of<statfs_fn>("statfs");
	return looked(real, AT_FDCWD, path, path, st);
}

int statvfs(const char* path, struct statvfs* st)
{
	static const statvfs_fn real = next_of<statvfs_fn>("statvfs");
	return looked(real, AT_FDCWD, path, path, st);
}

ssize_t readlink(const char* path, char* buf, size_t n)
{
	static const readlink_fn real = next_of<readlink_fn>("readlink");
	return looked(real, AT_FDCWD, path, path, buf, n);
}

ssize_t readlinkat(int dirfd, const char* path, char* buf, size_t n)
{
	static const readlinkat_fn real = next_of<readlinkat_fn>("readlinkat");
	return looked(real, dirfd, path, dirfd, path, buf, n);
}

char* realpath(const char* path, char* resolved)
{
	static const realpath_fn real = next_of<realpath_fn>("realpath");
	return looked(real, AT_FDCWD, path, path, resolved);
}

}  // extern "C"
