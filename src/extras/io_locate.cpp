#include "extras/io_locate.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "graphics/tman.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_mem.h"
#include "runtime/io_utils.h"
#include "runtime/xmap.h"

std::string obj_path = "Resources/objects/";
std::string cus_path = "Custom Scenery/";
std::string glb_path = "Global Scenery/";
std::string def_path = "Resources/default scenery/";
std::string def_ovr_str = "-global overlays-";
std::string def_ter_str = "-global terrain-";

std::vector<std::string> scenery_packages;
std::vector<int> package_problems;
std::vector<int> package_is_custom;
std::map<std::string, lib_entry*> dsf_library;
std::map<std::string, lib_region*> dsf_regions;

namespace {
const char* const k_locate_src = "VAvered/Files/io_locate";
#define DSF_NonFatalError(file, ...) __DSF_NonFatalError(k_locate_src, __LINE__, (file), __VA_ARGS__)

const char* const k_library_file = "library.txt";
const char* const k_library_ident = "LIBRARY";
const int k_library_versions[] = {800, 0};

const char* const k_packages_header = "I found the following scenery packages (prioritized in this order):\n";
const char* const k_backslash_warning = "' has a backslash in its folder name; its library is not read.";

// Problems of a library file, reported with the file's path.
enum lib_msg {
	msg_bad_version,
	msg_ratio,
	msg_region_unknown,
	msg_region_defined,
	msg_rect_no_region,
	msg_rect_range,
	msg_bitmap_no_region,
	msg_bitmap_load,
	msg_bitmap_size,
};
const char* const kLibMsgs[] = {
	"Incorrect version for scenery library file.  Will skip.",
	"Library error: you cannot have a ratio of more than 2^24 lib items for %s -> %s.",
	"REGION %s - region unknown.  Ingoring",
	"REGION_DEFINE %s - region already defined.  Ignoring.",
	"REGION_RECT command used but no region has been defined.",
	"The boundaries to a REGION_RECT command are out of range: %d,%d->%d,%d",
	"REGION_BITMAP used with no region defined.  REGION_BITMAP will be ignored.",
	"Unable to load bitmap file '%s' for REGION_BITMAP command - will skip.",
	"REGION_BITMAP with bitmap %s has a size of %d, %d but need sa size of 360x180.",
};

// The commands of a library file, tried in this order; each must be followed by a
// blank or a tab.
enum lib_cmd {
	cmd_export,
	cmd_export_extend,
	cmd_export_exclude,
	cmd_export_backup,
	cmd_export_ratio,
	cmd_region,
	cmd_region_define,
	cmd_region_rect,
	cmd_region_bitmap,
	cmd_none,
};
struct lib_keyword {
	const char* word;
	lib_cmd cmd;
	unsigned flags;  // of the entry an export command registers
};
const lib_keyword kLibKeywords[] = {
	{"EXPORT", cmd_export, lib_flag_export},
	{"EXPORT_EXTEND", cmd_export_extend, 0},
	{"EXPORT_EXCLUDE", cmd_export_exclude, lib_flag_exclude},
	{"EXPORT_BACKUP", cmd_export_backup, lib_flag_backup},
	{"EXPORT_RATIO", cmd_export_ratio, lib_flag_export},
	{"REGION", cmd_region, 0},
	{"REGION_DEFINE", cmd_region_define, 0},
	{"REGION_RECT", cmd_region_rect, 0},
	{"REGION_BITMAP", cmd_region_bitmap, 0},
};

// Longitude and latitude offsets of the region grid.
const int k_lon_offset = 180;
const int k_lat_offset = 90;

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_eol(char c) { return c == 0 || c == '\r' || c == '\n'; }

// In a library file both '\' and ':' separate folders.
void normalize_separators(std::string& path)
{
	for (char& c : path)
		if (c == '\\' || c == ':') c = '/';
}

// Reads the body of one library file. Every scan stops at the end of the mapping,
// and an argument never reaches past the end of its line.
class library_reader {
public:
	library_reader(const char* cur, const char* end, int package, const std::string& package_path,
	               const std::string& file)
	    : cur_(cur), end_(end), package_(package), package_path_(package_path), file_(file)
	{
	}

