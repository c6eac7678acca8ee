// Start-up's upload of the four built-in atlases and the interface colours taken from
// the legend swatches painted into the interface atlas.
#include <cstdint>
#include <cstring>
#include <mutex>

#include "graphics/builtin_tex.h"
#include "graphics/colr.h"
#include "graphics/TEX_png.h"
#include "graphics/tman.h"

namespace {

constexpr const char* kBuiltinName = "scratch_array:hardwired textures";
constexpr int kFlagsRgb = 0x501;
constexpr int kFlagsRgba = 0x502;
constexpr float kByte = 255.0f;

struct builtin_block {
	const unsigned char* pixels;
	int width, height, bytes_pp, ref, flags;
};

// In upload order.
const builtin_block kBlocks[] = {
	{g_tex_background, 800, 600, 3, t_background, kFlagsRgb},
	{g_tex_elements, 1024, 70, 4, t_elements, kFlagsRgba},
	{g_tex_map, 504, 504, 4, t_world_map, kFlagsRgba},
	{g_tex_interface, 512, 512, 4, t_interface, kFlagsRgba},
};

// Palette entries read from single legend pixels of the interface atlas.
struct legend_swatch {
	int entry, x, y;
};
const legend_swatch kLegend[] = {
	{34, 319, 155}, {35, 319, 147}, {36, 319, 139}, {37, 319, 131}, {38, 319, 123}, {40, 319, 115}, {41, 319, 107},
	{42, 319, 99},  {43, 319, 91},  {45, 319, 83},  {46, 319, 75},  {47, 319, 67},  {44, 395, 115},
};
constexpr int kMeanEntry = 39, kMeanA = 35, kMeanB = 38;
constexpr int kInterfaceStride = 512;

void upload(const builtin_block& b)
{
	unsigned char* dst = tman_scratch();
	scratch_dx = b.width;
	scratch_dy = b.height;
	const int w = TEX_next_pow2(b.width), h = TEX_next_pow2(b.height);
	const std::size_t src_row = std::size_t(b.width) * b.bytes_pp, dst_row = std::size_t(w) * b.bytes_pp;
	for (int r = 0; r < b.height; ++r) {
		std::memcpy(dst + r * dst_row, b.pixels + r * src_row, src_row);
		// Padding goes up as zeros, never as what an earlier upload left there.
		std::memset(dst + r * dst_row + src_row, 0, dst_row - src_row);
	}
	std::memset(dst + std::size_t(b.height) * dst_row, 0, std::size_t(h - b.height) * dst_row);
	scratch_dx = w;
	const int ref = tman.load_texture(tex_fail_fatal, b.ref, b.flags, tex_loaded, kBuiltinName);
	// The scratch image went up W pixels wide; the picture itself is the block's width,
	// which is what img_dx / tex_dx must give as the far texture coordinate.
	if (ref > 0) {
		std::lock_guard<std::recursive_mutex> hold(tman.lock);
		tman.ref_dat[ref].img_dx = float(b.width);
	}
}

}  // namespace

void TEX_load_builtin_textures()
{
	for (const builtin_block& b : kBlocks) upload(b);
	// The scratch image still holds the interface atlas, 512 pixels a row.
	const unsigned char* atlas = tman_scratch();
	for (const legend_swatch& s : kLegend) {
		const unsigned char* p = atlas + (std::size_t(s.y) * kInterfaceStride + s.x) * 4;
		colr.assign(s.entry, p[0] / kByte, p[1] / kByte, p[2] / kByte);
	}
	colr.assign(kMeanEntry, (colr.palette[kMeanA][0] + colr.palette[kMeanB][0]) / 2,
	            (colr.palette[kMeanA][1] + colr.palette[kMeanB][1]) / 2,
	            (colr.palette[kMeanA][2] + colr.palette[kMeanB][2]) / 2);
}
