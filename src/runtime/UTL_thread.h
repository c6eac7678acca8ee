#pragma once
// Worker pools. The install engine runs its background work (digesting files, copying
// archives from the disc, unpacking them) as task objects on fixed pools of threads.
// The owner enqueues tasks, the pool runs each task's do_it on one of its threads and
// hands it back on the retired queue; the owner collects every task it enqueued,
// asks it for its error on its own thread and deletes it (or enqueues it on another
// pool). A pool never cancels, deletes or judges a task.
#include <string>
#include <mutex>
#include <vector>

#include "runtime/hl_thread.h"

class UTL_work_task {
public:
	virtual ~UTL_work_task() = default;
	// The work; runs on a pool thread.
	virtual void do_it() = 0;
	// Called by the owner after collecting the task: 0 and a message on success, else
	// an error code.
	virtual int check_error(std::string& message) = 0;
};

class UTL_worker_threads {
public:
	UTL_worker_threads(int thread_count, int max_tasks);
	// Stops and joins every thread once the tasks still queued have run. Retired tasks
	// that were not collected are neither checked nor deleted.
	~UTL_worker_threads();
	UTL_worker_threads(const UTL_worker_threads&) = delete;
	UTL_worker_threads& operator=(const UTL_worker_threads&) = delete;

	// Counts the task and queues it. A null task is refused: it would stop a thread.
	void enqueue_task(UTL_work_task* task);
	// 1 while fewer tasks are outstanding (queued, running or retired but not yet
	// collected) than the task limit.
	int has_free_slot();
	int count_total_tasks();
	// A retired task, or null at once when none is waiting.
	UTL_work_task* check_retired_tasks();
	// Blocks until a task retires; null at once when nothing is outstanding. A task in
	// flight may take as long as the disc it reads: an owner with a window hands in
	// `serve`, which is called about every plat_pump_interval_ms while nothing retires.
	UTL_work_task* wait_retired_tasks(void (*serve)() = nullptr);

	static void* thread_func(void* pool);

private:
	UTL_message_queue* todo_queue_ = nullptr;
	UTL_message_queue* retired_queue_ = nullptr;
	int max_tasks_;
	// Touched only on the owner's thread; no lock.
	int outstanding_ = 0;
	// Threads not ended by a quitting alert. When the last one goes, nothing would
	// ever run what is still queued: those tasks are handed back unrun so that no owner
	// waits for them for ever (the program is ending: the next frame shows the alert).
	std::mutex live_lock_;
	int live_threads_ = 0;
	// Hands back every task still queued; the caller holds live_lock_.
	void retire_queued_unrun();
	std::vector<UTL_thread_handle> threads_;
	std::vector<UTL_thread_handle> threads_join_;
	std::vector<UTL_thread_handle> threads_id_;
};
