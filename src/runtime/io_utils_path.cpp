// Paths: well-known folders, object references and the case-correcting walk.
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/plat_dirs.h"
#include "runtime/hl_alert.h"
#include "runtime/io_utils.h"

int g_case_sensitive = 0;

namespace {
const char* const kIoSource = "VAvered/Files/io_utils";

// Loading a library by name, step by step: each step's result and message when it fails.
enum bundle_step { bundle_name, bundle_folders, bundle_folder_list, bundle_in_folders, bundle_found, bundle_code };
struct bundle_failure_row {
	int err;
	const char* message;
};
const bundle_failure_row kBundleFailures[] = {
	{-50, "Could not make strsing."},
	{-120, "Could not find frameworks folder."},
	{-36, "Could not make URL from frameworks folder"},
	{-43, "Could not find bundle in frameworks folder"},
	{-54, "Could not create bundle for location"},
	{-37, "Could not load code for framework"},
};

int bundle_failed(bundle_step step, const char* name, int alert_flag)
{
	const bundle_failure_row& f = kBundleFailures[step];
	if (alert_flag) __DIDIVI_alert(0, f.message, "", "", name ? name : "", t_exit, kIoSource, __LINE__);
	return f.err;
}

bool is_utf8(const char* s)
{
	constexpr unsigned char kContinuationMask = 0xC0, kContinuation = 0x80;
	struct lead_row {
		unsigned char mask, bits;
		int following;
	};
	static const lead_row kLeads[] = {{0x80, 0x00, 0}, {0xE0, 0xC0, 1}, {0xF0, 0xE0, 2}, {0xF8, 0xF0, 3}};
	for (const auto* p = reinterpret_cast<const unsigned char*>(s); *p;) {
		int following = -1;
		for (const lead_row& r : kLeads)
			if ((*p & r.mask) == r.bits) following = r.following;
		if (following < 0) return false;
		++p;
		for (int i = 0; i < following; ++i, ++p)
			if ((*p & kContinuationMask) != kContinuation) return false;
	}
	return true;
}

// A name inside the library folders: not empty, not absolute, no ".." component.
bool stays_inside(const std::string& name)
{
	return !name.empty() && name[0] != '/' && ("/" + name + "/").find("/../") == std::string::npos;
}

bool is_file(const std::string& path)
{
	struct stat st;
	return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}
}  // namespace

int get_OS_abs_path(int which, std::string& out)
{
	std::string found;
	int err;
	switch (which) {
	case os_dir_this_app:
		err = plat_exe_path(found);
		if (err == 0) {
			found = plat_bundle_of(found);
			found.resize(found.rfind('/') + 1);
		}
		break;
	case os_dir_app_bundle:
		err = plat_exe_path(found);
		if (err == 0) found = plat_bundle_of(found);
		break;
	case os_dir_desktop:
	case os_dir_default_apps:
		err = plat_desktop_dir(found);
		break;
	case os_dir_temp:
		err = plat_temp_dir(found);
		break;
	case os_dir_prefs:
		err = plat_prefs_dir(found);
		break;
	default:
		err = ENOENT;
		break;
	}
	if (err != 0) return err;
	// A backslash is never a name character in this framework's paths. ':' is one.
	for (char& c : found)
		if (c == '\\') c = '/';
	out = found;
	return 0;
}

int FSRefToFilePath(const FSRef* ref, std::string& out)
{
	if (!ref || ref->path.empty()) return -1;
	std::string p = ref->path;
	if (p.size() > 1 && p.back() == '/') p.pop_back();
	if (p.size() > 2046) return -1;
	out = p;
	return 0;
}

int FilePathToFSRefAndName(const char* path, FSRef* ref, std::string* name)
{
	if (!path) return ENOENT;
	if (!name) return plat_path_make_ref(path, ref);
	const std::string p = path;
	const size_t search_from = p.size() > 1 ? p.size() - 2 : 0;
	const size_t slash = p.empty() ? std::string::npos : p.rfind('/', search_from);
	const std::string leaf = (slash == std::string::npos || p.size() < 2) ? p : p.substr(slash + 1);
	std::string parent = p.substr(0, p.size() - leaf.size());
	if (!parent.empty() && parent != "/") parent.pop_back();
	*name = leaf;
	if (parent.empty()) return ENOENT;
	return plat_path_make_ref(parent.c_str(), ref);
}

void ConvertPathToCFM(std::string& path)
{
	// Components joined by ":"; a ":" inside a name becomes "/", as the colon form swaps them.
	const bool folder = !path.empty() && path.back() == '/';
	std::string out;
	size_t i = 0;
	while (i < path.size() && path[i] == '/') ++i;
	for (; i < path.size(); ++i) {
		if (path[i] == '/') {
			if (!out.empty() && out.back() != ':') out += ':';
		} else
			out += path[i] == ':' ? '/' : path[i];
	}
	if (!out.empty() && out.back() == ':') out.pop_back();
	path = out;
	if (folder && !path.empty() && path.back() != ':') path += ':';
}

void findPath(char* path)
{
	struct stat st;
	if (!path || !*path || stat(path, &st) == 0) return;
	const size_t len = std::strlen(path);
	size_t start = (path[0] == '/') ? 1 : 0;
	while (start < len) {
		size_t stop = start;
		while (stop < len && path[stop] != '/') ++stop;
		if (stop == start) {  // an empty component ("//" or a final "/")
			++start;
			continue;
		}
		DIR* d;
		if (start == 0)
			d = opendir(".");
		else if (start == 1 && path[0] == '/')
			d = opendir("/");
		else {
			const char keep = path[start - 1];
			path[start - 1] = 0;
			d = opendir(path);
			path[start - 1] = keep;
		}
		if (!d) return;
		const char keep = path[stop];
		path[stop] = 0;
		bool found = false;
		while (struct dirent* e = readdir(d))
			if (strcasecmp(e->d_name, path + start) == 0) {
				// Equal ignoring case means equal length for ASCII names.
				if (std::strlen(e->d_name) == stop - start) std::memcpy(path + start, e->d_name, stop - start);
				found = true;
				break;
			}
		closedir(d);
		path[stop] = keep;
		if (!found) return;
		start = stop + 1;
	}
}

int load_bundle_by_filename(const char* name, int alert_flag, CFBundleRef* out)
{
	// 1. The name as text.
	if (!name || !is_utf8(name)) return bundle_failed(bundle_name, name, alert_flag);
	// 2, 3. The system's library folders, as the loader searches them.
	std::vector<std::string> folders;
	if (plat_library_folders(folders) != 0) return bundle_failed(bundle_folders, name, alert_flag);
	if (folders.empty()) return bundle_failed(bundle_folder_list, name, alert_flag);
	// 4. The name within those folders, never a way out of them.
	if (!stays_inside(name)) return bundle_failed(bundle_in_folders, name, alert_flag);
	// 5. The first folder that holds it; a bare name none holds may still be one the
	// loader knows from its cache.
	std::string location;
	for (const std::string& f : folders)
		if (is_file(f + "/" + name)) {
			location = f + "/" + name;
			break;
		}
	CFBundleRef handle = nullptr;
	if (location.empty()) {
		if (!std::strchr(name, '/')) handle = plat_load_library(name);
		if (!handle) return bundle_failed(bundle_found, name, alert_flag);
	} else if (!(handle = plat_load_library(location))) {
		// 6. Its code.
		return bundle_failed(bundle_code, name, alert_flag);
	}
	if (out)
		*out = handle;
	else
		plat_unload_library(handle);
	return 0;
}
