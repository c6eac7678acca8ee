// Build-time host tool: checks that a PNG has the expected size and channel count and
// writes its pixels raw, 8 bits a channel, rows bottom first, for the assembler to embed.
//   png2raw in.png out.raw width height channels
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

int fail(const char* what, const char* path)
{
	std::fprintf(stderr, "png2raw: %s: %s\n", path, what);
	return 1;
}

}  // namespace

int main(int argc, char** argv)
{
	if (argc != 6) return fail("usage: png2raw in.png out.raw width height channels", "");
	const char* in = argv[1];
	const char* out = argv[2];
	const png_uint_32 want_w = png_uint_32(std::atoi(argv[3])), want_h = png_uint_32(std::atoi(argv[4]));
	const int want_ch = std::atoi(argv[5]);
	std::FILE* f = std::fopen(in, "rb");
	if (!f) return fail("cannot open", in);
	png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
	png_infop info = png_create_info_struct(png);
	std::vector<unsigned char> pixels;
	std::vector<png_bytep> rows;
	if (setjmp(png_jmpbuf(png))) {
		png_destroy_read_struct(&png, &info, nullptr);
		std::fclose(f);
		return fail("not a readable PNG", in);
	}
	png_init_io(png, f);
	png_read_info(png, info);
	png_uint_32 w = 0, h = 0;
	int depth = 0, ctype = 0;
	png_get_IHDR(png, info, &w, &h, &depth, &ctype, nullptr, nullptr, nullptr);
	const int ch = ctype == PNG_COLOR_TYPE_RGBA ? 4 : ctype == PNG_COLOR_TYPE_RGB ? 3 : 0;
	if (w != want_w || h != want_h || ch != want_ch || depth != 8) {
		png_destroy_read_struct(&png, &info, nullptr);
		std::fclose(f);
		std::fprintf(stderr, "png2raw: %s: is %ux%u with %d channels of %d bits, wanted %ux%u with %d of 8\n", in, w,
		             h, ch, depth, want_w, want_h, want_ch);
		return 1;
	}
	png_set_interlace_handling(png);
	png_read_update_info(png, info);
	pixels.resize(std::size_t(w) * h * ch);
	rows.resize(h);
	for (png_uint_32 i = 0; i < h; ++i) rows[i] = pixels.data() + std::size_t(h - 1 - i) * w * ch;
	png_read_image(png, rows.data());
	png_destroy_read_struct(&png, &info, nullptr);
	std::fclose(f);
	std::FILE* o = std::fopen(out, "wb");
	if (!o) return fail("cannot write", out);
	const bool ok = std::fwrite(pixels.data(), 1, pixels.size(), o) == pixels.size();
	if (std::fclose(o) != 0 || !ok) return fail("write failed", out);
	return 0;
}
