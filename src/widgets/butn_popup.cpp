// The pop-up list button: shows the selected item in a box; a click opens the list,
// which the shell draws and hit-tests from menu slot 1519; the next call collects the
// pick the shell recorded.
#include <algorithm>
#include <string>
#include <vector>

#include "graphics/oglp.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_globals.h"
#include "runtime/rec_menu.h"
#include "shell/hl_mnw.h"
#include "widgets/btn.h"
#include "widgets/butn_browse_logic.h"
#include "widgets/butn_core.h"
#include "widgets/butn_geometry.h"

namespace {

constexpr int kBoxStyle = 10;
constexpr float kBoxShift = 10, kBoxRise = 5, kBoxGrow = 28;
constexpr float kHitLeft = 5, kHitRight = 25, kHitBelow = 2, kHitAbove = 8;
constexpr int kTextColour = 38;
constexpr float kTextWrap = 9999;
constexpr float kItemPitch = 12, kItemBelow = 3, kItemAbove = 9;
constexpr float kMenuLeft = 2, kMenuRight = 4;
constexpr float kFitFloor = 384;  // the fit test always spans this height

int popup_id(float x, float y) { return int(1024 * y + x); }

}  // namespace

int BTN_textlist(float x, float y, int* selection, std::string items, std::string label)
{
	BTN_label l = BTN_split_label(label);
	std::vector<std::string> list;
	const char* fault = nullptr;
	if (!BTN_split_items(items, &list, &fault)) DIDIVI_ALERT(fault, items, "", label, t_exit);
	const int n = int(list.size()) - 1;
	*selection = std::clamp(*selection, 0, n);

	int widest = 0;
	for (const std::string& s : list) widest = std::max(widest, ui_text_width(s));
	const float W = float(widest);

	BTN_frame1(kBoxStyle, x + kBoxShift, y + kBoxRise, W + kBoxGrow, 0);
	BTN_util_draw_label(x - W / 2 - kHitLeft, y, 0, l.text, 0);
	BTN_util_draw_label(x + W / 2 + kHitRight, y, 2, l.mid, 0);

	const int id = popup_id(x, y);
	const BTN_box box{x - W / 2 - kHitLeft, y - kHitBelow, x + W / 2 + kHitRight, y + kHitAbove};
	const bool over = box.contains(mnw.mouse_x, mnw.mouse_y);
	if (mnw.mouse_down && active_popup_code != id && over) active_popup_code = id;

	int result = 0;
	if (select_popup_code == id) {
		*selection = std::clamp(popup_menu_select, 0, n);
		select_popup_code = 0;
		result = 1;
	}

	if (active_popup_code == id) {
		mnw.menu_state = menu_popup_slot;
		if (int(menu.size()) <= menu_popup_slot) menu.resize(menu_popup_slot + 1);
		menu_struct& m = menu[menu_popup_slot];
		const float sel = float(*selection);
		m.parent = -1;
		m.x1 = std::int16_t(int(x - W / 2) - kMenuLeft);
		m.x2 = std::int16_t(int(x + W / 2) + kMenuRight);
		m.y1 = std::int16_t(int(y - kItemPitch * (float(n) - sel)));
		m.y2 = std::int16_t(m.y1 + kItemPitch + kItemPitch * float(n));
		m.items.clear();
		float lo = kFitFloor, hi = kFitFloor;
		for (int i = 0; i <= n; ++i) {
			item_struct it;
			it.text = list[size_t(i)];
			it.korean_font = 0;
			it.x1 = m.x1;
			it.x2 = m.x2;
			it.y1 = std::int16_t(int(y - kItemPitch * (float(i) - sel) - kItemBelow));
			it.y2 = std::int16_t(int(y - kItemPitch * (float(i) - sel) + kItemAbove));
			lo = std::min(lo, float(it.y1));
			hi = std::max(hi, float(it.y2));
			m.items.push_back(it);
		}
		// Nudged one item a frame until the list fits the display.
		if (lo < 0) ++*selection;
		if (hi > float(mnw.res_y)) --*selection;
	} else {
		OGL_string(kTextColour, x, y, list[size_t(*selection)], kTextWrap, charset_UI_diff_space, 1);
		if (over) stls.mouse_help = l.tail;
	}
	return result;
}
