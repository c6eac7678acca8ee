// Choosing, once at the start of a run, what to install, delete or leave alone. A file
// the user changed (its digest matches no version the file list knows) is never
// overwritten or deleted without asking.
#include <algorithm>
#include <vector>

#include "engine/install.h"
#include "engine/install_paths.h"
#include "runtime/hl_globals.h"
#include "runtime/rec_stg.h"

bool path_has_no_file(std::string path)
{
	return !path.empty() && path.back() == '/';
}

static bool is_known_version(const file_history_struct& h, const std::string& sig_have)
{
	return std::any_of(h.begin(), h.end(), [&](const file_version_struct& v) { return v.sig == sig_have; });
}

static bool in_list(const std::vector<std::string>& list, const std::string& folder)
{
	return std::find(list.begin(), list.end(), folder) != list.end();
}

int choose_files()
{
	// Folders answered for as a whole during this call: act on, or keep, every
	// changed file in exactly that folder.
	std::vector<std::string> act_folders;
	std::vector<std::string> keep_folders;

	for (size_t i = 0; i < sim_info.size(); ++i) {
		file_history_struct& h = sim_info[i];
		const int j = (int)h.size() - 1;
		file_version_struct& w = h.back();
		w.install = 0;
		w.remove = 0;
		if (!want_this_f((int)i, j)) continue;

		std::string rel = w.path;
		trim_dest_folder(rel);
		const std::string full = dest_dir_path + rel;

		bool gone = w.sig == "GONE";
		const bool present = w.sig_have != "NONE";
		bool same = present && w.sig_have == w.sig;
		// A tile the user did not select goes, like a file the product dropped.
		if (w.is_global && !ENG_tile_selected(w)) {
			gone = true;
			same = false;
		}

		int act;
		if (!present)
			act = gone ? 0 : 1;
		else if (same)
			act = 0;
		else if (is_known_version(h, w.sig_have))
			act = 1;
		else {
			const std::string folder = ENG_folder_of(full);
			if (in_list(act_folders, folder))
				act = 1;
			else if (in_list(keep_folders, folder))
				act = 0;
			else {
				xer << "File: " << full << "  sig_want=" << w.sig << "  sig_have=" << w.sig_have << "\n";
				switch (select_alert(full, gone ? 1 : 0)) {
				case 1: act = 1; break;
				case 2: act = 0; break;
				case 4:
					act_folders.push_back(folder);
					act = 1;
					break;
				case 5:
					keep_folders.push_back(folder);
					act = 0;
					break;
				default: return 0;  // cancel: the rest keep the flags they had
				}
			}
		}
		w.install = act && !gone;
		w.remove = act && gone;
	}

	// The progress bar of the run screens: each file's share of the installed KB
	// that comes before it.
	double total = 0;
	for (const file_history_struct& h : sim_info)
		if (h.back().install) total += h.back().size_kb;
	if (total > 0) {
		double run = 0;
		for (file_history_struct& h : sim_info) {
			file_version_struct& w = h.back();
			w.progress_at = (float)(run / total);
			if (w.install) run += w.size_kb;
		}
	} else {
		for (file_history_struct& h : sim_info) h.back().progress_at = 0.5f;
	}
	return 1;
}
