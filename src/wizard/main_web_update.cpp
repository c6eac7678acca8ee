// The web updater: six screens that bring an installed copy up to date from the update
// servers, and the pieces the web demo shares with them (the download reset, the search
// screen's work, the install screen's polling loop and its texts).
#include <algorithm>
#include <iterator>
#include <cstdio>

#include "engine/engine.h"
#include "engine/utils_net.h"
#include "platform/plat_clock.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_string.h"
#include "runtime/hl_product.h"
#include "runtime/http.h"
#include "runtime/io_utils.h"
#include "runtime/rec_stg.h"
#include "runtime/translate.h"
#include "runtime/xtim.h"
#include "wizard/main_copies.h"
#include "wizard/main_map.h"
#include "wizard/main_screens.h"
#include "wizard/main_web.h"
#include "wizard/main_web_shared.h"

namespace {

// The step list of the family; "Pick Destination" only when the copy has to be picked.
const web_step kSteps[] = {
    {"Welcome", net_start, false},
    {"Pick Destination", net_pick_dest, true},
    {"Search for Updates", net_get_updates, false},
    {"Check Disk Space", net_check_disk, false},
    {"Install Updates", net_run_patch, false},
    {"Finish", net_done, false},
};

const char kStartTitle[] = "Kestrix 9 Web Updater";
const char kGuide[] = "I will guide you through the process of updating your copy of Kestrix 9 to the latest version.";
const char kNoCopy[] = "You do not appear to have Kestrix 9 installed.";
const char kPickTitle[] = "Pick Destination";
const char kWhichCopy[] = "Please select which copy of Kestrix 9 you would like to update.";
const char kDiskTitle[] = "Check Disk Space";
const char kSpaceEnough[] = "You have enough free disk space to update Kestrix 9";
const char kSpaceShort[] = "You do not have enough free disk space to update Kestrix 9.";
const char kNoSpace[] =
    "There is a newer version of Kestrix 9 available, but you do not have enough free disk space to download and "
    "install the update.\n\nPlease free some space on your hard drive.";
const char kAboutToFetch[] = "You are about to download ";
const char kToUpdateTo[] = " of compressed data to update to ";
const char kSentenceEnd[] = ".";  // punctuation, the same in every language
const char kInstallTitle[] = "Installing";
const char kDoneTitle[] = "Finshed Web Update";
const char kUpToDate[] = "This copy of Kestrix (";
const char kUpToDateEnd[] = ") is already up to date.";
const char kFinished[] = "I have finished updating ";
const char kFlyUpdate[] = "Fly Kestrix Now";
const char kProblems[] =
    "There were problems updating Kestrix.  You can try this updater again using a different server.";

// The texts of a search screen.
struct web_search_texts {
	const char* title;
	const char* contacting;      // + the maker's web host +
	const char* contacting_end;  // while the server list is fetched
	const char* downloading;     // + the server's name, while the file list is fetched
	const char* processing;      // while the file list is read
};
// The search screen's texts, by family (web_family).
const web_search_texts kSearchTexts[] = {
    {"Search for Updates", "I am contacting ", " to find an update server.", "I am downloading patch info from ",
     "I am processing information about the available patches."},
    {"Check Servers", "I am contacting ", " to find a demo server.", "I am downloading demo info from ",
     "I am processing information about the available demo."},
};

const char kChecking[] = "I am checking the net for the latest version of Kestrix 9 right now, and I am ";
const char kConnecting[] = "connecting to the server...";
const char kPercentDone[] = "% done checking.";
const char kBadServers[] = "There was a problem reading information from the servers.";
const char kScanning[] = "I am scanning ";
const char kScanningEnd[] = " to see what files need updating.";
const char kScanCount[] = "Scanning %d of %d files.";
const char kNumberMark[] = "%d";

// The install screen's texts.
const char* const kFileStates[] = {
    "Deleting ",
    "Downloading and installing ",
    "duplicate filename through file ",
    "Browsing through file ",
};
const char* const kFileStateEnds[] = {
    " because that file is no longer needed!",
    ", currently ",
    ", but not installing it because you already have this file.",
    ", but not installing it because you don't need this file.",
};
const char kFilePercentEnd[] = "% done with that file.";
const char kAbout[] = "About ";
const char kLeftAt[] = " left in the install, downloading at ";
const char kRateUnit[] = " kilobytes/second ";
const char kWith[] = "with ";
const char kStreams[] = " simultaneous download streams.";
const char kCannotDownload[] = "I can not download the file '";
const char kTryingAnother[] =
    "'.\n\nYour internet connection may not be working, or the server could be undergoing maintainance or an upgrade "
    "right now.\n\nI am trying another server now to see if I can still get you a download...";
const char* const kTimeUnits[] = {" seconds", " minutes", " hours"};

constexpr float kSecondsLimit = 120.0f;   // below: seconds
constexpr float kMinutesLimit = 7200.0f;  // below: minutes
constexpr float kSecondsPerMinute = 60.0f;
constexpr float kSecondsPerHour = 3600.0f;
constexpr float kGigaLimit = 1024000.0f;  // KB above which sizes are in GB
constexpr float kMegaLimit = 1024.0f;
constexpr float kKbPerGiga = 1048576.0f;
constexpr float kKbPerMega = 1024.0f;
constexpr float kSmoothPeriods = 5.0f;  // frame periods the smoothed fraction moves by
constexpr float kEstimateFrom = 0.01f;  // no estimate until this much is smoothed in
constexpr float kMinElapsed = 1.0f;
constexpr uint64_t kPollMicroseconds = 20000;  // of each frame spent polling the downloads
constexpr float kUnknownFraction = -0.01f;
constexpr int kPercent = 100;
constexpr int kFileStateCount = 4;
constexpr int kDownloading = 1;
constexpr int kGoodList = 3;
constexpr int kUnpacked = 1;
constexpr int kBadList = 2;
constexpr int kNoList = 0;
constexpr int kNotRead = -1;

// The search screen's scan cursor and fraction, and the install screen's smoothed fraction.
int g_scan_cursor = 0;
float g_scan_fraction = 0.0f;
float g_net_ratio = 0.0f;

int active_streams()
{
	int n = 0;
	for (int a : next.stream_active) n += a ? 1 : 0;
	return n;
}

std::string status_line()
{
	const int st = stg.file_state;
	if (st < 0 || st >= kFileStateCount) return "";
	std::string line = UTL_translate_string(kFileStates[st]) + STR_utf8_to_font(crnt_file_name) +
	                   UTL_translate_string(kFileStateEnds[st]);
	if (st == kDownloading)
		line += std::to_string(int(stg.file_fraction * kPercent)) + UTL_translate_string(kFilePercentEnd);
	return line;
}

// The log's line when "-path" names no installed copy; the folder follows.
const char kPathRefused[] = "WARNING: -path does not name an installed copy, ignored: ";

// The copy "-path" names, or "" when it names none: the updater writes every file it
// fetches into this folder, so a relative path or a folder without a copy in it is
// treated as no "-path" at all. Checked each time the start screen is entered.
std::string g_path_copy;

void check_path_copy()
{
	g_path_copy = cmd_line_path.empty() ? std::string() : UTIL_copy_at(cmd_line_path);
	if (!cmd_line_path.empty() && g_path_copy.empty()) xer << kPathRefused << cmd_line_path << "\n";
}

// The copy the updater works on: "-path" when it names a copy, else the only registered copy.
std::string chosen_copy()
{
	if (!cmd_line_path.empty() && !g_path_copy.empty()) return g_path_copy;
	return all_orvalas.size() == 1 ? all_orvalas[0] : std::string();
}

}  // namespace

