#include "wizard/main_steps.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "engine/utils_net.h"
#include "platform/plat_volume.h"
#include "runtime/hl_errors.h"
#include "runtime/hl_globals.h"
#include "runtime/io_utils.h"
#include "runtime/pref.h"
#include "shell/hl_alerts.h"
#include "wizard/main_copies.h"
#include "wizard/main_globals.h"
#include "wizard/main_temp.h"

namespace {
constexpr char kIdentityFile[] = "dvd_version.txt";
constexpr char kTranslationsFolder[] = "Resources/text";
constexpr char kPathOption[] = "-path";
constexpr int kPathArgCount = 3;  // the program, "-path", the folder
constexpr int kPrefsFile = 11;
constexpr int kPrefsRead = 0;
constexpr int kLinuxTarget = 3;
constexpr int kNoServerList = -1;
constexpr int kFileNotWanted = 3;

// The folder lines of the log, in order, each label followed directly by the path.
struct folder_line {
	int type;
	const char* label;
	const char* end;
};
constexpr folder_line kFolderLines[] = {
    {os_dir_this_app, "os_dir_this_app\t\t=", "\n"},     {os_dir_desktop, "os_dir_desktop\t\t=", "\n"},
    {os_dir_default_apps, "os_dir_default_apps\t=", "\n"}, {os_dir_temp, "os_dir_temp\t\t\t=", "\n"},
    {os_dir_prefs, "os_dir_prefs\t\t\t=", "\n\n"},
};

const char kCopyFailed[] = "WARNING: could not copy the installer from the DVD to ";
const char kTextsCopyFailed[] = "WARNING: could not copy the translations to ";
const char kLaunchFailed[] = "WARNING: could not start the installer's copy ";
const char kGoingOn[] = "; going on from the DVD.";
const char kNoTempFolder[] = "WARNING: no private temporary folder to copy the installer into";
const char kNotOverItself[] = "WARNING: the installer's copy would take the place of the installer itself at ";

void no_registrations() {}
registration_reader_fn g_registration_reader = locate_all_kestrixes;

std::string without_final_slash(std::string p)
{
	if (p.size() > 1 && p.back() == '/') p.pop_back();
	return p;
}

std::string folder_path(std::string p)
{
	if (!p.empty() && p.back() != '/') p += '/';
	return p;
}

// Where `path` really is, without a final "/": its folder resolved through links and
// "..", its own name as written (a link of that name is removed as a link).
std::string real_place(const std::string& path)
{
	const std::string p = without_final_slash(path);
	const size_t slash = p.rfind('/');
	if (slash == std::string::npos) return p;
	char* r = realpath(slash == 0 ? "/" : p.substr(0, slash).c_str(), nullptr);
	if (!r) return p;
	std::string folder = r;
	std::free(r);
	if (folder == "/") folder.clear();
	return folder + p.substr(slash);
}

// Whether `inner` lies inside the folder `outer` (both real places).
bool lies_in(const std::string& inner, const std::string& outer)
{
	const std::string folder = outer == "/" ? outer : outer + "/";
	return inner.size() > folder.size() && inner.compare(0, folder.size(), folder) == 0;
}

// Takes an earlier run's copy away, so that only what was copied now can be started.
// Only an absolute name inside `temp` is taken, and never one that is, holds or lies
// in `own` (what is being copied): a bare name would be taken in the working folder,
// which is the DVD's own folder when the program was started from there.
int remove_old_copy(const std::string& dest, const std::string& temp, const std::string& own)
{
	if (dest.empty() || dest[0] != '/') return EINVAL;
	const std::string place = real_place(dest), mine = real_place(own);
	if (!lies_in(place, real_place(temp)) || place == mine || lies_in(place, mine) || lies_in(mine, place))
		return EINVAL;
	if (dir_exists(dest))
		recursive_delete_folder(folder_path(dest));
	else
		delete_file(dest);
	return 0;
}
}  // namespace

void main_locate_dvd() { dvd_path = plat_install_dvd(plat_volume_roots(), kIdentityFile); }

bool main_started_from_dvd(const std::string& app, const std::string& dvd)
{
	// An empty path would "begin with" any DVD when only the shorter length is compared.
	if (app.empty() || dvd.empty()) return false;
	const size_t n = std::min(app.size(), dvd.size());
	return app.compare(0, n, dvd, 0, n) == 0;
}

