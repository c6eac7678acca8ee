#include "shell/hl_mnw_about.h"

#include <cctype>
#include <vector>

#include "runtime/hl_errors.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_math.h"
#include "runtime/hl_product.h"
#include "runtime/http.h"
#include "runtime/io_utils.h"
#include "runtime/io_utils_zip.h"
#include "runtime/translate.h"
#include "runtime/xmap.h"

namespace {

enum about_text {
	txt_up_to_date,
	txt_latest_beta,
	txt_no_net,
	txt_no_download,
	txt_unzip_error,
	txt_launch_error,
	txt_get_beta,
	txt_update,
	txt_progress,
	txt_count
};
const char* const kAboutTexts[txt_count] = {
    "Your version of Kestrix is up to date.",
    "You have the latest Kestrix beta.",
    "Can't connect to the net to find latest version.",
    "I was unable to download the installer from the net.",
    "There was an error unzipping the installer: %s (%d)",
    "There was an error launching the installer: %s (%d)",
    " Get New Beta! ",
    "Update Kestrix!",
    "Downloading the installer...%d%% complete",
};

// The marks of the texts above that take a value.
constexpr char kTextMark[] = "%s";
constexpr char kNumberMark[] = "%d";

const char* const server_list_path = "/serverlist9.txt";
const char* const server_list_name = "serverlist9.txt";
const char* const installer_zip_name = "installer.zip";
const char* const product_prefix = "Kestrix ";
constexpr int server_list_version = 820;
// Parts of a version beyond this stop growing: no release number is that long.
constexpr long version_part_max = 100000000;

// The list's keywords this box reads, and where each value goes.
struct list_key {
	const char* word;
	std::string about_release_info::*field;
};
const list_key kListKeys[] = {
    {"BETA", &about_release_info::beta_folder},
    {"FINAL", &about_release_info::final_folder},
    {"BETA_VERSION", &about_release_info::beta_version},
    {"FINAL_VERSION", &about_release_info::final_version},
    {"BETA_INSTALLER_MAC", &about_release_info::beta_installer},
    {"FINAL_INSTALLER_MAC", &about_release_info::final_installer},
};

std::string format_code(const char* text, const std::string& detail, int code)
{
	return UTL_fill_marks(UTL_translate_string(text), {{kTextMark, detail}, {kNumberMark, std::to_string(code)}});
}

void finish(about_state& st, const std::string& message)
{
	st.phase = about_done;
	st.message = message;
	st.button.clear();
}

// The version and installer of the releases the user follows.
const std::string& published_version(const about_state& st)
{
	return st.beta ? st.info.beta_version : st.info.final_version;
}
const std::string& installer_path(const about_state& st)
{
	return st.beta ? st.info.beta_installer : st.info.final_installer;
}

// Splits a version into runs of digits (by value) and single other characters.
std::vector<std::pair<bool, long>> version_parts(const std::string& v)
{
	std::vector<std::pair<bool, long>> parts;
	for (size_t i = 0; i < v.size();) {
		if (std::isdigit((unsigned char)v[i])) {
			long n = 0;
			while (i < v.size() && std::isdigit((unsigned char)v[i])) {
				if (n < version_part_max) n = n * 10 + (v[i] - '0');
				++i;
			}
			parts.push_back({true, n});
		} else {
			if (v[i] != '.') parts.push_back({false, (unsigned char)v[i]});
			++i;
		}
	}
	return parts;
}

void unpack_and_start(about_state& st, const std::string& zip)
{
	std::string first;
	const int r = zip_to_file(zip, st.folder, &first, 0);
	if (r) {
		finish(st, format_code(kAboutTexts[txt_unzip_error], error_str(r), r));
		return;
	}
	// Ends the program when the new installer runs.
	const int e = launch_app(st.folder + first, "");
	finish(st, format_code(kAboutTexts[txt_launch_error], error_str(e), e));
}

}  // namespace

