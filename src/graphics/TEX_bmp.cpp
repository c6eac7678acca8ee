// 24-bit uncompressed BMP files, rows kept bottom first as the file stores them.
#include <cstdint>
#include <cstring>

#include "graphics/TEX_png.h"
#include "graphics/colr.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_mem.h"
#include "runtime/xer_stream.h"
#include "runtime/hl_globals.h"
#include "runtime/xmap.h"

namespace {

constexpr const char* kBmpSource = "VAvered/TEX/TEX_bmp";
constexpr int kIllegalFormatLine = 27;
constexpr int kDepthLine = 48;
constexpr int kCompressedLine = 49;

// Header fields the reader uses, by offset and width.
constexpr int kOffData = 10, kOffWidth = 18, kOffHeight = 22, kOffBpp = 28, kOffCompression = 30;
constexpr int kWantedBpp = 24;
constexpr unsigned char kKeyBlue = 255, kKeyGreen = 0, kKeyRed = 255;  // magenta is transparent
constexpr unsigned char kOpaque = 255;

// A little-endian field, 0 when it does not lie wholly inside the mapping.
uint32_t field(const xmap_class& f, int off, int bytes)
{
	if (f.end - f.begin < off + bytes) return 0;
	uint32_t v = 0;
	for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(f.begin[off + i]);
	return v;
}

unsigned char gamma(unsigned char v) { return colr.gamma_on ? colr.gamma_table[v] : v; }

int refuse(const std::string& path, const char* why)
{
	xer << "WARNING: unusable BMP file (" << why << "): " << path << "\n";
	return 0;
}

}  // namespace

int TEX_load_bmp(const std::string& path, xmap_class& file, unsigned char** buf, unsigned long desired_format,
                 int pad_to, int pow2, TEX_image_desc* desc, std::size_t capacity)
{
	if (!file.begin) return 0;
	const tex_row_layout probe = TEX_row_layout(desired_format, 1, 1, 0, 0);
	if (!probe.channels) {
		__DIDIVI_alert(0, "Illegal desired format for bmp.", path, "", "", t_exit, kBmpSource, kIllegalFormatLine);
		return 0;
	}
	file.swap = 0;
	const uint32_t data_off = field(file, kOffData, 4);
	const int32_t width = int32_t(field(file, kOffWidth, 4));
	const int32_t height = int32_t(field(file, kOffHeight, 4));
	const uint32_t bpp = field(file, kOffBpp, 2);
	const uint32_t compression = field(file, kOffCompression, 4);
	if (bpp != kWantedBpp) {
		__DIDIVI_alert(0, "Wrong bitmap color depth for texture!", "We need 24-bit color.", "", path, t_exit,
		               kBmpSource, kDepthLine);
		return 0;
	}
	if (compression != 0) {
		__DIDIVI_alert(0, "Bitmap is compressed!", "", "", path, t_exit, kBmpSource, kCompressedLine);
		return 0;
	}
	// Top-first files (negative height) and empty or absurd widths are not read.
	if (width <= 0 || width > tex_max_side * 8) return refuse(path, "width");
	if (height < 0) return refuse(path, "top-first rows");
	const std::size_t src_row = (std::size_t(width) * 3 + 3) & ~std::size_t(3);
	const std::size_t file_bytes = std::size_t(file.end - file.begin);
	if (height > 0 && (data_off > file_bytes || (file_bytes - data_off) / src_row < std::size_t(height)))
		return refuse(path, "rows past the end of the file");

	desc->format = GLenum(desired_format);
	desc->width = width;
	desc->height = height;
	desc->has_mipmaps = 0;
	const tex_row_layout lay = TEX_row_layout(desired_format, width, height, pad_to, pow2);
	desc->row_pad = lay.row_pad;
	if (*buf && lay.bytes > capacity) return refuse(path, "larger than its buffer");
	if (!*buf) {
		*buf = static_cast<unsigned char*>(heap_malloc(lay.bytes ? lay.bytes : 1));
		if (!*buf) return refuse(path, "no memory");
	}
	unsigned char* out = *buf;
	if (pow2 && (lay.row_pad > 0 || lay.rows > height)) std::memset(out, 0, lay.bytes);
	const std::size_t stride = std::size_t(lay.channels) * width + lay.row_pad;
	for (int r = 0; r < height; ++r) {
		const unsigned char* s = reinterpret_cast<const unsigned char*>(file.begin) + data_off + r * src_row;
		unsigned char* d = out + r * stride;
		for (int x = 0; x < width; ++x, s += 3) {
			const unsigned char b = s[0], g = s[1], red = s[2];
			if (lay.channels == 1) {
				*d++ = (unsigned char)((b + g + red) / 3);
				continue;
			}
			if (lay.channels == 4 && b == kKeyBlue && g == kKeyGreen && red == kKeyRed) {
				d[0] = d[1] = d[2] = d[3] = 0;
				d += 4;
				continue;
			}
			*d++ = gamma(red);
			*d++ = gamma(g);
			*d++ = gamma(b);
			if (lay.channels == 4) *d++ = kOpaque;
		}
	}
	return 1;
}
