// A stand-in source that blocks, for the flows that need a copy in flight to stay in
// flight (Cancel while the DVD is slow to read). The installer reads only regular files
// from a disc, so a FIFO can no longer hold a copy; instead this library, preloaded
// into the installer, holds the first read of one regular file until the flow lets it go.
//
//   KX_E2E_HOLD_FILE    the file whose reading is held (the same file, by device and inode)
//   KX_E2E_HOLD_SIGNALS a folder: "reading" is made there once a read of the file waits,
//                       the read goes on once "release" appears there, and "released"
//                       is made once it has
//
// Nothing else the installer does is touched: every call passes straight on.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdlib>
#include <mutex>
#include <string>

namespace {

constexpr useconds_t kPollMicros = 10000;
constexpr char kReadingMark[] = "/reading";
constexpr char kReleaseMark[] = "/release";
constexpr char kReleasedMark[] = "/released";

using open_fn = int (*)(const char*, int, ...);
using read_fn = ssize_t (*)(int, void*, size_t);
using read_chk_fn = ssize_t (*)(int, void*, size_t, size_t);
using close_fn = int (*)(int);

template <class F>
F next_of(const char* name)
{
	return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

// The descriptor the held file is open on, -1 while none; only its first read waits.
std::atomic<int> g_held_fd{-1};

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
	file_id want;
	{
		const std::lock_guard<std::mutex> lock(g_held_lock);
		if (!g_held_known) {
			const char* held = std::getenv("KX_E2E_HOLD_FILE");
			struct stat st;
			if (!held || stat(held, &st) != 0) return false;
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

bool exists(const std::string& path)
{
	struct stat st;
	return stat(path.c_str(), &st) == 0;
}

void mark(const char* folder, const char* name)
{
	static const open_fn real_open = next_of<open_fn>("open");
	const int fd = real_open((std::string(folder) + name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
	if (fd >= 0) close(fd);
}

void hold_if_held(int fd)
{
	int expected = fd;
	if (fd < 0 || !g_held_fd.compare_exchange_strong(expected, -1)) return;
	const char* signals = std::getenv("KX_E2E_HOLD_SIGNALS");
	if (!signals) return;
	mark(signals, kReadingMark);
	const std::string release = std::string(signals) + kReleaseMark;
	while (!exists(release)) usleep(kPollMicros);
	mark(signals, kReleasedMark);
}

mode_t mode_arg(int flags, va_list ap)
{
	return (flags & (O_CREAT | O_TMPFILE)) != 0 ? static_cast<mode_t>(va_arg(ap, int)) : 0;
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...)
{
	static const open_fn real = next_of<open_fn>("open");
	va_list ap;
	va_start(ap, flags);
	const mode_t mode = mode_arg(flags, ap);
	va_end(ap);
	return note_open(real(path, flags, mode));
}

int open64(const char* path, int flags, ...)
{
	static const open_fn real = next_of<open_fn>("open64");
	va_list ap;
	va_start(ap, flags);
	const mode_t mode = mode_arg(flags, ap);
	va_end(ap);
	return note_open(real(path, flags, mode));
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

}  // extern "C"
