#pragma once
// PNG and 24-bit BMP files read from a mapping into a caller's buffer (rows bottom first,
// as GL_RGB, GL_RGBA or GL_ALPHA), and PNG files written from a buffer.
#include <cstddef>
#include <string>

#include "graphics/TEX_utils.h"

class xmap_class;

// The mapping the PNG read callback consumes; set for one TEX_load_png call at a time.
extern xmap_class* png_mapped_file;
// Appended to PNG warnings and errors; nothing here sets it.
extern std::string ping_path;
extern const unsigned char png_signature[8];

// With *buf null the reader allocates (heap_malloc) exactly what it needs and the caller
// frees it (heap_free); a caller's buffer is taken to hold `capacity` bytes, and an image
// that would not fit is refused with a warning. Row layout: channels x width + row_pad,
// row_pad from the pad-to width or, with pow2, the next power of two; pow2 also rounds the
// row count up and zeroes the buffer first.
int TEX_load_png(const std::string& path, xmap_class& file, unsigned char** buf, unsigned long desired_format,
                 int pad_to, int pow2, int match_file_alpha, TEX_image_desc* desc,
                 std::size_t capacity = tex_scratch_capacity);
int TEX_load_bmp(const std::string& path, xmap_class& file, unsigned char** buf, unsigned long desired_format,
                 int pad_to, int pow2, TEX_image_desc* desc, std::size_t capacity = tex_scratch_capacity);
// Writes app_path + path; 1 written, 0 on any failure to open or set up.
int TEX_save_png(const std::string& path, const TEX_image_desc& desc, const unsigned char* pixels);
// Saves scratch_array (RGBA with 4 bytes a pixel, else RGB) under `name`.
int write_png_to_disk(std::string name, int width, int height, int bytes_pp);

// The row layout both readers share.
struct tex_row_layout {
	int channels;  // 3, 4 or 1; 0 for a format the readers do not write
	int row_pad;   // bytes after each row
	int rows;      // rows in the buffer
	std::size_t bytes;
};
tex_row_layout TEX_row_layout(unsigned long format, int width, int height, int pad_to, int pow2);
// Smallest power of two not below n (1 below 2).
int TEX_next_pow2(int n);
