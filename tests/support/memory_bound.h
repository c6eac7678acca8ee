#pragma once
// Runs a call in a child process whose address space may grow only a little, so a test
// can tell a reader that never allocates what a damaged size field claims from one that
// tries: the latter dies in the child. Under the address sanitizer, whose own memory
// cannot live under such a bound, the call runs in the child without it.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <functional>

namespace kx_test {

// What run_in_bounded_child returns when the child did not come back with a result.
constexpr int kChildDied = INT_MIN;

inline int run_in_bounded_child(size_t headroom_bytes, const std::function<int()>& call)
{
	int fds[2];
	if (pipe(fds) != 0) return kChildDied;
	const pid_t pid = fork();
	if (pid < 0) return kChildDied;
	if (pid == 0) {
		close(fds[0]);
#if !defined(__SANITIZE_ADDRESS__)
		unsigned long pages = 0;
		if (FILE* f = std::fopen("/proc/self/statm", "r")) {
			if (std::fscanf(f, "%lu", &pages) != 1) pages = 0;
			std::fclose(f);
		}
		const rlim_t now = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
		const struct rlimit bound = {now + headroom_bytes, now + headroom_bytes};
		if (pages == 0 || setrlimit(RLIMIT_AS, &bound) != 0) _exit(1);
#else
		(void)headroom_bytes;
#endif
		// Nothing may leave the child but its result: an allocation the bound refused
		// ends it here, not in the test program's own frames.
		int r = kChildDied;
		try {
			r = call();
		} catch (...) {
			_exit(2);
		}
		const ssize_t n = write(fds[1], &r, sizeof r);
		_exit(n == static_cast<ssize_t>(sizeof r) ? 0 : 1);
	}
	close(fds[1]);
	int r = kChildDied;
	if (read(fds[0], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) r = kChildDied;
	close(fds[0]);
	int status = 0;
	waitpid(pid, &status, 0);
	if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return kChildDied;
	return r;
}

}  // namespace kx_test
