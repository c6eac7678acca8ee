// The key-assignment window: the bindings as a list of buttons on the left; a selected
// row takes the next key the user types, and a command browser beside it gives the row
// its command. Nothing in the installer opens it.
#include <algorithm>
#include <string>
#include <vector>

#include "graphics/ogl_draw.h"
#include "runtime/hl_globals.h"
#include "shell/cmnd.h"
#include "shell/keys.h"
#include "widgets/btn.h"

namespace {

constexpr const char* kHelpText =
    "Select the key you'd like to program from the list on the left of this screen and hit any key you like! Then "
    "select the group above and the item at right to assign some funtion to that keypress!";
constexpr const char* kAddLabel = "Add New Key Assignment";
constexpr const char* kPluginEntry = "|-custom cmnds from plugins";
constexpr const char* kNewBindingCommand = "sim/operation/none";
constexpr int kRuntimeCommandKind = 2;  // commands plug-ins add while running

// Layout, interface units from the window's lower left corner.
constexpr int kVisibleRows = 34;
constexpr float kRowStep = 20;
constexpr float kMargin = 10;
constexpr float kPanelStyle = 13;
constexpr float kListWidth = 260;
constexpr float kListButtonWidth = 220;
constexpr float kAddButtonDown = 30;   // below the window's top
constexpr float kFirstRowDown = 60;
constexpr float kSliderX = 250;
constexpr float kHelpPanelHeight = 60;
constexpr float kHelpInset = 10;
constexpr int kHelpColour = 38;
constexpr float kBrowserX = 300;
constexpr float kColumnWidth = 180;
constexpr float kBrowserFirstRowDown = 100;
constexpr float kCheckInsetX = 10;

struct wind_state {
	int selected = -1;  // the row being edited, -1 none
	int scroll = 0;     // first visible row
	// The browser's choice per column; column k lists what lies below the first k choices.
	std::vector<std::string> chosen;
};
wind_state g_wind;

std::string row_label(keys_class& k, const key_binding& b)
{
	const std::string key = k.vkey_to_str(b.vkey);
	return b.flags ? k.flag_to_str(b.flags) + "-" + key : key;
}

// The browser opens on the command the row has now.
void browse_to(int cmnd_id)
{
	g_wind.chosen.clear();
	if (!cmnd.has(cmnd_id)) return;
	const std::string& path = cmnd.paths[cmnd_id];
	size_t from = 0;
	for (size_t slash; (slash = path.find('/', from)) != std::string::npos; from = slash + 1)
		g_wind.chosen.push_back(path.substr(from, slash + 1 - from));
	g_wind.chosen.push_back(path.substr(from));
}

// The entries of one column, and the command path its prefix stands for.
std::vector<std::string> column_entries(size_t column, std::string& prefix, bool& plugins)
{
	std::vector<std::string> out;
	prefix.clear();
	plugins = !g_wind.chosen.empty() && g_wind.chosen[0] == kPluginEntry;
	if (plugins && column == 1) {
		for (int id = 0; id < cmnd.count(); ++id)
			if (cmnd.kinds[id] == kRuntimeCommandKind) out.push_back(cmnd.paths[id]);
		return out;
	}
	if (plugins) return out;
	for (size_t k = 0; k < column; ++k) prefix += g_wind.chosen[k];
	cmnd.get_cmds_in_path(prefix, out);
	if (column == 0) out.push_back(kPluginEntry);
	return out;
}

void assign_key(keys_class& k, int row)
{
	std::vector<key_binding>& b = k.bindings;
	b[row].vkey = k.last_vkey;
	b[row].flags = k.last_flags;
	for (int n = 0; n < static_cast<int>(b.size()); ++n) {
		if (n == row || b[n].vkey != k.last_vkey || b[n].flags != k.last_flags) continue;
		b[n].vkey = 0;
		b[n].flags = 0;
	}
}

void command_browser(key_binding& row, float top)
{
	// Each column exists once the one before it has a folder chosen.
	for (size_t column = 0; column <= g_wind.chosen.size(); ++column) {
		if (column > 0) {
			const std::string& above = g_wind.chosen[column - 1];
			if (above.empty() || (above.back() != '/' && above != kPluginEntry)) break;
		}
		std::string prefix;
		bool plugins = false;
		const std::vector<std::string> entries = column_entries(column, prefix, plugins);
		const float x = kBrowserX + column * kColumnWidth + kCheckInsetX;
		for (size_t e = 0; e < entries.size(); ++e) {
			const float y = top - kBrowserFirstRowDown - e * kRowStep;
			const bool was = column < g_wind.chosen.size() && g_wind.chosen[column] == entries[e];
			int on = was;
			BTN_bool(x, y, &on, entries[e], 0);
			if (on == static_cast<int>(was) || !on) continue;
			g_wind.chosen.resize(column);
			g_wind.chosen.push_back(entries[e]);
			const std::string& picked = entries[e];
			if (plugins) row.cmnd_id = cmnd.get_cmnd_by_name(picked);
			else if (picked != kPluginEntry && picked.back() != '/')
				row.cmnd_id = cmnd.get_cmnd_by_name(prefix + picked);
			return;
		}
	}
}

}  // namespace

