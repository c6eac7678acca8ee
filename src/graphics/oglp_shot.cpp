// Whole-window services of the drawing layer: the background colour, the tiled
// background picture and numbered screenshots.
#include <GL/gl.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>
#include <new>
#include <string>

#include "graphics/colr.h"
#include "graphics/oglp.h"
#include "graphics/tman.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_string.h"
#include "runtime/io_utils.h"

int back_dx = 0;
int back_dy = 0;
std::string back_tex_path = "Resources/bitmaps/intro.png";

namespace {

constexpr int background_colour = 34;
// The picture is cut into a 4 x 4 grid of square tiles of this size.
constexpr int tile_px = 512;
constexpr int tile_grid = 4;
constexpr int picture_max = tile_px * tile_grid;  // 2048, the scratch image's side
constexpr int rgba_bytes = 4, rgb_bytes = 3;
constexpr int first_tile_ref = 427;
constexpr int tile_flags = 0x412;
constexpr const char* tile_name = "scratch_array-t_tex_back (tile)";
// A picture may stand this much higher than the window before it is top-aligned.
constexpr int max_overhang = 512;
constexpr const char* maker_web_address = "www.kestrix.example";

// The fatal alert of a missing background picture: its lines (the fourth is the file)
// and source location.
constexpr const char* missing_lines[] = {
	"Trying to load a texture that you do not have!",
	"This smacks of a mis-installed copy of Kestrix!",
	"Get a new download from ",
	". The missing file is:",
};
constexpr const char* alert_src = "oglp";
constexpr int missing_picture_src_line = 991;

void missing_picture(const std::string& path)
{
	__DIDIVI_alert(0, missing_lines[0], missing_lines[1],
	               std::string(missing_lines[2]) + maker_web_address + missing_lines[3], path, t_exit, alert_src,
	               missing_picture_src_line);
}

uint32_t be32(const unsigned char* p)
{
	return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

int32_t le32(const unsigned char* p)
{
	return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

// The picture's size from its header (PNG or BMP, the two kinds the loader reads), so
// that a picture too large for the scratch image is refused before it is decoded.
bool picture_size(const std::string& path, long& w, long& h)
{
	std::ifstream f(app_path + path, std::ios::binary);
	unsigned char hd[26] = {};
	if (!f.read(reinterpret_cast<char*>(hd), sizeof(hd))) return false;
	if (hd[0] == 'B' && hd[1] == 'M') {
		w = le32(hd + 18);
		h = le32(hd + 22);
		return true;
	}
	static const unsigned char png_sig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
	if (std::memcmp(hd, png_sig, sizeof(png_sig)) == 0 && std::memcmp(hd + 12, "IHDR", 4) == 0) {
		w = long(be32(hd + 16));
		h = long(be32(hd + 20));
		return true;
	}
	return false;
}

}  // namespace

void OGL_plot_back_col()
{
	OGL_fillrect(background_colour, 1.0f, -mnw.dialog_x, -mnw.dialog_y, float(mnw.res_x), float(mnw.res_y));
}

void OGL_make_back_tex()
{
	if (mnw.current_window != -1) return;
	constexpr size_t image_bytes = size_t(picture_max) * picture_max * rgba_bytes;
	std::memset(scratch_array, 0, image_bytes);
	long w = 0, h = 0;
	TEX_image_desc desc{};
	unsigned char* buf = scratch_array;
	// A quitting alert does not return on the main thread; should a presenter return
	// all the same, nothing more is done.
	if (!picture_size(back_tex_path, w, h) || w > picture_max || h > picture_max ||
	    !TEX_load_any(back_tex_path, &buf, GL_RGBA, picture_max, 0, &desc) || desc.width > picture_max ||
	    desc.height > picture_max) {
		missing_picture(back_tex_path);
		return;
	}
	back_dx = desc.width;
	back_dy = desc.height;

	std::unique_ptr<unsigned char[]> copy(new (std::nothrow) unsigned char[image_bytes]);
	if (!copy) return;
	std::memcpy(copy.get(), scratch_array, image_bytes);

	OGL_setstate(fog_fals, 1, lit_fals, al_blend, deR_fals, deW_fals);
	constexpr size_t src_stride = size_t(picture_max) * rgba_bytes;  // the loaded rows' length
	constexpr size_t tile_stride = size_t(tile_px) * rgba_bytes;
	for (int r = 0; r < tile_grid; ++r)
		for (int c = 0; c < tile_grid; ++c) {
			std::memset(scratch_array, 0, tile_stride * tile_px);
			const int rows = std::min(back_dy - tile_px * r, tile_px);
			const int cols = std::min(back_dx - tile_px * c, tile_px);
			if (rows > 0 && cols > 0)
				for (int y = 0; y < rows; ++y)
					std::memcpy(scratch_array + tile_stride * y,
					            copy.get() + src_stride * (size_t(tile_px) * r + y) + size_t(tile_px) * c * rgba_bytes,
					            size_t(cols) * rgba_bytes);
			scratch_dx = scratch_dy = tile_px;
			tman.load_texture(tex_fail_fatal, first_tile_ref + tile_grid * r + c, tile_flags, tex_loaded, tile_name);
		}
}

void OGL_plot_back_tex()
{
	float left = mnw.area_x, right = left + float(back_dx), bottom = 0, top = float(back_dy);
	if (mnw.current_window == -1) {
		right = float(std::min(mnw.res_x, back_dx));
		left = right - float(back_dx);
		const int d = std::clamp(back_dy - mnw.res_y, 0, max_overhang);
		top = float(d + mnw.res_y);
		bottom = top - float(back_dy);
		if (back_dx < mnw.res_x || back_dy < mnw.res_y)
			OGL_fillrect(background_colour, 1.0f, -mnw.dialog_x, -mnw.dialog_y, float(mnw.res_x), float(mnw.res_y));
	}
	const bool opaque = ren.global_alpha > 0.99f;
	OGL_setstate(fog_fals, 1, lit_fals, opaque ? al_test : al_blend, deR_fals, deW_fals);
	OGL_palette_colour(0, 1.0f);
	// Each tile covers the square of the picture it holds, cut to the picture.
	for (int i = 0; i < tile_grid; ++i)
		for (int j = 0; j < tile_grid; ++j) {
			const float tx = left + float(tile_px * j), ty = bottom + float(tile_px * i);
			const float x1 = std::clamp(tx, left, right), x2 = std::clamp(tx + tile_px, left, right);
			const float y1 = std::clamp(ty, bottom, top), y2 = std::clamp(ty + tile_px, bottom, top);
			if (x2 <= x1 || y2 <= y1) continue;
			if (!(x2 > 0 && x1 < float(mnw.res_x) && y2 > 0 && y1 < float(mnw.res_y))) continue;
			const float s1 = (x1 - tx) / tile_px, s2 = (x2 - tx) / tile_px;
			const float t1 = (y1 - ty) / tile_px, t2 = (y2 - ty) / tile_px;
			tman.bind_ref(first_tile_ref + tile_grid * i + j, 0, 0);
			glBegin(GL_QUADS);
			glTexCoord2f(s1, t1);
			glVertex2f(x1, y1);
			glTexCoord2f(s1, t2);
			glVertex2f(x1, y2);
			glTexCoord2f(s2, t2);
			glVertex2f(x2, y2);
			glTexCoord2f(s2, t1);
			glVertex2f(x2, y1);
			glEnd();
		}
}

void OGL_screenshot(int save)
{
	static int shot = -1;
	const int w = std::clamp(mnw.res_x, 0, picture_max), h = std::clamp(mnw.res_y, 0, picture_max);
	// Rows of an odd width are not padded to four bytes.
	glPixelStorei(GL_PACK_ALIGNMENT, 1);
	glReadPixels((mnw.res_x - w) / 2, (mnw.res_y - h) / 2, w, h, GL_RGB, GL_UNSIGNED_BYTE, scratch_array);
	if (!save) return;
	std::string name;
	do {
		++shot;
		char num[16];
		int_to_str(shot, num, 1, 0);
		name = std::string("screenshot_") + num + ".png";
	} while (file_exists(name));
	write_png_to_disk(name, w, h, rgb_bytes);
}
