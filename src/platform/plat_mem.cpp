#include "platform/plat_mem.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <string>

namespace {

// /proc files report a size of 0, so they are read until the end, not by their size.
bool read_proc_file(const char* path, std::string& out)
{
	out.clear();
	int fd = ::open(path, O_RDONLY | O_CLOEXEC);
	if (fd < 0) return false;
	char buf[8192];
	bool ok = true;
	for (;;) {
		ssize_t n = ::read(fd, buf, sizeof buf);
		if (n < 0) {
			if (errno == EINTR) continue;
			ok = false;
			break;
		}
		if (n == 0) break;
		out.append(buf, static_cast<size_t>(n));
	}
	::close(fd);
	return ok;
}

bool is_hex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

int hex_value(char c)
{
	if (c >= '0' && c <= '9') return c - '0';
	if (c >= 'a' && c <= 'f') return c - 'a' + 10;
	return c - 'A' + 10;
}

// Reads a hexadecimal number at s[*pos]; false when there is none or it overflows.
bool take_hex(std::string_view s, size_t* pos, uint64_t* v)
{
	size_t i = *pos;
	uint64_t r = 0;
	while (i < s.size() && is_hex(s[i])) {
		if (r >> 60) return false;
		r = (r << 4) | static_cast<uint64_t>(hex_value(s[i]));
		++i;
	}
	if (i == *pos) return false;
	*pos = i;
	*v = r;
	return true;
}

uint64_t take_dec(std::string_view s, size_t* pos)
{
	size_t i = *pos;
	while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
	uint64_t r = 0;
	while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
		uint64_t d = static_cast<uint64_t>(s[i] - '0');
		r = (r > (UINT64_MAX - d) / 10) ? UINT64_MAX : r * 10 + d;
		++i;
	}
	*pos = i;
	return r;
}

// The head of one maps/smaps line: "start-end perms ...". perms gets the four mode
// letters.
bool parse_map_head(std::string_view line, uint64_t* start, uint64_t* end, char perms[4])
{
	size_t pos = 0;
	if (!take_hex(line, &pos, start)) return false;
	if (pos >= line.size() || line[pos] != '-') return false;
	++pos;
	if (!take_hex(line, &pos, end)) return false;
	if (pos + 5 > line.size() || line[pos] != ' ') return false;
	std::memcpy(perms, line.data() + pos + 1, 4);
	return *end >= *start;
}

// One "Name:   123 kB" field line; false when the line is not such a field.
bool parse_kb_field(std::string_view line, std::string_view* name, uint64_t* bytes)
{
	size_t colon = line.find(':');
	if (colon == std::string_view::npos || colon == 0) return false;
	*name = line.substr(0, colon);
	size_t pos = colon + 1;
	uint64_t v = take_dec(line, &pos);
	*bytes = (line.substr(pos).find("kB") != std::string_view::npos) ? v * 1024 : v;
	return true;
}

template <class F>
void for_each_line(std::string_view text, F f)
{
	while (!text.empty()) {
		size_t nl = text.find('\n');
		std::string_view line = text.substr(0, nl);
		f(line);
		if (nl == std::string_view::npos) break;
		text.remove_prefix(nl + 1);
	}
}

struct smaps_counts {
	uint64_t rss = 0, pss = 0, shared = 0, priv = 0;
	bool shared_mapping = false;
};

void finish_region(plat_vm_region& r, const smaps_counts& c)
{
	r.private_resident = c.priv;
	r.shared_resident = c.shared;
	if (c.rss == 0) {
		r.share_mode = plat_sm_empty;
		r.ref_count = 0;
		return;
	}
	if (c.shared_mapping)
		r.share_mode = c.shared ? plat_sm_true_shared : plat_sm_shared;
	else
		r.share_mode = c.shared ? plat_sm_cow : plat_sm_private;
	// Proportional size divides each page by the number of mappings holding it, so
	// resident over proportional is the average holder count.
	long refs = c.pss ? std::lround(static_cast<double>(c.rss) / static_cast<double>(c.pss)) : 1;
	r.ref_count = refs < 1 ? 1 : (refs > 9999 ? 9999 : static_cast<int>(refs));
}

}  // namespace

uint64_t plat_page_size()
{
	long p = ::sysconf(_SC_PAGESIZE);
	return p > 0 ? static_cast<uint64_t>(p) : 4096;
}

bool plat_parse_statm(std::string_view text, uint64_t page_size, plat_task_info* out)
{
	*out = plat_task_info{};
	size_t pos = 0;
	uint64_t size = take_dec(text, &pos);
	size_t after_size = pos;
	uint64_t resident = take_dec(text, &pos);
	if (after_size == 0 || pos == after_size) return false;
	out->virtual_size = size * page_size;
	out->resident_size = resident * page_size;
	return true;
}

