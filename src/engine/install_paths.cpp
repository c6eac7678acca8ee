#include "engine/install_paths.h"

#include <cerrno>

#include "engine/engine_globals.h"

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

int ENG_reach_inside(const std::string& rel, bool make, std::string* link)
{
	return path_stays_inside(rel) ? walk_folder_chain(dest_dir_path, ENG_folder_of(rel), make, link) : EINVAL;
}

