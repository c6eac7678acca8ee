// The builder's run and its scan of the master tree. The archives, the file-list
// lines, the DVD split and the identity file are in make_installer_comp.cpp.
#include "engine/builder/make_installer.h"

#include <strings.h>

#include <cctype>
#include <cstdio>

#include "engine/engine.h"
#include "platform/plat_term.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_math.h"
#include "runtime/io_utils.h"
#include "runtime/xmap.h"

#ifndef KX_IS_BUILD
#define KX_IS_BUILD 0
#endif

const int is_build = KX_IS_BUILD;
int build_type = 1;

int reg = 0;
std::string sim_name = "-";
std::string old_dir_path = "/directory.txt";
std::string src_fold = "/Kestrix 9.00/";
std::string dst_fold_base = "/DVD_Masters/";
std::string dst_folder;
std::string ALL_str = "All", APL_str = "Macintosh", WIN_str = "Windows", LIN_str = "Linux";
std::string prev_dir;

std::set<std::string> comp_paths;
std::vector<std::string> comp_files;
std::map<std::string, int, no_case_compare_string> sim_info_index;
int num_files_rec = 0, num_files_use = 0, num_files_com = 0;
int dvd_now = 0;
float zip_size_dvd = 0.0f;
int build_version = 91001;
float dvd_capacity_kb = 630000.0f;
int read_old_dir_always = 0;

int found_all_fold, found_apl_fold, found_win_fold, found_LIN_fold, found_ins_fold, found_wpn_fold, found_afl_fold,
	found_acf_fold, found_res_fold, found_out_fold, found_cus_fold, found_glo_fold, found_plug, found_redt, found_orbt,
	found_men_file, found_tex_file, found_com_file;

std::string str_all_fold, str_apl_fold, str_win_fold, str_LIN_fold, str_ins_fold, str_wpn_fold, str_afl_fold,
	str_acf_fold, str_res_fold, str_out_fold, str_cus_fold, str_glo_fold, str_plug, str_redt, str_orbt, str_erth1,
	str_erth2, str_mars, str_moon, str_men_file, str_tex_file, str_com_file;

namespace {
// The edition-specific aircraft folder and the customer-specific data file are not
// part of this product: their checks stay inert (empty paths never match).
const std::string kEditionAircraftFolder;
const std::string kCustomerDataFile;

// The nine folders allowed directly under "All/".
const char* const kAllowedUnderAll[] = {"Aircraft/", "Airfoils/", "Instructions/", "Output/", "Resources/",
                                        "Weapons/", "Custom Scenery/", "Global Scenery/"};

bool contains(const std::string& s, const std::string& what) { return !what.empty() && s.find(what) != std::string::npos; }

bool ends_with(const std::string& s, const char* suffix)
{
	const std::string x(suffix);
	return s.size() >= x.size() && s.compare(s.size() - x.size(), x.size(), x) == 0;
}

// The part of a path that lies inside the master tree: the name rules look only at
// that, so a master tree kept below a folder called "work.2" or "copy of" still builds.
std::string inside_master(const std::string& path)
{
	if (path.compare(0, src_fold.size(), src_fold) == 0) return path.substr(src_fold.size());
	return path;
}

void check_found(int flag, const char* name)
{
	if (!flag) builder_fatal("YOU IDIOT!", name);
}
}  // namespace

void builder_fatal(const std::string& l1, const std::string& l2, const std::string& l3, const std::string& l4)
{
	__DIDIVI_alert(0, l1, l2, l3, l4, t_exit, "make_installer", __LINE__);
	// A quitting alert does not return; should a presenter return anyway, stop here.
	DIDIVI_alert_exit(1);
}

bool no_case_compare_string::operator()(const std::string& a, const std::string& b) const
{
	return strcasecmp(a.c_str(), b.c_str()) < 0;
}

void builder_set_folders()
{
	str_all_fold = src_fold + ALL_str + "/";
	str_apl_fold = src_fold + APL_str + "/";
	str_win_fold = src_fold + WIN_str + "/";
	str_LIN_fold = src_fold + LIN_str + "/";
	str_ins_fold = src_fold + ALL_str + "/Instructions/";
	str_wpn_fold = src_fold + ALL_str + "/Weapons/";
	str_afl_fold = src_fold + ALL_str + "/Airfoils/";
	str_acf_fold = src_fold + ALL_str + "/Aircraft/";
	str_res_fold = src_fold + ALL_str + "/Resources/";
	str_out_fold = src_fold + ALL_str + "/Output/";
	str_cus_fold = src_fold + ALL_str + "/Custom Scenery/";
	str_glo_fold = src_fold + ALL_str + "/Global Scenery/";
	str_plug = src_fold + ALL_str + "/Resources/plugins/";
	str_redt = src_fold + ALL_str + "/Resources/default scenery/900 red terrain/";
	str_orbt = src_fold + ALL_str + "/Resources/bitmaps/Earth Orbit Textures/";
	str_erth1 = src_fold + ALL_str + "/Global Scenery/-global overlays-";
	str_erth2 = src_fold + ALL_str + "/Global Scenery/-global terrain-";
	str_mars = src_fold + ALL_str + "/Custom Scenery/DSF 900 Zira World-Wide";
	str_moon = src_fold + ALL_str + "/Custom Scenery/DSF 900 Devu World-Wide";
	str_men_file = src_fold + ALL_str + "/Resources/menus/English/Kestrix.txt";
	str_tex_file = src_fold + ALL_str + "/Resources/text/English/Kestrix.txt";
	str_com_file = kCustomerDataFile.empty() ? std::string() : src_fold + ALL_str + "/" + kCustomerDataFile;
}

