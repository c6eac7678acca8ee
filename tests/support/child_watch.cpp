#include "support/child_watch.h"

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace kx_test {

namespace {
constexpr std::chrono::milliseconds kPoll{10};
}  // namespace

std::set<int> child_pids()
{
	std::set<int> out;
	const int self = int(getpid());
	DIR* d = opendir("/proc");
	if (!d) return out;
	while (dirent* e = readdir(d)) {
		char* end = nullptr;
		const long pid = std::strtol(e->d_name, &end, 10);
		if (pid <= 0 || *end) continue;
		// "pid (name) state ppid ...": the name may hold blanks and parentheses.
		std::ifstream stat("/proc/" + std::string(e->d_name) + "/stat");
		std::string line;
		if (!std::getline(stat, line)) continue;
		const size_t close = line.rfind(')');
		if (close == std::string::npos) continue;
		char state = 0;
		int ppid = 0;
		if (std::sscanf(line.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == self)
			out.insert(int(pid));
	}
	closedir(d);
	return out;
}

bool ChildWatch::wait_new(std::chrono::seconds bound)
{
	const auto deadline = std::chrono::steady_clock::now() + bound;
	bool all_ended = true;
	for (int pid : child_pids()) {
		if (before_.count(pid)) continue;
		int status = 0;
		pid_t r;
		while (((r = waitpid(pid, &status, WNOHANG)) == 0 || (r < 0 && errno == EINTR)) &&
		       std::chrono::steady_clock::now() < deadline)
			std::this_thread::sleep_for(kPoll);
		if (r == 0) {
			all_ended = false;
			kill(pid, SIGKILL);
			waitpid(pid, &status, 0);
		}
	}
	return all_ended;
}

}  // namespace kx_test
