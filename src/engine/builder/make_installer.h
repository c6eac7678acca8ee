#pragma once
// The builder: turns a master tree (the complete product laid out by platform) into
// the DVD masters: one archive per file, the file list with the full version history
// of every path, the zipped file list and the DVD identity file. Everything runs on
// the calling thread, blocking; every consistency problem is a quitting alert.
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/install_paths.h"  // get_path_with_path

// Builder mode: 0 in the installer, 1 in the builder executable.
extern const int is_build;
// Which product: 0 and 1 the simulator, 2 "Zira", 3 "Devu"; also picks the file filter.
extern int build_type;

extern int reg;
extern std::string sim_name;
extern std::string old_dir_path;
extern std::string src_fold;
extern std::string dst_fold_base;
extern std::string dst_folder;
extern std::string ALL_str, APL_str, WIN_str, LIN_str;
extern std::string prev_dir;

struct no_case_compare_string {
	bool operator()(const std::string& a, const std::string& b) const;
};

extern std::set<std::string> comp_paths;
extern std::vector<std::string> comp_files;
extern std::map<std::string, int, no_case_compare_string> sim_info_index;
extern int num_files_rec, num_files_use, num_files_com;
extern int dvd_now;
extern float zip_size_dvd;

// The version stamp of everything this build writes (the release, 9.10r1); a build
// against a previous list made with the same stamp is refused.
extern int build_version;
// KB of archives one DVD takes before the next one starts.
extern float dvd_capacity_kb;
// Read the previous file list even for a product whose builds normally start afresh:
// set when the previous list was named explicitly.
extern int read_old_dir_always;

extern int found_all_fold, found_apl_fold, found_win_fold, found_LIN_fold, found_ins_fold, found_wpn_fold,
	found_afl_fold, found_acf_fold, found_res_fold, found_out_fold, found_cus_fold, found_glo_fold, found_plug,
	found_redt, found_orbt, found_men_file, found_tex_file, found_com_file;

extern std::string str_all_fold, str_apl_fold, str_win_fold, str_LIN_fold, str_ins_fold, str_wpn_fold,
	str_afl_fold, str_acf_fold, str_res_fold, str_out_fold, str_cus_fold, str_glo_fold, str_plug, str_redt,
	str_orbt, str_erth1, str_erth2, str_mars, str_moon, str_men_file, str_tex_file, str_com_file;

// Every consistency problem of a build: a quitting alert with these four lines.
[[noreturn]] void builder_fatal(const std::string& l1, const std::string& l2 = "", const std::string& l3 = "",
                                const std::string& l4 = "");

// Rebuilds the reference paths from src_fold (after the folders were given).
void builder_set_folders();

void build_install();
void sub_install();
// Stops the build with a quitting alert naming both when the master tree holds two
// shipped paths that differ only in letter case.
void refuse_case_twins(const std::string& master);
void pref_level(const std::string& folder);
int is_good_file(std::string path, int skip_content, int check_content);
void chop_platform(std::string& path, int platform);
void set_dest_dvd(int n);
void comp_file(std::string src);
// The tail of a pass: archives, file-list lines, DVD split, gone files, identity file, zipped list.
void builder_write_masters(const std::string& list_path);

// Progress line of the builder (it has no window: the terminal), and the "q" abort.
void builder_progress(const std::string& counter, const std::string& path);

// Packs one file (or link) into a new single-entry 7z archive. Returns 0 or an error code.
int file_to_7z(const std::string& src, const std::string& archive);
