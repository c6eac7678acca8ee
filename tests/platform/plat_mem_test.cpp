#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/plat_mem.h"
#include "support/test_env.h"

namespace {

struct RefRegion {
	uintptr_t start, end;
	bool r, w;
};

// The address map read the plain way, to hold the allocation-free reader against. The
// text is read whole into room made beforehand: allocating while reading can map new
// heap regions (the sanitizer's allocator does) and change the lines still to come.
std::vector<RefRegion> reference_map()
{
	std::vector<RefRegion> out;
	out.reserve(4096);
	std::string text(1 << 22, '\0');
	size_t have = 0;
	int fd = open("/proc/self/maps", O_RDONLY);
	for (ssize_t n; fd >= 0 && have < text.size() && (n = read(fd, &text[have], text.size() - have)) > 0;)
		have += static_cast<size_t>(n);
	if (fd >= 0) close(fd);
	// Parsed in place, without allocating either.
	for (const char* p = text.data(); p < text.data() + have;) {
		RefRegion r{};
		char* q = nullptr;
		r.start = std::strtoull(p, &q, 16);
		r.end = std::strtoull(q + 1, &q, 16);
		r.r = q[1] == 'r';
		r.w = q[2] == 'w';
		out.push_back(r);
		const char* nl = static_cast<const char*>(std::memchr(q, '\n', text.data() + have - q));
		p = nl ? nl + 1 : text.data() + have;
	}
	return out;
}

}  // namespace

TEST(PlatMemParse, Statm)
{
	plat_task_info t;
	ASSERT_TRUE(plat_parse_statm("2000 300 100 5 0 400 0\n", 4096, &t));
	EXPECT_EQ(t.virtual_size, 2000u * 4096);
	EXPECT_EQ(t.resident_size, 300u * 4096);
	EXPECT_FALSE(plat_parse_statm("", 4096, &t));
	EXPECT_FALSE(plat_parse_statm("12", 4096, &t));
	EXPECT_EQ(t.virtual_size, 0u);
}

TEST(PlatMemParse, Meminfo)
{
	const char* text =
	    "MemTotal:       32000000 kB\n"
	    "MemFree:         8192 kB\n"
	    "Active:          4096 kB\n"
	    "Active(anon):    1000 kB\n"
	    "Inactive:        40960 kB\n"
	    "Unevictable:       16 kB\n"
	    "SwapTotal:       1024 kB\n"
	    "SwapFree:         256 kB\n"
	    "HugePages_Total:      7\n";
	plat_vm_info v;
	ASSERT_TRUE(plat_parse_meminfo(text, 4096, &v));
	EXPECT_EQ(v.free_pages, 2048u);
	EXPECT_EQ(v.active_pages, 1024u);  // "Active(anon)" is another field
	EXPECT_EQ(v.inactive_pages, 10240u);
	EXPECT_EQ(v.wired_pages, 4u);
	EXPECT_EQ(v.swap_total_pages, 256u);
	EXPECT_EQ(v.swap_avail_pages, 64u);
	EXPECT_EQ(v.swap_used_pages, 192u);
	EXPECT_EQ(v.swap_page_size, 4096u);

	// Swap that reports more free than total must not wrap the used count.
	ASSERT_TRUE(plat_parse_meminfo("SwapTotal: 4 kB\nSwapFree: 8 kB", 4096, &v));
	EXPECT_EQ(v.swap_used_pages, 0u);
	EXPECT_FALSE(plat_parse_meminfo("garbage without fields", 4096, &v));
	EXPECT_EQ(v.free_pages, 0u);
}

