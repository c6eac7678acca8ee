#include <gtest/gtest.h>

#include <latch>
#include <thread>
#include <vector>

#include "runtime/hl_thread.h"

namespace {

// Each writer's items come out in its own order, and none is lost or doubled.
TEST(MessageQueueConcurrency, FifoAcrossSeveralWriters)
{
	UTL_message_queue* q = nullptr;
	UTL_message_queue_create(&q);
	constexpr int kWriters = 4, kEach = 2000;
	std::vector<std::vector<int>> items(kWriters, std::vector<int>(kEach));
	std::latch go(kWriters + 1);
	std::vector<std::thread> ws;
	for (int w = 0; w < kWriters; ++w)
		ws.emplace_back([&, w] {
			go.arrive_and_wait();
			for (int i = 0; i < kEach; ++i) {
				items[w][i] = w * kEach + i;
				UTL_message_queue_write(q, &items[w][i]);
			}
		});
	go.arrive_and_wait();
	std::vector<int> next(kWriters, 0);
	for (int n = 0; n < kWriters * kEach; ++n) {
		int* p = static_cast<int*>(UTL_message_queue_read(q, -1));
		ASSERT_NE(p, nullptr);
		int w = *p / kEach, i = *p % kEach;
		ASSERT_EQ(i, next[w]) << "writer " << w;
		next[w] += 1;
	}
	for (auto& t : ws) t.join();
	EXPECT_EQ(UTL_message_queue_read(q, 0), nullptr);
	UTL_message_queue_destroy(q);
}

// Single writer, several blocked readers: all items taken exactly once, in order per reader.
TEST(MessageQueueConcurrency, BlockedReadersEachWokenForOneItem)
{
	UTL_message_queue* q = nullptr;
	UTL_message_queue_create(&q);
	constexpr int kReaders = 4, kEach = 500;
	std::vector<int> values(kReaders * kEach);
	std::vector<std::vector<int>> got(kReaders);
	std::vector<std::thread> rs;
	for (int r = 0; r < kReaders; ++r)
		rs.emplace_back([&, r] {
			for (int i = 0; i < kEach; ++i) got[r].push_back(*static_cast<int*>(UTL_message_queue_read(q, -1)));
		});
	for (int i = 0; i < kReaders * kEach; ++i) {
		values[i] = i;
		UTL_message_queue_write(q, &values[i]);
	}
	for (auto& t : rs) t.join();
	std::vector<int> seen(kReaders * kEach, 0);
	for (auto& g : got) {
		for (size_t i = 1; i < g.size(); ++i) EXPECT_LT(g[i - 1], g[i]);
		for (int v : g) seen[v] += 1;
	}
	for (int s : seen) ASSERT_EQ(s, 1);
	EXPECT_EQ(q->waiting_readers, 0);
	UTL_message_queue_destroy(q);
}

// A forever read blocks until something is posted, and a posted null comes back as null.
TEST(MessageQueueConcurrency, ForeverReadWaitsForWriterAndReturnsPostedNull)
{
	UTL_message_queue* q = nullptr;
	UTL_message_queue_create(&q);
	UTL_message_queue* ready = nullptr;
	UTL_message_queue_create(&ready);
	int item = 5;
	std::thread reader([&] {
		void* first = UTL_message_queue_read(q, -1);
		UTL_message_queue_write(ready, first == nullptr ? &item : nullptr);
		void* second = UTL_message_queue_read(q, -1);
		UTL_message_queue_write(ready, second);
	});
	UTL_message_queue_write(q, nullptr);
	EXPECT_EQ(UTL_message_queue_read(ready, -1), &item);
	UTL_message_queue_write(q, &item);
	EXPECT_EQ(UTL_message_queue_read(ready, -1), &item);
	reader.join();
	UTL_message_queue_destroy(q);
	UTL_message_queue_destroy(ready);
}

// A timed read returns as soon as a writer posts, long before its deadline.
TEST(MessageQueueConcurrency, TimedReadWokenByWriter)
{
	UTL_message_queue* q = nullptr;
	UTL_message_queue_create(&q);
	int item = 1;
	std::thread writer([&] { UTL_message_queue_write(q, &item); });
	EXPECT_EQ(UTL_message_queue_read(q, 600000), &item);
	writer.join();
	UTL_message_queue_destroy(q);
}

TEST(CriticalSectionConcurrency, ExcludesOtherThreads)
{
	UTL_critical_section m;
	UTL_critical_section_create(&m);
	long counter = 0;
	std::vector<std::thread> ts;
	for (int t = 0; t < 4; ++t)
		ts.emplace_back([&] {
			for (int i = 0; i < 5000; ++i) {
				UTL_critical_section_lock(&m);
				UTL_critical_section_lock(&m);
				counter += 1;
				UTL_critical_section_unlock(&m);
				UTL_critical_section_unlock(&m);
			}
		});
	for (auto& t : ts) t.join();
	EXPECT_EQ(counter, 20000);
	UTL_critical_section_destroy(&m);
}

TEST(ThreadConcurrency, CreateAndJoinReturnsExitValue)
{
	UTL_thread_handle h1{}, h2{}, h3{};
	static int value = 9;
	ASSERT_EQ(UTL_thread_create([](void* a) -> void* { return a; }, &value, &h1, &h2, &h3), 0);
	EXPECT_TRUE(pthread_equal(h1, h2));
	EXPECT_TRUE(pthread_equal(h1, h3));
	EXPECT_EQ(UTL_thread_join(&h1, &h2), &value);

	ASSERT_EQ(UTL_thread_create([](void* a) -> void* { UTL_thread_exit(a); }, &value, &h1, &h2, &h3), 0);
	EXPECT_EQ(UTL_thread_join(&h1, &h3), &value);
}

}  // namespace
