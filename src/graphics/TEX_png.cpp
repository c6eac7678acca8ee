// PNG through libpng 1.6. A libpng error unwinds (longjmp) to the recovery point set in a
// function that holds only plain data, so no destructor is ever skipped; the error
// callback only records the message, and the alerts are raised once libpng is gone.
#include "graphics/TEX_png.h"

#include <png.h>

#include <cstdio>
#include <cstring>

#include "graphics/colr.h"
#include "graphics/tman.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_mem.h"
#include "runtime/xer_stream.h"
#include "runtime/xmap.h"

xmap_class* png_mapped_file = nullptr;
std::string ping_path;
const unsigned char png_signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

namespace {

constexpr const char* kPngSource = "VAvered/TEX/TEX_png";
constexpr int kErrorLine = 13;
constexpr int kNoReadStructLine = 36;
constexpr int kNoInfoLine = 41;
constexpr int kSignatureLine = 55;
constexpr int kLongjmpLine = 63;
constexpr int kIllegalBppLine = 112;
constexpr int kIllegalWriteLine = 164;
constexpr int kSigBytes = 8;
constexpr double kWrittenGamma = 0.5555555555555556;  // 1/1.8
constexpr int kZlibLevel = 9, kZlibMemLevel = 8, kZlibStrategy = 0, kZlibWindowBits = 15, kZlibMethod = 8;
constexpr std::size_t kZlibBufferBytes = 8192;
constexpr int kMessageBytes = 512;

// The last libpng error message, kept for the alert raised after the unwind.
char g_png_message[kMessageBytes];

[[noreturn]] void my_error(png_structp png, png_const_charp msg)
{
	std::snprintf(g_png_message, sizeof g_png_message, "%s", msg ? msg : "");
	// Straight back to the recovery point: nothing of libpng's own is printed.
	png_longjmp(png, 1);
}

void my_warning(png_structp, png_const_charp msg)
{
	xer << "PNG warning! " << (msg ? msg : "") << ", " << ping_path << "\n";
}

png_voidp my_malloc(png_structp, png_alloc_size_t n) { return heap_malloc(n); }
void my_free(png_structp, png_voidp p) { heap_free(p); }

void my_readbuf(png_structp png, png_bytep dest, png_size_t n)
{
	xmap_class* f = png_mapped_file;
	if (!f || !f->cur || std::size_t(f->end - f->cur) < n) png_error(png, "PNG Read Error, overran end of buffer!");
	std::memcpy(dest, f->cur, n);
	f->cur += n;
}

void raise_png_error()
{
	__DIDIVI_alert(0, "PNG error!", g_png_message, ping_path, "", t_alert, kPngSource, kErrorLine);
}

enum read_outcome { read_ok = 0, read_unwound = -1, read_bad_format = -2, read_no_room = -3 };

// Everything a read needs, as plain data: the recovery point's frame holds nothing else.
struct png_read_job {
	unsigned long desired;
	int pad_to, pow2, match_alpha;
	std::size_t capacity;
	unsigned char** buf;
	TEX_image_desc* desc;
	png_bytep* rows;
	unsigned char* allocated;
};

int png_read_core(png_structp png, png_infop info, png_read_job* j)
{
	if (setjmp(png_jmpbuf(png))) return read_unwound;
	png_init_io(png, nullptr);
	png_set_read_fn(png, nullptr, my_readbuf);
	png_set_sig_bytes(png, kSigBytes);
	png_mapped_file->cur = png_mapped_file->begin + kSigBytes;
	png_read_info(png, info);
	png_uint_32 w = 0, h = 0;
	int depth = 0, ctype = 0, interlace = 0;
	png_get_IHDR(png, info, &w, &h, &depth, &ctype, &interlace, nullptr, nullptr);
	if (w > png_uint_32(tex_max_side) * 8 || h > png_uint_32(tex_max_side) * 8) return read_no_room;
	j->desc->format = GLenum(j->desired);
	j->desc->width = int(w);
	j->desc->height = int(h);
	j->desc->has_mipmaps = 0;
	j->desc->row_pad = 0;

	double file_gamma = 0;
	if (!png_get_gAMA(png, info, &file_gamma)) file_gamma = 1.0 / colr.image_gamma;
	png_set_gamma(png, colr.display_gamma, file_gamma);

	const bool trns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
	if ((ctype == PNG_COLOR_TYPE_PALETTE && depth <= 8) || (ctype == PNG_COLOR_TYPE_GRAY && depth < 8) || trns)
		png_set_expand(png);
	if (depth == 16) png_set_strip_16(png);
	if (depth < 8) png_set_packing(png);

	// A tRNS chunk gives an alpha channel once expanded, so it counts as alpha.
	const bool has_alpha = (ctype & PNG_COLOR_MASK_ALPHA) || trns;
	if (j->match_alpha) {
		if (has_alpha && j->desc->format == GL_RGB) j->desc->format = GL_RGBA;
		if (!has_alpha && j->desc->format == GL_RGBA) j->desc->format = GL_RGB;
	}
	if (j->desc->format == GL_RGBA) {
		if (!has_alpha) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
	} else if (has_alpha) {
		png_set_strip_alpha(png);
	}
	const bool colour = (ctype & PNG_COLOR_MASK_COLOR) != 0;
	if (j->desc->format == GL_ALPHA && colour)
		png_set_rgb_to_gray(png, 1, -1.0, -1.0);
	else if (j->desc->format != GL_ALPHA && !colour)
		png_set_gray_to_rgb(png);

	const tex_row_layout lay = TEX_row_layout(j->desc->format, int(w), int(h), j->pad_to, j->pow2);
	if (!lay.channels) return read_bad_format;
	j->desc->row_pad = lay.row_pad;
	png_set_interlace_handling(png);
	png_read_update_info(png, info);
	if (png_get_rowbytes(png, info) != std::size_t(lay.channels) * w) return read_no_room;
	if (*j->buf && lay.bytes > j->capacity) return read_no_room;
	if (!*j->buf) {
		j->allocated = static_cast<unsigned char*>(heap_malloc(lay.bytes ? lay.bytes : 1));
		if (!j->allocated) return read_no_room;
		*j->buf = j->allocated;
	}
	unsigned char* out = *j->buf;
	if (j->pow2 && (lay.row_pad > 0 || lay.rows > int(h))) std::memset(out, 0, lay.bytes);
	j->rows = static_cast<png_bytep*>(heap_malloc(sizeof(png_bytep) * (h ? h : 1)));
	if (!j->rows) return read_no_room;
	const std::size_t stride = std::size_t(lay.channels) * w + lay.row_pad;
	for (png_uint_32 i = 0; i < h; ++i) j->rows[i] = out + (h - 1 - i) * stride;
	png_read_image(png, j->rows);
	return read_ok;
}

struct png_write_job {
	std::FILE* fp;
	const TEX_image_desc* desc;
	const unsigned char* pixels;
	int channels;
	png_bytep* rows;
};

int png_write_core(png_structp png, png_infop info, png_write_job* j)
{
	if (setjmp(png_jmpbuf(png))) return read_unwound;
	png_init_io(png, j->fp);
	png_set_filter(png, 0, PNG_FILTER_NONE);
	png_set_compression_level(png, kZlibLevel);
	png_set_compression_mem_level(png, kZlibMemLevel);
	png_set_compression_strategy(png, kZlibStrategy);
	png_set_compression_window_bits(png, kZlibWindowBits);
	png_set_compression_method(png, kZlibMethod);
	png_set_compression_buffer_size(png, kZlibBufferBytes);
	png_set_gAMA(png, info, kWrittenGamma);
	const int ctype = j->channels == 4 ? PNG_COLOR_TYPE_RGBA : j->channels == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY;
	const int w = j->desc->width, h = j->desc->height;
	png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, ctype, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
	             PNG_FILTER_TYPE_DEFAULT);
	png_write_info(png, info);
	j->rows = static_cast<png_bytep*>(heap_malloc(sizeof(png_bytep) * (h > 0 ? h : 1)));
	if (!j->rows) png_error(png, "out of memory");
	const std::size_t stride = std::size_t(j->channels) * w + j->desc->row_pad;
	for (int i = 0; i < h; ++i) j->rows[h - 1 - i] = const_cast<png_bytep>(j->pixels + i * stride);
	png_write_image(png, j->rows);
	png_write_end(png, info);
	return read_ok;
}

}  // namespace