TEST(PlatMemParse, SmapsShareModes)
{
	const char* text =
	    "00400000-00402000 r-xp 00000000 08:01 123                          /usr/bin/prog\n"
	    "Size:                  8 kB\n"
	    "Rss:                   8 kB\n"
	    "Pss:                   2 kB\n"
	    "Shared_Clean:          8 kB\n"
	    "Shared_Dirty:          0 kB\n"
	    "Private_Clean:         0 kB\n"
	    "Private_Dirty:         0 kB\n"
	    "VmFlags: rd ex mr mw me dw\n"
	    "00602000-00604000 rw-p 00000000 00:00 0                            [heap]\n"
	    "Rss:                   8 kB\n"
	    "Pss:                   8 kB\n"
	    "Private_Clean:         4 kB\n"
	    "Private_Dirty:         4 kB\n"
	    "7f0000000000-7f0000100000 ---p 00000000 00:00 0\n"
	    "Rss:                   0 kB\n"
	    "7f0000100000-7f0000101000 rw-s 00000000 00:05 77                   /dev/shm/x\n"
	    "Rss:                   4 kB\n"
	    "Pss:                   1 kB\n"
	    "Shared_Dirty:          4 kB\n"
	    "7f0000101000-7f0000102000 rw-s 00000000 00:05 78                   /dev/shm/y\n"
	    "Rss:                   4 kB\n"
	    "Pss:                   4 kB\n"
	    "Private_Dirty:         4 kB\n"
	    "ffffffffff600000-ffffffffff601000 --xp 00000000 00:00 0            [vsyscall]\n";
	std::vector<plat_vm_region> r;
	plat_parse_smaps(text, r);
	ASSERT_EQ(r.size(), 6u);
	EXPECT_EQ(r[0].start, 0x400000u);
	EXPECT_EQ(r[0].size, 0x2000u);
	EXPECT_EQ(r[0].share_mode, plat_sm_cow);
	EXPECT_EQ(r[0].ref_count, 4);
	EXPECT_EQ(r[0].shared_resident, 8192u);
	EXPECT_EQ(r[0].private_resident, 0u);
	EXPECT_EQ(r[1].share_mode, plat_sm_private);
	EXPECT_EQ(r[1].ref_count, 1);
	EXPECT_EQ(r[1].private_resident, 8192u);
	EXPECT_EQ(r[2].share_mode, plat_sm_empty);
	EXPECT_EQ(r[2].ref_count, 0);
	EXPECT_EQ(r[2].size, 0x100000u);
	EXPECT_EQ(r[3].share_mode, plat_sm_true_shared);
	EXPECT_EQ(r[3].ref_count, 4);
	EXPECT_EQ(r[4].share_mode, plat_sm_shared);
	EXPECT_EQ(r[5].start, 0xffffffffff600000u);
	EXPECT_EQ(r[5].share_mode, plat_sm_empty);

	// Damaged text gives what can be read, never a crash.
	plat_parse_smaps("zzzz-0000 r\nRss: 4 kB\n00001000-00000000 r-xp\n0-1\n", r);
	EXPECT_TRUE(r.empty());
}

TEST(PlatMemParse, RegionReaderSkipsTheTailOfLongLines)
{
	// A path may hold anything, even text that looks like a map line; the reader takes
	// its fields from the head of each line only. The fake heads sit where the reader's
	// 4 KB buffer splits the long line.
	std::string longline = "3000-4000 rw-p 00000000 00:00 0   /";
	longline += std::string(4096 - longline.size(), 'd');
	longline += "0-ffffffff rw-p x";
	longline += std::string(8192 - longline.size(), 'e');
	longline += "0-ffffffff rw-p y";
	longline += std::string(600, 'f');
	const std::string map = "1000-2000 r--p 00000000 00:00 0\n" + longline + "\n5000-6000 r-xp 0 0:0 0\n7000-8000 rw-p";
	kx_test::TempEnv env;
	ASSERT_TRUE(kx_test::write_file(env.path("maps"), map));
	struct Case {
		uintptr_t addr, start, size;
		bool r, w;
	} cases[] = {
	    {0x0, 0x1000, 0x1000, true, false},      {0x1fff, 0x1000, 0x1000, true, false},
	    {0x2000, 0x3000, 0x1000, true, true},    {0x3800, 0x3000, 0x1000, true, true},
	    {0x4800, 0x5000, 0x1000, true, false},   {0x7fff, 0x7000, 0x1000, true, true},
	};
	for (const Case& c : cases) {
		int fd = open(env.path("maps").c_str(), O_RDONLY);
		ASSERT_GE(fd, 0);
		plat_map_region got;
		ASSERT_TRUE(plat_region_at_or_above_in(fd, c.addr, &got)) << std::hex << c.addr;
		close(fd);
		EXPECT_EQ(got.start, c.start) << std::hex << c.addr;
		EXPECT_EQ(got.size, c.size) << std::hex << c.addr;
		EXPECT_EQ(got.readable, c.r);
		EXPECT_EQ(got.writable, c.w);
	}
	int fd = open(env.path("maps").c_str(), O_RDONLY);
	plat_map_region got;
	EXPECT_FALSE(plat_region_at_or_above_in(fd, 0x8000, &got));
	close(fd);
}

