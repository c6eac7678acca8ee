// The file browser's window-free rules.
#include "widgets/butn_browse_logic.h"

#include "runtime/hl_alert.h"

namespace {

struct type_row {
	const char* extension;  // appended on save; "" none
	const char* start;      // the start folder for an empty path; "" the base folder
};
// Indexed by file type.
const type_row kTypes[btn_file_type_count] = {
    {"", ""},        {"", ""},           {".BMP", ""},
    {".ACF", ""},    {".AFL", ""},       {".WPN", ""},
    {".WAV", ""},    {".OBJ", ""},       {"", ""},
    {".SIT", "Output/situations/"},      {".SMO", "Output/movies/"},
    {".FMS", "Output/FMS plans/"},       {"", ""},
    {".TRA", "Tarrow Output/tracks/"},   {".CAR", "Tarrow Output/cars/"},
    {".SPA", "Starvault Reosources/spaceships/"},
    {".REG", "Starvault Resources/regions/"},
    {"", ""},        {".HGT", ""},       {".TXT", ""},
    {"", "sim/"},    {"", "sim/"},
};

constexpr size_t kExtLen = 4;
constexpr size_t kBufferLimit = 499;
constexpr const char* kRootLabel = "Orvala folder";
constexpr char kSeparator = '-';
constexpr char kForbidden = '|';
constexpr int kMaxItems = 300;

bool known(int file_type) { return file_type >= 0 && file_type < btn_file_type_count; }

}  // namespace

std::string BTN_folder_part(const std::string& p)
{
	if (p.size() < 2) return "";
	const size_t slash = p.rfind('/', p.size() - 2);
	return slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
}

std::string BTN_last_part(const std::string& p) { return p.substr(BTN_folder_part(p).size()); }

std::string BTN_browser_start_folder(int file_type, const std::string& path)
{
	if (!path.empty()) return BTN_folder_part(path);
	return known(file_type) ? kTypes[file_type].start : "";
}

std::string BTN_save_name(const std::string& name, int file_type)
{
	std::string n = name;
	if (n.size() > kExtLen && n[n.size() - kExtLen] == '.') n.resize(n.size() - kExtLen);
	return n + (known(file_type) ? kTypes[file_type].extension : "");
}

std::string BTN_level_label(const std::string& component)
{
	std::string s = component;
	// '-' separates the pop-up's items and '|' may not appear in them at all.
	for (char& c : s)
		if (c == kSeparator || c == kForbidden) c = ' ';
	return s;
}

BTN_folder_levels BTN_levels_of(const std::string& dir)
{
	BTN_folder_levels r;
	r.levels.push_back("");
	r.items = kRootLabel;
	size_t start = 0;
	while (start < dir.size() && int(r.levels.size()) < btn_max_levels) {
		size_t slash = dir.find('/', start);
		if (slash == std::string::npos) slash = dir.size() - 1;
		const std::string c = dir.substr(start, slash - start);
		r.components.push_back(c);
		r.levels.push_back(dir.substr(0, slash + 1));
		r.items += kSeparator;
		r.items += BTN_level_label(c);
		start = slash + 1;
	}
	return r;
}

void BTN_copy_to_buffer(const std::string& s, char* buf, int max_len)
{
	if (max_len <= 0) {
		buf[0] = 0;
		return;
	}
	std::string r = s;
	if (r.size() >= size_t(max_len)) r.resize(size_t(max_len) - 1);
	if (r.size() > kBufferLimit) DIDIVI_ALERT("String too long!", r, "", "", t_exit);
	r.copy(buf, r.size());
	buf[r.size()] = 0;
}

bool BTN_split_items(const std::string& items, std::vector<std::string>* out, const char** fault)
{
	out->assign(1, std::string());
	for (char c : items) {
		if (c == kForbidden) {
			*fault = "Found | char in text string!";
			return false;
		}
		if (c != kSeparator) {
			out->back() += c;
			continue;
		}
		if (int(out->size()) >= kMaxItems) {
			*fault = "BTN_text_list overflow!";
			return false;
		}
		out->emplace_back();
	}
	return true;
}
