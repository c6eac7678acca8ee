// In-window menus and the pop-up list: the table's building operations, the menu text
// width, the drawing and the menu-file reader.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "graphics/ogl_draw.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_string.h"
#include "runtime/xmap.h"
#include "shell/menus.h"
#include "widgets/btn.h"

namespace {

constexpr const char* kSource = "hl_mnw";

struct alert_row {
	const char* text;
	int line;
};
enum {
	err_create_slot,
	err_append_slot,
	err_append_item,
	err_append_long,
	err_remove_slot,
	err_remove_item,
};
constexpr alert_row kMenuAlerts[] = {
	{"Menu index out of range in create_menu!", 70},
	{"Menu index out of range in append_menu!", 110},
	{"Item index out of range in append_menu!", 111},
	{"Menu name too long in append_menu!", 112},
	{"Menu index out of range in remove_menu_item!", 178},
	{"Item index out of range in remove_menu_item!", 179},
};

constexpr const char* kCannotOpen[] = {"Cannot open file!", "Trash this copy and re-install Kestrix."};
constexpr int kCannotOpenLine = 963;

void fatal(int which)
{
	__DIDIVI_alert(0, kMenuAlerts[which].text, "", "", "", t_exit, kSource, kMenuAlerts[which].line);
}

constexpr int kLangKorean = 6;
constexpr const char* kMenuFolders[] = {
	"menus/english/", "menus/french/", "menus/german/",   "menus/italian/",
	"menus/spanish/", "menus/portugese/", "menus/korean/",
};
constexpr int kMenuFolderCount = static_cast<int>(sizeof kMenuFolders / sizeof kMenuFolders[0]);
constexpr int kMenuFileVersions[] = {1, 0};
constexpr const char* kEndOfBlock = "-";

// Layout, interface units.
constexpr int kKoreanAdvance = 8;       // per byte of a Korean menu text
constexpr int kTextPad = 30;            // a title's or column's width beyond its text
constexpr int kBarHeight = 18;          // the bar along the top edge
constexpr int kItemHeight = 12;
constexpr int kKoreanItemHeight = 14;
constexpr int kSeparatorHeight = 2;
constexpr int kItemGap = 2;             // between a title or parent item and the first item
constexpr int kFirstColumnWidth = 180;  // until the column is measured
constexpr int kPanelMargin = 2;         // the panel reaches this far above and below the items
constexpr int kTitleInsetX = 10, kTitleInsetY = 6;
constexpr int kItemInsetX = 18, kPopupInsetX = 3, kItemInsetY = 3;
constexpr int kArrowInsetX = 8, kArrowInsetY = 6;
constexpr float kArrowCellS = 167, kArrowCellT = 187, kArrowHalf = 9;
constexpr float kBarHalfHeight = 9;
constexpr float kOneLineText = 9999;

// Styles and palette entries.
constexpr int kBarStyle = 0;
constexpr int kPanelStyle = 17;
constexpr int kTextColour = 38;
constexpr int kHighlightColour = 36;
constexpr float kHighlightAlpha = 0.25f;
constexpr int kShadeColour = 35;  // the dark line of a separator or column edge
constexpr int kLightColour = 37;  // the light line beside it
constexpr float kLineAlpha = 1.0f;

// Where the next bar title goes.
float g_bar_x = 0;

bool slot_exists(int slot) { return slot >= 0 && slot < static_cast<int>(menu.size()); }

bool choosable(const item_struct& it) { return !it.text.empty() && it.text[0] != '-' && it.text[0] != '='; }

bool is_separator(const item_struct& it) { return !it.text.empty() && it.text[0] == '-'; }

int charset_for_lang() { return mnw.lang == kLangKorean ? charset_UI_menus_KOR : charset_UI_diff_space; }

// Titles and items are cut and checked by bytes, as the file and the font see them.
std::string cut(const std::string& s, size_t n) { return s.size() > n ? s.substr(0, n) : s; }

}  // namespace

int menu_dx(std::string text)
{
	if (mnw.lang == kLangKorean) return kKoreanAdvance * static_cast<int>(text.size());
	int w = 0;
	for (unsigned char c : text) w += ui_char_advance[c];
	return w;
}

void DIDIVI_clear_menu(int slot)
{
	if (!slot_exists(slot)) return;
	menu[slot] = menu_struct{};
}

void DIDIVI_clear_items(int slot)
{
	if (!slot_exists(slot)) return;
	menu[slot].items.clear();
}

void DIDIVI_clear_menus(int mode)
{
	if (mode != 1) return;
	menu.clear();
	menu.resize(menu_slot_count);
}

