#include "runtime/hl_debug.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <dwarf.h>
#include <elfutils/libdwfl.h>
#include <fcntl.h>
#include <unistd.h>

#include <cinttypes>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/plat_mem.h"
#include "runtime/own_file.h"

namespace {
const char* const kStackCrawlName = "stack_crawl.txt";
}  // namespace

FILE* UTL_open_stack_crawl()
{
	const int fd = own_file_open(kStackCrawlName, O_WRONLY | O_CREAT | O_APPEND);
	if (fd < 0) return nullptr;
	FILE* f = ::fdopen(fd, "a");
	if (!f) ::close(fd);
	return f;
}

std::mutex& UTL_image_lookup_lock()
{
	static std::mutex lock;
	return lock;
}

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

// A C++ name as written in the source; other names as they are.
void copy_symbol_name(char (&dst)[1024], const char* name)
{
	int status = -1;
	char* plain = abi::__cxa_demangle(name, nullptr, nullptr, &status);
	copy_text(dst, status == 0 && plain ? plain : name);
	std::free(plain);
}

// The debug information of this process's images, kept from one lookup to the next: a
// stack dump names up to a hundred addresses, and reading an image's tables is the
// slow part. Each lookup reports the images mapped now, so a library loaded or let go
// since is seen as it is.
std::mutex& g_debug_info_lock = UTL_image_lookup_lock();
Dwfl* g_debug_info = nullptr;
char* g_debuginfo_path = nullptr;  // the default places of separate debug files
const Dwfl_Callbacks kDebugInfoCallbacks = {dwfl_linux_proc_find_elf, dwfl_standard_find_debuginfo, nullptr,
                                            &g_debuginfo_path};

// Under g_debug_info_lock: the module holding addr, or null.
Dwfl_Module* debug_module_of(uintptr_t addr)
{
	if (!g_debug_info) g_debug_info = dwfl_begin(&kDebugInfoCallbacks);
	if (!g_debug_info) return nullptr;
	dwfl_report_begin(g_debug_info);
	const int reported = dwfl_linux_proc_report(g_debug_info, getpid());
	if (dwfl_report_end(g_debug_info, nullptr, nullptr) != 0 || reported != 0) return nullptr;
	return dwfl_addrmodule(g_debug_info, addr);
}

// The source file and line of addr within the function that holds it. Code inlined
// into that function is named by the place it was inlined at, so the line belongs to
// the function the dump names, not to a header it called. Under g_debug_info_lock.
void source_of(Dwfl_Module* module, uintptr_t addr, symbol_info* info)
{
	Dwfl_Line* line = dwfl_module_getsrc(module, addr);
	int number = 0;
	const char* source = line ? dwfl_lineinfo(line, nullptr, &number, nullptr, nullptr, nullptr) : nullptr;
	Dwarf_Addr bias = 0;
	Dwarf_Die* unit = dwfl_module_addrdie(module, addr, &bias);
	Dwarf_Die* scopes = nullptr;
	const int depth = unit ? dwarf_getscopes(unit, addr - bias, &scopes) : 0;
	for (int i = depth - 1; i >= 0; --i) {
		if (dwarf_tag(&scopes[i]) != DW_TAG_inlined_subroutine) continue;
		Dwarf_Attribute attr;
		Dwarf_Word file = 0, call_line = 0;
		Dwarf_Files* files = nullptr;
		size_t file_count = 0;
		if (dwarf_formudata(dwarf_attr(&scopes[i], DW_AT_call_file, &attr), &file) == 0 &&
		    dwarf_formudata(dwarf_attr(&scopes[i], DW_AT_call_line, &attr), &call_line) == 0 &&
		    dwarf_getsrcfiles(unit, &files, &file_count) == 0 && file < file_count) {
			source = dwarf_filesrc(files, file, nullptr, nullptr);
			number = static_cast<int>(call_line);
		}
		break;  // the outermost inlined call is the place in the function itself
	}
	std::free(scopes);
	if (!source) return;
	copy_text(info->source_path, source);
	info->source_line = number;
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

namespace {

// What UTL_get_debug_symbol finds for addr, with the source file and line of
// `source_at`: a frame's return address follows the call the frame made, and that call
// is the line to name.
void debug_symbol(const void* addr, uintptr_t source_at, symbol_info* info)
{
	info->image_path[0] = 0;
	info->image_base = nullptr;
	info->symbol_name[0] = 0;
	info->symbol_address = nullptr;
	info->source_path[0] = 0;
	info->source_line = -1;

	std::lock_guard<std::mutex> g(g_debug_info_lock);
	Dl_info dl;
	if (!addr || ::dladdr(addr, &dl) == 0) return;
	copy_text(info->image_path, dl.dli_fname);
	info->image_base = dl.dli_fbase;
	info->symbol_address = dl.dli_saddr;
	if (dl.dli_sname) copy_symbol_name(info->symbol_name, dl.dli_sname);

	// The image's own symbol table and line table, where it carries them: the table
	// names the functions the loader's table leaves out (local and hidden ones), the
	// line table gives the source file and line.
	const uintptr_t a = reinterpret_cast<uintptr_t>(addr);
	Dwfl_Module* module = debug_module_of(a);
	if (!module) return;
	GElf_Off offset = 0;
	GElf_Sym sym;
	if (const char* name = dwfl_module_addrinfo(module, a, &offset, &sym, nullptr, nullptr, nullptr)) {
		copy_symbol_name(info->symbol_name, name);
		info->symbol_address = reinterpret_cast<void*>(a - offset);
	}
	source_of(module, source_at, info);
}

void write_symbol(FILE* file, const void* addr, uintptr_t source_at)
{
	symbol_info info;
	debug_symbol(addr, source_at, &info);
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

}  // namespace

void UTL_get_debug_symbol(const void* addr, symbol_info* info)
{
	debug_symbol(addr, reinterpret_cast<uintptr_t>(addr), info);
}

void print_symbol(FILE* file, const void* addr) { write_symbol(file, addr, reinterpret_cast<uintptr_t>(addr)); }

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
		write_symbol(file, frame->ret, reinterpret_cast<uintptr_t>(frame->ret) - 1);
		frame = frame->next;
		++index;
	}
}
