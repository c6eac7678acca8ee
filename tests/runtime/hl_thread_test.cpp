#include <gtest/gtest.h>

#include <errno.h>

#include <cstdio>

#include "runtime/hl_thread.h"
#include "support/test_env.h"

namespace {

TEST(MessageQueue, PollReturnsOldestOrNullAtOnce)
{
	UTL_message_queue* q = nullptr;
	UTL_message_queue_create(&q);
	ASSERT_NE(q, nullptr);
	EXPECT_EQ(UTL_message_queue_read(q, 0), nullptr);
	int a = 1, b = 2;
	UTL_message_queue_write(q, &a);
	UTL_message_queue_write(q, &b);
	EXPECT_EQ(UTL_message_queue_read(q, 0), &a);
	EXPECT_EQ(UTL_message_queue_read(q, 0), &b);
	EXPECT_EQ(UTL_message_queue_read(q, 0), nullptr);
	UTL_message_queue_destroy(q);
}

// Negative time-outs other than "forever" used to make a deadline the wait rejected;
// they must behave as a poll: items still come out, an empty queue gives null at once.
TEST(MessageQueue, NegativeTimeoutsOtherThanForeverPoll)
{
	UTL_message_queue* q = nullptr;
	UTL_message_queue_create(&q);
	kx_test::AlertRecorder rec;
	for (int t : {-2, -1000, -1500, -2147483647 - 1}) EXPECT_EQ(UTL_message_queue_read(q, t), nullptr) << t;
	// Made into a deadline, -999 ms lies in a rejected form (a negative fraction)
	// unless the clock stands in the last millisecond of a second; two reads 2 ms apart
	// cannot both meet that millisecond.
	for (int i = 0; i < 2; ++i) {
		EXPECT_EQ(UTL_message_queue_read(q, -999), nullptr);
		usleep(2000);
	}
	int a = 0;
	UTL_message_queue_write(q, &a);
	EXPECT_EQ(UTL_message_queue_read(q, -5), &a);
	EXPECT_TRUE(rec.alerts().empty());
	UTL_message_queue_destroy(q);
}

TEST(MessageQueue, TimedReadReturnsQueuedItemAndTimesOutWhenEmpty)
{
	UTL_message_queue* q = nullptr;
	UTL_message_queue_create(&q);
	int a = 0;
	UTL_message_queue_write(q, &a);
	EXPECT_EQ(UTL_message_queue_read(q, 1500), &a);
	// The time-out itself is under test here: a short one must come back empty.
	EXPECT_EQ(UTL_message_queue_read(q, 20), nullptr);
	EXPECT_EQ(q->waiting_readers, 0);
	UTL_message_queue_destroy(q);
}

TEST(MessageQueue, DeadlineCarriesNanosecondsIntoSeconds)
{
	timespec now{100, 600000000};
	timespec d = UTL_message_queue_deadline(now, 1500);
	EXPECT_EQ(d.tv_sec, 102);
	EXPECT_EQ(d.tv_nsec, 100000000);
	d = UTL_message_queue_deadline(timespec{7, 999999999}, 999);
	EXPECT_EQ(d.tv_sec, 8);
	EXPECT_EQ(d.tv_nsec, 998999999);
	d = UTL_message_queue_deadline(timespec{7, 0}, 3000);
	EXPECT_EQ(d.tv_sec, 10);
	EXPECT_EQ(d.tv_nsec, 0);
}

// Items are not owned: the queue frees its nodes, never what they point to.
TEST(MessageQueue, DestroyWithItemsLeavesItemsAlone)
{
	UTL_message_queue* q = nullptr;
	UTL_message_queue_create(&q);
	int* item = new int(42);
	UTL_message_queue_write(q, item);
	UTL_message_queue_write(q, nullptr);
	UTL_message_queue_destroy(q);
	EXPECT_EQ(*item, 42);
	delete item;
	UTL_message_queue_destroy(nullptr);
}

TEST(CriticalSection, RecursiveLockOnOneThread)
{
	UTL_critical_section m;
	UTL_critical_section_create(&m);
	UTL_critical_section_lock(&m);
	UTL_critical_section_lock(&m);
	UTL_critical_section_unlock(&m);
	UTL_critical_section_unlock(&m);
	// Free again: a plain try-lock succeeds.
	EXPECT_EQ(pthread_mutex_trylock(&m), 0);
	pthread_mutex_unlock(&m);
	UTL_critical_section_destroy(&m);
}

// A failing pthread call on the main thread is a quitting alert naming the call, with
// the error number as a float.
TEST(CriticalSection, FailingCallIsQuittingAlertNamingIt)
{
	kx_test::AlertRecorder rec;
	UTL_critical_section m;
	UTL_critical_section_create(&m);
	// Unlocking a recursive lock nobody holds fails with EPERM.
	EXPECT_THROW(UTL_critical_section_unlock(&m), kx_test::AlertExit);
	auto a = rec.alerts();
	ASSERT_EQ(a.size(), 1u);
	EXPECT_EQ(a[0].line1, "\"pthread_mutex_unlock\" OS error");
	char want[64];
	std::snprintf(want, sizeof(want), "err=%f", static_cast<double>(EPERM));
	EXPECT_EQ(a[0].line2, want);
	EXPECT_EQ(a[0].line3, "");
	EXPECT_EQ(a[0].line4, "");
	EXPECT_EQ(a[0].type, t_exit);
	EXPECT_EQ(a[0].return_window, 0);
	EXPECT_NE(a[0].file.find("hl_thread"), std::string::npos);
	UTL_critical_section_destroy(&m);
}

TEST(ThreadUtilities, SleepBelowOneReturnsAndProcessorsCounted)
{
	UTL_sleep(0);
	UTL_sleep(-20);
	EXPECT_GE(UTL_count_processors(), 1);
	EXPECT_TRUE(pthread_equal(UTL_get_current_thread(), pthread_self()));
}

}  // namespace
