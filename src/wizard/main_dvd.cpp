#include "wizard/main_dvd.h"

#include "engine/engine.h"
#include "platform/plat_volume.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_errors.h"
#include "runtime/hl_globals.h"
#include "runtime/io_safe_path.h"
#include "runtime/io_utils.h"
#include "runtime/io_utils_zip.h"
#include "runtime/translate.h"
#include "runtime/xer_stream.h"
#include "runtime/xmap.h"
#include "wizard/main_install.h"
#include "wizard/main_screens.h"
#include "wizard/main_steps.h"
#include "wizard/main_temp.h"

namespace {
constexpr char kIdentityFile[] = "dvd_version.txt";
constexpr char kIdentityWord[] = "DVD";
constexpr int kIdentityVersions[] = {900, 0};
constexpr char kVersionWord[] = "VERSION";
constexpr char kListArchive[] = "/directory.txt.zip";
constexpr char kListFile[] = "directory.txt";
constexpr int kNoListInArchive = 2;  // dir_state of a DVD that is not ours
constexpr char kScanText[] = "Scanning directory text file to see if you already have Kestrix installed...";

// The quitting alert of a file list that cannot be unpacked.
const char* const kUnpackAlert[] = {"DVD scan: The installer cannot extract a file.", "Error: ",
                                    "Compressed File/", "Destination Path/"};

bool blank(char c) { return c == ' ' || c == '\t'; }
bool line_end(char c) { return c == '\r' || c == '\n'; }

// A name from a disc becomes a folder name later: nothing that leaves the folder it is
// put in.
bool usable_name(const std::string& n) { return UTIL_is_one_folder_name(n) && n.find('\\') == std::string::npos; }

// The wanted version of file want_file_disk, or null when the index is off the model.
const file_version_struct* wanted_version()
{
	if (want_file_disk < 0 || want_file_disk >= static_cast<int>(sim_info.size()) || sim_info[want_file_disk].empty())
		return nullptr;
	return &sim_info[want_file_disk].back();
}

// The one log line of an eject, whichever way it went.
constexpr char kEjectedLine[] = "Ejected ";
constexpr char kEjectedByDesktop[] = " (the drive refused; the desktop ejected it)";
constexpr char kEjectFailedLine[] = "WARNING: could not eject ";
constexpr char kDesktopRefused[] = "; the desktop could not eject it either: ";
constexpr char kDesktopStatus[] = "exit status ";
constexpr char kDesktopNoAnswer[] = "; the desktop did not answer within the time allowed";

void eject_and_log(const std::string& path)
{
	plat_eject_report r;
	const int e = eject_dvd(path, &r);
	if (e == 0) {
		xer << kEjectedLine << path << (r.desktop_asked ? kEjectedByDesktop : "") << "\n";
		return;
	}
	xer_line l = xer << kEjectFailedLine;
	l << path << ": " << error_str(e);
	if (r.desktop_timed_out)
		l << kDesktopNoAnswer;
	else if (r.desktop_asked)
		l << kDesktopRefused
		  << (r.desktop_said.empty() ? kDesktopStatus + std::to_string(r.desktop_status) : r.desktop_said);
	l << "\n";
}

void read_identity()
{
	// Read, not mapped: a disc (or a stick standing in for one) can fail or change under
	// a mapping, which ends the process with a signal.
	xmap_class id(dvd_path + kIdentityFile, xmap_class::read_whole);
	if (id.check_file(xmap_text, kIdentityVersions, kIdentityWord, nullptr) != kIdentityVersions[0]) return;
	stg.server_count = 0;
	const std::string name = UTIL_identity_name(id.cur, id.end);
	if (usable_name(name)) install_name = name;
}

void read_file_list()
{
	if (!main_temp_folder_ready()) return;
	const std::string archive = dvd_path + install_name + kListArchive;
	const std::string list = temp_path + kListFile;
	// An earlier run's list must never stand in for this DVD's.
	delete_file(list);
	if (int e = zip_to_file(archive, temp_path, nullptr, 0, unpack_record().only(kListFile))) {
		__DIDIVI_alert(0, UTL_translate_string(kUnpackAlert[0]), UTL_translate_string(kUnpackAlert[1]) + error_str(e),
		               UTL_translate_string(kUnpackAlert[2]) + archive,
		               UTL_translate_string(kUnpackAlert[3]) + temp_path, t_exit, __FILE__, __LINE__);
		return;
	}
	if (!file_exists(list)) {
		stg.dir_state = kNoListInArchive;
		return;
	}
	stg.dir_state = read_directory(list, UTL_translate_string(kScanText));
}
}  // namespace

