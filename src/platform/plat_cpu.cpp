#include "platform/plat_cpu.h"

#include <sched.h>
#include <unistd.h>

int PLAT_count_processors()
{
	// A process confined to some cores (taskset, containers) must not start a worker
	// for every core of the machine.
	cpu_set_t set;
	CPU_ZERO(&set);
	if (sched_getaffinity(0, sizeof(set), &set) == 0) {
		int n = CPU_COUNT(&set);
		if (n > 0) return n;
	}
	long n = sysconf(_SC_NPROCESSORS_ONLN);
	return n > 0 ? static_cast<int>(n) : 0;
}

int PLAT_mp_fully_initialized() { return 1; }
