#include "runtime/pref.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "runtime/cmdline.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_math.h"
#include "runtime/hl_math_ui.h"
#include "runtime/http.h"
#include "runtime/io_safe_path.h"
#include "runtime/io_utils.h"
#include "runtime/xmap.h"

pref_class pref;

namespace {
constexpr int pref_version = 9002;

// What this process knows of file 11. Saving it before it was read would write start
// values over what the user stored (a copy relaunched from the DVD saves at exit); what
// the last read found may be written over only when a save loses nothing of it: no
// file, an empty one, or one of this version. A file of another version (another
// release's settings) or of another kind is read as no values and kept as it is.
enum class stored_prefs { unread, ours, kept };
stored_prefs g_installer_prefs = stored_prefs::unread;
constexpr char kKeptPrefs[] = "Kept the preferences file ";
constexpr char kKeptPrefsWhy[] = " as it is: it is not a settings file of this version.\n";
}  // namespace

int pref_text_to_int(const std::string& text)
{
	const long long n = std::strtoll(text.c_str(), nullptr, 10);
	if (n > INT_MAX) return INT_MAX;
	if (n < INT_MIN) return INT_MIN;
	return static_cast<int>(n);
}

std::string pref_file_path(int file)
{
	switch (file) {
	case 10:
		return "Resources/preferences/Res Orvala.prf";
	case 11: {
		// Without a preferences folder there is no file: the settings are neither read
		// nor written, rather than landing in whatever the working folder is.
		std::string folder;
		if (get_OS_abs_path(os_dir_prefs, folder) != 0 || folder.empty()) return std::string();
		return folder + "Kestrix Installer.prf";
	}
	case 12:
		return "Resources/preferences/Cal Kestrix.prf";
	default:
		return std::string();
	}
}

scan_class::scan_class(const std::string& path, int m) : mode(m)
{
	if (path.empty()) return;
	if (mode == 0) {
		xmap_class x(path);
		const int versions[] = {pref_version, 0};
		if (x.check_file(xmap_text, versions, nullptr, nullptr) != pref_version) {
			// No file, or an empty one, holds nothing a save could lose.
			struct stat st;
			writable = x.begin ? x.begin == x.end : lstat((app_path + path).c_str(), &st) != 0 && errno == ENOENT;
			return;
		}
		writable = true;
		// Key, then the rest of the line; the second scan also eats the line break and
		// any empty lines, NULs or carriage returns after it, so every pass moves on.
		while (x.cur < x.end) {
			std::string key, value;
			x.TXT_str_scan_space(key);
			x.TXT_str_scan_eoln(value);
			if (!key.empty()) values[key] = value;  // a key met again replaces the earlier value
		}
		return;
	}
	// The file is written under a neighbouring name and put in place only once it is
	// complete, so a full disk or a failed write leaves the stored settings as they were.
	final_path_ = app_path + path;
	temp_path_ = temp_name_in(folder_of(path));
	writing_ = ouf_open(temp_path_, xmap_text, pref_version, "no-copyright-string") == 1;
}

scan_class::~scan_class()
{
	// Only a writer that opened the shared data-file stream closes it.
	if (mode != 1 || !writing_) return;
	// A write that failed on the way (disk full) must not be forgotten at the close.
	const bool written = ouf.good();
	ouf.close();
	const std::string temp = app_path + temp_path_;
	if (!written || ouf.fail()) {
		// Named as the file it was to replace: the private name goes with the failed save.
		xer << "Could not write the preferences file " << final_path_ << "\n";
	} else {
		if (std::rename(temp.c_str(), final_path_.c_str()) == 0) return;
		xer << "Could not put the preferences file in place: " << final_path_ << ", errno=" << errno << "\n";
	}
	std::remove(temp.c_str());
}

bool scan_class::find(const std::string& key, std::string& text) const
{
	const std::string opt = "--pref:" + key;
	if (cmdline.has_option(opt.c_str())) {
		text = cmdline.get_option(opt.c_str());
		return true;
	}
	auto it = values.find(key);
	if (it == values.end()) return false;
	text = it->second;
	return true;
}

int scan_class::int_io(int* value, const std::string& key)
{
	if (mode == 1) {
		ouf << key << " " << std::to_string(*value) << "\n";
		return 0;
	}
	std::string text;
	if (!find(key, text)) return 0;
	*value = pref_text_to_int(text);
	return 1;
}

int scan_class::str_io(std::string* value, const std::string& key)
{
	if (mode == 1) {
		if (!value->empty()) ouf << key << " " << *value << "\n";
		return 0;
	}
	std::string text;
	if (!find(key, text)) return 0;
	*value = text;
	return 1;
}

void pref_class::IO_set(int file, int mode)
{
	if (file == 11 && mode == 1) {
		if (g_installer_prefs == stored_prefs::unread) IO_set(11, 0);
		if (g_installer_prefs != stored_prefs::ours) {
			xer << kKeptPrefs << pref_file_path(file) << kKeptPrefsWhy;
			return;
		}
	}

	// The requested window sizes of file 10 live here and keep their values between calls.
	static int x_res_req_PLN = 0, y_res_req_PLN = 0, x_res_req_WRL = 0, y_res_req_WRL = 0;
	static int x_res_req_ALL = 0, y_res_req_ALL = 0;

	scan_class s(pref_file_path(file), mode);
	if (file == 10) {
		if (mode == 1) {
			mnw.prefs_found = 1;
			x_res_req_ALL = mnw.x_res_req;
			y_res_req_ALL = mnw.y_res_req;
		}
		s.int_io(&x_res_req_PLN, "_x_res_req_PLN");
		s.int_io(&y_res_req_PLN, "_y_res_req_PLN");
		s.int_io(&x_res_req_WRL, "_x_res_req_WRL");
		s.int_io(&y_res_req_WRL, "_y_res_req_WRL");
		s.int_io(&x_res_req_ALL, "_x_res_req_ALL");
		s.int_io(&y_res_req_ALL, "_y_res_req_ALL");
		if (mode == 0) {
			mnw.x_res_req = x_res_req_ALL;
			mnw.y_res_req = y_res_req_ALL;
		}
		s.int_io(&mnw.col_res_req, "_col_res_req");
		s.int_io(&mnw.set_res, "_set_res");
		s.int_io(&mnw.lang, "_lang");
		s.int_io(&mnw.alias_req, "_alias_req");
		s.int_io(&mnw.keylist_up, "_keylist_up");
		s.int_io(&mnw.sec_mon_inuse, "_sec_mon_inuse");
		s.int_io(&mnw.prefs_found, "_prefs_found");
		if (mnw.x_res_req < 600 || mnw.x_res_req > 9999) mnw.x_res_req = 1024;
		if (mnw.y_res_req < 600 || mnw.y_res_req > 9999) mnw.y_res_req = 768;
	} else if (file == 11) {
		s.int_io(&stg.stream_count, "_stream_count");
		s.int_io(&stg.log_actions, "_log_actions");
		s.str_io(&http.proxy_host, "_proxy_host");
		s.str_io(&http.proxy_port, "_proxy_port");
		s.int_io(&http.proxy_port_int, "_proxy_port_int");
		s.int_io(&stg.get_beta, "_get_beta");
		s.int_io(&mnw.lang, "_lang");
		if (mode == 0) g_installer_prefs = s.writable ? stored_prefs::ours : stored_prefs::kept;
	}
}
