#pragma once
// The program's heap: every new and delete, the standard library's included, goes
// through the global operators of hl_mem.cpp into the allocator (mimalloc, or the C
// library's malloc in sanitizer builds). Also the memory report "MemoryLog.txt".
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <new>
#include <vector>

#include "platform/plat_mem.h"

// Tagged forms: the tag and line name the allocation site; the allocator does not use
// them. Each has the matching placement delete, which the language calls when a
// constructor throws after a tagged new.
void* operator new(std::size_t size, const char* tag, int line);
void* operator new[](std::size_t size, const char* tag, int line);
void* operator new(std::size_t size, const std::nothrow_t&, const char* tag, int line) noexcept;
void* operator new[](std::size_t size, const std::nothrow_t&, const char* tag, int line) noexcept;
void operator delete(void* p, const char* tag, int line) noexcept;
void operator delete[](void* p, const char* tag, int line) noexcept;
void operator delete(void* p, const std::nothrow_t&, const char* tag, int line) noexcept;
void operator delete[](void* p, const std::nothrow_t&, const char* tag, int line) noexcept;

// The allocator under the operators; null when it has no room.
void* heap_malloc(std::size_t size) noexcept;
void heap_free(void* p) noexcept;

// Writes one memory report to app_path + "MemoryLog.txt": the first report of the
// process replaces the file, later ones are appended. reason names the occasion.
void dump_mem_stats(const char* reason);
// The debug command "Dump Memory Info" (registered as dump_mem_now).
void DumpMemCmd();
class UTL_remote_cmd;
extern UTL_remote_cmd dump_mem_now;

// A byte count scaled for the report: its number and its unit ('B', 'K', 'M', 'G').
uint64_t mem_to_number(uint64_t bytes);
char mem_to_suffix(uint64_t bytes);
// The name of a share mode of the region map.
const char* sm_string(int mode);

// Figures of the region map.
struct mem_map_totals {
	uint64_t total_vsize = 0;
	uint64_t total_rsize = 0;
	uint64_t shared_rsize = 0;
	uint64_t private_rsize = 0;
	uint64_t largest_free = 0;
	uint64_t total_free = 0;
	uint64_t largest_gap = 0;
	uint64_t total_gap = 0;
};
// Writes one line per region, with a gap line before every region that does not start
// where the previous one ended (the first one included, unless it starts at 0).
// regions must be sorted by address.
void dump_mem_map(FILE* file, const std::vector<plat_vm_region>& regions, mem_map_totals* totals);

// The allocator's figures in the shape of the C library's mallinfo.
struct mem_allocator_info {
	uint64_t arena = 0;
	uint64_t ordblks = 0;
	uint64_t hblkhd = 0;
	uint64_t usmblks = 0;
	uint64_t uordblks = 0;
	uint64_t fordblks = 0;
	uint64_t keepcost = 0;
};
mem_allocator_info mem_allocator_stats();
// The report's "Total Used Space": held less free. The allocator may count less held
// than free in its own bookkeeping; then the figure is 0, never a wrapped-round one.
uint64_t mem_used_space(const mem_allocator_info& a);

// A pool of 32,768-byte blocks with byte counts. Offered to the framework; the
// installer creates none. Only construction, destruction and dump() are defined.
class UTL_lazy_mempool {
public:
	static constexpr std::size_t block_size = 32768;

	UTL_lazy_mempool() = default;
	~UTL_lazy_mempool();
	UTL_lazy_mempool(const UTL_lazy_mempool&) = delete;
	UTL_lazy_mempool& operator=(const UTL_lazy_mempool&) = delete;

	// Writes the byte counts to the log.
	void dump();

	unsigned int total_allocated = 0;
	unsigned int wasted = 0;
	void* blocks = nullptr;  // blocks from heap_malloc, linked through each block's first word
	void* spare = nullptr;
	unsigned int ready = 0;

	// Bytes held by all pools; the statistic g_memory_used ("memory/lazy_pools").
	static float global_total;
};
class UTL_stat;
extern UTL_stat g_memory_used;
