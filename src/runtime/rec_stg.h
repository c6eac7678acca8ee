#pragma once
// The settings and run-state record `stg`: one plain record of 32-bit words shared by
// the install engine and the wizard. The word numbers are fixed (the engine's tasks, the
// wizard and the preferences file all address the same words), so the field order below
// must not change. All words start at zero; the program entry gives them their start
// values. Ints unless marked float.

// The global-scenery tiles: 36 longitude columns of 18 latitude bands, column-major.
constexpr int stg_lat_bands = 18;
constexpr int stg_lon_bands = 36;
constexpr int stg_tile_count = stg_lat_bands * stg_lon_bands;  // 648

// Index of tile (lat_band, lon_band) in `scenery_selected` and `scenery_available`.
constexpr int stg_tile(int lat_band, int lon_band) { return lat_band + stg_lat_bands * lon_band; }

struct stg_struct {
	int dir_state;        // 0 not read, 1 downloaded and unpacked, not yet read, 2 bad file, 3 good
	int target_os;        // platform to install for: 1 Mac OS X, 2 Windows, 3 Linux
	int log_actions;      // one log line per file action (preference "_log_actions")
	int format_state;     // 2 when the server's file list is newer than the engine understands
	int download_failed;  // the last download failed
	int extract_failed;   // an archive could not be extracted
	int server_count;     // download servers, -1 before the server list is read
	int server_index;     // download server in use
	int scenery_selected[stg_tile_count];   // tile chosen for the run
	int scenery_available[stg_tile_count];  // the file list holds a file of that tile
	int file_state;       // network run's current file: 0 deleting, 1 downloading, 2 present, 3 not wanted
	float file_fraction;  // fraction of the current download received, -0.01 when unknown
	int stream_count;     // manual download streams, 0 automatic (preference "_stream_count")
	int get_beta;         // fetch from beta servers (preference "_get_beta")
	float kb_to_download;  // KB of archives to fetch or copy
	float kb_to_install;   // KB to be installed
	int files_to_download;
	int files_to_delete;
	int has_scenery;    // the file list holds global-scenery files (wanted versions)
	int has_sim_files;  // the file list holds other files (wanted versions)
};

extern stg_struct stg;
