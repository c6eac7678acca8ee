#include "widgets/butn_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "graphics/oglp.h"

namespace {

constexpr float kInterfaceAtlas = 512;  // texture 392 is 512 x 512
constexpr float kElementsS = 1024;      // texture 393 is addressed as 1024 x 128
constexpr float kElementsT = 128;
constexpr size_t kSplitAbove = 12;      // label parts longer than this may take two lines
constexpr float kAutoWidthPad = 21;     // an automatic button width is the label's plus this

// One horizontal three-slice bar style.
struct bar_style {
	int style;
	float cap, L, A, h, extra, s, t, y_shift;
};
const bar_style kBarStyles[] = {
	{0, 10, 90, 100, 26, 0, 1, 487, -3},     // menu bar
	{1, 20, 80, 100, 26, 0, 102, 487, -3},   // window top bar
	{2, 10, 42, 52, 26, 0, 304, 486, 0},     // push button, up
	{3, 10, 42, 52, 26, 0, 304, 459, 0},     // push button, down
	{4, 10, 18, 28, 16, 0, 112, 161, 0},     // progress bar trough
	{5, 10, 18, 28, 16, 0, 83, 161, 0},      // progress bar fill
	{7, 10, 55, 65, 24, 0, 240, 242, 0},     // horizontal slider trough
	{8, 7, 9, 16, 16, 0, 289, 219, 0},       // horizontal slider thumb
	{9, 10, 41, 51, 26, 4, 262, 133, 0},     // text or number field box
	{10, 26, 42, 68, 24, 4, 357, 488, 0},    // pop-up list box
};

const BTN_panel_style kPanelStyles[] = {
	{btn_tex_interface, 9, 14, 4, 1, 358, 100, 35, 30, 30, 40},
	{btn_tex_interface, 9, 14, 4, 102, 358, 100, 35, 30, 30, 43},
	{btn_tex_interface, 9, 14, 4, 203, 358, 100, 35, 30, 30, 43},
	{btn_tex_interface, 9, 14, 4, 304, 358, 100, 35, 30, 30, 43},
	{btn_tex_interface, 9, 14, 4, 405, 358, 100, 35, 30, 30, 47},
	{btn_tex_interface, 2, 2, 2, 1, 289, 68, 23.8f, 20.4f, 20.4f, 43},
	{btn_tex_interface, 8, 13, 2, 70, 315, 42, 20, 26, 14, 43},
	{btn_tex_interface, 8, 13, 2, 113, 315, 42, 14.7f, 12.6f, 12.6f, 43},
	{btn_tex_interface, 6, 9, 4, 440, 12, 44, 15.4f, 13.2f, 13.2f, 43},
	{btn_tex_elements, 1, 1, 1, 982, 2, 41, 14.35f, 12.3f, 12.3f, 43},
};
constexpr int kFirstPanelStyle = 11;

// The vertical slider trough.
constexpr int kTroughStyle = 6;
constexpr float kTroughHalfWidth = 10, kTroughS1 = 102, kTroughS2 = 122, kTroughCap = 10, kTroughTile = 20;
constexpr float kTroughBottomT = 248, kTroughMidT = 258, kTroughTopT = 278, kTroughEndT = 288, kTroughExtra = 8;

// Title-bar boxes.
constexpr float kZapLeftX1 = 7, kZapLeftX2 = 25, kZapRightInset = 16, kZapTopInset = 10, kZapHalf = 9;
constexpr float kZapS1 = 120, kZapS2 = 138, kZapUpT1 = 178, kZapUpT2 = 196, kZapDownT1 = 197, kZapDownT2 = 215;

// Lays tiles of `tile` units between `from` and `to`; the last one is cut where `to`
// falls and reports its cut length. No room gives no tile, never one drawn backwards.
struct tile_run {
	float from, to;
};
std::vector<tile_run> lay_tiles(float from, float to, float tile, int count)
{
	std::vector<tile_run> out;
	if (to <= from || tile <= 0) return out;
	for (int k = 0; k < count; ++k) {
		float a = from + float(k) * tile;
		if (a >= to) break;
		out.push_back({a, std::min(a + tile, to)});
	}
	return out;
}

BTN_quad quad(float x1, float y1, float x2, float y2, float s1, float t1, float s2, float t2, float s_scale,
              float t_scale)
{
	return {x1, y1, x2, y2, s1 / s_scale, t1 / t_scale, s2 / s_scale, t2 / t_scale};
}

}  // namespace

