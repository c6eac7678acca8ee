#include "runtime/hl_debug.h"

#include <cxxabi.h>
#include <dlfcn.h>

#include <cinttypes>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/plat_mem.h"

namespace {

// Copies src into a fixed text, cutting it when it does not fit.
void copy_text(char (&dst)[1024], const char* src)
{
	if (!src) {
		dst[0] = 0;
		return;
	}
	size_t n = std::strlen(src);
	if (n >= sizeof dst) n = sizeof dst - 1;
	std::memcpy(dst, src, n);
	dst[n] = 0;
}

const char* last_component(const char* path)
{
	const char* r = path;
	for (const char* p = path; *p; ++p)
		if (*p == '/' || *p == '\\') r = p + 1;
	return r;
}

}  // namespace

void UTL_debug_init() { std::signal(SIGPIPE, SIG_IGN); }

int UTL_valid_memory(const void* addr, unsigned int len, int need_read, int need_write)
{
	const uintptr_t begin = reinterpret_cast<uintptr_t>(addr);
	if (len == 0) return 1;
	const uintptr_t end = begin + len;
	// A range that wraps cannot be mapped as a whole.
	if (end < begin) return 0;
	uintptr_t pos = begin;
	while (pos < end) {
		plat_map_region r;
		if (!plat_region_at_or_above(pos, &r) || r.start > pos) return 0;
		if ((need_read && !r.readable) || (need_write && !r.writable)) return 0;
		const uintptr_t next = r.start + r.size;
		if (next <= pos) return 0;
		pos = next;
	}
	return 1;
}

void dump_hex(FILE* file, const void* data, int len)
{
	if (len < 1) return;
	const unsigned char* p = static_cast<const unsigned char*>(data);
	const size_t n = static_cast<size_t>(len);
	for (size_t off = 0; off < n; off += 16) {
		char line[16 * 2 + 3 + 5 + 16 + 3 + 2 + 1];
		size_t k = 0;
		line[k++] = ' ';
		static const char digits[] = "0123456789ABCDEF";
		for (size_t i = 0; i < 16; ++i) {
			if (i && i % 4 == 0) line[k++] = ' ';
			if (off + i < n) {
				line[k++] = digits[p[off + i] >> 4];
				line[k++] = digits[p[off + i] & 15];
			} else {
				line[k++] = ' ';
				line[k++] = ' ';
			}
		}
		for (int i = 0; i < 5; ++i) line[k++] = ' ';
		for (size_t i = 0; i < 16; ++i) {
			if (i && i % 4 == 0) line[k++] = ' ';
			if (off + i < n) {
				const unsigned char c = p[off + i];
				line[k++] = (c >= 0x20 && c < 0x7f) ? static_cast<char>(c) : '.';
			} else
				line[k++] = ' ';
		}
		line[k++] = '\n';
		std::fwrite(line, 1, k, file);
	}
}

void UTL_get_debug_symbol(const void* addr, symbol_info* info)
{
	info->image_path[0] = 0;
	info->image_base = nullptr;
	info->symbol_name[0] = 0;
	info->symbol_address = nullptr;
	info->source_path[0] = 0;
	info->source_line = -1;

	Dl_info dl;
	if (!addr || ::dladdr(addr, &dl) == 0) return;
	copy_text(info->image_path, dl.dli_fname);
	info->image_base = dl.dli_fbase;
	info->symbol_address = dl.dli_saddr;
	if (dl.dli_sname) {
		int status = -1;
		char* plain = abi::__cxa_demangle(dl.dli_sname, nullptr, nullptr, &status);
		copy_text(info->symbol_name, status == 0 && plain ? plain : dl.dli_sname);
		std::free(plain);
	}
	// Source file and line would need a reader of the debug information, which the
	// program does not carry; they stay unknown.
}

void print_symbol(FILE* file, const void* addr)
{
	symbol_info info;
	UTL_get_debug_symbol(addr, &info);
	const uintptr_t a = reinterpret_cast<uintptr_t>(addr);
	const uintptr_t sym = reinterpret_cast<uintptr_t>(info.symbol_address);
	const uintptr_t base = reinterpret_cast<uintptr_t>(info.image_base);

	if (info.symbol_name[0] && sym)
		std::fprintf(file, "%s + %" PRIdPTR, info.symbol_name, static_cast<intptr_t>(a - sym));
	else if (info.symbol_name[0])
		std::fprintf(file, "0x%016" PRIxPTR, a);
	else if (sym)
		std::fprintf(file, "0x%016" PRIxPTR " + %" PRIdPTR, sym, static_cast<intptr_t>(a - sym));
	else
		std::fprintf(file, "0x%016" PRIxPTR, a);

	if (info.source_path[0]) std::fprintf(file, " (%s:%d)", last_component(info.source_path), info.source_line);

	if (!base)
		std::fputs(" (\?\?\?)\n", file);
	else if (!info.image_path[0])
		std::fprintf(file, " (0x%016" PRIxPTR " + %" PRIdPTR ")\n", base, static_cast<intptr_t>(a - base));
	else
		std::fprintf(file, " (%s + %" PRIdPTR ")\n", last_component(info.image_path), static_cast<intptr_t>(a - base));
}

// Not inlined: with a null frame the walk starts at this function's own frame, whose
// return address is the place the caller called it from.
__attribute__((noinline)) void UTL_dump_stack(FILE* file, stack_frame* frame, const void* pc)
{
	int index = 0;
	if (pc) {
		std::fprintf(file, " % 2d) ", 0);
		print_symbol(file, pc);
		index = 1;
	}
	if (!frame) frame = static_cast<stack_frame*>(__builtin_frame_address(0));
	while (frame) {
		// The whole record must be readable (and, being stack, writable) and aligned
		// before it is read; a damaged chain ends the dump, not the process.
		if (reinterpret_cast<uintptr_t>(frame) % alignof(stack_frame) != 0) break;
		if (!UTL_valid_memory(frame, sizeof(stack_frame), 1, 1)) break;
		if (index > 99) break;
		// The stack grows downward: a caller's frame lies above its callee's.
		if (reinterpret_cast<uintptr_t>(frame->next) <= reinterpret_cast<uintptr_t>(frame)) break;
		std::fprintf(file, " % 2d) ", index);
		print_symbol(file, frame->ret);
		frame = frame->next;
		++index;
	}
}
