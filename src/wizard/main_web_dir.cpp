// The update-server list and the file-list download of the web families: what the DVD
// gives the DVD installer, fetched over HTTP one non-blocking step per frame.
#include <cstdlib>
#include <cstring>

#include "engine/engine.h"
#include "engine/utils_net.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_errors.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_product.h"
#include "runtime/http.h"
#include "runtime/io_utils.h"
#include "runtime/io_utils_zip.h"
#include "runtime/rec_stg.h"
#include "runtime/translate.h"
#include "runtime/xmap.h"
#include "runtime/xtim.h"
#include "wizard/main_install.h"
#include "wizard/main_temp.h"
#include "wizard/main_web.h"

namespace {

constexpr int kListVersions[] = {820, 0};
constexpr char kListWord[] = "SERVERS";
constexpr char kBetaWord[] = "BETA";
constexpr char kFinalWord[] = "FINAL";
constexpr char kEndWord[] = "ENDOFLIST";
constexpr char kServerWord[] = "SERVER";
constexpr char kDirArchive[] = "directory.txt.zip";
constexpr char kDirFile[] = "directory.txt";
constexpr char kScanText[] = "Scanning directory text file to see if you already have Kestrix installed...";
constexpr int kNotRead = -1;  // stg.server_count before the list is read
constexpr int kNoList = 0;    // dir_state values
constexpr int kUnpacked = 1;
constexpr int kBadList = 2;
constexpr char kAlertSource[] = "main";
constexpr int kAlertLine = 521;

// The alert of a file list that cannot be unpacked; the fetch is then repeated.
const char* const kUnpackAlert[] = {"The installer cannot extract a file.", "Error: ", "Compressed File/",
                                    "Destination Path/"};

// Log lines of entries that are not used.
enum skip_reason { skip_empty_host, skip_host_slash, skip_host_refused, skip_path_slash, skip_bad_name };
const char* const kSkipLines[] = {
    "WARNING: skipping an update server without a host name.",
    "WARNING: skipping an update server whose host name ends in '/': ",
    "WARNING: skipping an update server whose name the downloader refuses (not a plain host name): ",
    "WARNING: skipping an update server whose path does not begin with '/': ",
    "WARNING: skipping a product folder name that is not a plain folder name: ",
};
constexpr char kNoServerLine[] = "WARNING: the update server list names no usable server.";
constexpr char kNoDirLine[] = "WARNING: the server's file list archive holds no directory.txt: ";

// When each list's last fetch failed.
struct retry_state {
	bool waiting = false;
	float failed_at = 0.0f;
};
retry_state g_retry[2];

bool waiting_to_retry(retry_state& r)
{
	if (!r.waiting) return false;
	const float now = xtim.elapsed;
	// A clock that went back (a new run of the frame clock) ends the wait too.
	if (now >= r.failed_at && now < r.failed_at + web_retry_delay) return true;
	r.waiting = false;
	return false;
}

void note_failure(retry_state& r)
{
	r.waiting = true;
	r.failed_at = xtim.elapsed;
}

bool blank(char c) { return c == ' ' || c == '\t'; }
bool control_char(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }

// The keyword counts only when a blank, a tab or the line's end follows it. On a match
// `rest` is what follows, leading blanks dropped and trailing blanks kept.
bool keyword(const std::string& line, const char* word, std::string* rest)
{
	const size_t n = std::strlen(word);
	if (line.compare(0, n, word) != 0 || line.size() < n) return false;
	if (line.size() > n && !blank(line[n])) return false;
	size_t b = n;
	while (b < line.size() && blank(line[b])) ++b;
	*rest = line.substr(b);
	return true;
}

// The product folder name becomes a path on the servers and the demo's folder name.
bool plain_folder_name(const std::string& n)
{
	if (!UTIL_is_one_folder_name(n) || n.find('\\') != std::string::npos) return false;
	for (char c : n)
		if (control_char(c)) return false;
	return true;
}

void take_folder_name(const std::string& name)
{
	if (plain_folder_name(name))
		install_name = name;
	else
		xer << kSkipLines[skip_bad_name] << name << "\n";
}

// Why a server entry cannot be used, or -1. As written such an entry would reach the
// downloader and end the program in its alerts, or be refused by it at every try: a list
// of such names would be fetched from, and failed over between, without end.
int unusable(const std::string& host, const std::string& path)
{
	if (host.empty()) return skip_empty_host;
	if (host.back() == '/') return skip_host_slash;
	if (!http_plain_host_name(host)) return skip_host_refused;
	if (path.empty() || path[0] != '/') return skip_path_slash;
	return -1;
}

void read_servers(xmap_class& map)
{
	while (map.cur < map.end) {
		std::string line, rest;
		map.TXT_str_scan_eoln(&line);
		if (keyword(line, kBetaWord, &rest)) {
			if (stg.get_beta) take_folder_name(rest);
		} else if (keyword(line, kFinalWord, &rest)) {
			if (!stg.get_beta) take_folder_name(rest);
		} else if (keyword(line, kEndWord, &rest)) {
			return;
		} else if (keyword(line, kServerWord, &rest)) {
			// The entry's three lines are taken whether or not it is kept.
			std::string path, desc;
			map.TXT_str_scan_eoln(&path);
			map.TXT_str_scan_eoln(&desc);
			if (stg.server_count >= web_max_servers) continue;
			const int why = unusable(rest, path);
			if (why >= 0) {
				xer << kSkipLines[why] << (why == skip_empty_host ? std::string() : rest) << "\n";
				continue;
			}
			const int i = stg.server_count++;
			server_name[i] = rest;
			server_path[i] = path + install_name + "/";
			server_desc[i] = desc;
		}
	}
}

void fetch_server_list()
{
	if (waiting_to_retry(g_retry[web_list_slot])) return;
	const std::string file = temp_path + web_server_list_file;
	const int r = http.net_check(web_list_slot, maker_web_host, web_server_list_path, file);
	if (r == 0) return;
	if (r != 1) {
		note_failure(g_retry[web_list_slot]);
		return;
	}
	if (!UTL_read_server_list(file)) {
		new_format(file);
		return;
	}
	if (stg.server_count == 0) {
		// Nothing to fetch the file list from: the screens say the servers could not be read.
		xer << kNoServerLine << "\n";
		stg.server_index = 0;
		stg.dir_state = kBadList;
		return;
	}
	stg.server_index = ENG_failover_server(std::rand(), stg.server_count);
}

void fetch_file_list()
{
	if (stg.server_count <= 0) {
		stg.dir_state = kBadList;
		return;
	}
	if (stg.server_index < 0 || stg.server_index >= stg.server_count) stg.server_index = 0;
	if (waiting_to_retry(g_retry[web_dir_slot])) return;
	const std::string archive = temp_path + kDirArchive;
	const std::string list = temp_path + kDirFile;
	const int i = stg.server_index;
	const int r = http.net_check(web_dir_slot, server_name[i], server_path[i] + kDirArchive, archive);
	if (r == 0) return;
	if (r != 1) {
		stg.server_index = stg.server_count == 1 ? 0 : std::rand() % stg.server_count;
		note_failure(g_retry[web_dir_slot]);
		return;
	}
	// A list left by an earlier run must never be read as this server's.
	delete_file(list);
	if (const int e = zip_to_file(archive, temp_path, nullptr, 0, unpack_record().only(kDirFile))) {
		__DIDIVI_alert(0, UTL_translate_string(kUnpackAlert[0]), UTL_translate_string(kUnpackAlert[1]) + error_str(e),
		               UTL_translate_string(kUnpackAlert[2]) + archive,
		               UTL_translate_string(kUnpackAlert[3]) + temp_path, t_alert, kAlertSource, kAlertLine);
	} else if (file_exists(list)) {
		stg.dir_state = kUnpacked;
	} else {
		xer << kNoDirLine << archive << "\n";
		stg.dir_state = kBadList;
	}
	delete_file(archive);
}

}  // namespace

int UTL_read_server_list(const std::string& path)
{
	// Downloaded: read whole, never mapped (see xmap.h).
	xmap_class map(path, xmap_class::read_whole);
	if (!map.begin || map.begin == map.end) return 0;
	if (map.check_file(xmap_text, kListVersions, kListWord, nullptr) != kListVersions[0]) return 0;
	stg.server_count = 0;
	read_servers(map);
	return 1;
}

void UTL_download_directory()
{
	// The server list and the file list are fetched into the temporary folder only.
	if (!main_temp_folder_ready()) return;
	if (stg.server_count == kNotRead) {
		fetch_server_list();
		return;
	}
	if (stg.dir_state == kNoList) {
		fetch_file_list();
		return;
	}
	if (stg.dir_state == kUnpacked)
		stg.dir_state = read_directory(temp_path + kDirFile, UTL_translate_string(kScanText));
}
