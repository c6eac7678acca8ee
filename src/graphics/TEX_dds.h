#pragma once
// DDS files: S3TC (DXT1, DXT3, DXT5) and plain 24- or 32-bit BGR(A) read in place from a
// mapping; RGB or RGBA buffers written as DXT1 or DXT5 with a full mip chain; whole-image
// S3TC compression and decompression through libsquish.
#include <string>

#include "graphics/TEX_utils.h"

class xmap_class;

constexpr int dds_header_bytes = 128;

enum TEX_s3tc_quality { s3tc_fast = 0, s3tc_normal = 1, s3tc_best = 2 };

// 1 with *pixels pointing into the mapping (valid while it lives), 0 when the file is not
// a usable DDS: a short file, a chain past its end or past the decoding buffer, a size
// below 1 or an RGB bit count that does not match the format (these log a warning).
int TEX_load_dds(const std::string& path, xmap_class& file, const unsigned char** pixels, TEX_image_desc* desc);
// Writes app_path + path; 1 written, 0 when the file cannot be opened or written.
int TEX_save_dds(const std::string& path, const unsigned char* pixels, const TEX_image_desc& desc);
void TEX_encode_s3tc(const TEX_image_desc& in, const TEX_image_desc& out, const unsigned char* rgba,
                     unsigned char* blocks, TEX_s3tc_quality quality);
void TEX_decode_s3tc(const TEX_image_desc& in, const TEX_image_desc& out, const unsigned char* blocks,
                     unsigned char* rgba);
