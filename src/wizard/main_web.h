#pragma once
// The web families: the update-server list and the server's file list, the web
// updater's six screens and the web demo's six. The shipped program starts on the DVD
// installer and never enters them; a build (or a test) that sets g_wizard to net_start
// or demo_start before the first frame does.
#include <string>

#include "wizard/main_globals.h"
#include "wizard/main_install.h"

// ---- The server list and the file list ----

// The maker's server list, fetched from maker_web_host (runtime/hl_product.h).
inline constexpr char web_server_list_path[] = "/serverlist9.txt";
inline constexpr char web_server_list_file[] = "serverlist9.txt";
// Download slots of the two lists; the network run's streams use the slots after them.
constexpr int web_list_slot = 0;
constexpr int web_dir_slot = 1;
// At most this many servers are kept.
constexpr int web_max_servers = 10;
// A failed fetch of either list is started again no sooner than this, in frame-clock
// seconds, so that a refusing host is not asked every frame.
constexpr float web_retry_delay = 1.0f;

// Reads the server list at `path`: install_name from the "BETA" or "FINAL" line (by
// stg.get_beta), then server_name, server_path and server_desc and stg.server_count.
// An entry that cannot be used is skipped with a "WARNING: " log line. 1 when read, 0
// when the file is empty, missing, or not a version-820 "SERVERS" file (nothing is
// changed then).
int UTL_read_server_list(const std::string& path);

// One step of fetching the server list and then the chosen server's file list; never
// blocks. The progress lives in stg.server_count (-1 until the server list is read),
// stg.server_index and stg.dir_state (0 no file list yet, 1 downloaded and unpacked but
// not read, 2 read and bad, or no usable server, 3 read and good).
void UTL_download_directory();

// ---- Pieces of the screens that are pure arithmetic ----

// The received share of a download slot in whole percent: -1 while the length is
// unknown (or zero), 0 before the transfer exists.
int web_received_percent(int slot);
// The same share as a fraction for the progress bar: -0.01 while the length is unknown
// (or zero), 0 before the transfer exists.
float web_received_fraction(int slot);
// A download size in KB as the disk-space screen words it: "%.1f GB", "%.0f MB" or "%.0f KB".
std::string web_size_text(float kb);
// The time left as the install screen words it ("119 seconds", "119 minutes", "2 hours"),
// not translated.
std::string web_time_left_text(float seconds);
// One frame's step of the smoothed install fraction: `ratio` moves by 5 frame periods
// towards kb_unpacked / kb_to_install (1 when there is nothing to install), kept in 0..1.
float web_smooth_fraction(float ratio, float frame_period, float kb_unpacked, float kb_to_install);

// The download reset: ends the network run's transfers, deletes the partial archives of
// its active streams and starts the bookkeeping of `next` afresh (the done flag kept).
void web_download_reset();

// ---- The web updater ----
int net_start(int first, wizard_screen& s);
int net_pick_dest(int first, wizard_screen& s);
int net_get_updates(int first, wizard_screen& s);
int net_check_disk(int first, wizard_screen& s);
int net_run_patch(int first, wizard_screen& s);
int net_done(int first, wizard_screen& s);

// ---- The web demo ----
// The demo's licence box.
extern int accept_eula_demo;
// 1 while a demo download run is under way.
extern int demo_install_is_running;

// Where the destination screen proposes to make the demo copy.
extern new_copy_place demo_dest;

int demo_start(int first, wizard_screen& s);
int demo_eula(int first, wizard_screen& s);
int demo_get_updates(int first, wizard_screen& s);
int demo_pick_dest(int first, wizard_screen& s);
int demo_run_patch(int first, wizard_screen& s);
int demo_done(int first, wizard_screen& s);
