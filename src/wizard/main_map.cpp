#include "wizard/main_map.h"

#include <algorithm>
#include <cstdio>

#include "engine/engine.h"
#include "engine/engine_globals.h"
#include "graphics/colr.h"
#include "graphics/ogl_draw.h"
#include "graphics/tman.h"
#include "runtime/hl_globals.h"
#include "runtime/io_utils.h"
#include "runtime/translate.h"
#include "runtime/xtim.h"
#include "wizard/main_engine.h"
#include "wizard/main_trace.h"

namespace {
// The formatter's steps: KB of 1000 bytes divided by powers of two, with the GB
// threshold below the GB divisor, as people have always read these sizes.
constexpr float kGigThreshold = 1024000.0f;
constexpr float kGigDivisor = 1048576.0f;
constexpr float kMegDivisor = 1024.0f;
constexpr unsigned long long kBytesPerKb = 1000;
// Where and how the size block is drawn.
constexpr int kBlockColour = 45;
constexpr int kAlignLeft = 0;
constexpr char kSizeFormat[] = "Disk size: %s\nFree disk space: %s\nDisk space needed to install: %s.\n\n%s";
// Some drives (FAT through FUSE, for one) report no size at all: that is a drive whose
// room is unknown, not a full one, and the user may go on; a run that fills it fails
// per file as on any full disk.
constexpr char kUnknownSizeFormat[] =
    "Disk size: unknown\nFree disk space: unknown\nDisk space needed to install: %s.\n\nThis drive does not "
    "report its size, so I cannot tell whether it has enough free space. Please make sure that it does.";

std::string format(const char* f, double v)
{
	char buf[64];
	std::snprintf(buf, sizeof buf, f, v);
	return buf;
}

// Fills the size block's format: each "%s" in turn takes the next value.
std::string fill(const std::string& f, const std::string (&values)[4])
{
	std::string out;
	size_t at = 0;
	int next = 0;
	for (size_t p = f.find("%s"); p != std::string::npos && next < 4; p = f.find("%s", at)) {
		out += f.substr(at, p - at) + values[next++];
		at = p + 2;
	}
	return out + f.substr(at);
}

// The map's drawing: the atlas is addressed as 512 texels square; the image over
// available tiles lies one map height above the base map, tile for tile.
constexpr float kAtlasTexels = 512.0f;
constexpr float kUpperImage = 252.0f;
constexpr int kTileColour = 49;
constexpr float kSelectedAlpha = 1.0f;
constexpr float kDeselectedAlpha = 0.5f;
constexpr int kWhiteEntry = 103;  // set to white before the base map is drawn
constexpr int kDragColour = 12;   // black
constexpr float kDragAlpha = 0.5f;
constexpr int kOneUnit = 1;

constexpr int kHot = 1;
constexpr int kNormalStyle = 0;

// One image button of the elements atlas, hot, in its normal style; 1 when the mouse
// went down on it this frame.
int map_image_button(const wizard_button& b)
{
	return interface_rect(b.x, b.y, b.u, wizard_button_v, b.w, wizard_button_h, kHot, kNormalStyle);
}

void draw_drag_outline(const world_map_drag& d, const world_map_mouse& m)
{
	const float xs[] = {m.x, d.o_x, d.o_x, m.x};
	const float ys[] = {m.y, m.y, d.o_y, d.o_y};
	for (int i = 0; i < 4; ++i) {
		const int j = (i + 1) % 4;
		OGL_line(kDragColour, kDragAlpha, xs[i], ys[i], xs[j], ys[j]);
	}
}

void set_all_tiles(int value)
{
	for (int& t : stg.scenery_selected) t = value;
}

bool overlaps(const map_rect& a, const map_rect& b) { return a.x1 > b.x0 && b.x1 > a.x0 && a.y1 > b.y0 && b.y1 > a.y0; }
bool contains(const map_rect& t, float x, float y) { return x >= t.x0 && x <= t.x1 && y >= t.y0 && y <= t.y1; }
}  // namespace

std::string size_string(float kb)
{
	if (kb > kGigThreshold) return format("%.1f GB", kb / kGigDivisor);
	if (kb > kMegDivisor) return format("%.0f MB", kb / kMegDivisor);
	return format("%.0f KB", kb);
}

disk_verdict UTIL_disk_verdict(unsigned long long total_bytes, unsigned long long free_bytes, float need_kb,
                               const std::string& enough_text, const std::string& short_text)
{
	const float total_kb = float(total_bytes / kBytesPerKb);
	const float free_kb = float(free_bytes / kBytesPerKb);
	disk_verdict v;
	if (total_bytes == 0) {
		v.fits = 1;
		const std::string values[4] = {size_string(need_kb)};
		v.text = fill(UTL_translate_string(kUnknownSizeFormat), values);
		return v;
	}
	v.fits = free_kb >= need_kb;
	const std::string values[4] = {size_string(total_kb), size_string(free_kb), size_string(need_kb),
	                               v.fits ? enough_text : short_text};
	v.text = fill(UTL_translate_string(kSizeFormat), values);
	return v;
}

