#include "runtime/UTL_thread.h"

#include <cxxabi.h>

#include "platform/plat_dialog.h"
#include "runtime/hl_exception.h"
#include "runtime/hl_globals.h"

UTL_worker_threads::UTL_worker_threads(int thread_count, int max_tasks) : max_tasks_(max_tasks)
{
	UTL_message_queue_create(&todo_queue_);
	UTL_message_queue_create(&retired_queue_);
	const size_t n = thread_count > 0 ? static_cast<size_t>(thread_count) : 0;
	threads_.resize(n);
	threads_join_.resize(n);
	threads_id_.resize(n);
	live_threads_ = static_cast<int>(n);
	for (size_t i = 0; i < n; ++i)
		UTL_thread_create(thread_func, this, &threads_[i], &threads_join_[i], &threads_id_[i]);
}

UTL_worker_threads::~UTL_worker_threads()
{
	// The to-do queue is first in, first out: every task queued before now still runs
	// before a thread meets its stop signal.
	for (size_t i = 0; i < threads_.size(); ++i) UTL_message_queue_write(todo_queue_, nullptr);
	for (size_t i = 0; i < threads_.size(); ++i) UTL_thread_join(&threads_[i], &threads_join_[i]);
	UTL_message_queue_destroy(todo_queue_);
	UTL_message_queue_destroy(retired_queue_);
}

void UTL_worker_threads::enqueue_task(UTL_work_task* task)
{
	if (!task) {
		xer << "Refused to queue a null work task.\n";
		return;
	}
	outstanding_ += 1;
	std::lock_guard<std::mutex> g(live_lock_);
	UTL_message_queue_write(todo_queue_, task);
	if (live_threads_ == 0 && !threads_.empty()) retire_queued_unrun();
}

void UTL_worker_threads::retire_queued_unrun()
{
	while (void* item = UTL_message_queue_read(todo_queue_, 0))
		UTL_message_queue_write(retired_queue_, item);
}

int UTL_worker_threads::has_free_slot() { return outstanding_ < max_tasks_ ? 1 : 0; }

int UTL_worker_threads::count_total_tasks() { return outstanding_; }

UTL_work_task* UTL_worker_threads::check_retired_tasks()
{
	auto* task = static_cast<UTL_work_task*>(UTL_message_queue_read(retired_queue_, 0));
	if (task) outstanding_ -= 1;
	return task;
}

UTL_work_task* UTL_worker_threads::wait_retired_tasks(void (*serve)())
{
	if (outstanding_ <= 0) return nullptr;
	// Tasks are never null, so an empty read is only a slice that ran out.
	void* item = nullptr;
	if (!serve)
		item = UTL_message_queue_read(retired_queue_, -1);
	else
		while (!(item = UTL_message_queue_read(retired_queue_, plat_pump_interval_ms))) serve();
	auto* task = static_cast<UTL_work_task*>(item);
	if (task) outstanding_ -= 1;
	return task;
}

KX_FORCED_UNWIND_CATCHER void* UTL_worker_threads::thread_func(void* arg)
{
	auto* pool = static_cast<UTL_worker_threads*>(arg);
	try {
		for (;;) {
			auto* task = static_cast<UTL_work_task*>(UTL_message_queue_read(pool->todo_queue_, -1));
			if (!task) return nullptr;
			try {
				task->do_it();
			} catch (abi::__forced_unwind&) {
				// A quitting alert inside do_it ends this thread. The task is still
				// handed back, so an owner waiting for its tasks finishes and the next
				// frame shows the alert.
				UTL_message_queue_write(pool->retired_queue_, task);
				throw;
			} catch (...) {
				UTL_message_queue_write(pool->retired_queue_, task);
				// Ends this thread as a quitting alert; if that returns (alerts only
				// logged) the thread goes on with the next task.
				THREAD_report_escaped_exception(__FILE__, __LINE__);
				continue;
			}
			UTL_message_queue_write(pool->retired_queue_, task);
		}
	} catch (abi::__forced_unwind&) {
		// However this thread is being ended (an alert in do_it, an exception turned
		// into one, a failing queue call), the pool has one thread fewer.
		{
			std::lock_guard<std::mutex> g(pool->live_lock_);
			if (--pool->live_threads_ == 0) pool->retire_queued_unrun();
		}
		throw;
	}
}
