// The framework's own open and save dialog: a modal loop in window 998 or 999 that lists
// one folder of the base folder's tree at a time, walks into folders and back up, and
// returns a path relative to the base folder.
#include <algorithm>
#include <string>
#include <vector>

#include "graphics/oglp.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_globals.h"
#include "runtime/io_utils.h"
#include "runtime/rec_stls.h"
#include "shell/hl_mnw.h"
#include "widgets/btn.h"
#include "widgets/butn_browse_logic.h"

namespace {

// The dialog's answer ends the loop: the key that gave it is used up, so that a caller
// opening another box in this same frame does not see it again.
int leave(int back, int result)
{
	return_hit = escape_hit = delete_hit = 0;
	DIDIVI_startwind(back, 0);
	return result;
}

constexpr int kOpenWindow = 998, kSaveWindow = 999;
constexpr int kSliderIndex = 0;
constexpr float kListX = 10, kListY = 180;
constexpr const char* kListLabel = "File:";
constexpr int kStairColour = 47;
constexpr float kStairX = 30, kStairY = 405, kStairStep = 10;
constexpr float kButtonY = 18, kSaveX = 282, kOpenX = 280, kCancelX = 33;
constexpr float kLevelsX = 150, kLevelsY = 434;
constexpr const char* kNoSelection = "-";

// The listing of a folder; the base folder "" is the working folder.
struct listing {
	std::vector<std::string> names;
	std::vector<int> types;
	int count() const { return int(names.size()); }
	bool has(int i) const { return i >= 0 && i < count(); }
};

void list(const std::string& dir, int file_type, listing& l)
{
	opensave_getitems(dir.empty() ? "./" : dir, file_type, l.names, l.types);
}

}  // namespace

int BTN_opensave(int open_save, int file_type, std::string* path)
{
	static int level = 0;
	if (open_save != kOpenWindow && open_save != kSaveWindow)
		DIDIVI_ALERT("Bad open_save arg to BTN_opensave!", "", "", "", t_exit);
	if (file_type < 0 || file_type >= btn_file_type_count)
		DIDIVI_ALERT("Bad file_type arg to BTN_opensave!", "", "", "", t_exit);
	const bool saving = open_save == kSaveWindow;
	const int back = mnw.current_window;

	std::string dir = BTN_browser_start_folder(file_type, *path);
	listing items;
	list(dir, file_type, items);
	int selection = items.count() / 2, scroll = selection;
	std::string save_name;
	DIDIVI_startwind(open_save, 0);

	while (mnw.current_window == open_save) {
		stand_io_dialog(open_save, file_type, items.has(selection) ? dir + items.names[size_t(selection)] : kNoSelection);
		list(dir, file_type, items);
		const int double_clicked =
		    BTN_list_and_search(kSliderIndex, kListX, kListY, 0, 0, &scroll, &selection, 0, items.count() - 1,
		                        saving ? &save_name : nullptr, kListLabel, BTN_name_from_vector, &items.names, nullptr,
		                        nullptr, BTN_type_from_vector, &items.types);

		const BTN_folder_levels levels = BTN_levels_of(dir);
		for (size_t k = 0; k < levels.components.size(); ++k)
			OGL_string(kStairColour, kStairX + kStairStep * float(k), kStairY - kStairStep * float(k),
			           BTN_level_label(levels.components[k]), 0, charset_UI_diff_space, 0);
		for (size_t k = 0; k < levels.levels.size(); ++k)
			if (levels.levels[k] == dir) level = int(k);

		const int pressed = BTN_action(saving ? kSaveX : kOpenX, kButtonY, 0, 0, 1, saving ? "Save" : "Open", "-");
		const int cancelled = BTN_action(kCancelX, kButtonY, 0, 0, 1, stls.ui_str[stls_cancel], "-");
		if (cancelled || escape_hit) {
			return leave(back, 0);
		}

		if (BTN_textlist(kLevelsX, kLevelsY, &level, levels.items, "")) {
			dir = levels.levels[size_t(std::clamp(level, 0, int(levels.levels.size()) - 1))];
			DIDIVI_event_proc();
			continue;
		}

		if (saving && (return_hit || pressed) && !save_name.empty()) {
			*path = dir + BTN_save_name(save_name, file_type);
			return leave(back, 1);
		}

		if (double_clicked || (!saving && return_hit) || (!saving && pressed)) {
			if (items.has(selection) && items.types[size_t(selection)] == btn_folder_type) {
				dir += items.names[size_t(selection)] + "/";
				list(dir, file_type, items);
				selection = items.count() / 2;
			} else if (!saving && items.has(selection)) {
				*path = dir + items.names[size_t(selection)];
				return leave(back, 1);
			}
		}
		if (delete_hit && !dir.empty()) {
			dir = BTN_folder_part(dir);
			list(dir, file_type, items);
			selection = items.count() / 2;
		}
		DIDIVI_event_proc();
	}
	return 0;
}