bool plat_task_sizes(plat_task_info* out)
{
	std::string text;
	*out = plat_task_info{};
	if (!read_proc_file("/proc/self/statm", text)) return false;
	return plat_parse_statm(text, plat_page_size(), out);
}

bool plat_parse_meminfo(std::string_view text, uint64_t page_size, plat_vm_info* out)
{
	*out = plat_vm_info{};
	if (page_size == 0) page_size = 4096;
	uint64_t swap_total = 0, swap_free = 0;
	bool any = false;
	for_each_line(text, [&](std::string_view line) {
		std::string_view name;
		uint64_t bytes = 0;
		if (!parse_kb_field(line, &name, &bytes)) return;
		uint64_t pages = bytes / page_size;
		if (name == "MemFree") out->free_pages = pages;
		else if (name == "Active") out->active_pages = pages;
		else if (name == "Inactive") out->inactive_pages = pages;
		else if (name == "Unevictable") out->wired_pages = pages;
		else if (name == "SwapTotal") swap_total = pages;
		else if (name == "SwapFree") swap_free = pages;
		else return;
		any = true;
	});
	out->swap_total_pages = swap_total;
	out->swap_avail_pages = swap_free;
	out->swap_used_pages = swap_total > swap_free ? swap_total - swap_free : 0;
	out->swap_page_size = page_size;
	return any;
}

bool plat_vm_stats(plat_vm_info* out)
{
	std::string text;
	if (!read_proc_file("/proc/meminfo", text)) {
		*out = plat_vm_info{};
		return false;
	}
	return plat_parse_meminfo(text, plat_page_size(), out);
}

void plat_parse_smaps(std::string_view text, std::vector<plat_vm_region>& out)
{
	out.clear();
	bool open = false;
	plat_vm_region cur;
	smaps_counts counts;
	for_each_line(text, [&](std::string_view line) {
		uint64_t start = 0, end = 0;
		char perms[4];
		if (parse_map_head(line, &start, &end, perms)) {
			if (open) {
				finish_region(cur, counts);
				out.push_back(cur);
			}
			cur = plat_vm_region{};
			cur.start = static_cast<uintptr_t>(start);
			cur.size = end - start;
			counts = smaps_counts{};
			counts.shared_mapping = perms[3] == 's';
			open = true;
			return;
		}
		std::string_view name;
		uint64_t bytes = 0;
		if (!open || !parse_kb_field(line, &name, &bytes)) return;
		if (name == "Rss") counts.rss = bytes;
		else if (name == "Pss") counts.pss = bytes;
		else if (name == "Shared_Clean" || name == "Shared_Dirty") counts.shared += bytes;
		else if (name == "Private_Clean" || name == "Private_Dirty") counts.priv += bytes;
	});
	if (open) {
		finish_region(cur, counts);
		out.push_back(cur);
	}
}

bool plat_read_vm_regions(std::vector<plat_vm_region>& out)
{
	std::string text;
	out.clear();
	if (!read_proc_file("/proc/self/smaps", text)) return false;
	plat_parse_smaps(text, out);
	return !out.empty();
}

bool plat_region_at_or_above(uintptr_t addr, plat_map_region* out)
{
	int fd = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
	if (fd < 0) return false;
	const bool found = plat_region_at_or_above_in(fd, addr, out);
	::close(fd);
	return found;
}

bool plat_region_at_or_above_in(int fd, uintptr_t addr, plat_map_region* out)
{
	// The list is sorted by address, so the first mapping that ends above addr is the
	// answer. Lines are taken from a fixed buffer; a line longer than the buffer (a very
	// long path) has its head read and its tail skipped.
	char buf[4096];
	size_t have = 0;
	bool skipping = false;
	bool found = false;
	auto consider = [&](std::string_view line) {
		uint64_t start = 0, end = 0;
		char perms[4];
		if (!parse_map_head(line, &start, &end, perms) || end <= addr) return false;
		out->start = static_cast<uintptr_t>(start);
		out->size = end - start;
		out->readable = perms[0] == 'r';
		out->writable = perms[1] == 'w';
		return true;
	};
	while (!found) {
		ssize_t n = ::read(fd, buf + have, sizeof buf - have);
		if (n < 0 && errno == EINTR) continue;
		if (n <= 0) break;
		have += static_cast<size_t>(n);
		size_t pos = 0;
		while (!found) {
			const char* nl = static_cast<const char*>(std::memchr(buf + pos, '\n', have - pos));
			if (!nl) break;
			size_t len = static_cast<size_t>(nl - (buf + pos));
			if (!skipping) found = consider(std::string_view(buf + pos, len));
			skipping = false;
			pos += len + 1;
		}
		if (found) break;
		std::memmove(buf, buf + pos, have - pos);
		have -= pos;
		if (have == sizeof buf) {
			found = !skipping && consider(std::string_view(buf, have));
			have = 0;
			skipping = true;
		}
	}
	if (!found && have && !skipping) found = consider(std::string_view(buf, have));
	return found;
}
