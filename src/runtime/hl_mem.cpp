#include "runtime/hl_mem.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <mutex>
#include <string>

#include "runtime/UTL_stat.h"
#include "runtime/hl_debug.h"
#include "runtime/hl_globals.h"
#include "runtime/own_file.h"

#if KX_USE_MIMALLOC
#include <mimalloc.h>
#endif

// ---------------------------------------------------------------------------
// The allocator and the global operators

void* heap_malloc(std::size_t size) noexcept
{
#if KX_USE_MIMALLOC
	return mi_malloc(size);
#else
	return std::malloc(size);
#endif
}

void heap_free(void* p) noexcept
{
#if KX_USE_MIMALLOC
	mi_free(p);
#else
	std::free(p);
#endif
}

namespace {

// Asks the new-handler for room until the allocator gives the block or there is no
// handler left; then the throwing forms throw and the others return null.
void* throwing_allocation(std::size_t size)
{
	if (size == 0) size = 1;
	for (;;) {
		if (void* p = heap_malloc(size)) return p;
		std::new_handler h = std::get_new_handler();
		if (!h) throw std::bad_alloc();
		h();
	}
}

void* nothrow_allocation(std::size_t size) noexcept
{
	if (size == 0) size = 1;
	for (;;) {
		if (void* p = heap_malloc(size)) return p;
		std::new_handler h = std::get_new_handler();
		if (!h) return nullptr;
		// A new-handler reports failure with std::bad_alloc (or another standard
		// exception); that ends the attempt. A thread being ended unwinds through here
		// untouched and ends at this noexcept boundary.
		try {
			h();
		} catch (const std::exception&) {
			return nullptr;
		}
	}
}

}  // namespace

void* operator new(std::size_t size, const char*, int) { return throwing_allocation(size); }
void* operator new[](std::size_t size, const char* tag, int line) { return operator new(size, tag, line); }
void* operator new(std::size_t size, const std::nothrow_t&, const char*, int) noexcept
{
	return nothrow_allocation(size);
}
void* operator new[](std::size_t size, const std::nothrow_t& nt, const char* tag, int line) noexcept
{
	return operator new(size, nt, tag, line);
}

void* operator new(std::size_t size) { return operator new(size, "anonymous new", 0); }
void* operator new[](std::size_t size) { return operator new(size, "anonymous new[]", 0); }
void* operator new(std::size_t size, const std::nothrow_t& nt) noexcept
{
	return operator new(size, nt, "anonymous new-nt", 0);
}
void* operator new[](std::size_t size, const std::nothrow_t& nt) noexcept
{
	return operator new(size, nt, "anonymous new-nt[]", 0);
}

