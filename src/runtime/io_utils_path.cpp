// Paths: the case-correcting walk.
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <cstring>

#include "runtime/io_utils.h"

int g_case_sensitive = 0;

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
