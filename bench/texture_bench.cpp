// Texture benchmark: the image readers and writers and the texture manager against the
// libraries they stand on, measured in one run on the same pictures.
//   texture_bench [--reps N]
// Prints the median of N runs (default 5) of each side and their ratio.
#include <png.h>
#include <squish.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "graphics/TEX_dds.h"
#include "graphics/TEX_png.h"
#include "graphics/TEX_utils.h"
#include "graphics/tman.h"
#include "runtime/hl_globals.h"
#include "runtime/rec_glext.h"
#include "runtime/rec_mnw.h"
#include "runtime/xmap.h"
#include "support/gl_test_context.h"
#include "support/test_env.h"

namespace {

using clock_type = std::chrono::steady_clock;

double median_ms(int reps, const std::function<void()>& f)
{
	std::vector<double> t;
	for (int i = 0; i < reps; ++i) {
		const auto a = clock_type::now();
		f();
		t.push_back(std::chrono::duration<double, std::milli>(clock_type::now() - a).count());
	}
	std::sort(t.begin(), t.end());
	return t[t.size() / 2];
}

void row(const char* what, double ours, const char* ref_name, double ref)
{
	std::printf("%-44s %9.2f ms   %-28s %9.2f ms   ratio %.3f\n", what, ours, ref_name, ref, ours / ref);
}

// A picture with smooth gradients and some noise: compresses like artwork, not like zeros.
std::vector<unsigned char> picture(int w, int h, int ch)
{
	std::vector<unsigned char> px(std::size_t(w) * h * ch);
	unsigned seed = 12345;
	for (int y = 0; y < h; ++y)
		for (int x = 0; x < w; ++x) {
			seed = seed * 1103515245u + 12345u;
			const int n = int((seed >> 16) & 15);
			unsigned char* p = &px[(std::size_t(y) * w + x) * ch];
			p[0] = (unsigned char)((x * 255 / w + n) & 255);
			p[1] = (unsigned char)((y * 255 / h + n) & 255);
			p[2] = (unsigned char)(((x + y) * 127 / w) & 255);
			if (ch == 4) p[3] = (unsigned char)(x % 64 < 4 ? 0 : 255);
		}
	return px;
}

// A bare libpng read of the same file from memory into the same buffer.
struct mem_reader {
	const unsigned char* p;
	std::size_t left;
};
void mem_read(png_structp png, png_bytep out, png_size_t n)
{
	auto* m = static_cast<mem_reader*>(png_get_io_ptr(png));
	if (n > m->left) png_error(png, "short");
	std::memcpy(out, m->p, n);
	m->p += n;
	m->left -= n;
}

void bare_png_read(const std::string& path, unsigned char* out)
{
	xmap_class f(path);
	mem_reader m{reinterpret_cast<const unsigned char*>(f.begin), std::size_t(f.end - f.begin)};
	png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
	png_infop info = png_create_info_struct(png);
	if (setjmp(png_jmpbuf(png))) {
		png_destroy_read_struct(&png, &info, nullptr);
		return;
	}
	png_set_read_fn(png, &m, mem_read);
	png_read_info(png, info);
	const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
	png_read_update_info(png, info);
	std::vector<png_bytep> rows(h);
	for (png_uint_32 i = 0; i < h; ++i) rows[i] = out + std::size_t(h - 1 - i) * w * 4;
	png_read_image(png, rows.data());
	png_destroy_read_struct(&png, &info, nullptr);
}

}  // namespace

