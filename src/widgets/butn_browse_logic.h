#pragma once
// The file browser's rules that need no window: paths, start folders, save names, the
// folder levels and the level pop-up's items, and copying a string into a char buffer.
// Paths are relative to the base folder, '/'-separated; a folder is "" or ends in '/'.
#include <string>
#include <vector>

// p up to and including its last '/', a final '/' not counted; "" when there is none.
std::string BTN_folder_part(const std::string& p);
// What follows the folder part.
std::string BTN_last_part(const std::string& p);

constexpr int btn_file_type_count = 22;  // file types 0 .. 21
constexpr int btn_folder_type = 1;
// The folder a browser opens on: the folder part of path, or the type's own folder when
// path is empty.
std::string BTN_browser_start_folder(int file_type, const std::string& path);
// The name a save stores: a 4-character extension dropped, the type's own appended.
std::string BTN_save_name(const std::string& name, int file_type);

// The folder levels: level 0 is "", level k the folder up to its k-th component; the
// components themselves; the level pop-up's item string. At most `btn_max_levels`.
constexpr int btn_max_levels = 299;
struct BTN_folder_levels {
	std::vector<std::string> levels;
	std::vector<std::string> components;
	std::string items;  // "Orvala folder-a-b", blanks for '-' and '|' in names
};
BTN_folder_levels BTN_levels_of(const std::string& dir);
// A component as the staircase and the pop-up show it.
std::string BTN_level_label(const std::string& component);

// Copies s into a buffer of max_len characters: cut to max_len - 1 when it would fill
// it; longer than 499 is the fatal "String too long!"; max_len 0 or less writes "".
void BTN_copy_to_buffer(const std::string& s, char* buf, int max_len);

// The pop-up list's items: split at '-', at most 299 separators. Returns false with the
// alert text when the string cannot be a list.
bool BTN_split_items(const std::string& items, std::vector<std::string>* out, const char** fault);
