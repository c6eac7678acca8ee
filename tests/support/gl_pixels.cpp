#include "support/gl_pixels.h"

#include <GL/gl.h>
#include <png.h>

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
	name += ".png";
	std::vector<unsigned char> all = ctx.read_all();
	write_test_png(name, ctx.width(), ctx.height(), 4, all.data());
	return name;
}

bool write_test_png(const std::string& path, int w, int h, int channels, const unsigned char* pixels)
{
	png_image img{};
	img.version = PNG_IMAGE_VERSION;
	img.width = png_uint_32(w);
	img.height = png_uint_32(h);
	img.format = channels == 4 ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
	// A negative stride: the buffer holds the bottom row first.
	const png_int_32 stride = -png_int_32(w * channels);
	return png_image_write_to_file(&img, path.c_str(), 0, pixels, stride, nullptr) != 0;
}

bool read_test_png(const std::string& path, int channels, int& w, int& h, std::vector<unsigned char>& pixels)
{
	png_image img{};
	img.version = PNG_IMAGE_VERSION;
	if (!png_image_begin_read_from_file(&img, path.c_str())) return false;
	img.format = channels == 4 ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
	w = int(img.width);
	h = int(img.height);
	pixels.assign(size_t(w) * h * channels, 0);
	const png_int_32 stride = -png_int_32(w * channels);
	if (!png_image_finish_read(&img, nullptr, pixels.data(), stride, nullptr)) {
		png_image_free(&img);
		return false;
	}
	return true;
}

void gl_clear_to(float r, float g, float b, float a)
{
	glClearColor(r, g, b, a);
	glClear(GL_COLOR_BUFFER_BIT);
}
