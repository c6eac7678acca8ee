// Which part of the product takes part in a run (the install filter), which scenery
// tiles are selected, and the size totals the wizard shows with its disk-space verdict.
#include <cstring>
#include <string>

#include "engine/engine.h"
#include "runtime/hl_string.h"
#include "runtime/rec_stg.h"

namespace {

// The word of a version's tile in the grids, or -1 for bands off the grid.
int tile_word(const file_version_struct& v)
{
	if (v.lat_band < 0 || v.lat_band >= stg_lat_bands || v.lon_band < 0 || v.lon_band >= stg_lon_bands) return -1;
	return stg_tile(v.lat_band, v.lon_band);
}

}  // namespace

bool ENG_tile_selected(const file_version_struct& v)
{
	const int w = tile_word(v);
	return w >= 0 && stg.scenery_selected[w] != 0;
}

void set_install_filter(int want_sim, int want_global)
{
	g_want_sim = want_sim;
	g_want_global = want_global;
}

int want_this_f(int file, int version)
{
	const file_version_struct& v = sim_info[file][version];
	if (v.is_global && !g_want_global) return 0;
	if (!v.is_global && !g_want_sim) return 0;
	// Platform 6 is a Linux file kept in the shared tree (a plug-in library).
	if (v.platform == stg.target_os || v.platform == 0 || (v.platform == 6 && stg.target_os == 3)) return 1;
	return 0;
}

void scenery_take_all()
{
	for (int w = 0; w < stg_tile_count; ++w) stg.scenery_selected[w] = stg.scenery_available[w];
}

void scenery_from_install()
{
	for (int w = 0; w < stg_tile_count; ++w) stg.scenery_selected[w] = 0;
	for (const file_history_struct& h : sim_info) {
		const file_version_struct& w = h.back();
		if (w.is_global && w.sig_have != "NONE" && tile_word(w) >= 0) stg.scenery_selected[tile_word(w)] = 1;
	}
}

void recalc_disk_sizes()
{
	stg.kb_to_download = 0.0f;
	stg.kb_to_install = 0.0f;
	stg.files_to_download = 0;
	stg.files_to_delete = 0;
	for (int i = 0; i < int(sim_info.size()); ++i) {
		const int j = int(sim_info[i].size()) - 1;
		const file_version_struct& w = sim_info[i][j];
		const bool gone = w.sig == "GONE";
		if (!gone && !w.have && want_this_f(i, j) && (!w.is_global || ENG_tile_selected(w))) {
			stg.kb_to_download += w.zip_kb;
			stg.kb_to_install += w.size_kb;
			stg.files_to_download += 1;
		}
		if (gone && w.have && want_this_f(i, j)) stg.files_to_delete += 1;
		// A present tile the user deselected goes away in the run.
		if (w.is_global && !ENG_tile_selected(w) && w.have && want_this_f(i, j)) stg.files_to_delete += 1;
	}
}

void set_size_str(float kb, std::string* out)
{
	const float mb = float(double(kb) * 0.001);
	if (mb < 1000.0f) {
		flt_to_str(mb, out, 2, 1, 0);
		*out += " Meg";
	} else {
		flt_to_str(float(double(mb) * 0.001), out, 2, 1, 0);
		*out += " Gig";
	}
}
