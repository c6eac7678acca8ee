#pragma once
// What the kernel knows about our memory: the task's sizes, the machine's page and
// swap counts, the regions of our address space with their resident pages, and the
// mapping (with its access) that holds an address. All of it comes from /proc.
#include <cstdint>
#include <string_view>
#include <vector>

// Size of one virtual-memory page.
uint64_t plat_page_size();

// The task's virtual and resident size in bytes (/proc/self/statm). False, with both
// 0, when the kernel cannot tell.
struct plat_task_info {
	uint64_t virtual_size = 0;
	uint64_t resident_size = 0;
};
bool plat_task_sizes(plat_task_info* out);
bool plat_parse_statm(std::string_view text, uint64_t page_size, plat_task_info* out);

// Machine-wide page counts (/proc/meminfo), each in pages of plat_page_size(). "Wired"
// is the kernel's unevictable memory: pages that can never be paged out.
struct plat_vm_info {
	uint64_t free_pages = 0;
	uint64_t active_pages = 0;
	uint64_t inactive_pages = 0;
	uint64_t wired_pages = 0;
	uint64_t swap_total_pages = 0;
	uint64_t swap_avail_pages = 0;
	uint64_t swap_used_pages = 0;
	uint64_t swap_page_size = 0;
};
bool plat_vm_stats(plat_vm_info* out);
// Parses meminfo text; fields it lacks stay 0. False when none of them was found.
bool plat_parse_meminfo(std::string_view text, uint64_t page_size, plat_vm_info* out);

// Share modes of a region, numbered as the memory report's table numbers them.
enum plat_share_mode {
	plat_sm_cow = 1,             // private mapping whose resident pages are still shared
	plat_sm_private = 2,         // private mapping, every resident page our own
	plat_sm_empty = 3,           // nothing resident
	plat_sm_shared = 4,          // shared mapping whose pages nobody else holds
	plat_sm_true_shared = 5,     // shared mapping whose pages another process holds too
	plat_sm_private_aliased = 6, // never produced here
	plat_sm_shared_aliased = 7   // never produced here
};

// One region of our address space (/proc/self/smaps). ref_count is how many
// mappings hold its resident pages on average (resident over proportional size); 0
// for an empty region.
struct plat_vm_region {
	uintptr_t start = 0;
	uint64_t size = 0;
	int share_mode = plat_sm_empty;
	int ref_count = 0;
	uint64_t private_resident = 0;  // bytes
	uint64_t shared_resident = 0;   // bytes
};
// The whole address space, lowest region first. False when /proc cannot be read.
bool plat_read_vm_regions(std::vector<plat_vm_region>& out);
void plat_parse_smaps(std::string_view text, std::vector<plat_vm_region>& out);

// The mapping that holds addr, or else the next one above it. Allocates nothing, so
// a stack walk on a damaged heap may use it. False when no mapping ends above addr or
// the map cannot be read.
struct plat_map_region {
	uintptr_t start = 0;
	uint64_t size = 0;
	bool readable = false;
	bool writable = false;
};
bool plat_region_at_or_above(uintptr_t addr, plat_map_region* out);
// The same over a map in that format read from fd (left open).
bool plat_region_at_or_above_in(int fd, uintptr_t addr, plat_map_region* out);
