#include "platform/plat_fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

int plat_path_make_ref(const char* path, FSRef* ref)
{
	if (!path || !*path) return ENOENT;
	char* real = realpath(path, nullptr);
	if (!real) return errno;
	ref->path = real;
	free(real);
	return 0;
}

int plat_list_folder(const std::string& folder, std::vector<plat_dir_entry>& out)
{
	out.clear();
	DIR* d = opendir(folder.empty() ? "." : folder.c_str());
	if (!d) return errno;
	const int dfd = dirfd(d);
	while (struct dirent* e = readdir(d)) {
		const std::string name = e->d_name;
		if (name == "." || name == "..") continue;
		bool is_folder = e->d_type == DT_DIR;
		if (e->d_type == DT_UNKNOWN) {
			struct stat st;
			is_folder = fstatat(dfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
		}
		out.push_back({name, is_folder});
	}
	closedir(d);
	return 0;
}

int plat_volume_space(const std::string& folder, unsigned long long* total, unsigned long long* free_bytes)
{
	struct statvfs v;
	if (statvfs(folder.c_str(), &v) != 0) return errno;
	if (total) *total = static_cast<unsigned long long>(v.f_blocks) * v.f_frsize;
	if (free_bytes) *free_bytes = static_cast<unsigned long long>(v.f_bavail) * v.f_frsize;
	return 0;
}