std::string UTIL_identity_name(const char* p, const char* end)
{
	const std::string word = kVersionWord;
	std::string name;
	while (p && p < end) {
		while (p < end && (blank(*p) || line_end(*p))) ++p;
		const char* w = p;
		while (p < end && !blank(*p) && !line_end(*p)) ++p;
		const bool is_version = std::string(w, p) == word;
		while (p < end && blank(*p)) ++p;
		const char* rest = p;
		while (p < end && !line_end(*p)) ++p;
		// The last VERSION line wins; blanks before the line end belong to the name.
		if (is_version) name.assign(rest, p);
	}
	return name;
}

void UTIL_scan_dvd()
{
	if (dvd_path.empty()) main_locate_dvd();
	if (!dvd_path.empty() && install_name == no_install_name) read_identity();
	if (install_name == no_install_name || stg.dir_state != 0) return;
	read_file_list();
}

int UTIL_verify_disk()
{
	const file_version_struct* v = wanted_version();
	if (!v) return 0;
	const std::string wanted = install_name + "/" + v->path + suffix_for_file(want_file_disk);
	const std::vector<plat_volume_root> roots = plat_volume_roots();
	const std::string holder = plat_volume_holding(roots, wanted);
	if (!holder.empty()) {
		dvd_path = holder;
		const int present = file_exists(dvd_path + wanted);
		if (present) current_disk = v->disk;
		return present;
	}
	// Not here: remember the set's DVD in the drive (the one last used while it is still
	// mounted), which the change screen ejects.
	const std::string product = install_name + "/";
	if (dvd_path.empty() || !dir_exists(dvd_path + product)) dvd_path = plat_volume_holding(roots, product);
	return 0;
}

int UTIL_switch_disk(int first)
{
	if (first && !dvd_path.empty()) {
		eject_and_log(dvd_path);
		dvd_path.clear();
	}
	const file_version_struct* v = wanted_version();
	return v ? v->disk : 0;
}

namespace {
// One flow's pair of screens.
struct disk_flow {
	const char* verify_title;
	screen_fn found;  // the flow's run screen
	screen_fn change;
	const char* change_title;
	screen_fn back;  // Go Back from the change screen
	screen_fn verify;
};
const disk_flow kInstallFlow = {"Installing Kestrix - Checking DVD...", dvd_run_install, dvd_switch_disk_install,
                                "Installing Kestrix - Please Change DVDs", dvd_scenery_install,
                                dvd_verify_disk_install};
const disk_flow kRepairFlow = {"Repairing Kestrix - Checking DVD", dvd_install_repair, dvd_switch_disk_repair,
                               "Repairing Kestrix - Please Change DVDs", dvd_confirm_repair, dvd_verify_disk_repair};
const disk_flow kSceneryFlow = {"Installing Scenery - Verifying DVD", dvd_install_scenery, dvd_switch_disk_scenery,
                                "Installing Scenery - Please change DVDs", dvd_edit_scenery, dvd_verify_disk_scenery};

constexpr char kInsertText[] = "Please insert DVD number %d and click continue.";
constexpr char kNumberMark[] = "%d";

// Shown for one frame: the engine moves on to what the lookup found.
int verify_screen(const disk_flow& f, wizard_screen& s)
{
	s.title = UTL_translate_string(f.verify_title);
	s.next_screen = UTIL_verify_disk() ? f.found : f.change;
	return 1;
}

// Ejects once, on the first frame of a visit, then waits for Continue.
int change_screen(const disk_flow& f, int first, wizard_screen& s)
{
	const int n = UTIL_switch_disk(first);
	s.title = UTL_translate_string(f.change_title);
	std::string text = UTL_translate_string(kInsertText);
	const size_t at = text.find(kNumberMark);
	if (at != std::string::npos) text.replace(at, sizeof kNumberMark - 1, std::to_string(n + 1));
	s.text = text;
	s.back_screen = f.back;
	s.next_screen = f.verify;
	return 0;
}
}  // namespace

int dvd_verify_disk_install(int, wizard_screen& s) { return verify_screen(kInstallFlow, s); }
int dvd_switch_disk_install(int first, wizard_screen& s) { return change_screen(kInstallFlow, first, s); }
int dvd_verify_disk_repair(int, wizard_screen& s) { return verify_screen(kRepairFlow, s); }
int dvd_switch_disk_repair(int first, wizard_screen& s) { return change_screen(kRepairFlow, first, s); }
int dvd_verify_disk_scenery(int, wizard_screen& s) { return verify_screen(kSceneryFlow, s); }
int dvd_switch_disk_scenery(int first, wizard_screen& s) { return change_screen(kSceneryFlow, first, s); }
