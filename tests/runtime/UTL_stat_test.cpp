#include <gtest/gtest.h>

#include "runtime/UTL_stat.h"

namespace {

// Made during static initialisation, like the modules' own statistics and commands.
float g_outside = 7.0f;
UTL_stat s_early_outside(&g_outside, "memory/lazy_pools", 0);
UTL_stat s_early_own("fbo/flush_per_frame", 2, 5.0f);

int g_calls_a = 0, g_calls_b = 0;
UTL_remote_cmd c_early_a("Dump Memory Info", [] { ++g_calls_a; });
UTL_remote_cmd c_early_b("Reload Pixel Shaders...", [] { ++g_calls_b; });

bool filed(const UTL_stat& s)
{
	auto it = all_stats.find(s.type);
	return it != all_stats.end() && it->second.count(const_cast<UTL_stat*>(&s)) == 1;
}

}  // namespace

// One test: the registry's state only moves forward in a process.
TEST(UTLStat, FiledOnlyOnceTheRegistryIsInitialised)
{
	EXPECT_EQ(s_early_outside.target, &g_outside);
	EXPECT_EQ(s_early_own.target, &s_early_own.own_value);
	EXPECT_EQ(s_early_own.own_value, 5.0f);

	ASSERT_EQ(stat_initialized, 0);
	// Static, like every statistic of a module: the waiting list keeps pointing at it.
	static UTL_stat before("num_xdl_bind", 2, 1.0f);
	EXPECT_FALSE(filed(s_early_outside));
	EXPECT_FALSE(filed(before));
	// The newest statistic heads the waiting list.
	EXPECT_EQ(waiting, &before);

	UTL_stat::init_stats();
	EXPECT_EQ(stat_initialized, 1);
	EXPECT_TRUE(filed(s_early_outside));
	EXPECT_TRUE(filed(s_early_own));
	EXPECT_TRUE(filed(before));

	static UTL_stat after("perf/kill_tex", 4, 2.0f);
	EXPECT_TRUE(filed(after));
	EXPECT_EQ(waiting, &before);  // made after init: filed at once, never waiting

	// Publishing again, or a second init, keeps one entry each.
	after.publish();
	UTL_stat::init_stats();
	EXPECT_EQ(all_stats[4].size(), 1u);
	EXPECT_EQ(all_stats[2].size(), 2u);

	// Reset clears the own values of that type only; an outside variable is left alone.
	UTL_stat::reset_stats(2);
	UTL_stat::reset_stats(0);
	UTL_stat::reset_stats(99);
	EXPECT_EQ(s_early_own.own_value, 0.0f);
	EXPECT_EQ(before.own_value, 0.0f);
	EXPECT_EQ(after.own_value, 2.0f);
	EXPECT_EQ(g_outside, 7.0f);
}

TEST(UTLRemoteCmd, IdsCountFromOneAndInvokeFindsTheCommand)
{
	// The libraries register commands of their own ("Dump Memory Info" of the memory
	// unit), in link order: ids are counted from 1 over all of them.
	int count = 0;
	for (UTL_remote_cmd* c = UTL_remote_cmd::cmd_list; c; c = c->next) {
		++count;
		// Newest first: each id is one above the next one in the list.
		if (c->next) EXPECT_EQ(c->id, c->next->id + 1);
		else EXPECT_EQ(c->id, 1);
	}
	EXPECT_EQ(UTL_remote_cmd::free_id, count + 1);
	EXPECT_EQ(c_early_b.next, &c_early_a);

	UTL_remote_cmd::invoke(nullptr, 0);
	UTL_remote_cmd::invoke(nullptr, UTL_remote_cmd::free_id);
	EXPECT_EQ(g_calls_a + g_calls_b, 0);
	UTL_remote_cmd::invoke(nullptr, c_early_a.id);
	UTL_remote_cmd::invoke(nullptr, c_early_b.id);
	UTL_remote_cmd::invoke(nullptr, c_early_b.id);
	EXPECT_EQ(g_calls_a, 1);
	EXPECT_EQ(g_calls_b, 2);

	UTL_remote_cmd::init_remote_cmds();
	EXPECT_EQ(UTL_remote_cmd::inited, 1);
	UTL_profiler_init();
	UTL_profiler_start("frame");
	UTL_profiler_stop();
}