// ---- Pure pieces ----

int web_received_percent(int slot)
{
	const down_class* d = slot >= 0 && slot < http_slot_count ? http.slots[slot] : nullptr;
	if (!d) return 0;
	if (d->content_length <= 0) return -1;
	return int(d->bytes_written * kPercent / d->content_length);
}

float web_received_fraction(int slot)
{
	const down_class* d = slot >= 0 && slot < http_slot_count ? http.slots[slot] : nullptr;
	if (!d) return 0.0f;
	if (d->content_length <= 0) return kUnknownFraction;
	return float(double(d->bytes_written) / double(d->content_length));
}

std::string web_size_text(float kb)
{
	char buf[64];
	if (kb > kGigaLimit)
		std::snprintf(buf, sizeof buf, "%.1f GB", double(kb / kKbPerGiga));
	else if (kb > kMegaLimit)
		std::snprintf(buf, sizeof buf, "%.0f MB", double(kb / kKbPerMega));
	else
		std::snprintf(buf, sizeof buf, "%.0f KB", double(kb));
	return buf;
}

std::string web_time_left_text(float seconds)
{
	if (seconds < kSecondsLimit) return std::to_string(int(seconds)) + UTL_translate_string(kTimeUnits[0]);
	if (seconds < kMinutesLimit)
		return std::to_string(int(seconds / kSecondsPerMinute)) + UTL_translate_string(kTimeUnits[1]);
	return std::to_string(int(seconds / kSecondsPerHour)) + UTL_translate_string(kTimeUnits[2]);
}

