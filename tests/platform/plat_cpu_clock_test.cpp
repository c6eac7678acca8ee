#include <gtest/gtest.h>

#include <sched.h>
#include <unistd.h>

#include "platform/plat_clock.h"
#include "platform/plat_cpu.h"

namespace {

// The count follows the affinity mask, so a process pinned to fewer cores than the
// machine has starts fewer workers.
TEST(PlatCpu, CountsProcessorsThisProcessMayUse)
{
	cpu_set_t set;
	CPU_ZERO(&set);
	ASSERT_EQ(sched_getaffinity(0, sizeof(set), &set), 0);
	EXPECT_EQ(PLAT_count_processors(), CPU_COUNT(&set));
	EXPECT_LE(PLAT_count_processors(), sysconf(_SC_NPROCESSORS_CONF));
	EXPECT_EQ(PLAT_mp_fully_initialized(), 1);
}

TEST(PlatClock, MicrosecondsNeverGoBack)
{
	uint64_t last = PLAT_microseconds();
	for (int i = 0; i < 1000; ++i) {
		uint64_t now = PLAT_microseconds();
		ASSERT_GE(now, last);
		last = now;
	}
}

}  // namespace
