// The path fields: a one-line field showing a path or its last part, with a chooser icon
// on its left that opens the desktop's folder chooser.
#include <cstring>
#include <string>

#include "runtime/hl_alert.h"
#include "runtime/hl_dialogs.h"
#include "runtime/hl_globals.h"
#include "widgets/btn.h"
#include "widgets/butn_browse_logic.h"
#include "widgets/butn_core.h"
#include "widgets/butn_geometry.h"


namespace {

constexpr float kLabelGap = 32, kMidGap = 6;
constexpr float kIconShift = 17, kIconRise = 3, kIconHalf = 13, kIconS = 221, kIconT = 146;
constexpr float kIconHitLeft = 28, kIconHitRight = 6, kIconHitBelow = 8, kIconHitAbove = 12;
constexpr int kFolderKind = 2;
constexpr int kChooserFlag = 1;
constexpr const char* kChooserPrompt = "Please pick an Orvala to update";
constexpr const char* kChooserButton = "Update";
constexpr size_t kChooserBuffer = 2048;
constexpr int kWholePathTypes[] = {20, 21};

bool valid_window(int open_save) { return open_save == 998 || open_save == 999; }
bool valid_type(int file_type) { return file_type >= 0 && file_type < btn_file_type_count; }

void check_args(int open_save, int file_type, const char* bad_window, const char* bad_type)
{
	if (!valid_window(open_save)) DIDIVI_ALERT(bad_window, "", "", "", t_exit);
	if (!valid_type(file_type)) DIDIVI_ALERT(bad_type, "", "", "", t_exit);
}

}  // namespace

int BTN_select_path_stl(float x, float y, int open_save, int file_type, std::string* path, int max_len,
                        std::string label, float width, int take_focus)
{
	check_args(open_save, file_type, "Bad open_save arg to BTN_select_file_stl!",
	           "Bad file_type arg to BTN_select_file_stl!");
	BTN_label l = BTN_split_label(label);
	BTN_util_draw_label(x - kLabelGap, y, 0, l.text, 0);
	BTN_util_draw_label(x + width + kMidGap, y, 2, l.mid, 0);
	BTN_util_element(x - kIconShift, y + kIconRise, kIconS, kIconT, kIconHalf, kIconHalf, 0);

	bool whole = false;
	for (int t : kWholePathTypes) whole = whole || t == file_type;
	stl_global = whole ? *path : BTN_last_part(*path);
	if (BTN_enterstring(x, y, &stl_global, max_len, "", width, take_focus)) *path = stl_global;

	const BTN_box icon{x - kIconHitLeft, y - kIconHitBelow, x - kIconHitRight, y + kIconHitAbove};
	if (!icon.contains(mnw.mouse_x, mnw.mouse_y)) return 0;
	stls.mouse_help = l.tail;
	if (!mnw.mouse_down) return 0;
	char chosen[kChooserBuffer] = {};
	if (!GetFilePathFromUser(kFolderKind, kChooserPrompt, kChooserButton, kChooserFlag, nullptr, chosen)) return 0;
	*path = chosen;
	return 1;
}

int BTN_select_file_chr(float x, float y, int open_save, int file_type, char* name, std::string* folder,
                        int max_len, std::string label, float width)
{
	check_args(open_save, file_type, "Bad open_save arg to BTN_select_file_chr!",
	           "Bad file_type arg to BTN_select_file_chr!");
	std::string full = BTN_folder_part(*folder) + name;
	const int r = BTN_select_path_stl(x, y, open_save, file_type, &full, max_len, label, width, 1);
	if (r) {
		*folder = full;
		BTN_copy_to_buffer(BTN_last_part(full), name, max_len);
	}
	return r;
}

int BTN_select_path_chr(float x, float y, int open_save, int file_type, char* path, int max_len, std::string label,
                        float width, int take_focus)
{
	check_args(open_save, file_type, "Bad open_save arg to BTN_select_file_chr!",
	           "Bad file_type arg to BTN_select_file_chr!");
	std::string s(path, strnlen(path, size_t(max_len > 0 ? max_len : 0)));
	const int r = BTN_select_path_stl(x, y, open_save, file_type, &s, max_len, label, width, take_focus);
	BTN_copy_to_buffer(s, path, max_len);
	return r;
}
