#include "support/gl_pixels.h"

#include <GL/gl.h>
#include <png.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

std::vector<unsigned char> gl_read_rect(int x, int y, int w, int h)
{
	glFinish();
	std::vector<unsigned char> out(size_t(w) * h * 4);
	glPixelStorei(GL_PACK_ALIGNMENT, 1);
	glReadPixels(x, y, w, h, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
	return out;
}

namespace {

// Pictures of failed checks go to the system's temporary folder as it was when the test
// program started (a test's own folder, set up later, is removed when the test ends),
// never into the working folder, which may be the source tree.
std::string picture_folder()
{
	const char* base = std::getenv("TMPDIR");
	return std::string(base && *base ? base : "/tmp") + "/kestrix-test-pictures/";
}
const std::string g_picture_folder = picture_folder();

::testing::AssertionResult fail_with_dump(const GlTestContext& ctx, const std::string& what)
{
	return ::testing::AssertionFailure() << what << " (framebuffer written to " << gl_dump_png(ctx) << ")";
}

}  // namespace

::testing::AssertionResult gl_rect_is(const GlTestContext& ctx, int x, int y, int w, int h, rgba8 want, int tol)
{
	const std::vector<unsigned char> px = gl_read_rect(x, y, w, h);
	for (int j = 0; j < h; ++j)
		for (int i = 0; i < w; ++i) {
			const unsigned char* p = &px[(size_t(j) * w + i) * 4];
			const int want_c[4] = {want.r, want.g, want.b, want.a};
			for (int c = 0; c < 4; ++c) {
				if (c == 3 && want.a < 0) continue;
				if (std::abs(int(p[c]) - want_c[c]) > tol) {
					std::ostringstream m;
					m << "pixel (" << x + i << ", " << y + j << ") is (" << int(p[0]) << ", " << int(p[1]) << ", "
					  << int(p[2]) << ", " << int(p[3]) << "), want (" << want.r << ", " << want.g << ", " << want.b
					  << ", " << want.a << ") within " << tol;
					return fail_with_dump(ctx, m.str());
				}
			}
		}
	return ::testing::AssertionSuccess();
}

::testing::AssertionResult gl_rect_equals(const GlTestContext& ctx, int x, int y, int w, int h,
                                           const std::vector<unsigned char>& want, int tol)
{
	const std::vector<unsigned char> px = gl_read_rect(x, y, w, h);
	for (size_t k = 0; k < px.size(); ++k)
		if (std::abs(int(px[k]) - int(want[k])) > tol) {
			const size_t pix = k / 4;
			std::ostringstream m;
			m << "pixel (" << x + int(pix % w) << ", " << y + int(pix / w) << ") channel " << k % 4 << " is "
			  << int(px[k]) << ", want " << int(want[k]) << " within " << tol;
			return fail_with_dump(ctx, m.str());
		}
	return ::testing::AssertionSuccess();
}

std::string gl_dump_png(const GlTestContext& ctx, const std::string& tag)
{
	const ::testing::TestInfo* t = ::testing::UnitTest::GetInstance()->current_test_info();
	std::string name = t ? std::string(t->test_suite_name()) + "." + t->name() : "gl";
	if (!tag.empty()) name += "-" + tag;
	name = g_picture_folder + name + ".png";
	::mkdir(g_picture_folder.c_str(), 0755);
	std::vector<unsigned char> all = ctx.read_all();
	write_test_png(name, ctx.width(), ctx.height(), 4, all.data());
	return name;
}

bool write_test_png(const std::string& path, int w, int h, int channels, const unsigned char* pixels)
{
	// No gAMA or sRGB chunk: readers that honour one would change the bytes.
	std::FILE* f = std::fopen(path.c_str(), "wb");
	if (!f) return false;
	png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
	png_infop info = png_create_info_struct(png);
	std::vector<png_bytep> rows(size_t(h > 0 ? h : 1));
	if (setjmp(png_jmpbuf(png))) {
		png_destroy_write_struct(&png, &info);
		std::fclose(f);
		return false;
	}
	png_init_io(png, f);
	png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, channels == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
	             PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
	png_write_info(png, info);
	// The buffer holds the bottom row first.
	for (int i = 0; i < h; ++i) rows[size_t(i)] = const_cast<png_bytep>(pixels + size_t(h - 1 - i) * w * channels);
	png_write_image(png, rows.data());
	png_write_end(png, info);
	png_destroy_write_struct(&png, &info);
	return std::fclose(f) == 0;
}

bool read_test_png(const std::string& path, int channels, int& w, int& h, std::vector<unsigned char>& pixels)
{
	// The stored bytes as they are: the program's PNG files carry a gAMA chunk, which
	// libpng's simple interface would turn into a gamma conversion.
	std::FILE* f = std::fopen(path.c_str(), "rb");
	if (!f) return false;
	png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
	png_infop info = png_create_info_struct(png);
	std::vector<png_bytep> rows;
	if (setjmp(png_jmpbuf(png))) {
		png_destroy_read_struct(&png, &info, nullptr);
		std::fclose(f);
		return false;
	}
	png_init_io(png, f);
	png_read_info(png, info);
	const int type = png_get_color_type(png, info);
	png_set_expand(png);
	png_set_strip_16(png);
	if (!(type & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);
	const bool alpha = (type & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
	if (channels == 4 && !alpha) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
	if (channels == 3 && alpha) png_set_strip_alpha(png);
	png_set_interlace_handling(png);
	png_read_update_info(png, info);
	w = int(png_get_image_width(png, info));
	h = int(png_get_image_height(png, info));
	pixels.assign(size_t(w) * h * channels, 0);
	rows.resize(size_t(h));
	for (int i = 0; i < h; ++i) rows[size_t(i)] = pixels.data() + size_t(h - 1 - i) * w * channels;  // bottom first
	png_read_image(png, rows.data());
	png_destroy_read_struct(&png, &info, nullptr);
	std::fclose(f);
	return true;
}

void gl_clear_to(float r, float g, float b, float a)
{
	glClearColor(r, g, b, a);
	glClear(GL_COLOR_BUFFER_BIT);
}
