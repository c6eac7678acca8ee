#include "runtime/own_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {
// Read and write for everyone the umask allows, as any file this program makes.
constexpr mode_t kNewFileMode = 0666;
}  // namespace

int own_file_open(const std::string& path, int flags)
{
	// Without O_NONBLOCK a fifo of that name would hold the open until someone read it.
	const int fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, kNewFileMode);
	if (fd < 0) return -1;
	struct stat st;
	if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
		::close(fd);
		errno = EINVAL;
		return -1;
	}
	// A regular file never waits anyway; the descriptor is handed on as asked for.
	if ((flags & O_NONBLOCK) == 0) {
		const int now = fcntl(fd, F_GETFL);
		if (now != -1) fcntl(fd, F_SETFL, now & ~O_NONBLOCK);
	}
	return fd;
}