float web_smooth_fraction(float ratio, float frame_period, float kb_unpacked, float kb_to_install)
{
	// Nothing to install is all installed, not a division by zero.
	const float target = kb_to_install > 0.0f ? kb_unpacked / kb_to_install : 1.0f;
	const float k = kSmoothPeriods * frame_period;
	ratio = (1.0f - k) * ratio + k * target;
	return std::clamp(ratio, 0.0f, 1.0f);
}

std::string web_estimate_text(float ratio)
{
	const float done = next.kb_downloaded + next.kb_in_flight;
	const float remaining = std::max(stg.kb_to_download - done, 0.0f);
	const float elapsed = std::max(xtim.elapsed - next.start_time, kMinElapsed);
	const float rate = done / elapsed;
	// At no rate there is no time to tell.
	if (ratio <= kEstimateFrom || !(rate > 0.0f)) return "";
	return UTL_translate_string(kAbout) + web_time_left_text(remaining / rate) + UTL_translate_string(kLeftAt) +
	       std::to_string(int(rate)) + UTL_translate_string(kRateUnit) + UTL_translate_string(kWith) +
	       std::to_string(active_streams()) + UTL_translate_string(kStreams);
}

void web_download_reset()
{
	// The old transfers end first, so that no stream writes into an archive deleted here.
	for (int s = 0; s < net_stream_count; ++s) http.cancel(s + net_first_slot);
	if (!temp_path.empty())
		for (int s = 0; s < net_stream_count; ++s)
			if (next.stream_active[s]) delete_file(temp_path + std::to_string(s) + ".zip");
	const int done = next.done;
	next = next_struct{};
	next.done = done;
	for (int s = 0; s < web_start_streams; ++s) {
		next.stream_active[s] = 1;
		next.needs_file[s] = 1;
	}
	next.start_time = xtim.elapsed;
}

void web_offer_run(wizard_screen& s, const std::string& label)
{
	s.choice_labels.push_back(label);
	s.choice_targets.push_back(dvd_do_run_sim);
}

void web_set_steps(const web_step* steps, int count, bool with_pick)
{
	step_names.clear();
	step_funcs.clear();
	for (int i = 0; i < count; ++i) {
		if (steps[i].pick_only && !with_pick) continue;
		step_names.push_back(UTL_translate_string(steps[i].label));
		step_funcs.push_back(steps[i].screen);
	}
}

int web_search_frame(int first, wizard_screen& s, web_family family)
{
	if (first) {
		// Read the downloaded list again: the previous visit may have chosen from it. The
		// scan starts over on every entry, so no cursor of an earlier pass is taken up.
		if (stg.dir_state == kGoodList) stg.dir_state = kUnpacked;
		g_scan_cursor = 0;
		g_scan_fraction = 0.0f;
	}
	s.title = UTL_translate_string(kSearchTexts[family].title);
	s.next_screen = nullptr;
	UTL_download_directory();
	if (stg.server_count == kNotRead) {
		s.text = UTL_translate_string(kSearchTexts[family].contacting) + maker_web_host +
		         UTL_translate_string(kSearchTexts[family].contacting_end);
	} else if (stg.dir_state == kNoList) {
		const int p = web_received_percent(web_dir_slot);
		s.progress_text =
		    UTL_translate_string(kChecking) +
		    (p == -1 ? UTL_translate_string(kConnecting) : std::to_string(p) + UTL_translate_string(kPercentDone));
		s.progress = web_received_fraction(web_dir_slot);
		const int i = std::clamp(stg.server_index, 0, web_max_servers - 1);
		s.text = UTL_translate_string(kSearchTexts[family].downloading) + server_name[i];
	} else if (stg.dir_state == kUnpacked) {
		s.text = UTL_translate_string(kSearchTexts[family].processing);
	} else if (stg.dir_state == kBadList) {
		s.text = UTL_translate_string(kBadServers);
	} else if (stg.dir_state == kGoodList) {
		// The demo installs into a new folder: nothing to scan.
		if (family == web_demo) return 1;
		s.on_cancel = checksum_directory_kill;
		if (checksum_directory(g_scan_cursor, g_scan_fraction)) {
			// The update keeps the tiles the copy has: a tile not selected would be deleted.
			scenery_from_install();
			recalc_disk_sizes();
			return 1;
		}
		s.text = UTL_translate_string(kScanning) + STR_utf8_to_font(dest_dir_path) + UTL_translate_string(kScanningEnd);
		s.progress_text = UTL_fill_marks(UTL_translate_string(kScanCount),
		                                 {{kNumberMark, std::to_string(g_scan_cursor)},
		                                  {kNumberMark, std::to_string(sim_info.size())}});
		s.progress = g_scan_fraction;
	}
	return 0;
}