void keys_class::keys_wind(int)
{
	const float top = mnw.wind_dy;
	const float width = mnw.wind_dx;
	float next_x = 0, next_y = 0;

	BTN_subwin(0, kPanelStyle, kMargin, kMargin, kListWidth, top - 2 * kMargin, "", &next_x, &next_y);
	BTN_subwin(0, kPanelStyle, kBrowserX, top - kMargin - kHelpPanelHeight, width - kBrowserX - kMargin,
	           kHelpPanelHeight, "", &next_x, &next_y);
	OGL_string(kHelpColour, kBrowserX + kHelpInset, top - kMargin - kHelpInset * 2, kHelpText,
	           width - kBrowserX - kMargin - 2 * kHelpInset, charset_UI_diff_space, 0);

	const float list_x = kMargin + kListButtonWidth / 2 + kMargin;
	if (BTN_action(list_x, top - kAddButtonDown, kListButtonWidth, 0, 0, kAddLabel, "-")) {
		key_binding b;
		b.cmnd_id = cmnd.get_cmnd_by_name(kNewBindingCommand);
		bindings.push_back(b);
		g_wind.scroll = std::max(0, static_cast<int>(bindings.size()) - kVisibleRows);
	}

	const int count = static_cast<int>(bindings.size());
	if (g_wind.selected >= count) g_wind.selected = -1;
	const int max_scroll = std::max(0, count - kVisibleRows);
	const float first_y = top - kFirstRowDown;
	const float last_y = first_y - (kVisibleRows - 1) * kRowStep;
	if (max_scroll > 0) BTN_vert_slider(0, kSliderX, last_y, first_y, 0, max_scroll, &g_wind.scroll);
	g_wind.scroll = std::clamp(g_wind.scroll, 0, max_scroll);

	// A key typed while a row is selected becomes that row's key.
	if (g_wind.selected >= 0 && mnw.key_event) assign_key(*this, g_wind.selected);

	for (int row = g_wind.scroll; row < count && row < g_wind.scroll + kVisibleRows; ++row) {
		const float y = first_y - (row - g_wind.scroll) * kRowStep;
		const bool is_selected = row == g_wind.selected;
		if (!BTN_action(list_x, y, kListButtonWidth, is_selected, 0, row_label(*this, bindings[row]), "-")) continue;
		g_wind.selected = is_selected ? -1 : row;
		if (g_wind.selected >= 0) browse_to(bindings[row].cmnd_id);
	}

	if (g_wind.selected >= 0) command_browser(bindings[g_wind.selected], top);
}