TEST(PlatMemLive, OwnFigures)
{
	const uint64_t page = plat_page_size();
	EXPECT_GE(page, 4096u);
	EXPECT_EQ(page & (page - 1), 0u);

	plat_task_info t;
	ASSERT_TRUE(plat_task_sizes(&t));
	EXPECT_GT(t.resident_size, 0u);
	EXPECT_GE(t.virtual_size, t.resident_size);

	plat_vm_info v;
	ASSERT_TRUE(plat_vm_stats(&v));
	EXPECT_GT(v.free_pages + v.active_pages + v.inactive_pages, 0u);
	EXPECT_EQ(v.swap_used_pages + v.swap_avail_pages, v.swap_total_pages);

	std::vector<plat_vm_region> regions;
	ASSERT_TRUE(plat_read_vm_regions(regions));
	for (size_t i = 1; i < regions.size(); ++i)
		EXPECT_GE(regions[i].start, regions[i - 1].start + regions[i - 1].size);
	// The region holding this code is resident.
	const uintptr_t code = reinterpret_cast<uintptr_t>(&reference_map);
	bool found = false;
	for (const plat_vm_region& r : regions)
		if (r.start <= code && code - r.start < r.size) {
			found = true;
			EXPECT_NE(r.share_mode, plat_sm_empty);
			EXPECT_GE(r.ref_count, 1);
		}
	EXPECT_TRUE(found);
}

TEST(PlatMemLive, RegionAtOrAboveMatchesTheMapEvenPastLongLines)
{
	// A mapped file whose path makes its map line longer than the reader's buffer.
	kx_test::TempEnv env;
	std::string dir = env.root();
	while (dir.size() < 4060) {
		dir += std::string(std::min<size_t>(200, 4060 - dir.size()), 'd') + "/";
		ASSERT_EQ(mkdir(dir.c_str(), 0700), 0) << dir.size();
	}
	const std::string file = dir + "mapped.bin";
	// The address range, mode, offset, device and inode come before the path.
	ASSERT_GT(file.size() + 50, 4096u);
	ASSERT_TRUE(kx_test::write_file(file, std::string(8192, 'x')));
	int fd = open(file.c_str(), O_RDONLY);
	ASSERT_GE(fd, 0);
	void* m = mmap(nullptr, 8192, PROT_READ, MAP_PRIVATE, fd, 0);
	close(fd);
	ASSERT_NE(m, MAP_FAILED);

	const std::vector<RefRegion> ref = reference_map();
	bool saw_long = false;
	for (const RefRegion& r : ref) {
		if (r.start == reinterpret_cast<uintptr_t>(m)) saw_long = true;
		for (uintptr_t a : {r.start, r.end - 1, r.start > 0 ? r.start - 1 : 0}) {
			plat_map_region got;
			ASSERT_TRUE(plat_region_at_or_above(a, &got)) << std::hex << a;
			// The first region of the reference map that ends above a.
			const RefRegion* want = nullptr;
			for (const RefRegion& q : ref)
				if (q.end > a) {
					want = &q;
					break;
				}
			ASSERT_NE(want, nullptr);
			// Nothing in this loop allocates, so the map stays as it was read.
			EXPECT_EQ(got.start, want->start) << std::hex << a;
			EXPECT_EQ(got.start + got.size, want->end) << std::hex << a;
			EXPECT_EQ(got.readable, want->r);
			EXPECT_EQ(got.writable, want->w);
		}
	}
	EXPECT_TRUE(saw_long);
	plat_map_region last;
	EXPECT_FALSE(plat_region_at_or_above(~uintptr_t{0}, &last));
	munmap(m, 8192);
}
