#include "runtime/own_file.h"

#include <fcntl.h>

#include <cerrno>

#include "runtime/io_utils.h"

int own_file_open(const std::string& path, int flags)
{
	// The door every file from outside goes through, with a link of that name refused.
	int fd = -1;
	const int err = open_regular_file_as(path, flags | O_NOFOLLOW, &fd);
	if (err == 0) return fd;
	errno = err == EISDIR || err == ENODEV ? EINVAL : err;
	return -1;
}