	void read_all()
	{
		dsf_regions.clear();
		while (cur_ < end_) {
			skip_blanks();
			if (cur_ >= end_) break;
			const lib_keyword* kw = match_keyword();
			if (kw) {
				cur_ += std::strlen(kw->word);
				run(*kw);
				while (cur_ < end_ && (is_blank(*cur_) || is_eol(*cur_))) ++cur_;
				continue;
			}
			while (cur_ < end_ && !is_eol(*cur_)) ++cur_;
			while (cur_ < end_ && is_eol(*cur_)) ++cur_;
		}
	}

private:
	const char* cur_;
	const char* end_;
	const int package_;
	const std::string& package_path_;
	const std::string& file_;
	lib_region* export_region_ = nullptr;   // given to every export
	lib_region* defined_region_ = nullptr;  // the region REGION_RECT and REGION_BITMAP fill

	void skip_blanks()
	{
		while (cur_ < end_ && is_blank(*cur_)) ++cur_;
	}

	const lib_keyword* match_keyword() const
	{
		const size_t left = static_cast<size_t>(end_ - cur_);
		for (const lib_keyword& kw : kLibKeywords) {
			const size_t n = std::strlen(kw.word);
			if (left > n && std::memcmp(cur_, kw.word, n) == 0 && is_blank(cur_[n])) return &kw;
		}
		return nullptr;
	}

	std::string token()
	{
		skip_blanks();
		const char* from = cur_;
		while (cur_ < end_ && !is_blank(*cur_) && !is_eol(*cur_)) ++cur_;
		return std::string(from, cur_);
	}

	std::string path_token()
	{
		std::string p = token();
		normalize_separators(p);
		return p;
	}

	// The rest of the line, inner and trailing blanks kept.
	std::string rest_of_line_path()
	{
		skip_blanks();
		const char* from = cur_;
		while (cur_ < end_ && !is_eol(*cur_)) ++cur_;
		std::string p(from, cur_);
		normalize_separators(p);
		return p;
	}

	// Every character up to the delimiter counts as a digit. Accumulated unsigned, so a
	// long digit string wraps instead of overflowing.
	int integer()
	{
		skip_blanks();
		bool negative = false;
		if (cur_ < end_ && *cur_ == '-') {
			negative = true;
			++cur_;
		}
		if (cur_ < end_ && *cur_ == '+') {
			negative = false;
			++cur_;
		}
		uint32_t v = 0;
		while (cur_ < end_ && !is_blank(*cur_) && !is_eol(*cur_)) {
			v = v * 10u + static_cast<uint32_t>(static_cast<unsigned char>(*cur_) - '0');
			++cur_;
		}
		if (negative) v = 0u - v;
		return static_cast<int>(v);
	}

	void run(const lib_keyword& kw)
	{
		switch (kw.cmd) {
			case cmd_export:
			case cmd_export_extend:
			case cmd_export_exclude:
			case cmd_export_backup: {
				const std::string vpath = path_token();
				const std::string rpath = rest_of_line_path();
				add_entry(vpath, rpath, kw.flags, 1);
				break;
			}
			case cmd_export_ratio: {
				const uint32_t ratio = static_cast<uint32_t>(integer());
				const std::string vpath = path_token();
				const std::string rpath = rest_of_line_path();
				if (ratio > lib_ratio_mask)
					DSF_NonFatalError(file_.c_str(), kLibMsgs[msg_ratio], rpath.c_str(), vpath.c_str());
				add_entry(vpath, rpath, kw.flags, ratio & lib_ratio_mask);
				break;
			}
			case cmd_region: {
				const std::string name = token();
				auto it = dsf_regions.find(name);
				if (it == dsf_regions.end())
					DSF_NonFatalError(file_.c_str(), kLibMsgs[msg_region_unknown], name.c_str());
				else
					export_region_ = it->second;
				break;
			}
			case cmd_region_define: {
				const std::string name = token();
				if (dsf_regions.count(name)) {
					DSF_NonFatalError(file_.c_str(), kLibMsgs[msg_region_defined], name.c_str());
					defined_region_ = nullptr;
					break;
				}
				lib_region* r = new lib_region;
				r->name = name;
				std::memset(r->cells, 0, sizeof r->cells);
				dsf_regions[name] = r;
				defined_region_ = r;
				break;
			}
			case cmd_region_rect: region_rect(); break;
			case cmd_region_bitmap: region_bitmap(); break;
			case cmd_none: break;
		}
	}

