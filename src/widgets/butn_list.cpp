// The scrolling list: a panel of rows served by the caller's callbacks, a vertical
// slider for a scroll bar, the wheel, click and double-click, the arrow keys and
// type-ahead, and an optional search field under it.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>
#include <vector>

#include "graphics/oglp.h"
#include "runtime/hl_globals.h"
#include "runtime/xtim.h"
#include "widgets/btn.h"
#include "widgets/butn_core.h"
#include "widgets/butn_geometry.h"

namespace {

constexpr float kDefaultWidth = 290, kDefaultHeight = 220;
constexpr float kRowPitch = 10;
constexpr int kPanelStyle = 16;
constexpr float kSliderGap = 16;
constexpr float kTypeAheadPause = 1.0f;
constexpr int kFirstPrintable = 32, kLastPrintable = 126;
enum { vk_up = 38, vk_down = 40 };

// The search field under the panel.
constexpr float kSearchInsetX = 35, kSearchDrop = 131, kSearchWidth = 252;
constexpr int kSearchMaxLen = 36;

// Rows.
constexpr int kTextColour = 45;
constexpr float kNameInset = 20, kName2Inset = 242, kTextDrop = 3;
constexpr float kTextWrap = 9999;
constexpr float kIconInset = 10, kIconHalf = 6;
constexpr int kBarColour = 12;
constexpr float kBarAlpha = 0.25f, kBarInset = 18, kBarNarrower = 22, kBarDrop = 5, kBarHeight = 10;
constexpr int kFocusColour = 45;

// Row type → the centre of its icon in the interface atlas's small-icon strip: the
// folder, then aircraft, airfoil, weapon, situation, movie, flight plan and object files.
struct type_icon {
	int type;
	float s, t;
};
constexpr float kIconRowT = 84;
constexpr type_icon kIcons[] = {{1, 8, kIconRowT},  {3, 22, kIconRowT},  {4, 36, kIconRowT},  {5, 50, kIconRowT},
                                {9, 64, kIconRowT}, {10, 78, kIconRowT}, {11, 92, kIconRowT}, {7, 106, kIconRowT}};

std::string type_ahead;
float last_type_ahead = -1e9f;
int current_list_id = 0;
BTN_key_queue list_keys;

bool starts_no_case(const std::string& name, const std::string& prefix)
{
	if (name.size() < prefix.size()) return false;
	for (size_t i = 0; i < prefix.size(); ++i)
		if (std::tolower(static_cast<unsigned char>(name[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
			return false;
	return true;
}

}  // namespace

std::string BTN_name_from_vector(int index, void* ref) { return (*static_cast<std::vector<std::string>*>(ref))[size_t(index)]; }

int BTN_type_from_vector(int index, void* ref) { return (*static_cast<std::vector<int>*>(ref))[size_t(index)]; }

int BTN_list_and_search(int slider_index, float x, float y, float width, float height, int* scroll, int* selection,
                        int first, int last, std::string* search_text, std::string label, BTN_name_fn name_fn,
                        void* name_ref, BTN_name_fn name2_fn, void* name2_ref, BTN_type_fn type_fn, void* type_ref)
{
	x = std::round(x);
	y = std::round(y);
	const float w = width > 0 ? width : kDefaultWidth;
	const float H = height > 0 ? height : kDefaultHeight;
	const int rows_half = int(H / 20) - 1;
	const int id = BTN_position_id(x, y);
	const BTN_box panel{x, y - H / 2, x + w, y + H / 2};

	const bool asks = BTN_clicked(panel);
	const int focused = BTN_register_focus(id, list_keys, btn_mask_char_field, asks ? 1 : 0);
	if (focused && id != current_list_id) {
		type_ahead.clear();
		current_list_id = id;
	}

	list_keys.drain(id, [&](const BTN_key& k) {
		if (k.vkey == vk_down) {
			++*selection;
			if (*selection > *scroll + rows_half) *scroll = *selection - rows_half;
			return;
		}
		if (k.vkey == vk_up) {
			--*selection;
			if (*selection < *scroll - rows_half) *scroll = *selection + rows_half;
			return;
		}
		if (k.character < kFirstPrintable || k.character > kLastPrintable) return;
		if (xtim.elapsed - last_type_ahead > kTypeAheadPause) type_ahead.clear();
		type_ahead += char(k.character);
		last_type_ahead = xtim.elapsed;
		for (int i = first; i <= last; ++i) {
			if (!starts_no_case(name_fn(i, name_ref), type_ahead)) continue;
			*selection = i;
			if (i > *scroll + rows_half) *scroll = i - rows_half;
			if (*selection < *scroll - rows_half) *scroll = *selection + rows_half;
			break;
		}
	});

	if (search_text)
		BTN_enterstring(x + kSearchInsetX, y - kSearchDrop, search_text, kSearchMaxLen, label, kSearchWidth, 1);
	if (last < first) return 0;

	BTN_frame2(kPanelStyle, x, y - H / 2, w, H, "");
	if (first < last) BTN_vert_slider(slider_index, x + w + kSliderGap, y - H / 2, y + H / 2, first, last, scroll);

	const bool over = panel.contains(mnw.mouse_x, mnw.mouse_y);
	if (over) {
		*scroll -= mnw.mouse_wheel;
		mnw.mouse_wheel = 0;
	}
	*scroll = std::clamp(*scroll, first, last);

	int result = 0;
	if (BTN_clicked(panel)) {
		*selection = *scroll - int(std::round((mnw.mouse_y - y) / kRowPitch));
		if (mnw.double_click) result = 1;
	}
	*selection = std::clamp(*selection, first, last);

	for (int k = -rows_half; k <= rows_half; ++k) {
		const int i = *scroll + k;
		if (i < first || i > last) continue;
		const float ry = y - kRowPitch * float(k);
		OGL_string(kTextColour, x + kNameInset, ry - kTextDrop, name_fn(i, name_ref), kTextWrap,
		           charset_UI_diff_space, 0);
		if (name2_fn)
			OGL_string(kTextColour, x + kName2Inset, ry - kTextDrop, name2_fn(i, name2_ref), kTextWrap,
			           charset_UI_diff_space, 0);
		if (type_fn) {
			const int t = type_fn(i, type_ref);
			for (const type_icon& ic : kIcons)
				if (ic.type == t) BTN_util_element(x + kIconInset, ry, ic.s, ic.t, kIconHalf, kIconHalf, 0);
		}
		if (i == *selection)
			OGL_fillrect(kBarColour, kBarAlpha, x + kBarInset, ry - kBarDrop, w - kBarNarrower, kBarHeight);
	}
	if (focused) OGL_framerect(kFocusColour, 1, x, y - H / 2, w, H);
	return result;
}
