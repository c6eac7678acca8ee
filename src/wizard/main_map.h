#pragma once
// The world-map tile picker's decisions and the disk-space verdict, apart from their
// drawing: what a frame of mouse input does to the tile selection, and what the size
// block says and whether the install fits.
#include <string>

#include "runtime/rec_stg.h"
#include "wizard/main_engine.h"

// A KB count (1000 bytes) for people: "4.8 GB", "1000 MB", "1024 KB".
std::string size_string(float kb);

// The size block's text and verdict for a volume of `total_bytes` with `free_bytes`
// free and an install needing `need_kb`: fits when free >= need, and the sentence
// follows the same comparison.
struct disk_verdict {
	std::string text;
	int fits = 1;
};
disk_verdict UTIL_disk_verdict(unsigned long long total_bytes, unsigned long long free_bytes, float need_kb,
                               const std::string& enough_text, const std::string& short_text);
// The verdict for the volume holding dest_dir_path and stg's kb_to_install. When the
// free space cannot be read the install fits and the text is empty (nothing is drawn).
disk_verdict UTIL_disk_space_verdict(const std::string& enough_text, const std::string& short_text);

// Where the size block stands and how wide it wraps.
constexpr float size_block_x = 220, size_block_y = 130, size_block_wrap = 560;

// Draws the size block of the destination's volume (nothing when its free space cannot
// be read) and returns whether the install fits (1 then too).
int UTIL_disk_space(const std::string& enough_text, const std::string& short_text);

// Draws the world map of tiles for one frame and handles its mouse: dragging selects or
// clears tiles, two image buttons select or clear them all; the totals are recomputed
// once when anything changed.
void UTIL_world_map();

// The map's place: its lower-left corner, size and tile edge, in interface units.
constexpr float kMapLeft = 248.0f;
constexpr float kMapBottom = 150.0f;
constexpr float kMapWidth = 504.0f;
constexpr float kMapHeight = 252.0f;
constexpr float kTileSize = 14.0f;

// The two image buttons under the map, cut from the elements atlas: select every tile,
// clear every tile.
constexpr wizard_button map_select_all = {470, 120, 255, 114};
constexpr wizard_button map_select_none = {620, 120, 374, 132};

struct map_rect {
	float x0, y0, x1, y1;
};
// The square of tile (lon_band c, lat_band r), shifted by the window's origin.
map_rect UTIL_map_tile(int c, int r, float origin_x, float origin_y);

// What the picker remembers between frames: the last mouse-down and the value a drag
// writes. A drag lives only from a mouse-down the picker saw to the release, so a
// press still held from another screen never drags.
struct world_map_drag {
	float o_x = 0.0f, o_y = 0.0f;
	int o_use = 0;
	bool dragging = false;
	int last_frame = 0;  // the frame the picker last saw
};

// One frame of mouse input, in the same units as the map.
struct world_map_mouse {
	float x = 0.0f, y = 0.0f;
	bool went_down = false;  // the button went down this frame
	bool held = false;       // the button is down now
	int frame = 0;           // the frame counter
};

// Applies one frame of input to `selected` (stg's tile words, index stg_tile(r, c)):
// a mouse-down on a tile chooses whether the drag selects or clears, and while the
// button is held every tile the drag's rectangle overlaps takes that value, available
// or not. A frame or more without the picker (another screen, a modal box) ends a drag:
// its release was not seen. Returns whether any tile word was written.
bool UTIL_world_map_pick(world_map_drag& d, const world_map_mouse& m, float origin_x, float origin_y,
                         int selected[stg_tile_count]);

// The drag rectangle from the last mouse-down to the mouse, corners ordered.
map_rect UTIL_drag_rect(const world_map_drag& d, const world_map_mouse& m);
