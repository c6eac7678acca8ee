// The file list reader: directory.txt into sim_info, and the two path classifiers
// that tell a global-scenery tile from an ordinary file.
//
// The list comes from a disc or over plain HTTP, so every line is treated as hostile:
// numbers must be numbers that fit, every field must be there, and no path may leave
// the install folder. A line that breaks those rules is an impossible entry, exactly
// like a path without a file name: the user is told and the program ends, because
// installing from a damaged list could only do harm.
#include <cerrno>
#include <climits>
#include <cstring>
#include <strings.h>
#include <string>

#include "engine/engine.h"
#include "runtime/rec_stg.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_string.h"
#include "runtime/io_safe_path.h"
#include "runtime/xer_stream.h"
#include "runtime/xmap.h"

namespace {

// The highest DVD number a list may name: no set comes near it, and the screens count
// DVDs from 1 without ever leaving what an int holds.
constexpr int kLastDisk = 999;

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_line_end(char c) { return c == '\r' || c == '\n' || c == '\0'; }
bool is_field_end(char c) { return is_blank(c) || is_line_end(c); }

// One pass over the mapped body; the cursor never passes `end`.
struct list_scanner {
	const char* p;
	const char* end;

	void skip_blanks()
	{
		while (p < end && is_blank(*p)) ++p;
	}
	// After each line: blanks, tabs, CR, LF and NUL, so empty lines cost nothing.
	void skip_line_gap()
	{
		while (p < end && (is_blank(*p) || is_line_end(*p))) ++p;
	}
	void skip_rest_of_line()
	{
		while (p < end && !is_line_end(*p)) ++p;
	}
	std::string rest_of_line()
	{
		const char* s = p;
		skip_rest_of_line();
		return std::string(s, p);
	}
	std::string token()
	{
		const char* s = p;
		while (p < end && !is_field_end(*p)) ++p;
		return std::string(s, p);
	}
	// The keyword must be followed by a blank or a tab; a keyword at the end of its
	// line is no keyword.
	bool keyword(const char* kw)
	{
		size_t n = std::strlen(kw);
		if (size_t(end - p) <= n) return false;
		if (std::memcmp(p, kw, n) != 0 || !is_blank(p[n])) return false;
		p += n;
		return true;
	}
	// An optional "-", an optional "+", then decimal digits up to the field's end.
	// False for a missing field, a character that is no digit, or a value that does
	// not fit an int.
	bool integer(int* out)
	{
		skip_blanks();
		bool neg = false;
		if (p < end && *p == '-') {
			neg = true;
			++p;
		}
		if (p < end && *p == '+') ++p;
		long long v = 0;
		int digits = 0;
		while (p < end && !is_field_end(*p)) {
			if (*p < '0' || *p > '9') return false;
			v = v * 10 + (*p - '0');
			if (v > (long long)INT_MAX + 1) return false;
			++digits;
			++p;
		}
		if (digits == 0) return false;
		if (neg) v = -v;
		if (v > INT_MAX || v < INT_MIN) return false;
		*out = int(v);
		return true;
	}
};

// A digest as the builder writes it, or the mark of a version that removes the file.
// Nothing else may stand there: the field is compared, never used as a name.
bool sig_ok(const std::string& sig)
{
	constexpr size_t digest_digits = 32;
	if (sig == "GONE") return true;
	if (sig.size() != digest_digits) return false;
	for (char c : sig)
		if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
	return true;
}

constexpr char kListTextLine[] = "The directory text file holds: ";

// Ends the run over a path or line of the list. The alert draws it with its control
// bytes spelled out and its letters as the interface font draws them. The log escapes
// that drawn line like any other; as a spelled control byte draws like the same
// letters typed into the list, such a text is first logged exactly, escaped once.
void alert_list_text(const char* first_line, const std::string& text)
{
	const std::string drawn = xer_control_spelled(text);
	if (drawn != text) xer << kListTextLine << text << "\n";
	__DIDIVI_alert(0, first_line, "This is impossible to download or delete!", "It is:", STR_utf8_to_font(drawn),
	               t_exit, "utils", 826);
}

void alert_impossible_path(const std::string& path)
{
	alert_list_text("I am reading the directory text file and found a path that has no file!", path);
}

void alert_outside_path(const std::string& path)
{
	alert_list_text("I am reading the directory text file and found a path outside the install folder!", path);
}

void alert_damaged_line(const std::string& line)
{
	alert_list_text("I am reading the directory text file and found a line that is damaged!", line);
}

}  // namespace

bool is_global_scenery_f(const char* path)
{
	if (!path) return false;
	if (!std::strstr(path, "Global Scenery/") && !std::strstr(path, "/-global overlays-/") &&
	    !std::strstr(path, "/-global terrain-/") && !std::strstr(path, "/default scenery/DSF 820"))
		return false;
	size_t n = std::strlen(path);
	if (n < 5) return false;
	return strcasecmp(path + n - 4, ".dsf") == 0;
}

