#include "support/update_server.h"

#include <dirent.h>
#include <sys/stat.h>

#include <vector>

#include "support/archive_tools.h"
#include "support/test_env.h"

namespace kx_test {

namespace {

// Every file below `root` (ending in "/"), as paths relative to it.
void list_files(const std::string& root, const std::string& rel, std::vector<std::string>& out)
{
	DIR* d = opendir((root + rel).c_str());
	if (!d) return;
	while (dirent* e = readdir(d)) {
		const std::string name = e->d_name;
		if (name == "." || name == "..") continue;
		struct stat st;
		if (lstat((root + rel + name).c_str(), &st) != 0) continue;
		if (S_ISDIR(st.st_mode))
			list_files(root, rel + name + "/", out);
		else
			out.push_back(rel + name);
	}
	closedir(d);
}

bool ends_with(const std::string& s, const std::string& tail)
{
	return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

std::string make_update_server_tree(const std::string& masters, const std::string& product,
                                    const std::string& out_root)
{
	const std::string out = out_root + product + "/";
	const std::string scratch = out_root + ".repack/";
	int disks = 0;
	for (int disk = 0;; ++disk) {
		const std::string from = masters + "disk_" + std::to_string(disk) + "/" + product + "/";
		struct stat st;
		if (stat(from.c_str(), &st) != 0) break;
		++disks;
		std::vector<std::string> files;
		list_files(from, "", files);
		for (const std::string& rel : files) {
			if (ends_with(rel, ".zip")) {
				if (!write_file(out + rel, read_file(from + rel))) return "cannot write " + out + rel;
				continue;
			}
			if (!ends_with(rel, ".7z")) continue;
			const std::string zip_rel = rel.substr(0, rel.size() - 3) + ".zip";
			const std::string leaf = zip_rel.substr(zip_rel.rfind('/') + 1, zip_rel.size() - 4 - (zip_rel.rfind('/') + 1));
			remove_tree(scratch);
			write_file(scratch + ".keep", "");
			write_file(out + zip_rel, "");
			const std::string cmd = "bsdtar -xf " + sh_quote(from + rel) + " -C " + sh_quote(scratch) + " && cd " +
			                        sh_quote(scratch) + " && rm -f " + sh_quote(out + zip_rel) + " && zip -q -X -y " +
			                        sh_quote(out + zip_rel) + " " + sh_quote(leaf);
			std::string said;
			if (run_sh(cmd, &said) != 0) return "cannot repack " + rel + ": " + said;
		}
	}
	remove_tree(scratch);
	if (!disks) return "no masters below " + masters;
	struct stat st;
	if (stat((out + "directory.txt.zip").c_str(), &st) != 0) return "no directory.txt.zip";
	return "";
}

}  // namespace kx_test