	void add_entry(const std::string& vpath, const std::string& rpath, unsigned flags, uint32_t ratio)
	{
		lib_entry* e = new lib_entry;
		e->next = nullptr;
		e->region = export_region_;
		e->package = package_;
		e->ratio = ratio;
		e->flags = flags;
		e->real_path = rpath;
		DSF_RegisterEntry(vpath, e);
	}

	void region_rect()
	{
		const int west = integer(), south = integer(), east = integer(), north = integer();
		if (!defined_region_) {
			DSF_NonFatalError(file_.c_str(), "%s", kLibMsgs[msg_rect_no_region]);
			return;
		}
		// Wrapping sums, as the message shows them; far-off values fail the range test.
		auto shift = [](int v, int by) { return static_cast<int>(static_cast<uint32_t>(v) + static_cast<uint32_t>(by)); };
		const int w = shift(west, k_lon_offset), s = shift(south, k_lat_offset);
		const int e = shift(east, k_lon_offset), n = shift(north, k_lat_offset);
		if (w < 0 || s < 0 || e > lib_region_cols - 1 || n > lib_region_rows - 1 || w > e || s > n) {
			DSF_NonFatalError(file_.c_str(), kLibMsgs[msg_rect_range], w, s, e, n);
			return;
		}
		for (int x = w; x <= e; ++x)
			for (int y = s; y <= n; ++y) defined_region_->cells[x * lib_region_rows + y] = true;
	}