int web_run_frame(wizard_screen& s, float& ratio, screen_fn back)
{
	s.title = UTL_translate_string(kInstallTitle);
	s.show_servers = 1;
	const uint64_t t0 = PLAT_microseconds();
	while (PLAT_microseconds() - t0 < kPollMicroseconds) {
		if (grab_files() != 0) {
			web_download_reset();
			s.back_screen = nullptr;
			return 1;
		}
		ratio = web_smooth_fraction(ratio, xtim.frame_period[0], next.kb_unpacked, stg.kb_to_install);
		const std::string status = status_line();
		s.text = web_estimate_text(ratio);
		if (stg.download_failed) {
			s.text = UTL_translate_string(kCannotDownload) + STR_utf8_to_font(crnt_file_path) +
			         UTL_translate_string(kTryingAnother);
		} else {
			s.progress_text = status;
			s.progress = ratio;
		}
		s.back_screen = back;
		s.next_screen = nullptr;
	}
	return 0;
}

// ---- The screens ----

int net_start(int first, wizard_screen& s)
{
	if (first) {
		// The scan's workers read dest_dir_path, which this screen is about to set.
		checksum_directory_kill();
		locate_all_kestrixes();
		check_path_copy();
		const bool pick = g_path_copy.empty() && all_orvalas.size() != 1;
		web_set_steps(kSteps, int(std::size(kSteps)), pick);
		web_download_reset();
	}
	dest_dir_path = chosen_copy();
	s.title = UTL_translate_string(kStartTitle);
	s.back_screen = nullptr;
	if (!dest_dir_path.empty()) {
		s.text = UTL_translate_string(kGuide);
		s.next_screen = net_get_updates;
	} else if (all_orvalas.empty()) {
		s.text = UTL_translate_string(kNoCopy);
		s.next_screen = nullptr;
	} else {
		s.text = UTL_translate_string(kGuide);
		s.next_screen = net_pick_dest;
	}
	return 0;
}

int net_pick_dest(int first, wizard_screen& s)
{
	if (first) {
		checksum_directory_kill();
		web_download_reset();
	}
	s.title = UTL_translate_string(kPickTitle);
	s.text = UTIL_pick_text(UTL_translate_string(kWhichCopy));
	UTIL_pick_install();
	s.back_screen = net_start;
	s.next_screen = dest_dir_path.empty() ? nullptr : net_get_updates;
	return 0;
}

int net_get_updates(int first, wizard_screen& s)
{
	s.back_screen = net_pick_dest;
	if (web_search_frame(first, s, web_update)) {
		s.back_screen = nullptr;
		s.next_screen = net_check_disk;
		return 1;
	}
	return 0;
}

int net_check_disk(int first, wizard_screen& s)
{
	if (first) web_download_reset();
	s.title = UTL_translate_string(kDiskTitle);
	s.back_screen = net_get_updates;
	s.next_screen = net_run_patch;
	s.show_servers = 1;
	if (stg.kb_to_install == 0.0f) {
		s.next_screen = net_done;
		return 1;
	}
	if (!UTIL_disk_space(UTL_translate_string(kSpaceEnough), UTL_translate_string(kSpaceShort))) {
		s.next_screen = nullptr;
		s.text = UTL_translate_string(kNoSpace);
		return 0;
	}
	s.text = UTL_translate_string(kAboutToFetch) + web_size_text(stg.kb_to_download) +
	         UTL_translate_string(kToUpdateTo) + install_name + kSentenceEnd;
	return 0;
}

int net_run_patch(int first, wizard_screen& s)
{
	if (first) {
		// The update works only in the folder its scan looked at: make_dirs would rebuild
		// a copy that moved away at its old path.
		if (!ENG_scanned_copy_is_there() || choose_files() == 0 || make_dirs() != 0) {
			s.next_screen = net_check_disk;
			return 1;
		}
		web_download_reset();
		net_failed_deletes = 0;
	}
	if (web_run_frame(s, g_net_ratio, net_check_disk)) {
		s.next_screen = net_done;
		return 1;
	}
	return 0;
}

int net_done(int, wizard_screen& s)
{
	s.title = UTL_translate_string(kDoneTitle);
	s.back_screen = nullptr;
	s.next_screen = wizard_quit;
	if (stg.kb_to_install == 0.0f) {
		s.text = UTL_translate_string(kUpToDate) + STR_utf8_to_font(dest_dir_path) + UTL_translate_string(kUpToDateEnd);
		web_offer_run(s, UTL_translate_string(kFlyUpdate));
	} else if (stg.extract_failed == 0 && net_failed_deletes == 0) {
		s.text = UTL_translate_string(kFinished) + STR_utf8_to_font(dest_dir_path) + kSentenceEnd;
		web_offer_run(s, UTL_translate_string(kFlyUpdate));
	} else {
		s.text = UTL_translate_string(kProblems);
	}
	return 0;
}
