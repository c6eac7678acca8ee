// Folder listings.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <numeric>
#include <strings.h>

#include "runtime/hl_alert.h"
#include "runtime/hl_globals.h"
#include "runtime/io_utils.h"

namespace {
std::atomic<opensave_cmd_lister_fn> g_cmd_lister{nullptr};

struct ext_code {
	const char* ext;
	int code;
};
const ext_code k_exts[] = {{".BMP", 2},  {".PNG", 2},  {".ACF", 3},  {".AFL", 4},  {".WPN", 5},  {".WAV", 6},
                           {".OBJ", 7},  {".FDR", 8},  {".SIT", 9},  {".SMO", 10}, {".FMS", 11}, {".TRA", 13},
                           {".CAR", 14}, {".SPA", 15}, {".REG", 16}, {".DSF", 17}, {".HGT", 18}, {".TXT", 19}};

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Lower-cased, compared as signed characters: bytes from 0x80 up order before ASCII.
bool no_case_compare_char(char a, char b)
{
	return static_cast<signed char>(lower(a)) < static_cast<signed char>(lower(b));
}

bool opensave_takeit(const std::string& folder, const std::string& name, int filter, int& type)
{
	if (name.size() >= 4) {
		std::string tail = name.substr(name.size() - 4);
		for (char& c : tail) c = upper(c);
		for (const ext_code& e : k_exts)
			if (tail == e.ext) type = e.code;
	}
	if (filter == 12) {
		const std::string joined = folder + name;
		if (joined.size() >= 32 && strncasecmp(joined.c_str(), "Resources/bitmaps/cockpit/-panels-/", 32) == 0)
			return false;
		if (joined.size() >= 6) {
			const std::string six = joined.substr(joined.size() - 6, 3);
			for (const char* bad : {"-1.", "-2.", "-3.", "-4."})
				if (strncasecmp(six.c_str(), bad, 3) == 0) return false;
		}
	}
	if (name.empty() || name[0] == '.') return false;
	return type == 1 || type == filter || filter == 0 || (filter == 12 && type == 2);
}
}  // namespace

opensave_cmd_lister_fn opensave_set_cmd_lister(opensave_cmd_lister_fn f) { return g_cmd_lister.exchange(f); }

int opensave_getitems(const std::string& folder, int filter, std::vector<std::string>& names,
                      std::vector<int>& types)
{
	names.clear();
	types.clear();
	if (filter == 20 || filter == 21) {
		if (filter == 21)
			if (opensave_cmd_lister_fn f = g_cmd_lister.load()) f(folder, names);
		for (std::string& n : names) {
			int t = 0;
			if (!n.empty() && n.back() == '/') {
				n.pop_back();
				t = 1;
			}
			types.push_back(t);
		}
		return static_cast<int>(names.size());
	}
	const std::string full = app_path + folder;
	if (full.size() > 1 && full.back() != '/') {
		__DIDIVI_alert(0, "Working path does not appear to be a directory!",
		               "This is not consistent with my labelling practices!",
		               "I need to end all paths with the directory indicator!", full, t_exit,
		               "VAvered/Files/io_utils", 697);
		return 0;
	}
	FSRef ref;
	std::vector<plat_dir_entry> entries;
	if (FilePathToFSRefAndName(full.c_str(), &ref, nullptr) != 0 || plat_list_folder(ref.path, entries) != 0)
		return 0;
	std::vector<std::string> taken_names;
	std::vector<int> taken_types;
	for (const plat_dir_entry& e : entries) {
		int type = e.is_folder ? 1 : 0;
		if (!opensave_takeit(folder, e.name, filter, type)) continue;
		taken_names.push_back(e.name);
		taken_types.push_back(type);
	}
	std::vector<size_t> order(taken_names.size());
	std::iota(order.begin(), order.end(), 0);
	std::stable_sort(order.begin(), order.end(),
	                 [&](size_t a, size_t b) {
		                 const std::string &x = taken_names[a], &y = taken_names[b];
		                 // A name that is the beginning of a longer one orders first.
		                 return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end(),
		                                                     no_case_compare_char);
	                 });
	for (size_t i : order) {
		names.push_back(taken_names[i]);
		types.push_back(taken_types[i]);
	}
	return static_cast<int>(names.size());
}