int main(int argc, char** argv)
{
	int reps = 5;
	for (int i = 1; i + 1 < argc; ++i)
		if (std::string(argv[i]) == "--reps") reps = std::max(1, std::atoi(argv[i + 1]));
	kx_test::TempEnv env;
	app_path = env.root();
	mnw.texture_res = 5;  // full resolution, the shell's start value
	unsigned char* buf = scratch_array_temp;

	// 1. PNG read, 2048 x 2048 RGBA.
	{
		const auto px = picture(2048, 2048, 4);
		TEX_save_png("big.png", {GL_RGBA, 2048, 2048, 0, 0}, px.data());
		const double ours = median_ms(reps, [&] {
			xmap_class f("big.png");
			TEX_image_desc d{};
			TEX_load_png("big.png", f, &buf, GL_RGBA, 0, 0, 0, &d);
		});
		const double bare = median_ms(reps, [&] { bare_png_read("big.png", buf); });
		row("TEX_load_png 2048x2048 RGBA", ours, "bare libpng read", bare);
	}

	// 2. S3TC: TEX_save_dds against squish on the same levels; TEX_encode_s3tc per quality.
	{
		const auto px = picture(1024, 1024, 4);
		std::vector<std::vector<unsigned char>> levels;
		std::vector<unsigned char> lv = px;
		for (int w = 1024;; w /= 2) {
			levels.push_back(lv);
			if (w == 1) break;
			std::vector<unsigned char> next(std::size_t(w / 2) * (w / 2) * 4);
			for (int y = 0; y < w / 2; ++y)
				for (int x = 0; x < w / 2; ++x)
					for (int c = 0; c < 4; ++c)
						next[(std::size_t(y) * (w / 2) + x) * 4 + c] =
							(unsigned char)((lv[(std::size_t(2 * y) * w + 2 * x) * 4 + c] + lv[(std::size_t(2 * y) * w + 2 * x + 1) * 4 + c] +
							                 lv[(std::size_t(2 * y + 1) * w + 2 * x) * 4 + c] + lv[(std::size_t(2 * y + 1) * w + 2 * x + 1) * 4 + c]) >> 2);
			lv.swap(next);
		}
		const int dds_reps = std::max(1, reps / 2);
		const double ours = median_ms(dds_reps, [&] { TEX_save_dds("big.dds", px.data(), {GL_RGBA, 1024, 1024, 0, 0}); });
		std::vector<unsigned char> blocks(squish::GetStorageRequirements(1024, 1024, squish::kDxt5));
		const double sq = median_ms(dds_reps, [&] {
			int w = 1024;
			for (const auto& l : levels) {
				squish::CompressImage(l.data(), w, w, blocks.data(), squish::kDxt5 | squish::kColourIterativeClusterFit);
				w = std::max(1, w / 2);
			}
		});
		row("TEX_save_dds 1024x1024 RGBA (DXT5)", ours, "squish::CompressImage levels", sq);

		const TEX_image_desc in{GL_RGBA, 512, 512, 0, 0}, out{GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 512, 512, 0, 0};
		const int fits[] = {squish::kColourRangeFit, squish::kColourClusterFit, squish::kColourIterativeClusterFit};
		const char* names[] = {"range fit", "cluster fit", "iterative cluster fit"};
		for (int q = 0; q < 3; ++q) {
			const double t = median_ms(dds_reps, [&] { TEX_encode_s3tc(in, out, levels[1].data(), blocks.data(), TEX_s3tc_quality(q)); });
			const double s = median_ms(dds_reps, [&] {
				squish::CompressImage(levels[1].data(), 512, 512, blocks.data(), squish::kDxt5 | fits[q]);
			});
			std::printf("TEX_encode_s3tc DXT5 %-22s %8.2f Mpixel/s   squish %8.2f Mpixel/s\n", names[q],
			            512.0 * 512 / 1e3 / t, 512.0 * 512 / 1e3 / s);
		}
	}

	// 3. The texture manager in a headless context: PNG against DDS, and the atlases.
	GlTestContext gl(64, 64);
	if (!gl.ok()) {
		std::printf("no headless OpenGL (%s): texture uploads not measured\n", gl.why().c_str());
		return 0;
	}
	GlTestContext::fill_glext_entry_points();
	glExt.tex_comp_avail = 1;
	glExt.max_tex_size = 2048;
	TEX_reset_bind();
	{
		const auto px = picture(1024, 1024, 4);
		TEX_save_png("pic.png", {GL_RGBA, 1024, 1024, 0, 0}, px.data());
		TEX_save_dds("dds/pic.dds", px.data(), {GL_RGBA, 1024, 1024, 0, 0});
		kx_test::write_file(env.path("dds/.keep"), "");
		TEX_save_dds("dds/pic.dds", px.data(), {GL_RGBA, 1024, 1024, 0, 0});
		const double p = median_ms(reps, [&] {
			tman.load_texture(tex_fail_silent, 600, tex_col_rgba, tex_loaded, "pic.png");
			glFinish();
		});
		int got = 0;
		const double d = median_ms(reps, [&] {
			got = tman.load_texture(tex_fail_silent, 601, tex_col_rgba, tex_loaded, "dds/pic.png");
			glFinish();
		});
		if (got != 601 || tman.ref_dat[601].gl_format != GL_COMPRESSED_RGBA_S3TC_DXT5_EXT ||
		    tman.ref_dat[601].img_dx != 1024)
			std::printf("the DDS picture did not load as DXT5\n");
		row("load_texture 1024x1024 PNG", p, "the same picture as DXT5 DDS", d);
	}
	{
		const double t = median_ms(reps, [] {
			TEX_load_builtin_textures();
			glFinish();
		});
		std::printf("TEX_load_builtin_textures (four atlases)       %9.2f ms   (goal under 30 ms)\n", t);
	}
	return 0;
}