void operator delete(void* p) noexcept
{
	if (p) heap_free(p);
}
void operator delete[](void* p) noexcept
{
	if (p) heap_free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept
{
	if (p) heap_free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept
{
	if (p) heap_free(p);
}
// The compiler calls the sized forms for objects of known size.
void operator delete(void* p, std::size_t) noexcept
{
	if (p) heap_free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
	if (p) heap_free(p);
}
void operator delete(void* p, const char*, int) noexcept
{
	if (p) heap_free(p);
}
void operator delete[](void* p, const char*, int) noexcept
{
	if (p) heap_free(p);
}
void operator delete(void* p, const std::nothrow_t&, const char*, int) noexcept
{
	if (p) heap_free(p);
}
void operator delete[](void* p, const std::nothrow_t&, const char*, int) noexcept
{
	if (p) heap_free(p);
}

// ---------------------------------------------------------------------------
// The memory report

uint64_t mem_to_number(uint64_t bytes)
{
	if (bytes > 15032385536ull) return bytes >> 30;
	if (static_cast<double>(bytes) > 1468006.4) return bytes >> 20;
	if (static_cast<double>(bytes) > 1433.6) return bytes >> 10;
	return bytes;
}

char mem_to_suffix(uint64_t bytes)
{
	if (bytes > 15032385536ull) return 'G';
	if (static_cast<double>(bytes) > 1468006.4) return 'M';
	if (static_cast<double>(bytes) > 1433.6) return 'K';
	return 'B';
}

const char* sm_string(int mode)
{
	switch (mode) {
	case 1: return "Copy-on-write";
	case 2: return "Private";
	case 3: return "Empty";
	case 4: return "Shared";
	case 5: return "True-Shared";
	case 6: return "Private-Aliased";
	case 7: return "Shared-Aliased";
	default: return "Unknown";
	}
}

namespace {

// Number and unit of one figure. The number is 64 bits wide: the gap above the
// user address space alone is some 16 million terabytes.
#define MEM_FIG(x) static_cast<unsigned long long>(mem_to_number(x)), mem_to_suffix(x)

// The region's name: the file of the loaded image that holds its start.
std::string region_name(uintptr_t start)
{
	// The name is copied while no stack dump is reporting images to its reader.
	std::lock_guard<std::mutex> hold(UTL_image_lookup_lock());
	Dl_info dl;
	if (::dladdr(reinterpret_cast<void*>(start), &dl) == 0) return "";
	if (!dl.dli_fname || !dl.dli_fname[0]) return "null";
	const char* slash = std::strrchr(dl.dli_fname, '/');
	return slash ? slash + 1 : dl.dli_fname;
}

// One report line: its text up to the figure, the figure by the unit rule ("% 5u%c"),
// and the text after it.
struct figure_line {
	const char* head;
	uint64_t bytes;
	const char* tail;
};

void write_figures(FILE* f, std::initializer_list<figure_line> lines)
{
	for (const figure_line& l : lines) std::fprintf(f, "%s%5llu%c%s", l.head, MEM_FIG(l.bytes), l.tail);
}

void write_report(FILE* f, const char* reason)
{
	const uint64_t page = plat_page_size();
	plat_task_info task;
	plat_task_sizes(&task);
	plat_vm_info vm;
	plat_vm_stats(&vm);
	const uint64_t swap_page = vm.swap_page_size;

	std::fprintf(f, "dump_mem_stats: %s\n", reason);
	std::fprintf(f, "OS X Info:\n");
	write_figures(f, {
	    {"    Page size:        ", page, "      This is the size of one virtual memory page.\n"},
	    {"    Vsize (reported): ", task.virtual_size,
	     "      This is the total virtual address space used by Kestrix (including empty regions).\n"},
	    {"    Rsize:            ", task.resident_size,
	     "      This is the total amount of real RAM used by Kestrix (virtual pages resident in RAM).\n"},
	    {"    Free pages:       ", vm.free_pages * page, "      This is the total free RAM on the machine.\n"},
	    {"    Active Pages:     ", vm.active_pages * page,
	     "      This is the total actively used RAM among all apps - it probably can't be paged out without "
	     "causing huge performance problems.\n"},
	    {"    Inactive Pages:   ", vm.inactive_pages * page,
	     "      This is the total inactive RAM from all apps - pages that is elligible to be paged out since it "
	     "hasn't been used recently.\n"},
	    {"    Wired Pages:      ", vm.wired_pages * page,
	     "      This is the total wired RAM - pages that are 'wired down' and cannot ever be paged out.\n"},
	    {"    Total Swap Pages: ", vm.swap_total_pages * swap_page, "\n"},
	    {"    Avail Swap Pages: ", vm.swap_avail_pages * swap_page, "\n"},
	    {"    Used  Swap Pages: ", vm.swap_used_pages * swap_page, "\n"},
	});

	std::fprintf(f, "    I will now print the entire map of virtual memory.\n");
	std::fprintf(f, "        Address           Size    r-private r-shared sharing-mode (ref count)\n");
	std::vector<plat_vm_region> regions;
	plat_read_vm_regions(regions);
	mem_map_totals t;
	dump_mem_map(f, regions, &t);
	write_figures(f, {
	    {"    Total vsize:     ", t.total_vsize,
	     "      This is the total non-empty virtual address space used by Kestrix.\n"},
	    {"    Total rsize:     ", t.total_rsize,
	     "      This is the total amount of real memory used by Kestrix (shared and exclusive).\n"},
	    {"    Shared rsize:    ", t.shared_rsize,
	     "      This is the total amonut of real memory used by Kestrix that is shared with other processes.\n"},
	    {"    Private rsize:   ", t.private_rsize,
	     "      This is the total amount of real memory used by Kestrix exclusively (private).\n"},
	    {"    Largest free:    ", t.largest_free, "      This is the largest empty region in Kestrix's address space.\n"},
	    {"    Total free:      ", t.total_free,
	     "      This is the size of all empty regions in Kestrix's address space.\n"},
	    {"    Largest gap:     ", t.largest_gap,
	     "      This is the size of the largest unused gap in Kestrix's address space.\n"},
	    {"    Total gap:       ", t.total_gap,
	     "      This is the size of all of the gaps in Kestrix's address space - that is, total unused address "
	     "space.\n"},
	});

	const mem_allocator_info a = mem_allocator_stats();
	const uint64_t used = mem_used_space(a);
	std::fprintf(f, "NED-MALLOC INFO:\n");
	std::fprintf(f, "    This version of Kestrix is using the NED allocator.\n");
	write_figures(f, {{"    Arena:             ", a.arena,
	                   "     This is the space NED is using that was not created using mmap.\n"}});
	std::fprintf(f, "    Free Chunks:       %5llu       \n", static_cast<unsigned long long>(a.ordblks));
	write_figures(f, {
	    {"    Mapped Space:      ", a.hblkhd, "     This is the space NED has allocated for use via mmap.\n"},
	    {"    Max Alloc Space:   ", a.usmblks, "     This is the most space NED ever had reserved from any source.\n"},
	    {"    Total Alloc Space: ", a.uordblks,
	     "     This is the current space NED has reserved now from any source.\n"},
	    {"    Total Free Space:  ", a.fordblks, "     This is how much free space NED has in its reserves.\n"},
	    {"    Total Used Space:  ", used, "     This is how much space Kestrix has allocated fmor NED.\n"},
	    {"    Releasable Space:  ", a.keepcost,
	     "     This is how much space NED could give back to the OS if desired.\n"},
	});
}

}  // namespace

void dump_mem_map(FILE* f, const std::vector<plat_vm_region>& regions, mem_map_totals* t)
{
	*t = mem_map_totals{};
	uint64_t prev_end = 0;
	for (const plat_vm_region& r : regions) {
		const uint64_t start = r.start;
		if (start > prev_end) {
			const uint64_t gap = start - prev_end;
			std::fprintf(f, "        0x%016" PRIX64 "      %5llu%c               --------\n", prev_end, MEM_FIG(gap));
			if (gap > t->largest_gap) t->largest_gap = gap;
			t->total_gap += gap;
		}
		const std::string name = region_name(r.start);
		std::fprintf(f, "        0x%016" PRIX64 "      %5llu%c       %5llu%c %5llu%c   %20s (% 3d)       %s\n", start,
		             MEM_FIG(r.size), MEM_FIG(r.private_resident), MEM_FIG(r.shared_resident),
		             sm_string(r.share_mode), r.ref_count, name.c_str());
		if (r.share_mode != plat_sm_empty) t->total_vsize += r.size;
		t->private_rsize += r.private_resident;
		t->shared_rsize += r.shared_resident;
		t->total_rsize += r.private_resident + r.shared_resident;
		if (r.share_mode == plat_sm_empty) {
			t->total_free += r.size;
			if (r.size > t->largest_free) t->largest_free = r.size;
		}
		prev_end = start + r.size;
	}
}

uint64_t mem_used_space(const mem_allocator_info& a) { return a.uordblks > a.fordblks ? a.uordblks - a.fordblks : 0; }

mem_allocator_info mem_allocator_stats()
{
	mem_allocator_info a;
#if KX_USE_MIMALLOC
	// mimalloc takes all of its memory through mmap and keeps no free-chunk list or
	// per-block totals in a release build; what it does count is the memory it has
	// committed, now and at the peak.
	size_t elapsed = 0, user = 0, sys = 0, rss = 0, peak_rss = 0, commit = 0, peak_commit = 0, faults = 0;
	mi_process_info(&elapsed, &user, &sys, &rss, &peak_rss, &commit, &peak_commit, &faults);
	a.hblkhd = commit;
	a.usmblks = peak_commit;
	a.uordblks = commit;
#else
	const struct mallinfo2 m = ::mallinfo2();
	a.arena = m.arena;
	a.ordblks = m.ordblks;
	a.hblkhd = m.hblkhd;
	a.usmblks = m.usmblks;
	a.uordblks = m.uordblks;
	a.fordblks = m.fordblks;
	a.keepcost = m.keepcost;
#endif
	return a;
}

namespace {
// How every report begins; an older file that begins so is an earlier report.
constexpr char kReportStart[] = "dump_mem_stats: ";

// The report file, opened for this report. The file lies in the working folder, which is
// wherever the user keeps the program: the first report of the process replaces an older
// report (or an empty file) only, never a file of the user's that bears the name, and
// nothing is written through a link. Null sends the report to standard output; once the
// first report went there, every later one does too.
FILE* open_report(const std::string& path, bool first, bool& ours)
{
	if (!first && !ours) return nullptr;
	const int fd = own_file_open(path, O_RDWR | O_CREAT | (first ? 0 : O_APPEND));
	if (fd < 0) return nullptr;
	struct stat st;
	bool usable = fstat(fd, &st) == 0;
	if (usable && first && st.st_size > 0) {
		char head[sizeof kReportStart - 1];
		usable = ::pread(fd, head, sizeof head, 0) == ssize_t(sizeof head) &&
		         std::memcmp(head, kReportStart, sizeof head) == 0 && ::ftruncate(fd, 0) == 0;
	}
	FILE* f = usable ? ::fdopen(fd, first ? "w" : "a") : nullptr;
	if (!f) ::close(fd);
	if (first) ours = f != nullptr;
	return f;
}
}  // namespace

void dump_mem_stats(const char* reason)
{
	// Only the first report of the process starts a new file. Reports are written one
	// at a time, so that two threads' reports neither mix nor truncate each other.
	static int first_dump = 1;
	static bool file_is_ours = false;
	static std::mutex report_lock;
	if (!reason) reason = "";
	xer << "OK check MemoryLog.txt! I just sent him a dump from " << reason << "\n";
	const std::string path = app_path + "MemoryLog.txt";
	std::lock_guard<std::mutex> hold(report_lock);
	const bool first = first_dump != 0;
	first_dump = 0;
	FILE* f = open_report(path, first, file_is_ours);
	write_report(f ? f : stdout, reason);
	if (f)
		std::fclose(f);
	else
		std::fflush(stdout);
}

void DumpMemCmd() { dump_mem_stats("Remote Commanded Dump"); }

// A memory report on demand, from the debug command list.
UTL_remote_cmd dump_mem_now("Dump Memory Info", DumpMemCmd);

// ---------------------------------------------------------------------------
// The block pool

float UTL_lazy_mempool::global_total = 0.0f;
// What all pools hold, as a memory figure among the statistics.
UTL_stat g_memory_used(&UTL_lazy_mempool::global_total, "memory/lazy_pools", stat_memory);

UTL_lazy_mempool::~UTL_lazy_mempool()
{
	while (blocks) {
		void* block = blocks;
		blocks = *static_cast<void**>(block);
		heap_free(block);
		global_total -= static_cast<float>(block_size);
	}
}

void UTL_lazy_mempool::dump()
{
	xer << "Total memory allocated: " << total_allocated << "\n";
	xer << "Total wasted memory: " << wasted << "\n";
	xer << "Total ready memory: " << ready << "\n";
}
