#pragma once
// Work in flight that hangs, as a copy or a digest does on a disc that does not answer.
// While it lives, a HungWork is the window's tool pump: each call counts as one serving
// of the window, and the third releases the hung task. Should nothing serve the window,
// the task gives up after the hang bound, so a wait that serves nothing fails the test
// instead of hanging it. Main thread only, one at a time.
#include <functional>
#include <future>
#include <string>

#include "runtime/UTL_thread.h"
#include "runtime/hl_dialogs.h"
#include "support/bounded_wait.h"

namespace kx_test {

class HungWork {
public:
	// `intact` tells whether what the task works on is still there; it is asked at each
	// serving and when the task ends.
	explicit HungWork(std::function<bool()> intact = [] { return true; })
	    : intact_(std::move(intact)), old_pump_(HL_set_tool_pump(serve))
	{
		current() = this;
	}
	~HungWork()
	{
		HL_set_tool_pump(old_pump_);
		current() = nullptr;
	}
	HungWork(const HungWork&) = delete;
	HungWork& operator=(const HungWork&) = delete;

	// A task for a pool: its first run hangs until released; later runs (the same task
	// moved on to another pool) do nothing. The pool's owner deletes it.
	UTL_work_task* task() { return new hung_task(*this); }

	static constexpr int kServedBeforeItEnds = 3;
	int served = 0;
	// What the task works on was gone while the window was served.
	bool gone_while_served = false;
	// Written by the task; read once its pool handed it back.
	bool released_in_time = false;  // by the serving, not given up after the hang bound
	bool gone_at_its_end = false;

private:
	class hung_task : public UTL_work_task {
	public:
		explicit hung_task(HungWork& w) : w_(w) {}
		void do_it() override
		{
			if (runs_++) return;
			w_.released_in_time = w_.released_.wait_for(kHangBound) == std::future_status::ready;
			w_.gone_at_its_end = !w_.intact_();
		}
		int check_error(std::string& message) override
		{
			message.clear();
			return 0;
		}

	private:
		HungWork& w_;
		int runs_ = 0;
	};

	static HungWork*& current()
	{
		static HungWork* w = nullptr;
		return w;
	}
	static void serve()
	{
		HungWork* w = current();
		if (!w) return;
		if (!w->intact_()) w->gone_while_served = true;
		if (++w->served == kServedBeforeItEnds) w->release_.set_value();
	}

	std::function<bool()> intact_;
	std::promise<void> release_;
	std::shared_future<void> released_ = release_.get_future().share();
	dialog_hook_fn old_pump_;
};

}  // namespace kx_test