void DIDIVI_create_menu(int slot, int parent_code, std::string title)
{
	const int parent = parent_code / menu_item_limit;
	const int parent_item = parent_code % menu_item_limit;
	const bool bar_title = parent_code == 0;
	// A submenu must hang from an item that is there: its box is where it opens.
	const bool parent_ok = bar_title || (parent_code > 0 && slot_exists(parent) && parent < menu_slot_count &&
	                                     parent_item < static_cast<int>(menu[parent].items.size()));
	if (slot < 0 || slot >= menu_slot_count || !parent_ok) {
		fatal(err_create_slot);
		return;
	}
	if (!slot_exists(slot)) return;
	menu_struct& m = menu[slot];
	m.title = cut(title, menu_title_max);
	const float width = static_cast<float>(menu_dx(m.title) + kTextPad);
	if (bar_title) {
		m.parent = -1;
		if (slot == 0) g_bar_x = 0;
		m.x1 = static_cast<std::int16_t>(g_bar_x);
		m.x2 = static_cast<std::int16_t>(g_bar_x + width);
		m.y1 = static_cast<std::int16_t>(mnw.y_res_now - kBarHeight);
		m.y2 = static_cast<std::int16_t>(mnw.y_res_now);
		g_bar_x = m.x2;
		// The title after "Plugins" takes its place on the bar.
		if (m.title == "Plugins") g_bar_x -= width;
	} else {
		const item_struct& from = menu[parent].items[parent_item];
		m.parent = parent;
		m.x1 = from.x1;
		m.y1 = from.y1;
		m.x2 = from.x2;
		m.y2 = from.y2;
	}
}

void DIDIVI_append_menu(int slot, int item, int code, std::string text, int no_korean_font)
{
	if (slot < 0 || item < 0) return;
	if (slot >= menu_slot_count) return fatal(err_append_slot);
	if (item >= menu_item_limit) return fatal(err_append_item);
	if (static_cast<int>(text.size()) > menu_item_text_max) return fatal(err_append_long);
	if (!slot_exists(slot)) return;

	menu_struct& m = menu[slot];
	m.items.resize(item + 1);
	item_struct& it = m.items[item];
	it.text = text;
	it.code = code;
	it.korean_font = mnw.lang == kLangKorean && no_korean_font == 0;

	const int height = is_separator(it) ? kSeparatorHeight : it.korean_font ? kKoreanItemHeight : kItemHeight;
	if (item == 0) {
		if (m.parent == -1) {
			it.y1 = static_cast<std::int16_t>(m.y1 - height - kItemGap);
			it.y2 = static_cast<std::int16_t>(m.y1 - kItemGap);
		} else {
			it.y1 = static_cast<std::int16_t>(m.y1 - kItemGap);
			it.y2 = static_cast<std::int16_t>(m.y2 - kItemGap);
		}
		it.x1 = m.x1;
		it.x2 = static_cast<std::int16_t>(m.x1 + kFirstColumnWidth);
	} else {
		const item_struct& prev = m.items[item - 1];
		it.y2 = prev.y1;
		it.y1 = static_cast<std::int16_t>(prev.y1 - height);
		it.x1 = prev.x1;
		it.x2 = prev.x2;
	}

	int column = 0;
	for (const item_struct& i : m.items) column = std::max(column, menu_dx(i.text) + kTextPad);
	for (item_struct& i : m.items) {
		i.x1 = m.x1;
		i.x2 = static_cast<std::int16_t>(m.x1 + column);
	}
}

void DIDIVI_remove_menu_item(int slot, int item)
{
	if (slot < 0 || item < 0) return;
	if (slot >= menu_slot_count) return fatal(err_remove_slot);
	if (item >= menu_item_limit) return fatal(err_remove_item);
	if (!slot_exists(slot)) return;
	std::vector<item_struct>& items = menu[slot].items;
	if (item >= static_cast<int>(items.size())) return;
	const int height = items[item].y2 - items[item].y1;
	items.erase(items.begin() + item);
	for (size_t k = item; k < items.size(); ++k) {
		items[k].y1 = static_cast<std::int16_t>(items[k].y1 + height);
		items[k].y2 = static_cast<std::int16_t>(items[k].y2 + height);
	}
}