int TEX_next_pow2(int n)
{
	int p = 1;
	while (p < n && p < (1 << 30)) p <<= 1;
	return p;
}

tex_row_layout TEX_row_layout(unsigned long format, int width, int height, int pad_to, int pow2)
{
	tex_row_layout l{};
	l.channels = format == GL_RGB ? 3 : format == GL_RGBA ? 4 : format == GL_ALPHA ? 1 : 0;
	if (!l.channels) return l;
	l.row_pad = pad_to > width ? (pad_to - width) * l.channels : 0;
	if (pow2) l.row_pad = (TEX_next_pow2(width) - width) * l.channels;
	l.rows = pow2 ? TEX_next_pow2(height) : height;
	l.bytes = std::size_t(l.rows) * (std::size_t(l.channels) * width + l.row_pad);
	return l;
}

int TEX_load_png(const std::string& path, xmap_class& file, unsigned char** buf, unsigned long desired_format,
                 int pad_to, int pow2, int match_file_alpha, TEX_image_desc* desc, std::size_t capacity)
{
	png_structp png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, my_error, my_warning, nullptr,
	                                           my_malloc, my_free);
	if (!png) {
		__DIDIVI_alert(0, "PING-FILE ERROR!", "!png_ptr", path, "", t_exit, kPngSource, kNoReadStructLine);
		return 0;
	}
	png_infop info = png_create_info_struct(png);
	if (!info) {
		png_destroy_read_struct(&png, nullptr, nullptr);
		__DIDIVI_alert(0, "PING-FILE ERROR!", "!info_ptr", path, "", t_exit, kPngSource, kNoInfoLine);
		return 0;
	}
	png_mapped_file = &file;
	if (!file.begin || file.end - file.begin < kSigBytes) {
		png_mapped_file = nullptr;
		png_destroy_read_struct(&png, &info, nullptr);
		return 0;
	}
	if (png_sig_cmp(reinterpret_cast<png_const_bytep>(file.begin), 0, kSigBytes) != 0) {
		png_mapped_file = nullptr;
		png_destroy_read_struct(&png, &info, nullptr);
		__DIDIVI_alert(0, "PING-FILE ERROR!", "is_png=!png_sig_cmp(png_io_buf,0,8)", path, "", t_exit, kPngSource,
		               kSignatureLine);
		return 0;
	}
	g_png_message[0] = 0;
	png_read_job job{desired_format, pad_to, pow2, match_file_alpha, capacity, buf, desc, nullptr, nullptr};
	const int r = png_read_core(png, info, &job);
	heap_free(job.rows);
	png_mapped_file = nullptr;
	png_destroy_read_struct(&png, &info, nullptr);
	if (r != read_ok && job.allocated) {
		heap_free(job.allocated);
		*buf = nullptr;
	}
	switch (r) {
	case read_ok: return 1;
	case read_bad_format:
		__DIDIVI_alert(0, "Illegal bits per pixel", "", "", "", t_exit, kPngSource, kIllegalBppLine);
		return 0;
	case read_no_room:
		xer << "WARNING: the image does not fit its buffer: " << path << "\n";
		return 0;
	default:
		raise_png_error();
		__DIDIVI_alert(0, "PING-FILE ERROR!", "setjmp(png_ptr->jmpbuf", path, "", t_exit, kPngSource, kLongjmpLine);
		return 0;
	}
}

