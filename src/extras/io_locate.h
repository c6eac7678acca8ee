#pragma once
// The scenery library and resource lookup. Scenery packages publish files under
// virtual paths in their library.txt; DSF_ScanSceneryFolder reads every package into
// dsf_library, the lookups resolve a virtual path to a package file (by region and by
// weighted choice), and the folder searches try fixed lists of candidate files for a
// resource name. Everything runs on the caller's thread; nothing here is locked, so
// the globals must not be read while a scan runs.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Folders of the simulator's tree, relative to app_path.
extern std::string obj_path;  // "Resources/objects/"
extern std::string cus_path;  // "Custom Scenery/"
extern std::string glb_path;  // "Global Scenery/"
extern std::string def_path;  // "Resources/default scenery/"
// Placeholder folders inside the custom folder: where the global overlays and the
// global terrain rank among the custom packages.
extern std::string def_ovr_str;  // "-global overlays-"
extern std::string def_ter_str;  // "-global terrain-"

// A region of the globe in 1-degree cells. Cell (x, y) is the cell whose south-west
// corner is at longitude x - 180, latitude y - 90.
constexpr int lib_region_cols = 360;
constexpr int lib_region_rows = 180;
struct lib_region {
	std::string name;
	bool cells[lib_region_cols * lib_region_rows];  // cell (x, y) at x * rows + y
};

// Flags of an export (an extend has none).
constexpr unsigned lib_flag_exclude = 0x01;  // the only candidate where it applies
constexpr unsigned lib_flag_export = 0x02;   // the choice ends with its package
constexpr unsigned lib_flag_backup = 0x04;   // taken after every other export
constexpr unsigned lib_ratio_mask = 0xFFFFFF;

// One export of a virtual path.
struct lib_entry {
	lib_entry* next;     // the next export of the same virtual path
	lib_region* region;  // null: valid everywhere
	int package;         // index into scenery_packages
	unsigned ratio : 24;
	unsigned flags : 8;
	std::string real_path;  // inside the package
};

// Package folders in priority order (the index is the package index), and per package
// whether a problem of it was reported and whether it lies in the custom folder.
extern std::vector<std::string> scenery_packages;
extern std::vector<int> package_problems;
extern std::vector<int> package_is_custom;
// Head of each virtual path's chain of exports. Entries and regions stay allocated for
// the run; a rescan drops them from the maps only.
extern std::map<std::string, lib_entry*> dsf_library;
// The regions of the library file being read.
extern std::map<std::string, lib_region*> dsf_regions;

// Rebuilds the package list and the library from the disk.
void DSF_ScanSceneryFolder();
// Links an export into its virtual path's chain: other exports in the order they come,
// backups after them, the latest backup first.
void DSF_RegisterEntry(const std::string& virtual_path, lib_entry* entry);

// Weighted choice among the exports of `path` that apply to the 1-degree cell (lon,
// lat), the random draw being randrat[n] (n wraps into the table, negative n too). On
// success `path` becomes package folder + real path.
bool DSF_LookupLibraryResource(int lon, int lat, std::string& path, int n);
bool DSF_LookupLibraryResourceAnywhere(std::string& path, int n);
// Every candidate, repeated as often as its ratio; true when `out` is not empty.
bool DSF_LookupLibraryResourceMultiple(int lon, int lat, const std::string& path, std::vector<std::string>& out);
bool DSF_LookupLibraryResourceAnywhereMultiple(const std::string& path, std::vector<std::string>& out);

// Resource kinds of the folder searches.
enum dsf_resource_kind {
	dsf_kind_plain = 0,
	dsf_kind_texture = 1,  // the extension is replaced by .dds, .png, .bmp
	dsf_kind_terrain = 2,
	dsf_kind_object_first = 3,
	dsf_kind_object_last = 7,
};

// The first existing candidate file for `name` in `package` and the fixed folders;
// `out` is empty when none exists (and with `log` every candidate tried is logged).
void DSF_LocateResourceNoLib(int kind, const std::string& name, const std::string& package, bool log,
                             std::string& out);
// The same, relative to the folder of the file `parent` that refers to the resource.
void DSF_LocateResourceSecondary(int kind, int subkind, const std::string& parent, const std::string& name,
                                 bool log, std::string& out);
// The library first, then the folder search.
void DSF_LocateResourcePrimary(int lon, int lat, int kind, const std::string& name, const std::string& package,
                               bool log, std::string& out, int n);
void DSF_LocateResourcePrimaryMultiple(int lon, int lat, int kind, const std::string& name,
                                       const std::string& package, bool log, std::vector<std::string>& out);
void DSF_LocateResourceSecondaryMultipleWithLibrary(int lon, int lat, int kind, int subkind,
                                                    const std::string& parent, const std::string& name, bool log,
                                                    std::vector<std::string>& out);
// The package folder holding `path` (ending in its separator), or "".
std::string extract_package(const std::string& path);

// Scenery problems: each is logged; the first of a package also shows an alert. The
// fatal form ends the program through the alert path. Messages are cut at 4,095
// characters.
void __DSF_NonFatalError(const char* src_file, int src_line, const char* scenery_file, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
void __DSF_FatalError(const char* src_file, int src_line, const char* scenery_file, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

// The scenery tile's file path, e.g. "-40+150/-33+151.dsf": always 19 characters.
void return_latlon_str_dsf(int lat, int lon, std::string* out);
