// The network install run. No thread: the download screen calls grab_files once per
// frame, and each call polls every active stream once through the downloader's
// non-blocking slots, unpacks what arrived, deletes what the new installation no
// longer has, widens or narrows the streams by the measured rate and moves to another
// server when a download fails.
#include <errno.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "engine/engine.h"
#include "engine/install.h"
#include "engine/install_paths.h"
#include "engine/new_copy_folder.h"
#include "engine/utils_net.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_errors.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_product.h"
#include "runtime/hl_string.h"
#include "runtime/http.h"
#include "runtime/io_utils.h"
#include "runtime/rec_stg.h"
#include "runtime/translate.h"
#include "runtime/xtim.h"

namespace {

// Streams wanted above each rate (KB/s, strictly above), fastest first.
struct rate_step {
	float above;
	int streams;
};
const rate_step kStreamTargets[] = {{200.0f, 9}, {150.0f, 8}, {100.0f, 6}, {50.0f, 4}};
constexpr int streams_at_least = 2;

constexpr float failover_exponent = 1.5f;
constexpr float rand_scale = 1.0f / 2147483648.0f;  // 2^-31
constexpr int server_slots = 10;                     // entries of server_name and server_path
// The fraction shown while the server has not said how long the file is.
constexpr float unknown_fraction = -0.01f;

const char* const kNoFileLines[3] = {"I am working through the list and found a path that has no file!",
                                     "This is impossible to download or delete!", "It is:"};
const char* const kNewFormatLines[3] = {
    "OK I am checking the Corvane Labs servers and I am finding file formats that are newer than I can understand!",
    "In other words, you need to get a new installer!",
    "Please download the newest installer from the download section of the Corvane Labs web site."};

std::atomic<ENG_url_fn> g_url_hook{nullptr};

int default_go_to_URL(std::string url)
{
	xer << "Please open this address in your web browser: " << url << "\n";
	std::fprintf(stderr, "Please open this address in your web browser: %s\n", xer_escaped(url).c_str());
	return 0;
}

// When each stream's last download failed, so it waits before asking again; kept per
// run (a new start time is a new run).
float s_failed_at[net_stream_count];
bool s_waiting[net_stream_count];
float s_run_start = -1.0f;

void new_run_check()
{
	if (s_run_start == next.start_time) return;
	s_run_start = next.start_time;
	for (int s = 0; s < net_stream_count; ++s) s_waiting[s] = false;
}

bool waiting_to_retry(int s)
{
	if (!s_waiting[s]) return false;
	const float now = xtim.elapsed;
	if (now >= s_failed_at[s] && now < s_failed_at[s] + net_retry_delay) return true;
	s_waiting[s] = false;
	return false;
}

int current_server()
{
	const int i = stg.server_index;
	return i < 0 || i >= server_slots ? 0 : i;
}

// Received share of the slot's download, for the display and the rate.
float slot_fraction(int slot)
{
	const down_class* d = http.slots[slot];
	if (!d) return 0.0f;
	if (d->content_length < 0) return unknown_fraction;
	if (d->content_length == 0) return 0.0f;
	return float(double(d->bytes_written) * 100.0 / double(d->content_length)) * 0.01f;
}

// Deletes one file the new installation no longer has, by delete_files' rule: nothing
// outside the install folder or through a link in it. The folders it lost a file from
// are kept for the clean-up at the end of the run; a file that stays is counted for the
// done screen.
void net_delete(const std::string& rel, const std::string& destination)
{
	stg.file_state = 0;
	const ENG_removal r = ENG_remove_listed_file(rel, destination, "now we want to nuke a file: ");
	if (r.reached)
		for (std::string f = ENG_folder_of(destination); f.size() > dest_dir_path.size(); f = ENG_folder_of(f))
			deleted_files.insert(f);
	if (r.failed()) ++net_failed_deletes;
	if (show_del_err(r.code))
		__DIDIVI_alert(0, "Could not delete a file that I no longer want to have!", error_str(r.code),
		               STR_utf8_to_font(destination), "", t_exit, "utils", __LINE__);
}

// After stream s finished a file: maybe switch another stream on, and keep this one
// going or let it stop.
void decide_stream_future(int s)
{
	const float elapsed = xtim.elapsed - next.start_time;
	const float rate = (next.kb_downloaded + next.kb_in_flight) / std::max(elapsed, 1.0f);
	const int target = ENG_stream_target(rate, stg.stream_count);
	int active = 0;
	for (int i = 0; i < net_stream_count; ++i) active += next.stream_active[i] ? 1 : 0;
	if (target > active) {
		for (int i = 0; i < net_stream_count; ++i) {
			if (next.stream_active[i]) continue;
			next.stream_active[i] = 1;
			next.needs_file[i] = 1;
			break;
		}
	}
	if (target < active)
		next.stream_active[s] = 0;
	else
		next.needs_file[s] = 1;
}

// Folders that lost files and are empty now go, inner folders first.
void remove_emptied_folders()
{
	for (auto it = deleted_files.rbegin(); it != deleted_files.rend(); ++it) {
		std::vector<std::string> names;
		std::vector<int> kinds;
		if (opensave_getitems(*it, 0, names, kinds) != 0 || !names.empty()) continue;
		const int r = delete_file(*it);
		if (stg.log_actions) xer << "cleanup: DELETING  file " << *it << ", with result=" << r << ".\n";
	}
}

// The file of `archive` cannot be installed at `destination` (error `e`, or the folder
// `link` on its way is a link): the run is ending, and the user is told why.
void cannot_extract(int e, const std::string& archive, const std::string& destination, const std::string& link = {})
{
	stg.extract_failed = 1;
	__DIDIVI_alert(0, UTL_translate_string("The installer cannot extract a file."),
	               link.empty() ? UTL_translate_string("Error: ") + error_str(e) : ENG_link_on_the_way(link),
	               UTL_translate_string("Compressed File: ") + STR_utf8_to_font(archive),
	               UTL_translate_string("Destination: ") + STR_utf8_to_font(destination), t_alert, "utils", __LINE__);
}

}  // namespace