BTN_label BTN_split_label(const std::string& label)
{
	BTN_label out;
	const size_t n = label.size();
	size_t p = label.rfind('|');
	size_t q = label.rfind('{');
	if (q == std::string::npos) q = n;
	if (p != std::string::npos) {
		out.text = label.substr(0, p);
		// With the last '{' before the last '|' the mid part is empty.
		if (q > p + 1) out.mid = label.substr(p + 1, q - p - 1);
	} else {
		out.text = label.substr(0, q);
	}
	// The '{' and the character after it are skipped; a label ending in '{' has no help.
	if (q < n && q + 2 <= n) out.tail = label.substr(q + 2);
	return out;
}

void BTN_expand_label(const std::string& label, std::string* text, std::string* mid, std::string* tail)
{
	BTN_label l = BTN_split_label(label);
	if (text) *text = l.text;
	if (mid) *mid = l.mid;
	if (tail) *tail = l.tail;
}

BTN_label_lines BTN_label_split_lines(std::string text, int align)
{
	const bool one_line = !text.empty() && text[0] == '-';
	if (one_line) text.erase(0, 1);
	BTN_label_lines out;
	if (align == 1 || one_line || text.size() <= kSplitAbove) {
		out.first = text;
		return out;
	}
	const long len = long(text.size()), half = len / 2;
	long best = -1;
	for (long i = 1; i < len; ++i) {
		char c = text[size_t(i)];
		if (c != ' ' && c != '-' && c != '/') continue;
		if (best < 0 || std::labs(i - half) < std::labs(best - half)) best = i;
	}
	if (best >= 1 && best < len - 1) {
		out.first = text.substr(0, size_t(best));
		out.second = text.substr(size_t(best) + 1);
	} else {
		out.first = text;
	}
	return out;
}

BTN_frame_geometry BTN_frame1_geometry(int style, float x, float y, float width)
{
	BTN_frame_geometry g;
	const bar_style* st = nullptr;
	for (const bar_style& b : kBarStyles)
		if (b.style == style) st = &b;
	if (!st) return g;
	g.ok = true;
	x = std::round(x);
	const float half = std::round(width / 2);
	const float W = 2 * half + st->extra;
	y += st->y_shift;
	const float left = x - W / 2, y1 = y - st->h / 2, y2 = y + st->h / 2;
	// The menu and top bars are one row taller than what is left of the atlas above them:
	// their top row repeats the atlas's last row instead of sampling past it.
	const float t1 = st->t, t2 = std::min(st->t + st->h, kInterfaceAtlas);
	const float s0 = st->s, s_cap = s0 + st->cap, s_L = s0 + st->L, s_A = s0 + st->A;
	auto q = [&](float a, float b, float sa, float sb) {
		return quad(left + a, y1, left + b, y2, sa, t1, sb, t2, kInterfaceAtlas, kInterfaceAtlas);
	};

	g.quads.push_back(q(0, st->cap, s0, s_cap));
	const float tile = st->L - st->cap;
	const int count = int((W - 2 * st->cap) / tile) + 1;
	std::vector<tile_run> tiles = lay_tiles(st->cap, W - st->cap, tile, count);
	for (size_t k = 0; k < tiles.size(); ++k) {
		float s_right = s_L;
		if (k + 1 == tiles.size()) {
			// The cut tile keeps the proportion of its length over L, as the bars always drew.
			float cut = tiles[k].to - tiles[k].from;
			s_right = std::clamp(s_cap + (s_L - s_cap) * (cut / st->L), s_cap, s_L);
		}
		g.quads.push_back(q(tiles[k].from, tiles[k].to, s_cap, s_right));
	}
	g.quads.push_back(q(W - st->cap, W, s_L, s_A));
	return g;
}

BTN_frame_geometry BTN_frame0_geometry(int style, float x, float y, float length)
{
	BTN_frame_geometry g;
	if (style != kTroughStyle) return g;
	g.ok = true;
	const float H = 2 * std::round(length / 2) + kTroughExtra;
	const float bottom = y - H / 2, x1 = x - kTroughHalfWidth, x2 = x + kTroughHalfWidth;
	auto q = [&](float a, float b, float ta, float tb) {
		return quad(x1, bottom + a, x2, bottom + b, kTroughS1, ta, kTroughS2, tb, kInterfaceAtlas, kInterfaceAtlas);
	};
	g.quads.push_back(q(0, kTroughCap, kTroughBottomT, kTroughMidT));
	const int count = int(std::ceil((H - 2 * kTroughCap) / kTroughTile));
	std::vector<tile_run> tiles = lay_tiles(kTroughCap, H - kTroughCap, kTroughTile, count);
	for (size_t k = 0; k < tiles.size(); ++k) {
		float t_top = kTroughTopT;
		if (k + 1 == tiles.size()) {
			float cut = tiles[k].to - tiles[k].from;
			t_top = std::clamp(kTroughMidT + cut * 2 / 3, kTroughMidT, kTroughTopT);
		}
		g.quads.push_back(q(tiles[k].from, tiles[k].to, kTroughMidT, t_top));
	}
	g.quads.push_back(q(H - kTroughCap, H, kTroughTopT, kTroughEndT));
	return g;
}

