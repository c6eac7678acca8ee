#pragma once
// In-window menus: a bar of titles along the top edge, drop-down lists of items,
// submenus, and the pop-up list of the list widget in slot `menu_popup_slot`. The table
// is `menu` (runtime/rec_menu.h); `mnw.open_menu` names the open slot, -1 none.
//
// The pop-up list, as the list widget drives it: it fills the items of slot 1519 (texts
// and boxes), sets `active_popup_code` to its own code and `mnw.open_menu` to 1519; on a
// later frame it compares `select_popup_code` with its code and takes
// `popup_menu_select`. The frame loop's click handler records the choice.
#include <string>

#include "runtime/rec_menu.h"

// Mode 1 empties the table and refills it with empty slots; any other mode does nothing.
void DIDIVI_clear_menus(int mode);
void DIDIVI_clear_menu(int slot);
void DIDIVI_clear_items(int slot);
// parent_code 0 puts the title on the bar; otherwise the menu hangs from item
// parent_code % 300 of slot parent_code / 300.
void DIDIVI_create_menu(int slot, int parent_code, std::string title);
// Sets item `item` of `slot` (later items are dropped) and lays the column out again.
void DIDIVI_append_menu(int slot, int item, int code, std::string text, int no_korean_font);
void DIDIVI_remove_menu_item(int slot, int item);
// Width of a menu text in interface units.
int menu_dx(std::string text);
// Draws the open menu or the pop-up list; every frame, after the hover help.
void standard_gui();
// Builds menus from folder + the language's menu folder + file.
void DIDIVI_read_menus(std::string folder, std::string file);
