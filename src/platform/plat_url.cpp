#include "platform/plat_url.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace {
const char* const kOpener = "xdg-open";
}

int plat_open_url(const std::string& url)
{
	// The opener may wait for the browser; a go-between child starts it and ends at
	// once, so nothing here waits for the browser and no zombie is left.
	const pid_t mid = fork();
	if (mid < 0) return errno;
	if (mid == 0) {
		setsid();
		pid_t opener = 0;
		char* argv[] = {const_cast<char*>(kOpener), const_cast<char*>(url.c_str()), nullptr};
		const int rc = posix_spawnp(&opener, kOpener, nullptr, nullptr, argv, environ);
		_exit(rc);
	}
	int status = 0;
	while (waitpid(mid, &status, 0) < 0)
		if (errno != EINTR) return errno;
	return WIFEXITED(status) ? WEXITSTATUS(status) : ECHILD;
}
