#pragma once
// The file model of one installation and the globals the engine shares with the
// wizard. They are defined once, in engine_globals.cpp, with their start values; the
// units that own their behaviour only add functions.
#include <set>
#include <string>
#include <vector>

// One version of one file of the file list.
struct file_version_struct {
	int platform = 0;       // 0 every platform, 1 Mac, 2 Windows, 3 Linux, 6 Linux file of the shared tree
	int version = 0;        // release stamp
	float zip_kb = 0.0f;    // archive size, KB of 1000 bytes
	float size_kb = 0.0f;   // installed size, KB of 1000 bytes
	std::string sig;        // 32 lower-case hex digits, or "GONE" for a version that removes the file
	std::string sig_have;   // digest found on disk, "NONE" when absent; empty until scanned
	std::string path;       // master-tree folder ("All", "Linux"...), then the path inside the install folder
	int disk = 0;           // DVD that holds the archive, counting from 0
	int have = 0;           // the file on disk is this version
	int is_global = 0;      // a global-scenery tile
	int lat_band = 0;       // 0..17, meaningful only for a tile
	int lon_band = 0;       // 0..35, meaningful only for a tile
	int install = 0;        // chosen for installation
	int remove = 0;         // chosen for deletion
	float progress_at = 0;  // share of the run's installed KB before this file
};

// Every version of one path, oldest first; the last is the wanted version. Never empty.
typedef std::vector<file_version_struct> file_history_struct;

// The file model: one history per path, in file-list order. Only read_directory fills
// it; nobody resizes it while a scan or run holds indexes into it.
extern std::vector<file_history_struct> sim_info;

// Folders that lost files during a network run; read_directory empties it.
extern std::set<std::string> deleted_files;
// Files a network run could not remove; the web updater sets it to 0 when a run starts
// and its done screen reports them as problems.
extern int net_failed_deletes;

// The install folder of the copy being installed, repaired or changed; absolute,
// ending in "/". Must not change while a scan or run is under way.
extern std::string dest_dir_path;
// The temporary folder, ending in "/".
extern std::string temp_path;
// The product folder name of the DVD set.
extern std::string install_name;
// The DVD now mounted, counted as in the file list's DISK lines.
extern int current_disk;
// The history whose file needs another DVD.
extern int want_file_disk;

// Update servers: host and path prefix (ending with the product folder and "/").
extern std::string server_name[10];
extern std::string server_path[10];
// The file the network run works on, for the download screen.
extern std::string crnt_file_name;
extern std::string crnt_file_path;

// The network run's bookkeeping record of 18 words.
struct next_struct {
	int cursor = 0;              // next history to hand to a stream
	int done = 0;                // the run is finished
	int stream_active[4] = {};   // stream on (1) or off (0)
	int needs_file[4] = {};      // stream needs a new file
	int stream_file[4] = {};     // history index each stream works on
	float start_time = 0.0f;     // frame-clock seconds at the start of the run
	float kb_in_flight = 0.0f;   // zipped KB received of the downloads under way
	float kb_downloaded = 0.0f;  // zipped KB of the files downloaded so far
	float kb_unpacked = 0.0f;    // installed KB of the files downloaded so far
};
extern next_struct next;

// The install filter: simulator files and global-scenery files take part.
extern int g_want_sim;
extern int g_want_global;

// The checksum scan's pool; null whenever no scan is under way.
class UTL_worker_threads;
extern UTL_worker_threads* checksum_workers;