disk_verdict UTIL_disk_space_verdict(const std::string& enough_text, const std::string& short_text)
{
	unsigned long long total = 0, free_bytes = 0;
	if (get_free_space(dest_dir_path, &total, &free_bytes) != 0) return disk_verdict{};
	return UTIL_disk_verdict(total, free_bytes, stg.kb_to_install, enough_text, short_text);
}

int UTIL_disk_space(const std::string& enough_text, const std::string& short_text)
{
	const disk_verdict v = UTIL_disk_space_verdict(enough_text, short_text);
	if (!v.text.empty()) {
		OGL_string(kBlockColour, size_block_x, size_block_y, v.text, size_block_wrap, charset_UI_diff_space, kAlignLeft);
		// Drawn beside the screen's own text, outside what the screen fills in: the trace
		// carries it on its own, so the totals can be followed from outside.
		wizard_trace_sizes(v.text);
	}
	return v.fits;
}

map_rect UTIL_map_tile(int c, int r, float origin_x, float origin_y)
{
	const float x = kMapLeft + kTileSize * c + origin_x;
	const float y = kMapBottom + kTileSize * r + origin_y;
	return {x, y, x + kTileSize, y + kTileSize};
}

map_rect UTIL_drag_rect(const world_map_drag& d, const world_map_mouse& m)
{
	return {std::min(d.o_x, m.x), std::min(d.o_y, m.y), std::max(d.o_x, m.x), std::max(d.o_y, m.y)};
}

bool UTIL_world_map_pick(world_map_drag& d, const world_map_mouse& m, float origin_x, float origin_y,
                         int selected[stg_tile_count])
{
	if (m.frame - d.last_frame > 1) d.dragging = false;
	d.last_frame = m.frame;
	if (m.went_down) {
		d.o_x = m.x;
		d.o_y = m.y;
		d.dragging = true;
		// A press on a selected tile starts a clearing drag; on a shared edge the last
		// tile in column order decides. A press off the map keeps the last choice.
		for (int c = 0; c < stg_lon_bands; ++c)
			for (int r = 0; r < stg_lat_bands; ++r)
				if (contains(UTIL_map_tile(c, r, origin_x, origin_y), m.x, m.y)) d.o_use = selected[stg_tile(r, c)] ? 0 : 1;
	}
	if (!m.held) d.dragging = false;
	if (!d.dragging) return false;
	bool changed = false;
	const map_rect drag = UTIL_drag_rect(d, m);
	for (int c = 0; c < stg_lon_bands; ++c)
		for (int r = 0; r < stg_lat_bands; ++r)
			if (overlaps(UTIL_map_tile(c, r, origin_x, origin_y), drag)) {
				selected[stg_tile(r, c)] = d.o_use;
				changed = true;
			}
	return changed;
}

void UTIL_world_map()
{
	static world_map_drag drag;
	// Drawing and the mouse are both measured from the window's origin here, so the
	// tiles are hit-tested without it.
	const world_map_mouse m{mnw.mouse_x, mnw.mouse_y, mnw.mouse_down != 0, mnw.mouse_held != 0 || mnw.mouse_down != 0,
	                        xtim.frame_count};
	OGL_setstate(fog_fals, kOneUnit, lit_fals, al_blend, deR_fals, deW_fals);
	colr.assign(kWhiteEntry, 1.0f, 1.0f, 1.0f);
	const float x0 = kMapLeft, y0 = kMapBottom, x1 = kMapLeft + kMapWidth, y1 = kMapBottom + kMapHeight;
	const float s1 = kMapWidth / kAtlasTexels, t1 = kMapHeight / kAtlasTexels;
	OGL_2dquad(t_world_map, kWhiteEntry, 1.0f, x0, y0, 0, 0, x0, y1, 0, t1, x1, y1, s1, t1, x1, y0, s1, 0, kOneUnit,
	           al_blend);

	bool changed = UTIL_world_map_pick(drag, m, 0.0f, 0.0f, stg.scenery_selected);
	for (int c = 0; c < stg_lon_bands; ++c)
		for (int r = 0; r < stg_lat_bands; ++r) {
			const int i = stg_tile(r, c);
			if (!stg.scenery_available[i]) continue;
			const map_rect t = UTIL_map_tile(c, r, 0.0f, 0.0f);
			const float ts0 = kTileSize * c / kAtlasTexels, ts1 = (kTileSize * c + kTileSize) / kAtlasTexels;
			const float tt0 = (kTileSize * r + kUpperImage) / kAtlasTexels;
			const float tt1 = (kTileSize * r + kTileSize + kUpperImage) / kAtlasTexels;
			OGL_2dquad(t_world_map, kTileColour, stg.scenery_selected[i] ? kSelectedAlpha : kDeselectedAlpha, t.x0,
			           t.y0, ts0, tt0, t.x0, t.y1, ts0, tt1, t.x1, t.y1, ts1, tt1, t.x1, t.y0, ts1, tt0, kOneUnit,
			           al_blend);
		}
	if (drag.dragging) draw_drag_outline(drag, m);

	if (map_image_button(map_select_all)) {
		set_all_tiles(1);
		changed = true;
	}
	if (map_image_button(map_select_none)) {
		set_all_tiles(0);
		recalc_disk_sizes();
		return;
	}
	if (changed) recalc_disk_sizes();
}
