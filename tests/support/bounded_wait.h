#pragma once
// A bound on how long a test waits for something that, when broken, hangs: a pool that
// never hands a task back, a reader that never finishes. The call runs on its own
// thread; when it has not returned within the bound the test fails at once and the
// test program ends, since a thread that hangs can be neither joined nor stopped.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>
#include <utility>

#include "support/hang_bound.h"

namespace kx_test {

template <class F>
void finishes_within(std::chrono::seconds bound, const char* what, F&& f)
{
	std::packaged_task<void()> task(std::forward<F>(f));
	std::future<void> done = task.get_future();
	std::thread runner(std::move(task));
	if (done.wait_for(bound) != std::future_status::ready) {
		std::fprintf(stderr, "%s did not finish within %lld seconds: it hangs.\n", what,
		             static_cast<long long>(bound.count()));
		ADD_FAILURE() << what << " did not finish within " << bound.count() << " seconds";
		std::fflush(nullptr);
		std::_Exit(1);
	}
	runner.join();
	done.get();  // an exception of the call reaches the test
}

template <class F>
void finishes_within(const char* what, F&& f)
{
	finishes_within(kHangBound, what, std::forward<F>(f));
}

}  // namespace kx_test