	void region_bitmap()
	{
		const std::string image = path_token();
		if (!defined_region_) {
			DSF_NonFatalError(file_.c_str(), "%s", kLibMsgs[msg_bitmap_no_region]);
			return;
		}
		unsigned char* pixels = nullptr;
		TEX_image_desc desc{};
		const int loaded = TEX_load_any_ext(package_path_ + image, &pixels, GL_ALPHA, 0, 0, &desc);
		if (!loaded || !pixels) {
			DSF_NonFatalError(file_.c_str(), kLibMsgs[msg_bitmap_load], image.c_str());
		} else if (desc.width != lib_region_cols || desc.height != lib_region_rows) {
			DSF_NonFatalError(file_.c_str(), kLibMsgs[msg_bitmap_size], image.c_str(), desc.width, desc.height);
		} else {
			// Rows as the loader delivers them: the bottom row, the southernmost, first.
			const int stride = desc.width + desc.row_pad;
			for (int y = 0; y < lib_region_rows; ++y)
				for (int x = 0; x < lib_region_cols; ++x)
					defined_region_->cells[x * lib_region_rows + y] = pixels[y * stride + x] != 0;
		}
		if (pixels) heap_free(pixels);
	}
};

void read_library_file(int package)
{
	const std::string& folder = scenery_packages[package];
	const std::string file = folder + k_library_file;
	xmap_class map(file);
	if (!map.begin) return;
	if (!map.check_file(xmap_text, k_library_versions, k_library_ident, nullptr)) {
		DSF_NonFatalError(file.c_str(), "%s", kLibMsgs[msg_bad_version]);
		return;
	}
	library_reader(map.cur, map.end, package, folder, file).read_all();
}

void add_package(const std::string& path, int is_custom)
{
	scenery_packages.push_back(path);
	package_problems.push_back(0);
	package_is_custom.push_back(is_custom);
}

// Sub-folders of a folder, sorted by name.
std::vector<std::string> list_folders(const std::string& folder)
{
	std::vector<std::string> names;
	std::vector<int> types;
	const int folders_only = 1;
	opensave_getitems(folder, folders_only, names, types);
	return names;
}

// The draw for a lookup: n wraps into the table, negative n included.
float random_draw(int n)
{
	const int i = ((n % randrat_count) + randrat_count) % randrat_count;
	return randrat[i];
}

bool applies(const lib_entry* e, bool anywhere, int lon, int lat)
{
	if (anywhere || !e->region) return true;
	// A cell off the grid lies in no region.
	if (lon < -k_lon_offset || lat < -k_lat_offset || lon >= lib_region_cols - k_lon_offset ||
	    lat >= lib_region_rows - k_lat_offset)
		return false;
	return e->region->cells[(lon + k_lon_offset) * lib_region_rows + (lat + k_lat_offset)];
}

// The exports a lookup counts: the applicable ones up to and including an exclude, or
// an export whose package ends with it. Calls take(e) for each; stops when take
// returns true.
template <class F>
void walk_candidates(const lib_entry* head, bool anywhere, int lon, int lat, F take)
{
	for (const lib_entry* e = head; e; e = e->next) {
		if (!applies(e, anywhere, lon, lat)) continue;
		if (take(e)) return;
		if (e->flags & lib_flag_exclude) return;
		if ((e->flags & lib_flag_export) && e->next && e->next->package != e->package) return;
	}
}

std::string full_path(const lib_entry* e)
{
	if (e->package < 0 || static_cast<size_t>(e->package) >= scenery_packages.size()) return e->real_path;
	return scenery_packages[e->package] + e->real_path;
}

bool lookup_one(bool anywhere, int lon, int lat, std::string& path, int n)
{
	auto it = dsf_library.find(path);
	if (it == dsf_library.end()) return false;
	// 64-bit: a few hundred maximal ratios would overflow an int.
	uint64_t sum = 0;
	walk_candidates(it->second, anywhere, lon, lat, [&](const lib_entry* e) {
		sum += e->ratio;
		return false;
	});
	if (sum == 0) return false;
	uint64_t pick = static_cast<uint64_t>(static_cast<double>(sum) * static_cast<double>(random_draw(n)));
	if (pick >= sum) pick = sum - 1;
	const lib_entry* chosen = nullptr;
	walk_candidates(it->second, anywhere, lon, lat, [&](const lib_entry* e) {
		if (pick < e->ratio) {
			chosen = e;
			return true;
		}
		pick -= e->ratio;
		return false;
	});
	if (!chosen) return false;
	path = full_path(chosen);
	return true;
}

bool lookup_all(bool anywhere, int lon, int lat, const std::string& path, std::vector<std::string>& out)
{
	out.clear();
	auto it = dsf_library.find(path);
	if (it == dsf_library.end()) return false;
	walk_candidates(it->second, anywhere, lon, lat, [&](const lib_entry* e) {
		const std::string p = full_path(e);
		for (unsigned i = 0; i < e->ratio; ++i) out.push_back(p);
		return false;
	});
	return !out.empty();
}

// The three image names of a texture: the name's last four characters replaced.
struct image_names {
	std::string dds, png, bmp;
};
image_names image_forms(const std::string& name)
{
	const size_t ext_len = 4;
	if (name.size() <= ext_len) return {name, name, name};
	const std::string stem = name.substr(0, name.size() - ext_len);
	return {stem + ".dds", stem + ".png", stem + ".bmp"};
}

void add_three(std::vector<std::string>& c, const std::string& folder, const image_names& x)
{
	c.push_back(folder + x.dds);
	c.push_back(folder + x.png);
	c.push_back(folder + x.bmp);
}

bool is_object_kind(int kind) { return kind >= dsf_kind_object_first && kind <= dsf_kind_object_last; }

const char* const k_resources = "Resources/";
const char* const k_terrain_bitmaps = "Resources/bitmaps/terrain/";
const char* const k_custom_terrain_tex = "custom terrain textures/";
const char* const k_custom_object_tex = "custom object textures/";
const char* const k_custom_objects = "custom objects/";

// The candidates in the simulator's own folders, after the package's.
void add_fixed_folders(std::vector<std::string>& c, int kind, const std::string& name)
{
	if (kind == dsf_kind_plain) {
		c.push_back(k_resources + name);
	} else if (kind == dsf_kind_texture) {
		const image_names x = image_forms(name);
		add_three(c, k_terrain_bitmaps, x);
		add_three(c, k_resources, x);
	} else if (kind == dsf_kind_terrain) {
		c.push_back(k_terrain_bitmaps + name);
		c.push_back(k_resources + name);
	} else if (is_object_kind(kind)) {
		c.push_back(obj_path + name);
		c.push_back(k_resources + name);
	}
}

// The first candidate that exists, or "".
std::string first_existing(const std::vector<std::string>& candidates)
{
	for (const std::string& c : candidates)
		if (file_exists(c)) return c;
	return std::string();
}
}  // namespace

