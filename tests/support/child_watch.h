#pragma once
// Waiting for the programs one test started, and for no others. A test binary run as
// one process carries children of earlier tests that live on by design (the progress
// window stays for the whole run), so waiting for any child could wait forever.
#include <chrono>
#include <set>

#include "support/bounded_wait.h"

namespace kx_test {

// The children of this process as the system lists them: running, or ended and not
// yet waited for.
std::set<int> child_pids();

// Notes the children there are when made; wait_new() waits for those started since.
class ChildWatch {
public:
	ChildWatch() : before_(child_pids()) {}
	// Waits up to `bound` for every child started since; one still running then is
	// killed. True when all of them ended by themselves.
	bool wait_new(std::chrono::seconds bound = kHangBound);

private:
	std::set<int> before_;
};

}  // namespace kx_test