const BTN_panel_style* BTN_panel_style_of(int style)
{
	int i = style - kFirstPanelStyle;
	if (i < 0 || i >= int(std::size(kPanelStyles))) return nullptr;
	return &kPanelStyles[i];
}

BTN_frame_geometry BTN_frame2_geometry(int style, float x, float y, float width, float height)
{
	BTN_frame_geometry g;
	const BTN_panel_style* st = BTN_panel_style_of(style);
	if (!st) return g;
	g.ok = true;
	g.texture = st->texture;
	const float s_scale = st->texture == btn_tex_elements ? kElementsS : kInterfaceAtlas;
	const float t_scale = st->texture == btn_tex_elements ? kElementsT : kInterfaceAtlas;
	const float L = x - st->side, R = x + width + st->side, B = y - st->bottom, T = y + height + st->top;
	const float dw = R - L, dh = T - B;

	// Columns and rows: (screen from, screen to, atlas from, atlas to).
	struct span {
		float a, b, ta, tb;
	};
	const float s0 = st->sprite_s, t0 = st->sprite_t, n = st->size;
	std::vector<span> cols, rows;
	cols.push_back({L, L + st->cap_side, s0, s0 + st->cap_side});
	const float col_tile = n - 2 * st->cap_side;
	int col_count = int((dw - 2 * st->cap_side) / col_tile) + 1;
	for (const tile_run& r : lay_tiles(L + st->cap_side, R - st->cap_side, col_tile, col_count)) {
		float frac = (r.to - r.from) / col_tile;
		cols.push_back({r.from, r.to, s0 + st->cap_side, s0 + st->cap_side + col_tile * frac});
	}
	cols.push_back({R - st->cap_side, R, s0 + n - st->cap_side, s0 + n});

	rows.push_back({B, B + st->cap_bottom, t0, t0 + st->cap_bottom});
	const float row_tile = n - st->cap_bottom - st->cap_top;
	int row_count = int((dh - st->cap_bottom - st->cap_top) / row_tile);
	row_count = row_count < 1 ? 1 : row_count + 1;
	for (const tile_run& r : lay_tiles(B + st->cap_bottom, T - st->cap_top, row_tile, row_count)) {
		float frac = (r.to - r.from) / row_tile;
		rows.push_back({r.from, r.to, t0 + st->cap_bottom, t0 + st->cap_bottom + row_tile * frac});
	}
	rows.push_back({T - st->cap_top, T, t0 + n - st->cap_top, t0 + n});

	for (const span& r : rows)
		for (const span& c : cols) g.quads.push_back(quad(c.a, r.a, c.b, r.b, c.ta, r.ta, c.tb, r.tb, s_scale, t_scale));
	return g;
}

BTN_subwin_rect BTN_subwin_place(float reserve, float x, float y, float width, float height, float window_width,
                                 float window_height)
{
	constexpr float kMargin = 10, kTopMargin = 28;
	if (x < 0) x = kMargin;
	if (y < 0) y = kMargin;
	if (width < 0) width = window_width - kMargin - x;
	if (height < 0) height = window_height - kTopMargin - y - reserve;
	return {x, y, width, height, x + width + kMargin, y + height + kMargin};
}

BTN_zap_geometry BTN_zap_geometry_of(int state, float window_width, float window_height)
{
	const float yc = window_height - kZapTopInset, xr = window_width - kZapRightInset;
	const float t1 = state == 0 ? kZapUpT1 : kZapDownT1, t2 = state == 0 ? kZapUpT2 : kZapDownT2;
	BTN_zap_geometry g;
	g.left = quad(kZapLeftX1, yc - kZapHalf, kZapLeftX2, yc + kZapHalf, kZapS1, t1, kZapS2, t2, kInterfaceAtlas,
	              kInterfaceAtlas);
	g.right = quad(xr - kZapHalf, yc - kZapHalf, xr + kZapHalf, yc + kZapHalf, kZapS1, t1, kZapS2, t2,
	               kInterfaceAtlas, kInterfaceAtlas);
	return g;
}

float BTN_action_width(float width, const std::string& label)
{
	if (width > 0) return width;
	return label.empty() ? kAutoWidthPad : float(ui_text_width(label)) + kAutoWidthPad;
}

float BTN_label_width(const std::string& text, int align)
{
	const BTN_label_lines lines = BTN_label_split_lines(text, align);
	return float(std::max(ui_text_width(lines.first), ui_text_width(lines.second)));
}
