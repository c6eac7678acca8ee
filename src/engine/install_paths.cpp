#include "engine/install_paths.h"

#include <dirent.h>
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

const char ENG_unpack_marker[] = ".kx-unpack-";

void get_path_with_path(std::string& out, const std::string& in)
{
	if (in.empty()) {
		out.clear();
		return;
	}
	size_t last = in.size() - 1;
	if (last >= 2 && in.back() == '/') --last;
	const size_t p = in.rfind('/', last);
	const size_t name_len = (p == std::string::npos) ? in.size() : in.size() - (p + 1);
	out = in.substr(0, in.size() - name_len);
}

std::string ENG_folder_of(const std::string& path)
{
	std::string out;
	get_path_with_path(out, path);
	return out;
}

bool ENG_rel_path_ok(const std::string& rel)
{
	if (rel.empty() || rel[0] == '/') return false;
	if (rel.find('\0') != std::string::npos) return false;
	// A folder path may end in one "/".
	const size_t len = rel.back() == '/' ? rel.size() - 1 : rel.size();
	size_t start = 0;
	while (start <= len) {
		size_t end = rel.find('/', start);
		if (end == std::string::npos || end > len) end = len;
		const std::string part = rel.substr(start, end - start);
		if (part.empty() || part == "." || part == "..") return false;
		start = end + 1;
	}
	return true;
}

static int walk_folder_chain(const std::string& base, const std::string& rel, bool make)
{
	std::string at = base;
	size_t start = 0;
	while (start < rel.size()) {
		size_t end = rel.find('/', start);
		if (end == std::string::npos) end = rel.size();
		at += rel.substr(start, end - start);
		struct stat st;
		if (lstat(at.c_str(), &st) != 0) {
			if (errno != ENOENT) return errno;
			if (!make) return 0;
			if (mkdir(at.c_str(), 0755) != 0 && errno != EEXIST) return errno;
			// Someone else may have made it in the meantime; look again.
			if (lstat(at.c_str(), &st) != 0) return errno;
		}
		if (S_ISLNK(st.st_mode)) return ELOOP;
		if (!S_ISDIR(st.st_mode)) return ENOTDIR;
		at += '/';
		start = end + 1;
	}
	return 0;
}

int ENG_check_folder_chain(const std::string& base, const std::string& rel)
{
	return walk_folder_chain(base, rel, false);
}

int ENG_make_folder_chain(const std::string& base, const std::string& rel)
{
	return walk_folder_chain(base, rel, true);
}

std::string ENG_unpack_suffix(int index)
{
	return ENG_unpack_marker + std::to_string(index);
}

void ENG_remove_stale_unpacked(const std::string& folder)
{
	DIR* d = opendir(folder.c_str());
	if (!d) return;
	std::vector<std::string> names;
	while (struct dirent* e = readdir(d))
		if (strstr(e->d_name, ENG_unpack_marker)) names.push_back(e->d_name);
	closedir(d);
	// Only files and links carry the marker; a folder of that name is not ours.
	for (const std::string& n : names) unlink((folder + n).c_str());
}
