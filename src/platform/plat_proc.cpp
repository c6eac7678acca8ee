#include "platform/plat_proc.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

int plat_exec_child(const std::string& path, const std::vector<std::string>& args, int* child)
{
	// Everything the child needs is built before the fork: after it, only calls that are
	// safe in a copy of a threaded process run.
	std::vector<char*> argv;
	for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
	argv.push_back(nullptr);

	// The child reports a failed exec through a pipe that closes by itself when the exec
	// succeeds, so the parent learns which happened without waiting for the program.
	int report[2];
	if (pipe2(report, O_CLOEXEC) != 0) return errno;
	const pid_t pid = fork();
	if (pid < 0) {
		const int e = errno;
		close(report[0]);
		close(report[1]);
		return e;
	}
	if (pid == 0) {
		close(report[0]);
		execv(path.c_str(), argv.data());
		int e = errno;
		ssize_t w;
		do
			w = write(report[1], &e, sizeof e);
		while (w < 0 && errno == EINTR);
		_exit(e);
	}
	close(report[1]);
	if (child) *child = pid;
	int e = 0;
	ssize_t n;
	do
		n = read(report[0], &e, sizeof e);
	while (n < 0 && errno == EINTR);
	close(report[0]);
	if (n == static_cast<ssize_t>(sizeof e)) {
		int status;
		while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
		}
		return e != 0 ? e : ENOEXEC;
	}
	return 0;
}