void set_dest_dvd(int n) { dst_folder = dst_fold_base + "disk_" + std::to_string(n) + "/"; }

void chop_platform(std::string& path, int platform)
{
	const size_t slash = path.find('/');
	if (slash == std::string::npos) builder_fatal("Could not find the dir char!", path);
	std::string key = path.substr(slash);
	switch (platform) {
	case 0: key = "ALL_os" + key; break;
	case 1: key = "APL_os" + key; break;
	case 2: key = "IBM_os" + key; break;
	case 3: key = "LIN_os" + key; break;
	default: break;
	}
	path = key;
}

int is_good_file(std::string path, int skip_content, int check_content)
{
	if (skip_content == 0 && check_content != 0 && !is_sim_link(path.c_str(), nullptr)) {
		xmap_class m(path);
		if (m.begin == nullptr) return 0;
	}
	const std::string rel = inside_master(path);
	static const char* const kNoWhere[] = {".7z", "Thumbs.db", "work.", "._", ".DS_Store", ".sandboxinfo", ".xSYM",
	                                       "serverlist.txt", "Kestrix Pilot.txt", ".dsf.txt"};
	for (const char* s : kNoWhere)
		if (contains(rel, s)) return 0;
	static const char* const kNoEnd[] = {".ovw", ".ac", ".prf", ".fms", ".sit", ".mov", ".bak"};
	for (const char* s : kNoEnd)
		if (ends_with(rel, s)) return 0;
	if (!kEditionAircraftFolder.empty() && contains(rel, ALL_str + "/" + kEditionAircraftFolder)) return 0;

	const bool earth = contains(path, str_erth1) || contains(path, str_erth2);
	const bool mars = contains(path, str_mars);
	const bool moon = contains(path, str_moon);
	const bool planet = earth || mars || moon;
	switch (build_type) {
	case 0: return (planet || contains(path, str_orbt) || contains(path, str_redt)) ? 0 : 1;
	case 1: return (planet && !earth) ? 0 : 1;
	case 2: return mars ? 1 : 0;
	case 3: return moon ? 1 : 0;
	default: builder_fatal("I can not tell what type of install this is!");
	}
}

void builder_progress(const std::string& counter, const std::string& path)
{
	// The builder has no window: its progress line goes to the terminal, with the master
	// tree's names spelled out as the log spells them, so no name can steer the terminal.
	plat_term_progress(xer_escaped(counter + " " + path).c_str());
	if (plat_term_poll_key() == 'q') builder_fatal("You hit Q dumbass!");
}