void standard_gui()
{
	const int open = mnw.open_menu;
	if (!slot_exists(open)) return;
	const bool popup = open == menu_popup_slot;

	if (!popup) {
		BTN_frame1(kBarStyle, mnw.x_res_now / 2.0f, mnw.y_res_now - kBarHalfHeight, static_cast<float>(mnw.x_res_now), 0);
		for (int s = 0; s < static_cast<int>(menu.size()); ++s) {
			const menu_struct& m = menu[s];
			if (m.title.empty() || m.parent != -1) continue;
			OGL_string(kTextColour, m.x1 + kTitleInsetX, m.y1 + kTitleInsetY, m.title, kOneLineText,
			           charset_for_lang(), 0);
		}
	}

	const menu_struct& m = menu[open];
	float px = 0, py = 0, pw = 0, ph = 0;
	if (!m.items.empty()) {
		int x1 = m.items[0].x1, y1 = m.items[0].y1, x2 = m.items[0].x2, y2 = m.items[0].y2;
		for (const item_struct& it : m.items) {
			x1 = std::min<int>(x1, it.x1);
			y1 = std::min<int>(y1, it.y1);
			x2 = std::max<int>(x2, it.x2);
			y2 = std::max<int>(y2, it.y2);
		}
		px = static_cast<float>(x1);
		py = static_cast<float>(y1 - kPanelMargin);
		pw = static_cast<float>(x2 - x1);
		ph = static_cast<float>(y2 - y1 + 2 * kPanelMargin);
	}
	BTN_frame2(kPanelStyle, px, py, pw, ph, "");

	if (!popup && m.parent == -1)
		OGL_fillrect(kHighlightColour, kHighlightAlpha, m.x1, m.y1, m.x2 - m.x1, m.y2 - m.y1);
	const item_struct* hover = nullptr;
	for (const item_struct& it : m.items)
		if (choosable(it) && mnw.mouse_x >= it.x1 && mnw.mouse_x <= it.x2 && mnw.mouse_y >= it.y1 &&
		    mnw.mouse_y <= it.y2 - 1)
			hover = &it;
	if (hover)
		OGL_fillrect(kHighlightColour, kHighlightAlpha, hover->x1, hover->y1, hover->x2 - hover->x1,
		             hover->y2 - hover->y1);

	for (size_t k = 1; k < m.items.size(); ++k) {
		const float x = m.items[k].x1;
		if (x == m.items[k - 1].x1) continue;
		OGL_line(kShadeColour, kLineAlpha, x - 1, py, x - 1, py + ph);
		OGL_line(kLightColour, kLineAlpha, x, py, x, py + ph);
	}

	for (const item_struct& it : m.items) {
		if (it.text.empty()) continue;
		if (is_separator(it)) {
			OGL_line(kShadeColour, kLineAlpha, it.x1, it.y1 + 1, it.x2 - 1, it.y1 + 1);
			OGL_line(kLightColour, kLineAlpha, it.x1, it.y1, it.x2 - 1, it.y1);
			continue;
		}
		OGL_string(kTextColour, it.x1 + (popup ? kPopupInsetX : kItemInsetX), it.y1 + kItemInsetY, it.text,
		           kOneLineText, it.korean_font ? charset_UI_menus_KOR : charset_UI_diff_space, 0);
	}

	for (const menu_struct& sub : menu)
		if (sub.parent == open)
			BTN_util_element(sub.x2 - kArrowInsetX, sub.y1 + kArrowInsetY, kArrowCellS, kArrowCellT, kArrowHalf,
			                 kArrowHalf, 0);
}

void DIDIVI_read_menus(std::string folder, std::string file)
{
	const int lang = mnw.lang >= 0 && mnw.lang < kMenuFolderCount ? mnw.lang : 0;
	const std::string path = folder + kMenuFolders[lang] + file;
	DIDIVI_clear_menus(2);

	xmap_class x(path);
	if (!x.check_file(xmap_text, kMenuFileVersions, nullptr, nullptr)) {
		__DIDIVI_alert(0, kCannotOpen[0], path, kCannotOpen[1], "", t_exit, kSource, kCannotOpenLine);
		return;
	}
	const bool korean = mnw.lang == kLangKorean;
	for (int slot = 0; x.cur < x.end; ++slot) {
		std::string parent, title;
		x.TXT_str_scan_space(parent);
		x.TXT_str_scan_eoln(title);
		if (parent.empty() && title.empty()) break;
		if (korean) char_string_to_int_string(&title);
		DIDIVI_create_menu(slot, std::atoi(parent.c_str()), title);
		// A block runs to its "-" line, or to the end of the data when that is missing.
		for (int item = 0; x.cur < x.end; ++item) {
			std::string code, text;
			x.TXT_str_scan_space(code);
			x.TXT_str_scan_eoln(text);
			if (code == kEndOfBlock && text.empty()) break;
			if (korean) char_string_to_int_string(&text);
			DIDIVI_append_menu(slot, item, std::atoi(code.c_str()), text, 0);
		}
	}
}
