#pragma once
// The install engine as the wizard sees it: the file model read from the file list,
// the filter and tile selection, the size totals, and the step functions the screens
// call once per frame. Every step function returns at once; the heavy work runs on the
// engine's worker pools.
//
// The words of the shared settings and run-state record `stg` live with the runtime
// (the preferences file binds some of them); the engine's globals are declared in
// engine/engine_globals.h, which this header includes.
#include <string>
#include <vector>

#include "engine/engine_globals.h"

// ---- The file list and the file model ----

// Reads the file list at `path` into `sim_info`, the tile grids and the presence words
// of `stg`. Returns 3 for a good list, 2 for a list whose header is wrong. A missing
// file or an impossible entry is a quitting alert. `status_text` is not shown.
int read_directory(const std::string& path, std::string status_text);

// Is this file-list path a global-scenery tile (by folder and ".dsf" extension)?
bool is_global_scenery_f(const char* path);

// The 10-by-10-degree tile of a tile file name; writes both bands whenever it
// returns, and returns false when either band lies outside the grid.
bool find_sector(int* lon_band, int* lat_band, std::string path);

// ---- Filter, tile selection and totals ----

// Whether simulator files and global-scenery files take part in the next choice.
void set_install_filter(int want_sim, int want_global);
// 1 when that version of that history passes the filter and suits `target_os`.
int want_this_f(int file, int version);
// Selects every tile the file list holds.
void scenery_take_all();
// Selects exactly the tiles whose scenery the install folder holds (after a scan).
void scenery_from_install();
// Whether the tile of a scenery version is selected; a tile off the grid never is.
bool ENG_tile_selected(const file_version_struct& v);
// Recomputes kb_to_download, kb_to_install, files_to_download and files_to_delete.
void recalc_disk_sizes();
// A KB size (1000 bytes) as "12.3 Meg" or, from 1000 MB up, "1.2 Gig".
void set_size_str(float kb, std::string* out);

// ---- Checksum scan ----

// One non-blocking step of the MD5 scan of `dest_dir_path`: 0 busy, 1 done. The caller
// owns `cursor` (0 before the first step) and `progress`.
int checksum_directory(int& cursor, float& progress);
// The scan's pool: a task digests this many files, and the pool holds this many tasks
// for each processor, handed out and not yet collected; so one step hands out at most
// checksum_tasks_per_processor * processors * checksum_files_per_task files.
constexpr int checksum_files_per_task = 10;
constexpr int checksum_tasks_per_processor = 4;
// Ends a running scan: waits for the tasks already handed out, destroys the pool.
// Safe to call when nothing runs.
void checksum_directory_kill();
// The scan notes, as it starts, which folder it looks at: who dest_dir_path is then
// (its device and inode), or that no folder is there.
void ENG_note_scanned_copy();
// Before a run into an existing copy makes a folder or asks a question: true when
// dest_dir_path is still the very folder the last scan started on. Otherwise (gone,
// another folder in its place, missing when scanned, or not scanned at all) the log
// says why, an alert tells the user the folder is no longer there, and the run must
// not start.
bool ENG_scanned_copy_is_there();
// Drops the platform folder ("All/", "Linux/"...) from a file-list path, in place.
void trim_dest_folder(std::string& path);

// ---- Choosing, folders and deletions, the DVD run ----

// Decides install, delete or nothing for every file, asking about files the user
// changed. 1 when every file is decided, 0 when the user cancelled.
int choose_files();
// One question about a file the user changed: 1 act, 2 keep, 3 cancel everything,
// 4 act on every changed file of its folder, 5 keep them all.
int select_alert(std::string path, int gone);
bool path_has_no_file(std::string path);
// Creates the install folder and the folders the chosen files need; 0 or the first
// error code (already reported to the user).
int make_dirs();
// Deletes every file chosen for deletion and every folder left empty. Returns how many
// files could not be removed (one already gone is no failure); those stay counted as
// present.
int delete_files();
// One step of the DVD install with DVD `disk` mounted: 0 busy, 1 all done, 2 the file
// at `cursor` lies on another DVD, 3 a file failed.
int install_files(int& cursor, int disk);
void install_files_kill();
// The message and code of the last failed file; clears both.
int install_files_get_error(std::string& msg);
// The same, and in `link` the folder on the file's way that is a link when that is why
// it failed (empty otherwise): nothing is written through a link, and the user is told
// which folder it is.
int install_files_get_error(std::string& msg, std::string& link);
// What the user is told, translated, when `link`, a folder on a file's way, is a link:
// its error code alone says nothing to them.
std::string ENG_link_on_the_way(const std::string& link);
// ".7z" for global-scenery archives, ".zip" for the rest.
std::string suffix_for_file(int index);
// A modal two-button question: 1 first button, 0 second, 3 when it cannot be shown.
int abort_alert(std::string message, std::string label1, std::string text1, std::string label2,
                std::string text2);

// ---- The network run ----

// One step of the network install: 1 when the run has finished; otherwise the
// extraction-failure word of stg, 0 to go on, 1 when an archive could not be unpacked.
// The streams, servers and progress live in `next`, `stg`, `server_name` and
// `server_path` (see engine/utils_net.h).
int grab_files();
// Unpacks one downloaded archive into the folder of `destination`, then deletes it.
// 0 or the error (already shown to the user).
int extract_and_delete_file(std::string archive, std::string destination);
// The server's lists are newer than this installer: tell the user, open the maker's
// download page and end.
void new_format(std::string file);