void pref_level(const std::string& folder)
{
	std::vector<std::string> names;
	std::vector<int> kinds;
	opensave_getitems(folder, 0, names, kinds);
	for (const std::string& name : names) {
		// The listing types an entry by its name's extension, so a folder called
		// "notes.txt" comes back as a text file; only the disk can tell. A link is
		// shipped as a link, never walked into.
		const bool is_dir = !is_sim_link((folder + name).c_str(), nullptr) && dir_exists(folder + name);
		const std::string scan = folder + name + (is_dir ? "/" : "");
		const std::string full = app_path + scan;
		const std::string rel = inside_master(full);

		if (!name.empty() && name.back() == ' ')
			builder_fatal("YOU IDIOT!", "You tried to include a file or directory with a space at the end!",
			              "Users of the other platform hate that, and it breaks their file systems.", full);
		// The file list carries a name up to its line end, after the blanks that follow
		// the digest: a line end in a name, or a blank in front of a file's name, would
		// be read back as another path, and the installer would look for an archive
		// that is not there.
		if (name.find_first_of("\r\n") != std::string::npos || (!is_dir && (name[0] == ' ' || name[0] == '\t')))
			builder_fatal("YOU IDIOT!", "found a name the directory file cannot hold!", full);
		// ":" is an ordinary name character on this system; only "\" is refused.
		if (contains(rel, "\\")) builder_fatal("YOU IDIOT!", "found a \\ in the path!", full);

		if (is_dir) {
			const struct {
				const std::string* path;
				int* flag;
			} refs[] = {{&str_all_fold, &found_all_fold}, {&str_apl_fold, &found_apl_fold},
			            {&str_win_fold, &found_win_fold}, {&str_LIN_fold, &found_LIN_fold},
			            {&str_ins_fold, &found_ins_fold}, {&str_wpn_fold, &found_wpn_fold},
			            {&str_afl_fold, &found_afl_fold}, {&str_acf_fold, &found_acf_fold},
			            {&str_res_fold, &found_res_fold}, {&str_out_fold, &found_out_fold},
			            {&str_cus_fold, &found_cus_fold}, {&str_glo_fold, &found_glo_fold},
			            {&str_plug, &found_plug},         {&str_redt, &found_redt},
			            {&str_orbt, &found_orbt}};
			for (const auto& r : refs)
				if (scan == *r.path) {
					*r.flag = 1;
					break;
				}
			if (folder == str_all_fold) {
				bool allowed = !kEditionAircraftFolder.empty() && name + "/" == kEditionAircraftFolder;
				for (const char* a : kAllowedUnderAll)
					if (name + "/" == a) allowed = true;
				if (!allowed) builder_fatal("What the hell is THIS doing in here!?!?!?", full);
			}
			pref_level(scan);
			continue;
		}

		if (scan == str_men_file) found_men_file = 1;
		if (scan == str_tex_file) found_tex_file = 1;
		if (!str_com_file.empty() && scan == str_com_file) found_com_file = 1;
		if (contains(rel, "copy")) builder_fatal("YOU IDIOT!", "found a copy file!", full);
		if (contains(rel, ".cpp")) builder_fatal("YOU IDIOT!", "found a .cpp file!", full);
		if (contains(rel, ".CPP")) builder_fatal("YOU IDIOT!", "found a .CPP file!", full);
		if (folder == str_all_fold)
			builder_fatal("YOU IDIOT!", "I FOUND A FILE INSIDE THE 'ALL' FOLDER! WE SHOULD ONLY HAVE FOLDERS THERE!", full);

		++num_files_rec;
		if (is_good_file(scan, 0, 1)) {
			if (contains(folder, "/All/Resources/preferences/"))
				builder_fatal("YOU IGNORANT SLUT!", "I found this preferences file!", name,
				              "And is_good_file says I should keep it!!!!");
			++num_files_use;
			comp_files.push_back(scan);
			for (int n = 0; n < 3; ++n) {
				set_dest_dvd(n);
				std::string p = dst_folder + sim_name + "/" + scan.substr(src_fold.size());
				for (;;) {
					const size_t cut = p.rfind('/');
					if (cut == std::string::npos) break;
					p.erase(cut);
					if (p.empty() || p.size() < dst_fold_base.size()) break;
					comp_paths.insert(p);
				}
			}
		}
		if (num_files_rec % 500 == 0)
			builder_progress("reg: " + std::to_string(reg) + ": total files recursed: " + std::to_string(num_files_rec) +
			                     ". will compress: " + std::to_string(num_files_use) + ".",
			                 scan);
	}
}

// The history index ignores letter case, so a release holding two paths that differ
// only in case could never be built upon: the next build would find the path twice in
// this one's list. Looked at before anything is written.
static void collect_case_twins(const std::string& folder, std::map<std::string, std::string>& seen)
{
	std::vector<std::string> names;
	std::vector<int> kinds;
	opensave_getitems(folder, 0, names, kinds);
	for (const std::string& name : names) {
		const bool is_dir = !is_sim_link((folder + name).c_str(), nullptr) && dir_exists(folder + name);
		const std::string scan = folder + name + (is_dir ? "/" : "");
		if (is_dir) {
			collect_case_twins(scan, seen);
			continue;
		}
		if (!is_good_file(scan, 1, 0)) continue;
		const std::string rel = inside_master(app_path + scan);
		std::string key = rel;
		for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
		auto it = seen.emplace(key, rel);
		if (!it.second)
			builder_fatal("YOU IDIOT!", "found two paths that differ only in letter case!", it.first->second, rel);
	}
}

void refuse_case_twins(const std::string& master)
{
	std::map<std::string, std::string> seen;
	collect_case_twins(master, seen);
}