void DSF_RegisterEntry(const std::string& virtual_path, lib_entry* entry)
{
	auto it = dsf_library.find(virtual_path);
	if (it == dsf_library.end()) {
		entry->next = nullptr;
		dsf_library[virtual_path] = entry;
		return;
	}
	lib_entry* head = it->second;
	if (head->flags & lib_flag_backup) {
		entry->next = head;
		it->second = entry;
		return;
	}
	lib_entry* last = head;
	while (last->next && !(last->next->flags & lib_flag_backup)) last = last->next;
	entry->next = last->next;
	last->next = entry;
}

void DSF_ScanSceneryFolder()
{
	dsf_library.clear();
	scenery_packages.clear();
	package_problems.clear();
	package_is_custom.clear();

	bool has_overlays = false, has_terrain = false;
	for (const std::string& item : list_folders(cus_path)) {
		if (item == def_ovr_str)
			has_overlays = true;
		else if (item == def_ter_str)
			has_terrain = true;
		else
			add_package(cus_path + item + "/", 1);
	}
	for (const std::string& item : list_folders(glb_path)) add_package(glb_path + item + "/", 0);
	if (has_overlays) add_package(cus_path + def_ovr_str + "/", 1);
	if (has_terrain) add_package(cus_path + def_ter_str + "/", 1);
	for (const std::string& item : list_folders(def_path)) add_package(def_path + item + "/", 0);

	std::string block = k_packages_header;
	for (size_t i = 0; i < scenery_packages.size(); ++i) {
		char index[16];
		std::snprintf(index, sizeof index, "%3d ", static_cast<int>(i));
		block += index + xer_escaped(scenery_packages[i]) + "\n";
	}
	block += "\n";
	xer << xer_own(block) << std::flush;

	for (size_t i = 0; i < scenery_packages.size(); ++i) {
		// The file layer takes a backslash in a path for a foreign separator and quits;
		// such a folder is legal here, so its package is passed over instead.
		if (scenery_packages[i].find('\\') != std::string::npos) {
			xer << "WARNING: The scenery package '" << scenery_packages[i] << k_backslash_warning << "\n";
			continue;
		}
		read_library_file(static_cast<int>(i));
	}
}

bool DSF_LookupLibraryResource(int lon, int lat, std::string& path, int n)
{
	return lookup_one(false, lon, lat, path, n);
}

bool DSF_LookupLibraryResourceAnywhere(std::string& path, int n) { return lookup_one(true, 0, 0, path, n); }

bool DSF_LookupLibraryResourceMultiple(int lon, int lat, const std::string& path, std::vector<std::string>& out)
{
	return lookup_all(false, lon, lat, path, out);
}