bool find_sector(int* lon_band, int* lat_band, std::string path)
{
	std::string name = path;
	if (!path.empty()) {
		size_t from = path.size() - 1;
		if (path.back() == '/' && path.size() >= 3) from = path.size() - 2;
		size_t slash = path.rfind('/', from);
		if (slash != std::string::npos) name = path.substr(slash + 1);
	}
	// A tile file is named by its south-west corner: sign and two digits of latitude,
	// sign and three digits of longitude, e.g. +40-080.dsf.
	std::string lat_text = name.substr(0, 3);
	std::string lon_text = name.size() > 3 ? name.substr(3, 4) : std::string();
	*lat_band = (str_to_int(lat_text) + 90) / 10;
	*lon_band = (str_to_int(lon_text) + 180) / 10;
	return *lat_band >= 0 && *lat_band <= 17 && *lon_band >= 0 && *lon_band <= 35;
}

int read_directory(const std::string& path, std::string /*status_text*/)
{
	deleted_files.clear();
	stg.kb_to_download = 0.0f;
	stg.kb_to_install = 0.0f;
	stg.files_to_download = 0;
	stg.files_to_delete = 0;
	sim_info.clear();

	// The list came from a disc or a server: read whole, never mapped (see xmap.h).
	xmap_class map(path, xmap_class::read_whole);
	if (!map.begin) {
		__DIDIVI_alert(0, "I tried to read a directory file that does not exist!", "The file is:",
		               STR_utf8_to_font(path), "", t_exit, "utils", 778);
		return 2;  // only when alerts are merely logged
	}
	static const int versions[] = {840, 900, 0};
	if (!map.check_file(10001, versions, "INSTALLER", nullptr)) return 2;

	// Whatever the list does wrong, the model it leaves behind must not be half a list.
	auto reject = [](void (*alert)(const std::string&), const std::string& text) {
		sim_info.clear();
		alert(text);
		return 2;
	};

	list_scanner s{map.cur, map.end};
	std::string prefix;
	std::string prev_path;
	int disk = 0;
	while (s.p < s.end) {
		s.skip_blanks();
		const char* line_start = s.p;
		if (s.keyword("DIR")) {
			s.skip_blanks();
			prefix = s.rest_of_line();
		} else if (s.keyword("DISK")) {
			int n = 0;
			if (!s.integer(&n) || n < 0 || n > kLastDisk) {
				s.p = line_start;
				return reject(alert_damaged_line, s.rest_of_line());
			}
			disk = n;
			s.skip_rest_of_line();
		} else if (s.keyword("FILE")) {
			file_version_struct v;
			int reserved = 0, zip = 0, size = 0;
			bool ok = s.integer(&reserved) && s.integer(&v.platform) && s.integer(&v.version) &&
			          s.integer(&zip) && s.integer(&size) && zip >= 0 && size >= 0;
			if (ok) {
				s.skip_blanks();
				v.sig = s.token();
				s.skip_blanks();
				// A missing name leaves the folder alone as the path: a path without a
				// file, which the check below names as such.
				v.path = prefix + s.rest_of_line();
				ok = sig_ok(v.sig) && !v.path.empty();
			}
			if (!ok) {
				s.p = line_start;
				return reject(alert_damaged_line, s.rest_of_line());
			}
			if (v.platform < 0) v.platform = 0;
			if (v.platform > 6) v.platform = 6;
			v.zip_kb = float(zip);
			v.size_kb = float(size);
			v.disk = disk;
			v.is_global = is_global_scenery_f(v.path.c_str());
			if (v.is_global && !find_sector(&v.lon_band, &v.lat_band, v.path)) v.is_global = 0;

			// A path is never empty, so the first one always differs from the empty one.
			if (v.path != prev_path) sim_info.emplace_back();
			prev_path = v.path;
			if (v.path.back() == '/') return reject(alert_impossible_path, v.path);
			if (!path_stays_inside(v.path)) return reject(alert_outside_path, v.path);
			sim_info.back().push_back(std::move(v));
		} else {
			s.skip_rest_of_line();
		}
		s.skip_line_gap();
	}

	for (int w = 0; w < stg_tile_count; ++w) stg.scenery_available[w] = 0;
	int scenery = 0, sim_files = 0;
	for (const file_history_struct& h : sim_info) {
		const file_version_struct& w = h.back();
		if (w.is_global) {
			stg.scenery_available[stg_tile(w.lat_band, w.lon_band)] = 1;
			++scenery;
		} else {
			++sim_files;
		}
	}
	stg.has_scenery = scenery > 0;
	stg.has_sim_files = sim_files > 0;
	return 3;
}
