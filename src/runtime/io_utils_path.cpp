// Paths: well-known folders, object references and the case-correcting walk.
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/plat_dirs.h"
#include "runtime/io_utils.h"

int g_case_sensitive = 0;

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