bool DSF_LookupLibraryResourceAnywhereMultiple(const std::string& path, std::vector<std::string>& out)
{
	return lookup_all(true, 0, 0, path, out);
}

void DSF_LocateResourceNoLib(int kind, const std::string& name, const std::string& package, bool log,
                             std::string& out)
{
	out.clear();
	std::vector<std::string> c;
	if (kind == dsf_kind_texture) {
		const image_names x = image_forms(name);
		add_three(c, package, x);
		add_three(c, package + k_custom_terrain_tex, x);
		add_three(c, package + k_custom_object_tex, x);
	} else if (kind == dsf_kind_terrain) {
		c.push_back(package + name);
		c.push_back(package + k_custom_terrain_tex + name);
	} else if (is_object_kind(kind)) {
		c.push_back(package + name);
		c.push_back(package + k_custom_objects + name);
	} else {
		c.push_back(package + name);
	}
	add_fixed_folders(c, kind, name);
	out = first_existing(c);
	if (out.empty() && log)
		for (const std::string& cand : c) xer << "Failed to find resource '" << name << "' at '" << cand << "'\n";
}

void DSF_LocateResourceSecondary(int kind, int subkind, const std::string& parent, const std::string& name,
                                 bool log, std::string& out)
{
	out.clear();
	std::vector<std::string> c;
	const image_names x = image_forms(name);
	if (!parent.empty()) {
		if (kind == dsf_kind_texture)
			add_three(c, parent, x);
		else
			c.push_back(parent + name);
	}
	const std::string pkg = extract_package(parent);
	if (!pkg.empty()) {
		if (kind == dsf_kind_terrain)
			c.push_back(pkg + k_custom_terrain_tex + name);
		else if (kind == dsf_kind_texture)
			add_three(c, pkg + (subkind == dsf_kind_terrain ? k_custom_terrain_tex : k_custom_object_tex), x);
		else if (is_object_kind(kind))
			c.push_back(pkg + k_custom_objects + name);
	}
	add_fixed_folders(c, kind, name);
	out = first_existing(c);
	if (out.empty() && log)
		for (const std::string& cand : c)
			xer << "Failed to find resource '" << name << "' (parent = '" << parent << "' at '" << cand << "'\n";
}

void DSF_LocateResourcePrimary(int lon, int lat, int kind, const std::string& name, const std::string& package,
                               bool log, std::string& out, int n)
{
	std::string p = name;
	if (DSF_LookupLibraryResource(lon, lat, p, n)) {
		out = p;
		return;
	}
	DSF_LocateResourceNoLib(kind, name, package, log, out);
}

void DSF_LocateResourcePrimaryMultiple(int lon, int lat, int kind, const std::string& name,
                                       const std::string& package, bool log, std::vector<std::string>& out)
{
	DSF_LookupLibraryResourceMultiple(lon, lat, name, out);
	std::string found;
	DSF_LocateResourceNoLib(kind, name, package, log && out.empty(), found);
	if (!found.empty()) out.push_back(found);
}

void DSF_LocateResourceSecondaryMultipleWithLibrary(int lon, int lat, int kind, int subkind,
                                                    const std::string& parent, const std::string& name, bool log,
                                                    std::vector<std::string>& out)
{
	DSF_LookupLibraryResourceMultiple(lon, lat, name, out);
	std::string found;
	DSF_LocateResourceSecondary(kind, subkind, parent, name, log && out.empty(), found);
	if (!found.empty()) out.push_back(found);
}

std::string extract_package(const std::string& path)
{
	for (const std::string* folder : {&cus_path, &glb_path, &def_path}) {
		if (path.compare(0, folder->size(), *folder) != 0) continue;
		const size_t sep = path.find_first_of("\\/:", folder->size());
		if (sep != std::string::npos) return path.substr(0, sep + 1);
	}
	return std::string();
}