int about_read_server_list(const std::string& path, about_release_info* out)
{
	*out = about_release_info{};
	// Downloaded: read whole, never mapped (see xmap.h).
	xmap_class map(path, xmap_class::read_whole);
	if (!map.begin || map.begin == map.end) return 0;
	const int versions[] = {server_list_version, 0};
	if (map.check_file(xmap_text, versions, "SERVERS", nullptr) != server_list_version) return 0;
	while (map.cur < map.end) {
		std::string line;
		map.TXT_str_scan_eoln(&line);
		size_t b = 0;
		while (b < line.size() && (line[b] == ' ' || line[b] == '\t')) ++b;
		size_t e = b;
		while (e < line.size() && line[e] != ' ' && line[e] != '\t') ++e;
		const std::string word = line.substr(b, e - b);
		if (word == "ENDOFLIST") break;
		while (e < line.size() && (line[e] == ' ' || line[e] == '\t')) ++e;
		for (const list_key& k : kListKeys)
			if (word == k.word) out->*k.field = line.substr(e);
	}
	return 1;
}

int about_compare_versions(const std::string& a, const std::string& b)
{
	const auto pa = version_parts(a), pb = version_parts(b);
	for (size_t i = 0; i < pa.size() && i < pb.size(); ++i) {
		if (pa[i] == pb[i]) continue;
		// A number against a letter: the number (a later part of the same release) is more.
		if (pa[i].first != pb[i].first) return pa[i].first ? 1 : -1;
		return pa[i].second < pb[i].second ? -1 : 1;
	}
	if (pa.size() == pb.size()) return 0;
	return pa.size() < pb.size() ? -1 : 1;
}

std::string about_running_version()
{
	const std::string& b = build_name[0];
	const std::string prefix = product_prefix;
	return b.compare(0, prefix.size(), prefix) == 0 ? b.substr(prefix.size()) : b;
}

std::string about_progress_text(int percent)
{
	return UTL_fill_marks(UTL_translate_string(kAboutTexts[txt_progress]), {{kNumberMark, std::to_string(percent)}});
}

void about_begin(about_state& st)
{
	http.cancel(about_http_slot);
	st.phase = about_fetching_list;
	st.message.clear();
	st.button.clear();
	st.percent = 0;
	if (st.list_file.empty()) {
		std::string temp;
		// Without the private temporary folder the list stays unnamed: a bare name would
		// land in the working folder, over a file of the user's.
		if (get_OS_abs_path(os_dir_temp, temp) == 0 && !temp.empty()) st.list_file = temp + server_list_name;
	}
}

void about_step(about_state& st, int update_pressed)
{
	if (st.phase == about_fetching_list) {
		if (st.list_file.empty()) {
			finish(st, UTL_translate_string(kAboutTexts[txt_no_net]));
			return;
		}
		const int r = http.net_check(about_http_slot, maker_web_host, server_list_path, st.list_file);
		if (r == 0) return;
		if (r != 1 || !about_read_server_list(st.list_file, &st.info) || published_version(st).empty()) {
			finish(st, UTL_translate_string(kAboutTexts[txt_no_net]));
			return;
		}
		if (about_compare_versions(published_version(st), about_running_version()) <= 0) {
			finish(st, UTL_translate_string(kAboutTexts[st.beta ? txt_latest_beta : txt_up_to_date]));
			return;
		}
		st.phase = about_offer;
		st.button = UTL_translate_string(kAboutTexts[st.beta ? txt_get_beta : txt_update]);
		return;
	}
	if (st.phase == about_offer && update_pressed) {
		// A path the downloader's conventions refuse is no installer to fetch.
		if (installer_path(st).empty() || installer_path(st)[0] != '/') {
			finish(st, UTL_translate_string(kAboutTexts[txt_no_download]));
			return;
		}
		st.phase = about_downloading;
		st.button.clear();
		st.percent = 0;
	}
	if (st.phase == about_downloading) {
		const std::string zip = st.folder + installer_zip_name;
		const int r = http.net_check(about_http_slot, maker_web_host, installer_path(st), zip);
		if (r == 0) {
			const down_class* d = http.slots[about_http_slot];
			if (d && d->content_length > 0) st.percent = int(d->bytes_written * 100 / d->content_length);
			st.message = about_progress_text(st.percent);
			return;
		}
		if (r != 1) {
			finish(st, UTL_translate_string(kAboutTexts[txt_no_download]));
			return;
		}
		st.percent = 100;
		unpack_and_start(st, zip);
	}
}