int ENG_stream_target(float rate_kb_s, int manual_count)
{
	if (manual_count) return manual_count;
	for (const rate_step& st : kStreamTargets)
		if (rate_kb_s > st.above) return st.streams;
	return streams_at_least;
}

int ENG_failover_server(int rand_value, int server_count)
{
	if (server_count <= 0) return 0;
	const float r = float(rand_value) * rand_scale;
	const float p = r > 0.0f ? std::pow(r, failover_exponent) : 0.0f;
	int i = int(float(server_count) * p);
	if (i < 0) i = 0;
	if (i > server_count - 1) i = server_count - 1;
	return i;
}

ENG_url_fn ENG_set_go_to_URL_hook(ENG_url_fn f) { return g_url_hook.exchange(f); }

int ENG_go_to_URL(const std::string& url)
{
	ENG_url_fn f = g_url_hook.load();
	return f ? f(url) : default_go_to_URL(url);
}

int extract_and_delete_file(std::string archive, std::string destination)
{
	std::string link;
	const int r = ENG_unpack_into_place(archive, destination, &link);
	if (r) cannot_extract(r, archive, destination, link);
	else ENG_note_installed_file(destination);
	const int c = destination.find("Contents/MacOS/") != std::string::npos
	                  ? make_file_executable(destination.c_str())
	                  : 0;
	if (stg.log_actions) {
		xer << "EXPANDING file " << destination << ", with result=" << r << ".\n";
		xer << "CHMODING  file " << destination << ", with result=" << c << ".\n";
	}
	delete_file(archive);
	return r;
}

void new_format(std::string file)
{
	__DIDIVI_alert(0, UTL_translate_string(kNewFormatLines[0]), UTL_translate_string(kNewFormatLines[1]),
	               UTL_translate_string(kNewFormatLines[2]), file, t_alert, "utils", __LINE__);
	ENG_go_to_URL(maker_download_page);
	stg.format_state = 2;
	app_done = 1;
}

int grab_files()
{
	new_run_check();
	const int n = int(sim_info.size());
	next.kb_in_flight = 0.0f;

	for (int s = 0; s < net_stream_count; ++s) {
		if (!next.stream_active[s]) continue;
		if (next.needs_file[s]) {
			next.stream_file[s] = next.cursor;
			next.cursor = std::min(std::max(next.cursor + 1, 0), n);
		}
		const int index = next.stream_file[s];
		if (index >= n || index < 0) continue;

		file_version_struct& v = sim_info[size_t(index)].back();
		const int server = current_server();
		const std::string remote = server_path[server] + v.path + ".zip";
		std::string rel = v.path;
		trim_dest_folder(rel);
		const std::string destination = dest_dir_path + rel;
		const std::string local = temp_path + std::to_string(s) + ".zip";
		next.needs_file[s] = 0;
		crnt_file_name = remote.substr(remote.rfind('/') + 1);
		crnt_file_path = remote;

		if (!v.path.empty() && v.path.back() == '/')
			__DIDIVI_alert(0, kNoFileLines[0], kNoFileLines[1], kNoFileLines[2], STR_utf8_to_font(v.path), t_exit,
			               "utils", __LINE__);

		bool finished = false;
		if (v.remove) {
			net_delete(rel, destination);
			finished = true;
		} else if (v.install) {
			if (waiting_to_retry(s)) continue;
			// Without a temporary folder the download would land in the working folder.
			if (temp_path.empty()) {
				cannot_extract(ENOENT, local, destination);
				return stg.extract_failed;
			}
			stg.file_state = 1;
			const int slot = s + net_first_slot;
			const int r = http.net_check(slot, server_name[server], remote, local);
			if (r == 0) {
				const float f = slot_fraction(slot);
				stg.file_fraction = f;
				next.kb_in_flight += f * v.zip_kb;
			} else if (r == 2 && http.file_error(slot)) {
				// The archive cannot be written here (a full disk): no other server mends
				// that, so the run ends as it does on an archive that does not unpack.
				cannot_extract(http.file_error(slot), local, destination);
				delete_file(local);
				return stg.extract_failed;
			} else if (r == 2) {
				stg.download_failed = 1;
				next.cursor = std::min(next.cursor, index);
				stg.server_index = ENG_failover_server(std::rand(), stg.server_count);
				s_waiting[s] = true;
				s_failed_at[s] = xtim.elapsed;
			} else if (r == 1) {
				stg.download_failed = 0;
				if (extract_and_delete_file(local, destination) == 0) {
					v.have = 1;
					v.sig_have = v.sig;
				}
				next.kb_downloaded += v.zip_kb;
				next.kb_unpacked += v.size_kb;
				finished = true;
			}
		} else {
			stg.file_state = v.have ? 2 : 3;
			finished = true;
		}
		if (finished) decide_stream_future(s);
	}

	for (int s = 0; s < net_stream_count; ++s)
		if (next.stream_active[s] && next.stream_file[s] < n) return stg.extract_failed;

	next.done = 1;
	remove_emptied_folders();
	return 1;
}
