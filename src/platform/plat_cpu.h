#pragma once
// Processor facts the framework once asked the multiprocessing services for.

// The number of processors this process may run on: its affinity mask when the kernel
// gives one, else the processors online. Never below 1 unless the system reports 0.
int PLAT_count_processors();

// Whether the multiprocessing services are ready. Threads are part of the C library
// here, so they always are; the call stays so start-up keeps its check.
int PLAT_mp_fully_initialized();