std::string main_last_component(const std::string& app)
{
	if (app.empty()) return "";
	size_t search_end = app.size();
	if (app.size() > 2 && app.back() == '/') --search_end;
	const size_t slash = search_end == 0 ? std::string::npos : app.rfind('/', search_end - 1);
	if (slash == std::string::npos) return app;
	return app.substr(slash + 1);
}

int main_relaunch(const std::string& temp, const std::string& app, const std::string& app_folder)
{
	// Without the private temporary folder there is nowhere to move to.
	if (temp.empty() || temp[0] != '/') {
		xer << kNoTempFolder << kGoingOn << "\n";
		return ENOENT;
	}
	const std::string component = main_last_component(app);
	const std::string dest = temp + component;
	if (!component.empty() && remove_old_copy(without_final_slash(dest), temp, app) != 0) {
		xer << kNotOverItself << dest << kGoingOn << "\n";
		return EINVAL;
	}
	int e = component.empty() ? ENOENT : copy_file_recursive(without_final_slash(app), without_final_slash(dest));
	if (e != 0) {
		xer << kCopyFailed << dest << ": " << error_str(e) << kGoingOn << "\n";
		return e;
	}
	// The copy reads its translation beside itself; without it the copy speaks English.
	const std::string texts = app_folder + kTranslationsFolder;
	if (!app_folder.empty() && dir_exists(texts)) {
		const std::string texts_dest = temp + kTranslationsFolder;
		make_folder(temp + "Resources/");
		int t = remove_old_copy(texts_dest, temp, texts);
		if (t == 0) t = copy_file_recursive(texts, texts_dest);
		if (t) xer << kTextsCopyFailed << texts_dest << ": " << error_str(t) << "\n";
	}
	e = launch_app(dest, "");
	xer << kLaunchFailed << dest << ": " << error_str(e) << kGoingOn << "\n";
	return e;
}

void main_log_folders()
{
	for (const folder_line& l : kFolderLines) {
		std::string path;
		get_OS_abs_path(l.type, path);
		xer << xer_own(l.label) << path << xer_own(l.end);
	}
	// The folders are what a user reading the log while the wizard is up looks for first.
	xer.flush();
}

void main_init_globals()
{
	main_take_temp_folder();
	stls.ui_str[stls_alert_button] = "OK";
	install_name = no_install_name;
	stg.dir_state = 0;
	stg.target_os = kLinuxTarget;
	stg.format_state = 0;
	stg.download_failed = 0;
	stg.extract_failed = 0;
	stg.server_count = kNoServerList;
	stg.server_index = 0;
	stg.file_state = kFileNotWanted;
	stg.file_fraction = 0.0f;
	stg.stream_count = 0;
	stg.kb_to_download = 0.0f;
	stg.kb_to_install = 0.0f;
}

void main_take_path_arg(int argc, const char* const* argv)
{
	if (argc < kPathArgCount || !argv[1] || !argv[2] || std::string(argv[1]) != kPathOption) return;
	cmd_line_path = folder_path(argv[2]);
}

registration_reader_fn main_set_registration_reader(registration_reader_fn f)
{
	registration_reader_fn old = g_registration_reader;
	g_registration_reader = f ? f : no_registrations;
	return old;
}

void main_read_registration() { g_registration_reader(); }

void main_start(int argc, const char* const* argv)
{
	// The engine opens the maker's download page in the user's browser, not in the log.
	ENG_set_go_to_URL_hook(go_to_URL);
	std::string temp, app, app_folder;
	get_OS_abs_path(os_dir_temp, temp);
	get_OS_abs_path(os_dir_app_bundle, app);
	get_OS_abs_path(os_dir_this_app, app_folder);
	// The DVD is found before the relaunch: only a program started from it moves away.
	main_locate_dvd();
	if (main_started_from_dvd(app, dvd_path)) main_relaunch(temp, app, app_folder);
	main_log_folders();
	main_init_globals();
	pref.IO_set(kPrefsFile, kPrefsRead);
	main_take_path_arg(argc, argv);
	main_read_registration();
}
