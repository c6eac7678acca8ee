// Stand-ins for the image files the drawing layer reads and writes, for drawing tests
// built before those units exist. Every definition is weak: once the real units are
// linked they win and these drop out. PNG files go through libpng's simple interface.
#include <GL/gl.h>
#include <png.h>

#include <cstring>
#include <string>
#include <vector>

#include "graphics/tman.h"
#include "runtime/hl_globals.h"

#define KX_WEAK __attribute__((weak))

KX_WEAK int TEX_load_any(const std::string& path, unsigned char** buffer, unsigned long desired_format,
                         int pad_to_width, int, TEX_image_desc* desc)
{
	png_image img{};
	img.version = PNG_IMAGE_VERSION;
	if (!png_image_begin_read_from_file(&img, (app_path + path).c_str())) return 0;
	const int channels = desired_format == GL_RGB ? 3 : 4;
	img.format = channels == 4 ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
	const int w = int(img.width), h = int(img.height);
	std::vector<unsigned char> rows(size_t(w) * h * channels);
	// Bottom row first.
	if (!png_image_finish_read(&img, nullptr, rows.data(), -png_int_32(w * channels), nullptr)) {
		png_image_free(&img);
		return 0;
	}
	// The readers' contract: rows `pad_to_width` pixels apart, written without checking
	// the buffer's size (a picture wider than the pad overlaps its rows).
	const size_t stride = size_t(pad_to_width ? pad_to_width : w) * channels;
	if (!*buffer) *buffer = new unsigned char[stride * (h - 1) + size_t(w) * channels];
	for (int y = 0; y < h; ++y)
		std::memcpy(*buffer + stride * y, rows.data() + size_t(y) * w * channels, size_t(w) * channels);
	desc->format = unsigned(desired_format);
	desc->width = w;
	desc->height = h;
	desc->row_pad = int(stride) - w * channels;
	desc->has_mipmaps = 0;
	return 1;
}

KX_WEAK int write_png_to_disk(std::string name, int width, int height, int bytes_per_pixel)
{
	png_image img{};
	img.version = PNG_IMAGE_VERSION;
	img.width = png_uint_32(width);
	img.height = png_uint_32(height);
	img.format = bytes_per_pixel == 4 ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
	const png_int_32 stride = -png_int_32(width * bytes_per_pixel);
	return png_image_write_to_file(&img, (app_path + name).c_str(), 0, scratch_array, stride, nullptr) ? 1 : 0;
}
