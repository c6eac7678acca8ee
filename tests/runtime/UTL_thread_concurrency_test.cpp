#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "runtime/UTL_thread.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_exception.h"
#include "support/bounded_wait.h"
#include "support/test_env.h"

namespace {

// Counts its runs; optionally waits for a gate first and counts down a latch after.
class CountTask : public UTL_work_task {
public:
	explicit CountTask(std::latch* gate = nullptr, std::latch* finished = nullptr)
	    : gate_(gate), finished_(finished) {}
	void do_it() override
	{
		if (gate_) gate_->wait();
		runs.fetch_add(1);
		if (finished_) finished_->count_down();
	}
	int check_error(std::string& message) override
	{
		message = "ok";
		return 0;
	}
	std::atomic<int> runs{0};

private:
	std::latch* gate_;
	std::latch* finished_;
};

// Collects every outstanding task and deletes it.
void drain_pool(UTL_worker_threads& pool)
{
	while (UTL_work_task* t = pool.wait_retired_tasks()) delete t;
}

TEST(WorkerPool, NothingOutstandingNeverBlocks)
{
	UTL_worker_threads pool(2, 4);
	EXPECT_EQ(pool.count_total_tasks(), 0);
	EXPECT_EQ(pool.wait_retired_tasks(), nullptr);
	EXPECT_EQ(pool.check_retired_tasks(), nullptr);
	EXPECT_EQ(pool.has_free_slot(), 1);

	// A running task not yet retired: polling finds nothing and counts nothing.
	std::latch gate(1);
	pool.enqueue_task(new CountTask(&gate));
	EXPECT_EQ(pool.check_retired_tasks(), nullptr);
	EXPECT_EQ(pool.count_total_tasks(), 1);
	gate.count_down();
	drain_pool(pool);
	EXPECT_EQ(pool.count_total_tasks(), 0);
}

// Finished but uncollected tasks still take their slot.
TEST(WorkerPool, SlotLimitCountsUntilCollected)
{
	UTL_worker_threads pool(3, 30);
	std::latch finished(30);
	std::vector<CountTask*> tasks;
	for (int i = 0; pool.has_free_slot(); ++i) {
		ASSERT_LT(i, 30);
		tasks.push_back(new CountTask(nullptr, &finished));
		pool.enqueue_task(tasks.back());
	}
	EXPECT_EQ(tasks.size(), 30u);
	finished.wait();
	EXPECT_EQ(pool.has_free_slot(), 0);
	EXPECT_EQ(pool.count_total_tasks(), 30);
	UTL_work_task* t = pool.wait_retired_tasks();
	ASSERT_NE(t, nullptr);
	EXPECT_EQ(pool.has_free_slot(), 1);
	EXPECT_EQ(pool.count_total_tasks(), 29);
	std::string msg;
	EXPECT_EQ(t->check_error(msg), 0);
	delete t;
	drain_pool(pool);
}

TEST(WorkerPool, LimitOfZeroOrLessNeverHasFreeSlot)
{
	UTL_worker_threads zero(1, 0);
	UTL_worker_threads negative(1, -3);
	EXPECT_EQ(zero.has_free_slot(), 0);
	EXPECT_EQ(negative.has_free_slot(), 0);
}

// A pool without threads starts none and its destructor waits for nothing; a task
// queued there simply never runs, and is the owner's to delete.
TEST(WorkerPool, NoThreadsStartsNothingAndStopsAtOnce)
{
	CountTask task;
	{
		UTL_worker_threads pool(0, 5);
		pool.enqueue_task(&task);
		EXPECT_EQ(pool.count_total_tasks(), 1);
		EXPECT_EQ(pool.check_retired_tasks(), nullptr);
	}
	EXPECT_EQ(task.runs.load(), 0);
	UTL_worker_threads negative(-2, 5);
	EXPECT_EQ(negative.count_total_tasks(), 0);
}

TEST(WorkerPool, NullTaskRefused)
{
	UTL_worker_threads pool(1, 3);
	pool.enqueue_task(nullptr);
	EXPECT_EQ(pool.count_total_tasks(), 0);
	// The thread is still there to run real work.
	auto* t = new CountTask;
	pool.enqueue_task(t);
	EXPECT_EQ(pool.wait_retired_tasks(), t);
	EXPECT_EQ(t->runs.load(), 1);
	delete t;
}

// Tasks still queued at destruction run first; retired tasks are left to the owner.
TEST(WorkerPool, DestructorRunsQueuedTasksAndDeletesNone)
{
	std::latch gate(1);
	std::vector<std::unique_ptr<CountTask>> tasks;
	std::thread opener;
	{
		UTL_worker_threads pool(1, 10);
		tasks.push_back(std::make_unique<CountTask>(&gate));
		pool.enqueue_task(tasks.back().get());
		for (int i = 0; i < 5; ++i) {
			tasks.push_back(std::make_unique<CountTask>());
			pool.enqueue_task(tasks.back().get());
		}
		// The single thread is held by the first task while the rest wait in the queue.
		opener = std::thread([&] { gate.count_down(); });
	}
	// Joined, not detached: the latch must outlive the opener's count-down.
	opener.join();
	for (auto& t : tasks) EXPECT_EQ(t->runs.load(), 1);
}

TEST(WorkerPool, SameTaskMovesFromOnePoolToAnother)
{
	UTL_worker_threads copy_pool(2, 4), unpack_pool(2, 4);
	auto* t = new CountTask;
	copy_pool.enqueue_task(t);
	EXPECT_EQ(copy_pool.count_total_tasks(), 1);
	ASSERT_EQ(copy_pool.wait_retired_tasks(), t);
	EXPECT_EQ(copy_pool.count_total_tasks(), 0);
	unpack_pool.enqueue_task(t);
	EXPECT_EQ(copy_pool.count_total_tasks(), 0);
	EXPECT_EQ(unpack_pool.count_total_tasks(), 1);
	ASSERT_EQ(unpack_pool.wait_retired_tasks(), t);
	EXPECT_EQ(t->runs.load(), 2);
	EXPECT_EQ(copy_pool.check_retired_tasks(), nullptr);
	delete t;
}

class AlertingTask : public UTL_work_task {
public:
	explicit AlertingTask(int type) : type_(type) {}
	void do_it() override
	{
		DIDIVI_ALERT("task trouble", "second", "", "", type_);
		after_alert = 1;
	}
	int check_error(std::string&) override { return after_alert ? 0 : 1; }
	int after_alert = 0;

private:
	int type_;
};

class ThrowingTask : public UTL_work_task {
public:
	void do_it() override { throw std::runtime_error("disk on fire"); }
	int check_error(std::string&) override { return 5; }
};

// The owner's wait, bounded: a pool that never hands a task back fails the test in
// seconds instead of hanging it.
UTL_work_task* wait_bounded(UTL_worker_threads& pool)
{
	UTL_work_task* got = nullptr;
	kx_test::finishes_within("waiting for a retired task", [&] { got = pool.wait_retired_tasks(); });
	return got;
}

// Quitting alerts and escaped exceptions end the pool thread, yet the task is handed
// back, so an owner waiting for it finishes; the main thread then shows the alert.
TEST(WorkerPool, TaskEndedAbnormallyIsStillRetired)
{
	kx_test::AlertRecorder rec;
	THREAD_init();
	{
		UTL_worker_threads pool(2, 4);
		auto* fatal = new AlertingTask(t_exit);
		pool.enqueue_task(fatal);
		ASSERT_EQ(wait_bounded(pool), fatal);
		std::string msg;
		EXPECT_EQ(fatal->check_error(msg), 1);  // ended inside the alert
		delete fatal;

		auto* throwing = new ThrowingTask;
		pool.enqueue_task(throwing);
		ASSERT_EQ(wait_bounded(pool), throwing);
		delete throwing;
		EXPECT_EQ(pool.count_total_tasks(), 0);
	}
	EXPECT_TRUE(rec.alerts().empty());  // nothing shown off the main thread
	EXPECT_THROW(THREAD_check_exception(1), kx_test::AlertExit);
	EXPECT_THROW(THREAD_check_exception(1), kx_test::AlertExit);
	auto a = rec.alerts();
	ASSERT_EQ(a.size(), 2u);
	EXPECT_EQ(a[0].line1, "task trouble");
	EXPECT_EQ(a[0].type, t_exit);
	EXPECT_EQ(a[1].line1, "Caught an unhandled C++ exception");
	EXPECT_EQ(a[1].line2, "disk on fire");
	EXPECT_EQ(a[1].type, t_exit);
	THREAD_shutdown();
}

// A pool whose every thread was ended, by a quitting alert or by an exception escaping
// do_it, hands back what is still queued, unrun, so the owner's wait ends and the next
// frame can show the alert.
TEST(WorkerPool, TasksQueuedBehindTheLastEndedThreadAreHandedBack)
{
	kx_test::AlertRecorder rec;
	THREAD_init();
	for (bool by_exception : {false, true}) {
		SCOPED_TRACE(by_exception ? "exception" : "alert");
		UTL_worker_threads pool(1, 8);
		std::latch gate(1);
		auto* blocker = new CountTask(&gate);
		UTL_work_task* fatal = by_exception ? static_cast<UTL_work_task*>(new ThrowingTask)
		                                    : new AlertingTask(t_exit);
		auto* behind = new CountTask;
		pool.enqueue_task(blocker);
		pool.enqueue_task(fatal);
		pool.enqueue_task(behind);
		gate.count_down();
		for (int i = 0; i < 3; ++i) ASSERT_NE(wait_bounded(pool), nullptr);
		EXPECT_EQ(blocker->runs.load(), 1);
		EXPECT_EQ(behind->runs.load(), 0);

		auto* late = new CountTask;
		pool.enqueue_task(late);
		ASSERT_EQ(wait_bounded(pool), late);
		EXPECT_EQ(late->runs.load(), 0);
		EXPECT_EQ(pool.count_total_tasks(), 0);
		delete blocker;
		delete fatal;
		delete behind;
		delete late;
	}
	EXPECT_THROW(THREAD_check_exception(1), kx_test::AlertExit);
	EXPECT_THROW(THREAD_check_exception(1), kx_test::AlertExit);
	ASSERT_EQ(rec.alerts().size(), 2u);
	EXPECT_EQ(rec.alerts()[1].line2, "disk on fire");
	THREAD_shutdown();
}

// A warning from a task is posted and the task goes on to the end.
TEST(WorkerPool, TaskWarningContinues)
{
	kx_test::AlertRecorder rec;
	THREAD_init();
	{
		UTL_worker_threads pool(1, 4);
		auto* warn = new AlertingTask(t_alert);
		pool.enqueue_task(warn);
		ASSERT_EQ(pool.wait_retired_tasks(), warn);
		std::string msg;
		EXPECT_EQ(warn->check_error(msg), 0);
		delete warn;
	}
	THREAD_check_exception(1);
	auto a = rec.alerts();
	ASSERT_EQ(a.size(), 1u);
	EXPECT_EQ(a[0].type, t_alert);
	THREAD_shutdown();
}

}  // namespace