void sub_install()
{
	set_dest_dvd(0);
	const std::string target_folder = dst_folder + sim_name + "/";
	const std::string list_path = target_folder + "directory.txt";

	zip_size_dvd = 0.0f;
	dvd_now = 0;
	prev_dir = "---";
	num_files_rec = num_files_use = num_files_com = 0;
	comp_paths.clear();
	comp_files.clear();
	sim_info.clear();
	sim_info_index.clear();
	// The presence checks start afresh too, so that one process can build twice.
	for (int* f : {&found_all_fold, &found_apl_fold, &found_win_fold, &found_LIN_fold, &found_ins_fold,
	               &found_wpn_fold, &found_afl_fold, &found_acf_fold, &found_res_fold, &found_out_fold,
	               &found_cus_fold, &found_glo_fold, &found_plug, &found_redt, &found_orbt, &found_men_file,
	               &found_tex_file, &found_com_file})
		*f = 0;

	// The previous file list carries every path's history forward; one that cannot be
	// read must stop the run, or every older version would be forgotten and the next
	// upgrade would take each changed file for one the user edited. A list named
	// explicitly must be there; only the built-in default may be absent (a first build).
	if (build_type == 0 || read_old_dir_always) {
		const bool present = !old_dir_path.empty() && file_exists(old_dir_path);
		const int r = present ? read_directory(old_dir_path, "Scanning old directory text file to get change log!") : 0;
		if (r != 3 && (present || read_old_dir_always))
			builder_fatal("I could not read the old directory!",
			              "This means that this installer will not delete old files (needed even for the Kestrix / USA scenery install).",
			              "It also means I will forget to fix this, and release without an old directory, and think that older versions of stuff is all user-modified cause I don't recognize it!",
			              "So fix this.");
	} else
		old_dir_path.clear();

	for (size_t i = 0; i < sim_info.size(); ++i) {
		file_version_struct& first = sim_info[i].front();
		std::string key = first.path;
		chop_platform(key, first.platform);
		if (sim_info_index.count(key))
			builder_fatal("WARNING: you appear to have a file TWICE in an old directory file.", "", "", first.path);
		sim_info_index[key] = static_cast<int>(i);
		first.install = 1;
		for (const file_version_struct& v : sim_info[i])
			if (v.version == build_version) {
				char buf[64];
				std::snprintf(buf, sizeof buf, "version_number %f", static_cast<double>(v.version));
				builder_fatal("You idiot! I already have a version:", buf, "in file ", v.path);
			}
	}

	refuse_case_twins(src_fold);

	if (make_folder(app_path + dst_folder) != 0)
		builder_fatal("Could not make the dst_folder!", dst_folder, "THIS MAY SIMPLY BE BECAUSE THE FOLDER ALREADY EXISTS THOUGH!");
	if (make_folder(app_path + target_folder) != 0)
		builder_fatal("Could not make the target_folder!", target_folder,
		              "THIS MAY SIMPLY BE BECAUSE THE FOLDER ALREADY EXISTS THOUGH!");

	// A list that cannot be written would leave masters nobody can install from.
	if (!ouf_open(list_path, 10001, 900, "no-copyright-string")) builder_fatal("I could not write the directory file!", list_path);
	ouf << "INSTALLER\n\n";

	pref_level(src_fold);

	check_found(found_all_fold, "!found_all_fold");
	check_found(found_apl_fold, "!found_apl_fold");
	check_found(found_win_fold, "!found_win_fold");
	check_found(found_LIN_fold, "!found_X86_fold");
	check_found(found_ins_fold, "!found_ins_fold");
	check_found(found_wpn_fold, "!found_wpn_fold");
	check_found(found_afl_fold, "!found_afl_fold");
	check_found(found_acf_fold, "!found_acf_fold");
	check_found(found_res_fold, "!found_res_fold");
	check_found(found_out_fold, "!found_out_fold");
	check_found(found_cus_fold, "!found_cus_fold");
	check_found(found_glo_fold, "!found_glo_fold");
	check_found(found_plug, "!found_plug\t ");
	if (build_type == 1) {
		check_found(found_redt, "!found_redt\t ");
		check_found(found_orbt, "!found_orbt\t ");
	}
	check_found(found_men_file, "!found_men_file");
	check_found(found_tex_file, "!found_tex_file");
	if (found_com_file) builder_fatal("YOU IDIOT!", " found_com_file");

	builder_write_masters(list_path);
}

void build_install()
{
	builder_set_folders();
	switch (build_type) {
	case 0:
	case 1: reg = 0; break;
	case 2: reg = 1; break;
	case 3: reg = 2; break;
	default: return;
	}
	sim_name = build_name[reg];
	sub_install();
	plat_term_progress("");
	__DIDIVI_alert(0, "OK compression is done. Checklist if doing net:",
	               "Copy the version string and number from the shared header into the server list file of the internet folder, and publish it on the web site.",
	               "Upload the -NET uploads- folder stuff.",
	               "Extract directory.txt.zip to the next previous directory file for use next time.", t_alert,
	               "make_installer", __LINE__);
}
