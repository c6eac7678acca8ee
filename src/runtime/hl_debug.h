#pragma once
// Small debugging services: keeping a broken pipe from killing us, checking that a
// memory range is mapped, a hex dump, naming a code address, and the frame-pointer
// walk that a quitting alert appends to "stack_crawl.txt".
#include <cstdio>
#include <mutex>

// The record every frame keeps at its frame pointer: the caller's frame pointer and
// the address the frame returns to. 16 bytes here.
struct stack_frame {
	stack_frame* next;
	void* ret;
};

// What is known about one code address. Texts are empty, addresses null and the line
// -1 when unknown.
struct symbol_info {
	char image_path[1024];
	void* image_base;
	char symbol_name[1024];
	void* symbol_address;
	char source_path[1024];
	int source_line;
};

// Ignores SIGPIPE: a peer that closes a socket must give a write error, not end us.
void UTL_debug_init();

// 1 when every byte of [addr, addr + len) is mapped with the wanted access, else 0.
// An empty range is 1; a range that wraps past the top of the address space is 0.
int UTL_valid_memory(const void* addr, unsigned int len, int need_read, int need_write);

// One line per 16 bytes: the bytes in hex and as characters, in groups of four.
void dump_hex(FILE* file, const void* data, int len);

// Held by every lookup of a loaded image's name or tables: the debug information
// reader loads and reports images as it goes, and a name read from the loader (dladdr)
// meanwhile must not meet a half-made entry.
std::mutex& UTL_image_lookup_lock();

// The loader's image and symbol of addr, and from the image's own symbol and line
// tables (where it carries them) the function, source file and line.
void UTL_get_debug_symbol(const void* addr, symbol_info* info);
// Writes "symbol + offset (file:line) (image + offset)" for addr, ending in a newline;
// the source part only when the source file is known.
void print_symbol(FILE* file, const void* addr);

// "stack_crawl.txt" in the working folder, opened for appending and made when missing;
// null when it cannot be, or when that name is a link or anything but a regular file,
// which stay as they are.
FILE* UTL_open_stack_crawl();

// Writes one " nn) symbol" line per frame, at most 100 lines. pc, when given, is the
// first line. With a null frame the walk starts at the caller of UTL_dump_stack.
void UTL_dump_stack(FILE* file, stack_frame* frame, const void* pc);
