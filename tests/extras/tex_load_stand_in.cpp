// The image loader the scenery library calls, for the extras tests only, until the
// graphics library's own readers are built: PNG files through libpng, delivered the
// way the real loader delivers them (one byte per pixel for GL_ALPHA, rows bottom
// first, pixels from heap_malloc).
#include <GL/gl.h>
#include <png.h>

#include <cstring>
#include <string>

#include "graphics/tman.h"
#include "runtime/hl_mem.h"

namespace {
int load_png_alpha(const std::string& path, unsigned char** buf, TEX_image_desc* desc)
{
	png_image img;
	std::memset(&img, 0, sizeof img);
	img.version = PNG_IMAGE_VERSION;
	if (!png_image_begin_read_from_file(&img, path.c_str())) return 0;
	img.format = PNG_FORMAT_GRAY;
	const size_t stride = img.width;
	std::string top_first(stride * img.height, '\0');
	if (!png_image_finish_read(&img, nullptr, top_first.data(), static_cast<png_int_32>(stride), nullptr)) {
		png_image_free(&img);
		return 0;
	}
	unsigned char* out = static_cast<unsigned char*>(heap_malloc(top_first.size()));
	for (size_t r = 0; r < img.height; ++r)
		std::memcpy(out + r * stride, top_first.data() + (img.height - 1 - r) * stride, stride);
	*buf = out;
	*desc = TEX_image_desc{GL_ALPHA, static_cast<int>(img.width), static_cast<int>(img.height), 0, 0};
	return 1;
}
}  // namespace

int TEX_load_any_ext(const std::string& path, unsigned char** buf, unsigned long format, int, int,
                     TEX_image_desc* desc)
{
	if (format != GL_ALPHA || *buf) return 0;
	std::string stem = path;
	if (stem.size() > 4 && stem[stem.size() - 4] == '.') stem.resize(stem.size() - 4);
	return load_png_alpha(stem + ".png", buf, desc);
}
