#pragma once
// The table of in-window menus `menu`. Start-up resets it to `menu_slot_count` empty
// slots; the last slot is the pop-up list of the list widget. Boxes are interface
// units, inclusive, y upwards.
#include <cstdint>
#include <string>
#include <vector>

constexpr int menu_slot_count = 1520;
constexpr int menu_popup_slot = 1519;
constexpr int menu_item_limit = 300;   // items 0..299 per menu
constexpr int menu_title_max = 40;     // longer titles are cut
constexpr int menu_item_text_max = 39;

struct item_struct {
	std::string text;  // "-" starts a separator, "=" an item shown but not choosable
	int code = 0;      // handed to the menu hook; a submenu's parent item: slot * 300 + item
	std::uint8_t korean_font = 0;  // drawn in the menu font (charset 103)
	std::int16_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

struct menu_struct {
	std::string title;
	int parent = -1;  // -1 a title of the bar, else the slot whose item it hangs from
	std::int16_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
	std::vector<item_struct> items;
};

extern std::vector<menu_struct> menu;