namespace {
const size_t k_report_buffer = 4096;
const char* const k_alert_title = "Error loading the scenery package:";
const char* const k_see_log = "Please see the log.txt file for detailed error information.";
const char* const k_may_look_wrong = "The scenery may not look correct.";
const char* const k_fatal_custom =
    "Kestrix cannot run with this package installed - you may need to remove the custom  scenery package.";
const char* const k_fatal_default = "Kestrix cannot run with this package installed - You may need to reinstall Kestrix.";
const char* const k_fatal_corrupt = "Kestrix cannot run with this corrupt file.";

// Logs the problem and returns the index of the package the file belongs to, or -1.
int report_problem(const char* src_file, int src_line, const char* scenery_file, const char* format, va_list args)
{
	char msg[k_report_buffer];
	std::vsnprintf(msg, sizeof msg, format, args);
	xer << "***Error with scenery file \"" << scenery_file << "\" (" << src_file << ": " << src_line << ".)\n  "
	    << msg << "\n";
	const size_t file_len = std::strlen(scenery_file);
	for (size_t i = 0; i < scenery_packages.size(); ++i) {
		const std::string& pkg = scenery_packages[i];
		if (std::strncmp(pkg.c_str(), scenery_file, std::min(pkg.size(), file_len)) == 0) return static_cast<int>(i);
	}
	return -1;
}

bool mark_problem(int package)
{
	if (package < 0 || static_cast<size_t>(package) >= package_problems.size()) return false;
	const bool first = package_problems[package] == 0;
	package_problems[package] = 1;
	return first;
}
}  // namespace

void __DSF_NonFatalError(const char* src_file, int src_line, const char* scenery_file, const char* format, ...)
{
	va_list args;
	va_start(args, format);
	const int package = report_problem(src_file, src_line, scenery_file, format, args);
	va_end(args);
	if (package >= 0 && mark_problem(package))
		__DIDIVI_alert(0, k_alert_title, scenery_packages[package], k_may_look_wrong, k_see_log, t_alert, src_file,
		               src_line);
}

void __DSF_FatalError(const char* src_file, int src_line, const char* scenery_file, const char* format, ...)
{
	va_list args;
	va_start(args, format);
	const int package = report_problem(src_file, src_line, scenery_file, format, args);
	va_end(args);
	if (package >= 0) {
		mark_problem(package);
		const bool custom = static_cast<size_t>(package) < package_is_custom.size() && package_is_custom[package];
		__DIDIVI_alert(0, k_alert_title, scenery_packages[package], custom ? k_fatal_custom : k_fatal_default,
		               k_see_log, t_exit, src_file, src_line);
	} else {
		__DIDIVI_alert(0, k_alert_title, scenery_file, k_fatal_corrupt, k_see_log, t_exit, src_file, src_line);
	}
}

namespace {
const int k_tile_degrees = 10;
const size_t k_tile_path_len = 19;

// The value's last `digits` decimal digits, the first of them '0' when out of range.
void put_signed(std::string& out, long long v, int digits)
{
	out += v >= 0 ? '+' : '-';
	const long long a = v >= 0 ? v : -v;
	long long scale = 1;
	for (int i = 1; i < digits; ++i) scale *= 10;
	for (int i = 0; i < digits; ++i, scale /= 10) {
		const long long d = i == 0 ? a / scale : (a / scale) % 10;
		out += (d >= 0 && d <= 9) ? static_cast<char>('0' + d) : '0';
	}
}
}  // namespace

void return_latlon_str_dsf(int lat, int lon, std::string* out)
{
	const long long la = lat, lo = lon;
	const long long folder_lat = ((la + k_lat_offset) / k_tile_degrees) * k_tile_degrees - k_lat_offset;
	const long long folder_lon = ((lo + k_lon_offset) / k_tile_degrees) * k_tile_degrees - k_lon_offset;
	std::string s;
	s.reserve(k_tile_path_len);
	put_signed(s, folder_lat, 2);
	put_signed(s, folder_lon, 3);
	s += '/';
	put_signed(s, la, 2);
	put_signed(s, lo, 3);
	s += ".dsf";
	*out = s;
}