int TEX_save_png(const std::string& path, const TEX_image_desc& desc, const unsigned char* pixels)
{
	const int ch = desc.format == GL_RGB ? 3 : desc.format == GL_RGBA ? 4 : desc.format == GL_ALPHA ? 1 : 0;
	if (!ch) {
		__DIDIVI_alert(0, "Illegal pixel format for png-write.", path, "", "", t_exit, kPngSource, kIllegalWriteLine);
		return 0;
	}
	std::FILE* fp = std::fopen((app_path + path).c_str(), "wb");
	if (!fp) return 0;
	png_structp png = png_create_write_struct_2(PNG_LIBPNG_VER_STRING, nullptr, my_error, my_warning, nullptr,
	                                            my_malloc, my_free);
	png_infop info = png ? png_create_info_struct(png) : nullptr;
	if (!png || !info) {
		if (png) png_destroy_write_struct(&png, nullptr);
		std::fclose(fp);
		return 0;
	}
	g_png_message[0] = 0;
	png_write_job job{fp, &desc, pixels, ch, nullptr};
	const int r = png_write_core(png, info, &job);
	heap_free(job.rows);
	png_destroy_write_struct(&png, &info);
	const bool closed = std::fclose(fp) == 0;
	if (r != read_ok) {
		raise_png_error();
		return 0;
	}
	return closed ? 1 : 0;
}

int write_png_to_disk(std::string name, int width, int height, int bytes_pp)
{
	TEX_image_desc d{GLenum(bytes_pp == 4 ? GL_RGBA : GL_RGB), width, height, 0, 0};
	return TEX_save_png(name, d, scratch_array);
}
